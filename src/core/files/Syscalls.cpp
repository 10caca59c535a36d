#include "files/Syscalls.h"

#include "files/LongPath.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace karv::files {

namespace {

// Every call that names a path reaches it through a `ShortPath`, so files deeper than the
// kernel's path limit are copied, moved and deleted like any other.
template <typename Call> int atPath(const char* path, Call call) {
    const ShortPath at(path);
    if (!at.ok()) {
        errno = at.error();
        return -1;
    }
    return call(at.dir(), at.rest());
}

template <typename Call> int atPaths(const char* from, const char* to, Call call) {
    return atPath(from, [&](int fromDir, const char* fromRest) {
        return atPath(to,
                      [&](int toDir, const char* toRest) { return call(fromDir, fromRest, toDir, toRest); });
    });
}

} // namespace

int SystemCalls::open(const char* path, int flags, mode_t mode) {
    return openPath(path, flags, mode);
}

int SystemCalls::close(int fd) {
    return ::close(fd);
}

ssize_t SystemCalls::read(int fd, void* buffer, size_t size) {
    ssize_t n;
    do
        n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SystemCalls::readAt(int fd, void* buffer, size_t size, off_t offset) {
    ssize_t n;
    do
        n = ::pread(fd, buffer, size, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SystemCalls::write(int fd, const void* buffer, size_t size) {
    ssize_t n;
    do
        n = ::write(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SystemCalls::copyRange(int in, int out, size_t size) {
    ssize_t n;
    do
        n = ::copy_file_range(in, nullptr, out, nullptr, size, 0);
    while (n < 0 && errno == EINTR);
    return n;
}

int SystemCalls::fsync(int fd) {
    return ::fsync(fd);
}

int SystemCalls::fstat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}

int SystemCalls::stat(const char* path, struct stat* info) {
    return atPath(path, [&](int dir, const char* rest) { return ::fstatat(dir, rest, info, 0); });
}

int SystemCalls::lstat(const char* path, struct stat* info) {
    return atPath(path,
                  [&](int dir, const char* rest) { return ::fstatat(dir, rest, info, AT_SYMLINK_NOFOLLOW); });
}

ssize_t SystemCalls::readLink(const char* path, char* buffer, size_t size) {
    ssize_t n = -1;
    atPath(path, [&](int dir, const char* rest) {
        n = ::readlinkat(dir, rest, buffer, size);
        return 0;
    });
    return n;
}

int SystemCalls::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}

int SystemCalls::futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}

int SystemCalls::rename(const char* from, const char* to, bool noReplace) {
    return atPaths(from, to, [&](int fromDir, const char* fromRest, int toDir, const char* toRest) {
        return noReplace ? ::renameat2(fromDir, fromRest, toDir, toRest, RENAME_NOREPLACE)
                         : ::renameat(fromDir, fromRest, toDir, toRest);
    });
}

int SystemCalls::link(const char* from, const char* to) {
    return atPaths(from, to, [](int fromDir, const char* fromRest, int toDir, const char* toRest) {
        return ::linkat(fromDir, fromRest, toDir, toRest, 0);
    });
}

int SystemCalls::unlink(const char* path) {
    return atPath(path, [](int dir, const char* rest) { return ::unlinkat(dir, rest, 0); });
}

int SystemCalls::mkdir(const char* path, mode_t mode) {
    return atPath(path, [&](int dir, const char* rest) { return ::mkdirat(dir, rest, mode); });
}

namespace {

// A name relative to a folder descriptor is short; relative to the working folder it is a path
// that may need reaching in steps.
template <typename Call> int atName(int dir, const char* name, Call call) {
    if (dir != AT_FDCWD)
        return call(dir, name);
    return atPath(name, call);
}

} // namespace

int SystemCalls::openAt(int dir, const char* name, int flags, mode_t mode) {
    return atName(dir, name, [&](int at, const char* rest) {
        int fd;
        do
            fd = ::openat(at, rest, flags | O_CLOEXEC, mode);
        while (fd < 0 && errno == EINTR);
        return fd;
    });
}

int SystemCalls::statAt(int dir, const char* name, struct stat* info, bool followLinks) {
    return atName(dir, name, [&](int at, const char* rest) {
        return ::fstatat(at, rest, info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    });
}

int SystemCalls::renameAt(int fromDir, const char* from, int toDir, const char* to, bool noReplace) {
    return atName(fromDir, from, [&](int fromAt, const char* fromRest) {
        return atName(toDir, to, [&](int toAt, const char* toRest) {
            return noReplace ? ::renameat2(fromAt, fromRest, toAt, toRest, RENAME_NOREPLACE)
                             : ::renameat(fromAt, fromRest, toAt, toRest);
        });
    });
}

int SystemCalls::linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) {
    // An empty name stands for the descriptor itself (AT_EMPTY_PATH): nothing to reach.
    if (fromDir != AT_FDCWD || from[0] == '\0')
        return atName(toDir, to, [&](int toAt, const char* toRest) {
            return ::linkat(fromDir, from, toAt, toRest, flags);
        });
    return atName(fromDir, from, [&](int fromAt, const char* fromRest) {
        return atName(toDir, to, [&](int toAt, const char* toRest) {
            return ::linkat(fromAt, fromRest, toAt, toRest, flags);
        });
    });
}

int SystemCalls::unlinkAt(int dir, const char* name) {
    return atName(dir, name, [](int at, const char* rest) { return ::unlinkat(at, rest, 0); });
}

int SystemCalls::openFolder(const char* path, bool followLinks) {
    if (followLinks)
        return openPath(path, O_PATH | O_DIRECTORY);
    return openFolderNoFollow(path);
}

Syscalls& systemCalls() {
    static SystemCalls calls;
    return calls;
}

} // namespace karv::files
