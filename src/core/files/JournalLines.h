#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the tools' journals (a classification run, a list batch) share: one record a line, fields
// split by TAB and escaped so that any byte sequence round-trips, each line on the disk before the
// next file is touched, and one run or undo per data folder at a time.

namespace karv::files {

/// Escapes \\ \t \n \r, and as \xHH the other control bytes, DEL, and with `escapeHigh` every byte
/// of 0x80 and above (for a path that is not valid UTF-8, so the journal itself stays UTF-8).
std::string journalEscape(std::string_view bytes, bool escapeHigh);
/// The bytes of an escaped field; nothing for a field a journal would not have written.
std::optional<std::string> journalUnescape(std::string_view text);
/// The TAB-separated fields of one line.
std::vector<std::string_view> journalFields(std::string_view line);
/// A whole decimal number and nothing else (a sign only for the signed one).
bool journalNumber(std::string_view text, std::uint64_t& value);
bool journalNumber(std::string_view text, std::int64_t& value);
/// The complete lines of a journal's content; a last line without its line break was never
/// completed and is left out.
std::vector<std::string_view> journalLines(std::string_view content);
/// A fresh run id (128 random bits in hex) and the current time, UTC, for a journal header.
std::string journalRunId();
std::string journalUtcNow();

/// A journal file being written. Each line is written to the file before `writeLine` returns, so
/// a program that dies keeps every record; the lines reach the disk (fdatasync) in groups, at the
/// first line, at most `kJournalSyncMs` after any later one, and at `close`. A sync per line cost
/// 1-4 ms a file, a hundred times the move it records, and bought nothing the moves themselves
/// have: a rename is no more durable than its folder, which is not synced either.
inline constexpr int kJournalSyncMs = 100;

class JournalFile {
public:
    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    /// A new, empty file in place of any old one. False with errno set when it cannot be made.
    bool create(const std::string& path);
    /// An existing file, to add lines at its end.
    bool reopen(const std::string& path);
    bool writeLine(std::string_view line);
    /// Syncs what was written; false when the disk refused it.
    bool sync();
    void close();
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    bool m_unsynced = false;
    std::chrono::steady_clock::time_point m_lastSync{};
};

/// The exclusive use of a data folder's journal by one run or undo at a time, across processes and
/// windows: a non-blocking lock on a lock file, held until the object ends.
class FolderLock {
public:
    enum class Outcome { Held, Busy, Failed };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    Outcome acquire(const std::string& lockPath);
    void release();

private:
    int m_fd = -1;
};

} // namespace karv::files
