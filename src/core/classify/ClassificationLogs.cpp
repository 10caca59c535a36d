#include "classify/ClassificationLogs.h"

#include "classify/ClassifyParts.h"
#include "settings/SettingsFiles.h"

#include <unordered_set>

namespace karv {

std::string logPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
}

namespace {

std::FILE* createLog(const std::string& folder, std::string_view name) {
    std::FILE* file = std::fopen(logPath(folder, name).c_str(), "wbe");
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return file;
}

void writeLine(std::FILE* file, std::string_view line) {
    if (file == nullptr)
        return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fwrite("\r\n", 1, 2, file);
}

void closeLog(std::FILE*& file) {
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
}

} // namespace

ClassificationLogs::~ClassificationLogs() {
    close();
}

void ClassificationLogs::open(const std::string& folder) {
    close();
    m_before = createLog(folder, kBeforeLogName);
    m_after = createLog(folder, kAfterLogName);
    m_failures = createLog(folder, kFailureLogName);
}

void ClassificationLogs::record(std::string_view source, std::string_view target, bool failed) {
    writeLine(m_before, source);
    writeLine(m_after, target);
    if (failed)
        writeLine(m_failures, source);
}

void ClassificationLogs::close() {
    closeLog(m_before);
    closeLog(m_after);
    closeLog(m_failures);
}

bool readLoggedPlacements(const std::string& folder, std::vector<LoggedPlacement>& placements,
                          std::string& problem) {
    placements.clear();
    std::string before, after, failures;
    if (!settingsio::readWholeFile(logPath(folder, kBeforeLogName), before) ||
        !settingsio::readWholeFile(logPath(folder, kAfterLogName), after)) {
        problem = "找不到上次归类的记录（" + logPath(folder, kBeforeLogName) + "）";
        return false;
    }
    settingsio::readWholeFile(logPath(folder, kFailureLogName), failures);
    const auto sources = splitLines(before);
    const auto targets = splitLines(after);
    // A name holding a line break would shift one log against the other; then no pairing is safe.
    if (sources.size() != targets.size()) {
        problem = "上次归类的记录前后不一致，无法撤销";
        return false;
    }
    const auto failedLines = splitLines(failures);
    const std::unordered_set<std::string> failed(failedLines.begin(), failedLines.end());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (failed.count(sources[i]) == 0)
            placements.push_back({sources[i], targets[i]});
    }
    return true;
}

} // namespace karv
