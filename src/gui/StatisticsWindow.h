#pragma once

#include "gui/WidgetBuilder.h"
#include "desktop/Desktop.h"
#include "stats/FolderStatistics.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace karv {

class Clipboard;
class Opener;
class Questioner;
class SettingsStore;
class StatisticsListModel;

/// The desktop services the statistics window asks: the folder chooser and messages, the opening
/// of folders and the clipboard.
struct StatisticsDesktop {
    Questioner& questioner;
    Opener& opener;
    Clipboard& clipboard;
};

/// The folder statistics tool: counts the files and sub-folders of a folder (and of every folder
/// below it), lists the folders that reach the thresholds, opens them and copies the rows. A
/// modeless window owned by the main window; it remembers its controls in the section "文件统计".
class StatisticsWindow : public QWidget, public StatisticsSink, public ProgressSink {
    Q_OBJECT
public:
    static constexpr const char* kSettingsSection = "文件统计";
    static constexpr const char* kTitle = "文件统计 - 统计文件夹下各个子文件夹的文件数量和目录数量";

    /// `settings`, when given, restores the controls now and saves them when a run starts and when
    /// the window (or its owner) closes. A closed window deletes itself once no run is left on it.
    StatisticsWindow(const StatisticsDesktop& desktop, SettingsStore* settings, QWidget* owner = nullptr);
    ~StatisticsWindow() override;

    /// Shows the owner's statistics window, creating it when none is open.
    static StatisticsWindow* open(QWidget* owner, const StatisticsDesktop& desktop, SettingsStore* settings);

    /// How often a run lets events in (10 ms by default; tests use 0 to let every click in).
    void setPumpIntervalMs(int interval) { m_pumpThrottle.setIntervalMs(interval); }

    /// 按钮选择目录: the folder chooser, starting at the folder box.
    void chooseFolder();
    /// 按钮1 and a double-click: opens the folder of the list's current row.
    void openCurrentRow();
    /// 按钮2: every row as "folder,files,folders" CR LF on the clipboard.
    void copyResults();
    /// The raw folder of a row.
    std::string rowFolder(int row) const;

    /// A qualifying folder: listed, and counted in the first column's header.
    void appendRow(StatisticsRow row) override;
    /// The run button's caption follows the folder being read.
    void progress(const RunProgress& now) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onRunClicked();
    /// The request from the controls as they are when the run starts.
    StatisticsRequest request() const;
    void setRunCaption(std::string_view caption);
    void setCaptionLeftAligned(bool left);
    void saveControlStates();
    void pump();

    StatisticsDesktop m_desktop;
    SettingsStore* m_settings = nullptr;
    StopToken m_stop;
    SteadyClock m_clock;
    StatisticsListModel* m_model = nullptr;
    bool m_running = false;
    bool m_closed = false;
    ui::PumpThrottle m_pumpThrottle;

    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QLineEdit* m_patternEdit = nullptr;
    QCheckBox* m_recurse = nullptr;
    QCheckBox* m_fileThreshold = nullptr;
    QLineEdit* m_fileThresholdEdit = nullptr;
    QCheckBox* m_folderThreshold = nullptr;
    QLineEdit* m_folderThresholdEdit = nullptr;
    QPushButton* m_runButton = nullptr;
    QTreeView* m_list = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_copyButton = nullptr;
    QTimer* m_copiedTimer = nullptr;
};

} // namespace karv
