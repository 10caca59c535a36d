#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

    ReadStats& operator+=(const ReadStats& more) {
        filesOpened += more.filesOpened;
        bytesRead += more.bytesRead;
        bytesDigested += more.bytesDigested;
        bytesCompared += more.bytesCompared;
        return *this;
    }
};

/// What identifies a file's state: the same file (device, inode) with the same size and last
/// write. A file still equal to an earlier identity holds the bytes read from it then.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// A file as the walk listed it: its identity and its status change time.
struct ListedState {
    FileIdentity identity;
    std::int64_t changedNs = 0;
};

/// A folder the walk is in, opened (O_PATH) once for the files of it that are read.
struct OpenFolder {
    explicit OpenFolder(std::string folder);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    /// The name of `path` in this folder, or null when `path` is not a file directly in it.
    const char* nameOf(const std::string& path) const;

    std::string path;
    int fd = -1;
};

/// A file opened for reading only. Refuses anything that is not a regular file (a name replaced by
/// a pipe or a device between listing and reading would block or never end).
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path);
    /// Opens `path` relative to `folder` when that is the file's folder (the path is not looked up
    /// again name by name), else by its path. With `listed` (a small file about to be read whole)
    /// the file is taken to be as listed and not stat'ed on opening: `unchangedAfterRead` then
    /// checks that it is a regular file exactly in its listed state, change time included.
    ReadOnlyFile(const std::string& path, const OpenFolder* folder, const ListedState* listed);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    std::uint64_t size() const { return m_identity.size; }
    /// The file as it was when opened.
    const FileIdentity& identity() const { return m_identity; }
    /// The status change time when opened, in nanoseconds.
    std::int64_t changedNs() const { return m_changedNs; }
    /// Whether size or modification time differ from what they were when the file was opened.
    bool changedSinceOpen() const;
    /// After reading: still a regular file with the identity it had when opened (or listed).
    bool unchangedAfterRead();

    /// Reads up to `length` bytes; -1 on a read error. Retries interrupted reads.
    long long read(char* buffer, std::size_t length);
    /// Reads up to `length` bytes from `offset`, leaving the position alone (safe from two threads).
    long long readAt(char* buffer, std::size_t length, std::uint64_t offset) const;

private:
    /// Keeps `fd` as this file when it is a regular file, with its state as opened; else closes it.
    void adopt(int fd);

    int m_fd = -1;
    FileIdentity m_identity;
    std::int64_t m_changedNs = 0;
    bool m_asListed = false; // not stat'ed on opening
    off_t m_offset = 0;
};

} // namespace karv
