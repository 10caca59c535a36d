#include "gui/MainListActions.h"

#include "gui/ResultListMenu.h"
#include "gui/ResultListModel.h"
#include "gui/TargetExistsDialog.h"
#include "gui/ViewerWindow.h"
#include "platform/QtDesktop.h"
#include "scan/FilterTexts.h"
#include "text/NameText.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

namespace karv {

namespace {

const std::pair<ActionButton, const char*> kButtonNames[] = {
    {ActionButton::Open, "按钮打开"},          {ActionButton::Locate, "按钮定位"},
    {ActionButton::View, "按钮查看"},          {ActionButton::CopyPaths, "按钮复制路径"},
    {ActionButton::CopyNames, "按钮复制名称"}, {ActionButton::Export, "按钮导出"},
    {ActionButton::Copy, "按钮复制"},          {ActionButton::Move, "按钮移动"},
    {ActionButton::Delete, "按钮删除"},
};

} // namespace

MainListActions::MainListActions(WindowBusy& busy, const Parts& parts,
                                 std::function<ActionServices()> services, std::function<void()> pump)
    : QObject(parts.window), m_busy(busy), m_parts(parts), m_services(std::move(services)),
      m_pump(std::move(pump)) {
    for (const auto& [which, name] : kButtonNames)
        m_buttons[which] = parts.window->findChild<QPushButton*>(QString::fromUtf8(name));

    auto on = [this](ActionButton which, std::function<void(ListActions&)> action) {
        if (QPushButton* b = button(which))
            connect(b, &QPushButton::clicked, this, [this, action] { run(action); });
    };
    on(ActionButton::Open, [](ListActions& a) { a.openSelected(true); });
    on(ActionButton::Locate, [](ListActions& a) { a.openSelected(false); });
    on(ActionButton::View, [](ListActions& a) { a.viewSelected(); });
    on(ActionButton::CopyPaths, [](ListActions& a) { a.copySelectedPaths(); });
    on(ActionButton::CopyNames, [](ListActions& a) { a.copySelectedNames(); });
    on(ActionButton::Export, [](ListActions& a) { a.exportPathList(); });
    for (const ActionButton which : {ActionButton::Copy, ActionButton::Move, ActionButton::Delete})
        if (QPushButton* b = button(which))
            connect(b, &QPushButton::clicked, this, [this, which] { batchClicked(which); });

    connect(parts.list, &QAbstractItemView::doubleClicked, this,
            [this] { run([](ListActions& a) { a.openSelected(true); }); });
    // A right click on a row locates its file, as the window's help says; the list's menu comes
    // with Shift held, or from the keyboard's menu key.
    m_menu = new ResultListMenu(
        parts.list, parts.model, [this] { run([](ListActions& a) { a.openSelected(false); }); },
        [this](std::string_view prompt, const std::string& initial) {
            return m_services().questioner.chooseFolder(prompt, initial);
        });
    parts.list->installEventFilter(this);
    parts.list->viewport()->installEventFilter(this);
    // Queued: a click moves the current row before it selects that row, and the viewer shows the
    // first selected row, so it must look once the selection has settled.
    connect(
        parts.list->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this] { run([](ListActions& a) { a.refreshViewer(); }); }, Qt::QueuedConnection);
}

MainListActions::~MainListActions() = default;

bool MainListActions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    QAbstractItemView* list = m_parts.list;
    // Keyboard events come to the list itself, mouse ones to its viewport.
    QPoint point = watched == list->viewport() ? menuEvent->pos()
                                               : list->viewport()->mapFromGlobal(menuEvent->globalPos());
    if (menuEvent->reason() == QContextMenuEvent::Keyboard && list->currentIndex().isValid())
        point = list->visualRect(list->currentIndex()).center();
    if (menuEvent->reason() == QContextMenuEvent::Mouse && !(menuEvent->modifiers() & Qt::ShiftModifier)) {
        if (list->indexAt(point).isValid())
            run([](ListActions& a) { a.openSelected(false); });
    } else {
        m_menu->showAt(point);
    }
    event->accept();
    return true;
}

QPushButton* MainListActions::button(ActionButton which) const {
    const auto it = m_buttons.find(which);
    return it == m_buttons.end() ? nullptr : it->second;
}

ViewerWindow* MainListActions::viewer() const {
    return m_viewer.data();
}

void MainListActions::run(const std::function<void(ListActions&)>& action) {
    ListActions actions(*this, *this, m_services(), m_files);
    action(actions);
}

void MainListActions::batchClicked(ActionButton which) {
    if (const auto running = m_batches.find(which); running != m_batches.end()) {
        running->second->requestStop();
        showState(which, ButtonState::Stopping);
        // The filter run shares this flag: it is free again once a stop is asked for.
        m_busy.idle = true;
        return;
    }
    if (!m_busy.idle) {
        m_services().questioner.showMessage(kBusyMessage);
        return;
    }
    ListActions actions(*this, *this, m_services(), m_files);
    const std::optional<BatchRequest> request =
        which == ActionButton::Delete ? actions.deleteRequest()
                                      : actions.moveOrCopyRequest(which == ActionButton::Move, tag(which));
    if (!request)
        return;
    if (request->placing())
        setTag(which, request->folder);
    runBatch(which, *request);
}

namespace {

/// Ctrl as the Delete keys mean it: held for Shift+Delete, not for Delete, whatever the keyboard says.
class KeyedCtrl : public Keyboard {
public:
    explicit KeyedCtrl(bool held) : m_held(held) {}
    bool ctrlHeld() override { return m_held; }

private:
    bool m_held;
};

} // namespace

void MainListActions::deleteKey(bool permanent) {
    ActionServices services = m_services();
    if (!m_batches.empty() || !m_busy.idle) {
        services.questioner.showMessage(kBusyMessage);
        return;
    }
    KeyedCtrl ctrl(permanent);
    ListActions actions(*this, *this,
                        {services.questioner, services.clock, services.clipboard, ctrl, services.shell},
                        m_files);
    if (const std::optional<BatchRequest> request = actions.deleteRequest())
        runBatch(ActionButton::Delete, *request);
}

namespace {

/// The batch's progress as the bar and the line under it show it.
class BatchProgressShown : public ProgressSink {
public:
    BatchProgressShown(BatchAct act, std::function<void(int)> position,
                       std::function<void(const std::string&)> text)
        : m_act(act), m_position(std::move(position)), m_text(std::move(text)) {}
    void progress(const RunProgress& now) override {
        m_position(static_cast<int>(now.done));
        if (!now.item.empty())
            m_text(batchProgressText(m_act, now));
    }

private:
    BatchAct m_act;
    std::function<void(int)> m_position;
    std::function<void(const std::string&)> m_text;
};

} // namespace

void MainListActions::runBatch(ActionButton which, const BatchRequest& request) {
    Clock& clock = m_services().clock;
    const std::int64_t started = clock.tickMs();
    showState(which, ButtonState::Working);
    m_busy.idle = false;
    setProgressMaximum(static_cast<int>(request.rows.size()));
    setProgressPosition(0);
    setProgressText("");
    if (!request.placing())
        scrollToFirstRow();

    StopToken stop;
    m_batches[which] = &stop;
    BatchProgressShown shown(
        request.act, [this](int position) { setProgressPosition(position); },
        [this](const std::string& text) { setProgressText(text); });
    const RunContext context{stop, shown, [this] { pump(); }, clock};
    ListBatch batch(m_files);
    batch.setJournalFolder(m_journalFolder); // for 撤销上次操作
    const RunOutcome outcome = batch.run(request, context, *this, *this);
    m_batches.erase(which);

    setProgressPosition(0);
    setProgressText(batchSummaryText(request.act, request.rows.size(), outcome, clock.tickMs() - started) +
                    (batch.problem().empty() ? std::string() : "。" + batch.problem()));
    showState(which, ButtonState::Idle);
    m_busy.idle = true;
}

std::vector<std::size_t> MainListActions::selectedRows() {
    std::vector<std::size_t> rows;
    const QModelIndexList selected = m_parts.list->selectionModel()->selectedRows();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::size_t MainListActions::rowCount() {
    return m_parts.model->count();
}

ResultRow MainListActions::row(std::size_t index) {
    return m_parts.model->row(index);
}

void MainListActions::setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                                  const RowStamp& stamp) {
    m_parts.model->setRowPlace(index, folder, name, stamp);
}

void MainListActions::removeRow(std::size_t index) {
    m_parts.model->removeListedRow(index);
}

void MainListActions::scrollToFirstRow() {
    m_parts.list->scrollToTop();
}

void MainListActions::showState(ActionButton which, ButtonState state) {
    if (QPushButton* b = button(which))
        b->setText(qs(actionCaption(which, state)));
}

std::string MainListActions::tag(ActionButton which) {
    QPushButton* b = button(which);
    return b ? pathFromQt(b->property("tag").toString()) : std::string();
}

void MainListActions::setTag(ActionButton which, const std::string& tag) {
    if (QPushButton* b = button(which))
        b->setProperty("tag", pathToQt(tag));
}

void MainListActions::setProgressMaximum(int maximum) {
    // The bar appears with the first batch and keeps showing the last summary afterwards.
    m_parts.progressBar->show();
    m_parts.progressBar->setMaximum(std::max(maximum, 1));
}

void MainListActions::setProgressPosition(int position) {
    m_parts.progressBar->setValue(position);
}

void MainListActions::setProgressText(const std::string& text) {
    m_parts.progressText->setText(qs(text));
}

int MainListActions::askTargetExists(const std::string& target, bool& sameForRest) {
    return TargetExistsDialog::ask(qs(displayText(target)), sameForRest, m_services().questioner,
                                   m_parts.window);
}

void MainListActions::showViewer() {
    if (!m_viewer)
        m_viewer = new ViewerWindow(m_parts.window);
    m_viewer->show();
    m_viewer->raise();
}

bool MainListActions::viewerOpen() {
    return m_viewer && m_viewer->isVisible();
}

void MainListActions::setViewerContent(const std::string& text, const std::string& title) {
    if (m_viewer)
        m_viewer->setContent(qs(text), qs(title));
}

void MainListActions::setViewerBinary(const std::string& path, bool image, const std::string& description,
                                      const std::string& title) {
    if (m_viewer)
        m_viewer->setBinary(path, image, qs(description), qs(title));
}

void MainListActions::pump() {
    m_pump();
}

void MainListActions::sleepMs(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

} // namespace karv
