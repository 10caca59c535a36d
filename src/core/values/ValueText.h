#pragma once

#include "values/PathParts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// A broken-down local date and time, as the time boxes and the result list show it.
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const DateTime&) const = default;
};

/// Which parts of a date-time a text shows: both, the date only, or the time of day only.
enum class DateTimeMode { Both = 0, DateOnly = 1, TimeOnly = 2 };

/// "1.5 KB", "1023 B", "1024 KB": the size in the largest unit it reaches, two decimals at most.
std::string sizeText(std::uint64_t size);

/// "2014-03-01 09:05:07" (or only its date or time part); one-digit parts get a leading zero.
std::string dateTimeText(const DateTime& value, DateTimeMode mode);

/// Digits grouped by four from the right: 12345678 -> "1234,5678".
std::string groupedCountText(std::uint64_t count);

/// A duration in the largest unit it reaches: "999 毫秒", "1.5 秒", "1.02 分" … "1 年".
std::string elapsedText(std::int64_t milliseconds);

/// Shortest form of a number rounded to two decimals: 1.5, 2, 1023.99.
std::string twoDecimalText(double value);

/// Length of a well-formed UTF-8 sequence at `pos` (1..4, shortest form, no surrogates), 0 when
/// the bytes there do not start one, -1 when a valid start is cut off by the end of the bytes.
int utf8SequenceLength(const unsigned char* bytes, std::size_t size, std::size_t pos);

/// Byte length of the character element that starts at `pos`: one code point, CR LF counts as one
/// element, a byte that does not start a valid UTF-8 sequence is an element of its own. Returns 0
/// for an incomplete sequence at the very end of the text (it is not counted).
std::size_t characterElementLength(std::string_view text, std::size_t pos);

/// Number of character elements of a UTF-8 text.
std::uint64_t countCharacters(std::string_view text);

/// The character elements of a text, in order. `pump` runs after each element when given.
std::vector<std::string> splitCharacters(std::string_view text, const std::function<void()>& pump = {});

} // namespace karv
