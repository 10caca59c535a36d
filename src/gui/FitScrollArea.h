#pragma once

#include <QScrollArea>

namespace karv {

/// A frameless scroll area as large as its content wants to be. Where it gets that room it looks
/// like the content alone; given less (a window smaller than its minimum, as tiling window managers
/// and displays without one make it), it scrolls instead of laying controls over each other.
class FitScrollArea : public QScrollArea {
    Q_OBJECT
public:
    /// `keepMinimum`: the content's minimum stays this area's minimum, so a window manager that
    /// honours minimum sizes keeps the window as large as before; scrolling only starts below it.
    FitScrollArea(QWidget* content, QWidget* parent, bool keepMinimum);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    bool m_keepMinimum;
};

/// Moves `window`'s layout, with the controls it holds, into a FitScrollArea (keeping the minimum)
/// that fills the window. The controls keep their names, their order and their focus chain.
void scrollWhenSmall(QWidget* window);

} // namespace karv
