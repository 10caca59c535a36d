#pragma once

#include "app/AppState.h"
#include "scan/ResultRow.h"
#include "scan/ScanOptions.h"
#include "text/RegexObject.h"
#include "values/FileFacts.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace karv {

inline constexpr std::string_view kIdleCaption = "  选择目录开始筛选";
inline constexpr std::string_view kRunningCaption = "  立即停止筛选！";
inline constexpr std::string_view kStoppingCaption = "  正在停止筛选..";
inline constexpr std::string_view kBusyMessage = "在开始新操作之前请先停止正在执行的操作！";
inline constexpr std::string_view kChooseFolderPrompt =
    "选择一个目录，确定后将根据设置，扫描该目录中符合条件的文件，输出到右侧列表：";

/// What the run asks of the front end that started it: the start button's caption and tag, the
/// questions, the status bar, the list and the event pump. The windows answer with live widgets,
/// the command line and the tests with plain values.
class FilterRunHost {
public:
    virtual ~FilterRunHost() = default;
    virtual const ScanOptions& options() const = 0;
    virtual ResultSink& results() = 0;

    virtual std::string startCaption() const = 0;
    virtual void setStartCaption(std::string_view caption) = 0;
    virtual std::string startTag() const = 0; ///< the last chosen folder
    virtual void setStartTag(const std::string& folder) = 0;

    virtual void saveControlStates() = 0;
    virtual void updateEnabling() = 0;
    virtual void showMessage(std::string_view text) = 0;
    /// Empty when the user cancels.
    virtual std::string chooseFolder(std::string_view prompt, const std::string& initialFolder) = 0;

    virtual void setStatusText(const std::string& text) = 0;
    virtual void scrollToLastRow() = 0;
    /// Lets the front end handle pending events (clicks, timers, repaints).
    virtual void pump() = 0;
    /// A steady clock in milliseconds.
    virtual std::int64_t tickMs() = 0;
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
    /// The run's event pump, for a stage to call during the long work of one file.
    virtual void setEventPump(std::function<void()> pump) { (void)pump; }
    /// What a long search inside `filterFile` asks, now and then, whether the run is to stop; it
    /// lets the front end handle its events too.
    virtual void setStopPoll(SearchPoll /*poll*/) {}
};

class FilterRun;
class OpenFolders;

/// Duplicate collection: files that passed are collected during the walk and listed after it.
class DuplicateStage {
public:
    virtual ~DuplicateStage() = default;
    virtual void clear() = 0;
    /// Reads the settings that apply per folder (name similarity), as each folder starts.
    virtual void beginFolder(const std::string& /*folder*/) {}
    virtual void collect(const std::string& path, const FileVerdict& verdict) = 0;
    /// Lists the groups through `FilterRun::addResultRow`; stops when `operationIdle` turns true.
    virtual void output(FilterRun& run) = 0;
};

/// One filter run: the start/stop button's handler, the traversal, the result rows and the status
/// texts. Without a filter stage every listed file passes; without a duplicate stage the duplicate
/// option is not offered by the front end.
class FilterRun {
public:
    FilterRun(AppState& state, FilterRunHost& host);

    /// Also hands the stage the run's event pump and stop flag, for its long searches.
    void setFilterStage(FileFilterStage* stage);
    void setDuplicateStage(DuplicateStage* stage) { m_duplicates = stage; }

    /// The click handler of 按钮开始筛选: starts a run, or asks the running one to stop.
    void startOrStopRun();
    /// Runs the walk on a folder that was already chosen (the command line has no folder chooser).
    void runOn(const std::string& folder);

    void scanDirectory(const std::string& folder);
    void addResultRow(const std::string& path, std::uint64_t size, std::uint64_t contentCount,
                      const std::string& timeText, const std::optional<FileStat>& knownStat = std::nullopt);
    void statusRefresh();

    AppState& state() { return m_state; }
    FilterRunHost& host() { return m_host; }

    /// Depth of `folder` below `root`: the root is 1, its sub-folders 2. Counted on the path relative
    /// to the root, so a root of "/" or a root text that recurs deeper in the path count right.
    static std::uint64_t folderDepth(const std::string& root, const std::string& folder);

private:
    void walk();
    void finish();
    /// Filters the files of the open folder `folder` and walks its sub-folders; `folder` is the
    /// folder's path, grown and shrunk as the walk goes down and up.
    void scanOpenFolder(OpenFolders& open, std::string& folder);

    AppState& m_state;
    FilterRunHost& m_host;
    FileFilterStage* m_filter = nullptr;
    DuplicateStage* m_duplicates = nullptr;
    // Identities of the folders entered in this run: none is walked twice, however it is reached.
    std::set<std::pair<dev_t, ino_t>> m_visited;
    // The folder of the last row stamped, and what it was.
    std::string m_stampedFolderPath;
    std::optional<FileStat> m_stampedFolder;
};

} // namespace karv
