#pragma once

#include "app/AppState.h"
#include "platform/Desktop.h"
#include "scan/FilterRun.h"

#include <memory>

#include <QElapsedTimer>
#include <QMainWindow>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeView;

namespace karv {

class ResultListModel;

/// The main window: the filter options on the left, the result list and its actions on the right,
/// the status bar below. It is also the front end a filter run talks to.
class MainWindow : public QMainWindow, public FilterRunHost {
    Q_OBJECT
public:
    MainWindow(AppState& state, Questioner& questioner, Clock& clock, QWidget* parent = nullptr);
    ~MainWindow() override;

    ResultListModel& resultModel() { return *m_model; }
    FilterRun& filterRun() { return m_run; }
    QString statusText() const;
    /// How often a long run lets events in (10 ms by default; tests use 0 to let every click in).
    void setPumpIntervalMs(int interval) { m_pumpIntervalMs = interval; }

    /// The enabling rules of the option controls.
    void updateEnabling() override;

    // FilterRunHost
    const ScanOptions& options() const override;
    ResultSink& results() override;
    std::string startCaption() const override;
    void setStartCaption(std::string_view caption) override;
    std::string startTag() const override;
    void setStartTag(const std::string& folder) override;
    void saveControlStates() override;
    void showMessage(std::string_view text) override;
    std::string chooseFolder(std::string_view prompt, const std::string& initialFolder) override;
    void setStatusText(const std::string& text) override;
    void scrollToLastRow() override;
    void pump() override;
    std::int64_t tickMs() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class LiveOptions;

    QWidget* buildOptionsPanel();
    QWidget* buildResultPanel();
    void onStartClicked();

    AppState& m_state;
    Questioner& m_questioner;
    Clock& m_clock;
    FilterRun m_run;
    std::unique_ptr<LiveOptions> m_options;
    ResultListModel* m_model = nullptr;

    QRadioButton* m_thisFolder = nullptr;
    QRadioButton* m_allSubfolders = nullptr;
    QRadioButton* m_levels = nullptr;
    QLineEdit* m_levelsEdit = nullptr;
    QLineEdit* m_patternEdit = nullptr;
    QPushButton* m_startButton = nullptr;
    QTreeView* m_list = nullptr;
    QLabel* m_statusLabel = nullptr;
    QTimer* m_statusTimer = nullptr;
    QElapsedTimer m_sinceLastPump;
    QElapsedTimer m_sinceLastScroll;
    int m_pumpIntervalMs = 10;
};

} // namespace karv
