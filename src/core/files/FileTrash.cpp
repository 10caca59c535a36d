#include "files/FileOps.h"
#include "files/FileOpsHeld.h"
#include "values/PathParts.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace karv::files {

namespace {

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    struct tm parts {};
    ::localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    return text;
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return path;
        buffer.resize(buffer.size() * 2);
    }
    std::string cwd = buffer.data();
    std::string rest = path;
    while (rest.rfind("./", 0) == 0)
        rest.erase(0, 2);
    return cwd == "/" ? "/" + rest : cwd + "/" + rest;
}

} // namespace

std::optional<std::string> FileOps::trashFolderFor(const std::string& absolute, const struct stat& info,
                                                   bool& homeTrash, std::string& topFolder, int& error) {
    error = 0;
    std::string dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        dataHome = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        dataHome = std::string(home) + "/.local/share";

    if (!dataHome.empty()) {
        // The home trash serves every file on its volume; its nearest existing folder tells which.
        std::string probe = dataHome + "/Trash";
        struct stat homeInfo {};
        while (m_sys.stat(probe.c_str(), &homeInfo) != 0 && probe != "/")
            probe = folderOf(probe);
        if (homeInfo.st_dev == info.st_dev) {
            const std::string trash = dataHome + "/Trash";
            if (const Result made = makeFolders(trash); !made.ok()) {
                error = made.error;
                return std::nullopt;
            }
            homeTrash = true;
            return trash;
        }
    }

    // Another volume: its top folder holds the trash.
    std::string top = folderOf(absolute);
    while (top != "/") {
        const std::string parent = folderOf(top);
        struct stat parentInfo {};
        if (m_sys.stat(parent.c_str(), &parentInfo) != 0 || parentInfo.st_dev != info.st_dev)
            break;
        top = parent;
    }
    topFolder = top;
    homeTrash = false;
    const std::string base = top == "/" ? std::string() : top;
    const std::string uid = std::to_string(::getuid());

    struct stat shared {};
    const std::string sharedTrash = base + "/.Trash";
    // A shared trash counts only as a real, sticky folder, never through a link.
    if (m_sys.lstat(sharedTrash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        const std::string mine = sharedTrash + "/" + uid;
        if (ensureFolder(mine, 0700).ok())
            return mine;
    }
    const std::string own = base + "/.Trash-" + uid;
    if (const Result made = ensureFolder(own, 0700); !made.ok()) {
        error = made.error;
        return std::nullopt;
    }
    struct stat ownInfo {};
    if (m_sys.lstat(own.c_str(), &ownInfo) != 0 || ownInfo.st_uid != ::getuid()) {
        error = EACCES;
        return std::nullopt;
    }
    return own;
}

std::string trashEntryName(const std::string& name, int k) {
    // The record's name adds ".trashinfo" to the trashed file's name; both must fit one name.
    constexpr std::size_t kLongest = 255 - std::string_view(".trashinfo").size();
    constexpr std::size_t kLongestExtension = 32;
    const auto dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    std::string stem = hasExtension ? name.substr(0, dot) : name;
    std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string number = k == 1 ? std::string() : "." + std::to_string(k);
    if (stem.size() + number.size() + extension.size() <= kLongest)
        return stem + number + extension;
    if (extension.size() > kLongestExtension) {
        stem = name;
        extension.clear();
    }
    std::size_t keep = kLongest - number.size() - extension.size();
    // Never half a character: back off over UTF-8 continuation bytes.
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
        --keep;
    return stem.substr(0, keep) + number + extension;
}

Result FileOps::trashFile(const std::string& path, std::string* trashedAs) {
    struct stat info {};
    if (m_sys.lstat(path.c_str(), &info) != 0)
        return Result::failure(errno);
    return trashAt({AT_FDCWD, path}, info, absolutePath(path), trashedAs);
}

Result FileOps::trashListed(const Listed& file, std::string* trashedAs) {
    Held folder(m_sys);
    std::string name;
    struct stat entry {};
    if (const Result reached = reachListed(file, folder, name, entry); !reached.ok())
        return reached;
    return trashAt({folder.fd, name}, entry, absolutePath(file.path), trashedAs);
}

Result FileOps::trashAt(const Place& source, const struct stat& info, const std::string& absolute,
                        std::string* trashedAs) {
    bool home = false;
    std::string top;
    int error = 0;
    const auto trash = trashFolderFor(absolute, info, home, top, error);
    if (!trash)
        return Result::failure(error ? error : EXDEV);
    const std::string filesFolder = *trash + "/files";
    const std::string infoFolder = *trash + "/info";
    if (const Result made = ensureFolder(filesFolder, 0700); !made.ok())
        return made;
    if (const Result made = ensureFolder(infoFolder, 0700); !made.ok())
        return made;

    // The record holds the path relative to the volume's top folder for a volume's own trash.
    std::string recorded = absolute;
    if (!home)
        recorded = top == "/" ? absolute.substr(1) : absolute.substr(top.size() + 1);
    const std::string record =
        "[Trash Info]\nPath=" + encodePathForUrl(recorded) + "\nDeletionDate=" + deletionDate() + "\n";

    const std::string name = fileNamePart(absolute);
    for (int k = 1; k < 100000; ++k) {
        const std::string candidate = trashEntryName(name, k);
        const std::string infoPath = infoFolder + "/" + candidate + ".trashinfo";
        const std::string filePath = filesFolder + "/" + candidate;
        const int fd = m_sys.open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Result::failure(errno);
        }
        struct stat taken {};
        if (m_sys.lstat(filePath.c_str(), &taken) == 0) {
            m_sys.close(fd);
            m_sys.unlink(infoPath.c_str());
            continue;
        }
        auto dropRecord = [&](int failure, bool open) {
            if (open)
                m_sys.close(fd);
            m_sys.unlink(infoPath.c_str());
            return Result::failure(failure);
        };
        // Written, not synced: a sync a file made trashing ten times slower than the desktop's own
        // trash, and a power cut can at worst leave a trashed file in files/ without its record,
        // never lose it.
        if (const int error = writeAll(fd, record); error != 0)
            return dropRecord(error, true);
        if (m_sys.close(fd) != 0)
            return dropRecord(errno, false);
        if (const Result moved = placeNoReplace(source, {AT_FDCWD, filePath}); !moved.ok()) {
            m_sys.unlink(infoPath.c_str());
            return moved;
        }
        if (trashedAs != nullptr)
            *trashedAs = filePath;
        return Result::success();
    }
    return Result::failure(EEXIST);
}
} // namespace karv::files
