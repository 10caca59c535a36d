#include "classify/ClassificationUndo.h"

#include "classify/ClassificationJournal.h"
#include "files/LongPath.h"
#include "text/NameText.h"
#include "values/ValueText.h"

namespace karv {

namespace {

bool sameAsRecorded(const JournalRecord& record, const files::Identity& id, bool contentToo) {
    return id.device == record.device && id.inode == record.inode &&
           (!contentToo || (id.size == record.size && id.modifiedNs == record.modifiedNs));
}

} // namespace

UndoResult undoLastClassification(const std::string& logFolder, PlacementFiles& files, bool preview) {
    UndoResult result;
    LogFolderLock lock;
    if (lock.acquire(logFolder) == LogFolderLock::Outcome::Busy) {
        result.problem = busyLogFolderMessage(logFolder);
        return result;
    }
    Journal journal;
    switch (readJournal(logFolder, journal, result.problem)) {
    case JournalState::Missing:
        result.nothingToUndo = true;
        return result;
    case JournalState::Refused:
        return result;
    case JournalState::Read:
        break;
    }
    result.journalRead = true;
    bool anyLeft = false;
    for (const bool done : journal.undone)
        anyLeft = anyLeft || !done;
    if (!anyLeft) {
        result.nothingToUndo = true;
        return result;
    }
    JournalWriter marks;
    if (!preview && !marks.reopen(logFolder)) {
        result.journalRead = false;
        result.problem = "无法写入归类记录，未撤销任何文件（" + displayText(logFolder) + "）";
        return result;
    }
    auto settle = [&](std::size_t index) {
        if (!preview)
            marks.appendUndone(index + 1);
    };

    // Deep paths are reached from the folders just used, not from the root every time.
    const files::NearFolders near;
    // Last file first: a name a later file took may be the place an earlier one came from.
    for (std::size_t index = journal.records.size(); index-- > 0;) {
        if (journal.undone[index])
            continue;
        const JournalRecord& record = journal.records[index];
        const auto id = files.identity(record.target);
        if (record.copy) {
            if (!files.exists(record.target)) {
                settle(index); // the copy is gone already: nothing is left to take back
                continue;
            }
            if (!id || !record.identityKnown || !sameAsRecorded(record, *id, true)) {
                result.notRestored.push_back({record.target, record.source, "副本已被改动，未移到回收站"});
                continue;
            }
            if (files.trash(record.target) != PlaceResult::Done) {
                result.notRestored.push_back({record.target, record.source, "无法移到回收站"});
                continue;
            }
            settle(index);
            result.undone.push_back({record.target, record.source, true});
            continue;
        }
        if (record.target == record.source) {
            settle(index);
            continue;
        }
        if (!files.exists(record.target)) {
            result.notRestored.push_back({record.target, record.source, "归类后的文件已不存在"});
            continue;
        }
        if (record.identityKnown && (!id || !sameAsRecorded(record, *id, false))) {
            result.notRestored.push_back({record.target, record.source, "归类后的位置已是另一个文件"});
            continue;
        }
        if (files.exists(record.source)) {
            if (files.sameFile(record.source, record.target))
                settle(index);
            else
                result.notRestored.push_back({record.target, record.source, "原位置已有文件"});
            continue;
        }
        makeMissingFolders(files, folderPart(record.source));
        switch (files.move(record.target, record.source)) {
        case PlaceResult::Done:
            settle(index);
            result.undone.push_back({record.target, record.source, false});
            break;
        case PlaceResult::TargetExists:
            result.notRestored.push_back({record.target, record.source, "原位置已有文件"});
            break;
        case PlaceResult::Failed:
            result.notRestored.push_back({record.target, record.source, "移动失败"});
            break;
        }
    }
    return result;
}

} // namespace karv
