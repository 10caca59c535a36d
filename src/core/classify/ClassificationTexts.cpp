#include "classify/ClassificationTexts.h"

#include "classify/ClassifyParts.h"
#include "text/NameText.h"

namespace karv {

std::string classificationProgressText(const RunProgress& now) {
    switch (now.stage) {
    case RunStage::Starting:
        return std::string(kClassifyStartingCaption);
    case RunStage::Walking:
        return std::string(kReadingFolderCaption) + displayText(now.item);
    case RunStage::Placing:
        return shortenForDisplay("    (" + std::to_string(now.total) + ":" + std::to_string(now.done) + ") " +
                                     displayText(now.item),
                                 kProgressWidth);
    case RunStage::Filtering:
    case RunStage::Comparing:
    case RunStage::Finishing:
        break;
    }
    return std::string(kClassifyIdleCaption);
}

std::string undoDoneText(std::size_t undone, bool preview) {
    return (preview ? "撤销预览：将还原 " : "撤销完成！共还原 ") + std::to_string(undone) + " 个文件";
}

std::string undoNotRestoredText(std::size_t notRestored, bool preview) {
    return "，" + std::to_string(notRestored) + (preview ? " 个文件无法还原" : " 个文件未能还原");
}

std::string_view classificationEndedText(bool stopped) {
    return stopped ? "归类已停止，" : "归类完成，";
}

std::string classificationSummaryLine(bool preview, bool stopped, std::int64_t processed,
                                      std::int64_t failures, const std::string& failureLog) {
    const std::string count = std::to_string(processed);
    if (failures > 0 && preview)
        return (stopped ? "预览已停止！共 " : "预览完成！共 ") + count + " 个文件，其中 " +
               std::to_string(failures) + " 个文件将归类失败。";
    if (failures > 0)
        return std::string(classificationEndedText(stopped)) + "但有 " + std::to_string(failures) +
               " 个文件归类失败，具体请看【" + failureLog + "】";
    if (preview)
        return (stopped ? "预览已停止！" : "预览完成！") + std::string("共 ") + count + " 个文件。";
    return std::string(stopped ? kStoppedSummaryTitle : kSummaryTitle) + "共 " + count + " 个文件。";
}

} // namespace karv
