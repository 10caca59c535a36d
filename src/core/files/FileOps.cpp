#include "files/FileOps.h"

#include "values/ValueText.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <vector>

namespace karv::files {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The same file with the same content as far as the system tells: every write moves the
// modification time, and the change time too (which a program resetting the modification time
// cannot put back).
bool unchanged(const struct stat& before, const struct stat& now) {
    return sameFile(before, now) && before.st_size == now.st_size && sameTime(before.st_mtim, now.st_mtim) &&
           sameTime(before.st_ctim, now.st_ctim);
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Written to within the last seconds (or stamped in the future). A write already running when a
// copy opens its source moved the times before the copy looked at them, and its bytes may land
// while the copy reads: such a copy is read back and compared with its source.
bool writtenLately(const struct stat& info) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t recent = nanoseconds(now) - std::int64_t{2'000'000'000};
    return nanoseconds(info.st_mtim) >= recent || nanoseconds(info.st_ctim) >= recent;
}

// Errors that mean "this file system cannot copy ranges", not "the copy failed".
bool rangeUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF ||
           error == ETXTBSY;
}

// Errors that mean "this file system has no RENAME_NOREPLACE".
bool noReplaceUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool linksUnsupported(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

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

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string encodePathForUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const unsigned char c : path) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool FileOps::exists(const std::string& path) {
    struct stat info {};
    return m_sys.lstat(path.c_str(), &info) == 0;
}

bool FileOps::isFolder(const std::string& path) {
    struct stat info {};
    return m_sys.stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<Identity> FileOps::identity(const std::string& path) {
    struct stat info {};
    if (m_sys.stat(path.c_str(), &info) != 0)
        return std::nullopt;
    Identity id;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modifiedNs = nanoseconds(info.st_mtim);
    id.isFolder = S_ISDIR(info.st_mode);
    return id;
}

Result FileOps::makeFolders(const std::string& path) {
    if (path.empty())
        return Result::failure(ENOENT);
    // One folder made, or found existing: any other error is the answer.
    auto settle = [&](const std::string& folder, int error) {
        struct stat info {};
        if (m_sys.stat(folder.c_str(), &info) != 0)
            return Result::failure(error);
        return S_ISDIR(info.st_mode) ? Result::success() : Result::failure(ENOTDIR);
    };
    auto trimmed = [&](std::size_t end) {
        while (end > 1 && path[end - 1] == '/')
            --end;
        return end;
    };
    // The deepest folder first, going up only while a parent is missing: the existing part of a
    // deep tree is not walked again from its root.
    std::vector<std::size_t> missing; // ends of the folders still to make, deepest first
    for (std::size_t end = trimmed(path.size());;) {
        const std::string folder = path.substr(0, end);
        if (folder == "." || folder == "/")
            break;
        if (m_sys.mkdir(folder.c_str(), 0777) == 0)
            break;
        const int error = errno;
        const auto slash = error == ENOENT ? path.rfind('/', end - 1) : std::string::npos;
        if (slash == std::string::npos || slash == 0) {
            if (const Result found = settle(folder, error); !found.ok())
                return found;
            break;
        }
        missing.push_back(end);
        end = trimmed(slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const std::string folder = path.substr(0, *it);
        if (m_sys.mkdir(folder.c_str(), 0777) != 0)
            if (const Result found = settle(folder, errno); !found.ok())
                return found;
    }
    return Result::success();
}

std::string FileOps::temporaryName(const std::string& folder) {
    static std::atomic<std::uint64_t> counter{[] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
               static_cast<std::uint64_t>(::getpid());
    }()};
    static const char hex[] = "0123456789abcdef";
    std::uint64_t value = counter.fetch_add(0x9E3779B97F4A7C15ull);
    std::string suffix;
    for (int i = 0; i < 12; ++i, value >>= 4)
        suffix += hex[value & 15];
    return (folder == "/" ? std::string() : folder) + "/.karv-" + suffix + ".part";
}

int FileOps::writeAll(int fd, std::string_view bytes) {
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t n = m_sys.write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            return n < 0 ? errno : EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int FileOps::writeSynced(int fd, std::string_view bytes) {
    if (const int error = writeAll(fd, bytes); error != 0)
        return error;
    return m_sys.fsync(fd) != 0 ? errno : 0;
}

int FileOps::openTemporary(const std::string& folder, mode_t mode, std::string& temporary) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(folder);
        // Readable too: a copy may be read back to be checked against its source.
        fd = m_sys.open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    return fd;
}

Result FileOps::copyContent(int in, int out, std::uint64_t size) {
    bool useRange = true;
    std::vector<char> buffer;
    // Exactly the bytes the file had when opened: a file that keeps growing cannot keep the copy
    // going, and one that grew or changed meanwhile is told by the caller from its times and size.
    for (std::uint64_t left = size; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyChunk));
        if (useRange) {
            const ssize_t n = m_sys.copyRange(in, out, want);
            if (n > 0) {
                left -= static_cast<std::uint64_t>(n);
                continue;
            }
            if (n < 0 && !rangeUnsupported(errno))
                return Result::failure(errno);
            // The end of the file, or a file system without range copies: plain reads confirm or
            // finish.
            useRange = false;
            continue;
        }
        if (buffer.empty())
            buffer.resize(256 * 1024);
        const ssize_t n = m_sys.read(in, buffer.data(), std::min(buffer.size(), want));
        if (n < 0)
            return Result::failure(errno);
        if (n == 0)
            return Result::failure(kChangedWhileCopied); // it shrank
        if (const int error = writeAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            error != 0)
            return Result::failure(error);
        left -= static_cast<std::uint64_t>(n);
    }
    // A byte past the size: the file grew, or its size never told its length (a file of /proc).
    char probe = 0;
    const ssize_t more = m_sys.read(in, &probe, 1);
    if (more < 0)
        return Result::failure(errno);
    return more == 0 ? Result::success() : Result::failure(kChangedWhileCopied);
}

Result FileOps::sameBytes(int source, int copy, std::uint64_t size) {
    std::vector<char> theirs(256 * 1024);
    std::vector<char> ours(theirs.size());
    for (std::uint64_t at = 0; at < size;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size - at, theirs.size()));
        for (std::size_t got = 0; got < want;) {
            const off_t offset = static_cast<off_t>(at + got);
            const ssize_t a = m_sys.readAt(source, theirs.data() + got, want - got, offset);
            if (a < 0)
                return Result::failure(errno);
            if (a == 0)
                return Result::failure(kChangedWhileCopied);
            const ssize_t b = m_sys.readAt(copy, ours.data() + got, static_cast<std::size_t>(a), offset);
            if (b < 0)
                return Result::failure(errno);
            if (b != a)
                return Result::failure(EIO);
            got += static_cast<std::size_t>(a);
        }
        if (std::memcmp(theirs.data(), ours.data(), want) != 0)
            return Result::failure(kChangedWhileCopied);
        at += want;
    }
    return Result::success();
}

Result FileOps::placeNoReplace(const std::string& from, const std::string& to) {
    if (m_sys.rename(from.c_str(), to.c_str(), true) == 0)
        return Result::success();
    const int error = errno;
    if (!noReplaceUnsupported(error))
        return Result::failure(error);
    // A hard link fails when the name is taken, which is the guarantee the flag gives.
    if (m_sys.link(from.c_str(), to.c_str()) != 0) {
        const int linkError = errno;
        if (!linksUnsupported(linkError))
            return Result::failure(linkError);
        // File systems with neither (FAT, exFAT, some network mounts): look, then rename. Only a
        // file created in the moment between the two could be replaced.
        struct stat taken {};
        if (m_sys.lstat(to.c_str(), &taken) == 0)
            return Result::failure(EEXIST);
        if (errno != ENOENT)
            return Result::failure(errno);
        if (m_sys.rename(from.c_str(), to.c_str(), false) != 0)
            return Result::failure(errno);
        return Result::success();
    }
    if (m_sys.unlink(from.c_str()) != 0) {
        const int unlinkError = errno;
        m_sys.unlink(to.c_str());
        return Result::failure(unlinkError);
    }
    return Result::success();
}

Result FileOps::copyInto(const std::string& source, const std::string& target, Existing existing,
                         struct stat* copied) {
    struct stat sourceInfo {};
    if (m_sys.stat(source.c_str(), &sourceInfo) != 0)
        return Result::failure(errno);
    // Only regular files: opening a pipe or device would block or never end.
    if (S_ISDIR(sourceInfo.st_mode))
        return Result::failure(EISDIR);
    if (!S_ISREG(sourceInfo.st_mode))
        return Result::failure(EINVAL);

    struct stat targetInfo {};
    if (m_sys.stat(target.c_str(), &targetInfo) == 0) {
        if (sameFile(sourceInfo, targetInfo))
            return Result::failure(EINVAL);
        if (S_ISDIR(targetInfo.st_mode))
            return Result::failure(EISDIR);
        if (existing == Existing::Keep)
            return Result::failure(EEXIST);
    } else if (errno != ENOENT) {
        return Result::failure(errno);
    }

    const int in = m_sys.open(source.c_str(), O_RDONLY | O_NOCTTY, 0);
    if (in < 0)
        return Result::failure(errno);
    struct stat opened {};
    // The name must still lead to the file that was checked above.
    const int statError = m_sys.fstat(in, &opened) != 0 ? errno : (sameFile(opened, sourceInfo) ? 0 : ENOENT);
    if (statError != 0) {
        m_sys.close(in);
        return Result::failure(statError);
    }

    std::string temporary;
    const int out = openTemporary(folderOf(target), 0600, temporary);
    if (out < 0) {
        const int error = errno;
        m_sys.close(in);
        return Result::failure(error);
    }

    auto abandon = [&](int error, bool outOpen) {
        if (outOpen)
            m_sys.close(out);
        m_sys.unlink(temporary.c_str());
        m_sys.close(in);
        return Result::failure(error);
    };

    if (const Result done =
            copyContent(in, out, static_cast<std::uint64_t>(std::max<off_t>(opened.st_size, 0)));
        !done.ok())
        return abandon(done.error, true);
    // Written to while it was copied: the copy may hold a mix of old and new bytes.
    struct stat after {};
    if (m_sys.fstat(in, &after) != 0)
        return abandon(errno, true);
    if (!unchanged(opened, after))
        return abandon(kChangedWhileCopied, true);
    if (writtenLately(opened)) {
        if (const Result same = sameBytes(in, out, static_cast<std::uint64_t>(opened.st_size)); !same.ok())
            return abandon(same.error, true);
        if (m_sys.fstat(in, &after) != 0)
            return abandon(errno, true);
        if (!unchanged(opened, after))
            return abandon(kChangedWhileCopied, true);
    }
    if (m_sys.fchmod(out, opened.st_mode & 0777) != 0)
        return abandon(errno, true);
    const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
    if (m_sys.futimens(out, times) != 0)
        return abandon(errno, true);
    if (m_sys.fsync(out) != 0)
        return abandon(errno, true);
    if (m_sys.close(out) != 0)
        return abandon(errno, false);
    m_sys.close(in);

    const Result placed =
        existing == Existing::Replace
            ? (m_sys.rename(temporary.c_str(), target.c_str(), false) == 0 ? Result::success()
                                                                           : Result::failure(errno))
            : placeNoReplace(temporary, target);
    if (!placed.ok()) {
        m_sys.unlink(temporary.c_str());
        return placed;
    }
    if (copied != nullptr)
        *copied = opened;
    return Result::success();
}

Result FileOps::syncFolder(const std::string& folder) {
    const int dir = m_sys.open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
    const int error = dir < 0 ? errno : (m_sys.fsync(dir) == 0 ? 0 : errno);
    if (dir >= 0)
        m_sys.close(dir);
    // Some file systems cannot flush a folder; the file itself is already on disk there.
    return error != 0 && error != EINVAL ? Result::failure(error) : Result::success();
}

Result FileOps::copyFile(const std::string& source, const std::string& target, Existing existing) {
    return copyInto(source, target, existing);
}

Result FileOps::moveFile(const std::string& source, const std::string& target, Existing existing) {
    struct stat sourceInfo {};
    if (m_sys.lstat(source.c_str(), &sourceInfo) != 0)
        return Result::failure(errno);
    if (S_ISDIR(sourceInfo.st_mode))
        return Result::failure(EISDIR);

    struct stat targetInfo {};
    const bool hadTarget = m_sys.lstat(target.c_str(), &targetInfo) == 0;
    if (hadTarget) {
        if (sameFile(sourceInfo, targetInfo))
            return Result::failure(EINVAL);
        struct stat followedSource {
        }, followedTarget{};
        // A link moved over the file it points to would leave a link to nothing.
        if (m_sys.stat(source.c_str(), &followedSource) == 0 &&
            m_sys.stat(target.c_str(), &followedTarget) == 0 && sameFile(followedSource, followedTarget))
            return Result::failure(EINVAL);
        if (S_ISDIR(targetInfo.st_mode))
            return Result::failure(EISDIR);
        if (existing == Existing::Keep)
            return Result::failure(EEXIST);
    } else if (errno != ENOENT) {
        return Result::failure(errno);
    }

    const Result renamed =
        existing == Existing::Replace
            ? (m_sys.rename(source.c_str(), target.c_str(), false) == 0 ? Result::success()
                                                                        : Result::failure(errno))
            : placeNoReplace(source, target);
    if (renamed.ok() || renamed.error != EXDEV)
        return renamed;

    // Another file system: the source goes only once its copy is complete and on disk.
    struct stat copied {};
    if (const Result done = copyInto(source, target, existing, &copied); !done.ok())
        return done;
    // Until the copy's name is on disk too, the source is the only safe copy: a failed move must
    // not leave the file in both places either.
    if (const Result synced = syncFolder(folderOf(target)); !synced.ok()) {
        if (!hadTarget)
            m_sys.unlink(target.c_str());
        return synced;
    }
    // Written to or replaced by another file since the copy: removing the name now would take
    // bytes that exist nowhere else.
    struct stat now {};
    const int changed = m_sys.stat(source.c_str(), &now) != 0 ? errno
                        : unchanged(copied, now)              ? 0
                                                              : kChangedWhileCopied;
    if (changed != 0 || m_sys.unlink(source.c_str()) != 0) {
        const int error = changed != 0 ? changed : errno;
        if (!hadTarget)
            m_sys.unlink(target.c_str());
        return Result::failure(error);
    }
    return Result::success();
}

std::optional<std::string> FileOps::finalTarget(const std::string& path, int& error) {
    // The kernel's own limit on links followed in one lookup.
    constexpr int kMaxLinks = 40;
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info {};
        if (m_sys.lstat(current.c_str(), &info) != 0) {
            // A name not there yet (or a dangling link's target) is created where it points.
            if (errno == ENOENT)
                return current;
            error = errno;
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode))
            return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = m_sys.readLink(current.c_str(), target.data(), target.size());
        if (length < 0) {
            error = errno;
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(length));
        if (target.empty()) {
            error = ENOENT;
            return std::nullopt;
        }
        if (target.front() != '/') {
            const std::string folder = folderOf(current);
            target = (folder == "/" ? std::string() : folder) + "/" + target;
        }
        current = std::move(target);
    }
    error = ELOOP;
    return std::nullopt;
}

Result FileOps::writeFile(const std::string& requested, std::string_view content) {
    // A rename over a link would put a plain file in the link's place; the link's final target is
    // what gets the new content, in that target's own folder.
    int error = 0;
    const std::optional<std::string> resolved = finalTarget(requested, error);
    if (!resolved)
        return Result::failure(error);
    const std::string& path = *resolved;
    struct stat info {};
    const bool replacing = m_sys.stat(path.c_str(), &info) == 0;
    if (replacing && S_ISDIR(info.st_mode))
        return Result::failure(EISDIR);
    std::string temporary;
    const int fd = openTemporary(folderOf(path), 0666, temporary);
    if (fd < 0)
        return Result::failure(errno);
    auto abandon = [&](int failure, bool open) {
        if (open)
            m_sys.close(fd);
        m_sys.unlink(temporary.c_str());
        return Result::failure(failure);
    };
    // A file kept private stays private: the new content takes over the old file's permissions.
    if (replacing && m_sys.fchmod(fd, info.st_mode & 07777) != 0)
        return abandon(errno, true);
    if (const int failure = writeSynced(fd, content); failure != 0)
        return abandon(failure, true);
    if (m_sys.close(fd) != 0)
        return abandon(errno, false);
    if (m_sys.rename(temporary.c_str(), path.c_str(), false) != 0)
        return abandon(errno, false);
    // The new name must reach the disk too, or a crash could bring back the old content.
    return syncFolder(folderOf(path));
}

Result FileOps::removeFile(const std::string& path) {
    if (m_sys.unlink(path.c_str()) != 0)
        return Result::failure(errno);
    return Result::success();
}

Result FileOps::ensureFolder(const std::string& path, mode_t mode) {
    if (m_sys.mkdir(path.c_str(), mode) == 0)
        return Result::success();
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && m_sys.lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Result::success();
    return Result::failure(error == EEXIST ? ENOTDIR : error);
}

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

Result FileOps::trashFile(const std::string& path, std::string* trashedAs) {
    struct stat info {};
    if (m_sys.lstat(path.c_str(), &info) != 0)
        return Result::failure(errno);
    const std::string absolute = absolutePath(path);

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
    const auto dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();

    for (int k = 1; k < 100000; ++k) {
        const std::string candidate = k == 1 ? name : stem + "." + std::to_string(k) + extension;
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
        if (const int error = writeSynced(fd, record); error != 0)
            return dropRecord(error, true);
        if (m_sys.close(fd) != 0)
            return dropRecord(errno, false);
        if (const Result moved = placeNoReplace(absolute, filePath); !moved.ok()) {
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
