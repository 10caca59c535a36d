#include "duplicates/FileReading.h"

#include "files/FileFacts.h"
#include "files/LongPath.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace karv {

namespace {

constexpr std::uint64_t kSequentialAdviceBytes = std::uint64_t{1} << 20;

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

std::int64_t changedNsOf(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
}

int openAt(int dir, const char* name) {
    // The access times the time filter compares stay as they are where the system permits.
    const int fd = ::openat(dir, name, kReadFlags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::openat(dir, name, kReadFlags);
}

int openInFolder(const std::string& path, const OpenFolder* folder) {
    if (folder != nullptr && folder->fd >= 0) {
        if (const char* name = folder->nameOf(path))
            return openAt(folder->fd, name);
    }
    return openForReading(path);
}

} // namespace

OpenFolder::OpenFolder(std::string folder) : path(std::move(folder)) {
    fd = files::openPath(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

OpenFolder::~OpenFolder() {
    if (fd >= 0)
        ::close(fd);
}

const char* OpenFolder::nameOf(const std::string& file) const {
    if (file.size() <= path.size() || file.compare(0, path.size(), path) != 0)
        return nullptr;
    std::size_t at = path.size();
    if (path.back() != '/') {
        if (file[at] != '/')
            return nullptr;
        ++at;
    }
    if (at >= file.size() || file.find('/', at) != std::string::npos)
        return nullptr;
    return file.c_str() + at;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path, const OpenFolder* folder, const ListedState* listed) {
    const int fd = openInFolder(path, folder);
    if (fd < 0)
        return;
    if (listed != nullptr) {
        m_fd = fd;
        m_identity = listed->identity;
        m_changedNs = listed->changedNs;
        m_asListed = true;
        return;
    }
    adopt(fd);
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
    const int fd = openForReading(path);
    if (fd >= 0)
        adopt(fd);
}

void ReadOnlyFile::adopt(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_identity = identityOf(st);
    m_changedNs = changedNsOf(st);
    // Only a large file gains from a wider read-ahead; for the many small ones it is a wasted call.
    if (m_identity.size >= kSequentialAdviceBytes)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ReadOnlyFile::changedSinceOpen() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return true;
    return identityOf(st) != m_identity;
}

bool ReadOnlyFile::unchangedAfterRead() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || identityOf(st) != m_identity)
        return false;
    // Taken as listed: a status change since (a write with the old times put back) tells too.
    return !m_asListed || changedNsOf(st) == m_changedNs;
}

long long ReadOnlyFile::read(char* buffer, std::size_t length) {
    while (true) {
        // Positioned reads: going back to the start costs no call.
        const ssize_t got = ::pread(m_fd, buffer, length, m_offset);
        if (got >= 0) {
            m_offset += got;
            return got;
        }
        if (errno != EINTR)
            return -1;
    }
}

long long ReadOnlyFile::readAt(char* buffer, std::size_t length, std::uint64_t offset) const {
    while (true) {
        const ssize_t got = ::pread(m_fd, buffer, length, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace karv
