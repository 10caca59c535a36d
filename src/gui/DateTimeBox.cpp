#include "gui/DateTimeBox.h"

#include "values/DateTimeText.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QWheelEvent>

namespace karv {

DateTimeBox::DateTimeBox(const QString& text, QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText(text);
    lineEdit()->installEventFilter(this);
    // The line edit would insert dropped text anywhere; the box itself takes a dropped date-time
    // whole (takeText), and a dropped file goes on to the window.
    lineEdit()->setAcceptDrops(false);
    setAcceptDrops(true);
    // The edit menu's Delete or Undo would break the fixed form.
    setContextMenuPolicy(Qt::NoContextMenu);
    lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
}

void DateTimeBox::setText(const QString& text) {
    lineEdit()->setText(text);
}

bool DateTimeBox::takeText(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    const QString candidate = text.trimmed();
    // The form alone would let "2014-02-31 25:00:00" through; the reader knows the calendar.
    if (isReadOnly() || !form.match(candidate).hasMatch() || !parseDateTimeText(candidate.toStdString()))
        return false;
    lineEdit()->setText(candidate);
    return true;
}

namespace {

/// Text that a drag carries as text, not as files.
bool carriesPlainText(const QMimeData* mime) {
    return mime != nullptr && mime->hasText() && !mime->hasUrls();
}

} // namespace

void DateTimeBox::dragEnterEvent(QDragEnterEvent* event) {
    if (carriesPlainText(event->mimeData()) && !isReadOnly())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DateTimeBox::dragMoveEvent(QDragMoveEvent* event) {
    if (carriesPlainText(event->mimeData()) && !isReadOnly())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DateTimeBox::dropEvent(QDropEvent* event) {
    if (carriesPlainText(event->mimeData()) && takeText(event->mimeData()->text()))
        event->acceptProposedAction();
    else
        event->ignore();
}

QSize DateTimeBox::sizeHint() const {
    ensurePolished();
    const QFontMetrics metrics(font());
    const QSize content(metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 8,
                        lineEdit()->sizeHint().height());
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}

QSize DateTimeBox::minimumSizeHint() const {
    return sizeHint();
}

void DateTimeBox::stepBy(int steps) {
    // Only the spin buttons get here: keys and the wheel are reported before the base class would
    // turn them into steps.
    if (steps != 0)
        emit spinPressed(steps > 0 ? 1 : -1);
}

QAbstractSpinBox::StepEnabled DateTimeBox::stepEnabled() const {
    return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

bool DateTimeBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        // The X11 selection paste of the middle button, under the paste rule.
        const QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection())
            takeText(clipboard->text(QClipboard::Selection));
        return true;
    }
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease) {
        // The line edit finishes its own click handling first (it may drop a selection); only then
        // is the part under the caret selected.
        watched->event(event);
        emit clickReleased();
        return true;
    }
    return QAbstractSpinBox::eventFilter(watched, event);
}

void DateTimeBox::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (keypad || command)
            break;
        emit keyPressed(key);
        event->accept();
        return;
    case Qt::Key_Minus:
    case Qt::Key_Slash:
    case Qt::Key_Period:
    case Qt::Key_Space:
    case Qt::Key_Colon:
        // The separators of the form move on to the next part; inserted, they would break it.
        if (!keypad && !command)
            emit keyPressed(key);
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Home:
    case Qt::Key_End:
        QAbstractSpinBox::keyPressEvent(event);
        return;
    default:
        break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9 && !command) {
        // Digits of the numeric keypad are not part edits; they are swallowed rather than inserted,
        // which would break the fixed form of the text.
        if (!keypad)
            emit keyPressed(key);
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        // A paste replaces the whole value, and only with a whole date-time.
        takeText(QGuiApplication::clipboard()->text());
        event->accept();
        return;
    }
    if (command && (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll))) {
        QAbstractSpinBox::keyPressEvent(event);
        return;
    }
    // Every other key (letters, Backspace, Delete, Page Up/Down) would only damage the fixed form.
    event->accept();
}

void DateTimeBox::wheelEvent(QWheelEvent* event) {
    const int distance = event->angleDelta().y();
    if (distance != 0)
        emit wheelTurned(distance);
    event->accept();
}

} // namespace karv
