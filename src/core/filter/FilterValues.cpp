#include "filter/FilterValues.h"

#include "values/Numbers.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace karv {

namespace {

constexpr double kTolerance = 0.0000001;

constexpr std::int64_t kFirstDay = -657434; // 0100-01-01
constexpr std::int64_t kLastDay = 2958465;  // 9999-12-31

} // namespace

float lengthBound(std::string_view text) {
    const double value = leadingNumber(text);
    if (value > FLT_MAX)
        return std::numeric_limits<float>::infinity();
    if (value < -FLT_MAX)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

double lengthFactor(bool characterUnits, int unit) {
    static const double sizeFactors[] = {1.0, 1024.0, 1048576.0, 1073741824.0, 1099511627776.0};
    static const double countFactors[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
    const int index = std::clamp(unit, 0, 4);
    return characterUnits ? countFactors[index] : sizeFactors[index];
}

bool lengthInRange(double value, float from, float to, double factor) {
    return value - static_cast<double>(from) * factor >= -kTolerance &&
           value - static_cast<double>(to) * factor <= kTolerance;
}

DateTimeSeconds comparableTime(const DateTime& value, DateTimeMode mode) {
    DateTime kept = value;
    if (mode == DateTimeMode::DateOnly) {
        kept.hour = kept.minute = kept.second = 0;
    } else if (mode == DateTimeMode::TimeOnly) {
        kept.year = 2000;
        kept.month = 1;
        kept.day = 1;
    }
    return std::clamp<DateTimeSeconds>(dateTimeSeconds(kept), kFirstDay * 86400, kLastDay * 86400 + 86399);
}

DateTimeSeconds comparableBoxTime(std::string_view text, DateTimeMode mode) {
    const auto parsed = parseDateTimeText(text);
    return comparableTime(parsed ? *parsed : DateTime{1899, 12, 30, 0, 0, 0}, mode);
}

} // namespace karv
