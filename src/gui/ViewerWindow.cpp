#include "gui/ViewerWindow.h"

#include "gui/WidgetBuilder.h"

#include <QPlainTextEdit>

namespace karv {

ViewerWindow::ViewerWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("查看窗口"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_text = ui::named(new QPlainTextEdit(this), "编辑框");
    resize(640, 480);
}

void ViewerWindow::setContent(const QString& text, const QString& title) {
    m_text->setPlainText(text);
    setWindowTitle(title);
}

void ViewerWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_text->setGeometry(0, 0, width(), height());
}

} // namespace karv
