#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QObject>

class QAbstractItemView;
class QAction;
class QMenu;
class QPoint;

namespace karv {

class ResultListModel;

/// The result list's context menu (Shift + right click, or the menu key): 定位 and the selection
/// helpers for duplicate clean-up: every row but the kept member of each group, the
/// selection inverted, the rows under a chosen folder.
class ResultListMenu : public QObject {
    Q_OBJECT
public:
    using FolderChooser = std::function<std::string(std::string_view prompt, const std::string& initial)>;

    ResultListMenu(QAbstractItemView* list, ResultListModel* model, std::function<void()> locate,
                   FolderChooser chooseFolder);

    QMenu* menu() const { return m_menu; }
    /// Opens the menu at `point` of the list's viewport; 定位 only over a row.
    void showAt(const QPoint& point);

    /// Selects the rows of every duplicate group except each group's kept member.
    void selectAllButKept();
    void invertSelection();
    /// Asks for a folder and selects the rows of the files under it (at any depth).
    void selectUnderChosenFolder();
    void selectUnderFolder(const std::string& folder);

private:
    /// Makes the rows for which `wanted` holds the selection, in runs of adjacent rows.
    void selectWhere(const std::function<bool(std::size_t)>& wanted);

    QAbstractItemView* m_list;
    ResultListModel* m_model;
    FolderChooser m_chooseFolder;
    QMenu* m_menu = nullptr;
    QAction* m_locate = nullptr;
    std::string m_lastFolder;
};

} // namespace karv
