#include "gui/MainWindow.h"

#include "gui/ResultListModel.h"
#include "platform/QtDesktop.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace karv {

/// Answers the engine's option questions from the live controls, so a change during a run applies
/// to the following files. Filters whose controls the window does not have yet keep their form
/// defaults (all off).
class MainWindow::LiveOptions : public FixedScanOptions {
public:
    explicit LiveOptions(const MainWindow& window) : m_window(window) {}

    TraversalScope scope() const override {
        if (m_window.m_thisFolder->isChecked())
            return TraversalScope::ThisFolder;
        if (m_window.m_levels->isChecked())
            return TraversalScope::Levels;
        return TraversalScope::AllSubfolders;
    }
    std::string levelsText() const override { return us(m_window.m_levelsEdit->text()); }
    std::string patternList() const override { return us(m_window.m_patternEdit->text()); }

private:
    const MainWindow& m_window;
};

MainWindow::MainWindow(AppState& state, Questioner& questioner, Clock& clock, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_questioner(questioner), m_clock(clock), m_run(state, *this) {
    setObjectName("主界面");
    setWindowTitle(qs(karv::windowTitle(state)));
    m_model = new ResultListModel(this);
    m_options = std::make_unique<LiveOptions>(*this);

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(buildOptionsPanel());
    layout->addWidget(buildResultPanel(), 1);
    setCentralWidget(central);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("状态条");
    m_statusLabel = new QLabel(statusBar);
    // A long folder path in the status must not widen the window.
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_statusLabel->setMinimumWidth(1);
    statusBar->addWidget(m_statusLabel, 1);
    setStatusBar(statusBar);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setObjectName("时钟筛选提示");
    m_statusTimer->setInterval(1000);
    connect(m_statusTimer, &QTimer::timeout, this, [this] { m_run.statusRefresh(); });
    m_statusTimer->start();

    resize(1100, 700);
    m_sinceLastPump.start();

    // Creation complete: enabling rules, then the window accepts operations.
    updateEnabling();
    m_state.operationIdle = true;
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildOptionsPanel() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);

    auto* traversal = new QWidget(panel);
    auto* row = new QHBoxLayout(traversal);
    row->setContentsMargins(0, 0, 0, 0);
    m_thisFolder = new QRadioButton("仅该目录", traversal);
    m_thisFolder->setObjectName("单选框仅该目录");
    m_allSubfolders = new QRadioButton("遍历子目录", traversal);
    m_allSubfolders->setObjectName("单选框遍历子目录");
    m_levels = new QRadioButton("遍历层次", traversal);
    m_levels->setObjectName("单选框遍历层次");
    m_allSubfolders->setChecked(true);
    m_levelsEdit = new QLineEdit("2", traversal);
    m_levelsEdit->setObjectName("编辑框层次");
    m_levelsEdit->setMaximumWidth(40);
    auto* scopeGroup = new QButtonGroup(traversal);
    scopeGroup->addButton(m_thisFolder);
    scopeGroup->addButton(m_allSubfolders);
    scopeGroup->addButton(m_levels);
    row->addWidget(m_thisFolder);
    row->addWidget(m_allSubfolders);
    row->addWidget(m_levels);
    row->addWidget(m_levelsEdit);
    row->addStretch(1);

    m_patternEdit = new QLineEdit("*.*", panel);
    m_patternEdit->setObjectName("编辑框过滤");
    m_patternEdit->setToolTip("文件名过滤，多个以|隔开，如 *.txt|*.log");

    m_startButton = new QPushButton(qs(kIdleCaption), panel);
    m_startButton->setObjectName("按钮开始筛选");
    m_startButton->setMinimumHeight(36);
    connect(m_startButton, &QPushButton::clicked, this, &MainWindow::onStartClicked);

    column->addStretch(1);
    column->addWidget(traversal);
    column->addWidget(m_patternEdit);
    column->addWidget(m_startButton);
    panel->setFixedWidth(360);
    return panel;
}

QWidget* MainWindow::buildResultPanel() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    m_list = new QTreeView(panel);
    m_list->setObjectName("超级列表框");
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true); // keeps a million rows fast
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(ResultListModel::NameColumn, 220);
    m_list->setColumnWidth(ResultListModel::SizeColumn, 80);
    m_list->setColumnWidth(ResultListModel::TimeColumn, 140);
    m_list->setColumnWidth(ResultListModel::CountColumn, 70);
    column->addWidget(m_list, 1);
    return panel;
}

void MainWindow::onStartClicked() {
    m_run.startOrStopRun();
}

QString MainWindow::statusText() const {
    return m_statusLabel->text();
}

void MainWindow::updateEnabling() {
    m_levelsEdit->setEnabled(true);
}

const ScanOptions& MainWindow::options() const {
    return *m_options;
}

ResultSink& MainWindow::results() {
    return *m_model;
}

std::string MainWindow::startCaption() const {
    return us(m_startButton->text());
}

void MainWindow::setStartCaption(std::string_view caption) {
    m_startButton->setText(qs(caption));
    if (caption == kIdleCaption)
        m_model->flush();
}

std::string MainWindow::startTag() const {
    return pathFromQt(m_startButton->property("tag").toString());
}

void MainWindow::setStartTag(const std::string& folder) {
    m_startButton->setProperty("tag", pathToQt(folder));
}

void MainWindow::saveControlStates() {
    // The settings store arrives with its own change; until then nothing is saved.
}

void MainWindow::showMessage(std::string_view text) {
    m_questioner.showMessage(text);
}

std::string MainWindow::chooseFolder(std::string_view prompt, const std::string& initialFolder) {
    return m_questioner.chooseFolder(prompt, initialFolder);
}

void MainWindow::setStatusText(const std::string& text) {
    m_statusLabel->setText(qs(text));
}

void MainWindow::scrollToLastRow() {
    m_model->flush();
    // The run also refreshes the status at every folder; scrolling a long list costs time in
    // proportion to its length, so the list follows its end once per second.
    if (m_sinceLastScroll.isValid() && m_sinceLastScroll.elapsed() < 1000)
        return;
    m_list->scrollToBottom();
    m_sinceLastScroll.start();
}

void MainWindow::pump() {
    // Handling events after every file would cost more than the files themselves; every 10 ms
    // keeps clicks, timers and repaints prompt.
    if (m_sinceLastPump.elapsed() < m_pumpIntervalMs)
        return;
    m_model->flush();
    QCoreApplication::processEvents();
    m_sinceLastPump.restart();
}

std::int64_t MainWindow::tickMs() {
    return m_clock.tickMs();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveControlStates();
    // A run in progress unwinds at its next check.
    m_state.operationIdle = true;
    event->accept();
}

} // namespace karv
