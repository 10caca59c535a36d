#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

namespace karv::files {

/// Every system call the file operations make goes through here, so tests can make any one of
/// them fail. Each call behaves like its POSIX namesake: -1 (or a negative count) with errno set.
class Syscalls {
public:
    virtual ~Syscalls() = default;
    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t read(int fd, void* buffer, size_t size) = 0;
    /// pread: reads from `offset`, leaving the descriptor's position alone.
    virtual ssize_t readAt(int fd, void* buffer, size_t size, off_t offset) = 0;
    virtual ssize_t write(int fd, const void* buffer, size_t size) = 0;
    /// copy_file_range between the current offsets of the two descriptors.
    virtual ssize_t copyRange(int in, int out, size_t size) = 0;
    virtual int fsync(int fd) = 0;
    virtual int fstat(int fd, struct stat* info) = 0;
    virtual int stat(const char* path, struct stat* info) = 0;
    virtual int lstat(const char* path, struct stat* info) = 0;
    /// readlink: the link's target, not terminated; the count of bytes placed in `buffer`.
    virtual ssize_t readLink(const char* path, char* buffer, size_t size) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int futimens(int fd, const struct timespec times[2]) = 0;
    /// rename, or renameat2 with RENAME_NOREPLACE when `noReplace`.
    virtual int rename(const char* from, const char* to, bool noReplace) = 0;
    virtual int link(const char* from, const char* to) = 0;
    virtual int unlink(const char* path) = 0;
    virtual int mkdir(const char* path, mode_t mode) = 0;

    // The same acts on a name inside a folder descriptor, so that a folder checked once is the
    // folder acted in. With AT_FDCWD the name may be a path of any length.
    virtual int openAt(int dir, const char* name, int flags, mode_t mode) = 0;
    /// fstatat; `followLinks` false stats a link itself.
    virtual int statAt(int dir, const char* name, struct stat* info, bool followLinks) = 0;
    /// renameat, or renameat2 with RENAME_NOREPLACE when `noReplace`.
    virtual int renameAt(int fromDir, const char* from, int toDir, const char* to, bool noReplace) = 0;
    /// linkat with its flags (AT_SYMLINK_FOLLOW, AT_EMPTY_PATH).
    virtual int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) = 0;
    virtual int unlinkAt(int dir, const char* name) = 0;
    /// A descriptor (O_PATH) of the folder `path`. Without `followLinks` no component of the path
    /// may be a symbolic link: such a path fails with ELOOP or ENOTDIR.
    virtual int openFolder(const char* path, bool followLinks) = 0;
};

/// The kernel's calls.
class SystemCalls : public Syscalls {
public:
    int open(const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t read(int fd, void* buffer, size_t size) override;
    ssize_t readAt(int fd, void* buffer, size_t size, off_t offset) override;
    ssize_t write(int fd, const void* buffer, size_t size) override;
    ssize_t copyRange(int in, int out, size_t size) override;
    int fsync(int fd) override;
    int fstat(int fd, struct stat* info) override;
    int stat(const char* path, struct stat* info) override;
    int lstat(const char* path, struct stat* info) override;
    ssize_t readLink(const char* path, char* buffer, size_t size) override;
    int fchmod(int fd, mode_t mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    int rename(const char* from, const char* to, bool noReplace) override;
    int link(const char* from, const char* to) override;
    int unlink(const char* path) override;
    int mkdir(const char* path, mode_t mode) override;
    int openAt(int dir, const char* name, int flags, mode_t mode) override;
    int statAt(int dir, const char* name, struct stat* info, bool followLinks) override;
    int renameAt(int fromDir, const char* from, int toDir, const char* to, bool noReplace) override;
    int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override;
    int unlinkAt(int dir, const char* name) override;
    int openFolder(const char* path, bool followLinks) override;
};

/// The one shared instance of the kernel's calls.
Syscalls& systemCalls();

} // namespace karv::files
