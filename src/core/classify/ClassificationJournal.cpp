#include "classify/ClassificationJournal.h"

#include "classify/ClassificationLogs.h"
#include "settings/SettingsFiles.h"
#include "text/NameText.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace karv {

namespace {

constexpr std::string_view kFormatVersion = "1";
constexpr std::string_view kUndoneKind = "undone";

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    for (;;) {
        const auto tab = line.find('\t', from);
        fields.push_back(
            line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
        if (tab == std::string_view::npos)
            return fields;
        from = tab + 1;
    }
}

template <typename Number> bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string runId() {
    std::random_device device;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08x%08x%08x%08x", device(), device(), device(), device());
    return buffer;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

} // namespace

std::string journalEscape(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    // A path that is valid UTF-8 stays readable; any other keeps the journal itself valid UTF-8.
    const bool escapeHigh = !isValidUtf8(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            out += "\\\\";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        default:
            break;
        }
        if (byte < 0x20 || byte == 0x7F || (escapeHigh && byte >= 0x80)) {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> journalUnescape(std::string_view text) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r')
            return std::nullopt;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            out.push_back('\\');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

JournalWriter::~JournalWriter() {
    close();
}

bool JournalWriter::start(const std::string& folder, bool copy) {
    close();
    m_fd = ::open(logPath(folder, kJournalName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return false;
    std::string header(kJournalMagic);
    header += '\t';
    header += kFormatVersion;
    header +=
        "\tkarv-tessil " KARV_VERSION "\t" + runId() + "\t" + utcNow() + "\t" + (copy ? "copy" : "move");
    if (!writeLine(header)) {
        close();
        return false;
    }
    return true;
}

bool JournalWriter::reopen(const std::string& folder) {
    close();
    m_fd = ::open(logPath(folder, kJournalName).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return m_fd >= 0;
}

bool JournalWriter::append(const JournalRecord& record) {
    std::string line = record.copy ? "copy\t" : "move\t";
    line += journalEscape(record.source) + "\t" + journalEscape(record.target);
    if (record.identityKnown)
        line += "\t" + std::to_string(record.device) + "\t" + std::to_string(record.inode) + "\t" +
                std::to_string(record.size) + "\t" + std::to_string(record.modifiedNs);
    else
        line += "\t-\t-\t-\t-";
    return writeLine(line);
}

bool JournalWriter::appendUndone(std::size_t recordNumber) {
    return writeLine(std::string(kUndoneKind) + "\t" + std::to_string(recordNumber));
}

bool JournalWriter::writeLine(const std::string& line) {
    if (m_fd < 0)
        return false;
    const std::string whole = line + "\n";
    std::size_t done = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(m_fd, whole.data() + done, whole.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    // On the disk before the next file is touched: a record lost in a crash is an operation undo
    // cannot take back.
    return ::fdatasync(m_fd) == 0;
}

void JournalWriter::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

JournalState readJournal(const std::string& folder, Journal& journal, std::string& problem) {
    journal = Journal{};
    const std::string path = logPath(folder, kJournalName);
    std::string content;
    bool missing = false;
    if (!settingsio::readWholeFile(path, content, &missing)) {
        if (missing)
            return JournalState::Missing;
        problem = "无法读取归类记录（" + displayText(path) + "）";
        return JournalState::Refused;
    }
    auto refuse = [&](std::string_view why) {
        problem = std::string(why) + "（" + displayText(path) + "）";
        journal = Journal{};
        return JournalState::Refused;
    };
    std::size_t from = 0;
    bool headerSeen = false;
    for (;;) {
        const auto end = content.find('\n', from);
        if (end == std::string::npos)
            break; // an unfinished last line: its operation was never recorded as done
        const std::string_view line(content.data() + from, end - from);
        from = end + 1;
        const auto fields = splitFields(line);
        if (!headerSeen) {
            if (fields.size() != 6 || fields[0] != kJournalMagic || fields[1] != kFormatVersion ||
                (fields[5] != "move" && fields[5] != "copy"))
                return refuse("这不是本程序写下的归类记录，不予撤销");
            journal.copy = fields[5] == "copy";
            journal.runId = std::string(fields[3]);
            headerSeen = true;
            continue;
        }
        if (fields.size() == 2 && fields[0] == kUndoneKind) {
            std::size_t number = 0;
            if (!parseNumber(fields[1], number) || number == 0 || number > journal.records.size())
                return refuse("归类记录已损坏，无法撤销");
            journal.undone[number - 1] = true;
            continue;
        }
        if (fields.size() != 7 || (fields[0] != "move" && fields[0] != "copy"))
            return refuse("归类记录已损坏，无法撤销");
        JournalRecord record;
        record.copy = fields[0] == "copy";
        const auto source = journalUnescape(fields[1]);
        const auto target = journalUnescape(fields[2]);
        if (!source || !target)
            return refuse("归类记录已损坏，无法撤销");
        // Undo never resolves a path against whatever folder it happens to run in.
        if (source->empty() || target->empty() || source->front() != '/' || target->front() != '/')
            return refuse("归类记录中有相对路径，不予撤销");
        record.source = *source;
        record.target = *target;
        if (fields[3] != "-") {
            record.identityKnown =
                parseNumber(fields[3], record.device) && parseNumber(fields[4], record.inode) &&
                parseNumber(fields[5], record.size) && parseNumber(fields[6], record.modifiedNs);
            if (!record.identityKnown)
                return refuse("归类记录已损坏，无法撤销");
        }
        journal.records.push_back(std::move(record));
        journal.undone.push_back(false);
    }
    if (!headerSeen)
        return refuse("这不是本程序写下的归类记录，不予撤销");
    return JournalState::Read;
}

LogFolderLock::~LogFolderLock() {
    release();
}

LogFolderLock::Outcome LogFolderLock::acquire(const std::string& folder) {
    release();
    m_fd = ::open(logPath(folder, kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return Outcome::Failed;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        release();
        return busy ? Outcome::Busy : Outcome::Failed;
    }
    return Outcome::Held;
}

void LogFolderLock::release() {
    // Closing the descriptor drops the lock; the file stays for the next run.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::string busyLogFolderMessage(const std::string& folder) {
    return "另一个归类或撤销正在使用记录文件夹（" + displayText(folder) + "），请等它结束后再试。";
}

} // namespace karv
