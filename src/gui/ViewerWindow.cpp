#include "gui/ViewerWindow.h"

#include "files/FileFacts.h"
#include "gui/WidgetBuilder.h"

#include <algorithm>

#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>

namespace karv {

namespace {

/// The picture in the file, or a null one. Opened as the loader opens files, so a path deeper than
/// the kernel's limit is read too.
QPixmap readPicture(const std::string& path) {
    const int fd = openForReading(path);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    QImageReader reader(&file);
    reader.setAutoTransform(true); // photos stand as they were taken
    return QPixmap::fromImage(reader.read());
}

} // namespace

ViewerWindow::ViewerWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("查看窗口"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_text = ui::named(new QPlainTextEdit(this), "编辑框");
    m_caption = ui::named(new QLabel(this), "标签图片说明");
    m_image = ui::named(new QLabel(this), "图片框");
    m_image->setAccessibleName(ui::u8("图片"));
    m_image->setAlignment(Qt::AlignCenter);
    m_caption->hide();
    m_image->hide();
    resize(640, 480);
}

void ViewerWindow::setContent(const QString& text, const QString& title) {
    m_picture = QPixmap();
    m_image->clear();
    m_caption->hide();
    m_image->hide();
    m_text->show();
    m_text->setPlainText(text);
    setWindowTitle(title);
    layOut();
}

void ViewerWindow::setBinary(const std::string& path, bool image, const QString& description,
                             const QString& title) {
    const QPixmap picture = image ? readPicture(path) : QPixmap();
    if (picture.isNull()) {
        setContent(description, title);
        return;
    }
    m_picture = picture;
    m_text->clear();
    m_text->hide();
    m_caption->setText(description + ui::u8("，") + QString::number(picture.width()) + ui::u8("×") +
                       QString::number(picture.height()) + ui::u8(" 像素"));
    m_caption->show();
    m_image->show();
    setWindowTitle(title);
    layOut();
}

void ViewerWindow::layOut() {
    if (m_picture.isNull()) {
        m_text->setGeometry(0, 0, width(), height());
        return;
    }
    const int captionHeight = m_caption->sizeHint().height() + 8;
    m_caption->setGeometry(6, 0, std::max(width() - 12, 1), captionHeight);
    m_image->setGeometry(0, captionHeight, width(), std::max(height() - captionHeight, 1));
    // Scaled down to fit, never up: a small icon keeps its pixels.
    const QSize box = m_image->size();
    m_image->setPixmap(m_picture.width() <= box.width() && m_picture.height() <= box.height()
                           ? m_picture
                           : m_picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void ViewerWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

} // namespace karv
