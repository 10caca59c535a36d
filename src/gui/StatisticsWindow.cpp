#include "gui/StatisticsWindow.h"

#include "desktop/Desktop.h"
#include "files/FileOps.h"
#include "gui/ControlStateSync.h"
#include "gui/FitScrollArea.h"
#include "gui/WidgetBuilder.h"
#include "platform/QtDesktop.h"
#include "text/NameText.h"

#include <vector>

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace karv {

using namespace ui;

/// The rows of 超级列表框1. Rows arrive one per folder but reach the view in batches (at each
/// event pump), so a run over a hundred thousand folders stays quick. Folders keep their raw bytes.
class StatisticsListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void append(StatisticsRow row) { m_pending.push_back(std::move(row)); }
    void flush() {
        if (m_pending.empty())
            return;
        const int first = static_cast<int>(m_rows.size());
        beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
        for (StatisticsRow& row : m_pending)
            m_rows.push_back(std::move(row));
        endInsertRows();
        m_pending.clear();
    }
    void clear() {
        beginResetModel();
        m_rows.clear();
        m_pending.clear();
        endResetModel();
    }
    std::size_t count() const { return m_rows.size() + m_pending.size(); }
    const StatisticsRow& row(std::size_t index) const {
        return index < m_rows.size() ? m_rows[index] : m_pending[index - m_rows.size()];
    }
    void setHeaderCount(std::size_t rows) {
        m_headerCount = rows;
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() ||
            static_cast<std::size_t>(index.row()) >= m_rows.size())
            return {};
        const StatisticsRow& shown = m_rows[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
        case 0:
            return qs(displayText(shown.folder));
        case 1:
            return QString::number(shown.files);
        default:
            return QString::number(shown.folders);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case 0:
            // The count stays from the last row listed, also across a run that lists none.
            return m_headerCount > 0 ? u8("文件夹路径(") + QString::number(m_headerCount) + ")"
                                     : u8("文件夹路径");
        case 1:
            return u8("文件数量");
        default:
            return u8("目录数量");
        }
    }

private:
    std::vector<StatisticsRow> m_rows;
    std::vector<StatisticsRow> m_pending;
    std::size_t m_headerCount = 0;
};

StatisticsWindow::StatisticsWindow(const StatisticsDesktop& desktop, SettingsStore* settings, QWidget* owner)
    : QWidget(owner, Qt::Window), m_desktop(desktop), m_settings(settings) {
    setObjectName("文件统计");
    setWindowTitle(u8(kTitle));
    m_model = new StatisticsListModel(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(8);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(label("标签1", "要统计的文件夹：", this));
    m_folderEdit = lineEdit("编辑框目录", "", this);
    m_folderEdit->setAccessibleName(u8("要统计的文件夹"));
    folderRow->addWidget(m_folderEdit, 1);
    m_chooseButton = button("按钮选择目录", "..", this);
    m_chooseButton->setAccessibleName(u8("选择目录"));
    m_chooseButton->setFixedWidth(m_chooseButton->fontMetrics().horizontalAdvance("....") + 16);
    folderRow->addWidget(m_chooseButton);
    m_patternEdit = lineEdit("编辑框过滤", "*.*", this);
    m_patternEdit->setAccessibleName(u8("文件名过滤"));
    m_patternEdit->setToolTip(u8("只统计符合这些文件名的文件，多个以|隔开，如 *.txt|*.doc"));
    m_patternEdit->setFixedWidth(120);
    folderRow->addWidget(m_patternEdit);
    column->addLayout(folderRow);

    auto* optionRow = new QHBoxLayout;
    m_recurse = check("选择框遍历", "遍历", this);
    optionRow->addWidget(m_recurse);
    optionRow->addSpacing(8);
    m_fileThreshold = check("选择框文件数量大于", "文件数量大于：", this);
    optionRow->addWidget(m_fileThreshold);
    m_fileThresholdEdit = lineEdit("编辑框文件数量大于", "100", this);
    m_fileThresholdEdit->setAccessibleName(u8("文件数量大于"));
    m_fileThresholdEdit->setFixedWidth(64);
    optionRow->addWidget(m_fileThresholdEdit);
    optionRow->addSpacing(8);
    m_folderThreshold = check("选择框目录数量大于", "目录数量大于：", this);
    optionRow->addWidget(m_folderThreshold);
    m_folderThresholdEdit = lineEdit("编辑框目录数量大于", "10", this);
    m_folderThresholdEdit->setAccessibleName(u8("目录数量大于"));
    m_folderThresholdEdit->setFixedWidth(64);
    optionRow->addWidget(m_folderThresholdEdit);
    optionRow->addSpacing(8);
    m_runButton = button("按钮立即执行统计", "立即执行统计", this);
    // The caption shows the folder being read: a long path must not widen the window.
    m_runButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_runButton->setMinimumWidth(m_runButton->sizeHint().width());
    optionRow->addWidget(m_runButton, 1);
    column->addLayout(optionRow);

    m_list = named(new QTreeView(this), "超级列表框1");
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->setColumnWidth(1, 90);
    m_list->setColumnWidth(2, 90);
    column->addWidget(m_list, 1);

    auto* actionRow = new QHBoxLayout;
    actionRow->addStretch(1);
    m_openButton = button("按钮1", "打开", this);
    actionRow->addWidget(m_openButton);
    m_copyButton = button("按钮2", "复制结果", this);
    actionRow->addWidget(m_copyButton);
    column->addLayout(actionRow);

    m_copiedTimer = new QTimer(this);
    m_copiedTimer->setSingleShot(true);
    m_copiedTimer->setInterval(500);
    connect(m_copiedTimer, &QTimer::timeout, this, [this] { m_copyButton->setText(u8("复制结果")); });

    connect(m_chooseButton, &QPushButton::clicked, this, &StatisticsWindow::chooseFolder);
    connect(m_runButton, &QPushButton::clicked, this, &StatisticsWindow::onRunClicked);
    connect(m_openButton, &QPushButton::clicked, this, &StatisticsWindow::openCurrentRow);
    connect(m_list, &QTreeView::doubleClicked, this, &StatisticsWindow::openCurrentRow);
    connect(m_copyButton, &QPushButton::clicked, this, &StatisticsWindow::copyResults);

    // Closing the owner ends the program: the window's states must be saved then too.
    if (owner != nullptr)
        owner->installEventFilter(this);

    scrollWhenSmall(this);
    resize(780, 520);
    if (m_settings != nullptr)
        syncControls(*m_settings, this, true, u8(kSettingsSection));
}

StatisticsWindow::~StatisticsWindow() = default;

StatisticsWindow* StatisticsWindow::open(QWidget* owner, const StatisticsDesktop& desktop,
                                         SettingsStore* settings) {
    StatisticsWindow* window = nullptr;
    if (owner != nullptr) {
        for (StatisticsWindow* child :
             owner->findChildren<StatisticsWindow*>(QString(), Qt::FindDirectChildrenOnly))
            if (!child->m_closed)
                window = child;
    }
    if (window == nullptr)
        window = new StatisticsWindow(desktop, settings, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void StatisticsWindow::chooseFolder() {
    const std::string prompt = "请选择需要统计的文件所在文件夹(" + us(m_patternEdit->text()) + ")：";
    const std::string folder = m_desktop.questioner.chooseFolder(prompt, pathFromQt(m_folderEdit->text()));
    if (!folder.empty())
        m_folderEdit->setText(pathToQt(folder));
}

std::string StatisticsWindow::rowFolder(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_model->count())
        return {};
    return m_model->row(static_cast<std::size_t>(row)).folder;
}

void StatisticsWindow::openCurrentRow() {
    const QModelIndex current = m_list->currentIndex();
    if (!current.isValid()) {
        // Handing the desktop an empty path would open some unrelated place.
        m_desktop.questioner.showMessage("请先在列表中选中一个文件夹。");
        return;
    }
    m_desktop.opener.openUrl("file://" + files::encodePathForUrl(rowFolder(current.row())));
}

void StatisticsWindow::copyResults() {
    std::string text;
    for (std::size_t row = 0; row < m_model->count(); ++row)
        text += statisticsLine(m_model->row(row), "\n");
    m_desktop.clipboard.setText(text);
    m_copyButton->setText(u8("已复制"));
    m_copiedTimer->start();
}

void StatisticsWindow::onRunClicked() {
    if (m_running) {
        m_stop.requestStop(); // a click on the running button asks it to stop
        return;
    }
    m_running = true;
    saveControlStates();
    m_stop.reset();
    m_model->clear();
    setCaptionLeftAligned(true);
    const RunContext context{m_stop, *this, [this] { pump(); }, m_clock};
    runStatistics(request(), context, *this);
    setCaptionLeftAligned(false);
    setRunCaption(kStatisticsIdleCaption);
    m_running = false;
    m_model->flush();
    if (m_closed)
        deleteLater();
}

StatisticsRequest StatisticsWindow::request() const {
    StatisticsRequest request;
    request.folder = pathFromQt(m_folderEdit->text());
    request.recurse = m_recurse->isChecked();
    request.fileThreshold = thresholdValue(m_fileThreshold->isChecked(), us(m_fileThresholdEdit->text()));
    request.folderThreshold =
        thresholdValue(m_folderThreshold->isChecked(), us(m_folderThresholdEdit->text()));
    request.patternList = [this] {
        return us(m_patternEdit->text());
    };
    return request;
}

void StatisticsWindow::progress(const RunProgress& now) {
    setRunCaption(statisticsCaption(now));
}

void StatisticsWindow::setRunCaption(std::string_view caption) {
    m_runButton->setText(qs(caption));
}

void StatisticsWindow::setCaptionLeftAligned(bool left) {
    m_runButton->setStyleSheet(left ? QStringLiteral("text-align: left; padding-left: 8px;") : QString());
}

void StatisticsWindow::saveControlStates() {
    if (m_settings != nullptr)
        syncControls(*m_settings, this, false, u8(kSettingsSection));
}

void StatisticsWindow::appendRow(StatisticsRow row) {
    m_model->append(std::move(row));
    m_model->setHeaderCount(m_model->count());
}

void StatisticsWindow::pump() {
    m_pumpThrottle.pump([this] { m_model->flush(); });
}

void StatisticsWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed)
        saveControlStates();
    m_closed = true;
    // A run in progress ends after its current folder and deletes the window when it unwinds.
    m_stop.requestStop();
    if (!m_running)
        deleteLater();
    event->accept();
}

bool StatisticsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Close && !m_closed && isVisible()) {
        saveControlStates();
        m_stop.requestStop();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace karv
