// Typed-box readers and the wildcard conversion: numbers, length bounds, date-times and wildcard
// texts from arbitrary bytes.
#include "filter/FilterValues.h"
#include "text/Matching.h"
#include "text/NameText.h"
#include "text/RegexObject.h"
#include "values/DateTimeText.h"
#include "values/Numbers.h"
#include "values/ValueText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace karv;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "values fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    check(!std::isnan(leadingNumber(text)), "a number reads as NaN");
    check(!std::isnan(lengthBound(text)), "a length bound reads as NaN");

    if (const auto value = parseDateTimeText(text)) {
        check(value->month >= 1 && value->month <= 12 && value->day >= 1 && value->day <= 31,
              "impossible date");
        check(value->hour >= 0 && value->hour <= 23 && value->minute >= 0 && value->minute <= 59 &&
                  value->second >= 0 && value->second <= 59,
              "impossible time");
        // What the list shows must read back as the same date-time.
        check(parseDateTimeText(dateTimeText(*value, DateTimeMode::Both)) == value,
              "date-time does not round-trip");
        (void)dateTimeSeconds(*value);
    }
    for (const DateTimeMode mode : {DateTimeMode::Both, DateTimeMode::DateOnly, DateTimeMode::TimeOnly}) {
        const DateTimeSeconds seconds = comparableBoxTime(text, mode);
        // Clamped to 0100-01-01 .. 9999-12-31 23:59:59.
        check(seconds >= -657434LL * 86400 && seconds < 2958466LL * 86400, "box time outside the clamp");
    }

    // A wildcard text always becomes an expression that compiles; without wildcard characters it
    // finds itself.
    if (isValidUtf8(text)) {
        RegexObject wildcard;
        check(wildcard.compile(wildcardToPattern(text), true, true, false),
              "wildcard pattern does not compile");
        if (!text.empty() && text.find_first_of("*?|") == std::string_view::npos)
            check(wildcard.execute(text) == 1, "a plain wildcard text does not find itself");
    }
    return 0;
}
