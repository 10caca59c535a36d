#pragma once

#include "files/JournalLines.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The machine record of a classification run, kept beside the three human logs: what undo reads.
// One header line naming the program and the run, then one line per completed file operation,
// each on disk before the next operation starts, then one line per record that an undo took back.
//
//   karv-tessil-classify-journal TAB 1 TAB karv-tessil <version> TAB <run id> TAB <start, UTC> TAB move|copy
//   move|copy TAB <source> TAB <target> TAB <device> TAB <inode> TAB <size> TAB <mtime ns>
//   undone TAB <record number, from 1>
//
// Fields are escaped so that any byte sequence round-trips: \\ \t \n \r, and \xHH for the other
// control bytes, DEL, and every byte of 0x80 and above when the path is not valid UTF-8.

namespace karv {

inline constexpr std::string_view kJournalName = "归类记录.journal";
inline constexpr std::string_view kLockName = ".karv-classify.lock";
inline constexpr std::string_view kJournalMagic = "karv-tessil-classify-journal";

std::string journalEscape(std::string_view bytes);
/// The bytes of an escaped field; nothing for a field this program would not have written.
std::optional<std::string> journalUnescape(std::string_view text);

/// One completed operation: where the file came from, where it went, and who the placed file was
/// right after (a copy is only taken back while it is still that file, unchanged).
struct JournalRecord {
    bool copy = false;
    std::string source;
    std::string target;
    bool identityKnown = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
};

/// Writes a run's journal: each line is written and flushed to the disk before the call returns.
class JournalWriter {
public:
    JournalWriter() = default;
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    /// Replaces the journal in `folder` with a new one holding only its header. False (with errno
    /// set) when it cannot be written.
    bool start(const std::string& folder, bool copy);
    /// Opens an existing journal to add undo lines to it.
    bool reopen(const std::string& folder);
    bool append(const JournalRecord& record);
    bool appendUndone(std::size_t recordNumber);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    files::JournalFile m_file;
};

/// A journal as undo reads it.
struct Journal {
    bool copy = false;
    std::string runId;
    std::vector<JournalRecord> records;
    std::vector<bool> undone; ///< one per record
};

enum class JournalState { Read, Missing, Refused };

/// Reads the journal in `folder`. Refused (with the reason in `problem`) when its header is not
/// this program's, when a line cannot be read, or when a path is not absolute. A last line without
/// its line break was never completed and is left out.
JournalState readJournal(const std::string& folder, Journal& journal, std::string& problem);

/// The exclusive use of one log folder by one run or undo at a time, across processes and windows:
/// a non-blocking lock on a file in that folder, held until the object ends.
class LogFolderLock {
public:
    enum class Outcome { Held, Busy, Failed };

    LogFolderLock() = default;
    LogFolderLock(const LogFolderLock&) = delete;
    LogFolderLock& operator=(const LogFolderLock&) = delete;

    Outcome acquire(const std::string& folder);
    void release() { m_lock.release(); }

private:
    files::FolderLock m_lock;
};

/// The message shown when another run or undo holds the folder.
std::string busyLogFolderMessage(const std::string& folder);

} // namespace karv
