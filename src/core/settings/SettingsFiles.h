#pragma once

#include <string>
#include <string_view>

// File primitives of the settings store: whole-file reads, atomic replacement and the
// single-writer lock.

namespace karv::settingsio {

/// Reads a regular file whole, never waiting: a named pipe or a device at the path is refused as
/// unreadable without being opened for long. False when it is missing, not a regular file or
/// unreadable; `missing` tells the first case apart. The bytes are returned as they are.
bool readWholeFile(const std::string& path, std::string& content, bool* missing = nullptr);

/// Replaces `path` by a file holding exactly `content`: written to a temporary name in the same
/// folder, flushed to the disk, then renamed over the old file. Readers and a crash see either the
/// old or the new content, never a mixture. The old file's permission bits are kept, and a symbolic
/// link is followed (its target is replaced, the link stays). Anything but a regular file at the
/// path (or at the link's target) is refused and left alone. On failure the old file is untouched
/// and no temporary file is left behind.
bool replaceFileAtomically(const std::string& path, std::string_view content);

/// An exclusive advisory lock (flock) on a lock file, held until destruction or release(), which
/// also removes the file. A file left by a crashed process holds no lock and blocks nothing.
/// The descriptor is close-on-exec so that programs we start never inherit it.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// Creates the lock file when missing and takes the lock without waiting. False when another
    /// process (or another FileLock in this one) holds it, the file cannot be created or something
    /// other than a regular file has its name.
    bool acquire(const std::string& lockPath);
    void release();
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace karv::settingsio
