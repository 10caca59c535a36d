#include "files/FileOps.h"

#include "values/PathParts.h"

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

// Still the file a list showed: the same file, unchanged.
bool isListed(const Identity& listed, const struct stat& now) {
    return listed.device == static_cast<std::uint64_t>(now.st_dev) &&
           listed.inode == static_cast<std::uint64_t>(now.st_ino) &&
           listed.size == static_cast<std::uint64_t>(now.st_size) &&
           listed.modifiedNs == nanoseconds(now.st_mtim) && listed.changedNs == nanoseconds(now.st_ctim);
}

Identity identityOf(const struct stat& info) {
    Identity id;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modifiedNs = nanoseconds(info.st_mtim);
    id.changedNs = nanoseconds(info.st_ctim);
    id.isFolder = S_ISDIR(info.st_mode);
    return id;
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

// Errors that mean "this file system has no files without a name (O_TMPFILE)".
bool anonymousUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
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
    return identityOf(info);
}

std::optional<Identity> FileOps::entryIdentity(const std::string& path) {
    struct stat info {};
    if (m_sys.lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
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

class FileOps::Held {
public:
    explicit Held(Syscalls& calls) : m_sys(calls) {}
    ~Held() {
        if (fd >= 0)
            m_sys.close(fd);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    int fd = -1;

private:
    Syscalls& m_sys;
};

// The folder a place's name lies in, as a place of its own.
FileOps::Place FileOps::folderPlace(const Place& place) {
    if (place.dir != AT_FDCWD)
        return {place.dir, "."};
    return {AT_FDCWD, folderOf(place.name)};
}

// Another name in the folder of `place`.
FileOps::Place FileOps::sibling(const Place& place, const std::string& leaf) {
    if (place.dir != AT_FDCWD)
        return {place.dir, leaf};
    const std::string folder = folderOf(place.name);
    return {AT_FDCWD, (folder == "/" ? std::string() : folder) + "/" + leaf};
}

std::string FileOps::temporaryLeaf() {
    return temporaryName("/").substr(1);
}

Result FileOps::placeNoReplace(const Place& from, const Place& to) {
    if (m_sys.renameAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), true) == 0)
        return Result::success();
    const int error = errno;
    if (!noReplaceUnsupported(error))
        return Result::failure(error);
    // A hard link fails when the name is taken, which is the guarantee the flag gives.
    if (m_sys.linkAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), 0) != 0) {
        const int linkError = errno;
        if (!linksUnsupported(linkError))
            return Result::failure(linkError);
        // File systems with neither (FAT, exFAT, some network mounts): look, then rename. Only a
        // file created in the moment between the two could be replaced.
        struct stat taken {};
        if (m_sys.statAt(to.dir, to.name.c_str(), &taken, false) == 0)
            return Result::failure(EEXIST);
        if (errno != ENOENT)
            return Result::failure(errno);
        if (m_sys.renameAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), false) != 0)
            return Result::failure(errno);
        return Result::success();
    }
    if (m_sys.unlinkAt(from.dir, from.name.c_str()) != 0) {
        const int unlinkError = errno;
        m_sys.unlinkAt(to.dir, to.name.c_str());
        return Result::failure(unlinkError);
    }
    return Result::success();
}

Result FileOps::openTemporaryAt(const Place& beside, mode_t mode, Temporary& temporary) {
    // A file without a name until it is complete: a crash or a kill at any point leaves nothing.
    // Readable too: a copy may be read back to be checked against its source.
    const Place folder = folderPlace(beside);
    temporary = {};
    temporary.fd = m_sys.openAt(folder.dir, folder.name.c_str(), O_TMPFILE | O_RDWR, mode);
    if (temporary.fd >= 0)
        return Result::success();
    if (!anonymousUnsupported(errno))
        return Result::failure(errno);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Place named = sibling(beside, temporaryLeaf());
        temporary.fd = m_sys.openAt(named.dir, named.name.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        if (temporary.fd >= 0) {
            temporary.name = named.name;
            return Result::success();
        }
        if (errno != EEXIST)
            break;
    }
    return Result::failure(errno);
}

Result FileOps::placeTemporary(Temporary& temporary, const Place& target, Existing existing) {
    if (!temporary.name.empty()) {
        const Place named{target.dir, temporary.name};
        const int closed = m_sys.close(temporary.fd) == 0 ? 0 : errno;
        temporary.fd = -1;
        const Result placed =
            closed != 0 ? Result::failure(closed)
            : existing == Existing::Replace
                ? (m_sys.renameAt(named.dir, named.name.c_str(), target.dir, target.name.c_str(), false) == 0
                       ? Result::success()
                       : Result::failure(errno))
                : placeNoReplace(named, target);
        if (!placed.ok())
            m_sys.unlinkAt(named.dir, named.name.c_str());
        return placed;
    }

    // An anonymous file gets its name by a link, which fails when the name is taken: exactly the
    // rule for a target that is to be kept.
    const std::string self = "/proc/self/fd/" + std::to_string(temporary.fd);
    auto linkTo = [&](const Place& to) {
        if (m_sys.linkAt(AT_FDCWD, self.c_str(), to.dir, to.name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        if (error != ENOENT)
            return error;
        // Without /proc: the descriptor itself, where the process may link one.
        return m_sys.linkAt(temporary.fd, "", to.dir, to.name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : error;
    };
    int error = 0;
    if (existing == Existing::Keep) {
        error = linkTo(target);
    } else {
        // Replacing: a name of its own first, then renamed over the old file in one step, so the old
        // file stays whole until the new one is complete.
        Place named{};
        do {
            named = sibling(target, temporaryLeaf());
            error = linkTo(named);
        } while (error == EEXIST);
        if (error == 0 &&
            m_sys.renameAt(named.dir, named.name.c_str(), target.dir, target.name.c_str(), false) != 0) {
            error = errno;
            m_sys.unlinkAt(named.dir, named.name.c_str());
        }
    }
    // Its content is on disk already (flushed before placing): closing cannot lose it.
    m_sys.close(temporary.fd);
    temporary.fd = -1;
    return error == 0 ? Result::success() : Result::failure(error);
}

Result FileOps::checkTarget(const Place& target, const struct stat& sourceEntry,
                            const struct stat& sourceFile, Existing existing, const Identity* replacing,
                            bool& hadTarget) {
    hadTarget = false;
    struct stat entry {};
    if (m_sys.statAt(target.dir, target.name.c_str(), &entry, false) != 0)
        return errno == ENOENT ? Result::success() : Result::failure(errno);
    hadTarget = true;
    struct stat file = entry;
    if (S_ISLNK(entry.st_mode)) {
        struct stat followed {};
        if (m_sys.statAt(target.dir, target.name.c_str(), &followed, true) == 0)
            file = followed;
    }
    // Onto itself, or a link moved over the file it points to, which would leave a link to nothing.
    if (sameFile(entry, sourceEntry) || sameFile(file, sourceFile))
        return Result::failure(EINVAL);
    if (S_ISDIR(file.st_mode))
        return Result::failure(EISDIR);
    if (existing == Existing::Keep)
        return Result::failure(EEXIST);
    if (replacing != nullptr && !isListed(*replacing, entry))
        return Result::failure(kNotAsListed);
    return Result::success();
}

Result FileOps::copyAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                       const Identity* replacing, struct stat* copied) {
    struct stat sourceInfo {};
    if (m_sys.statAt(source.dir, source.name.c_str(), &sourceInfo, true) != 0)
        return Result::failure(errno);
    // Only regular files: opening a pipe or device would block or never end.
    if (S_ISDIR(sourceInfo.st_mode))
        return Result::failure(EISDIR);
    if (!S_ISREG(sourceInfo.st_mode))
        return Result::failure(EINVAL);
    if (listed != nullptr && !isListed(*listed, sourceInfo))
        return Result::failure(kNotAsListed);
    bool hadTarget = false;
    if (const Result free = checkTarget(target, sourceInfo, sourceInfo, existing, replacing, hadTarget);
        !free.ok())
        return free;

    const int in = m_sys.openAt(source.dir, source.name.c_str(), O_RDONLY | O_NOCTTY, 0);
    if (in < 0)
        return Result::failure(errno);
    struct stat opened {};
    // The name must still lead to the file that was checked above.
    const int statError = m_sys.fstat(in, &opened) != 0                     ? errno
                          : !sameFile(opened, sourceInfo)                   ? ENOENT
                          : listed != nullptr && !isListed(*listed, opened) ? kNotAsListed
                                                                            : 0;
    if (statError != 0) {
        m_sys.close(in);
        return Result::failure(statError);
    }

    Temporary temporary;
    if (const Result made = openTemporaryAt(target, 0600, temporary); !made.ok()) {
        m_sys.close(in);
        return made;
    }
    const int out = temporary.fd;

    auto abandon = [&](int error) {
        if (temporary.fd >= 0)
            m_sys.close(temporary.fd);
        if (!temporary.name.empty())
            m_sys.unlinkAt(target.dir, temporary.name.c_str());
        m_sys.close(in);
        return Result::failure(error);
    };

    if (const Result done =
            copyContent(in, out, static_cast<std::uint64_t>(std::max<off_t>(opened.st_size, 0)));
        !done.ok())
        return abandon(done.error);
    // Written to while it was copied: the copy may hold a mix of old and new bytes.
    struct stat after {};
    if (m_sys.fstat(in, &after) != 0)
        return abandon(errno);
    if (!unchanged(opened, after))
        return abandon(kChangedWhileCopied);
    if (writtenLately(opened)) {
        if (const Result same = sameBytes(in, out, static_cast<std::uint64_t>(opened.st_size)); !same.ok())
            return abandon(same.error);
        if (m_sys.fstat(in, &after) != 0)
            return abandon(errno);
        if (!unchanged(opened, after))
            return abandon(kChangedWhileCopied);
    }
    if (m_sys.fchmod(out, opened.st_mode & 0777) != 0)
        return abandon(errno);
    const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
    if (m_sys.futimens(out, times) != 0)
        return abandon(errno);
    if (m_sys.fsync(out) != 0)
        return abandon(errno);
    m_sys.close(in);

    if (const Result placed = placeTemporary(temporary, target, existing); !placed.ok())
        return placed;
    if (copied != nullptr)
        *copied = opened;
    return Result::success();
}

Result FileOps::syncFolderOf(const Place& place) {
    const Place folder = folderPlace(place);
    const int dir = m_sys.openAt(folder.dir, folder.name.c_str(), O_RDONLY | O_DIRECTORY, 0);
    const int error = dir < 0 ? errno : (m_sys.fsync(dir) == 0 ? 0 : errno);
    if (dir >= 0)
        m_sys.close(dir);
    // Some file systems cannot flush a folder; the file itself is already on disk there.
    return error != 0 && error != EINVAL ? Result::failure(error) : Result::success();
}

Result FileOps::moveAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                       const Identity* replacing) {
    struct stat sourceEntry {};
    if (m_sys.statAt(source.dir, source.name.c_str(), &sourceEntry, false) != 0)
        return Result::failure(errno);
    if (S_ISDIR(sourceEntry.st_mode))
        return Result::failure(EISDIR);
    struct stat sourceFile = sourceEntry;
    if (S_ISLNK(sourceEntry.st_mode)) {
        struct stat followed {};
        if (m_sys.statAt(source.dir, source.name.c_str(), &followed, true) == 0)
            sourceFile = followed;
    }
    bool hadTarget = false;
    if (const Result free = checkTarget(target, sourceEntry, sourceFile, existing, replacing, hadTarget);
        !free.ok())
        return free;

    const Result renamed =
        existing == Existing::Replace
            ? (m_sys.renameAt(source.dir, source.name.c_str(), target.dir, target.name.c_str(), false) == 0
                   ? Result::success()
                   : Result::failure(errno))
            : placeNoReplace(source, target);
    if (renamed.ok() || renamed.error != EXDEV)
        return renamed;

    // Another file system: the source goes only once its copy is complete and on disk.
    struct stat copied {};
    if (const Result done = copyAt(source, listed, target, existing, replacing, &copied); !done.ok())
        return done;
    // Until the copy's name is on disk too, the source is the only safe copy: a failed move must
    // not leave the file in both places either.
    if (const Result synced = syncFolderOf(target); !synced.ok()) {
        if (!hadTarget)
            m_sys.unlinkAt(target.dir, target.name.c_str());
        return synced;
    }
    // Written to or replaced by another file since the copy: removing the name now would take
    // bytes that exist nowhere else.
    struct stat now {};
    const int changed = m_sys.statAt(source.dir, source.name.c_str(), &now, true) != 0 ? errno
                        : unchanged(copied, now)                                       ? 0
                                                                                       : kChangedWhileCopied;
    if (changed != 0 || m_sys.unlinkAt(source.dir, source.name.c_str()) != 0) {
        const int error = changed != 0 ? changed : errno;
        if (!hadTarget)
            m_sys.unlinkAt(target.dir, target.name.c_str());
        return Result::failure(error);
    }
    return Result::success();
}

Result FileOps::reachListed(const Listed& file, Held& folder, std::string& name, struct stat& entry) {
    const std::string& path = file.path;
    const auto slash = path.find_last_of('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Result::failure(EINVAL);
    const std::string folderPath = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
    folder.fd = m_sys.openFolder(folderPath.c_str(), file.folderKnown);
    if (folder.fd < 0) {
        const int error = errno;
        // A link where a folder was: the path leads somewhere else than when it was listed.
        return Result::failure(error == ELOOP || error == ENOTDIR ? kNotAsListed : error);
    }
    if (file.folderKnown) {
        // Links on the way are the user's own (a linked folder chosen to scan); what counts is that
        // the path still ends at the folder the file was listed in.
        struct stat reached {};
        if (m_sys.fstat(folder.fd, &reached) != 0)
            return Result::failure(errno);
        if (static_cast<std::uint64_t>(reached.st_dev) != file.folderDevice ||
            static_cast<std::uint64_t>(reached.st_ino) != file.folderInode)
            return Result::failure(kNotAsListed);
    }
    if (m_sys.statAt(folder.fd, name.c_str(), &entry, false) != 0)
        return Result::failure(errno);
    struct stat now = entry;
    // A listed link stands for the file it leads to; a link where a file was must lead to that very file.
    if (S_ISLNK(entry.st_mode) && m_sys.statAt(folder.fd, name.c_str(), &now, true) != 0)
        return Result::failure(errno == ENOENT ? kNotAsListed : errno);
    if (S_ISDIR(now.st_mode) || !isListed(file.identity, now))
        return Result::failure(kNotAsListed);
    return Result::success();
}

Result FileOps::reachTarget(const std::string& target, Held& folder, std::string& name) {
    const auto slash = target.find_last_of('/');
    name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Result::failure(EINVAL);
    // The target folder is the one the user chose, links and all; it is held open so that every
    // step lands in that same folder.
    folder.fd = m_sys.openFolder(folderOf(target).c_str(), true);
    return folder.fd < 0 ? Result::failure(errno) : Result::success();
}

Result FileOps::copyFile(const std::string& source, const std::string& target, Existing existing) {
    return copyAt({AT_FDCWD, source}, nullptr, {AT_FDCWD, target}, existing, nullptr);
}

Result FileOps::moveFile(const std::string& source, const std::string& target, Existing existing) {
    return moveAt({AT_FDCWD, source}, nullptr, {AT_FDCWD, target}, existing, nullptr);
}

Result FileOps::placeListed(bool move, const Listed& source, const std::string& target, Existing existing,
                            const std::optional<Identity>& replacing) {
    Held from(m_sys), to(m_sys);
    std::string name, targetName;
    struct stat entry {};
    if (const Result reached = reachListed(source, from, name, entry); !reached.ok())
        return reached;
    if (const Result reached = reachTarget(target, to, targetName); !reached.ok())
        return reached;
    const Identity* agreed = replacing ? &*replacing : nullptr;
    return move ? moveAt({from.fd, name}, &source.identity, {to.fd, targetName}, existing, agreed)
                : copyAt({from.fd, name}, &source.identity, {to.fd, targetName}, existing, agreed);
}

Result FileOps::copyListed(const Listed& source, const std::string& target, Existing existing,
                           const std::optional<Identity>& replacing) {
    return placeListed(false, source, target, existing, replacing);
}

Result FileOps::moveListed(const Listed& source, const std::string& target, Existing existing,
                           const std::optional<Identity>& replacing) {
    return placeListed(true, source, target, existing, replacing);
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
    return syncFolderOf({AT_FDCWD, path});
}

Result FileOps::removeFile(const std::string& path) {
    if (m_sys.unlink(path.c_str()) != 0)
        return Result::failure(errno);
    return Result::success();
}

Result FileOps::removeListed(const Listed& file) {
    Held folder(m_sys);
    std::string name;
    struct stat entry {};
    if (const Result reached = reachListed(file, folder, name, entry); !reached.ok())
        return reached;
    if (m_sys.unlinkAt(folder.fd, name.c_str()) != 0)
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
        if (const int error = writeSynced(fd, record); error != 0)
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
