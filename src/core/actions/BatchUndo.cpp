#include "actions/BatchUndo.h"

#include "actions/BatchJournal.h"
#include "actions/BatchTexts.h"
#include "values/PathParts.h"

namespace karv {

namespace {

bool sameAsRecorded(const files::Identity& now, const files::Identity& then) {
    return now.device == then.device && now.inode == then.inode && now.size == then.size &&
           now.modifiedNs == then.modifiedNs && now.changedNs == then.changedNs;
}

/// The record a trash keeps beside a file in its `files/` folder.
std::string trashInfoOf(const std::string& trashed) {
    return files::folderOf(files::folderOf(trashed)) + "/info/" + fileNamePart(trashed) + ".trashinfo";
}

/// Takes back the records of one journal, marking each one settled.
class Undoing {
public:
    Undoing(files::FileOps& files, BatchUndoSink& sink, BatchJournalWriter& marks, bool preview,
            BatchUndoResult& result)
        : m_files(files), m_sink(sink), m_marks(marks), m_preview(preview), m_result(result) {}

    void undo(const BatchRecord& record, std::size_t index) {
        ++m_result.outcome.processed;
        BatchUndoItem item{record.act, record.target, {}, check(record)};
        if (item.error == 0 && record.act == BatchAct::Copy && !m_files.exists(record.target))
            return settle(index); // the copy is gone already: nothing is left to take back
        if (item.error == 0 && !m_preview)
            item.error = act(record, item.to);
        else if (item.error == 0 && record.act != BatchAct::Copy)
            item.to = record.source;
        m_sink.item(item);
        if (item.error != 0)
            m_result.outcome.failures.add(item.error, record.target, record.act == BatchAct::Copy);
        else
            settle(index);
    }

private:
    /// Whether the file can be taken back: 0, or the error that says why not.
    int check(const BatchRecord& record) {
        const auto now = m_files.identity(record.target);
        if (!m_files.exists(record.target))
            return record.act == BatchAct::Copy ? 0 : ENOENT;
        if (!record.identityKnown || !now || !sameAsRecorded(*now, record.identity))
            return files::kNotAsListed;
        if (record.act != BatchAct::Copy && m_files.exists(record.source))
            return EEXIST;
        return 0;
    }

    int act(const BatchRecord& record, std::string& to) {
        files::Listed listed{record.target, record.identity, record.folderKnown, record.folderDevice,
                             record.folderInode};
        if (record.act == BatchAct::Copy)
            return m_files.trashListed(listed, &to).error;
        // A folder emptied away since is made again, so the file can go home.
        if (const files::Result made = m_files.makeFolders(files::folderOf(record.source)); !made.ok())
            return made.error;
        const files::Result moved = m_files.moveListed(listed, record.source, files::Existing::Keep);
        if (!moved.ok())
            return moved.error;
        to = record.source;
        if (record.act == BatchAct::Trash)
            m_files.removeFile(trashInfoOf(record.target)); // the trash no longer holds it
        return 0;
    }

    void settle(std::size_t index) {
        if (!m_preview)
            m_marks.appendUndone(index + 1);
        ++m_result.outcome.succeeded;
    }

    files::FileOps& m_files;
    BatchUndoSink& m_sink;
    BatchJournalWriter& m_marks;
    bool m_preview;
    BatchUndoResult& m_result;
};

/// Reads the last batch's journal; false when nothing is to be tried, with the reason in `result`.
bool readLastBatch(const std::string& folder, BatchJournal& journal, BatchUndoResult& result) {
    switch (readBatchJournal(folder, journal, result.problem)) {
    case BatchJournalState::Missing:
        result.nothingToUndo = true;
        return false;
    case BatchJournalState::Refused:
        return false;
    case BatchJournalState::Read:
        break;
    }
    bool anyLeft = false;
    for (const bool done : journal.undone)
        anyLeft = anyLeft || !done;
    result.nothingToUndo = !anyLeft;
    return anyLeft;
}

} // namespace

BatchUndoResult undoLastBatch(const BatchUndoRequest& request, files::FileOps& files,
                              const RunContext& context, BatchUndoSink& sink) {
    BatchUndoResult result;
    files::FolderLock lock;
    if (lock.acquire(batchLogPath(request.journalFolder, kBatchLockName)) ==
        files::FolderLock::Outcome::Busy) {
        result.problem = batchBusyText(request.journalFolder);
        return result;
    }
    BatchJournal journal;
    if (!readLastBatch(request.journalFolder, journal, result))
        return result;
    BatchJournalWriter marks;
    if (!request.preview && !marks.reopen(request.journalFolder)) {
        result.problem = batchJournalUnwritableText(batchLogPath(request.journalFolder, kBatchJournalName));
        return result;
    }
    Undoing undoing(files, sink, marks, request.preview, result);
    std::size_t tried = 0;
    // Last file first: a name a later file took may be the place an earlier one came from.
    for (std::size_t index = journal.records.size(); index-- > 0;) {
        if (journal.undone[index])
            continue;
        if (!context.keepGoing()) {
            result.outcome.stopped = true;
            break;
        }
        context.progress.progress(
            {RunStage::Placing, ++tried, journal.records.size(), journal.records[index].target});
        undoing.undo(journal.records[index], index);
    }
    return result;
}

} // namespace karv
