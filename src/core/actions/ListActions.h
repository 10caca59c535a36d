#pragma once

#include "app/AppState.h"
#include "desktop/Desktop.h"
#include "files/FileOps.h"
#include "scan/ResultRow.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// The buttons under the result list.
enum class ActionButton { Open, Locate, View, CopyPaths, CopyNames, Export, Copy, Move, Delete };

/// The result list as the actions see it.
class ActionRows {
public:
    virtual ~ActionRows() = default;
    /// Indexes of the selected rows, in list order.
    virtual std::vector<std::size_t> selectedRows() = 0;
    virtual std::size_t rowCount() = 0;
    virtual ResultRow row(std::size_t index) = 0;
    /// The file of a row now lives at folder (ending in "/") + name and looks as `stamp` says
    /// (another file system may keep its time less finely).
    virtual void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                             const RowStamp& stamp) = 0;
    virtual void removeRow(std::size_t index) = 0;
    virtual void scrollToFirstRow() = 0;
};

/// Answers of the target-exists dialog.
enum ConflictChoice { kConflictNone = 0, kConflictOverwrite = 1, kConflictSkip = 2, kConflictRename = 3 };

/// The window around the list: button captions and tags, the progress bar and text, the
/// target-exists dialog, the viewer window and the event pump.
class ActionWindow {
public:
    virtual ~ActionWindow() = default;
    virtual std::string caption(ActionButton button) = 0;
    virtual void setCaption(ActionButton button, std::string_view caption) = 0;
    virtual std::string tag(ActionButton button) = 0;
    virtual void setTag(ActionButton button, const std::string& tag) = 0;

    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void setProgressText(const std::string& text) = 0;

    /// The modal target-exists dialog over `target`. Returns the ConflictChoice (kConflictNone when
    /// closed without an answer); `sameForRest` receives the state of its check box.
    virtual int askTargetExists(const std::string& target, bool& sameForRest) = 0;

    /// The viewer window: shown (created when needed), whether it is open, its text and title.
    virtual void showViewer() = 0;
    virtual bool viewerOpen() = 0;
    virtual void setViewerContent(const std::string& text, const std::string& title) = 0;

    /// Processes pending window events.
    virtual void pump() = 0;
    /// Sleeps without processing events.
    virtual void sleepMs(int milliseconds) = 0;
};

/// The desktop services the actions use.
struct ActionServices {
    Questioner& questioner;
    Clock& clock;
    Clipboard& clipboard;
    Keyboard& keyboard;
    Shell& shell;
};

inline constexpr std::string_view kBusyRefusal = "在开始新操作之前请先停止正在执行的操作！";
inline constexpr std::string_view kExportTitle = "将路径列表保存到文本文件：";
inline constexpr std::string_view kExportFilter = "文本文件(*.txt)|*.txt|全部文件(*.*)|*.*";

/// The actions on the result list's rows: open, locate, view, copy paths and names, export, and
/// the long batch move, copy and delete that share `operationIdle` with the filter run.
class ListActions {
public:
    ListActions(AppState& state, ActionRows& rows, ActionWindow& window, ActionServices services,
                files::FileOps& files);

    /// The idle caption of a button.
    static std::string_view idleCaption(ActionButton button);

    void openSelected(bool open);
    void viewSelected();
    void refreshViewer();
    void copySelectedPaths();
    void copySelectedNames();
    void exportPathList();
    void moveOrCopySelected(bool move);
    void deleteSelected();

    /// Waits `milliseconds` in steps of 10 ms, processing pending events after each step.
    void waitWithEvents(int milliseconds);

    /// The first free name for a copy beside existing files: base2.ext, base3.ext, ...
    /// (base2 for a name without an extension).
    std::string renamedTarget(const std::string& folder, const std::string& name);

private:
    void copySelected(ActionButton button, bool names);
    void showInViewer(std::size_t row);
    /// The row's file as it was listed. A row without a stamp is refused: `unknown` receives the
    /// error to fail it with.
    files::Listed listedOf(const ResultRow& row, int& unknown);
    /// The summary's closing words: what failed and why, or nothing.
    static std::string failuresText(const files::FailureTally& failures);

    AppState& m_state;
    ActionRows& m_rows;
    ActionWindow& m_window;
    ActionServices m_services;
    files::FileOps& m_files;
    int m_conflictChoice = kConflictNone;
    bool m_sameForRest = false;
};

/// The text of an exported path list: each path's exact bytes followed by LF, the last one too, as
/// line-reading tools expect.
std::string pathListText(const std::vector<std::string>& paths);

/// The message of an export that could not be written, with the reason.
std::string exportFailureText(const std::string& file, int error);

} // namespace karv
