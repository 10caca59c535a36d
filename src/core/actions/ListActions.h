#pragma once

#include "actions/ActionTexts.h"
#include "actions/ListBatch.h"
#include "desktop/Desktop.h"
#include "files/FileOps.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// The window around the list: what the short actions' buttons show while they work, the viewer
/// window and the event pump.
class ActionWindow {
public:
    virtual ~ActionWindow() = default;
    virtual void showState(ActionButton button, ButtonState state) = 0;

    /// The viewer window: shown (created when needed), whether it is open, its text and title.
    virtual void showViewer() = 0;
    virtual bool viewerOpen() = 0;
    virtual void setViewerContent(const std::string& text, const std::string& title) = 0;
    /// A file that is not text: `description` words its type and size, and `image` tells that the
    /// file is a picture the viewer may show. Without a picture view the description is the text.
    virtual void setViewerBinary(const std::string& path, bool image, const std::string& description,
                                 const std::string& title) {
        (void)path;
        (void)image;
        setViewerContent(description, title);
    }

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

/// The actions on the result list's rows: open, locate, view, copy paths and names, export, and
/// the questions before a batch move, copy or delete (the batch itself is a `ListBatch`).
class ListActions {
public:
    ListActions(ActionRows& rows, ActionWindow& window, ActionServices services, files::FileOps& files);

    void openSelected(bool open);
    void viewSelected();
    void refreshViewer();
    void copySelectedPaths();
    void copySelectedNames();
    void exportPathList();
    /// The batch a click on 移动 or 复制 asks for: the selected rows and the folder chosen
    /// (the chooser opens on `lastFolder`). None when nothing is selected or the chooser is cancelled.
    std::optional<BatchRequest> moveOrCopyRequest(bool move, const std::string& lastFolder);
    /// The batch a click on 删除 asks for: to the trash, or for good while Ctrl is held. None when
    /// nothing is selected or the question is declined.
    std::optional<BatchRequest> deleteRequest();

    /// Waits `milliseconds` in steps of 10 ms, processing pending events after each step.
    void waitWithEvents(int milliseconds);

private:
    void copySelected(ActionButton button, bool names);
    void showInViewer(std::size_t row);
    /// The selected rows as they are now, for a batch.
    std::vector<BatchRow> selectedBatchRows(const std::vector<std::size_t>& selected);
    ActionRows& m_rows;
    ActionWindow& m_window;
    ActionServices m_services;
    files::FileOps& m_files;
};

/// The text of an exported path list: each path's exact bytes followed by LF, the last one too, as
/// line-reading tools expect.
std::string pathListText(const std::vector<std::string>& paths);

} // namespace karv
