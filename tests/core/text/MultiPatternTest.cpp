#include "text/MultiPattern.h"

#include <gtest/gtest.h>
#include <string>

using namespace karv;

TEST(MultiPattern, HostileSegments) {
    // A segment of one text found only across a cut of the other: "\xE3\x80" is the start of "。".
    EXPECT_EQ(segmentsFound("x\xE3\x80", "yx。z"), 1u);
    // Repeated segments count each time; a segment that is a prefix of another is found inside it.
    EXPECT_EQ(segmentsFound("ab,ab,a,abc,b", "abc"), 5u);
    EXPECT_EQ(segmentsFound("ab,ab,a,abc,b", "ab"), 4u);
    // A long run of one byte against segments that differ only at their end.
    const std::string run(100000, 'a');
    std::string patterns;
    for (std::size_t length = 1; length < 400; length += 7)
        patterns += std::string(length, 'a') + "b,";
    patterns += std::string(99999, 'a');
    EXPECT_EQ(segmentsFound(patterns, run, {}, 64), 1u);
    EXPECT_EQ(segmentsFound(patterns, run + "b"), 1u + 57u);
}

TEST(MultiPattern, OneLongPieceIsPolledInsideNotOnlyAtItsEnd) {
    // Searched for many lengths, one long piece is polled inside, not only at its end.
    const std::string run(std::size_t{1} << 22, 'a');
    std::string lengths;
    for (std::size_t length = 1000; length < 21000; length += 1000)
        lengths += std::string(length, 'a') + "b,";
    int calls = 0;
    const auto byLength = [&](const KeepGoing& keepGoing) {
        return segmentsFound(lengths, run, keepGoing, kPatternBatchNodes, SegmentSearch::ByLength);
    };
    EXPECT_EQ(byLength([&] { return ++calls > 0; }), 0u);
    EXPECT_GT(calls, 100);
    calls = 0;
    EXPECT_EQ(byLength([&] { return ++calls < 50; }), std::nullopt);
    EXPECT_EQ(calls, 50);
}
