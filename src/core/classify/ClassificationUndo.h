#pragma once

#include "classify/PlacementFiles.h"

#include <string>
#include <vector>

namespace karv {

/// One file of the last run that could not be put back, and why.
struct UndoProblem {
    std::string target;
    std::string source;
    std::string reason;
};

struct UndoResult {
    bool logsRead = false;
    std::string problem; ///< why nothing was tried, when the logs could not be read
    std::vector<std::pair<std::string, std::string>> restored; ///< target, source
    std::vector<UndoProblem> notRestored;
};

/// Takes back the last run recorded in `logFolder`: every target that still exists goes back to its
/// source path, last file first, when that path is free. Nothing is ever overwritten; what cannot be
/// put back is listed with its reason.
UndoResult undoLastClassification(const std::string& logFolder, PlacementFiles& files);

} // namespace karv
