#pragma once

#include "files/FileFacts.h"
#include "values/ValueText.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace karv {

/// Which file a row was listed from and what it looked like then. An action on the row first
/// checks that the path still leads to that very file, unchanged, so that a list never acts on a
/// file rewritten or put in its place since. A row without one is not acted on.
struct RowStamp {
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0; ///< status change time, which a writer cannot set back
    /// The folder the file was listed in (its path followed as the walk followed it): an act later
    /// reaches the file only through that very folder.
    bool folderKnown = false;
    std::uint64_t folderDevice = 0;
    std::uint64_t folderInode = 0;
};

/// The stamp of a file as one stat found it.
inline RowStamp rowStamp(const FileStat& stat) {
    return {true, stat.device, stat.inode, stat.size, stat.modifiedNs, stat.changedNs, false, 0, 0};
}

/// The stamp of a file and of the folder it was listed in.
inline RowStamp rowStamp(const FileStat& stat, const FileStat& folder) {
    return {true,           stat.device, stat.inode,    stat.size,   stat.modifiedNs,
            stat.changedNs, true,        folder.device, folder.inode};
}

/// The numbers a row's texts were made from, where a maker made them so: sizeText(*size),
/// groupedCountText(*count), dateTimeText(*time, timeMode). A long list keeps these in place of
/// the texts and makes the texts again when they are shown. Empty: the text is all there is.
struct ShownValues {
    std::optional<std::uint64_t> size;
    std::optional<std::uint64_t> count;
    std::optional<DateTime> time;
    DateTimeMode timeMode = DateTimeMode::Both;
};

/// One row of the result list. The name and folder keep the raw path bytes, so a name that is not
/// UTF-8 is acted on exactly; front ends decode them only for display.
struct ResultRow {
    std::string name;            ///< 文件名: the file name with extension
    std::string sizeText;        ///< 文件大小
    std::string timeText;        ///< 文件时间
    std::string countText;       ///< 内容字数
    std::string folder;          ///< 所在目录: the folder part followed by "/"
    std::uint32_t itemValue = 0; ///< the low 32 bits of the size
    RowStamp stamp;              ///< not shown
    std::uint32_t group = 0;     ///< duplicate group, from 1 in listing order; 0 outside a duplicate run
    bool kept = false;           ///< the group's member that is kept (left out by 全部减一)
    bool weakMatch = false;      ///< grouped by size or name only: the contents were not compared
    ShownValues shown;           ///< what the texts above were made from, when known

    std::string path() const { return folder + name; }
};

/// Where a run's rows go: the windows' list model, or the command line's output.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void append(ResultRow row) = 0;
    virtual std::size_t count() const = 0;
    virtual void clear() = 0;
};

} // namespace karv
