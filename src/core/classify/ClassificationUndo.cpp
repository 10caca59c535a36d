#include "classify/ClassificationUndo.h"

#include "classify/ClassificationLogs.h"
#include "files/LongPath.h"
#include "values/ValueText.h"

namespace karv {

UndoResult undoLastClassification(const std::string& logFolder, PlacementFiles& files) {
    // Deep paths are reached from the folders just used, not from the root every time.
    const files::NearFolders near;
    UndoResult result;
    std::vector<LoggedPlacement> placements;
    result.logsRead = readLoggedPlacements(logFolder, placements, result.problem);
    // Last file first: a name a later file took may be the place an earlier one came from.
    for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
        const LoggedPlacement& p = *it;
        if (p.target == p.source)
            continue;
        if (!files.exists(p.target)) {
            result.notRestored.push_back({p.target, p.source, "归类后的文件已不存在"});
            continue;
        }
        if (files.exists(p.source)) {
            if (!files.sameFile(p.source, p.target))
                result.notRestored.push_back({p.target, p.source, "原位置已有文件"});
            continue;
        }
        makeMissingFolders(files, folderPart(p.source));
        switch (files.move(p.target, p.source)) {
        case PlaceResult::Done:
            result.restored.emplace_back(p.target, p.source);
            break;
        case PlaceResult::TargetExists:
            result.notRestored.push_back({p.target, p.source, "原位置已有文件"});
            break;
        case PlaceResult::Failed:
            result.notRestored.push_back({p.target, p.source, "移动失败"});
            break;
        }
    }
    return result;
}

} // namespace karv
