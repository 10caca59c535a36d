#pragma once

#include "classify/ClassificationJournal.h"
#include "classify/ClassificationLogs.h"
#include "classify/ClassificationTexts.h"
#include "classify/ClassifyParts.h"
#include "classify/PathKey.h"
#include "classify/PlacementFiles.h"
#include "classify/TargetPath.h"
#include "files/FailureReasons.h"
#include "run/RunContext.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace karv {

/// The control states a run reads once, when it starts.
struct ClassificationSettings {
    bool mainListMode = false;                                        ///< 单选框主界面
    std::string folder;                                               ///< 编辑框目录
    bool recurse = false;                                             ///< 选择框遍历子目录
    std::string templateText = std::string(kDefaultClassifyTemplate); ///< 编辑框归类到
    std::string batchSizeText = "100";                                ///< 编辑框每批次归类数量
    BatchMode batchMode = BatchMode::Numbers;
    std::string batchNamesText; ///< tag of 按钮输入批次名列表, CR LF between names
    bool keepOriginal = true;   ///< 选择框保留原文件: copy instead of move
    bool keywordSearch = false; ///< 选择框关键词搜索, as the run starts
    std::string keywordText;    ///< tag of 按钮输入关键词
};

/// The state of one run, rebuilt at every start.
struct ClassificationContext {
    bool recurse = false;
    bool keepOriginal = true;
    TargetTemplate target; ///< template, entry folder, presence flags, batch mode, names and number
    std::int64_t batchSize = 100;
    std::int64_t inBatch = 0;
    std::int64_t failures = 0;
    std::int64_t shownCount = 0;
    std::int64_t shownLimit = 100;
    std::string shownText;
    std::vector<std::string> keywordLines;
};

/// How a run ended, for the front end's closing message or summary window.
struct ClassificationSummary {
    std::int64_t processed = 0;
    std::int64_t failures = 0;
    bool stopped = false;
    std::string shownText;       ///< the first targets, each followed by CR LF
    std::string failureLogPath;  ///< empty when no logs were written
    files::FailureTally reasons; ///< the failures by reason
    std::string problem;         ///< why the run stopped by itself (its journal could not be written)
    /// Why the run did not start (no folder chosen, another run holds the log folder, no journal can
    /// be written): nothing was changed. Empty when it ran.
    std::string refusal;

    /// The same end in the form every tool returns.
    RunOutcome outcome() const {
        RunOutcome out;
        out.stopped = stopped;
        out.processed = static_cast<std::uint64_t>(processed);
        out.succeeded = static_cast<std::uint64_t>(processed - failures);
        out.failures = reasons;
        return out;
    }
};

/// The options the window lets the user change during a run, read when they are used.
class ClassificationLive {
public:
    virtual ~ClassificationLive() = default;
    /// 选择框随机排序, read for every draw.
    virtual bool randomOrder() = 0;
    /// 编辑框过滤 and 选择框关键词搜索, read again for every folder.
    virtual std::string patternList() = 0;
    virtual bool keywordSearch() = 0;
    /// The main list's rows, read one at a time; a row gone meanwhile is empty.
    virtual std::size_t listRowCount() = 0;
    virtual std::optional<std::string> listRowPath(std::size_t row) = 0;
};

/// Where a run reports each file.
class ClassificationSink {
public:
    virtual ~ClassificationSink() = default;
    /// One file processed: where it went (the name actually used) and whether that worked.
    virtual void fileDone(const std::string& /*source*/, const std::string& /*target*/, bool /*ok*/) {}
    /// One file that could not be placed, and why.
    virtual void fileFailed(const std::string& /*source*/, files::FailureReason /*reason*/) {}
};

/// One run: the control states read once, as it starts, and the options read live.
struct ClassificationRequest {
    ClassificationSettings settings;
    ClassificationLive& live;
    /// Random order drawn from this seed instead of the clock, so that a preview and the run after
    /// it take the files in the same order.
    std::optional<std::uint64_t> orderSeed = std::nullopt;
};

/// One classification tool: the folder and file steps of a run. Progress: `Starting` once the run
/// holds its log folder, `Walking` with each folder read (`item`), `Placing` with each file (`item`,
/// `done` its place among `total` of its folder, list or keyword group).
class ClassificationRun {
public:
    /// `logFolder` empty: no logs are written (a preview).
    ClassificationRun(PlacementFiles& files, std::string logFolder);

    /// Classifies every file the request names; a stop is seen between files.
    ClassificationSummary run(const ClassificationRequest& request, const RunContext& context,
                              ClassificationSink& sink);

    const ClassificationContext& context() const { return m_context; }

    /// One folder a folder-mode run visits: its name in its parent (the entry folder's text for the
    /// first), the index of that parent in the plan, and who it was when it was listed.
    struct PlannedFolder {
        std::string name;
        std::size_t parent = 0;
        bool known = false;
        dev_t device = 0;
        ino_t inode = 0;
    };

    /// The folders a folder-mode run visits, in order: `entry`, then (with sub-folders) the whole tree
    /// below it depth first, each folder once, symbolic links to folders not entered. The tree is
    /// read through open folders, so its depth costs nothing per folder and the plan holds names,
    /// not paths. `keepGoing` runs after each folder listed (events may be handled there); false ends
    /// the plan.
    static std::vector<PlannedFolder> folderPlan(const std::string& entry, bool recurse,
                                                 const KeepGoing& keepGoing = {});

private:
    /// Takes the log folder and starts the journal; the refusal when that cannot be done.
    std::string prepareLogs(const ClassificationSettings& settings);
    void resetRun(const ClassificationSettings& settings);
    ClassificationSummary summarize(std::string refusal) const;
    void fillContext(const ClassificationSettings& settings);
    void runMainList();
    /// Who each row is and what it was, taken before anything moves.
    void takeListedRows(std::size_t count);
    void runFolders(const std::string& entry);
    /// Classifies the files of one folder: `folder` is its text, `folderFd` an open descriptor of it
    /// (-1: a folder that cannot be read, which has no files).
    void classifyFolder(const std::string& folder, int folderFd);
    void classifyByKeywords(const std::vector<std::string>& files);
    /// `listed`: the file as the list showed it when the run started (main-list mode), acted on only
    /// while it is still that file.
    void classifyFile(const std::string& sourcePath, std::size_t total, std::size_t index,
                      std::string_view keywordLine, const files::Listed* listed = nullptr);
    /// Creates every missing folder above the file name of `path`; false when one cannot be made.
    bool createMissingFolders(const std::string& path);
    std::int64_t position(RandomPicker& picker, std::size_t count, std::size_t i);
    /// Places the file at `target` or, when another file holds that name, at the first free
    /// renamed path; returns the path used, or empty on failure.
    std::optional<std::string> place(const std::string& source, std::string target,
                                     const files::Listed* listed = nullptr);
    /// Puts one completed operation in the journal before anything else happens; a journal that
    /// cannot be written stops the run.
    void journal(const std::string& source, const std::string& target);
    std::string producedKey(const std::string& path);
    void pump() const;
    /// Asked to stop, or stopped by itself.
    bool stopped() const;
    void report(RunStage stage, std::size_t done, std::size_t total, const std::string& item) const;

    PlacementFiles& m_files;
    std::string m_logFolder;
    ClassificationLogs m_logs;
    LogFolderLock m_lock;
    JournalWriter m_journal;
    ClassificationContext m_context;
    files::FailureTally m_reasons;
    std::string m_problem;
    std::string m_workingFolder;
    int m_failureError = 0;
    bool m_halted = false; // the journal failed
    // The request, context and sink of the run in progress.
    ClassificationLive* m_live = nullptr;
    const RunContext* m_run = nullptr;
    ClassificationSink* m_sink = nullptr;
    std::optional<std::uint64_t> m_orderSeed;
    // Folders known to exist, and folder keys: recent ones only, so that a deep tree's long paths
    // are not all held at once.
    std::unordered_set<std::string> m_knownFolders;
    std::unordered_map<std::string, std::string> m_folderKeys;
    PathKeySet m_produced; // files this run put in place
    PathKeySet m_seenSources;
    // Main-list mode: who each row is, and what each file and its folder were, when the run started.
    using FileId = std::pair<dev_t, ino_t>;
    std::unordered_map<PathKey, FileId, PathKeyHash> m_rowIds;
    std::unordered_map<PathKey, files::Listed, PathKeyHash> m_listedAs; // list rows as the run found them
};

/// The renamed form of a target for the `attempt`-th try (2, 3, …): "name2.ext", "name3.ext"; a name
/// without an extension (none, or only a leading dot) gets the number at its end: "README2", ".cfg2".
std::string renamedTarget(const std::string& target, int attempt);

} // namespace karv
