#include "scan/FilterTexts.h"

#include "text/NameText.h"
#include "values/ValueText.h"

namespace karv {

std::string walkingText(const std::string& folder) {
    return "正在筛选：" + displayText(folder);
}

std::string readingDigestText(std::uint64_t bytes, const std::string& path) {
    return "大小 " + sizeText(bytes) + "，正在读MD5：" + displayText(path);
}

std::string runningStatusText(std::int64_t elapsedMs, const std::string& activity) {
    return "(" + elapsedText(elapsedMs) + ") " + activity;
}

std::string finishedStatusText(std::uint64_t rows, std::int64_t elapsedMs, std::uint64_t limitFiles,
                               const std::string& limitFirst) {
    std::string status = "筛选完毕！共筛选出 " + std::to_string(rows) + " 个文件，耗时 " +
                         elapsedText(elapsedMs) + "。请单击按钮操作列表！";
    // A "no match" that was really a search given up must not pass silently.
    if (limitFiles > 0)
        status += " 注意：有 " + std::to_string(limitFiles) +
                  " 个文件的表达式匹配超出计算上限，已按不匹配处理（第一个：" + displayText(limitFirst) +
                  "）。";
    return status;
}

} // namespace karv
