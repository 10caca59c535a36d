#include "app/AppState.h"
#include "classify/ClassificationRun.h"
#include "classify/ClassificationUndo.h"
#include "cli/Cli.h"
#include "settings/SettingsFiles.h"
#include "settings/TextInput.h"
#include "text/NameText.h"

#include <chrono>
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

class CliClassifyHost : public ClassificationHost {
public:
    CliClassifyHost(CliIo& io, ClassificationSettings settings, bool random, std::string patterns,
                    std::vector<std::string> rows)
        : m_io(io), m_settings(std::move(settings)), m_random(random), m_patterns(std::move(patterns)),
          m_rows(std::move(rows)) {}

    void attach(ClassificationRun* run) { m_run = run; }
    const std::optional<ClassificationSummary>& summary() const { return m_summary; }

    ClassificationSettings settings() override { return m_settings; }
    void saveControlStates() override {}
    std::string caption() const override { return m_caption; }
    void setCaption(std::string_view caption) override { m_caption = caption; }
    void setCaptionLeftAligned(bool) override {}
    bool randomOrder() override { return m_random; }
    std::string patternList() override { return m_patterns; }
    bool keywordSearch() override { return m_settings.keywordSearch; }
    std::size_t listRowCount() override { return m_rows.size(); }
    std::optional<std::string> listRowPath(std::size_t row) override {
        if (row >= m_rows.size())
            return std::nullopt;
        return m_rows[row];
    }

    void pump() override {
        // Ctrl+C is a click on the running button.
        if (interruptCount() > m_interruptsHandled && m_run != nullptr) {
            m_interruptsHandled = interruptCount();
            m_run->runClassification();
        }
        if (!m_io.errIsTerminal)
            return;
        const std::int64_t now = tickMs();
        if (now - m_lastRefresh >= 1000) {
            m_lastRefresh = now;
            m_io.err << "\r\033[K" << terminalText(m_caption) << std::flush;
        }
    }

    std::int64_t tickMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    void fileDone(const std::string& source, const std::string& target, bool) override {
        m_io.out << tsvField(source) << '\t' << tsvField(target) << '\n';
    }

    void fileFailed(const std::string& source, files::FailureReason reason) override {
        clearStatus();
        m_io.err << files::reasonText(reason) << '\t' << terminalText(tsvField(source)) << '\n';
    }

    void refused(const std::string& message) override { m_io.err << terminalText(message) << '\n'; }

    void finished(const ClassificationSummary& summary) override { m_summary = summary; }

private:
    void clearStatus() {
        if (m_io.errIsTerminal)
            m_io.err << "\r\033[K";
    }

    CliIo& m_io;
    ClassificationSettings m_settings;
    bool m_random;
    std::string m_patterns;
    std::vector<std::string> m_rows;
    ClassificationRun* m_run = nullptr;
    std::string m_caption{kClassifyIdleCaption};
    std::optional<ClassificationSummary> m_summary;
    int m_interruptsHandled = 0;
    std::int64_t m_lastRefresh = tickMs();
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
    const UndoResult result = undoLastClassification(logFolder, files, preview);
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
    io.err << (preview ? "撤销预览：将还原 " : "撤销完成！共还原 ") << result.undone.size() << " 个文件";
    if (!result.notRestored.empty())
        io.err << "，" << result.notRestored.size() << (preview ? " 个文件无法还原" : " 个文件未能还原");
    io.err << "。\n";
    return result.notRestored.empty() ? kExitOk : kExitFailures;
}

} // namespace

int classifyCommand(const std::vector<std::string>& args, CliIo& io) {
    constexpr std::string_view cmd = "classify";
    ClassificationSettings settings;
    settings.keepOriginal = true;
    std::string patterns = "*.*";
    bool random = true;
    bool dryRun = false;
    bool undo = false;
    std::string logFolder;
    std::string folder;
    bool folderGiven = false;
    std::vector<std::string> rows;
    // Lists are read once every flag is known: -0 may come after them.
    struct ListInput {
        std::string_view flag;
        std::string path;
        bool given = false;
    };
    ListInput batchList{"--batch-list", {}}, keywordList{"--keywords", {}}, pathList{"--from-list", {}};
    bool nulSeparated = false;

    ArgReader reader(args);
    while (!reader.done()) {
        std::string value;
        bool missing = false;
        auto bad = [&](std::string_view flag) {
            return usageError(io, cmd,
                              missing ? std::string(flag) + " needs a value"
                                      : "invalid value '" + value + "' for " + std::string(flag));
        };
        if (reader.flag("--help") || reader.flag("-h")) {
            io.out << kClassifyHelp;
            return kExitOk;
        } else if (reader.flag("--recurse")) {
            settings.recurse = true;
        } else if (reader.option("--pattern", value, missing)) {
            if (missing)
                return bad("--pattern");
            patterns = value;
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
        } else if (reader.option("--batch-list", value, missing)) {
            if (missing)
                return bad("--batch-list");
            batchList.path = value;
            batchList.given = true;
        } else if (reader.flag("--move")) {
            settings.keepOriginal = false;
        } else if (reader.flag("--in-order")) {
            random = false;
        } else if (reader.option("--keywords", value, missing)) {
            if (missing)
                return bad("--keywords");
            keywordList.path = value;
            keywordList.given = true;
        } else if (reader.option("--log-dir", value, missing)) {
            if (missing)
                return bad("--log-dir");
            if (!isFolder(value))
                return usageError(io, cmd, "cannot use folder '" + value + "' for --log-dir");
            logFolder = absoluteLexicalPath(value, workingFolder());
        } else if (reader.flag("--dry-run")) {
            dryRun = true;
        } else if (reader.flag("--undo")) {
            undo = true;
        } else if (reader.option("--from-list", value, missing)) {
            if (missing)
                return bad("--from-list");
            pathList.path = value;
            pathList.given = true;
        } else if (reader.flag("-0")) {
            nulSeparated = true;
        } else if (const int status = takeFolderOperand(reader, io, cmd, folder, folderGiven);
                   status != kExitOk) {
            return status;
        }
    }
    if (int(batchList.given && batchList.path == "-") + int(keywordList.given && keywordList.path == "-") +
            int(pathList.given && pathList.path == "-") >
        1)
        return usageError(io, cmd, "only one list can come from standard input ('-')");
    // Entries of a list, or the usage status when it cannot be used.
    auto readList = [&](const ListInput& list, std::vector<std::string>& entries) {
        std::string content, error;
        if (!readTextInput(list.path, content, error))
            return usageError(
                io, cmd, "cannot read file '" + list.path + "' for " + std::string(list.flag) + ": " + error);
        if (!nulSeparated && content.find('\0') != std::string::npos)
            return usageError(io, cmd,
                              "file '" + list.path + "' for " + std::string(list.flag) +
                                  " holds NUL bytes (a NUL-separated list needs -0)");
        entries = splitTextInput(content, nulSeparated);
        return kExitOk;
    };
    // Keywords and batch names reach the run as lines, so an entry may not hold a line break.
    auto readLinesOf = [&](const ListInput& list, std::string& text) {
        std::vector<std::string> entries;
        if (const int status = readList(list, entries); status != kExitOk)
            return status;
        text.clear();
        for (const std::string& entry : entries) {
            if (entry.find_first_of("\r\n") != std::string::npos)
                return usageError(io, cmd, "an entry of " + std::string(list.flag) + " holds a line break");
            text += entry + "\r\n";
        }
        return kExitOk;
    };
    if (logFolder.empty())
        logFolder = programDataFolder(executableFolder());
    if (undo) {
        if (folderGiven || pathList.given)
            return usageError(io, cmd, "--undo takes only --dry-run and --log-dir");
        return undoCommand(logFolder, dryRun, io);
    }
    if (pathList.given && folderGiven)
        return usageError(io, cmd, "give either FOLDER or --from-list, not both");
    if (batchList.given) {
        if (const int status = readLinesOf(batchList, settings.batchNamesText); status != kExitOk)
            return status;
    }
    if (keywordList.given) {
        if (const int status = readLinesOf(keywordList, settings.keywordText); status != kExitOk)
            return status;
        settings.keywordSearch = true;
    }
    if (pathList.given) {
        if (const int status = readList(pathList, rows); status != kExitOk)
            return status;
        settings.mainListMode = true;
        std::erase(rows, std::string());
    } else {
        if (!folderGiven)
            return usageError(io, cmd, "missing FOLDER (try --help)");
        if (!isFolder(folder))
            return usageError(io, cmd, "cannot read folder '" + folder + "'");
        settings.folder = folder;
    }

    CliClassifyHost host(io, settings, random, patterns, std::move(rows));
    PreviewFiles preview;
    auto disk = diskPlacementFiles();
    PlacementFiles& files = dryRun ? static_cast<PlacementFiles&>(preview) : *disk;
    ClassificationRun run(host, files, dryRun ? std::string() : logFolder);
    host.attach(&run);
    run.runClassification();
    io.out.flush();
    if (!run.refusal().empty())
        return kExitFailures;
    if (io.errIsTerminal)
        io.err << "\r\033[K";
    const ClassificationSummary summary = host.summary().value_or(ClassificationSummary{});
    const bool stopped = summary.stopped;
    if (!summary.problem.empty())
        io.err << terminalText(summary.problem) << "\n";
    if (summary.failures > 0 && dryRun)
        io.err << (stopped ? "预览已停止！共 " : "预览完成！共 ") << summary.processed << " 个文件，其中 "
               << summary.failures << " 个文件将归类失败。\n";
    else if (summary.failures > 0)
        io.err << (stopped ? "归类已停止，" : "归类完成，") << "但有 " << summary.failures
               << " 个文件归类失败，具体请看【" << terminalText(summary.failureLogPath) << "】\n";
    else if (dryRun)
        io.err << (stopped ? "预览已停止！" : "预览完成！") << "共 " << summary.processed << " 个文件。\n";
    else
        io.err << (stopped ? kStoppedSummaryTitle : kSummaryTitle) << "共 " << summary.processed
               << " 个文件。\n";
    if (!summary.reasons.empty())
        io.err << summary.reasons.summary(&shownPath) << "\n";
    if (stopped && interruptRequested())
        return kExitInterrupted;
    return summary.failures > 0 || stopped ? kExitFailures : kExitOk;
}

} // namespace karv::cli
