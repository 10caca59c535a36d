#include "gui/ResultListMenu.h"

#include "gui/ResultListModel.h"
#include "gui/WidgetBuilder.h"

#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QMenu>

namespace karv {

using namespace ui;

namespace {

QAction* addItem(QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(u8(caption));
    action->setObjectName(u8(name));
    return action;
}

} // namespace

ResultListMenu::ResultListMenu(QAbstractItemView* list, ResultListModel* model, std::function<void()> locate,
                               FolderChooser chooseFolder)
    : QObject(list), m_list(list), m_model(model), m_chooseFolder(std::move(chooseFolder)) {
    m_menu = named(new QMenu(list), "菜单结果列表");
    m_locate = addItem(m_menu, "菜单定位", "定位");
    m_menu->setDefaultAction(m_locate);
    m_menu->addSeparator();
    QAction* allButKept = addItem(m_menu, "菜单选择除保留外", "选择每组除保留外的文件");
    QAction* invert = addItem(m_menu, "菜单反向选择", "反向选择");
    QAction* underFolder = addItem(m_menu, "菜单选择目录下", "选择目录下的文件…");
    connect(m_locate, &QAction::triggered, this, std::move(locate));
    connect(allButKept, &QAction::triggered, this, &ResultListMenu::selectAllButKept);
    connect(invert, &QAction::triggered, this, &ResultListMenu::invertSelection);
    connect(underFolder, &QAction::triggered, this, &ResultListMenu::selectUnderChosenFolder);
}

void ResultListMenu::showAt(const QPoint& point) {
    m_locate->setEnabled(m_list->indexAt(point).isValid());
    m_menu->popup(m_list->viewport()->mapToGlobal(point));
}

void ResultListMenu::selectWhere(const std::function<bool(std::size_t)>& wanted) {
    m_model->flush();
    const std::size_t rows = m_model->count();
    const int lastColumn = ResultListModel::ColumnCount - 1;
    QItemSelection selection;
    std::size_t index = 0;
    while (index < rows) {
        if (!wanted(index)) {
            ++index;
            continue;
        }
        const std::size_t first = index;
        while (index < rows && wanted(index))
            ++index;
        selection.select(m_model->index(static_cast<int>(first), 0),
                         m_model->index(static_cast<int>(index - 1), lastColumn));
    }
    // Cleared first: replacing a selection of many ranges compares every old range with every new one.
    m_list->selectionModel()->clearSelection();
    m_list->selectionModel()->select(selection, QItemSelectionModel::Select);
    m_list->setFocus();
}

void ResultListMenu::selectAllButKept() {
    selectWhere([this](std::size_t row) { return m_model->rowGroup(row) != 0 && !m_model->rowKept(row); });
}

void ResultListMenu::invertSelection() {
    m_model->flush();
    // Read from the ranges once: asking row by row walks every range for every row.
    std::vector<bool> selected(m_model->count(), false);
    for (const QItemSelectionRange& range : m_list->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            selected[static_cast<std::size_t>(row)] = true;
    selectWhere([&selected](std::size_t row) { return !selected[row]; });
}

void ResultListMenu::selectUnderChosenFolder() {
    const std::string folder = m_chooseFolder("选择目录，选中其下的文件：", m_lastFolder);
    if (folder.empty())
        return;
    m_lastFolder = folder;
    selectUnderFolder(folder);
}

void ResultListMenu::selectUnderFolder(const std::string& folder) {
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    selectWhere([this, &prefix](std::size_t row) { return m_model->rowPath(row).rfind(prefix, 0) == 0; });
}

} // namespace karv
