#pragma once

#include "values/ValueText.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace karv {

/// A date-time as a count of seconds from 1899-12-30 00:00:00 (the zero date); negative before it.
using DateTimeSeconds = std::int64_t;

/// Reads a time box or a file time text. Accepts "yyyy-M-d", optionally followed by blanks and
/// "H:m" or "H:m:s" (date separators "-", "/" or "."), and a time of day alone (on the zero date).
/// Anything else, including impossible dates and times such as "2014-02-31 25:61:61", is not a
/// date-time: empty result.
std::optional<DateTime> parseDateTimeText(std::string_view text);

/// Seconds since the zero date of a broken-down date-time (proleptic Gregorian calendar).
DateTimeSeconds dateTimeSeconds(const DateTime& value);

} // namespace karv
