#include "cli/Cli.h"
#include "desktop/Desktop.h"
#include "stats/FolderStatistics.h"
#include "values/ValueText.h"

#include <chrono>
#include <dirent.h>
#include <ostream>

namespace karv::cli {

namespace {

constexpr std::string_view kStatsHelp = R"(usage: karv-tessil-cli stats [OPTIONS] FOLDER

Counts the files and sub-folders of FOLDER (and of every folder below it with --recurse) and writes
one line "path,files,dirs" per folder that reaches the thresholds, in visiting order.

  --recurse         also count every folder below FOLDER
  --pattern LIST    "|"-separated file-name patterns for the file count (default *.*)
  --min-files N     list only folders with at least N files
  --min-dirs N      list only folders with at least N sub-folders
)";

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// What the command line says about one statistics run.
struct StatsFlags {
    std::string folder;
    std::string patterns = "*.*";
    bool recurse = false;
    bool minFilesGiven = false;
    std::string minFiles;
    bool minDirsGiven = false;
    std::string minDirs;
};

/// Writes each qualifying folder as it is found; a Ctrl+C asks the run to stop, and the status line
/// on a terminal shows the folder being read once a second.
class CliStatistics : public StatisticsSink, public ProgressSink {
public:
    CliStatistics(CliIo& io, StopToken& stop) : m_io(io), m_stop(stop) {}

    void appendRow(StatisticsRow row) override {
        ++m_rows;
        m_io.out << statisticsLine(row, "\n");
    }
    void progress(const RunProgress& now) override { m_caption = statisticsCaption(now); }

    void pump() {
        // Each Ctrl+C is one click on the running button.
        if (interruptCount() > m_interruptsHandled) {
            m_interruptsHandled = interruptCount();
            m_stop.requestStop();
        }
        if (!m_io.errIsTerminal)
            return;
        const std::int64_t now = nowMs();
        if (now - m_lastRefresh >= 1000) {
            m_lastRefresh = now;
            m_io.err << "\r\033[K(" << elapsedText(now - m_started) << ") " << terminalText(m_caption)
                     << std::flush;
        }
    }

    std::size_t rowCount() const { return m_rows; }
    std::int64_t startedMs() const { return m_started; }

private:
    CliIo& m_io;
    StopToken& m_stop;
    std::string m_caption{kStatisticsIdleCaption};
    std::size_t m_rows = 0;
    int m_interruptsHandled = 0;
    std::int64_t m_started = nowMs();
    std::int64_t m_lastRefresh = m_started;
};

} // namespace

int statsCommand(const std::vector<std::string>& args, CliIo& io) {
    constexpr std::string_view cmd = "stats";
    StatsFlags flags;
    bool folderGiven = false;

    ArgReader reader(args);
    while (!reader.done()) {
        std::string value;
        bool missing = false;
        auto needsValue = [&](std::string_view flag) {
            return usageError(io, cmd, std::string(flag) + " needs a value");
        };
        if (reader.flag("--help") || reader.flag("-h")) {
            io.out << kStatsHelp;
            return kExitOk;
        } else if (reader.flag("--recurse")) {
            flags.recurse = true;
        } else if (reader.option("--pattern", value, missing)) {
            if (missing)
                return needsValue("--pattern");
            flags.patterns = value;
        } else if (reader.option("--min-files", value, missing)) {
            if (missing)
                return needsValue("--min-files");
            flags.minFilesGiven = true;
            flags.minFiles = value;
        } else if (reader.option("--min-dirs", value, missing)) {
            if (missing)
                return needsValue("--min-dirs");
            flags.minDirsGiven = true;
            flags.minDirs = value;
        } else if (const int status = takeFolderOperand(reader, io, cmd, flags.folder, folderGiven);
                   status != kExitOk) {
            return status;
        }
    }
    // An empty FOLDER is refused rather than read as the root: a script with an unset variable
    // must not count the whole file system.
    if (!folderGiven || flags.folder.empty())
        return usageError(io, cmd, "missing FOLDER (try --help)");
    if (DIR* dir = ::opendir(flags.folder.c_str()); dir != nullptr)
        ::closedir(dir);
    else
        return usageError(io, cmd, "cannot read folder '" + flags.folder + "'");

    StatisticsRequest request;
    request.folder = flags.folder;
    request.recurse = flags.recurse;
    request.fileThreshold = thresholdValue(flags.minFilesGiven, flags.minFiles);
    request.folderThreshold = thresholdValue(flags.minDirsGiven, flags.minDirs);
    request.patternList = [&flags] {
        return flags.patterns;
    };
    StopToken stop;
    CliStatistics host(io, stop);
    SteadyClock clock;
    const RunContext context{stop, host, [&host] { host.pump(); }, clock};
    const RunOutcome outcome = runStatistics(request, context, host);
    io.out.flush();
    if (io.errIsTerminal)
        io.err << "\r\033[K";
    io.err << "统计完毕！共读取 " << outcome.processed << " 个文件夹，列出 " << host.rowCount()
           << " 个，耗时 " << elapsedText(nowMs() - host.startedMs()) << "。\n";
    return interruptRequested() ? kExitInterrupted : kExitOk;
}

} // namespace karv::cli
