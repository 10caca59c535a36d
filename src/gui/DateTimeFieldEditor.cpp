#include "gui/DateTimeFieldEditor.h"

#include "desktop/Desktop.h"
#include "gui/DateTimeBox.h"
#include "values/DateTimeTyping.h"

#include <optional>

#include <QDate>
#include <QLineEdit>

namespace karv {

DateTimeFieldEditor::DateTimeFieldEditor(Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_currentYear([] { return QDate::currentDate().year(); }) {}

void DateTimeFieldEditor::attach(DateTimeBox* box) {
    if (m_box != nullptr)
        disconnect(m_box, nullptr, this, nullptr);
    m_box = box;
    if (box == nullptr)
        return;
    box->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    box->setFrame(true);
    // Input methods would insert composed text behind the editor's back.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->edit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(box, &DateTimeBox::clickReleased, this, &DateTimeFieldEditor::selectPartAtCaret);
    connect(box, &DateTimeBox::keyPressed, this, &DateTimeFieldEditor::onKey);
    connect(box, &DateTimeBox::spinPressed, this, &DateTimeFieldEditor::onSpin);
    connect(box, &DateTimeBox::wheelTurned, this, &DateTimeFieldEditor::onWheel);
}

int DateTimeFieldEditor::partAtCaret() const {
    if (m_box == nullptr)
        return 0;
    const QLineEdit* edit = m_box->edit();
    const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    for (int part = 1; part <= 6; ++part) {
        const DateTimePart& span = dateTimePart(part);
        if (caret >= span.start && caret <= span.start + span.length)
            return part;
    }
    return 0;
}

void DateTimeFieldEditor::selectPartAtCaret() {
    editPart(partAtCaret(), false, false, 0, false);
}

void DateTimeFieldEditor::onKey(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        int part = partAtCaret() + (key == Qt::Key_Left ? -1 : 1);
        if (part < 1)
            part = 6;
        else if (part > 6)
            part = 1;
        editPart(part, false, false, 0, false);
        return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        editPart(partAtCaret(), key == Qt::Key_Up, true, 0, false);
        return;
    case Qt::Key_Minus:
    case Qt::Key_Slash:
    case Qt::Key_Period:
    case Qt::Key_Space:
    case Qt::Key_Colon:
        // A separator typed after a part goes on to the next one, so a whole date-time can be typed
        // as it reads.
        onKey(Qt::Key_Right);
        return;
    default:
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            editPart(partAtCaret(), false, false, key - Qt::Key_0, true);
        return;
    }
}

void DateTimeFieldEditor::onSpin(int direction) {
    editPart(partAtCaret(), direction == 1, true, 0, false);
}

void DateTimeFieldEditor::onWheel(int distance) {
    onKey(distance > 0 ? Qt::Key_Left : Qt::Key_Right);
}

void DateTimeFieldEditor::editPart(int part, bool up, bool step, int digit, bool typed) {
    if (m_box == nullptr || part < 1 || part > 6)
        return;
    QLineEdit* edit = m_box->edit();
    const DateTimePart& span = dateTimePart(part);
    if (span.start > edit->text().size())
        return; // a text cut short has no such part
    edit->setSelection(span.start, span.length);
    // The text may be shorter than the form; keep what the line edit actually selected.
    const int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int selLength = static_cast<int>(edit->selectedText().size());

    if (!step && !typed) {
        m_typing.picked(part);
        return;
    }

    const int shown = edit->selectedText().toInt();
    const int currentYear = m_currentYear();
    std::optional<int> value;
    if (step) {
        m_typing.stepped();
        value = wrapPartValue(part, shown + (up ? 1 : -1), currentYear);
    } else {
        value = m_typing.type(part, shown, digit, m_clock.tickMs(), currentYear);
    }
    if (value) {
        const QString written =
            part == 1 ? QString::number(*value) : QString::number(*value).rightJustified(2, '0');
        edit->setSelection(selStart, selLength);
        edit->insert(written);
    }
    edit->setSelection(selStart, selLength);
}

} // namespace karv
