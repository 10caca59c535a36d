#include "gui/DateTimeFieldEditor.h"

#include "desktop/Desktop.h"
#include "gui/DateTimeBox.h"

#include <algorithm>
#include <optional>

#include <QDate>
#include <QLineEdit>

namespace karv {

namespace {

struct PartSpan {
    int start;
    int length;
    int low; // range; the year's upper end is the current year
    int high;
};

// Index 0 stands for "no part".
constexpr PartSpan kParts[7] = {
    {0, 0, 0, 0},   {0, 4, DateTimeFieldEditor::kFirstYear, 0},
    {5, 2, 1, 12},  {8, 2, 1, 31},
    {11, 2, 0, 23}, {14, 2, 0, 59},
    {17, 2, 0, 59},
};

} // namespace

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
        const PartSpan& span = kParts[part];
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
    const PartSpan& span = kParts[part];
    if (span.start > edit->text().size())
        return; // a text cut short has no such part
    edit->setSelection(span.start, span.length);
    // The text may be shorter than the form; keep what the line edit actually selected.
    const int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int selLength = static_cast<int>(edit->selectedText().size());

    if (!step && !typed) {
        // Picking a part again starts a year entry anew.
        m_yearDigits.clear();
        if (m_lastTypedPart == 0)
            m_lastTypedPart = part;
        return;
    }

    const QString selected = edit->selectedText();
    const int currentYear = m_currentYear();
    const int low = span.low;
    const int high = part == 1 ? currentYear : span.high;
    int value = 0;
    std::optional<int> fallback;
    bool yearDone = false;

    if (step) {
        value = selected.toInt() + (up ? 1 : -1);
        if (part == 1)
            m_yearDigits.clear();
    } else {
        const std::int64_t now = m_clock.tickMs();
        const bool continued =
            part == m_lastTypedPart && (!m_anyTyped || now - m_lastTypedTick < kTypingWindowMs);
        if (part == 1) {
            value = typedYear(digit, continued);
            yearDone = true;
            if (value == 0) {
                // A year is complete only with its fourth digit; until then it keeps its value.
                m_lastTypedPart = part;
                m_lastTypedTick = now;
                m_anyTyped = true;
                edit->setSelection(selStart, selLength);
                return;
            }
        } else if (continued) {
            value = (selected + QString::number(digit)).toInt();
            fallback = digit;
        } else {
            value = digit;
        }
        m_lastTypedPart = part;
        m_lastTypedTick = now;
        m_anyTyped = true;
    }

    if (part == 1) {
        if (yearDone)
            value = std::clamp(value, low, high);
        else if (value > high)
            value = low;
        else if (value < low)
            value = high;
    } else if (value < low || value > high) {
        // The new digit alone, when it is a valid value; a 0 for the month or the day is not, and
        // wraps like a fresh 0 instead of leaving "00" behind.
        if (fallback && *fallback >= low && *fallback <= high)
            value = *fallback;
        else if (fallback)
            value = *fallback < low ? high : low;
        else
            value = value < low ? high : low;
    }

    const QString written =
        part == 1 ? QString::number(value) : QString::number(value).rightJustified(2, '0');
    edit->setSelection(selStart, selLength);
    edit->insert(written);
    edit->setSelection(selStart, selLength);
}

int DateTimeFieldEditor::typedYear(int digit, bool continued) {
    if (!continued || m_yearDigits.size() >= 4)
        m_yearDigits.clear();
    m_yearDigits += QString::number(digit);
    if (m_yearDigits.size() < 4)
        return 0;
    const int year = m_yearDigits.toInt();
    m_yearDigits.clear();
    return year;
}

} // namespace karv
