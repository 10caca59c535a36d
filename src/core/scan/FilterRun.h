#pragma once

#include "files/FileFacts.h"
#include "run/RunContext.h"
#include "scan/ResultRow.h"
#include "scan/RowMaker.h"
#include "scan/ScanOptions.h"
#include "text/RegexObject.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace karv {

/// What one filter run is asked to do: walk `folder` with `options`. The options are read live, as
/// each folder and file needs them: a window's controls may change during the run.
struct FilterRequest {
    const ScanOptions& options;
    std::string folder;
    /// The front end shows only each row's path: rows are made without reading the file's size,
    /// times or identity (a listing of names then reads no file).
    bool pathsOnly = false;
};

/// How a filter run ended: stopped or not, the files decided (`processed`) and listed
/// (`succeeded`, the rows of the list), and the files whose expression search gave up at its limit
/// (and so counted as no match), with the first of them.
struct FilterOutcome : RunOutcome {
    std::string root; ///< the folder walked, without trailing "/"
    std::uint64_t expressionLimitFiles = 0;
    std::string expressionLimitFirst;
};

/// The per-file values the filters computed, handed back with the verdict; 0 and empty mean
/// "not computed".
struct FileVerdict {
    bool pass = true;
    /// False when a stop ended the filters before they had decided: the file is neither listed nor
    /// collected.
    bool decided = true;
    std::uint64_t size = 0;
    std::uint64_t contentCount = 0;
    std::string timeText;
    std::optional<FileStat> stat; ///< when a filter already read it
};

/// The per-file filter pipeline. Built per run; `beginFolder` prepares the per-folder matchers.
class FileFilterStage {
public:
    virtual ~FileFilterStage() = default;
    virtual void beginFolder(const std::string& folder) = 0;
    virtual FileVerdict filterFile(const std::string& path) = 0;
    /// The run's context (stop token, event pump), for the long work of one file; set before the
    /// first run and kept for the run's life.
    virtual void setRunContext(const RunContext& context) { (void)context; }
    /// A run starts: the stage takes what stays fixed for the run's whole length.
    virtual void beginRun() {}
    /// The run ended: the stage adds what it has to report to the outcome.
    virtual void endRun(FilterOutcome& outcome) { (void)outcome; }
    /// Whether the stage would work ahead on files given to `lookAhead` now (by the options as
    /// they are); when not, the run filters each folder's files as it reaches them.
    virtual bool readsAhead() const { return false; }
    /// The next files, in the order `filterFile` will be asked for them (some may be skipped), all
    /// in the open folder `folder` (-1 when it has no descriptor), which stays open until they are
    /// filtered or `endLookAhead`: the stage may start on their content on other threads. Called
    /// again, folder after folder, before the files of the earlier calls are filtered.
    virtual void lookAhead(const std::vector<std::string>& paths, int folder) {
        (void)paths;
        (void)folder;
    }
    /// Whether `filterFile` on the next file looked ahead at would answer without waiting.
    virtual bool nextReady() const { return true; }
    /// No more of the files looked ahead at will be asked for: work on them ends.
    virtual void endLookAhead() {}
};

class FilterRun;
class OpenFolders;
class HeldFolder;
struct DirectoryEntry;

/// Duplicate collection: files that passed are collected during the walk and listed after it.
class DuplicateStage {
public:
    virtual ~DuplicateStage() = default;
    virtual void clear() = 0;
    /// The run's context (stop token, event pump, progress), set before the first run.
    virtual void setRunContext(const RunContext& context) { (void)context; }
    /// Reads the settings that apply per folder (name similarity), as each folder starts.
    virtual void beginFolder(const std::string& /*folder*/) {}
    virtual void collect(const std::string& path, const FileVerdict& verdict) = 0;
    /// Lists the groups through `rows`; stops when the run's stop is asked.
    /// True when a stop cut the search or the listing short.
    virtual bool output(RowMaker& rows) = 0;
};

/// The filter run: the traversal and the result rows. Each run reads its request's options live,
/// lists into the sink, and reports its progress and sees its stop through the context; how that is
/// shown is the front end's business. Without a filter stage every listed file passes; without a
/// duplicate stage the duplicate option is not offered by the front end.
class FilterRun {
public:
    FilterRun(ResultSink& sink, const RunContext& context) : m_sink(sink), m_context(context) {}

    /// Also hands the stage the run's context, for its long searches.
    void setFilterStage(FileFilterStage* stage);
    void setDuplicateStage(DuplicateStage* stage);

    /// Walks the request's folder.
    FilterOutcome run(const FilterRequest& request);
    /// The folder a run on `chosen` walks: "/data//" is the folder "/data".
    static std::string rootOf(const std::string& chosen);
    /// Asks the running walk (or duplicate listing) to end at its next check; safe from a signal-
    /// driven callback. Nothing happens when no run is going.
    void requestStop();
    bool running() const { return m_running; }
    /// The options the run going on reads, live; only while it runs.
    const ScanOptions& options() const { return *m_options; }
    /// The context every stage of this run is given.
    const RunContext& context() const { return m_context; }

    void scanDirectory(const std::string& folder);

    /// Depth of `folder` below `root`: the root is 1, its sub-folders 2. Counted on the path relative
    /// to the root, so a root of "/" or a root text that recurs deeper in the path count right.
    static std::uint64_t folderDepth(const std::string& root, const std::string& folder);

private:
    void walk();
    void finish();
    /// Lists the folder's names and picks the files that fit the patterns; false on a stop.
    bool listFolder(OpenFolders& open, std::vector<DirectoryEntry>& entries, std::vector<std::size_t>& files);
    /// Filters the picked files and lists or collects those that pass, or queues them while the
    /// filter stage works on them ahead; false on a stop. `serial` numbers the folder in the walk.
    bool filterFiles(OpenFolders& open, std::uint64_t serial, const std::string& folder,
                     const std::vector<DirectoryEntry>& entries, const std::vector<std::size_t>& files);
    /// Filters `paths` in order and lists or collects those that pass; false on a stop.
    bool filterWindow(const std::vector<std::string>& paths);
    /// Filters one file and lists or collects it when it passes; false on a stop.
    bool filterOne(const std::string& path);
    /// The stages begin on the files of another folder.
    void judgeFolder(std::uint64_t serial, const std::string& folder);
    /// How far `drainQueued` goes: all, until the next file would wait for its work ahead, or
    /// until the queue is within half its budget.
    enum class Drain { All, Ready, Half };
    /// Filters queued files in walk order, as far as `until` says; false on a stop.
    bool drainQueued(Drain until);
    /// Whether the queue holds more than its share (`part` of its budget) of files, folders or bytes.
    bool queueOver(std::size_t part) const;
    /// Ends the work ahead and forgets the queued files.
    void dropQueued();
    /// Whether the walk goes below `folder`, by the scope and levels options.
    bool goesDeeper(const std::string& folder) const;
    /// Walks the sub-folders among `entries`; `folder` grows and shrinks with the walk.
    void walkSubfolders(OpenFolders& open, std::string& folder, std::vector<DirectoryEntry>& entries);
    bool stopped() const { return m_context.stop.stopRequested(); }
    /// Filters the files of the open folder `folder` and walks its sub-folders; `folder` is the
    /// folder's path, grown and shrunk as the walk goes down and up.
    void scanOpenFolder(OpenFolders& open, std::string& folder);

    const ScanOptions* m_options = nullptr; // of the run going on
    ResultSink& m_sink;
    const RunContext& m_context;
    bool m_running = false;
    std::string m_root;
    FilterOutcome m_outcome;
    FileFilterStage* m_filter = nullptr;
    DuplicateStage* m_duplicates = nullptr;
    // Identities of the folders entered in this run: none is walked twice, however it is reached.
    std::set<std::pair<dev_t, ino_t>> m_visited;
    // Made as each run starts, on that run's options and result list.
    std::optional<RowMaker> m_rows;

    /// Files the filter stage works on ahead, not filtered yet, in walk order; their folder stays
    /// open (`HeldFolder`) until they are.
    struct QueuedWindow {
        std::uint64_t serial = 0;
        std::string folder;
        std::shared_ptr<HeldFolder> held;
        std::vector<std::string> paths;
        std::size_t next = 0;
    };
    std::deque<QueuedWindow> m_queued;
    std::size_t m_queuedFiles = 0;
    std::size_t m_queuedBytes = 0;
    std::size_t m_heldFolders = 0;
    std::size_t m_maxHeldFolders = 0; ///< by the descriptor limit
    std::uint64_t m_folderSerial = 0;
    std::uint64_t m_judgedSerial = 0; ///< the folder whose files the stages were last begun on
};

} // namespace karv
