#pragma once

#include "actions/BatchAct.h"
#include "files/FileOps.h"
#include "files/JournalLines.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The machine record of the last batch of the list (move, copy, to the trash), kept in the data
// folder beside the classification's journal: what undo reads. A header line, then one line per
// completed file operation, each on the disk before the next file is touched, then one line per
// record an undo took back. A permanent delete is never recorded: it cannot be taken back.
//
//   karv-tessil-batch-journal TAB 1 TAB karv-tessil <version> TAB <run id> TAB <start, UTC> TAB
//   move|copy|trash move|copy|trash TAB <source> TAB <target> TAB <dev> TAB <ino> TAB <size> TAB <mtime ns>
//   TAB <ctime ns>
//                   TAB <folder dev> TAB <folder ino>
//   undone TAB <record number, from 1>
//
// <target> is where the file went: the moved file, the copy, or the file inside the trash's
// `files/` folder. The numbers are who it was right after (`-` when it could not be looked at).
// Fields are escaped as the classification's journal escapes them.

namespace karv {

inline constexpr std::string_view kBatchJournalName = "批量操作记录.journal";
inline constexpr std::string_view kBatchLockName = ".karv-batch.lock";
inline constexpr std::string_view kBatchJournalMagic = "karv-tessil-batch-journal";

/// One completed operation and who the placed file was right after.
struct BatchRecord {
    BatchAct act = BatchAct::Move;
    std::string source;
    std::string target;
    bool identityKnown = false;
    files::Identity identity;
    bool folderKnown = false;
    std::uint64_t folderDevice = 0;
    std::uint64_t folderInode = 0;
};

/// `folder` + "/" + `name`.
std::string batchLogPath(const std::string& folder, std::string_view name);

/// Writes a batch's journal, each line flushed to the disk before the call returns.
class BatchJournalWriter {
public:
    /// Replaces the journal in `folder` with a new one holding only its header.
    bool start(const std::string& folder, BatchAct act);
    /// Opens the existing journal to add undo lines to it.
    bool reopen(const std::string& folder);
    bool append(const BatchRecord& record);
    bool appendUndone(std::size_t recordNumber);
    bool isOpen() const { return m_file.isOpen(); }
    void close() { m_file.close(); }

private:
    files::JournalFile m_file;
};

/// A batch journal as undo reads it.
struct BatchJournal {
    BatchAct act = BatchAct::Move;
    std::vector<BatchRecord> records;
    std::vector<bool> undone; ///< one per record
};

enum class BatchJournalState { Read, Missing, Refused };

/// Reads the journal in `folder`. Refused (with the reason in `problem`) when its header is not
/// this program's, a line cannot be read, or a path is not absolute; an unfinished last line was
/// never completed and is left out.
BatchJournalState readBatchJournal(const std::string& folder, BatchJournal& journal, std::string& problem);

} // namespace karv
