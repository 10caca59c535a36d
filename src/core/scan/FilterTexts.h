#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

// The words of a filter run that the windows and the command line both show. Wording only: what
// to show, and when, is each front end's choice.

inline constexpr std::string_view kIdleCaption = "  选择目录开始筛选";
inline constexpr std::string_view kRunningCaption = "  立即停止筛选！";
inline constexpr std::string_view kStoppingCaption = "  正在停止筛选..";
inline constexpr std::string_view kBusyMessage = "在开始新操作之前请先停止正在执行的操作！";
inline constexpr std::string_view kChooseFolderPrompt =
    "选择一个目录，确定后将根据设置，扫描该目录中符合条件的文件，输出到右侧列表：";

/// The activity while the walk is in `folder`.
std::string walkingText(const std::string& folder);
/// The activity while the duplicate search reads the digest of `path`, `bytes` long.
std::string readingDigestText(std::uint64_t bytes, const std::string& path);
/// The status line while a run goes: the elapsed time, then the activity.
std::string runningStatusText(std::int64_t elapsedMs, const std::string& activity);
/// The status line once a run ended: the rows listed, the time it took, and a note on the
/// expression searches that gave up (`limitFiles` of them, the first `limitFirst`).
std::string finishedStatusText(std::uint64_t rows, std::int64_t elapsedMs, std::uint64_t limitFiles,
                               const std::string& limitFirst);

} // namespace karv
