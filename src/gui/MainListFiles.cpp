#include "gui/MainListFiles.h"

#include "actions/BatchTexts.h"
#include "actions/BatchUndo.h"
#include "actions/SavedLists.h"
#include "gui/ResultListModel.h"
#include "platform/QtDesktop.h"
#include "scan/FilterTexts.h"
#include "scan/RowList.h"
#include "settings/TextInput.h"

#include <QAbstractItemView>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>

namespace karv {

namespace {

/// Rows moved back by an undo, so the list names their files where they are again.
class MovedBack : public BatchUndoSink {
public:
    explicit MovedBack(ResultListModel& model) : m_model(model) {}
    void item(const BatchUndoItem& item) override {
        if (item.error != 0 || item.act != BatchAct::Move)
            return;
        for (std::size_t i = 0; i < m_model.count(); ++i) {
            if (m_model.rowPath(i) != item.from)
                continue;
            const auto slash = item.to.rfind('/');
            RowStamp stamp = m_model.row(i).stamp;
            if (const auto now = m_files.identity(item.to))
                stamp = {true,           now->device, now->inode, now->size, now->modifiedNs,
                         now->changedNs, false,       0,          0};
            m_model.setRowPlace(i, item.to.substr(0, slash + 1), item.to.substr(slash + 1), stamp);
            return;
        }
    }

private:
    ResultListModel& m_model;
    files::FileOps m_files;
};

} // namespace

MainListFiles::MainListFiles(WindowBusy& busy, std::string dataFolder, const MainListActions::Parts& parts,
                             QMenu* menu, std::function<ActionServices()> services)
    : QObject(parts.window), m_busy(busy), m_dataFolder(std::move(dataFolder)), m_parts(parts),
      m_services(std::move(services)), m_menu(menu) {
    m_menu->addSeparator();
    connect(addItem("菜单保存列表", kSaveListCaption), &QAction::triggered, this, [this] { saveList(); });
    connect(addItem("菜单载入列表", kLoadListCaption), &QAction::triggered, this, [this] {
        const std::vector<std::string> files =
            m_services().questioner.chooseFilesToOpen(kLoadListTitle, kListFileFilter);
        if (!files.empty())
            loadList(files.front());
    });
    QAction* undo = addItem("菜单撤销上次操作", kUndoBatchCaption);
    undo->setShortcut(QKeySequence::Undo);
    // On the window, so Ctrl+Z works wherever the focus is, except in a text box, which keeps its own.
    parts.window->addAction(undo);
    connect(undo, &QAction::triggered, this, [this] { undoLastBatch(); });
}

QAction* MainListFiles::addItem(const char* name, std::string_view caption) {
    QAction* action = m_menu->addAction(qs(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

void MainListFiles::showText(const std::string& text) {
    m_parts.progressBar->show();
    m_parts.progressText->setText(qs(text));
}

void MainListFiles::saveList() {
    const std::string file = m_services().questioner.chooseSaveFile(kSaveListTitle, kListFileFilter, "json");
    if (file.empty())
        return;
    // Line by line from the packed rows: a million rows unpacked at once would take hundreds of
    // megabytes besides the text.
    std::string text;
    for (std::size_t i = 0; i < m_parts.model->count(); ++i)
        text += rowListLine(m_parts.model->row(i));
    // On failure the old file, if any, stays whole.
    if (const files::Result written = m_files.writeFile(file, text); !written.ok())
        m_services().questioner.showMessage(
            listFileFailureText(file, files::reasonText(files::reasonOf(written.error)).data()));
}

bool MainListFiles::loadList(const std::string& file) {
    if (!m_busy.idle) {
        m_services().questioner.showMessage(kBusyMessage);
        return false;
    }
    std::string content, error;
    RowStore rows; // packed as they are read: a long list is never held whole as rows
    std::size_t changed = 0, vanished = 0;
    RowListError bad;
    const auto take = [&](LoadedRow&& loaded) {
        changed += loaded.state == ListedState::Changed ? 1 : 0;
        vanished += loaded.state == ListedState::Vanished ? 1 : 0;
        rows.push(std::move(loaded.row));
        if (loaded.state != ListedState::AsListed)
            rows.setMarked(rows.size() - 1);
    };
    if (!readTextInput(file, content, error) || !loadSavedList(content, m_files, take, bad)) {
        m_services().questioner.showMessage(listFileFailureText(file, error.empty() ? bad.message : error));
        return false;
    }
    const std::size_t count = rows.size();
    m_parts.model->setRows(std::move(rows));
    showText(loadedListText(count, changed, vanished));
    return true;
}

void MainListFiles::undoLastBatch() {
    if (!m_busy.idle) {
        m_services().questioner.showMessage(kBusyMessage);
        return;
    }
    if (m_dataFolder.empty()) {
        showText(std::string(kNothingToUndoBatch));
        return;
    }
    m_busy.idle = false;
    StopToken stop;
    NoProgress quiet;
    MovedBack movedBack(*m_parts.model);
    const BatchUndoResult result =
        karv::undoLastBatch({m_dataFolder, false}, m_files, {stop, quiet, {}, m_services().clock}, movedBack);
    m_busy.idle = true;
    if (result.nothingToUndo)
        showText(std::string(kNothingToUndoBatch));
    else if (!result.problem.empty())
        showText(result.problem);
    else
        showText(batchUndoSummaryText(result.outcome, false));
}

} // namespace karv
