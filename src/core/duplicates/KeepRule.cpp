#include "duplicates/KeepRule.h"

#include <filesystem>
#include <system_error>

namespace karv {

namespace {

namespace fs = std::filesystem;

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

std::string absoluteForm(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(path), error);
    return error ? path : absolute.lexically_normal().string();
}

std::string resolvedForm(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(fs::path(path), error);
    return error ? std::string() : resolved.string();
}

// Characters, not bytes: a Chinese name must not count three times its length.
std::size_t characters(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

} // namespace

ReferenceFolders::ReferenceFolders(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        m_forms.push_back(withSlash(absoluteForm(folder)));
        if (std::string resolved = resolvedForm(folder); !resolved.empty())
            m_forms.push_back(withSlash(std::move(resolved)));
    }
}

bool ReferenceFolders::startsWithOne(const std::string& path) const {
    for (const std::string& form : m_forms) {
        if (path.compare(0, form.size(), form) == 0)
            return true;
    }
    return false;
}

bool ReferenceFolders::contains(const std::string& path) const {
    if (m_forms.empty())
        return false;
    const std::string absolute = absoluteForm(path);
    if (startsWithOne(absolute))
        return true;
    // The folder resolved, not the file: a member that is itself a link stays where it is listed.
    const std::string folder = fs::path(absolute).parent_path().string();
    auto found = m_resolved.find(folder);
    if (found == m_resolved.end())
        found = m_resolved.emplace(folder, withSlash(resolvedForm(folder))).first;
    return found->second.size() > 1 && startsWithOne(found->second);
}

std::vector<bool> keptMembers(const std::vector<std::string>& members,
                              const std::vector<std::optional<FileStat>>& stats, KeepRule rule,
                              const ReferenceFolders& references) {
    std::vector<bool> kept(members.size(), false);
    if (members.empty())
        return kept;
    bool anyReference = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        kept[i] = references.contains(members[i]);
        anyReference = anyReference || kept[i];
    }
    if (anyReference)
        return kept;

    std::size_t best = members.size() - 1;
    bool judged = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        bool better = false; // ties go to the later member
        switch (rule) {
        case KeepRule::Last:
            break;
        case KeepRule::Newest:
        case KeepRule::Oldest: {
            if (i >= stats.size() || !stats[i])
                continue;
            const std::int64_t mine = stats[i]->modifiedNs;
            const std::int64_t theirs = judged ? stats[best]->modifiedNs : mine;
            better = !judged || (rule == KeepRule::Newest ? mine >= theirs : mine <= theirs);
            break;
        }
        case KeepRule::Shortest:
        case KeepRule::Longest: {
            const std::size_t mine = characters(members[i]);
            const std::size_t theirs = judged ? characters(members[best]) : mine;
            better = !judged || (rule == KeepRule::Shortest ? mine <= theirs : mine >= theirs);
            break;
        }
        }
        if (better) {
            best = i;
            judged = true;
        }
    }
    kept[best] = true;
    return kept;
}

} // namespace karv
