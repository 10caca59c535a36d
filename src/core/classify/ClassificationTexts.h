#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

// The words of a classification and its undo, for every front end that shows them. Wording only.

inline constexpr std::string_view kClassifyIdleCaption = "立即执行归类";
inline constexpr std::string_view kClassifyStartingCaption = "正在初始化中..";
inline constexpr std::string_view kReadingFolderCaption = "正在读取目录：";
inline constexpr std::string_view kDefaultClassifyTemplate = "[父目录路径]/[批次名]/[文件名]";
inline constexpr std::string_view kSummaryPrompt =
    "下面仅显示部分归类后的文件路径。\r\n完整记录请看软件目录下的【归类后文件路径.txt】";
inline constexpr std::string_view kSummaryTitle = "归类完成！";
inline constexpr std::string_view kStoppedSummaryTitle = "归类已停止！";
inline constexpr std::string_view kNoFolderChosen = "请先选择要归类的目录！";
inline constexpr std::string_view kNothingToUndo = "没有可以撤销的归类。";
inline constexpr std::size_t kProgressWidth = 80;

/// What the start button (or the command line's status line) says while a run works:
/// "正在初始化中..", "正在读取目录：folder", "    (N:i) path" cut to `kProgressWidth`.
std::string classificationProgressText(const RunProgress& now);

/// "撤销完成！共还原 N 个文件" (the preview: "撤销预览：将还原 N 个文件"), without the closing words.
std::string undoDoneText(std::size_t undone, bool preview = false);

/// "，N 个文件未能还原" (the preview: "，N 个文件无法还原"): what follows `undoDoneText` when files
/// could not be taken back.
std::string undoNotRestoredText(std::size_t notRestored, bool preview = false);

/// "归类完成，" / "归类已停止，": the opening of a summary with failures.
std::string_view classificationEndedText(bool stopped);

/// The closing line of a run at the command line: the count, and the failures with where they are
/// logged. `failureLog` empty for a preview, which logs nothing.
std::string classificationSummaryLine(bool preview, bool stopped, std::int64_t processed,
                                      std::int64_t failures, const std::string& failureLog);

} // namespace karv
