#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace karv {

/// How long reads hand control back: the MD5 key's digest runs the caller's pump and polls its stop
/// request after every `kDigestChunkBytes`, the duplicate search's hashing and comparing between
/// any two read blocks.
struct ReadControl {
    std::function<void()> pump;
    std::function<bool()> stopRequested;
};

/// Byte counters of the duplicate search, for progress and benchmarks.
struct ReadStats {
    std::uint64_t filesOpened = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesDigested = 0; ///< fed to MD5 or to the fast content hash
    std::uint64_t bytesCompared = 0; ///< compared byte by byte (counted once per pair of blocks)
};

/// A file opened for reading only. Refuses anything that is not a regular file (a name replaced by
/// a pipe or a device between listing and reading would block or never end).
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    std::uint64_t size() const { return m_size; }
    /// Identity and modification instant (nanoseconds since the epoch) seen at opening.
    std::uint64_t device() const { return m_device; }
    std::uint64_t inode() const { return m_inode; }
    std::int64_t modifiedNs() const {
        return static_cast<std::int64_t>(m_modified.tv_sec) * 1'000'000'000 + m_modified.tv_nsec;
    }
    /// Whether size or modification time differ from what they were when the file was opened.
    bool changedSinceOpen() const;

    /// Reads up to `length` bytes; -1 on a read error. Retries interrupted reads.
    long long read(char* buffer, std::size_t length);
    /// Reads up to `length` bytes from `offset`, leaving the position alone (safe from two threads).
    long long readAt(char* buffer, std::size_t length, std::uint64_t offset) const;

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    off_t m_offset = 0;
    struct timespec m_modified {};
};

} // namespace karv
