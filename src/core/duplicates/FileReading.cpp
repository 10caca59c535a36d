#include "duplicates/FileReading.h"

#include "files/FileFacts.h"

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

} // namespace

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
    m_changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
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
