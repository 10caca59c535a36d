#include "values/ValueText.h"

#include "values/Numbers.h"

#include <gtest/gtest.h>

using namespace karv;

TEST(SizeText, UnitsAndRounding) {
    EXPECT_EQ(sizeText(0), "0 B");
    EXPECT_EQ(sizeText(1023), "1023 B");
    EXPECT_EQ(sizeText(1024), "1 KB");
    EXPECT_EQ(sizeText(1536), "1.5 KB");
    // The unit is chosen before rounding: 1023.999 KB rounds up to 1024 KB.
    EXPECT_EQ(sizeText(1048575), "1024 KB");
    EXPECT_EQ(sizeText(1048576), "1 MB");
    EXPECT_EQ(sizeText(1029), "1 KB");    // 1.0049 -> 1
    EXPECT_EQ(sizeText(1034), "1.01 KB"); // 1.00976
    EXPECT_EQ(sizeText(1ull << 40), "1 TB");
    EXPECT_EQ(sizeText(1ull << 60), "1 EB");
    // Beyond EB the quotient keeps growing in EB.
    EXPECT_EQ(sizeText(UINT64_MAX), "16 EB");
}

TEST(DateTimeText, TemplatesAndPadding) {
    const DateTime t{2014, 3, 1, 9, 5, 7};
    EXPECT_EQ(dateTimeText(t, DateTimeMode::Both), "2014-03-01 09:05:07");
    EXPECT_EQ(dateTimeText(t, DateTimeMode::DateOnly), "2014-03-01");
    EXPECT_EQ(dateTimeText(t, DateTimeMode::TimeOnly), "09:05:07");
    // A year is padded only when it is a single digit.
    EXPECT_EQ(dateTimeText({5, 12, 31, 23, 59, 59}, DateTimeMode::Both), "05-12-31 23:59:59");
    EXPECT_EQ(dateTimeText({123, 1, 1, 0, 0, 0}, DateTimeMode::DateOnly), "123-01-01");
}

TEST(GroupedCountText, GroupsOfFour) {
    EXPECT_EQ(groupedCountText(0), "0");
    EXPECT_EQ(groupedCountText(1000), "1000");
    EXPECT_EQ(groupedCountText(10000), "1,0000");
    EXPECT_EQ(groupedCountText(123456), "12,3456");
    EXPECT_EQ(groupedCountText(12345678), "1234,5678");
    EXPECT_EQ(groupedCountText(123456789), "1,2345,6789");
    EXPECT_EQ(groupedCountText(UINT64_MAX), "1844,6744,0737,0955,1615");
}

TEST(ElapsedText, LargestUnitReached) {
    EXPECT_EQ(elapsedText(0), "0 毫秒");
    EXPECT_EQ(elapsedText(999), "999 毫秒");
    EXPECT_EQ(elapsedText(1000), "1 秒");
    EXPECT_EQ(elapsedText(1500), "1.5 秒");
    EXPECT_EQ(elapsedText(59999), "60 秒");
    EXPECT_EQ(elapsedText(61000), "1.02 分");
    EXPECT_EQ(elapsedText(3600 * 1000), "1 时");
    EXPECT_EQ(elapsedText(24LL * 3600 * 1000), "1 天");
    EXPECT_EQ(elapsedText(45LL * 24 * 3600 * 1000), "1.5 月");
    EXPECT_EQ(elapsedText(360LL * 24 * 3600 * 1000), "1 年");
    // A tick difference that went backwards must still give a text, not garbage.
    EXPECT_EQ(elapsedText(-5), "-5 毫秒");
    EXPECT_FALSE(elapsedText(INT64_MAX).empty());
}

TEST(Characters, CountAndSplit) {
    // "ab" + CR LF + one Chinese character: four elements.
    EXPECT_EQ(countCharacters("ab\r\n中"), 4u);
    EXPECT_EQ(countCharacters("\n"), 1u);
    EXPECT_EQ(countCharacters(""), 0u);
    EXPECT_EQ(countCharacters("\r"), 1u);
    EXPECT_EQ(countCharacters("\n\r"), 2u);
    EXPECT_EQ(countCharacters("a😀b"), 3u);
    // A cut-off sequence at the very end is not counted; a stray byte elsewhere is one element.
    EXPECT_EQ(countCharacters("a\xE4\xB8"), 1u);
    EXPECT_EQ(countCharacters("\xFF"
                              "a"),
              2u);
    const auto parts = splitCharacters("x\r\n中\n");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[1], "\r\n");
    EXPECT_EQ(parts[2], "中");
    int pumps = 0;
    splitCharacters("abc", [&] { ++pumps; });
    EXPECT_EQ(pumps, 3);
}

TEST(LeadingNumber, LenientReading) {
    EXPECT_EQ(leadingNumber("2"), 2);
    EXPECT_EQ(leadingNumber(" 12abc"), 12);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("-3.5"), -3.5);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("1e3"), 1000);
    EXPECT_EQ(leadingNumber("1e"), 1);
    EXPECT_GT(leadingNumber("1e400"), 1e300); // saturates, never fails
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("+7"), 7);
    EXPECT_EQ(leadingNumber("1e-400"), 0);
    EXPECT_LT(leadingNumber("-1e400"), -1e300);
}
