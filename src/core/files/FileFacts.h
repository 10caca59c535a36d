#pragma once

#include "values/ValueText.h"

#include <cstdint>
#include <optional>
#include <string>

namespace karv {

/// What one stat of a path tells; read once per file and reused by every filter and by the row.
struct FileStat {
    std::uint64_t size = 0;
    std::int64_t created = 0;    ///< birth time in seconds; the last-write time where none is recorded
    std::int64_t modified = 0;   ///< seconds since the epoch
    std::int64_t modifiedNs = 0; ///< the same instant in nanoseconds, to tell a rewritten file
    std::int64_t changedNs = 0;  ///< status change time in nanoseconds, which a writer cannot set back
    std::int64_t accessed = 0;
    bool isDirectory = false;
    /// Identity of the file itself: two paths with the same pair (links, a folder reached twice)
    /// name one file.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

/// Stats a path (following symbolic links). Empty when it cannot be read.
std::optional<FileStat> statFile(const std::string& path);
/// The same for `name` in the open folder `folderFd`: the folder's path is not looked up again.
std::optional<FileStat> statFileAt(int folderFd, const char* name);

/// Opens a file to read its content without touching its access time where the system permits
/// (the owner, or a privileged user); elsewhere it opens it plainly. -1 when it cannot be opened.
int openForReading(const std::string& path);

/// The file's size in bytes; 0 when it cannot be read.
std::uint64_t fileSize(const std::string& path);

/// The three file times as texts "yyyy-MM-dd HH:mm:ss"; all empty when the file cannot be read.
struct FileTimes {
    std::string created;
    std::string modified;
    std::string accessed;
};

FileTimes fileTimesText(const std::string& path);
FileTimes fileTimesText(const FileStat& stat);

/// Seconds since the epoch as local broken-down time.
DateTime localDateTime(std::int64_t seconds);

} // namespace karv
