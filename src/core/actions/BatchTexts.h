#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace karv {

// The words of the batch journal and of undoing the last batch, for every front end. Wording only.

inline constexpr std::string_view kUndoBatchCaption = "撤销上次操作";
inline constexpr std::string_view kNothingToUndoBatch = "没有可撤销的批量操作。";

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
