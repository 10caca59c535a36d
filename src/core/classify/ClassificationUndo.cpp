#include "classify/ClassificationUndo.h"

#include "classify/ClassificationJournal.h"
#include "files/LongPath.h"
#include "text/NameText.h"
#include "values/ValueText.h"

#include <optional>

namespace karv {

namespace {

bool sameAsRecorded(const JournalRecord& record, const files::Identity& id, bool contentToo) {
    return id.device == record.device && id.inode == record.inode &&
           (!contentToo || (id.size == record.size && id.modifiedNs == record.modifiedNs));
}

/// Takes back the records of one journal, last file first, marking each one settled.
class Undoing {
public:
    Undoing(PlacementFiles& files, UndoResult& result, JournalWriter& marks, bool preview)
        : m_files(files), m_result(result), m_marks(marks), m_preview(preview) {}

    void undo(const JournalRecord& record, std::size_t index) {
        ++m_result.outcome.processed;
        const auto id = m_files.identity(record.target);
        if (record.copy)
            undoCopy(record, index, id);
        else
            undoMove(record, index, id);
    }

private:
    void settle(std::size_t index) {
        if (!m_preview)
            m_marks.appendUndone(index + 1);
        ++m_result.outcome.succeeded;
    }
    void undone(const JournalRecord& record, std::size_t index, bool trashed) {
        settle(index);
        m_result.undone.push_back({record.target, record.source, trashed});
    }
    void notRestored(const JournalRecord& record, files::FailureReason reason, const char* why) {
        m_result.notRestored.push_back({record.target, record.source, why});
        m_result.outcome.failures.add(reason, record.target);
    }

    void undoCopy(const JournalRecord& record, std::size_t index, const std::optional<files::Identity>& id) {
        if (!m_files.exists(record.target))
            return settle(index); // the copy is gone already: nothing is left to take back
        if (!id || !record.identityKnown || !sameAsRecorded(record, *id, true))
            return notRestored(record, files::FailureReason::ChangedSinceListed,
                               "副本已被改动，未移到回收站");
        if (m_files.trash(record.target) != PlaceResult::Done)
            return notRestored(record, files::FailureReason::RefusedByTrash, "无法移到回收站");
        undone(record, index, true);
    }

    void undoMove(const JournalRecord& record, std::size_t index, const std::optional<files::Identity>& id) {
        if (record.target == record.source)
            return settle(index);
        if (!m_files.exists(record.target))
            return notRestored(record, files::FailureReason::Vanished, "归类后的文件已不存在");
        if (record.identityKnown && (!id || !sameAsRecorded(record, *id, false)))
            return notRestored(record, files::FailureReason::ChangedSinceListed,
                               "归类后的位置已是另一个文件");
        if (m_files.exists(record.source)) {
            if (m_files.sameFile(record.source, record.target))
                return settle(index);
            return notRestored(record, files::FailureReason::TargetExists, "原位置已有文件");
        }
        makeMissingFolders(m_files, folderPart(record.source));
        switch (m_files.move(record.target, record.source)) {
        case PlaceResult::Done:
            return undone(record, index, false);
        case PlaceResult::TargetExists:
            return notRestored(record, files::FailureReason::TargetExists, "原位置已有文件");
        case PlaceResult::Failed:
            return notRestored(record, files::FailureReason::Other, "移动失败");
        }
    }

    PlacementFiles& m_files;
    UndoResult& m_result;
    JournalWriter& m_marks;
    bool m_preview;
};

/// Reads the last run's journal; false when nothing is to be tried, with the reason in `result`.
bool readLastRun(const std::string& logFolder, Journal& journal, UndoResult& result) {
    switch (readJournal(logFolder, journal, result.problem)) {
    case JournalState::Missing:
        result.nothingToUndo = true;
        return false;
    case JournalState::Refused:
        return false;
    case JournalState::Read:
        break;
    }
    result.journalRead = true;
    bool anyLeft = false;
    for (const bool done : journal.undone)
        anyLeft = anyLeft || !done;
    result.nothingToUndo = !anyLeft;
    return anyLeft;
}

} // namespace

UndoResult undoLastClassification(const std::string& logFolder, PlacementFiles& files,
                                  const RunContext& context, bool preview) {
    UndoResult result;
    LogFolderLock lock;
    if (lock.acquire(logFolder) == LogFolderLock::Outcome::Busy) {
        result.problem = busyLogFolderMessage(logFolder);
        return result;
    }
    Journal journal;
    if (!readLastRun(logFolder, journal, result))
        return result;
    JournalWriter marks;
    if (!preview && !marks.reopen(logFolder)) {
        result.journalRead = false;
        result.problem = "无法写入归类记录，未撤销任何文件（" + displayText(logFolder) + "）";
        return result;
    }
    Undoing undoing(files, result, marks, preview);
    std::size_t tried = 0;
    // Deep paths are reached from the folders just used, not from the root every time.
    const files::NearFolders near;
    // Last file first: a name a later file took may be the place an earlier one came from.
    for (std::size_t index = journal.records.size(); index-- > 0;) {
        if (journal.undone[index])
            continue;
        // Asked between files only: the events are not let in here, so only a stop asked for
        // elsewhere (a signal, another thread) is seen.
        if (context.stop.stopRequested()) {
            result.outcome.stopped = true;
            break;
        }
        ++tried;
        context.progress.progress(
            {RunStage::Placing, tried, journal.records.size(), journal.records[index].target});
        undoing.undo(journal.records[index], index);
    }
    return result;
}

} // namespace karv
