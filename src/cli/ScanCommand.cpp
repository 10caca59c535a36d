#include "cli/Cli.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "scan/FilterRun.h"
#include "text/NameText.h"

#include <chrono>
#include <dirent.h>
#include <ostream>

namespace karv::cli {

namespace {

constexpr std::string_view kScanHelp = R"(usage: karv-tessil-cli scan [OPTIONS] FOLDER

Lists the files of FOLDER that pass the filters, in list order.

traversal and output:
  --scope this|all|levels   only this folder / all sub-folders / down to --levels (default all)
  --levels N                levels for --scope levels (default 2)
  --pattern LIST            "|"-separated file-name patterns (default *.*)
  --follow                  walk symbolic links to folders (each folder at most once)
  --format tsv|paths|json   output rows (default tsv)
  -0                        with --format paths: separate paths by NUL
filters:
  --content TEXT --exclude --in name|content|both --match plain|wildcard|regex
  --length FROM:TO --measure size|chars|name --unit B|KB|MB|GB|TB|1|10|100|1000|10000
  --strip-tags --strip-blanks
  --time "FROM;TO" --time-kind created|modified|accessed --time-part both|date|time
  --dup md5|size|name --similar N --judge-content --output one|all|all-but-one
)";

enum class OutputFormat { Tsv, Paths, Json };

/// Writes each row as it arrives, so output streams while the walk goes on.
class StreamSink : public ResultSink {
public:
    StreamSink(std::ostream& out, OutputFormat format, bool nulSeparated)
        : m_out(out), m_format(format), m_nul(nulSeparated) {}

    void append(ResultRow row) override {
        ++m_count;
        switch (m_format) {
        case OutputFormat::Paths:
            // Raw bytes: a script acting on the paths must reach the very file.
            m_out << row.folder << row.name << (m_nul ? '\0' : '\n');
            break;
        case OutputFormat::Tsv:
            m_out << tsvField(displayText(row.name)) << '\t' << tsvField(row.sizeText) << '\t'
                  << tsvField(row.timeText) << '\t' << tsvField(row.countText) << '\t'
                  << tsvField(displayText(row.folder)) << '\n';
            break;
        case OutputFormat::Json:
            m_out << "{\"文件名\":" << jsonString(displayText(row.name))
                  << ",\"文件大小\":" << jsonString(row.sizeText)
                  << ",\"文件时间\":" << jsonString(row.timeText)
                  << ",\"内容字数\":" << jsonString(row.countText)
                  << ",\"所在目录\":" << jsonString(displayText(row.folder))
                  << ",\"path\":" << jsonString(displayText(row.path())) << "}\n";
            break;
        }
    }
    std::size_t count() const override { return m_count; }
    void clear() override { m_count = 0; }
    bool failed() const { return !m_out; }

private:
    std::ostream& m_out;
    OutputFormat m_format;
    bool m_nul;
    std::size_t m_count = 0;
};

class CliRunHost : public FilterRunHost {
public:
    CliRunHost(CliIo& io, FixedScanOptions& options, StreamSink& sink)
        : m_io(io), m_options(options), m_sink(sink) {}

    void attach(FilterRun* run) { m_run = run; }
    const std::string& statusText() const { return m_status; }

    const ScanOptions& options() const override { return m_options; }
    ResultSink& results() override { return m_sink; }
    std::string startCaption() const override { return m_caption; }
    void setStartCaption(std::string_view caption) override { m_caption = caption; }
    std::string startTag() const override { return m_tag; }
    void setStartTag(const std::string& folder) override { m_tag = folder; }
    void saveControlStates() override {}
    void updateEnabling() override {}
    void showMessage(std::string_view text) override { m_io.err << terminalText(text) << "\n"; }
    std::string chooseFolder(std::string_view, const std::string&) override { return {}; }
    void scrollToLastRow() override {}

    void setStatusText(const std::string& text) override {
        m_status = text;
        if (m_fromTimer && m_io.errIsTerminal)
            m_io.err << "\r\033[K" << terminalText(text) << std::flush;
    }

    void pump() override {
        // Each Ctrl+C is one click on the running button.
        if (interruptCount() > m_interruptsHandled && m_caption != kIdleCaption && m_run != nullptr) {
            m_interruptsHandled = interruptCount();
            m_run->startOrStopRun();
        }
        // Rows that cannot be written end the run, the duplicate listing included.
        if (m_sink.failed() && m_run != nullptr && m_caption != kIdleCaption && !m_run->state().operationIdle)
            m_run->startOrStopRun();
        const std::int64_t now = tickMs();
        if (now - m_lastRefresh >= 1000 && m_run != nullptr) {
            m_lastRefresh = now;
            m_fromTimer = true;
            m_run->statusRefresh();
            m_fromTimer = false;
        }
    }

    std::int64_t tickMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    CliIo& m_io;
    FixedScanOptions& m_options;
    StreamSink& m_sink;
    FilterRun* m_run = nullptr;
    std::string m_caption{kIdleCaption};
    std::string m_tag;
    std::string m_status;
    bool m_fromTimer = false;
    int m_interruptsHandled = 0;
    std::int64_t m_lastRefresh = tickMs();
};

template <typename T>
bool pick(std::string_view value, std::initializer_list<std::pair<std::string_view, T>> choices, T& out) {
    for (const auto& [name, choice] : choices) {
        if (value == name) {
            out = choice;
            return true;
        }
    }
    return false;
}

} // namespace

int scanCommand(const std::vector<std::string>& args, CliIo& io) {
    constexpr std::string_view cmd = "scan";
    FixedScanOptions options;
    ScanSettings& s = options.values;
    OutputFormat format = OutputFormat::Tsv;
    bool nul = false;
    bool unitGiven = false;
    bool unitCounts = false; // a character-count unit (1 .. 10000) rather than a size unit
    std::string folder;
    bool folderGiven = false;

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
            io.out << kScanHelp;
            return kExitOk;
        } else if (reader.option("--scope", value, missing)) {
            if (missing || !pick<TraversalScope>(value,
                                                 {{"this", TraversalScope::ThisFolder},
                                                  {"all", TraversalScope::AllSubfolders},
                                                  {"levels", TraversalScope::Levels}},
                                                 s.scope))
                return bad("--scope");
        } else if (reader.option("--levels", value, missing)) {
            if (missing)
                return bad("--levels");
            s.levels = value;
        } else if (reader.option("--pattern", value, missing)) {
            if (missing)
                return bad("--pattern");
            s.patterns = value;
        } else if (reader.option("--format", value, missing)) {
            if (missing || !pick<OutputFormat>(value,
                                               {{"tsv", OutputFormat::Tsv},
                                                {"paths", OutputFormat::Paths},
                                                {"json", OutputFormat::Json}},
                                               format))
                return bad("--format");
        } else if (reader.flag("-0")) {
            nul = true;
        } else if (reader.option("--content", value, missing)) {
            if (missing)
                return bad("--content");
            s.contentFilter = true;
            // A line break of the box is CR LF.
            s.contentText.clear();
            for (const char c : value) {
                if (c == '\n' && (s.contentText.empty() || s.contentText.back() != '\r'))
                    s.contentText.push_back('\r');
                s.contentText.push_back(c);
            }
        } else if (reader.flag("--exclude")) {
            s.contentExcludes = true;
        } else if (reader.option("--in", value, missing)) {
            if (missing || (value != "name" && value != "content" && value != "both"))
                return bad("--in");
            s.contentInName = value != "content";
            s.contentInText = value != "name";
        } else if (reader.option("--match", value, missing)) {
            if (missing || !pick<MatchMode>(value,
                                            {{"plain", MatchMode::Plain},
                                             {"wildcard", MatchMode::Wildcard},
                                             {"regex", MatchMode::Regex}},
                                            s.matchMode))
                return bad("--match");
        } else if (reader.option("--length", value, missing)) {
            const auto colon = value.find(':');
            if (missing || colon == std::string::npos)
                return missing ? bad("--length") : usageError(io, cmd, "--length takes FROM:TO");
            s.lengthFilter = true;
            s.lengthFrom = value.substr(0, colon);
            s.lengthTo = value.substr(colon + 1);
        } else if (reader.option("--measure", value, missing)) {
            if (missing || !pick<LengthMeasure>(value,
                                                {{"size", LengthMeasure::Size},
                                                 {"chars", LengthMeasure::Characters},
                                                 {"name", LengthMeasure::NameLength}},
                                                s.lengthMeasure))
                return bad("--measure");
        } else if (reader.option("--unit", value, missing)) {
            if (missing || !pick<int>(value,
                                      {{"B", 0},
                                       {"KB", 1},
                                       {"MB", 2},
                                       {"GB", 3},
                                       {"TB", 4},
                                       {"1", 0},
                                       {"10", 1},
                                       {"100", 2},
                                       {"1000", 3},
                                       {"10000", 4}},
                                      s.lengthUnit))
                return bad("--unit");
            unitGiven = true;
            unitCounts = value[0] >= '0' && value[0] <= '9';
        } else if (reader.flag("--strip-tags")) {
            s.stripTags = true;
        } else if (reader.flag("--strip-blanks")) {
            s.stripBlanks = true;
        } else if (reader.option("--time", value, missing)) {
            const auto semicolon = value.find(';');
            if (missing || semicolon == std::string::npos)
                return missing ? bad("--time") : usageError(io, cmd, "--time takes \"FROM;TO\"");
            s.timeFilter = true;
            s.timeFrom = value.substr(0, semicolon);
            s.timeTo = value.substr(semicolon + 1);
        } else if (reader.option("--time-kind", value, missing)) {
            if (missing || !pick<TimeKind>(value,
                                           {{"created", TimeKind::Created},
                                            {"modified", TimeKind::Modified},
                                            {"accessed", TimeKind::Accessed}},
                                           s.timeKind))
                return bad("--time-kind");
        } else if (reader.option("--time-part", value, missing)) {
            if (missing || !pick<DateTimeMode>(value,
                                               {{"both", DateTimeMode::Both},
                                                {"date", DateTimeMode::DateOnly},
                                                {"time", DateTimeMode::TimeOnly}},
                                               s.timePart))
                return bad("--time-part");
        } else if (reader.option("--dup", value, missing)) {
            if (missing || !pick<DuplicateKind>(value,
                                                {{"md5", DuplicateKind::Md5},
                                                 {"size", DuplicateKind::Size},
                                                 {"name", DuplicateKind::Name}},
                                                s.duplicateKind))
                return bad("--dup");
            s.duplicateFilter = true;
        } else if (reader.option("--similar", value, missing)) {
            if (missing)
                return bad("--similar");
            s.similarity = true;
            s.similarityPercent = value;
        } else if (reader.flag("--judge-content")) {
            s.judgeContent = true;
        } else if (reader.flag("--follow")) {
            s.followLinks = true;
        } else if (reader.option("--output", value, missing)) {
            if (missing || !pick<DuplicateOutput>(value,
                                                  {{"one", DuplicateOutput::One},
                                                   {"all", DuplicateOutput::All},
                                                   {"all-but-one", DuplicateOutput::AllButOne}},
                                                  s.duplicateOutput))
                return bad("--output");
        } else if (const int status = takeFolderOperand(reader, io, cmd, folder, folderGiven);
                   status != kExitOk) {
            return status;
        }
    }
    if (!unitGiven && s.lengthMeasure != LengthMeasure::Size)
        s.lengthUnit = 0;
    // Size units belong to the size, counts to the character count: KB is not "ten characters".
    if (unitGiven && ((s.lengthMeasure == LengthMeasure::Size && unitCounts) ||
                      (s.lengthMeasure == LengthMeasure::Characters && !unitCounts)))
        return usageError(io, cmd,
                          unitCounts ? "--unit 1|10|100|1000|10000 needs --measure chars"
                                     : "--unit B|KB|MB|GB|TB needs --measure size");
    if (!folderGiven)
        return usageError(io, cmd, "missing FOLDER (try --help)");
    if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr)
        ::closedir(dir);
    else
        return usageError(io, cmd, "cannot read folder '" + folder + "'");
    StreamSink sink(io.out, format, nul);
    CliRunHost host(io, options, sink);
    AppState state;
    state.operationIdle = true;
    FilterRun run(state, host);
    host.attach(&run);
    FilterPipeline pipeline(state, options);
    DuplicateFinder duplicates(run);
    run.setFilterStage(&pipeline);
    run.setDuplicateStage(&duplicates);
    run.runOn(folder);
    io.out.flush();
    if (io.errIsTerminal)
        io.err << "\r\033[K";
    if (!io.out) {
        io.err << "karv-tessil-cli scan: cannot write to standard output\n";
        return kExitFailures;
    }
    io.err << terminalText(host.statusText()) << "\n";
    return interruptRequested() ? kExitInterrupted : kExitOk;
}

} // namespace karv::cli
