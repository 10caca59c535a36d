#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace karv {

/// The six parts of a time box's "yyyy-MM-dd HH:mm:ss" text: 1 year, 2 month, 3 day, 4 hour,
/// 5 minute, 6 second (0 stands for none).
struct DateTimePart {
    int start;
    int length;
    int low;  ///< the lowest value
    int high; ///< the highest value; 0 for the year, whose top is the current year
};

inline constexpr int kFirstTypedYear = 1946;

/// The span and range of part 1..6; part 0 (none) for anything else.
const DateTimePart& dateTimePart(int part);

/// What digit keys do to the parts of one time box. A digit that follows another in the same part
/// within five seconds continues it: two digits make a month, day, hour, minute or second (a
/// combination out of range keeps the new digit alone), and four make a year, which stands when it
/// lies in 1946..the current year and otherwise follows the year's range rule (`wrapPartValue`).
/// A fresh digit starts the part anew.
class DateTimeTyping {
public:
    static constexpr std::int64_t kTypingWindowMs = 5000;

    /// The value a digit typed into `part` at `tickMs` gives, with `shown` the value the part shows
    /// and `currentYear` the year of today's date. Empty while a year still lacks digits: the
    /// part keeps its value until the fourth.
    std::optional<int> type(int part, int shown, int digit, std::int64_t tickMs, int currentYear);
    /// A part was picked (mouse, arrows): a year entry starts anew; the first pick names the part
    /// the typing starts in.
    void picked(int part);
    /// A part was stepped up or down: a year entry starts anew.
    void stepped() { m_yearDigits.clear(); }
    int lastTypedPart() const { return m_lastTypedPart; }

private:
    int m_lastTypedPart = 0;
    std::int64_t m_lastTypedTick = 0;
    bool m_anyTyped = false; // a tick of 0 is a real tick under a test clock
    std::string m_yearDigits;
};

/// A stepped or otherwise out-of-range value of `part` brought back into its range: below the range
/// it becomes the top, above it the bottom (the year's top is `currentYear`).
int wrapPartValue(int part, int value, int currentYear);

} // namespace karv
