#pragma once

#include <string>

#include <QPixmap>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace karv {

/// The viewer beside the main window: one text box filling the window, the file's text in it and
/// its encoding and name in the title. A picture is shown instead, scaled to fit, under a line
/// naming its type and size.
class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget* owner);
    void setContent(const QString& text, const QString& title);
    /// A file that is not text: a picture (`image`) is shown when it can be decoded, else only
    /// `description`, as the text.
    void setBinary(const std::string& path, bool image, const QString& description, const QString& title);
    QPlainTextEdit* textBox() const { return m_text; }
    /// The picture box: visible while a picture is shown.
    QLabel* imageBox() const { return m_image; }
    QLabel* captionBox() const { return m_caption; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOut();

    QPlainTextEdit* m_text = nullptr;
    QLabel* m_caption = nullptr;
    QLabel* m_image = nullptr;
    QPixmap m_picture; // at its own size; the box shows it scaled
};

} // namespace karv
