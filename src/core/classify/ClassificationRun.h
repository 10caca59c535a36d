#pragma once

#include "classify/ClassificationJournal.h"
#include "classify/ClassificationLogs.h"
#include "classify/ClassifyParts.h"
#include "classify/PathKey.h"
#include "classify/PlacementFiles.h"
#include "classify/TargetPath.h"
#include "files/FailureReasons.h"

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

inline constexpr std::string_view kClassifyIdleCaption = "立即执行归类";
inline constexpr std::string_view kClassifyStartingCaption = "正在初始化中..";
inline constexpr std::string_view kReadingFolderCaption = "正在读取目录：";
inline constexpr std::string_view kDefaultClassifyTemplate = "[父目录路径]/[批次名]/[文件名]";
inline constexpr std::string_view kSummaryPrompt =
    "下面仅显示部分归类后的文件路径。\r\n完整记录请看软件目录下的【归类后文件路径.txt】";
inline constexpr std::string_view kSummaryTitle = "归类完成！";
inline constexpr std::string_view kStoppedSummaryTitle = "归类已停止！";
inline constexpr std::string_view kNoFolderChosen = "请先选择要归类的目录！";
inline constexpr std::size_t kProgressWidth = 80;

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
};

/// What the run asks of the window (or the command line) that started it. Options that the window
/// lets the user change during a run are asked for when they are used.
class ClassificationHost {
public:
    virtual ~ClassificationHost() = default;
    virtual ClassificationSettings settings() = 0;
    virtual void saveControlStates() = 0;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
    virtual void setCaptionLeftAligned(bool left) = 0;
    /// 选择框随机排序, read for every draw.
    virtual bool randomOrder() = 0;
    /// 编辑框过滤 and 选择框关键词搜索, read again for every folder.
    virtual std::string patternList() = 0;
    virtual bool keywordSearch() = 0;
    /// The main list's rows, read one at a time; a row gone meanwhile is empty.
    virtual std::size_t listRowCount() = 0;
    virtual std::optional<std::string> listRowPath(std::size_t row) = 0;
    virtual void pump() = 0;
    virtual std::int64_t tickMs() = 0;
    /// One file processed: where it went (the name actually used) and whether that worked.
    virtual void fileDone(const std::string& /*source*/, const std::string& /*target*/, bool /*ok*/) {}
    /// One file that could not be placed, and why.
    virtual void fileFailed(const std::string& /*source*/, files::FailureReason /*reason*/) {}
    /// A run that did not start (no folder chosen, another run holds the log folder, no journal can
    /// be written): nothing was changed.
    virtual void refused(const std::string& /*message*/) {}
    /// The end of a run: the failures message or the summary window.
    virtual void finished(const ClassificationSummary& summary) = 0;
};

/// One classification tool: the handler of its start/stop button, the folder and file steps.
class ClassificationRun {
public:
    /// `logFolder` empty: no logs are written (a preview).
    ClassificationRun(ClassificationHost& host, PlacementFiles& files, std::string logFolder);

    /// The click on 按钮立即执行归类: starts a run, or asks the running one to stop.
    void runClassification();
    void requestStop() { m_stop = true; }
    /// Why the last click did not start a run; empty when it did.
    const std::string& refusal() const { return m_refusal; }
    bool stopRequested() const { return m_stop; }

    /// Classifies the files of one folder: `folder` is its text, `folderFd` an open descriptor of it
    /// (-1: a folder that cannot be read, which has no files).
    void classifyFolder(const std::string& folder, int folderFd);
    /// `listed`: the file as the list showed it when the run started (main-list mode), acted on only
    /// while it is still that file.
    void classifyFile(const std::string& sourcePath, std::size_t total, std::size_t index,
                      std::string_view keywordLine, const files::Listed* listed = nullptr);
    /// Creates every missing folder above the file name of `path`; false when one cannot be made.
    bool createMissingFolders(const std::string& path);

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
                                                 const std::function<bool()>& keepGoing = {});

private:
    void fillContext(const ClassificationSettings& settings);
    void runMainList();
    void runFolders(const std::string& entry);
    std::int64_t position(RandomPicker& picker, std::size_t count, std::size_t i);
    /// Places the file at `target` or, when another file holds that name, at the first free
    /// renamed path; returns the path used, or empty on failure.
    std::optional<std::string> place(const std::string& source, std::string target,
                                     const files::Listed* listed = nullptr);
    /// A list row's file and folder as they were when the run started.
    struct ListedSource {
        files::Identity identity;
        bool folderKnown = false;
        std::uint64_t folderDevice = 0;
        std::uint64_t folderInode = 0;
    };
    /// Puts one completed operation in the journal before anything else happens; a journal that
    /// cannot be written stops the run.
    void journal(const std::string& source, const std::string& target);
    std::string producedKey(const std::string& path);
    void refuse(const std::string& message);

    ClassificationHost& m_host;
    PlacementFiles& m_files;
    std::string m_logFolder;
    ClassificationLogs m_logs;
    LogFolderLock m_lock;
    JournalWriter m_journal;
    ClassificationContext m_context;
    files::FailureTally m_reasons;
    std::string m_refusal;
    std::string m_problem;
    std::string m_workingFolder;
    int m_failureError = 0;
    bool m_stop = false;
    // Folders known to exist, and folder keys: recent ones only, so that a deep tree's long paths
    // are not all held at once.
    std::unordered_set<std::string> m_knownFolders;
    std::unordered_map<std::string, std::string> m_folderKeys;
    PathKeySet m_produced; // files this run put in place
    PathKeySet m_seenSources;
};

/// The renamed form of a target for the `attempt`-th try (2, 3, …): "name2.ext", "name3.ext"; a name
/// without an extension (none, or only a leading dot) gets the number at its end: "README2", ".cfg2".
std::string renamedTarget(const std::string& target, int attempt);

} // namespace karv
