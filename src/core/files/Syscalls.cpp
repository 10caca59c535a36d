#include "files/Syscalls.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace karv::files {

int SystemCalls::open(const char* path, int flags, mode_t mode) {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
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
    return ::stat(path, info);
}

int SystemCalls::lstat(const char* path, struct stat* info) {
    return ::lstat(path, info);
}

int SystemCalls::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}

int SystemCalls::futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}

int SystemCalls::rename(const char* from, const char* to, bool noReplace) {
    if (noReplace)
        return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    return ::rename(from, to);
}

int SystemCalls::link(const char* from, const char* to) {
    return ::link(from, to);
}

int SystemCalls::unlink(const char* path) {
    return ::unlink(path);
}

int SystemCalls::mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}

Syscalls& systemCalls() {
    static SystemCalls calls;
    return calls;
}

} // namespace karv::files
