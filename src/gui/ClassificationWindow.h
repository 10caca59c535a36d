#pragma once

#include "app/AppState.h"
#include "classify/ClassificationRun.h"
#include "desktop/Desktop.h"
#include "gui/ClassificationPreview.h"
#include "gui/WidgetBuilder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace karv {

class ResultListModel;
class SettingsStore;

/// The services the classification window asks of the desktop; tests pass fakes.
struct ClassificationDesktop {
    Questioner& questioner;
    Clipboard& clipboard;
    Opener& opener;
    Clock& clock;
};

/// 文件归类: every setting of a classification run, the template with its meta-symbol menu, and the
/// start/stop button that shows the progress. A modeless tool window owned by the main window; in
/// main-list mode it classifies the main window's result rows.
class ClassificationWindow : public QWidget,
                             public ClassificationLive,
                             public ClassificationSink,
                             public ProgressSink {
    Q_OBJECT
public:
    static constexpr const char* kSettingsSection = "文件归类";

    ClassificationWindow(AppState& state, const ClassificationDesktop& desktop, ResultListModel* mainList,
                         SettingsStore* settings, QWidget* parent = nullptr);
    ~ClassificationWindow() override;

    /// The texts of the menu 元符, "-" for a separator.
    static QStringList symbolMenuItems();
    /// The help text of "元符帮助", lines joined by CR LF.
    static QString symbolHelpText();

    QMenu* symbolMenu() const { return m_symbolMenu; }
    ClassificationRun& run() { return *m_run; }
    /// How often a run lets events in (10 ms by default; tests use 0).
    void setPumpIntervalMs(int interval) { m_pumpThrottle.setIntervalMs(interval); }
    /// The warning box of a run with failures (a real message box unless replaced).
    void setWarningBox(std::function<void(const QString&)> box) { m_warningBox = std::move(box); }

    /// The click on 撤销上次归类: asks, then moves the files of the last run back.
    void undoLastRun();
    /// The click on 预览: the run without touching a file, its plan shown in a list; a click during the
    /// preview stops it (during a real run the button is disabled).
    void previewRun();
    /// The list of the last preview while it is open.
    ClassificationPreviewDialog* previewDialog() const { return m_previewDialog; }

    /// The control states a run reads as it starts.
    ClassificationSettings settings();
    void saveControlStates();

    // ClassificationLive
    bool randomOrder() override;
    std::string patternList() override;
    bool keywordSearch() override;
    std::size_t listRowCount() override;
    std::optional<std::string> listRowPath(std::size_t row) override;

    // ProgressSink: the start button words the run's progress.
    void progress(const RunProgress& now) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildSourceRows(QGridLayout* grid);
    void buildTargetRows(QGridLayout* grid);
    void buildStartRows(QGridLayout* grid);
    void buildSymbolMenu();
    void connectControls();
    /// The click (or right-button press) on 按钮立即执行归类.
    void startOrStop();
    void updateEnabling();
    void chooseFolder();
    void editBatchNames();
    void editKeywords();
    void insertSymbol(const QString& symbol);
    void showSymbolHelp();
    /// Runs one classification with the button showing its progress.
    void runOnce();
    /// The end of a run: the failures message or the summary window.
    void finished(const ClassificationSummary& summary);
    void setCaption(std::string_view caption);
    void setCaptionLeftAligned(bool left);
    /// Every control state a run reads, as one text: equal texts make equal runs.
    QString runSettingsText();

    AppState& m_state;
    ClassificationDesktop m_desktop;
    ResultListModel* m_mainList;
    SettingsStore* m_settings;
    std::unique_ptr<PlacementFiles> m_files;
    std::unique_ptr<ClassificationRun> m_run;
    StopToken m_stop;
    bool m_running = false;
    bool m_closeRequested = false;
    ui::PumpThrottle m_pumpThrottle;
    std::function<void(const QString&)> m_warningBox;

    QRadioButton* m_fromMainList = nullptr;
    QRadioButton* m_fromFolder = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_chooseFolder = nullptr;
    QLineEdit* m_filter = nullptr;
    QCheckBox* m_recurse = nullptr;
    QLineEdit* m_template = nullptr;
    QPushButton* m_symbolButton = nullptr;
    QLineEdit* m_batchSize = nullptr;
    QRadioButton* m_numbers = nullptr;
    QRadioButton* m_letters = nullptr;
    QRadioButton* m_named = nullptr;
    QPushButton* m_batchNames = nullptr;
    QCheckBox* m_keepOriginal = nullptr;
    QCheckBox* m_random = nullptr;
    QCheckBox* m_keywordSearch = nullptr;
    QPushButton* m_keywords = nullptr;
    QPushButton* m_undo = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_preview = nullptr;
    QMenu* m_symbolMenu = nullptr;
    std::pair<int, int> m_templateSelection{0, 0}; // start and length as the template box lost focus
    // The order the last preview drew, and the settings it drew it for: a run with the same settings
    // takes the files in that order, so it does what the preview showed.
    std::optional<std::uint64_t> m_previewSeed;
    QString m_previewedSettings;
    QPointer<ClassificationPreviewDialog> m_previewDialog;
};

} // namespace karv
