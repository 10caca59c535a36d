#include "duplicates/ContentSimilarity.h"

#include "support/TextFixtures.h"
#include "text/MultiPattern.h"
#include "text/RegexObject.h"
#include "text/Removers.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;
using karv::test::replacedMatches;

namespace {

/// The measure computed the plain way: the two expressions through the expression object, the
/// segments cut at the marker, each searched with find.
class ReferenceMeasure {
public:
    ReferenceMeasure() {
        m_blanks.compile("[\\f\\t\\v 　]", true, true, true);
        m_breaks.compile("[。，！\\?!,;；]|\\r\\n", true, true, true);
    }

    std::string prepare(const std::string& text) const {
        const std::string tagless = removeTags(text);
        std::string crLf;
        for (std::size_t i = 0; i < tagless.size(); ++i) {
            if (tagless[i] == '\r' || tagless[i] == '\n') {
                crLf += "\r\n";
                if (tagless[i] == '\r' && i + 1 < tagless.size() && tagless[i + 1] == '\n')
                    ++i;
            } else {
                crLf += tagless[i];
            }
        }
        return replacedMatches(m_blanks, crLf, "");
    }

    std::vector<std::string> segments(const std::string& prepared) const {
        const std::string marked = replacedMatches(m_breaks, prepared, "ㄓ");
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start <= marked.size()) {
            std::size_t end = marked.find("ㄓ", start);
            if (end == std::string::npos)
                end = marked.size();
            if (end > start)
                out.push_back(marked.substr(start, end - start));
            start = end + std::string("ㄓ").size();
        }
        return out;
    }

    static std::size_t found(const std::vector<std::string>& segments, const std::string& text) {
        std::size_t count = 0;
        for (const std::string& segment : segments)
            count += text.find(segment) != std::string::npos ? 1 : 0;
        return count;
    }

private:
    mutable RegexObject m_blanks;
    mutable RegexObject m_breaks;
};

// Pieces that make the hard cases likely: cuts of every kind, blanks, broken UTF-8 that is
// half of a cut, the marker, tags, and repeats and prefixes of each other.
const std::vector<std::string> kPieces = {
    "a", "b", "ab",  "abc",  "中",   "文",   "中文",     "，",   "。",       "！", "；", "?",
    "!", ",", ";",   "\r",   "\n",   "\r\n", " ",        "\t",   "\v",       "\f", "　", "ㄓ",
    "<", ">", "<b>", "\xE3", "\x80", "\x82", "\xEF\xBC", "\x8C", "\xE3\x80", "é"};

std::string randomText(std::mt19937& random, std::size_t pieces) {
    std::string text;
    for (std::size_t i = random() % (pieces + 1); i > 0; --i)
        text += kPieces[random() % kPieces.size()];
    return text;
}

/// `text` with a few pieces replaced, dropped or inserted.
std::string mutated(std::mt19937& random, std::string text) {
    for (int edits = static_cast<int>(random() % 4); edits > 0 && !text.empty(); --edits) {
        const std::size_t at = random() % text.size();
        text.replace(at, random() % 3, kPieces[random() % kPieces.size()]);
    }
    return text;
}

} // namespace

TEST(ContentSimilarity, AgreesWithThePlainMeasure) {
    const ReferenceMeasure reference;
    std::mt19937 random(15);
    for (int round = 0; round < 4000; ++round) {
        const std::string a = randomText(random, 40);
        const std::string b = round % 2 == 0 ? mutated(random, a) : randomText(random, 40);
        const std::string pa = reference.prepare(a), pb = reference.prepare(b);
        const std::vector<std::string> sa = reference.segments(pa), sb = reference.segments(pb);
        const PreparedText fa = ContentSimilarity::prepare(a), fb = ContentSimilarity::prepare(b);
        ASSERT_EQ(fa.text, pa) << a;
        ASSERT_EQ(fa.segments, sa.size()) << a;
        const std::size_t f1 = ReferenceMeasure::found(sa, pb);
        // Small batches and a small long-segment limit send segments through every path.
        for (const std::size_t batch :
             {std::size_t{2}, std::size_t{7}, std::size_t{64}, ContentSimilarity::kBatchNodes})
            ASSERT_EQ(segmentsFound(fa.text, fb.text, {}, batch, SegmentSearch::Batches), f1)
                << a << " / " << b;
        ASSERT_EQ(
            segmentsFound(fa.text, fb.text, {}, ContentSimilarity::kBatchNodes, SegmentSearch::ByLength), f1)
            << a << " / " << b;
        const std::size_t f2 = ReferenceMeasure::found(sb, pa);
        const int expected = sa.empty() || sb.empty()
                                 ? 0
                                 : static_cast<int>((static_cast<double>(f1) / sa.size() * 100 +
                                                     static_cast<double>(f2) / sb.size() * 100) /
                                                    2);
        ASSERT_EQ(ContentSimilarity::compare(fa, fb), expected) << a << " / " << b;
    }
}

TEST(ContentSimilarity, HostileTexts) {
    // Empty segments do not count, the marker cuts like a sentence end.
    EXPECT_EQ(ContentSimilarity::prepare(",,ㄓa\r\n\r\n").segments, 1u);
    // Blanks and breaks on a big text are removed whatever its size.
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += "甲 乙\t丙　丁\r";
    const PreparedText prepared = ContentSimilarity::prepare(big);
    EXPECT_EQ(prepared.text.size(), 200000u * std::string("甲乙丙丁\r\n").size());
    EXPECT_EQ(prepared.segments, 200000u);
    // The window is served during each pass over megabytes (an unclosed "<" makes the tag pass
    // read to the end), and the result stays the same.
    int pumps = 0;
    const PreparedText pumped = ContentSimilarity::prepare("<" + big, [&] { ++pumps; });
    EXPECT_EQ(pumped.text, "<" + prepared.text);
    EXPECT_EQ(pumped.segments, prepared.segments);
    EXPECT_GE(pumps, 6);
}

TEST(ContentSimilarity, StopEndsTheComparisonAtOnce) {
    std::string a, b;
    for (int i = 0; i < 300000; ++i) {
        a += "第" + std::to_string(i) + "句，";
        b += "句" + std::to_string(i) + "第。";
    }
    const PreparedText pa = ContentSimilarity::prepare(a), pb = ContentSimilarity::prepare(b);
    int calls = 0;
    EXPECT_EQ(ContentSimilarity::compare(pa, pb, [&] { return ++calls < 3; }), std::nullopt);
    EXPECT_EQ(calls, 3);
    // Without a stop the hook is called regularly and the value comes out.
    calls = 0;
    EXPECT_EQ(ContentSimilarity::compare(pa, pb, [&] { return ++calls > 0; }), 0);
    EXPECT_GT(calls, 10);
}
