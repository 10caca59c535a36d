#pragma once

#include "actions/BatchAct.h"
#include "actions/BatchJournal.h"
#include "files/FileOps.h"
#include "files/JournalLines.h"
#include "run/RunContext.h"
#include "scan/ResultRow.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace karv {

/// The result list as the actions see it; a batch reports each row it acted on here.
class ActionRows {
public:
    virtual ~ActionRows() = default;
    /// Indexes of the selected rows, in list order.
    virtual std::vector<std::size_t> selectedRows() = 0;
    virtual std::size_t rowCount() = 0;
    virtual ResultRow row(std::size_t index) = 0;
    /// The file of a row now lives at folder (ending in "/") + name and looks as `stamp` says
    /// (another file system may keep its time less finely).
    virtual void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                             const RowStamp& stamp) = 0;
    virtual void removeRow(std::size_t index) = 0;
};

/// Answers of the target-exists question.
enum ConflictChoice { kConflictNone = 0, kConflictOverwrite = 1, kConflictSkip = 2, kConflictRename = 3 };

/// The target-exists question a move or copy asks when a name is taken.
class TargetExistsQuestion {
public:
    virtual ~TargetExistsQuestion() = default;
    /// Asks about `target`. Returns the ConflictChoice (kConflictNone when closed without an answer);
    /// `sameForRest` receives whether the answer holds for the rest of the batch.
    virtual int askTargetExists(const std::string& target, bool& sameForRest) = 0;
};

/// A selected row as it was when the batch was asked for: its place in the list and its file.
struct BatchRow {
    std::size_t index = 0;
    ResultRow row;
};

/// One batch over the selected rows.
struct BatchRequest {
    BatchAct act = BatchAct::Move;
    std::vector<BatchRow> rows; ///< the selected rows, in list order
    std::string folder;         ///< move and copy: the target folder, ending in "/"
    /// What to do with a taken name: kConflictNone asks each time, until an answer is given for
    /// the rest of the batch.
    ConflictChoice onConflict = kConflictNone;

    bool placing() const { return act == BatchAct::Move || act == BatchAct::Copy; }
};

/// Each file of a batch as it is settled, for a front end that lists them one by one.
class BatchReport {
public:
    virtual ~BatchReport() = default;
    /// Done: `target` is where the file went (the copy, the file in the trash; empty for a delete).
    virtual void acted(BatchAct act, const std::string& source, const std::string& target) = 0;
    /// Left alone because its name is taken at the target and the answer was to skip.
    virtual void skipped(const std::string& source, const std::string& target) = 0;
    /// Not acted on: `error` says why (see files::reasonOf).
    virtual void failed(BatchAct act, const std::string& source, int error) = 0;
};

/// Moves, copies, trashes or deletes the files of the selected rows, each only while it is still
/// the file the list showed. Progress: `RunStage::Placing`, `done` the row's place in the
/// selection as counted on screen (a delete counts down, from the bottom up), `total` the
/// selection's size, `item` the file's path (empty for a row no longer listed). A stop is seen
/// before each file and after each file; a question closed without an answer ends the batch too.
class ListBatch {
public:
    explicit ListBatch(files::FileOps& files) : m_files(files) {}

    /// With a journal folder (see setJournalFolder), each completed move, copy or trash is journaled (on the
    /// disk before the next file) under the folder's lock; a journal that cannot be started or written ends
    /// the batch, with `problem()` saying why.
    RunOutcome run(const BatchRequest& request, const RunContext& context, ActionRows& rows,
                   TargetExistsQuestion& question);

    void setReport(BatchReport* report) { m_report = report; }
    /// Where the batches' journal goes (the data folder); empty: not journaled, not undoable.
    void setJournalFolder(std::string folder) { m_journalRoot = std::move(folder); }
    /// Why the last batch did not start or ended early for its journal; empty otherwise.
    const std::string& problem() const { return m_problem; }

    /// The first free name for a copy beside existing files: base2.ext, base3.ext, ...
    /// (base2 for a name without an extension).
    std::string renamedTarget(const std::string& folder, const std::string& name);

private:
    /// What happens with a row whose name is taken at the target.
    enum class Conflict { Place, Skip, End };

    void place(const BatchRequest& request, const RunContext& context, ActionRows& rows,
               TargetExistsQuestion& question, const BatchRow& item, RunOutcome& outcome);
    void remove(const BatchRequest& request, ActionRows& rows, const BatchRow& item, RunOutcome& outcome);
    Conflict resolveConflict(const BatchRequest& request, const RunContext& context,
                             TargetExistsQuestion& question, const ResultRow& row, std::string& name,
                             files::Existing& existing, std::optional<files::Identity>& replacing);
    /// The stamp of a file just moved to folder + name, for its row.
    RowStamp stampAt(const std::string& folder, const std::string& name);
    /// The row's file as it was listed. A row without a stamp is refused: `unknown` receives the
    /// error to fail it with.
    files::Listed listedOf(const ResultRow& row, int& unknown);
    bool startJournal(const BatchRequest& request);
    /// Journals one completed operation; false (the batch then ends) when it cannot be written.
    bool journal(BatchAct act, const std::string& source, const std::string& target);
    void failed(const BatchRequest& request, const std::string& source, int error, RunOutcome& outcome);

    files::FileOps& m_files;
    int m_choice = kConflictNone;
    bool m_sameForRest = false;
    bool m_ended = false;
    std::optional<files::Identity> m_targetFolder; // of the batch going on, for moved rows' stamps
    BatchReport* m_report = nullptr;
    std::string m_problem;
    std::string m_journalRoot;
    std::string m_journalFolder; // of the batch going on: none for a delete for good
    files::FolderLock m_lock;
    BatchJournalWriter m_journal;
};

} // namespace karv
