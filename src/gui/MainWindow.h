#pragma once

#include "app/AppState.h"
#include "desktop/Desktop.h"
#include "gui/Branding.h"
#include "gui/WidgetBuilder.h"
#include "gui/WindowBusy.h"
#include "scan/FilterRun.h"
#include "scan/FilterStatus.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QTableView;

namespace karv {

class DuplicateFinder;
class FilterPipeline;
class SettingsStore;

class DateTimeBox;
class DateTimeFieldEditor;
class KeepRuleControls;
class MainListActions;
class ResultListModel;

/// The main window: the brand banner on top, the filter options on the left, the result list and
/// its actions on the right, the status bar below. Its start button starts and stops the filter
/// run, which reads its options live from these controls.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    /// The section of the settings file that holds this window's control states.
    static constexpr const char* kSettingsSection = "主界面";

    /// `settings`, when given, restores the controls now and saves them when a run starts and when
    /// the window closes.
    MainWindow(AppState& state, Questioner& questioner, Clock& clock, QWidget* parent = nullptr,
               SettingsStore* settings = nullptr);
    ~MainWindow() override;

    /// Desktop services besides questions and time; the real ones are used until these are called.
    void setOpener(Opener& opener) { m_opener = &opener; }
    void setClipboard(Clipboard& clipboard) { m_clipboard = &clipboard; }
    void setKeyboard(Keyboard& keyboard) { m_keyboard = &keyboard; }
    void setShell(Shell& shell) { m_shell = &shell; }
    /// The actions on the result list (its nine buttons, double-click and right-click).
    MainListActions& listActions() { return *m_listActions; }

    ResultListModel& resultModel() { return *m_model; }
    FilterRun& filterRun() { return *m_run; }
    const FilterPipeline& filterPipeline() const { return *m_pipeline; }
    /// Whether a filter run or a list batch is going.
    WindowBusy& busy() { return m_busy; }
    QString statusText() const;
    /// How often a long run lets events in (10 ms by default; tests use 0 to let every click in).
    void setPumpIntervalMs(int interval) { m_pumpThrottle.setIntervalMs(interval); }

    /// The progress bar of the batch operations (hidden while none runs) and its text overlay.
    QProgressBar* progressBar() const { return m_progressBar; }
    QLabel* progressText() const { return m_progressText; }

    DateTimeFieldEditor& timeFromEditor() { return *m_timeFromEditor; }
    DateTimeFieldEditor& timeToEditor() { return *m_timeToEditor; }

    /// The enabling rules of the option controls, and with them the unit row's captions and the
    /// two strip options that depend on the length measure.
    void updateEnabling();
    /// The unit captions: "B" .. "TB" for the file size, "个" .. "万" otherwise; the unit row is
    /// hidden for the file-name length.
    void updateUnitCaptions();

    /// One 20 ms step of the brand picture's back-and-forth movement.
    void bannerStep();
    /// The help text "疑点说明" in the information window.
    void showHelp();
    /// Selects every row of the result list and gives it the focus.
    void selectAllRows();
    /// Adds dropped paths to the list as one drag-and-drop gesture; the list is emptied first unless
    /// Ctrl is held. Folders are ignored.
    void dropPaths(const std::vector<std::string>& paths);

    /// The folder the folder chooser opens on: the last one a run started on, kept (and saved with
    /// the settings) as the start button's tag.
    std::string startTag() const;
    void setStartTag(const std::string& folder);

    /// Saves the control states to the settings, when the window has them.
    void saveControlStates();

    /// The options a run reads, live from the controls.
    const ScanOptions& options() const;
    ResultSink& results();
    void setStatusText(const std::string& text);
    /// Follows the list's end while a run fills it.
    void scrollToLastRow();
    /// Lets pending events in, at most every few milliseconds.
    void pump();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class LiveOptions;

    QWidget* buildBanner();
    QWidget* buildOptionsPanel();
    QGroupBox* buildContentGroup(QWidget* parent);
    QGroupBox* buildLengthGroup(QWidget* parent);
    QGroupBox* buildTimeGroup(QWidget* parent);
    QGroupBox* buildDuplicateGroup(QWidget* parent);
    QWidget* buildTraversal(QWidget* parent);
    QWidget* buildResultPanel();
    void applyBranding();
    void layOutBanner();
    /// The start button's click: starts a run on a chosen folder, or asks the running one to stop.
    void onStartClicked();
    void setStartCaption(std::string_view caption);
    void showMessage(std::string_view text);
    std::string chooseFolder(std::string_view prompt);
    void pasteFilterText();
    void openLink(const QString& url);
    void fixOptionColumns(QWidget* panel);
    void guardDropTargets();
    void sizeNameColumn();
    void makeClickable(QWidget* widget, std::function<void()> action);
    bool runInProgress() const;
    std::vector<std::string> droppedLocalFiles(const QMimeData* mime) const;

    AppState& m_state;
    WindowBusy m_busy;
    std::vector<std::string> m_droppedPaths; ///< dropped, not yet listed
    Questioner& m_questioner;
    Clock& m_clock;
    SettingsStore* m_settings = nullptr;
    std::unique_ptr<Opener> m_ownOpener;
    std::unique_ptr<Clipboard> m_ownClipboard;
    std::unique_ptr<Keyboard> m_ownKeyboard;
    Opener* m_opener = nullptr;
    Clipboard* m_clipboard = nullptr;
    Keyboard* m_keyboard = nullptr;
    std::unique_ptr<Shell> m_ownShell;
    Shell* m_shell = nullptr;
    MainListActions* m_listActions = nullptr;
    std::unique_ptr<LiveOptions> m_options;
    std::unique_ptr<FilterPipeline> m_pipeline;
    std::unique_ptr<DuplicateFinder> m_duplicates;
    ResultListModel* m_model = nullptr;
    StopToken m_stop;
    std::unique_ptr<FilterStatus> m_runStatus;
    std::unique_ptr<RunContext> m_runContext;
    std::unique_ptr<FilterRun> m_run;
    BrandLinks m_links;
    std::map<QObject*, std::function<void()>> m_clickActions;

    // Content
    QCheckBox* m_contentFilter = nullptr;
    QRadioButton* m_contentIncludes = nullptr;
    QRadioButton* m_contentExcludes = nullptr;
    QCheckBox* m_contentInName = nullptr;
    QCheckBox* m_contentInText = nullptr;
    QComboBox* m_matchMode = nullptr;
    QPlainTextEdit* m_contentText = nullptr;
    QPushButton* m_pasteButton = nullptr;
    // Length
    QCheckBox* m_lengthFilter = nullptr;
    QRadioButton* m_bySize = nullptr;
    QRadioButton* m_byCount = nullptr;
    QRadioButton* m_byNameLength = nullptr;
    QCheckBox* m_stripTags = nullptr;
    QCheckBox* m_stripBlanks = nullptr;
    QLineEdit* m_lengthFrom = nullptr;
    QLineEdit* m_lengthTo = nullptr;
    QLabel* m_unitLabel = nullptr;
    QWidget* m_unitRow = nullptr;
    QButtonGroup* m_units = nullptr;
    QRadioButton* m_unitRadios[5] = {};
    // Time
    QCheckBox* m_timeFilter = nullptr;
    QRadioButton* m_created = nullptr;
    QRadioButton* m_modified = nullptr;
    QRadioButton* m_accessed = nullptr;
    QRadioButton* m_dateOnly = nullptr;
    QRadioButton* m_timeOnly = nullptr;
    QRadioButton* m_both = nullptr;
    DateTimeBox* m_timeFrom = nullptr;
    DateTimeBox* m_timeTo = nullptr;
    DateTimeFieldEditor* m_timeFromEditor = nullptr;
    DateTimeFieldEditor* m_timeToEditor = nullptr;
    // Duplicates
    QCheckBox* m_duplicateFilter = nullptr;
    QRadioButton* m_byMd5 = nullptr;
    QRadioButton* m_byLength = nullptr;
    QRadioButton* m_byName = nullptr;
    QCheckBox* m_similarity = nullptr;
    QLineEdit* m_similarityPercent = nullptr;
    QCheckBox* m_judgeContent = nullptr;
    QRadioButton* m_outputOne = nullptr;
    QRadioButton* m_outputAll = nullptr;
    QRadioButton* m_outputAllButOne = nullptr;
    KeepRuleControls* m_keepRule = nullptr;
    // Traversal and run
    QRadioButton* m_thisFolder = nullptr;
    QRadioButton* m_allSubfolders = nullptr;
    QRadioButton* m_levels = nullptr;
    QLineEdit* m_levelsEdit = nullptr;
    QLineEdit* m_patternEdit = nullptr;
    QPushButton* m_startButton = nullptr;
    // Results
    QTableView* m_list = nullptr;
    bool m_nameColumnByHand = false;
    bool m_sizingNameColumn = false;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_progressText = nullptr;
    QLabel* m_statusLabel = nullptr;
    QTimer* m_statusTimer = nullptr;
    // Banner
    QWidget* m_banner = nullptr;
    QLabel* m_bannerLabel = nullptr;
    QLabel* m_brandPicture = nullptr;
    QLabel* m_contactIcon = nullptr;
    QLabel* m_contactLink = nullptr;
    QLabel* m_helpIcon = nullptr;
    QLabel* m_helpLink = nullptr;
    QLabel* m_homeLink = nullptr;
    QLabel* m_homeIcon = nullptr;
    QPushButton* m_classifyButton = nullptr;
    QPushButton* m_statsButton = nullptr;
    QTimer* m_bannerTimer = nullptr;
    int m_bannerDirection = 1;

    ui::PumpThrottle m_pumpThrottle;
    QElapsedTimer m_sinceLastScroll;
};

} // namespace karv
