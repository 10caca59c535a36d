#include "app/AppState.h"
#include "classify/ClassificationRun.h"
#include "classify/ClassificationUndo.h"
#include "cli/Cli.h"
#include "desktop/Desktop.h"
#include "settings/SettingsFiles.h"
#include "settings/TextInput.h"
#include "text/NameText.h"

#include <dirent.h>
#include <ostream>
#include <sys/stat.h>

namespace karv::cli {

namespace {

constexpr std::string_view kClassifyHelp = R"(usage: karv-tessil-cli classify [OPTIONS] FOLDER
       karv-tessil-cli classify [OPTIONS] --from-list FILE
       karv-tessil-cli classify --undo [--dry-run] [--log-dir DIR]

Moves or copies every file to the path its template builds (one classification run).

  --from-list FILE          classify the files listed in FILE, one full path per line, in order
  --recurse                 with FOLDER: include its sub-folders
  --pattern LIST            "|"-separated file-name patterns (default *.*)
  --template T              target template (default [父目录路径]/[批次名]/[文件名])
  --batch-size N            files per batch (default 100)
  --batch-names numbers|letters|list
                            batch names 1, 2 …; A, B … Z, AA …; or from --batch-list (default numbers)
  --batch-list FILE         the batch names, one per line
  --move                    move the files (default: copy, the sources stay)
  --in-order                listing order (default: random order)
  --keywords FILE           classify only files whose main name holds a term of a line of FILE
                            ("|" between terms); [关键词] is that line
  --log-dir DIR             where the three logs and the journal are written (default: the
                            program's data folder); one run or undo at a time per folder
  --dry-run                 print what would happen; touch no file, write no log
  --undo                    take the last run back: moved files go back where they came from,
                            unchanged copies go to the trash (with --dry-run: only print it)
  -0                        the lists of --from-list, --keywords and --batch-list are separated by
                            NUL instead of line breaks (paths may then hold line breaks)

A list FILE may be "-" (standard input, for one of the lists), /dev/fd/N or a named pipe, and may
start with a UTF-8 byte-order mark, which is dropped.

Standard output: source TAB target for every processed file, in processing order (TAB, CR, LF and
backslash inside a path written as \t, \r, \n, \\). A target that is taken by another file gets the
first free name (name2.ext, name3.ext …); the output and the logs show the name used.
Standard error: one line per failed file, reason TAB path, and the summary.
--undo writes target TAB source for every file moved back (target TAB nothing for a copy moved to
the trash); with nothing to take back it says so and exits 0.
Exit status: 0 every file done, 1 some failed (see the failure log) or another run holds the log
folder, 2 bad usage; stopped by SIGINT, SIGTERM or SIGHUP: 128 + the signal (130 for Ctrl+C).
)";

/// The command line's side of a run: the options, the rows of --from-list, the status line on a
/// terminal, and Ctrl+C as the stop.
class CliClassifyHost : public ClassificationLive, public ClassificationSink, public ProgressSink {
public:
    CliClassifyHost(CliIo& io, const ClassificationSettings& settings, bool random, std::string patterns,
                    std::vector<std::string> rows)
        : m_io(io), m_keywordSearch(settings.keywordSearch), m_random(random),
          m_patterns(std::move(patterns)), m_rows(std::move(rows)) {}

    bool randomOrder() override { return m_random; }
    std::string patternList() override { return m_patterns; }
    bool keywordSearch() override { return m_keywordSearch; }
    std::size_t listRowCount() override { return m_rows.size(); }
    std::optional<std::string> listRowPath(std::size_t row) override {
        if (row >= m_rows.size())
            return std::nullopt;
        return m_rows[row];
    }

    void progress(const RunProgress& now) override { m_status = classificationProgressText(now); }

    /// The event pump of the run: a new Ctrl+C stops it; a terminal shows the status line.
    void pump(StopToken& stop) {
        if (interruptCount() > m_interruptsHandled) {
            m_interruptsHandled = interruptCount();
            stop.requestStop();
        }
        if (!m_io.errIsTerminal)
            return;
        const std::int64_t now = m_clock.tickMs();
        if (now - m_lastRefresh >= 1000) {
            m_lastRefresh = now;
            m_io.err << "\r\033[K" << terminalText(m_status) << std::flush;
        }
    }

    void fileDone(const std::string& source, const std::string& target, bool) override {
        m_io.out << tsvField(source) << '\t' << tsvField(target) << '\n';
    }

    void fileFailed(const std::string& source, files::FailureReason reason) override {
        clearStatus();
        m_io.err << files::reasonText(reason) << '\t' << terminalText(tsvField(source)) << '\n';
    }

    Clock& clock() { return m_clock; }

private:
    void clearStatus() {
        if (m_io.errIsTerminal)
            m_io.err << "\r\033[K";
    }

    CliIo& m_io;
    bool m_keywordSearch;
    bool m_random;
    std::string m_patterns;
    std::vector<std::string> m_rows;
    SteadyClock m_clock;
    std::string m_status{kClassifyIdleCaption};
    int m_interruptsHandled = 0;
    std::int64_t m_lastRefresh = m_clock.tickMs();
};

bool isFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return false;
    ::closedir(dir);
    return true;
}

std::string shownPath(const std::string& path) {
    return terminalText(displayText(path));
}

int undoCommand(const std::string& logFolder, bool preview, CliIo& io) {
    PreviewFiles previewFiles;
    auto disk = diskPlacementFiles();
    PlacementFiles& files = preview ? static_cast<PlacementFiles&>(previewFiles) : *disk;
    // The undo runs to its end, as it always has: nothing here asks it to stop.
    StopToken stop;
    NoProgress quiet;
    SteadyClock clock;
    const UndoResult result = undoLastClassification(logFolder, files, {stop, quiet, {}, clock}, preview);
    if (result.nothingToUndo) {
        io.err << kNothingToUndo << "\n";
        return kExitOk;
    }
    if (!result.journalRead) {
        io.err << terminalText(result.problem) << "\n";
        return kExitFailures;
    }
    for (const UndoneFile& file : result.undone)
        io.out << tsvField(file.target) << '\t' << (file.trashed ? std::string() : tsvField(file.source))
               << '\n';
    for (const UndoProblem& problem : result.notRestored)
        io.err << (preview ? "无法撤销：" : "未能撤销：") << terminalText(tsvField(problem.target)) << " -> "
               << terminalText(tsvField(problem.source)) << "（" << problem.reason << "）\n";
    io.err << undoDoneText(result.undone.size(), preview);
    if (!result.notRestored.empty())
        io.err << undoNotRestoredText(result.notRestored.size(), preview);
    io.err << "。\n";
    return result.notRestored.empty() ? kExitOk : kExitFailures;
}

constexpr std::string_view kCommand = "classify";

/// A list given by a flag; read once every flag is known, as -0 may come after it.
struct ListInput {
    std::string_view flag;
    std::string path;
    bool given = false;
};

/// Takes `list`'s flag when it comes next, with its value unless `missing`. False: another option.
bool takeListOption(ArgReader& reader, ListInput& list, std::string& value, bool& missing) {
    if (!reader.option(list.flag, value, missing))
        return false;
    if (!missing) {
        list.path = value;
        list.given = true;
    }
    return true;
}

/// Everything the command line says about one classify command.
struct ClassifyArgs {
    ClassificationSettings settings;
    std::string patterns = "*.*";
    bool random = true;
    bool dryRun = false;
    bool undo = false;
    std::string logFolder;
    std::string folder;
    bool folderGiven = false;
    std::vector<std::string> rows;
    ListInput batchList{"--batch-list", {}};
    ListInput keywordList{"--keywords", {}};
    ListInput pathList{"--from-list", {}};
    bool nulSeparated = false;
};

/// What taking one argument came to: go on with the next, or end the command with a status.
constexpr int kNextArgument = -1;
/// An argument none of the run's options is: the caller tries the others.
constexpr int kNotARunOption = -2;

/// The options that shape the run: template, batches, order, keywords, patterns.
int takeRunOption(ArgReader& reader, CliIo& io, ClassifyArgs& a) {
    std::string value;
    bool missing = false;
    auto bad = [&](std::string_view flag) {
        return usageError(io, kCommand,
                          missing ? std::string(flag) + " needs a value"
                                  : "invalid value '" + value + "' for " + std::string(flag));
    };
    ClassificationSettings& settings = a.settings;
    if (reader.flag("--recurse")) {
        settings.recurse = true;
    } else if (reader.option("--pattern", value, missing)) {
        if (missing)
            return bad("--pattern");
        a.patterns = value;
    } else if (reader.option("--template", value, missing)) {
        if (missing)
            return bad("--template");
        settings.templateText = value;
    } else if (reader.option("--batch-size", value, missing)) {
        if (missing)
            return bad("--batch-size");
        settings.batchSizeText = value;
    } else if (reader.option("--batch-names", value, missing)) {
        if (missing)
            return bad("--batch-names");
        if (value == "numbers")
            settings.batchMode = BatchMode::Numbers;
        else if (value == "letters")
            settings.batchMode = BatchMode::Letters;
        else if (value == "list")
            settings.batchMode = BatchMode::List;
        else
            return bad("--batch-names");
    } else if (takeListOption(reader, a.batchList, value, missing)) {
        if (missing)
            return bad(a.batchList.flag);
    } else if (reader.flag("--move")) {
        settings.keepOriginal = false;
    } else if (reader.flag("--in-order")) {
        a.random = false;
    } else if (takeListOption(reader, a.keywordList, value, missing)) {
        if (missing)
            return bad(a.keywordList.flag);
    } else {
        return kNotARunOption;
    }
    return kNextArgument;
}

/// The options that choose what the command does and where: help, logs, preview, undo, the list,
/// the separator, and the folder operand.
int takeModeOption(ArgReader& reader, CliIo& io, ClassifyArgs& a) {
    std::string value;
    bool missing = false;
    auto bad = [&](std::string_view flag) {
        return usageError(io, kCommand,
                          missing ? std::string(flag) + " needs a value"
                                  : "invalid value '" + value + "' for " + std::string(flag));
    };
    if (reader.flag("--help") || reader.flag("-h")) {
        io.out << kClassifyHelp;
        return kExitOk;
    } else if (reader.option("--log-dir", value, missing)) {
        if (missing)
            return bad("--log-dir");
        if (!isFolder(value))
            return usageError(io, kCommand, "cannot use folder '" + value + "' for --log-dir");
        a.logFolder = absoluteLexicalPath(value, workingFolder());
    } else if (reader.flag("--dry-run")) {
        a.dryRun = true;
    } else if (reader.flag("--undo")) {
        a.undo = true;
    } else if (takeListOption(reader, a.pathList, value, missing)) {
        if (missing)
            return bad(a.pathList.flag);
    } else if (reader.flag("-0")) {
        a.nulSeparated = true;
    } else if (const int status = takeFolderOperand(reader, io, kCommand, a.folder, a.folderGiven);
               status != kExitOk) {
        return status;
    }
    return kNextArgument;
}

/// Reads every flag; a status when the command ends there (help, bad usage), else kNextArgument.
int takeArguments(const std::vector<std::string>& args, CliIo& io, ClassifyArgs& a) {
    ArgReader reader(args);
    while (!reader.done()) {
        int status = takeRunOption(reader, io, a);
        if (status == kNotARunOption)
            status = takeModeOption(reader, io, a);
        if (status != kNextArgument)
            return status;
    }
    return kNextArgument;
}

/// Entries of a list, or the usage status when it cannot be used.
int readList(const ClassifyArgs& a, CliIo& io, const ListInput& list, std::vector<std::string>& entries) {
    std::string content, error;
    if (!readTextInput(list.path, content, error))
        return usageError(io, kCommand,
                          "cannot read file '" + list.path + "' for " + std::string(list.flag) + ": " +
                              error);
    if (!a.nulSeparated && content.find('\0') != std::string::npos)
        return usageError(io, kCommand,
                          "file '" + list.path + "' for " + std::string(list.flag) +
                              " holds NUL bytes (a NUL-separated list needs -0)");
    entries = splitTextInput(content, a.nulSeparated);
    return kExitOk;
}

/// Keywords and batch names reach the run as lines, so an entry may not hold a line break.
int readLinesOf(const ClassifyArgs& a, CliIo& io, const ListInput& list, std::string& text) {
    std::vector<std::string> entries;
    if (const int status = readList(a, io, list, entries); status != kExitOk)
        return status;
    text.clear();
    for (const std::string& entry : entries) {
        if (entry.find_first_of("\r\n") != std::string::npos)
            return usageError(io, kCommand, "an entry of " + std::string(list.flag) + " holds a line break");
        text += entry + "\r\n";
    }
    return kExitOk;
}

/// Reads the lists and checks what the run starts from: the listed files or FOLDER.
int readRunInput(ClassifyArgs& a, CliIo& io) {
    if (a.pathList.given && a.folderGiven)
        return usageError(io, kCommand, "give either FOLDER or --from-list, not both");
    if (a.batchList.given) {
        if (const int status = readLinesOf(a, io, a.batchList, a.settings.batchNamesText); status != kExitOk)
            return status;
    }
    if (a.keywordList.given) {
        if (const int status = readLinesOf(a, io, a.keywordList, a.settings.keywordText); status != kExitOk)
            return status;
        a.settings.keywordSearch = true;
    }
    if (a.pathList.given) {
        if (const int status = readList(a, io, a.pathList, a.rows); status != kExitOk)
            return status;
        a.settings.mainListMode = true;
        std::erase(a.rows, std::string());
        return kExitOk;
    }
    if (!a.folderGiven)
        return usageError(io, kCommand, "missing FOLDER (try --help)");
    if (!isFolder(a.folder))
        return usageError(io, kCommand, "cannot read folder '" + a.folder + "'");
    a.settings.folder = a.folder;
    return kExitOk;
}

/// The closing lines of a run on standard error, and the exit status they stand for.
int reportRun(const ClassificationSummary& summary, bool dryRun, CliIo& io) {
    if (io.errIsTerminal)
        io.err << "\r\033[K";
    const bool stopped = summary.stopped;
    if (!summary.problem.empty())
        io.err << terminalText(summary.problem) << "\n";
    io.err << classificationSummaryLine(dryRun, stopped, summary.processed, summary.failures,
                                        terminalText(summary.failureLogPath))
           << "\n";
    if (!summary.reasons.empty())
        io.err << summary.reasons.summary(&shownPath) << "\n";
    if (stopped && interruptRequested())
        return kExitInterrupted;
    return summary.failures > 0 || stopped ? kExitFailures : kExitOk;
}

int runClassify(ClassifyArgs& a, CliIo& io) {
    CliClassifyHost host(io, a.settings, a.random, a.patterns, std::move(a.rows));
    PreviewFiles preview;
    auto disk = diskPlacementFiles();
    PlacementFiles& files = a.dryRun ? static_cast<PlacementFiles&>(preview) : *disk;
    ClassificationRun run(files, a.dryRun ? std::string() : a.logFolder);
    StopToken stop;
    const RunContext context{stop, host, [&host, &stop] { host.pump(stop); }, host.clock()};
    const ClassificationSummary summary = run.run({a.settings, host}, context, host);
    io.out.flush();
    if (!summary.refusal.empty()) {
        io.err << terminalText(summary.refusal) << '\n';
        return kExitFailures;
    }
    return reportRun(summary, a.dryRun, io);
}

} // namespace

int classifyCommand(const std::vector<std::string>& args, CliIo& io) {
    ClassifyArgs a;
    a.settings.keepOriginal = true;
    if (const int status = takeArguments(args, io, a); status != kNextArgument)
        return status;
    if (int(a.batchList.given && a.batchList.path == "-") +
            int(a.keywordList.given && a.keywordList.path == "-") +
            int(a.pathList.given && a.pathList.path == "-") >
        1)
        return usageError(io, kCommand, "only one list can come from standard input ('-')");
    if (a.logFolder.empty())
        a.logFolder = programDataFolder(executableFolder());
    if (a.undo) {
        if (a.folderGiven || a.pathList.given)
            return usageError(io, kCommand, "--undo takes only --dry-run and --log-dir");
        return undoCommand(a.logFolder, a.dryRun, io);
    }
    if (const int status = readRunInput(a, io); status != kExitOk)
        return status;
    return runClassify(a, io);
}

} // namespace karv::cli
