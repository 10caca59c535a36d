#include "values/DateTimeTyping.h"

#include <gtest/gtest.h>

using namespace karv;

namespace {

constexpr int kThisYear = 2026;

/// Types `keys` into `part`, which shows `shown` at first: digits 1 s apart, "_" a pause of five
/// seconds. Returns what the part shows afterwards.
int typeInto(int part, int shown, const char* keys) {
    DateTimeTyping typing;
    typing.picked(part);
    std::int64_t tick = 100000;
    for (const char* key = keys; *key != '\0'; ++key) {
        tick += *key == '_' ? DateTimeTyping::kTypingWindowMs : 1000;
        if (*key == '_')
            continue;
        if (const auto value = typing.type(part, shown, *key - '0', tick, kThisYear))
            shown = *value;
    }
    return shown;
}

} // namespace

TEST(DateTimeTyping, TypedSequencesGiveTheseValues) {
    struct Case {
        int part;
        int shown;
        const char* keys;
        int expected;
    };
    const Case cases[] = {
        // A year is its four digits when they lie in 1946..this year, else the year's range rule.
        {1, 2012, "2026", 2026},
        {1, 2012, "1995", 1995},
        {1, 2012, "1946", 1946},
        {1, 2012, "2030", 1946},
        {1, 2012, "1900", kThisYear},
        {1, 2012, "0000", kThisYear},
        {1, 2012, "202", 2012},      // not yet a year
        {1, 2012, "19_1995", 1995},  // a pause drops the digits before it
        {1, 2012, "20262001", 2001}, // the fifth digit starts the next year
        // The other parts: two digits continue each other, out of range the new digit alone.
        {2, 12, "01", 1}, // the fresh 0 wraps to 12, then 121 keeps the 1
        {3, 21, "01", 1},
        {4, 12, "00", 0},
        {5, 12, "00", 0},
        {6, 12, "00", 0},
        {4, 12, "23", 23},
        {4, 12, "25", 5},
        {4, 12, "2_3", 3},
        {2, 3, "0", 12},  // a fresh 0 is no month
        {3, 5, "50", 31}, // nor a day, even after a digit
        {6, 6, "60", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(typeInto(c.part, c.shown, c.keys), c.expected) << "part " << c.part << " typed " << c.keys;
}

TEST(DateTimeTyping, AnotherPartStartsAfresh) {
    DateTimeTyping typing;
    typing.picked(5);
    EXPECT_EQ(typing.type(5, 12, 4, 0, kThisYear), 4);
    EXPECT_EQ(typing.type(6, 3, 7, 10, kThisYear), 7); // 37 would be a continuation
    EXPECT_EQ(typing.lastTypedPart(), 6);
}
