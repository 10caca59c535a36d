#include "files/JournalLines.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace karv::files {

namespace {

template <typename Number> bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string journalEscape(std::string_view bytes, bool escapeHigh) {
    static constexpr char kHex[] = "0123456789abcdef";
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

std::vector<std::string_view> journalFields(std::string_view line) {
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

bool journalNumber(std::string_view text, std::uint64_t& value) {
    return parseNumber(text, value);
}

bool journalNumber(std::string_view text, std::int64_t& value) {
    return parseNumber(text, value);
}

std::vector<std::string_view> journalLines(std::string_view content) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    for (auto end = content.find('\n'); end != std::string_view::npos; end = content.find('\n', from)) {
        lines.push_back(content.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string journalRunId() {
    std::random_device device;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08x%08x%08x%08x", device(), device(), device(), device());
    return buffer;
}

std::string journalUtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

JournalFile::~JournalFile() {
    close();
}

bool JournalFile::create(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

bool JournalFile::reopen(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return m_fd >= 0;
}

bool JournalFile::writeLine(std::string_view line) {
    if (m_fd < 0)
        return false;
    std::string whole(line);
    whole += '\n';
    std::size_t done = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(m_fd, whole.data() + done, whole.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    m_unsynced = true;
    // The header at once: a journal whose header is lost is refused whole by undo.
    const auto now = std::chrono::steady_clock::now();
    if (m_lastSync == std::chrono::steady_clock::time_point{} ||
        now - m_lastSync >= std::chrono::milliseconds(kJournalSyncMs))
        return sync();
    return true;
}

bool JournalFile::sync() {
    if (m_fd < 0)
        return false;
    m_lastSync = std::chrono::steady_clock::now();
    if (!m_unsynced)
        return true;
    m_unsynced = false;
    return ::fdatasync(m_fd) == 0;
}

void JournalFile::close() {
    if (m_fd >= 0) {
        sync();
        ::close(m_fd);
    }
    m_fd = -1;
    m_lastSync = {};
    m_unsynced = false;
}

FolderLock::~FolderLock() {
    release();
}

FolderLock::Outcome FolderLock::acquire(const std::string& lockPath) {
    release();
    m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return Outcome::Failed;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        release();
        return busy ? Outcome::Busy : Outcome::Failed;
    }
    return Outcome::Held;
}

void FolderLock::release() {
    // Closing the descriptor drops the lock; the file stays for the next run.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace karv::files
