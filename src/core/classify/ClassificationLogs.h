#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace karv {

inline constexpr std::string_view kBeforeLogName = "归类前文件路径.txt";
inline constexpr std::string_view kAfterLogName = "归类后文件路径.txt";
inline constexpr std::string_view kFailureLogName = "归类失败的文件路径.txt";

/// The three logs of a run in one folder: created empty at the start, one path and CR LF per line,
/// paths as their exact bytes except that a CR or LF inside a path is written as \r or \n, so a line
/// is always one path. Each line reaches the file as it is recorded. A log that cannot be created
/// loses its lines silently; undo reads the journal, not these.
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

} // namespace karv
