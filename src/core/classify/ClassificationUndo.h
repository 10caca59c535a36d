#pragma once

#include "classify/ClassificationTexts.h"
#include "classify/PlacementFiles.h"
#include "run/RunContext.h"

#include <string>
#include <vector>

namespace karv {

/// One file of the last run that could not be taken back, and why.
struct UndoProblem {
    std::string target;
    std::string source;
    std::string reason;
};

/// One file taken back: a moved file back at its source, or an unchanged copy moved to the trash.
struct UndoneFile {
    std::string target;
    std::string source;
    bool trashed = false;
};

/// How an undo ended. `outcome`: stopped or not, the files tried and taken back, and those that
/// could not be taken back by reason (their own words are in `notRestored`).
struct UndoResult {
    RunOutcome outcome;
    bool journalRead = false;
    bool nothingToUndo = false; ///< no journal, or every record of it already taken back
    std::string problem;        ///< why nothing was tried (a foreign or damaged journal, a busy folder)
    std::vector<UndoneFile> undone;
    std::vector<UndoProblem> notRestored;
};

/// Takes back the last run recorded in the journal of `logFolder`, last file first: a moved file
/// goes back to its source path when that path is free and the file at the target is still the one
/// the run put there; a copy goes to the trash while it is still exactly the copy that was made.
/// Nothing is ever overwritten; what cannot be taken back is listed with its reason, and each file
/// taken back is marked in the journal, so a second undo only tries what is left. `preview`: the
/// same answers, nothing changed (`files` should then be a preview). A stop is seen between files;
/// what is left stays recorded for the next undo. Progress: `Placing` with each file tried (`item`
/// its classified path).
UndoResult undoLastClassification(const std::string& logFolder, PlacementFiles& files,
                                  const RunContext& context, bool preview = false);

} // namespace karv
