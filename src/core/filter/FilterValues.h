#pragma once

#include "values/DateTimeText.h"
#include "values/ValueText.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace karv {

/// A length bound as typed: read leniently (text that is not a number is 0) and kept in single
/// precision, as the bound boxes hold it. A value beyond the single-precision range saturates to
/// an infinite bound rather than wrapping into nonsense.
float lengthBound(std::string_view text);

/// What one unit of the length bounds stands for: bytes per B/KB/MB/GB/TB for sizes, 1/10/100/
/// 1000/10000 for character counts; file-name lengths have no unit. `unit` is the radio index 0..4
/// (clamped).
double lengthFactor(bool characterUnits, int unit);

/// Both bounds inclusive, with the small tolerance of the comparisons: value - from*factor >= -1e-7
/// and value - to*factor <= 1e-7, in double precision.
bool lengthInRange(double value, float from, float to, double factor);

/// The value the time filter compares: the date-time reduced to the parts the mode keeps (date
/// only: time 00:00:00; time only: date 2000-01-01), then clamped to 0100-01-01 .. 9999-12-31.
DateTimeSeconds comparableTime(const DateTime& value, DateTimeMode mode);

/// A time box's text as the filter reads it: text that is not a date-time is the zero date.
DateTimeSeconds comparableBoxTime(std::string_view text, DateTimeMode mode);

} // namespace karv
