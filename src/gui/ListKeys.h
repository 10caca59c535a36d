#pragma once

#include <QObject>

class QAbstractButton;
class QAbstractItemView;

namespace karv {

class MainListActions;

/// The result list's keys, taken only while the list has the focus: Delete sends the selected
/// files to the trash and Shift+Delete deletes them for good (each after its button's question),
/// Enter opens them, Ctrl+A selects every row and Ctrl+C copies their paths, each as its button
/// does it, busy rule included.
class ListKeys : public QObject {
    Q_OBJECT
public:
    ListKeys(QAbstractItemView* list, MainListActions& actions, QAbstractButton* selectAll);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Key { None, Trash, Remove, Open, SelectAll, CopyPaths };
    static Key keyOf(const QEvent* event);

    QAbstractItemView* m_list;
    MainListActions& m_actions;
    QAbstractButton* m_selectAll;
};

} // namespace karv
