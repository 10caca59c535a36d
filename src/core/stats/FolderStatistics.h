#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

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

/// The caption of 按钮立即执行统计 for a run's progress: starting, or the folder being read (as
/// typed, decoded for display).
std::string statisticsCaption(const RunProgress& now);

/// What one statistics run is asked, read from the controls as it starts.
struct StatisticsRequest {
    std::string folder; ///< empty means the root
    bool recurse = false;
    std::int64_t fileThreshold = 0;   ///< 0: none
    std::int64_t folderThreshold = 0; ///< 0: none
    /// The pattern list, read again for every folder: a change during a run applies to the
    /// following folders.
    std::function<std::string()> patternList;
};

/// Where the qualifying folders go, as they are found.
class StatisticsSink {
public:
    virtual ~StatisticsSink() = default;
    virtual void appendRow(StatisticsRow row) = 0;
};

/// A threshold as a run reads it: the typed count when its check box is on, else 0 (no threshold).
std::int64_t thresholdValue(bool on, std::string_view text);

/// Counts the files and sub-folders of a folder and, when asked, of every folder below it, in
/// depth-first pre-order, keeping the folders whose counts reach the thresholds. Reports
/// `RunStage::Starting`, then each folder as `RunStage::Walking` before it is read. The outcome's `processed`
/// counts the folders read, listed or not; `succeeded` the folders listed.
RunOutcome runStatistics(const StatisticsRequest& request, const RunContext& context, StatisticsSink& sink);

} // namespace karv
