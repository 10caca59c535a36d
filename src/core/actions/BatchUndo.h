#pragma once

#include "actions/BatchAct.h"
#include "files/FileOps.h"
#include "run/RunContext.h"

#include <string>

namespace karv {

/// Taking back the last batch recorded in a data folder.
struct BatchUndoRequest {
    std::string journalFolder;
    bool preview = false; ///< the same answers, nothing changed
};

/// One file of an undo: where it is (`from`) and where it goes (`to`: its old place, or for a copy
/// its place in the trash, empty in a preview). `error` is 0 when it was (or would be) taken back.
struct BatchUndoItem {
    BatchAct act = BatchAct::Move; ///< what the batch did to it
    std::string from;
    std::string to;
    int error = 0;
};

/// Where an undo reports each file it tried.
class BatchUndoSink {
public:
    virtual ~BatchUndoSink() = default;
    virtual void item(const BatchUndoItem& item) = 0;
};

struct BatchUndoResult {
    RunOutcome outcome;
    bool nothingToUndo = false; ///< no journal, or every record already taken back
    std::string problem;        ///< why nothing was tried (a foreign or damaged journal, a busy folder)
};

/// Takes back the last batch, last file first: a moved file goes back to its old place, a file in
/// the trash comes back to its place (its record in the trash's `info/` removed), a copy still as it
/// was made goes to the trash. Only the very file the batch left there is acted on, and nothing is
/// ever put over an existing file; what cannot be taken back is reported with its reason and stays
/// recorded, and each file taken back is marked in the journal, so a second undo does nothing more.
/// Progress: `Placing` with each file tried; a stop is seen between files.
BatchUndoResult undoLastBatch(const BatchUndoRequest& request, files::FileOps& files,
                              const RunContext& context, BatchUndoSink& sink);

} // namespace karv
