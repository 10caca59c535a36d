#include "settings/SettingsFiles.h"

#include "files/FileOps.h"
#include "settings/TextInput.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace karv::settingsio {

using files::folderOf;

namespace {

bool writeAll(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool readWholeFile(const std::string& path, std::string& content, bool* missing) {
    content.clear();
    if (missing)
        *missing = false;
    // Not blocking: a named pipe at the path would otherwise wait for a writer forever. Links are
    // followed, as the writer follows them.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::string buffer, error;
    const bool read = readToEnd(fd, buffer, error);
    ::close(fd);
    if (read)
        content = std::move(buffer);
    return read;
}

bool replaceFileAtomically(const std::string& requestedPath, std::string_view content) {
    // Renaming over a symbolic link would replace the link; write its target instead.
    std::string path = requestedPath;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr)
            return false;
        path = resolved;
        std::free(resolved);
    }
    // Only a regular file is ever replaced: a pipe or device there is someone else's, not ours.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return false;
    const std::string folder = folderOf(path);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, content);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk too, or a crash could bring back the old name.
    syncFolder(folder);
    return true;
}

FileLock::~FileLock() {
    release();
}

bool FileLock::acquire(const std::string& lockPath) {
    release();
    // A holder that exits removes the file while it still holds the lock; whoever had opened the
    // old file then locks a name that no longer exists, and must start again on the new one.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
        if (fd < 0)
            return false;
        // A pipe or device at the name is no lock file, and release() must not remove it.
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return false;
        }
        int locked = -1;
        do
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            ::close(fd);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            m_fd = fd;
            m_path = lockPath;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void FileLock::release() {
    if (m_fd >= 0) {
        // Removed while still locked, so no one can take the lock on a file about to vanish.
        ::unlink(m_path.c_str());
        ::close(m_fd);
        m_fd = -1;
        m_path.clear();
    }
}

} // namespace karv::settingsio
