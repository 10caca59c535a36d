#pragma once

#include "actions/ListActions.h"
#include "files/FileOps.h"

#include <functional>
#include <map>

#include <QObject>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QAbstractItemView;

namespace karv {

class ResultListModel;
class ViewerWindow;

/// The result list's buttons, double-click and right-click in the main window, acting through the
/// core's ListActions on the list view and its model.
class MainListActions : public QObject, public ActionRows, public ActionWindow {
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
    MainListActions(AppState& state, const Parts& parts, std::function<ActionServices()> services,
                    std::function<void()> pump);
    ~MainListActions() override;

    QPushButton* button(ActionButton which) const;
    ViewerWindow* viewer() const;
    /// Runs one action with the current services.
    void run(const std::function<void(ListActions&)>& action);

    // ActionRows
    std::vector<std::size_t> selectedRows() override;
    std::size_t rowCount() override;
    ResultRow row(std::size_t index) override;
    void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                     const RowStamp& stamp) override;
    void removeRow(std::size_t index) override;
    void scrollToFirstRow() override;

    // ActionWindow
    std::string caption(ActionButton button) override;
    void setCaption(ActionButton button, std::string_view caption) override;
    std::string tag(ActionButton button) override;
    void setTag(ActionButton button, const std::string& tag) override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void setProgressText(const std::string& text) override;
    int askTargetExists(const std::string& target, bool& sameForRest) override;
    void showViewer() override;
    bool viewerOpen() override;
    void setViewerContent(const std::string& text, const std::string& title) override;
    void pump() override;
    void sleepMs(int milliseconds) override;

private:
    AppState& m_state;
    Parts m_parts;
    std::function<ActionServices()> m_services;
    std::function<void()> m_pump;
    files::FileOps m_files;
    std::map<ActionButton, QPushButton*> m_buttons;
    QPointer<ViewerWindow> m_viewer;
};

} // namespace karv
