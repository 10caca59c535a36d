#pragma once

#include <QAbstractSpinBox>

class QLineEdit;

namespace karv {

/// An edit box with spin buttons for a "yyyy-MM-dd HH:mm:ss" text. It does not interpret the text
/// itself: it reports clicks, keys, spin buttons and the wheel, and a `DateTimeFieldEditor`
/// attached to it edits the text part by part.
class DateTimeBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit DateTimeBox(const QString& text, QWidget* parent = nullptr);

    QLineEdit* edit() const { return lineEdit(); }
    void setText(const QString& text);
    /// Takes a pasted or dropped text as the new value when it reads as a whole date-time of the
    /// box's form "yyyy-MM-dd HH:mm:ss" (blanks around it aside); anything else leaves the value
    /// as it is. Returns whether the value was taken.
    bool takeText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void stepBy(int steps) override;

signals:
    /// A mouse click in the box ended; the line edit has already placed the caret.
    void clickReleased();
    /// A key the editor handles: the arrows, and the digits and date-time separators of the main
    /// keyboard (Qt key codes).
    void keyPressed(int key);
    /// A spin button was pressed: 1 up, -1 down.
    void spinPressed(int direction);
    /// The wheel turned by a signed distance (eighths of a degree, positive away from the user).
    void wheelTurned(int distance);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    StepEnabled stepEnabled() const override;
};

} // namespace karv
