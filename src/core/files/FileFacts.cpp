#include "files/FileFacts.h"

#include "files/LongPath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

namespace karv {

namespace {

constexpr unsigned kStatMask =
    STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_ATIME | STATX_BTIME | STATX_INO;

std::optional<FileStat> statAt(int dir, const char* name) {
    struct statx sx {};
    if (::statx(dir, name, 0, kStatMask, &sx) != 0)
        return std::nullopt;
    FileStat result;
    result.size = sx.stx_size;
    result.modified = sx.stx_mtime.tv_sec;
    result.modifiedNs = static_cast<std::int64_t>(sx.stx_mtime.tv_sec) * 1'000'000'000 + sx.stx_mtime.tv_nsec;
    result.changedNs = static_cast<std::int64_t>(sx.stx_ctime.tv_sec) * 1'000'000'000 + sx.stx_ctime.tv_nsec;
    result.accessed = sx.stx_atime.tv_sec;
    // Many file systems record no birth time; the last-write time stands in for it.
    result.created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    result.isDirectory = S_ISDIR(sx.stx_mode);
    result.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    result.inode = sx.stx_ino;
    return result;
}

} // namespace

std::optional<FileStat> statFile(const std::string& path) {
    const files::ShortPath at(path.c_str());
    if (!at.ok())
        return std::nullopt;
    return statAt(at.dir(), at.rest());
}

std::optional<FileStat> statFileAt(int folderFd, const char* name) {
    return statAt(folderFd, name);
}

int openForReading(const std::string& path) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Filtering by content must not move the access times the time filter compares.
    // A path deeper than the kernel's limit is reached folder by folder.
    const int fd = files::openPath(path.c_str(), kFlags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return files::openPath(path.c_str(), kFlags);
}

std::uint64_t fileSize(const std::string& path) {
    const auto stat = statFile(path);
    return stat ? stat->size : 0;
}

DateTime localDateTime(std::int64_t seconds) {
    const time_t value = static_cast<time_t>(seconds);
    struct tm parts {};
    if (::localtime_r(&value, &parts) == nullptr)
        return {};
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

FileTimes fileTimesText(const FileStat& stat) {
    FileTimes times;
    times.created = dateTimeText(localDateTime(stat.created), DateTimeMode::Both);
    times.modified = dateTimeText(localDateTime(stat.modified), DateTimeMode::Both);
    const DateTime accessed = localDateTime(stat.accessed);
    // A volume that keeps only access dates reports midnight: show the date and a space.
    if (accessed.hour == 0 && accessed.minute == 0 && accessed.second == 0)
        times.accessed = dateTimeText(accessed, DateTimeMode::DateOnly) + " ";
    else
        times.accessed = dateTimeText(accessed, DateTimeMode::Both);
    return times;
}

FileTimes fileTimesText(const std::string& path) {
    const auto stat = statFile(path);
    return stat ? fileTimesText(*stat) : FileTimes{};
}

} // namespace karv
