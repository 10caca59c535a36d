#pragma once

#include "values/DateTimeTyping.h"

#include <cstdint>
#include <functional>

#include <QObject>
#include <QPointer>

namespace karv {

class Clock;
class DateTimeBox;

/// Edits the "yyyy-MM-dd HH:mm:ss" text of one time box as six parts (1 year, 2 month, 3 day,
/// 4 hour, 5 minute, 6 second; 0 none): the mouse and the left and right arrows pick a part, the up
/// and down arrows and the spin buttons step it, the wheel moves between parts, and digit keys type
/// it. Every part stays inside its range; the day range is 1 to 31 whatever the month.
class DateTimeFieldEditor : public QObject {
    Q_OBJECT
public:
    explicit DateTimeFieldEditor(Clock& clock, QObject* parent = nullptr);

    /// Serves `box` from now on: its events are handed to this editor. The text is not changed.
    void attach(DateTimeBox* box);
    DateTimeBox* box() const { return m_box; }

    void selectPartAtCaret();
    void editPart(int part, bool up, bool step, int digit, bool typed);
    /// The part whose caret positions hold the box's selection start (the caret without one).
    int partAtCaret() const;
    /// Qt key codes: the arrows, Qt::Key_0 .. Qt::Key_9, and the separators "-", "/", ".", " " and
    /// ":", which go on to the next part as the right arrow does; other keys do nothing.
    void onKey(int key);
    /// 1 steps up, any other value down.
    void onSpin(int direction);
    /// A distance above 0 moves to the previous part, any other to the next.
    void onWheel(int distance);

    int lastTypedPart() const { return m_typing.lastTypedPart(); }
    /// The year of today's date; replaceable so that the year range does not move under a test.
    void setCurrentYearSource(std::function<int()> source) { m_currentYear = std::move(source); }

private:
    QPointer<DateTimeBox> m_box;
    Clock& m_clock;
    std::function<int()> m_currentYear;
    DateTimeTyping m_typing;
};

} // namespace karv
