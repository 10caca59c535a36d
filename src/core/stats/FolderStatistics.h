#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

class OpenFolders;

inline constexpr std::string_view kStatisticsIdleCaption = "立即执行统计";
inline constexpr std::string_view kStatisticsStartingCaption = "正在初始化中..";
inline constexpr std::string_view kStatisticsReadingCaption = "正在读取目录：";

/// One result row: a folder, how many of its own files fit the pattern list and how many
/// sub-folders it holds.
struct StatisticsRow {
    std::string folder; ///< raw bytes, ending in "/"
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
};

/// "folder,files,folders" and `lineEnd`: the form rows are copied and printed in. The folder is
/// decoded for display as the list shows it.
std::string statisticsLine(const StatisticsRow& row, std::string_view lineEnd);

/// What a statistics run asks of the front end that started it: the option controls (read when
/// the run needs them), the start/stop button, the result list and the event pump. The window
/// answers with live widgets, the command line and the tests with plain values.
class StatisticsHost {
public:
    virtual ~StatisticsHost() = default;

    // 编辑框目录, 编辑框过滤, 选择框遍历, the two thresholds with their check boxes.
    virtual std::string folderText() const = 0;
    virtual std::string patternList() const = 0;
    virtual bool recurse() const = 0;
    virtual bool fileThresholdOn() const = 0;
    virtual std::string fileThresholdText() const = 0;
    virtual bool folderThresholdOn() const = 0;
    virtual std::string folderThresholdText() const = 0;

    // 按钮立即执行统计: its caption is the run state.
    virtual std::string runCaption() const = 0;
    virtual void setRunCaption(std::string_view caption) = 0;
    virtual void setCaptionLeftAligned(bool left) = 0;
    virtual void saveControlStates() = 0;

    // 超级列表框1 and the count in its first column's header.
    virtual void clearRows() = 0;
    virtual void appendRow(StatisticsRow row) = 0;
    virtual std::size_t rowCount() const = 0;
    virtual void setHeaderCount(std::size_t rows) = 0;

    /// Lets the front end handle pending events (a stop click among them).
    virtual void pump() = 0;
};

/// A threshold as a run reads it: the typed count when its check box is on, else 0 (no threshold).
std::int64_t thresholdValue(bool on, std::string_view text);

/// Counts the files and sub-folders of a folder and, when asked, of every folder below it, in
/// depth-first pre-order, keeping the folders whose counts reach the thresholds.
class StatisticsRun {
public:
    explicit StatisticsRun(StatisticsHost& host) : m_host(host) {}

    /// The click handler of 按钮立即执行统计: starts a run, or asks the running one to stop.
    void runStatistics();
    /// Counts one folder, lists it when it qualifies and, when recursing, the folders below it.
    void countFolder(const std::string& folder);

    bool stopRequested() const { return m_stop; }
    /// Asks a running count to end after the current folder (the window is closing).
    void requestStop() { m_stop = true; }
    /// Folders read by the current or last run, listed or not.
    std::uint64_t foldersVisited() const { return m_visited; }

private:
    void countOpenFolder(OpenFolders& open, std::string& folder);

    StatisticsHost& m_host;
    bool m_stop = false;
    bool m_recurse = false;
    std::int64_t m_fileThreshold = 0;
    std::int64_t m_folderThreshold = 0;
    std::uint64_t m_visited = 0;
};

} // namespace karv
