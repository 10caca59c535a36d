#pragma once

#include "actions/ListBatch.h"
#include "files/FailureReasons.h"
#include "run/RunContext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

// The words of the list's batches and hand-offs, for every front end that shows them. Wording only.

inline constexpr std::string_view kExportTitle = "将路径列表保存到文本文件：";
inline constexpr std::string_view kExportFilter = "文本文件(*.txt)|*.txt|全部文件(*.*)|*.*";

/// Added to the delete question when some of the rows were grouped as duplicates by size or name.
/// Said by the question before a delete for good: unlike the other batches, no undo takes it back.
inline constexpr std::string_view kCannotBeUndone = "彻底删除的文件无法撤销。";
inline constexpr std::string_view kWeakMatchWarning =
    "\n注意：其中有按长度或文件名找出的重复文件，它们的内容并未比较，未必相同。";

/// The buttons under the result list.
enum class ActionButton { Open, Locate, View, CopyPaths, CopyNames, Export, Copy, Move, Delete };

/// What a button under the list shows: at rest, at work (a batch: running, so a click stops it),
/// done for a moment, or stopping.
enum class ButtonState { Idle, Working, Done, Stopping };

/// The caption of `button` in `state`: "打开" / "打开中", "复制完成", "移动" / "停止" / "停止中", …
std::string_view actionCaption(ActionButton button, ButtonState state);

/// "移动" / "复制" / "删除".
std::string batchVerb(BatchAct act);

/// The line under the bar while a file is in hand: "(N:i) 正在移动 >> path".
std::string batchProgressText(BatchAct act, const RunProgress& now);

/// The closing line: "移动完毕！共 N 个文件，成功移动 M 个文件，耗时 …" and what failed and why.
std::string batchSummaryText(BatchAct act, std::size_t total, const RunOutcome& outcome,
                             std::int64_t elapsedMs);

/// The summary's closing words: what failed and why, or nothing.
std::string failuresText(const files::FailureTally& failures);

/// The message of an export that could not be written, with the reason.
std::string exportFailureText(const std::string& file, int error);

} // namespace karv
