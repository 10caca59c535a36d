#include "actions/ListBatch.h"

#include "actions/BatchTexts.h"
#include "scan/RowList.h"
#include "text/NameText.h"

#include <cerrno>

namespace karv {

RunOutcome ListBatch::run(const BatchRequest& request, const RunContext& context, ActionRows& rows,
                          TargetExistsQuestion& question) {
    m_choice = request.onConflict;
    m_sameForRest = request.onConflict != kConflictNone;
    m_ended = false;
    m_problem.clear();
    RunOutcome outcome;
    if (!startJournal(request)) {
        outcome.stopped = true;
        return outcome;
    }
    // Every moved row gets the same folder: looked at once, not once per file.
    m_targetFolder.reset();
    if (request.act == BatchAct::Move)
        if (const auto folder = m_files.identity(request.folder); folder && folder->isFolder)
            m_targetFolder = folder;
    const std::size_t total = request.rows.size();
    // A delete goes from the bottom up, so that removing a row does not shift the rows still to come.
    const bool upwards = !request.placing();
    for (std::size_t step = 1; step <= total; ++step) {
        const std::size_t position = upwards ? total + 1 - step : step;
        // A stop clicked while the last file was being handled ends the batch before the next one.
        if (!context.keepGoing()) {
            outcome.stopped = true;
            break;
        }
        const BatchRow& item = request.rows[position - 1];
        // The events handled meanwhile may have shortened the list.
        const bool listed = item.index < rows.rowCount();
        context.progress.progress(
            {RunStage::Placing, position, total, listed ? item.row.path() : std::string()});
        if (!listed)
            continue;
        ++outcome.processed;
        if (request.placing())
            place(request, context, rows, question, item, outcome);
        else
            remove(request, rows, item, outcome);
        if (m_ended || context.stop.stopRequested()) {
            outcome.stopped = true;
            break;
        }
    }
    m_journal.close();
    m_lock.release();
    return outcome;
}

bool ListBatch::startJournal(const BatchRequest& request) {
    m_journalFolder = request.act == BatchAct::Remove ? std::string() : m_journalRoot;
    if (m_journalFolder.empty())
        return true;
    // One batch (or undo) per data folder at a time: two would write over each other's journal.
    if (m_lock.acquire(batchLogPath(m_journalFolder, kBatchLockName)) == files::FolderLock::Outcome::Busy) {
        m_problem = batchBusyText(m_journalFolder);
        return false;
    }
    if (!m_journal.start(m_journalFolder, request.act)) {
        m_problem = batchJournalUnwritableText(batchLogPath(m_journalFolder, kBatchJournalName));
        m_lock.release();
        return false;
    }
    return true;
}

bool ListBatch::journal(BatchAct act, const std::string& source, const std::string& target) {
    if (m_report != nullptr)
        m_report->acted(act, source, target);
    if (m_journalFolder.empty() || act == BatchAct::Remove)
        return true;
    BatchRecord record;
    record.act = act;
    record.source = source;
    record.target = target;
    if (const auto id = m_files.identity(target)) {
        record.identityKnown = true;
        record.identity = *id;
        if (const auto folder = m_files.identity(files::folderOf(target))) {
            record.folderKnown = true;
            record.folderDevice = folder->device;
            record.folderInode = folder->inode;
        }
    }
    if (m_journal.append(record))
        return true;
    // The file is done but undo would not know of it: nothing more is done without a record.
    m_problem = batchJournalStoppedText(batchLogPath(m_journalFolder, kBatchJournalName));
    m_ended = true;
    return false;
}

void ListBatch::failed(const BatchRequest& request, const std::string& source, int error,
                       RunOutcome& outcome) {
    const bool trashing = request.act == BatchAct::Trash;
    outcome.failures.add(error, source, trashing);
    if (m_report != nullptr)
        m_report->failed(request.act, source, error);
}

std::string ListBatch::renamedTarget(const std::string& folder, const std::string& name) {
    std::string candidate = name;
    for (std::uint64_t k = 2; m_files.exists(folder + candidate); ++k)
        candidate = numberedName(name, k);
    return candidate;
}

ListBatch::Conflict ListBatch::resolveConflict(const BatchRequest& request, const RunContext& context,
                                               TargetExistsQuestion& question, const ResultRow& row,
                                               std::string& name, files::Existing& existing,
                                               std::optional<files::Identity>& replacing) {
    const std::string& folder = request.folder;
    replacing = m_files.entryIdentity(folder + name);
    if (!(m_sameForRest && m_choice != kConflictNone)) {
        m_choice = question.askTargetExists(folder + name, m_sameForRest);
        // A stop asked for while the question was open ends the batch before this file.
        if (m_choice == kConflictNone || context.stop.stopRequested())
            return Conflict::End;
    }
    if (m_choice == kConflictSkip)
        return Conflict::Skip;
    if (m_choice == kConflictRename)
        name = renamedTarget(folder, row.name);
    else
        existing = files::Existing::Replace;
    return Conflict::Place;
}

void ListBatch::place(const BatchRequest& request, const RunContext& context, ActionRows& rows,
                      TargetExistsQuestion& question, const BatchRow& item, RunOutcome& outcome) {
    const ResultRow& row = item.row;
    const std::string source = row.path();
    const std::string& folder = request.folder;
    const bool move = request.act == BatchAct::Move;
    std::string name = row.name;
    files::Existing existing = files::Existing::Keep;
    std::optional<files::Identity> replacing;
    if (m_files.exists(folder + name)) {
        const Conflict conflict = resolveConflict(request, context, question, row, name, existing, replacing);
        if (conflict == Conflict::End)
            m_ended = true;
        if (conflict == Conflict::Skip && m_report != nullptr)
            m_report->skipped(source, folder + name);
        if (conflict != Conflict::Place)
            return;
    }
    // Only the file the list showed, unchanged, and over only the file the question was about.
    int error = 0;
    const files::Listed listed = listedOf(row, error);
    if (error == 0)
        error = (move ? m_files.moveListed(listed, folder + name, existing, replacing)
                      : m_files.copyListed(listed, folder + name, existing, replacing))
                    .error;
    if (error != 0)
        return failed(request, source, error, outcome);
    if (move)
        rows.setRowPlace(item.index, folder, name, stampAt(folder, name));
    ++outcome.succeeded;
    journal(request.act, source, folder + name);
}

void ListBatch::remove(const BatchRequest& request, ActionRows& rows, const BatchRow& item,
                       RunOutcome& outcome) {
    const ResultRow& row = item.row;
    const std::string path = row.path();
    const bool permanent = request.act == BatchAct::Remove;
    // Only the file the list showed, unchanged. A volume without a usable trash refuses; the file
    // then stays, never deleted for good instead.
    int error = 0;
    std::string trashedAs;
    const files::Listed listed = listedOf(row, error);
    if (error == 0)
        error = (permanent ? m_files.removeListed(listed) : m_files.trashListed(listed, &trashedAs)).error;
    if (error != 0)
        return failed(request, path, error, outcome);
    rows.removeRow(item.index);
    ++outcome.succeeded;
    journal(request.act, path, trashedAs);
}

RowStamp ListBatch::stampAt(const std::string& folder, const std::string& name) {
    RowStamp stamp;
    if (const auto now = m_files.identity(folder + name)) {
        stamp = {true, now->device, now->inode, now->size, now->modifiedNs, now->changedNs};
        if (m_targetFolder) {
            stamp.folderKnown = true;
            stamp.folderDevice = m_targetFolder->device;
            stamp.folderInode = m_targetFolder->inode;
        }
    }
    return stamp;
}

files::Listed ListBatch::listedOf(const ResultRow& row, int& unknown) {
    const files::Listed listed = listedFile(row);
    const RowStamp& stamp = row.stamp;
    // Without a stamp nothing tells that the path still names the listed file: never guessed.
    unknown = stamp.known ? 0 : (m_files.exists(listed.path) ? files::kNotAsListed : ENOENT);
    return listed;
}

} // namespace karv
