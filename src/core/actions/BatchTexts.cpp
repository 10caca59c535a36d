#include "actions/BatchTexts.h"

#include "actions/ActionTexts.h"
#include "text/NameText.h"

namespace karv {

std::string loadedListText(std::size_t rows, std::size_t changed, std::size_t vanished) {
    std::string text = "载入了 " + std::to_string(rows) + " 行";
    if (changed + vanished > 0)
        text += "，其中 " + std::to_string(changed) + " 个文件列出后已改变、" + std::to_string(vanished) +
                " 个已不存在（灰色标出），任何操作都会跳过它们";
    return text + "。";
}

std::string listFileFailureText(const std::string& file, const std::string& why) {
    return "列表文件 " + displayText(file) + " 无法使用：" + why;
}

std::string batchJournalUnwritableText(const std::string& path) {
    return "无法写入批量操作记录（" + displayText(path) + "），没有处理任何文件。";
}

std::string batchJournalStoppedText(const std::string& path) {
    return "批量操作记录无法写入（" + displayText(path) + "），操作已停止。";
}

std::string batchBusyText(const std::string& folder) {
    return "另一个批量操作或撤销正在使用记录文件夹（" + displayText(folder) + "），请等它结束后再试。";
}

std::string batchJournalForeignText(const std::string& path) {
    return "这不是本程序写下的批量操作记录，不予撤销（" + displayText(path) + "）";
}

std::string batchJournalDamagedText(const std::string& path) {
    return "批量操作记录已损坏，无法撤销（" + displayText(path) + "）";
}

std::string batchJournalUnreadableText(const std::string& path) {
    return "无法读取批量操作记录（" + displayText(path) + "）";
}

std::string batchUndoSummaryText(const RunOutcome& outcome, bool preview) {
    std::string text = preview ? "可以撤销 " : "撤销完毕！撤销了 ";
    text += std::to_string(outcome.succeeded) + " 个文件";
    return text + failuresText(outcome.failures);
}

} // namespace karv
