#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace karv {

/// The viewer beside the main window: one text box filling the window, the file's text in it and
/// its encoding and name in the title.
class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget* owner);
    void setContent(const QString& text, const QString& title);
    QPlainTextEdit* textBox() const { return m_text; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPlainTextEdit* m_text = nullptr;
};

} // namespace karv
