#include "values/DateTimeTyping.h"

#include <algorithm>

namespace karv {

namespace {

// Index 0 stands for "no part".
constexpr DateTimePart kParts[7] = {
    {0, 0, 0, 0},   {0, 4, kFirstTypedYear, 0}, {5, 2, 1, 12}, {8, 2, 1, 31}, {11, 2, 0, 23}, {14, 2, 0, 59},
    {17, 2, 0, 59},
};

int highOf(int part, int currentYear) {
    return part == 1 ? currentYear : kParts[part].high;
}

} // namespace

const DateTimePart& dateTimePart(int part) {
    return kParts[part >= 1 && part <= 6 ? part : 0];
}

int wrapPartValue(int part, int value, int currentYear) {
    const int low = dateTimePart(part).low;
    const int high = highOf(part, currentYear);
    if (value < low)
        return high;
    if (value > high)
        return low;
    return value;
}

void DateTimeTyping::picked(int part) {
    m_yearDigits.clear();
    if (m_lastTypedPart == 0)
        m_lastTypedPart = part;
}

std::optional<int> DateTimeTyping::type(int part, int shown, int digit, std::int64_t tickMs,
                                        int currentYear) {
    const bool continued =
        part == m_lastTypedPart && (!m_anyTyped || tickMs - m_lastTypedTick < kTypingWindowMs);
    m_lastTypedPart = part;
    m_lastTypedTick = tickMs;
    m_anyTyped = true;
    if (part == 1) {
        if (!continued || m_yearDigits.size() >= 4)
            m_yearDigits.clear();
        m_yearDigits += static_cast<char>('0' + digit);
        if (m_yearDigits.size() < 4)
            return std::nullopt;
        const int year = std::stoi(m_yearDigits);
        // Four digits out of range: the year's own rule, as for a step past either end.
        return wrapPartValue(1, year, currentYear);
    }
    if (!continued)
        return wrapPartValue(part, digit, currentYear);
    const int combined = shown * 10 + digit;
    const DateTimePart& span = dateTimePart(part);
    if (combined >= span.low && combined <= span.high)
        return combined;
    // Too large together: the new digit alone, when it is a value; a 0 for the month or the day is
    // not, and wraps like a fresh 0 instead of leaving "00" behind.
    return wrapPartValue(part, digit, currentYear);
}

} // namespace karv
