#pragma once

#include "actions/ListActions.h"
#include "files/FileOps.h"
#include "gui/WindowBusy.h"

#include <functional>
#include <map>

#include <QObject>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QAbstractItemView;

namespace karv {

class ResultListMenu;
class ResultListModel;
class ViewerWindow;

/// The result list's buttons, double-click and right-click in the main window, acting through the
/// core's ListActions on the list view and its model. It runs the batches: it knows which one runs,
/// stops it through its token, and words its progress on the bar and the text under it.
class MainListActions : public QObject, public ActionRows, public ActionWindow, public TargetExistsQuestion {
    Q_OBJECT
public:
    struct Parts {
        QWidget* window;
        QAbstractItemView* list;
        ResultListModel* model;
        QProgressBar* progressBar;
        QLabel* progressText;
    };
    /// `services` is asked at every action, so desktop services replaced later are used.
    MainListActions(WindowBusy& busy, const Parts& parts, std::function<ActionServices()> services,
                    std::function<void()> pump);
    ~MainListActions() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPushButton* button(ActionButton which) const;
    ViewerWindow* viewer() const;
    /// The list's context menu.
    ResultListMenu& listMenu() { return *m_menu; }
    /// Where the batches journal what they did, so the last one can be taken back (the data folder);
    /// empty: not journaled.
    void setJournalFolder(std::string folder) { m_journalFolder = std::move(folder); }
    /// Runs one action with the current services.
    void run(const std::function<void(ListActions&)>& action);
    /// A click on 移动, 复制 or 删除: starts that batch, or stops it while it runs.
    void batchClicked(ActionButton which);
    /// The Delete keys: 删除 as its button starts it, to the trash or (`permanent`) for good, with
    /// the same question; while any long operation runs, the busy message instead, never a stop.
    void deleteKey(bool permanent);

    // ActionRows
    std::vector<std::size_t> selectedRows() override;
    std::size_t rowCount() override;
    ResultRow row(std::size_t index) override;
    void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                     const RowStamp& stamp) override;
    void removeRow(std::size_t index) override;
    void scrollToFirstRow();

    // ActionWindow
    void showState(ActionButton button, ButtonState state) override;
    void showViewer() override;
    bool viewerOpen() override;
    void setViewerContent(const std::string& text, const std::string& title) override;
    void setViewerBinary(const std::string& path, bool image, const std::string& description,
                         const std::string& title) override;
    void pump() override;
    void sleepMs(int milliseconds) override;

    // TargetExistsQuestion
    int askTargetExists(const std::string& target, bool& sameForRest) override;

private:
    /// The folder a button's chooser opens on: the one chosen last time.
    std::string tag(ActionButton button);
    void setTag(ActionButton button, const std::string& tag);
    void setProgressMaximum(int maximum);
    void setProgressPosition(int position);
    void setProgressText(const std::string& text);
    void runBatch(ActionButton which, const BatchRequest& request);

    WindowBusy& m_busy;
    Parts m_parts;
    std::function<ActionServices()> m_services;
    std::function<void()> m_pump;
    files::FileOps m_files;
    std::map<ActionButton, QPushButton*> m_buttons;
    QPointer<ViewerWindow> m_viewer;
    ResultListMenu* m_menu = nullptr;
    std::string m_journalFolder;
    /// The batches running, each with its stop token.
    std::map<ActionButton, StopToken*> m_batches;
};

} // namespace karv
