// A plain search of ASCII terms is answered from the content's bytes as they are read, before the
// file is decoded. These tests hold that answer against the one of the whole decoded text over
// hostile mixes of GBK, Big5 and UTF-8, and check that a sure hit ends the read.
#include "support/TextFixtures.h"
#include "text/ByteSource.h"
#include "text/Matching.h"
#include "text/StreamSearch.h"
#include "text/TextLoader.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;

namespace {

std::string hostileMix(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {
        "Invoice",
        "INVOICE ",
        "invo",
        "ice",
        "nvoice",
        " ",
        "\n",
        ";",
        "0",
        "@",
        "A",
        std::string(1, '\0'),
        "\x81",             // a GBK lead: "\x81I" is one character, so "nvoice" follows it
        "\xA4",             // a Big5 lead
        "\xA5\x5C",         // a Big5 character whose trail is a backslash
        "\xB1\xA8\xB8\xE6", // GBK 报告
        "\x81\x30",         // the first half of a four-byte GB18030 character
        "\x81\x30\x81\x30",
        "\xE4\xB8\xAD",
        "\xE4\xB8",
        "\xC3",
        "\xF0\x9F\x98\x80",
        "\xFF",
        "<meta charset=utf-16>",
        "<meta charset=big5>",
        "<head>",
        "</head>"};
    return test::randomContent(rng, pieces, 30);
}

/// Bytes read from memory, counted.
class CountingSource : public textio::MemorySource {
public:
    using MemorySource::MemorySource;
    std::size_t read(char* buffer, std::size_t capacity) override {
        const std::size_t got = MemorySource::read(buffer, capacity);
        total += got;
        return got;
    }
    std::size_t total = 0;
};

} // namespace

TEST(EarlyAnswer, AgreesWithTheWholeTextOverHostileMixes) {
    std::mt19937 rng(2727);
    const std::vector<std::string> termSets[] = {
        {"invoice"}, {"Invoice", "\xE6\x8A\xA5\xE5\x91\x8A"}, {"ce"}, {"", "0a"}, {"\\"}, {"e;0"}};
    int hits = 0;
    int misses = 0;
    for (int round = 0; round < 1200; ++round) {
        std::string bytes = hostileMix(rng);
        if (round % 6 == 0)
            bytes = test::gzipOf(bytes);
        const std::vector<std::string>& terms = termSets[round % 6];
        const bool whole = plainTermMatch(loadTextFromBytes(bytes).text, terms);
        for (const std::size_t head : {std::size_t{4}, std::size_t{64}, std::size_t{4096}}) {
            for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{17}}) {
                SCOPED_TRACE(testing::PrintToString(bytes) + " head " + std::to_string(head) + " chunk " +
                             std::to_string(chunk));
                TermStreamSearch search(terms);
                EarlyTermAnswer early(terms);
                TextStreamControl control;
                control.headBytes = head;
                control.chunkBytes = chunk;
                control.early = &early;
                const StreamedText streamed = streamTextFromBytes(bytes, search, control);
                ASSERT_EQ(streamed.early, early.decided());
                // What is decided early is the whole text's answer; the rest is searched as before
                // (which, for a charset declared beyond a short head, may differ from the whole).
                if (early.decided()) {
                    EXPECT_EQ(early.hit(), whole);
                } else {
                    TermStreamSearch before(terms);
                    control.early = nullptr;
                    streamTextFromBytes(bytes, before, control);
                    EXPECT_EQ(search.found(), before.found());
                }
                hits += early.decided() && early.hit();
                misses += early.decided() && !early.hit();
            }
        }
    }
    // Both answers were given often enough to be tested.
    EXPECT_GT(hits, 500);
    EXPECT_GT(misses, 500);
}

TEST(EarlyAnswer, ASureHitEndsTheReadAndAnUnsureOneReadsOn) {
    const std::string rest(std::size_t{4} << 20, 'x');
    const std::vector<std::string> terms = {"invoice"};
    struct Case {
        std::string opening;
        bool readsAll;
    };
    // After a GBK lead the "I" may be its trail; after a UTF-16 mark the bytes are no ASCII text.
    for (const Case& c :
         {Case{"total; INVOICE 7\n", false}, Case{"\xD6INVOICE 7\n", true}, Case{"\xFF\xFE;INVOICE", true}}) {
        SCOPED_TRACE(c.opening);
        const std::string bytes = c.opening + rest;
        CountingSource source(bytes);
        TermStreamSearch search(terms);
        EarlyTermAnswer early(terms);
        TextStreamControl control;
        control.early = &early;
        streamSourceText(source, search, control);
        EXPECT_EQ(source.total == bytes.size(), c.readsAll);
        EXPECT_EQ(early.decided() ? early.hit() : search.found(),
                  plainTermMatch(loadTextFromBytes(bytes).text, terms));
    }
}
