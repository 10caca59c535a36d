#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace karv {

// The words of the batch journal and of undoing the last batch, for every front end. Wording only.

inline constexpr std::string_view kUndoBatchCaption = "撤销上次操作";
inline constexpr std::string_view kNothingToUndoBatch = "没有可撤销的批量操作。";

inline constexpr std::string_view kSaveListCaption = "保存列表…";
inline constexpr std::string_view kLoadListCaption = "载入列表…";
inline constexpr std::string_view kSaveListTitle = "将列表保存到文件：";
inline constexpr std::string_view kLoadListTitle = "载入保存的列表：";
inline constexpr std::string_view kListFileFilter = "列表文件(*.json)|*.json|全部文件(*.*)|*.*";

/// The line under the list after loading: how many rows, and how many of them no action will touch.
std::string loadedListText(std::size_t rows, std::size_t changed, std::size_t vanished);
/// A list file that could not be read or written, and why.
std::string listFileFailureText(const std::string& file, const std::string& why);

/// The journal could not be written: nothing was done.
std::string batchJournalUnwritableText(const std::string& path);
/// The journal stopped taking lines mid-batch: the batch ended there.
std::string batchJournalStoppedText(const std::string& path);
/// Another batch or undo holds the data folder.
std::string batchBusyText(const std::string& folder);
std::string batchJournalForeignText(const std::string& path);
std::string batchJournalDamagedText(const std::string& path);
std::string batchJournalUnreadableText(const std::string& path);
/// "撤销完毕！撤销了 N 个文件" with what could not be taken back and why; `preview` words it as
/// what an undo would do.
std::string batchUndoSummaryText(const RunOutcome& outcome, bool preview);

} // namespace karv
