#include "actions/ActionTexts.h"

#include "text/NameText.h"
#include "values/ValueText.h"

#include <cerrno>
#include <cstring>

namespace karv {

namespace {

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

} // namespace

namespace {

std::string_view idleCaption(ActionButton button) {
    switch (button) {
    case ActionButton::Open:
        return "打开";
    case ActionButton::Locate:
        return "定位";
    case ActionButton::View:
        return "查看";
    case ActionButton::CopyPaths:
        return "复制路径";
    case ActionButton::CopyNames:
        return "复制名称";
    case ActionButton::Export:
        return "导出";
    case ActionButton::Copy:
        return "复制";
    case ActionButton::Move:
        return "移动";
    case ActionButton::Delete:
        return "删除";
    }
    return {};
}

std::string_view workingCaption(ActionButton button) {
    switch (button) {
    case ActionButton::Open:
        return "打开中";
    case ActionButton::Locate:
        return "定位中";
    case ActionButton::CopyPaths:
    case ActionButton::CopyNames:
        return "复制中";
    case ActionButton::Export:
        return "导出中";
    case ActionButton::Copy:
    case ActionButton::Move:
    case ActionButton::Delete:
        return "停止";
    case ActionButton::View:
        break;
    }
    return idleCaption(button);
}

std::string_view doneCaption(ActionButton button) {
    switch (button) {
    case ActionButton::CopyPaths:
    case ActionButton::CopyNames:
        return "复制完成";
    case ActionButton::Export:
        return "完成";
    default:
        return idleCaption(button);
    }
}

} // namespace

std::string_view actionCaption(ActionButton button, ButtonState state) {
    switch (state) {
    case ButtonState::Idle:
        return idleCaption(button);
    case ButtonState::Working:
        return workingCaption(button);
    case ButtonState::Done:
        return doneCaption(button);
    case ButtonState::Stopping:
        return "停止中";
    }
    return idleCaption(button);
}

std::string batchVerb(BatchAct act) {
    switch (act) {
    case BatchAct::Move:
        return "移动";
    case BatchAct::Copy:
        return "复制";
    case BatchAct::Trash:
    case BatchAct::Remove:
        break;
    }
    return "删除";
}

// Built by appending (chains of + on temporaries trip a GCC 12 warning).
std::string batchProgressText(BatchAct act, const RunProgress& now) {
    std::string line = "(";
    line.append(number(now.total)).append(":").append(number(now.done)).append(") ");
    line.append("正在").append(batchVerb(act)).append(" >> ").append(displayText(now.item));
    return line;
}

std::string batchSummaryText(BatchAct act, std::size_t total, const RunOutcome& outcome,
                             std::int64_t elapsedMs) {
    const std::string verb = batchVerb(act);
    std::string text = verb + "完毕！共 " + number(total) + " 个文件，成功" + verb + " " +
                       number(outcome.succeeded) + " 个文件，耗时";
    // The delete's summary has always put its time in brackets.
    if (act == BatchAct::Move || act == BatchAct::Copy)
        text += " " + elapsedText(elapsedMs);
    else
        text += "(" + elapsedText(elapsedMs) + ")";
    return text + failuresText(outcome.failures);
}

std::string failuresText(const files::FailureTally& failures) {
    if (failures.empty())
        return {};
    return "。" + failures.summary([](const std::string& path) { return displayText(path); });
}

std::string exportFailureText(const std::string& file, int error) {
    std::string reason;
    if (error == EISDIR)
        reason = "同名的文件夹已存在";
    else if (error == ELOOP)
        reason = "符号链接过多或成环";
    else if (const files::FailureReason known = files::reasonOf(error); known != files::FailureReason::Other)
        reason = files::reasonText(known);
    else
        reason.append(files::reasonText(known)).append("：").append(std::strerror(error));
    return "导出失败（" + reason + "），" + displayText(file) + " 没有写入。";
}

} // namespace karv
