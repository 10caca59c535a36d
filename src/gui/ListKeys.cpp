#include "gui/ListKeys.h"

#include "gui/MainListActions.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QPushButton>

namespace karv {

ListKeys::ListKeys(QAbstractItemView* list, MainListActions& actions, QAbstractButton* selectAll)
    : QObject(list), m_list(list), m_actions(actions), m_selectAll(selectAll) {
    list->installEventFilter(this);
}

ListKeys::Key ListKeys::keyOf(const QEvent* event) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    // The keypad's Enter and Delete count as the main ones.
    const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
    // Before the standard sequences: on X11 Shift+Delete is also "cut".
    if (key->key() == Qt::Key_Delete && (held == Qt::NoModifier || held == Qt::ShiftModifier))
        return held == Qt::ShiftModifier ? Key::Remove : Key::Trash;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && held == Qt::NoModifier)
        return Key::Open;
    if (key->matches(QKeySequence::SelectAll))
        return Key::SelectAll;
    if (key->matches(QKeySequence::Copy))
        return Key::CopyPaths;
    return Key::None;
}

bool ListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QObject::eventFilter(watched, event);
    const Key key = keyOf(event);
    if (key == Key::None)
        return QObject::eventFilter(watched, event);
    // Ours while the list has the focus: no shortcut of the window takes them first.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    switch (key) {
    case Key::Trash:
    case Key::Remove:
        m_actions.deleteKey(key == Key::Remove);
        break;
    case Key::Open:
        m_actions.button(ActionButton::Open)->click();
        break;
    case Key::SelectAll:
        m_selectAll->click();
        break;
    case Key::CopyPaths:
        m_actions.button(ActionButton::CopyPaths)->click();
        break;
    case Key::None:
        break;
    }
    return true;
}

} // namespace karv
