#include "classify/ClassificationLogs.h"

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
        std::setvbuf(file, nullptr, _IOFBF, 1 << 12);
    return file;
}

void writeLine(std::FILE* file, std::string_view line) {
    if (file == nullptr)
        return;
    std::string text;
    text.reserve(line.size() + 2);
    for (const char c : line) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else
            text.push_back(c);
    }
    text += "\r\n";
    std::fwrite(text.data(), 1, text.size(), file);
    // A run ended by a signal or a crash still leaves every line it got to.
    std::fflush(file);
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

} // namespace karv
