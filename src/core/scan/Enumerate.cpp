#include "scan/Enumerate.h"

#include "files/LongPath.h"
#include "text/NameText.h"
#include "values/ValueText.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

unsigned char upperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// NTFS compares names upper-cased, so "_" sorts after the letters.
inline bool lessByName(const DirectoryEntry& a, const DirectoryEntry& b) {
    const std::size_t common = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a.name[i] == b.name[i]) // the common case in long runs of similar names
            continue;
        const unsigned char x = upperAscii(static_cast<unsigned char>(a.name[i]));
        const unsigned char y = upperAscii(static_cast<unsigned char>(b.name[i]));
        if (x != y)
            return x < y;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

DirectoryEntry::Kind kindOf(int dirFd, const char* name, unsigned char type, bool& link) {
    link = type == DT_LNK;
    if (type == DT_UNKNOWN) {
        struct stat own {};
        if (::fstatat(dirFd, name, &own, AT_SYMLINK_NOFOLLOW) == 0)
            link = S_ISLNK(own.st_mode);
    }
    switch (type) {
    case DT_REG:
        return DirectoryEntry::Kind::File;
    case DT_DIR:
        return DirectoryEntry::Kind::Folder;
    case DT_LNK:
    case DT_UNKNOWN: {
        struct stat st {};
        if (::fstatat(dirFd, name, &st, 0) != 0)
            return DirectoryEntry::Kind::File; // a dangling link is still a name in the folder
        if (S_ISDIR(st.st_mode))
            return DirectoryEntry::Kind::Folder;
        return S_ISREG(st.st_mode) ? DirectoryEntry::Kind::File : DirectoryEntry::Kind::Other;
    }
    default:
        return DirectoryEntry::Kind::Other;
    }
}

// Glob match with backtracking over the last "*"; linear in practice.
bool globMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '?') {
            const std::size_t length = characterElementLength(name, n);
            n += length == 0 ? 1 : length;
            ++p;
            continue;
        }
        if (p < pattern.size() &&
            static_cast<unsigned char>(pattern[p]) == foldAscii(static_cast<unsigned char>(name[n]))) {
            ++p;
            ++n;
            continue;
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP + 1;
        const std::size_t length = characterElementLength(name, starN);
        starN += length == 0 ? 1 : length;
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool endsWithFolded(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (foldAscii(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
            static_cast<unsigned char>(suffix[i]))
            return false;
    return true;
}

} // namespace

namespace {

bool goOn(const KeepGoing& keepGoing) {
    return !keepGoing || keepGoing();
}

struct SortStopped {};

// One sort that asks every so many comparisons whether to go on, so a folder of a million names
// is sorted in steps of milliseconds; a stop abandons it (the entries are then dropped).
bool sortEntries(std::vector<DirectoryEntry>& entries, const KeepGoing& keepGoing) {
    if (!keepGoing || entries.size() <= kPollEntries) {
        std::sort(entries.begin(), entries.end(),
                  [](const DirectoryEntry& a, const DirectoryEntry& b) { return lessByName(a, b); });
        return true;
    }
    std::size_t comparisons = 0;
    try {
        std::sort(entries.begin(), entries.end(), [&](const DirectoryEntry& a, const DirectoryEntry& b) {
            if (++comparisons % (kPollEntries * 32) == 0 && !keepGoing())
                throw SortStopped{};
            return lessByName(a, b);
        });
    } catch (const SortStopped&) {
        return false;
    }
    return true;
}

} // namespace

std::vector<DirectoryEntry> listDirectory(int folderFd, const KeepGoing& keepGoing) {
    std::vector<DirectoryEntry> entries;
    if (folderFd < 0)
        return entries;
    // A reading descriptor of its own: the caller's keeps its position and stays open.
    const int readFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readFd < 0)
        return entries;
    DIR* dir = ::fdopendir(readFd);
    if (dir == nullptr) {
        ::close(readFd);
        return entries;
    }
    bool stopped = false;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        DirectoryEntry found{name};
        found.kind = kindOf(readFd, name, entry->d_type, found.link);
        entries.push_back(std::move(found));
        if (entries.size() % kPollEntries == 0 && !goOn(keepGoing)) {
            stopped = true;
            break;
        }
    }
    ::closedir(dir);
    if (stopped || !sortEntries(entries, keepGoing))
        return {};
    return entries;
}

std::vector<DirectoryEntry> listDirectory(const std::string& folder) {
    const int fd = files::openPath(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return {};
    std::vector<DirectoryEntry> entries = listDirectory(fd);
    ::close(fd);
    return entries;
}

NamePattern::NamePattern(std::string_view pattern) : m_pattern(pattern) {
    for (char& c : m_pattern)
        c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
    m_matchAll = m_pattern == "*.*" || m_pattern == "*";
    m_htmOnly = endsWithFolded(m_pattern, "*.htm");
}

bool NamePattern::matches(std::string_view name) const {
    if (m_matchAll)
        return true;
    if (globMatch(m_pattern, name))
        return true;
    const std::string_view pattern = m_pattern;
    // "name.*" also finds "name"; "name." finds only names without a dot.
    if (pattern.size() > 2 && pattern.ends_with(".*") &&
        globMatch(pattern.substr(0, pattern.size() - 2), name))
        return true;
    if (pattern.size() > 1 && pattern.back() == '.' && pattern != ".." &&
        name.find('.') == std::string_view::npos && globMatch(pattern.substr(0, pattern.size() - 1), name))
        return true;
    return false;
}

std::vector<NamePattern> parsePatternList(std::string_view patternList) {
    std::vector<NamePattern> patterns;
    if (patternList.empty()) {
        patterns.emplace_back("*.*");
        return patterns;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = patternList.find('|', start);
        const std::string_view piece =
            patternList.substr(start, bar == std::string_view::npos ? bar : bar - start);
        // An empty piece searches for nothing, as a search for the bare folder finds no file.
        if (!piece.empty())
            patterns.emplace_back(piece);
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    return patterns;
}

bool patternKeeps(const NamePattern& pattern, std::string_view name) {
    if (!pattern.matches(name))
        return false;
    return !pattern.htmOnly() || endsWithFolded(name, ".htm");
}

std::string withTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

namespace {

/// Patterns fit the names as the user sees them (a GBK name decoded); paths keep the bytes.
class ShownNames {
public:
    ShownNames(const std::vector<DirectoryEntry>& entries, bool foldersWanted)
        : m_wanted(foldersWanted ? DirectoryEntry::Kind::Folder : DirectoryEntry::Kind::File),
          m_foldersWanted(foldersWanted) {
        // Only the few names that are not UTF-8 are decoded and kept, not one text per entry.
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].kind == m_wanted && !isValidUtf8(entries[i].name))
                m_decoded.emplace_back(i, displayText(entries[i].name));
    }

    bool selected(const std::vector<DirectoryEntry>& entries, std::size_t i,
                  const NamePattern& pattern) const {
        if (entries[i].kind != m_wanted)
            return false;
        std::string_view name = entries[i].name;
        if (!m_decoded.empty()) {
            const auto found = std::lower_bound(
                m_decoded.begin(), m_decoded.end(), i,
                [](const auto& decoded, std::size_t index) { return decoded.first < index; });
            if (found != m_decoded.end() && found->first == i)
                name = found->second;
        }
        return m_foldersWanted ? pattern.matches(name) : patternKeeps(pattern, name);
    }

private:
    DirectoryEntry::Kind m_wanted;
    bool m_foldersWanted;
    std::vector<std::pair<std::size_t, std::string>> m_decoded; // by index
};

template <typename Found>
void forEachSelected(const std::vector<DirectoryEntry>& entries, const std::vector<NamePattern>& patterns,
                     bool foldersWanted, const KeepGoing& keepGoing, Found found) {
    const ShownNames shown(entries, foldersWanted);
    std::size_t checked = 0;
    for (const NamePattern& pattern : patterns) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (++checked % kPollEntries == 0 && !goOn(keepGoing))
                return;
            if (shown.selected(entries, i, pattern))
                found(i);
        }
    }
}

} // namespace

std::vector<std::size_t> selectIndices(const std::vector<DirectoryEntry>& entries,
                                       const std::vector<NamePattern>& patterns, bool foldersWanted,
                                       const KeepGoing& keepGoing) {
    std::vector<std::size_t> selected;
    forEachSelected(entries, patterns, foldersWanted, keepGoing,
                    [&](std::size_t i) { selected.push_back(i); });
    return selected;
}

std::size_t selectEntries(const std::string& folder, const std::vector<DirectoryEntry>& entries,
                          const std::vector<NamePattern>& patterns, bool foldersWanted,
                          std::vector<std::string>& out) {
    const std::string prefix = withTrailingSlash(folder);
    forEachSelected(entries, patterns, foldersWanted, {},
                    [&](std::size_t i) { out.push_back(prefix + entries[i].name); });
    return out.size();
}

std::size_t countEntries(const std::vector<DirectoryEntry>& entries, const std::vector<NamePattern>& patterns,
                         bool foldersWanted, const KeepGoing& keepGoing) {
    std::size_t count = 0;
    forEachSelected(entries, patterns, foldersWanted, keepGoing, [&](std::size_t) { ++count; });
    return count;
}

std::size_t enumerateEntries(const std::string& folder, std::string_view patternList, bool foldersWanted,
                             std::vector<std::string>& out) {
    return selectEntries(folder, listDirectory(folder), parsePatternList(patternList), foldersWanted, out);
}

} // namespace karv
