#include "app/CacheFolder.h"
#include "cli/Cli.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "scan/FilterRun.h"
#include "scan/FilterStatus.h"
#include "scan/RowList.h"
#include "text/NameText.h"

#include <dirent.h>
#include <memory>
#include <ostream>
#include <sys/stat.h>

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
  --keep last|newest|oldest|shortest|longest
                            the member of each group that all-but-one leaves out: met last,
                            newest or oldest by last write, shortest or longest path (default last)
  --reference DIR           files under DIR are kept: all-but-one never lists them (repeatable)
  --no-cache                read every file, even where the digest cache knows it unchanged
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
            // The saved-list format: the window loads it, `act` acts on it.
            m_out << rowListLine(row);
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

/// The command line's side of a filter run: the stop that Ctrl+C and unwritable output ask for,
/// the status line (written over itself on a terminal, once a second) and the clock.
class CliRunFront {
public:
    CliRunFront(CliIo& io, StreamSink& sink) : m_io(io), m_sink(sink) {}

    void attach(FilterRun* run) { m_run = run; }
    const RunContext& context() const { return m_context; }
    FilterStatus& status() { return m_status; }
    const std::string& statusText() const { return m_statusText; }

private:
    void show(const std::string& text) {
        m_statusText = text;
        if (m_fromTimer && m_io.errIsTerminal)
            m_io.err << "\r\033[K" << terminalText(text) << std::flush;
    }

    void pump() {
        // Each Ctrl+C asks the run to stop, as a click on the running button does.
        if (interruptCount() > m_interruptsHandled && m_run != nullptr && m_run->running()) {
            m_interruptsHandled = interruptCount();
            m_run->requestStop();
        }
        // Rows that cannot be written end the run, the duplicate listing included.
        if (m_sink.failed() && m_run != nullptr)
            m_run->requestStop();
        const std::int64_t now = m_clock.tickMs();
        if (now - m_lastRefresh >= 1000 && m_run != nullptr) {
            m_lastRefresh = now;
            m_fromTimer = true;
            m_status.refresh();
            m_fromTimer = false;
        }
    }

    CliIo& m_io;
    StreamSink& m_sink;
    SteadyClock m_clock;
    StopToken m_stop;
    FilterStatus m_status{m_clock, [this](const std::string& text) {
                              show(text);
                          }};
    RunContext m_context{m_stop, m_status, [this] { pump(); }, m_clock};
    FilterRun* m_run = nullptr;
    std::string m_statusText;
    bool m_fromTimer = false;
    int m_interruptsHandled = 0;
    std::int64_t m_lastRefresh = m_clock.tickMs();
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

constexpr std::string_view kScanCommand = "scan";

/// Everything the command line says about one scan.
struct ScanArguments {
    FixedScanOptions options;
    OutputFormat format = OutputFormat::Tsv;
    bool nul = false;
    bool unitGiven = false;
    bool unitCounts = false; // a character-count unit (1 .. 10000) rather than a size unit
    std::string folder;
    bool folderGiven = false;
    bool noCache = false;
};

/// One flag being read: `taken` says a reader recognised it; `status` is kExitOk or the usage
/// error it gave.
struct FlagStep {
    FlagStep(ArgReader& flags, CliIo& streams) : reader(flags), io(streams) {}

    ArgReader& reader;
    CliIo& io;
    std::string value;
    bool missing = false;
    bool taken = false;
    int status = kExitOk;

    bool option(std::string_view flag) {
        taken = reader.option(flag, value, missing);
        return taken;
    }
    bool flag(std::string_view name) {
        taken = reader.flag(name);
        return taken;
    }
    void bad(std::string_view flag) {
        status = usageError(io, kScanCommand,
                            missing ? std::string(flag) + " needs a value"
                                    : "invalid value '" + value + "' for " + std::string(flag));
    }
    void wrong(std::string_view message) { status = usageError(io, kScanCommand, message); }
};

void readTraversalFlag(FlagStep& step, ScanArguments& parsed) {
    ScanSettings& s = parsed.options.values;
    if (step.option("--scope")) {
        if (step.missing || !pick<TraversalScope>(step.value,
                                                  {{"this", TraversalScope::ThisFolder},
                                                   {"all", TraversalScope::AllSubfolders},
                                                   {"levels", TraversalScope::Levels}},
                                                  s.scope))
            step.bad("--scope");
    } else if (step.option("--levels")) {
        if (step.missing)
            step.bad("--levels");
        else
            s.levels = step.value;
    } else if (step.option("--pattern")) {
        if (step.missing)
            step.bad("--pattern");
        else
            s.patterns = step.value;
    } else if (step.option("--format")) {
        if (step.missing ||
            !pick<OutputFormat>(
                step.value,
                {{"tsv", OutputFormat::Tsv}, {"paths", OutputFormat::Paths}, {"json", OutputFormat::Json}},
                parsed.format))
            step.bad("--format");
    } else if (step.flag("-0")) {
        parsed.nul = true;
    } else if (step.flag("--follow")) {
        s.followLinks = true;
    } else if (step.flag("--no-cache")) {
        parsed.noCache = true;
    }
}

void readContentFlag(FlagStep& step, ScanSettings& s) {
    if (step.option("--content")) {
        if (step.missing)
            return step.bad("--content");
        s.contentFilter = true;
        // A line break of the box is CR LF.
        s.contentText.clear();
        for (const char c : step.value) {
            if (c == '\n' && (s.contentText.empty() || s.contentText.back() != '\r'))
                s.contentText.push_back('\r');
            s.contentText.push_back(c);
        }
    } else if (step.flag("--exclude")) {
        s.contentExcludes = true;
    } else if (step.option("--in")) {
        if (step.missing || (step.value != "name" && step.value != "content" && step.value != "both"))
            return step.bad("--in");
        s.contentInName = step.value != "content";
        s.contentInText = step.value != "name";
    } else if (step.option("--match")) {
        if (step.missing ||
            !pick<MatchMode>(
                step.value,
                {{"plain", MatchMode::Plain}, {"wildcard", MatchMode::Wildcard}, {"regex", MatchMode::Regex}},
                s.matchMode))
            step.bad("--match");
    }
}

void readLengthFlag(FlagStep& step, ScanArguments& parsed) {
    ScanSettings& s = parsed.options.values;
    if (step.option("--length")) {
        const auto colon = step.value.find(':');
        if (step.missing || colon == std::string::npos)
            return step.missing ? step.bad("--length") : step.wrong("--length takes FROM:TO");
        s.lengthFilter = true;
        s.lengthFrom = step.value.substr(0, colon);
        s.lengthTo = step.value.substr(colon + 1);
    } else if (step.option("--measure")) {
        if (step.missing || !pick<LengthMeasure>(step.value,
                                                 {{"size", LengthMeasure::Size},
                                                  {"chars", LengthMeasure::Characters},
                                                  {"name", LengthMeasure::NameLength}},
                                                 s.lengthMeasure))
            step.bad("--measure");
    } else if (step.option("--unit")) {
        if (step.missing || !pick<int>(step.value,
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
            return step.bad("--unit");
        parsed.unitGiven = true;
        parsed.unitCounts = step.value[0] >= '0' && step.value[0] <= '9';
    } else if (step.flag("--strip-tags")) {
        s.stripTags = true;
    } else if (step.flag("--strip-blanks")) {
        s.stripBlanks = true;
    }
}

void readTimeFlag(FlagStep& step, ScanSettings& s) {
    if (step.option("--time")) {
        const auto semicolon = step.value.find(';');
        if (step.missing || semicolon == std::string::npos)
            return step.missing ? step.bad("--time") : step.wrong("--time takes \"FROM;TO\"");
        s.timeFilter = true;
        s.timeFrom = step.value.substr(0, semicolon);
        s.timeTo = step.value.substr(semicolon + 1);
    } else if (step.option("--time-kind")) {
        if (step.missing || !pick<TimeKind>(step.value,
                                            {{"created", TimeKind::Created},
                                             {"modified", TimeKind::Modified},
                                             {"accessed", TimeKind::Accessed}},
                                            s.timeKind))
            step.bad("--time-kind");
    } else if (step.option("--time-part")) {
        if (step.missing || !pick<DateTimeMode>(step.value,
                                                {{"both", DateTimeMode::Both},
                                                 {"date", DateTimeMode::DateOnly},
                                                 {"time", DateTimeMode::TimeOnly}},
                                                s.timePart))
            step.bad("--time-part");
    }
}

void readDuplicateFlag(FlagStep& step, ScanSettings& s) {
    if (step.option("--dup")) {
        if (step.missing ||
            !pick<DuplicateKind>(
                step.value,
                {{"md5", DuplicateKind::Md5}, {"size", DuplicateKind::Size}, {"name", DuplicateKind::Name}},
                s.duplicateKind))
            return step.bad("--dup");
        s.duplicateFilter = true;
    } else if (step.option("--similar")) {
        if (step.missing)
            return step.bad("--similar");
        s.similarity = true;
        s.similarityPercent = step.value;
    } else if (step.flag("--judge-content")) {
        s.judgeContent = true;
    } else if (step.option("--output")) {
        if (step.missing || !pick<DuplicateOutput>(step.value,
                                                   {{"one", DuplicateOutput::One},
                                                    {"all", DuplicateOutput::All},
                                                    {"all-but-one", DuplicateOutput::AllButOne}},
                                                   s.duplicateOutput))
            step.bad("--output");
    } else if (step.option("--keep")) {
        if (step.missing || !pick<KeepRule>(step.value,
                                            {{"last", KeepRule::Last},
                                             {"newest", KeepRule::Newest},
                                             {"oldest", KeepRule::Oldest},
                                             {"shortest", KeepRule::Shortest},
                                             {"longest", KeepRule::Longest}},
                                            s.keepRule))
            step.bad("--keep");
    } else if (step.option("--reference")) {
        if (step.missing || step.value.empty())
            return step.bad("--reference");
        s.referenceFolders.push_back(step.value);
    }
}

/// Reads the flags and the FOLDER. Returns kExitOk to go on, or the status to exit with (the help
/// text printed is kExitOk too, with `helped` set).
int readScanArguments(const std::vector<std::string>& args, CliIo& io, ScanArguments& parsed, bool& helped) {
    ArgReader reader(args);
    while (!reader.done()) {
        if (reader.flag("--help") || reader.flag("-h")) {
            io.out << kScanHelp;
            helped = true;
            return kExitOk;
        }
        FlagStep step(reader, io);
        ScanSettings& s = parsed.options.values;
        readTraversalFlag(step, parsed);
        if (!step.taken)
            readContentFlag(step, s);
        if (!step.taken)
            readLengthFlag(step, parsed);
        if (!step.taken)
            readTimeFlag(step, s);
        if (!step.taken)
            readDuplicateFlag(step, s);
        if (!step.taken)
            step.status = takeFolderOperand(reader, io, kScanCommand, parsed.folder, parsed.folderGiven);
        if (step.status != kExitOk)
            return step.status;
    }
    return kExitOk;
}

/// The checks that need every flag: units against the measure, the FOLDER given and readable.
int checkScanArguments(CliIo& io, ScanArguments& parsed) {
    ScanSettings& s = parsed.options.values;
    if (!parsed.unitGiven && s.lengthMeasure != LengthMeasure::Size)
        s.lengthUnit = 0;
    // Size units belong to the size, counts to the character count: KB is not "ten characters".
    if (parsed.unitGiven && ((s.lengthMeasure == LengthMeasure::Size && parsed.unitCounts) ||
                             (s.lengthMeasure == LengthMeasure::Characters && !parsed.unitCounts)))
        return usageError(io, kScanCommand,
                          parsed.unitCounts ? "--unit 1|10|100|1000|10000 needs --measure chars"
                                            : "--unit B|KB|MB|GB|TB needs --measure size");
    if (!parsed.folderGiven)
        return usageError(io, kScanCommand, "missing FOLDER (try --help)");
    if (DIR* dir = ::opendir(parsed.folder.c_str()); dir != nullptr)
        ::closedir(dir);
    else
        return usageError(io, kScanCommand, "cannot read folder '" + parsed.folder + "'");
    // A mistyped reference folder would protect nothing: all-but-one would offer its files.
    for (const std::string& reference : s.referenceFolders) {
        struct stat info {};
        if (::stat(reference.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return usageError(io, kScanCommand, "--reference '" + reference + "' is not a folder");
    }
    return kExitOk;
}

} // namespace

int scanCommand(const std::vector<std::string>& args, CliIo& io) {
    ScanArguments parsed;
    bool helped = false;
    if (const int status = readScanArguments(args, io, parsed, helped); status != kExitOk || helped)
        return status;
    if (const int status = checkScanArguments(io, parsed); status != kExitOk)
        return status;
    FixedScanOptions& options = parsed.options;
    const std::string& folder = parsed.folder;
    StreamSink sink(io.out, parsed.format, parsed.nul);
    CliRunFront front(io, sink);
    FilterRun run(sink, front.context());
    front.attach(&run);
    FilterPipeline pipeline(options);
    auto finder = std::make_unique<DuplicateFinder>(options);
    DuplicateFinder& duplicates = *finder;
    if (!parsed.noCache)
        duplicates.setDigestCacheFolder(cacheFolder());
    run.setFilterStage(&pipeline);
    run.setDuplicateStage(&duplicates);
    front.status().start();
    front.status().finish(run.run({options, folder, parsed.format == OutputFormat::Paths}));
    // Its groups and classes, a few pieces per file, take longer to free one by one than a second
    // search over an unchanged tree takes to run: the process's end frees them at once.
    if (io.processEnds)
        static_cast<void>(finder.release());
    io.out.flush();
    if (io.errIsTerminal)
        io.err << "\r\033[K";
    if (!io.out) {
        io.err << "karv-tessil-cli scan: cannot write to standard output\n";
        return kExitFailures;
    }
    io.err << terminalText(front.statusText()) << "\n";
    return interruptRequested() ? kExitInterrupted : kExitOk;
}

} // namespace karv::cli
