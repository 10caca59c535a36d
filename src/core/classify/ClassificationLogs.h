#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

inline constexpr std::string_view kBeforeLogName = "归类前文件路径.txt";
inline constexpr std::string_view kAfterLogName = "归类后文件路径.txt";
inline constexpr std::string_view kFailureLogName = "归类失败的文件路径.txt";

/// The three logs of a run in one folder: created empty at the start, one path and CR LF per line,
/// paths as their exact bytes. A log that cannot be created loses its lines silently.
class ClassificationLogs {
public:
    ClassificationLogs() = default;
    ~ClassificationLogs();
    ClassificationLogs(const ClassificationLogs&) = delete;
    ClassificationLogs& operator=(const ClassificationLogs&) = delete;

    void open(const std::string& folder);
    /// One processed file: its source and the target it went to (or was meant for).
    void record(std::string_view source, std::string_view target, bool failed);
    void close();

private:
    std::FILE* m_before = nullptr;
    std::FILE* m_after = nullptr;
    std::FILE* m_failures = nullptr;
};

std::string logPath(const std::string& folder, std::string_view name);

/// One file the last run placed, as the logs tell it.
struct LoggedPlacement {
    std::string source;
    std::string target;
};

/// The placements of the last run read from the logs in `folder`: the before and after logs paired
/// line by line, without the files that failed. False, with a reason, when the logs are missing or
/// do not pair up.
bool readLoggedPlacements(const std::string& folder, std::vector<LoggedPlacement>& placements,
                          std::string& problem);

} // namespace karv
