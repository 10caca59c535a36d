#pragma once

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QStringList>
#include <QWidget>

namespace karv::test {

/// Lets a resize take its full effect: scroll areas show or hide their bars in queued steps.
inline void settle() {
    for (int step = 0; step < 4; ++step)
        QCoreApplication::processEvents();
}

/// The controls a person sees in `window`: buttons, labels, edit boxes, lists, combo and spin boxes,
/// progress bars. The parts inside one (a combo box's edit, a list's header) belong to it; a scroll
/// area that only carries other controls is no control itself. `ignored`: names left out.
inline QList<QWidget*> visibleControls(QWidget* window, const QStringList& ignored = {}) {
    QList<QWidget*> controls;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLabel*>(widget) ||
            qobject_cast<QLineEdit*>(widget) ||
            (qobject_cast<QAbstractScrollArea*>(widget) && !qobject_cast<QScrollArea*>(widget)) ||
            qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
            qobject_cast<QProgressBar*>(widget);
        if (control && widget->window() == window && !ignored.contains(widget->objectName()))
            controls << widget;
    }
    controls.removeIf([&controls, window](QWidget* widget) {
        if (!widget->isVisibleTo(window))
            return true;
        for (QWidget* up = widget->parentWidget(); up != nullptr && up != window; up = up->parentWidget())
            if (controls.contains(up))
                return true;
        return false;
    });
    return controls;
}

/// The part of `widget` that shows in its window: its rectangle cut by every widget around it (a
/// scroll area's viewport, the window's edge). Empty when it is scrolled or cut out of sight.
inline QRect shownRect(const QWidget* widget) {
    const QWidget* window = widget->window();
    QRect shown(widget->mapTo(window, QPoint(0, 0)), widget->size());
    for (const QWidget* up = widget->parentWidget(); up != nullptr; up = up->parentWidget())
        shown &= QRect(up->mapTo(window, QPoint(0, 0)), up->size());
    return shown;
}

/// "a / b" for every two controls of `window` whose shown parts overlap, at the window's size now.
inline QStringList overlappingControls(QWidget* window, const QStringList& ignored = {}) {
    settle();
    QStringList overlaps;
    QList<std::pair<QRect, QWidget*>> shown;
    for (QWidget* control : visibleControls(window, ignored)) {
        const QRect rect = shownRect(control);
        if (rect.isEmpty())
            continue;
        for (const auto& [other, otherControl] : shown)
            if (rect.intersects(other))
                overlaps << control->objectName() + " / " + otherControl->objectName();
        shown.push_back({rect, control});
    }
    return overlaps;
}

/// The least room a layout gives `widget` when it has enough: its minimum size, or else what its
/// size policy makes of its size hints.
inline QSize leastRoom(const QWidget* widget) {
    const QSizePolicy policy = widget->sizePolicy();
    auto least = [](int minimum, QSizePolicy::Policy p, int hint, int minimumHint) {
        if (minimum > 0)
            return minimum;
        if (p == QSizePolicy::Ignored)
            return 0;
        return (p & QSizePolicy::ShrinkFlag) ? minimumHint : std::max(hint, minimumHint);
    };
    const QSize hint = widget->sizeHint();
    const QSize minimumHint = widget->minimumSizeHint();
    return QSize(
        least(widget->minimumWidth(), policy.horizontalPolicy(), hint.width(), minimumHint.width()),
        least(widget->minimumHeight(), policy.verticalPolicy(), hint.height(), minimumHint.height()));
}

/// The buttons, labels and edit boxes of `window` squeezed below their least room: captions and
/// texts cut, even where nothing overlaps.
inline QStringList crushedControls(QWidget* window, const QStringList& ignored = {}) {
    settle();
    QStringList crushed;
    for (QWidget* control : visibleControls(window, ignored)) {
        if (!qobject_cast<QAbstractButton*>(control) && !qobject_cast<QLabel*>(control) &&
            !qobject_cast<QLineEdit*>(control) && !qobject_cast<QComboBox*>(control))
            continue;
        const QSize least = leastRoom(control);
        if (control->width() < least.width() || control->height() < least.height())
            crushed << control->objectName();
    }
    return crushed;
}

/// Resizes `window` as a tiling window manager or a display without one does: to exactly `size`,
/// whatever minimum the window asks for.
inline void forceSize(QWidget* window, QSize size) {
    window->setMinimumSize(1, 1);
    window->resize(size);
    settle();
}

} // namespace karv::test
