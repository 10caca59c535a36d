#include "duplicates/FileReading.h"

#include "files/FileFacts.h"
#include "files/LongPath.h"

#include <algorithm>
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

// Opens `path` in its folder from `folders`, as openForReading does by the whole path.
int openInFolder(const std::string& path, FolderCache& folders) {
    const std::size_t slash = path.rfind('/');
    const int dir = slash == std::string::npos || slash == 0
                        ? -1
                        : folders.folder(std::string_view(path).substr(0, slash));
    if (dir < 0)
        return openForReading(path);
    const char* name = path.c_str() + slash + 1;
    // The access times the time filter compares stay as they are where the system permits.
    const int fd = ::openat(dir, name, kReadFlags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::openat(dir, name, kReadFlags);
}

} // namespace

FolderCache::~FolderCache() {
    for (const Open& open : m_open)
        ::close(open.fd);
}

int FolderCache::folder(std::string_view folder) {
    for (std::size_t i = m_open.size(); i-- > 0;) {
        if (m_open[i].folder == folder) {
            std::rotate(m_open.begin() + static_cast<std::ptrdiff_t>(i),
                        m_open.begin() + static_cast<std::ptrdiff_t>(i) + 1, m_open.end());
            return m_open.back().fd;
        }
    }
    Open open{std::string(folder), -1};
    open.fd = files::openPath(open.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (open.fd < 0)
        return -1;
    if (m_open.size() == kFolders) {
        ::close(m_open.front().fd);
        m_open.erase(m_open.begin());
    }
    m_open.push_back(std::move(open));
    return m_open.back().fd;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path, FolderCache& folders, const ListedState* listed) {
    const int fd = openInFolder(path, folders);
    if (fd < 0)
        return;
    if (listed != nullptr) {
        m_fd = fd;
        m_identity = listed->identity;
        m_changedNs = listed->changedNs;
        m_asListed = true;
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_identity = identityOf(st);
    m_changedNs = changedNsOf(st);
    if (m_identity.size >= kSequentialAdviceBytes)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
    const int fd = openForReading(path);
    if (fd < 0)
        return;
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
