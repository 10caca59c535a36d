#include "filter/FilterValues.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace karv;

TEST(LengthBound, LenientSinglePrecision) {
    EXPECT_EQ(lengthBound("5"), 5.0f);
    EXPECT_EQ(lengthBound(" 2.5kb"), 2.5f); // trailing text ignored
    EXPECT_EQ(lengthBound("abc"), 0.0f);
    EXPECT_EQ(lengthBound(""), 0.0f);
    EXPECT_EQ(lengthBound("-3"), -3.0f);
    // Kept in single precision: 16777217 is not representable and becomes 16777216.
    EXPECT_EQ(lengthBound("16777217"), 16777216.0f);
    // Beyond the single-precision range the bound saturates instead of becoming garbage.
    EXPECT_TRUE(std::isinf(lengthBound("1e40")));
    EXPECT_GT(lengthBound("1e40"), 0.0f);
    EXPECT_TRUE(std::isinf(lengthBound("-1e40")));
    EXPECT_LT(lengthBound("-1e40"), 0.0f);
}

TEST(LengthBound, InclusiveRangeWithTolerance) {
    const double kb = lengthFactor(false, 1);
    EXPECT_TRUE(lengthInRange(5120, 5, 10, kb));
    EXPECT_TRUE(lengthInRange(10240, 5, 10, kb));
    EXPECT_FALSE(lengthInRange(10241, 5, 10, kb));
    EXPECT_FALSE(lengthInRange(5119, 5, 10, kb));
    const double tb = lengthFactor(false, 4);
    EXPECT_TRUE(lengthInRange(1099511627776.0, 1, 2, tb));
    EXPECT_TRUE(lengthInRange(2199023255552.0, 1, 2, tb));
    EXPECT_FALSE(lengthInRange(2199023255553.0, 1, 2, tb));
    EXPECT_FALSE(lengthInRange(1099511627775.0, 1, 2, tb));
    // Character units: 1, 10, 100, 1000, 10000.
    EXPECT_EQ(lengthFactor(true, 0), 1.0);
    EXPECT_EQ(lengthFactor(true, 4), 10000.0);
    EXPECT_EQ(lengthFactor(false, 9), tb); // out-of-range radio index clamps
    // Start above end lets nothing pass; an infinite upper bound lets everything above start pass.
    EXPECT_FALSE(lengthInRange(7, 10, 5, 1));
    EXPECT_TRUE(lengthInRange(1e18, 0, lengthBound("1e40"), tb));
    EXPECT_FALSE(lengthInRange(1e18, lengthBound("1e40"), lengthBound("1e40"), 1));
}

TEST(DateTimeConversion, AcceptsWellFormedTexts) {
    EXPECT_EQ(parseDateTimeText("2014-03-31 23:55:00"), (DateTime{2014, 3, 31, 23, 55, 0}));
    EXPECT_EQ(parseDateTimeText("2014-3-1"), (DateTime{2014, 3, 1, 0, 0, 0}));
    EXPECT_EQ(parseDateTimeText("2014/03/01 8:05"), (DateTime{2014, 3, 1, 8, 5, 0}));
    EXPECT_EQ(parseDateTimeText("2014-03-01 "), (DateTime{2014, 3, 1, 0, 0, 0})); // access-date form
    EXPECT_EQ(parseDateTimeText("2012-02-29 00:00:00"), (DateTime{2012, 2, 29, 0, 0, 0}));
    EXPECT_EQ(parseDateTimeText("08:00:00"), (DateTime{1899, 12, 30, 8, 0, 0}));
}

TEST(DateTimeConversion, RejectsGarbageAndImpossibleValues) {
    for (const char* text :
         {"", "garbage", "2014-02-31 25:61:61", "2014-02-31", "2014-13-01", "2013-02-29",
          "2014-03-01 24:00:00", "2014-03-01 12:60:00", "2014-03-01 12:00:60", "2014-03-01 12", "2014-03-01x",
          "2014-03/01", "12:30:15:00", "-1-01-01", "2014-03-001", "99999999999-01-01"})
        EXPECT_FALSE(parseDateTimeText(text).has_value()) << text;
}

TEST(DateTimeConversion, ProjectionsAndClamping) {
    const DateTime t{2014, 3, 31, 12, 30, 15};
    // The zero date is 1899-12-30 00:00:00.
    EXPECT_EQ(dateTimeSeconds({1899, 12, 30, 0, 0, 0}), 0);
    EXPECT_EQ(dateTimeSeconds({1899, 12, 31, 0, 0, 1}), 86401);
    EXPECT_EQ(dateTimeSeconds({1899, 12, 29, 0, 0, 0}), -86400);
    EXPECT_EQ(comparableTime(t, DateTimeMode::DateOnly), dateTimeSeconds({2014, 3, 31, 0, 0, 0}));
    EXPECT_EQ(comparableTime(t, DateTimeMode::TimeOnly), dateTimeSeconds({2000, 1, 1, 12, 30, 15}));
    EXPECT_EQ(comparableTime(t, DateTimeMode::Both), dateTimeSeconds(t));
    // Clamped to 0100-01-01 .. 9999-12-31.
    EXPECT_EQ(comparableTime({50, 6, 1, 0, 0, 0}, DateTimeMode::Both), -657434LL * 86400);
    EXPECT_EQ(comparableTime({12000, 1, 1, 0, 0, 0}, DateTimeMode::DateOnly), 2958465LL * 86400 + 86399);
    // A box holding garbage reads as the zero date.
    EXPECT_EQ(comparableBoxTime("2014-02-31 25:61:61", DateTimeMode::Both), 0);
    EXPECT_EQ(comparableBoxTime("xyz", DateTimeMode::TimeOnly), dateTimeSeconds({2000, 1, 1, 0, 0, 0}));
}
