#include "files/FileOps.h"

#include "files/FileOpsHeld.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace karv::files {

namespace {

// Errors that mean "this file system cannot copy ranges", not "the copy failed".
bool rangeUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF ||
           error == ETXTBSY;
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
    // Made when plain reads are needed, as large as the file needs, and not cleared: only the bytes
    // a read returned are written out.
    std::unique_ptr<char[]> buffer;
    const auto bufferBytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, kCompareBlock));
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
        if (!buffer)
            buffer.reset(new char[bufferBytes]);
        const ssize_t n = m_sys.read(in, buffer.get(), std::min(bufferBytes, want));
        if (n < 0)
            return Result::failure(errno);
        if (n == 0)
            return Result::failure(kChangedWhileCopied); // it shrank
        if (const int error = writeAll(out, std::string_view(buffer.get(), static_cast<std::size_t>(n)));
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
    // As large as the file needs and not cleared: only bytes both reads returned are compared.
    const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(size, kCompareBlock));
    const std::unique_ptr<char[]> theirs(new char[std::max<std::size_t>(block, 1)]);
    const std::unique_ptr<char[]> ours(new char[std::max<std::size_t>(block, 1)]);
    for (std::uint64_t at = 0; at < size;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size - at, block));
        for (std::size_t got = 0; got < want;) {
            const off_t offset = static_cast<off_t>(at + got);
            const ssize_t a = m_sys.readAt(source, theirs.get() + got, want - got, offset);
            if (a < 0)
                return Result::failure(errno);
            if (a == 0)
                return Result::failure(kChangedWhileCopied);
            const ssize_t b = m_sys.readAt(copy, ours.get() + got, static_cast<std::size_t>(a), offset);
            if (b < 0)
                return Result::failure(errno);
            if (b != a)
                return Result::failure(EIO);
            got += static_cast<std::size_t>(a);
        }
        if (std::memcmp(theirs.get(), ours.get(), want) != 0)
            return Result::failure(kChangedWhileCopied);
        at += want;
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

} // namespace karv::files
