#include "actions/ActionTexts.h"
#include "actions/BatchTexts.h"
#include "actions/BatchUndo.h"
#include "actions/ListBatch.h"
#include "app/AppState.h"
#include "classify/ClassifyParts.h"
#include "cli/Cli.h"
#include "desktop/Desktop.h"
#include "files/FileFacts.h"
#include "scan/RowList.h"
#include "settings/TextInput.h"
#include "text/NameText.h"
#include "values/PathParts.h"

#include <ostream>
#include <set>

namespace karv::cli {

namespace {

constexpr std::string_view kCommand = "act";

constexpr std::string_view kActHelp =
    R"(usage: karv-tessil-cli act (--move DIR | --copy DIR | --trash | --delete)
                            [--on-exists skip|rename|overwrite] [--dry-run] [-0] --from-list FILE|-
       karv-tessil-cli act --undo [--dry-run]

Runs the result list's batch actions on the files of a list, each only while it is still the file
the list named, unchanged: a plain list of paths (their identity taken when act starts) or a json
list as `scan --format json` and the window's saved lists write it (a file changed since it was
listed is skipped). Moves, copies and trashings are journaled, so --undo can take them back.

  --move DIR                move the files into DIR
  --copy DIR                copy the files into DIR
  --trash                   move the files to the trash
  --delete                  delete the files for good (cannot be undone)
  --on-exists skip|rename|overwrite
                            a name taken in DIR: leave the file, copy under name2.ext, ...
                            (default), or replace the file that has it
  --dry-run                 write what would be done (a trashing's target left empty), change
                            nothing
  -0                        a plain list is separated by NUL, not by line breaks
  --from-list FILE|-        the list (- is standard input)
  --undo                    take the last batch back: moved files go back, files in the trash
                            come back to their place, copies still as made go to the trash;
                            nothing is ever overwritten
  --log-dir DIR             where the journal is kept (default: the program's data folder)

Standard output: one line per file, ACTION TAB SOURCE TAB TARGET (move, copy, trash, delete,
skip; --undo: move and restore back to the old place, trash for a copy). Files that were not acted
on are listed on standard error with the reason. Exit status: 0 done, 1 some file failed, 2 usage.
)";

/// Everything the command line says about one act command.
struct ActArgs {
    bool actGiven = false;
    BatchAct act = BatchAct::Move;
    std::string folder;
    ConflictChoice onExists = kConflictRename;
    bool dryRun = false;
    bool nul = false;
    bool undo = false;
    std::string list;
    bool listGiven = false;
    std::string logFolder;
};

std::string_view actName(BatchAct act) {
    switch (act) {
    case BatchAct::Move:
        return "move";
    case BatchAct::Copy:
        return "copy";
    case BatchAct::Trash:
        return "trash";
    case BatchAct::Remove:
        return "delete";
    }
    return {};
}

void failureLine(CliIo& io, const std::string& path, int error, bool trashing) {
    io.err << "karv-tessil-cli act: " << files::reasonText(files::reasonOf(error, trashing)) << ": "
           << terminalText(displayText(path)) << "\n";
}

/// Writes each file of the batch as it is settled.
class PrintedReport : public BatchReport {
public:
    explicit PrintedReport(CliIo& io) : m_io(io) {}
    void acted(BatchAct act, const std::string& source, const std::string& target) override {
        m_io.out << actName(act) << '\t' << tsvField(source) << '\t' << tsvField(target) << '\n';
    }
    void skipped(const std::string& source, const std::string& target) override {
        m_io.out << "skip\t" << tsvField(source) << '\t' << tsvField(target) << '\n';
    }
    void failed(BatchAct act, const std::string& source, int error) override {
        failureLine(m_io, source, error, act == BatchAct::Trash);
    }

private:
    CliIo& m_io;
};

/// The whole list as one batch: every row selected, nothing moved on screen.
class ListRows : public ActionRows, public TargetExistsQuestion {
public:
    explicit ListRows(std::vector<ResultRow> rows) : m_rows(std::move(rows)) {}
    std::vector<std::size_t> selectedRows() override {
        std::vector<std::size_t> all(m_rows.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        return all;
    }
    std::size_t rowCount() override { return m_rows.size(); }
    ResultRow row(std::size_t index) override { return m_rows.at(index); }
    void setRowPlace(std::size_t, const std::string&, const std::string&, const RowStamp&) override {}
    void removeRow(std::size_t) override {}
    // --on-exists answers for the whole batch: never asked.
    int askTargetExists(const std::string&, bool& sameForRest) override {
        sameForRest = true;
        return kConflictNone;
    }

private:
    std::vector<ResultRow> m_rows;
};

int takeActFlag(ArgReader& reader, CliIo& io, ActArgs& a) {
    std::string value;
    bool missing = false;
    auto bad = [&](std::string_view flag) {
        return usageError(io, kCommand,
                          missing ? std::string(flag) + " needs a value"
                                  : "invalid value '" + value + "' for " + std::string(flag));
    };
    auto setAct = [&](BatchAct act) {
        if (a.actGiven && a.act != act)
            return usageError(io, kCommand, "give one of --move, --copy, --trash, --delete");
        a.actGiven = true;
        a.act = act;
        return kExitOk;
    };
    for (const BatchAct placing : {BatchAct::Move, BatchAct::Copy}) {
        const std::string flag = "--" + std::string(actName(placing));
        if (reader.option(flag, value, missing)) {
            if (missing)
                return bad(flag);
            a.folder = value;
            return setAct(placing);
        }
    }
    if (reader.flag("--trash"))
        return setAct(BatchAct::Trash);
    if (reader.flag("--delete"))
        return setAct(BatchAct::Remove);
    if (reader.option("--on-exists", value, missing)) {
        if (missing || (value != "skip" && value != "rename" && value != "overwrite"))
            return bad("--on-exists");
        a.onExists = value == "skip"     ? kConflictSkip
                     : value == "rename" ? kConflictRename
                                         : kConflictOverwrite;
    } else if (reader.option("--from-list", value, missing)) {
        if (missing)
            return bad("--from-list");
        a.list = value;
        a.listGiven = true;
    } else if (reader.option("--log-dir", value, missing)) {
        if (missing)
            return bad("--log-dir");
        if (!files::FileOps().isFolder(value))
            return usageError(io, kCommand, "cannot use folder '" + value + "' for --log-dir");
        a.logFolder = absoluteLexicalPath(value, workingFolder());
    } else if (reader.flag("--dry-run")) {
        a.dryRun = true;
    } else if (reader.flag("-0")) {
        a.nul = true;
    } else if (reader.flag("--undo")) {
        a.undo = true;
    } else {
        return usageError(io, kCommand, "unknown argument '" + reader.peek() + "' (try --help)");
    }
    return kExitOk;
}

/// A plain list's paths as rows, each with the identity its file has now; a path nothing has is
/// failed at once.
std::vector<ResultRow> rowsOfPaths(const std::vector<std::string>& paths, CliIo& io, RunOutcome& outcome) {
    std::vector<ResultRow> rows;
    for (const std::string& entry : paths) {
        if (entry.empty())
            continue;
        ResultRow row;
        const std::string path = absoluteLexicalPath(entry, workingFolder());
        row.folder = files::folderOf(path);
        if (row.folder != "/")
            row.folder += '/';
        row.name = path.substr(path.rfind('/') + 1);
        const auto file = statFile(path);
        const auto folder = statFile(row.folder);
        if (!file || !folder || row.name.empty()) {
            ++outcome.processed;
            outcome.failures.add(ENOENT, path);
            failureLine(io, path, ENOENT, false);
            continue;
        }
        row.stamp = rowStamp(*file, *folder);
        rows.push_back(std::move(row));
    }
    return rows;
}

/// The rows of the list: a saved (json) list as it says, a plain one as the files are now.
int readActList(const ActArgs& a, CliIo& io, std::vector<ResultRow>& rows, RunOutcome& outcome) {
    std::string content, error;
    if (!readTextInput(a.list, content, error))
        return usageError(io, kCommand, "cannot read file '" + a.list + "' for --from-list: " + error);
    if (looksLikeRowList(content)) {
        RowListError bad;
        if (!readRowList(content, rows, bad))
            return usageError(io, kCommand, "'" + a.list + "': " + bad.message);
        // A relative path of a list means the same file as it did for the script that wrote it here.
        for (ResultRow& row : rows)
            if (row.folder.empty() || row.folder.front() != '/')
                row.folder =
                    absoluteLexicalPath(row.folder.empty() ? "." : row.folder, workingFolder()) + "/";
        return kExitOk;
    }
    if (!a.nul && content.find('\0') != std::string::npos)
        return usageError(io, kCommand,
                          "file '" + a.list +
                              "' for --from-list holds NUL bytes (a NUL-separated list needs -0)");
    rows = rowsOfPaths(splitTextInput(content, a.nul), io, outcome);
    return kExitOk;
}

/// What the batch would do, file by file, with nothing changed.
void previewBatch(const BatchRequest& request, CliIo& io, RunOutcome& outcome) {
    files::FileOps files;
    std::set<std::string> planned;
    for (const BatchRow& item : request.rows) {
        const ResultRow& row = item.row;
        ++outcome.processed;
        const auto now = files.identity(row.path());
        const RowStamp& s = row.stamp;
        const int error =
            !now ? ENOENT
            : (!s.known || now->device != s.device || now->inode != s.inode || now->size != s.size ||
               now->modifiedNs != s.modifiedNs || now->changedNs != s.changedNs)
                ? files::kNotAsListed
                : 0;
        if (error != 0) {
            outcome.failures.add(error, row.path(), request.act == BatchAct::Trash);
            failureLine(io, row.path(), error, request.act == BatchAct::Trash);
            continue;
        }
        ++outcome.succeeded;
        std::string target;
        if (request.placing()) {
            std::string name = row.name;
            const bool taken =
                files.exists(request.folder + name) || planned.count(request.folder + name) > 0;
            if (taken && request.onConflict == kConflictSkip) {
                io.out << "skip\t" << tsvField(row.path()) << '\t' << tsvField(request.folder + name) << '\n';
                continue;
            }
            for (std::uint64_t k = 2;
                 taken && request.onConflict == kConflictRename &&
                 (files.exists(request.folder + name) || planned.count(request.folder + name));
                 ++k)
                name = numberedName(row.name, k);
            target = request.folder + name;
            planned.insert(target);
        }
        io.out << actName(request.act) << '\t' << tsvField(row.path()) << '\t' << tsvField(target) << '\n';
    }
}

/// Ends the batch when Ctrl+C, SIGTERM or SIGHUP arrives.
struct InterruptWatch {
    StopToken stop;
    NoProgress quiet;
    SteadyClock clock;
    RunContext context{stop, quiet,
                       [this] {
                           if (interruptRequested())
                               stop.requestStop();
                       },
                       clock};
};

int runBatch(const ActArgs& a, CliIo& io) {
    RunOutcome outcome;
    std::vector<ResultRow> rows;
    if (const int status = readActList(a, io, rows, outcome); status != kExitOk)
        return status;
    BatchRequest request;
    request.act = a.act;
    request.onConflict = a.onExists;
    if (request.placing())
        request.folder = absoluteLexicalPath(a.folder, workingFolder()) + "/";
    for (std::size_t i = 0; i < rows.size(); ++i)
        request.rows.push_back({i, rows[i]});
    InterruptWatch watch;
    const std::int64_t started = watch.clock.tickMs();
    const std::size_t listed = request.rows.size() + outcome.failures.total();
    if (a.dryRun) {
        previewBatch(request, io, outcome);
    } else {
        ListRows listRows(rows);
        PrintedReport report(io);
        files::FileOps files;
        ListBatch batch(files);
        batch.setReport(&report);
        batch.setJournalFolder(a.logFolder);
        RunOutcome done = batch.run(request, watch.context, listRows, listRows);
        if (!batch.problem().empty())
            io.err << "karv-tessil-cli act: " << terminalText(batch.problem()) << "\n";
        outcome.processed += done.processed;
        outcome.succeeded += done.succeeded;
        outcome.stopped = done.stopped;
        for (const auto& group : done.failures.groups())
            for (std::size_t i = 0; i < group.count; ++i)
                outcome.failures.add(group.reason, i < group.first.size() ? group.first[i] : std::string());
        if (!batch.problem().empty())
            outcome.failures.add(files::FailureReason::Other, {});
    }
    io.err << terminalText(batchSummaryText(request.act, listed, outcome, watch.clock.tickMs() - started))
           << "\n";
    if (interruptRequested())
        return kExitInterrupted;
    return outcome.failures.empty() ? kExitOk : kExitFailures;
}

/// Writes each file an undo took back (or would), and each one it could not with the reason.
class PrintedUndo : public BatchUndoSink {
public:
    explicit PrintedUndo(CliIo& io) : m_io(io) {}
    void item(const BatchUndoItem& item) override {
        if (item.error != 0)
            return failureLine(m_io, item.from, item.error, item.act == BatchAct::Copy);
        const std::string_view word = item.act == BatchAct::Copy    ? "trash"
                                      : item.act == BatchAct::Trash ? "restore"
                                                                    : "move";
        m_io.out << word << '\t' << tsvField(item.from) << '\t' << tsvField(item.to) << '\n';
    }

private:
    CliIo& m_io;
};

int undoBatch(const ActArgs& a, CliIo& io) {
    InterruptWatch watch;
    PrintedUndo printed(io);
    files::FileOps files;
    const BatchUndoResult result = undoLastBatch({a.logFolder, a.dryRun}, files, watch.context, printed);
    if (result.nothingToUndo) {
        io.err << kNothingToUndoBatch << "\n";
        return kExitOk;
    }
    if (!result.problem.empty()) {
        io.err << "karv-tessil-cli act: " << terminalText(result.problem) << "\n";
        return kExitFailures;
    }
    io.err << terminalText(batchUndoSummaryText(result.outcome, a.dryRun)) << "\n";
    if (interruptRequested())
        return kExitInterrupted;
    return result.outcome.failures.empty() ? kExitOk : kExitFailures;
}

} // namespace

int actCommand(const std::vector<std::string>& args, CliIo& io) {
    ActArgs a;
    ArgReader reader(args);
    while (!reader.done()) {
        if (reader.flag("--help") || reader.flag("-h")) {
            io.out << kActHelp;
            return kExitOk;
        }
        if (const int status = takeActFlag(reader, io, a); status != kExitOk)
            return status;
    }
    if (a.logFolder.empty())
        a.logFolder = programDataFolder(executableFolder());
    if (a.undo) {
        if (a.actGiven || a.listGiven || a.nul || a.onExists != kConflictRename)
            return usageError(io, kCommand, "--undo takes only --dry-run and --log-dir");
        return undoBatch(a, io);
    }
    if (!a.actGiven)
        return usageError(io, kCommand, "give one of --move DIR, --copy DIR, --trash, --delete (try --help)");
    if (!a.listGiven)
        return usageError(io, kCommand, "missing --from-list FILE|-");
    if ((a.act == BatchAct::Move || a.act == BatchAct::Copy) && !files::FileOps().isFolder(a.folder))
        return usageError(io, kCommand, "cannot use folder '" + a.folder + "' as the target");
    return runBatch(a, io);
}

} // namespace karv::cli
