#include "values/DateTimeText.h"

namespace karv {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil-days algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kZeroDateDays = daysFromCivil(1899, 12, 30);

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

// Reads 1..maxDigits decimal digits at pos.
bool readNumber(std::string_view text, std::size_t& pos, int maxDigits, int& out) {
    const std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           pos - start < static_cast<std::size_t>(maxDigits)) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == start || (pos < text.size() && text[pos] >= '0' && text[pos] <= '9'))
        return false;
    out = value;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// "H:m" or "H:m:s" from pos to the end of the text.
bool readTime(std::string_view text, std::size_t pos, DateTime& value) {
    if (!readNumber(text, pos, 2, value.hour) || pos >= text.size() || text[pos] != ':')
        return false;
    ++pos;
    if (!readNumber(text, pos, 2, value.minute))
        return false;
    value.second = 0;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!readNumber(text, pos, 2, value.second))
            return false;
    }
    return pos == text.size() && value.hour <= 23 && value.minute <= 59 && value.second <= 59;
}

} // namespace

std::optional<DateTime> parseDateTimeText(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;

    DateTime value;
    std::size_t pos = 0;
    if (text.find_first_of("-/.") == std::string_view::npos) {
        // A time of day alone stands on the zero date.
        value.year = 1899;
        value.month = 12;
        value.day = 30;
        if (!readTime(text, 0, value))
            return std::nullopt;
        return value;
    }
    if (!readNumber(text, pos, 5, value.year) || pos >= text.size())
        return std::nullopt;
    const char separator = text[pos];
    if (separator != '-' && separator != '/' && separator != '.')
        return std::nullopt;
    ++pos;
    if (!readNumber(text, pos, 2, value.month) || pos >= text.size() || text[pos] != separator)
        return std::nullopt;
    ++pos;
    if (!readNumber(text, pos, 2, value.day))
        return std::nullopt;
    if (value.month < 1 || value.month > 12 || value.day < 1 ||
        value.day > daysInMonth(value.year, value.month))
        return std::nullopt;
    if (pos == text.size())
        return value;
    if (!isBlank(text[pos]) && text[pos] != 'T')
        return std::nullopt;
    while (pos < text.size() && (isBlank(text[pos]) || text[pos] == 'T'))
        ++pos;
    if (!readTime(text, pos, value))
        return std::nullopt;
    return value;
}

DateTimeSeconds dateTimeSeconds(const DateTime& value) {
    const std::int64_t days =
        daysFromCivil(value.year, static_cast<unsigned>(value.month), static_cast<unsigned>(value.day)) -
        kZeroDateDays;
    return days * 86400 + value.hour * 3600 + value.minute * 60 + value.second;
}

} // namespace karv
