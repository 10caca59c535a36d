#include "gui/FitScrollArea.h"

#include <QLayout>
#include <QVBoxLayout>

namespace karv {

namespace {

// The size a widget asks for, within the bounds set on it (a fixed width is the width it gets).
QSize bounded(const QWidget* widget, QSize size) {
    return size.expandedTo(widget->minimumSize()).boundedTo(widget->maximumSize());
}

} // namespace

FitScrollArea::FitScrollArea(QWidget* content, QWidget* parent, bool keepMinimum)
    : QScrollArea(parent), m_keepMinimum(keepMinimum) {
    setFrameShape(QFrame::NoFrame);
    // Only a carrier: the keyboard's focus goes to the controls inside, never to the area.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    // The window's own background, not the darker one scroll areas paint behind their content.
    setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(false);
    setWidget(content);
    content->setAutoFillBackground(false);
}

QSize FitScrollArea::sizeHint() const {
    // QScrollArea caps its hint at a few dozen lines of text; this one asks for all its content.
    return widget() != nullptr ? bounded(widget(), widget()->sizeHint()) : QScrollArea::sizeHint();
}

QSize FitScrollArea::minimumSizeHint() const {
    if (m_keepMinimum && widget() != nullptr)
        return bounded(widget(), widget()->minimumSizeHint());
    return QScrollArea::minimumSizeHint();
}

void scrollWhenSmall(QWidget* window) {
    QLayout* layout = window->layout();
    if (layout == nullptr)
        return;
    // Made inside the window first: controls moved within their window keep their focus chain.
    auto* area = new FitScrollArea(new QWidget, window, true);
    QWidget* content = area->widget();
    content->setLayout(layout); // takes the layout from the window, and its controls with it
    auto* fill = new QVBoxLayout(window);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(area);
}

} // namespace karv
