#include "cli/Cli.h"
#include "desktop/Desktop.h"
#include "scan/RowList.h"
#include "stats/FolderStatistics.h"
#include "text/NameText.h"
#include "values/ValueText.h"

#include <chrono>
#include <dirent.h>
#include <ostream>

namespace karv::cli {

namespace {

constexpr std::string_view kStatsHelp = R"(usage: karv-tessil-cli stats [OPTIONS] FOLDER

Counts the files and sub-folders of FOLDER (and of every folder below it with --recurse) and writes
one line per folder that reaches the thresholds, in visiting order.

  --recurse         also count every folder below FOLDER
  --pattern LIST    "|"-separated file-name patterns for the file count (default *.*)
  --min-files N     list only folders with at least N files
  --min-dirs N      list only folders with at least N sub-folders
  --format csv|tsv|json
                    csv: "path,files,dirs" (default); tsv: path TAB files TAB dirs, escaped as
                    scan's tsv; json: one object per line with path, files, dirs (and path_bytes,
                    the exact path in base64, when it is not valid UTF-8)
  -0                end each line with NUL instead; csv and tsv then write the exact path bytes
)";

enum class StatsFormat { Csv, Tsv, Json };

/// One folder's line in the chosen form.
std::string statsRecord(const StatisticsRow& row, StatsFormat format, bool nul) {
    const char end = nul ? '\0' : '\n';
    const std::string counts[2] = {std::to_string(row.files), std::to_string(row.folders)};
    switch (format) {
    case StatsFormat::Csv:
        return nul ? row.folder + "," + counts[0] + "," + counts[1] + end : statisticsLine(row, "\n");
    case StatsFormat::Tsv:
        return (nul ? row.folder : tsvField(displayText(row.folder))) + "\t" + counts[0] + "\t" + counts[1] +
               end;
    case StatsFormat::Json:
        break;
    }
    std::string line = "{\"path\":" + jsonQuoted(displayText(row.folder)) + ",\"files\":" + counts[0] +
                       ",\"dirs\":" + counts[1];
    if (!isValidUtf8(row.folder))
        line += ",\"path_bytes\":\"" + base64Encode(row.folder) + "\"";
    return line + "}" + end;
}

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
    StatsFormat format = StatsFormat::Csv;
    bool nul = false;
};

/// Writes each qualifying folder as it is found; a Ctrl+C asks the run to stop, and the status line
/// on a terminal shows the folder being read once a second.
class CliStatistics : public StatisticsSink, public ProgressSink {
public:
    CliStatistics(CliIo& io, StopToken& stop, const StatsFlags& flags)
        : m_io(io), m_stop(stop), m_flags(flags) {}

    void appendRow(StatisticsRow row) override {
        ++m_rows;
        m_io.out << statsRecord(row, m_flags.format, m_flags.nul);
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
    const StatsFlags& m_flags;
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
        } else if (reader.option("--format", value, missing)) {
            if (missing)
                return needsValue("--format");
            if (value != "csv" && value != "tsv" && value != "json")
                return usageError(io, cmd, "invalid value '" + value + "' for --format");
            flags.format = value == "csv"   ? StatsFormat::Csv
                           : value == "tsv" ? StatsFormat::Tsv
                                            : StatsFormat::Json;
        } else if (reader.flag("-0")) {
            flags.nul = true;
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
    CliStatistics host(io, stop, flags);
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
