// Content of any size is read in pieces: decoded with the decoder's state carried over piece
// edges, searched with a seam between pieces, counted with CR LF and open tags carried over. These
// tests hold the streamed results against the whole-text ones over random and hostile input, with
// tiny pieces so that every edge falls everywhere.
#include "core/RunHarness.h"
#include "filter/FilterPipeline.h"
#include "support/TempTree.h"
#include "support/TextFixtures.h"
#include "text/Matching.h"
#include "text/NameText.h"
#include "text/Removers.h"
#include "text/StreamSearch.h"
#include "text/TextLoader.h"
#include "text/TextSearch.h"
#include "values/ValueText.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;
using karv::test::TempTree;

namespace {

std::string hostileBytes(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {"a",
                                                    "Invoice ",
                                                    "INVO",
                                                    "ice",
                                                    "\r\n",
                                                    "\r",
                                                    "\n",
                                                    std::string(1, '\0'),
                                                    "\xC3\xA9",
                                                    "\xE4\xB8\xAD",
                                                    "\xF0\x9F\x98\x80",
                                                    "\xC0\xAF",
                                                    "\xED\xA0\x80",
                                                    "\x80",
                                                    "\xFF",
                                                    "\xE4\xB8",
                                                    "\xD6\xD0\xCE\xC4",
                                                    "\xB1\xA8\xB8\xE6",
                                                    "\x81\x30\x81\x30",
                                                    "\xE6\x8A\xA5\xE5\x91\x8A",
                                                    "<",
                                                    ">",
                                                    "<b>",
                                                    "</b>",
                                                    " ",
                                                    "\t",
                                                    "\xD8\x3D\xDE\x00",
                                                    "\x00\xD8",
                                                    "\xA5\x5C",
                                                    "\xA5\x62\x4A\x54",
                                                    "\x62\xA5\x54\x4A",
                                                    "\xB1"};
    return test::randomContent(rng, pieces, 40);
}

/// Everything a streamed read gives at once: the text, the term search and the four counts.
class Everything : public TextConsumer {
public:
    explicit Everything(const std::vector<std::string>& terms)
        : search(terms), counts{{{false, false}, {true, false}, {false, true}, {true, true}}} {}
    void begin() override {
        text.clear();
        search.begin();
        for (CharacterCount& count : counts)
            count.begin();
    }
    bool feed(std::string_view piece) override {
        EXPECT_FALSE(piece.empty());
        EXPECT_TRUE(isValidUtf8(piece));
        text.append(piece);
        search.feed(piece);
        for (CharacterCount& count : counts)
            count.feed(piece);
        return false;
    }
    std::string text;
    TermStreamSearch search;
    std::array<CharacterCount, 4> counts;
};

} // namespace

TEST(StreamingAgreement, PiecesGiveTheWholeTextItsSearchAndItsCounts) {
    std::mt19937 rng(1414);
    int judged = 0;
    const std::vector<std::string> termSets[] = {{"invoice"},
                                                 {"", "\xE6\x8A\xA5\xE5\x91\x8A", "ce"},
                                                 {"\r\n"},
                                                 {"\xE4\xB8\xAD", "a\xC3\xA9"},
                                                 {"<b>a"},
                                                 {"\xE6\x8A\xA5\xE5\x91\x8A"},
                                                 {"\xE4\xB8\xAD\xE6\x96\x87", "\xE6\x8A\xA5"}};
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = hostileBytes(rng);
        const bool declared = bytes.find("<meta") != std::string::npos;
        if (round % 5 == 0)
            bytes = test::gzipOf(bytes);
        const std::vector<std::string>& terms = termSets[round % 7];
        const LoadedText whole = loadTextFromBytes(bytes);
        // The search of encoded bytes, where it answers, answers as the decoded text does.
        const std::string content = round % 5 == 0 ? gunzipBytes(bytes) : bytes;
        const int code = whole.encodingCode;
        if (code == kEncodingAnsi ||
            ((code == kEncodingUtf16Le || code == kEncodingUtf16Be) && content.size() >= 2)) {
            const std::string body =
                code == kEncodingAnsi ? content.substr(0, content.find('\0')) : content.substr(2);
            const int encoded = findTermsEncoded(code, body, terms);
            if (encoded >= 0) {
                EXPECT_EQ(encoded == 1, plainTermMatch(whole.text, terms)) << testing::PrintToString(bytes);
            }
            judged += encoded >= 0;
        }
        const std::string tags = removeTags(whole.text);
        const std::uint64_t expected[4] = {countCharacters(whole.text), countCharacters(tags),
                                           countCharacters(removeBlanks(whole.text)),
                                           countCharacters(removeBlanks(tags))};
        for (const std::size_t head : {std::size_t{4}, std::size_t{7}, std::size_t{4096}}) {
            for (const std::size_t chunk :
                 {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{23}}) {
                // A charset declared in the content is looked for in the head only.
                if (declared && head < 32)
                    continue;
                SCOPED_TRACE(testing::PrintToString(bytes) + " head " + std::to_string(head) + " chunk " +
                             std::to_string(chunk));
                Everything all(terms);
                TextStreamControl control;
                control.headBytes = head;
                control.chunkBytes = chunk;
                const StreamedText streamed = streamTextFromBytes(bytes, all, control);
                ASSERT_EQ(all.text, whole.text);
                EXPECT_EQ(streamed.encodingCode, whole.encodingCode);
                EXPECT_EQ(all.search.found(), plainTermMatch(whole.text, terms));
                for (int k = 0; k < 4; ++k)
                    EXPECT_EQ(all.counts[k].count(), expected[k]) << "count " << k;
            }
        }
    }
    EXPECT_GT(judged, 100); // the encoded search answered often enough to be tested
}

TEST(StreamingAgreement, ExpressionsInLineWindowsAgreeWithTheWholeText) {
    std::mt19937 rng(7);
    const char* lines[] = {"abc",
                           "b",
                           "xx",
                           "\xE4\xB8\xAD\xE6\x96\x87",
                           "",
                           "ac",
                           "x",
                           "a\xC3\xA9"
                           "c"};
    for (const char* pattern : {"b.?c", "^x+$", "\xE4\xB8\xAD\xE6\x96\x87$", "^$", "a\\S?c"}) {
        ContentMatcher matcher(MatchMode::Regex, pattern);
        for (int round = 0; round < 200; ++round) {
            std::string text;
            const std::size_t count = rng() % 60;
            for (std::size_t i = 0; i < count; ++i)
                text.append(lines[rng() % 8]).append(rng() % 5 == 0 ? "\r\n" : "\n");
            text.resize(text.size() - (text.empty() ? 0 : rng() % 2));
            SCOPED_TRACE(std::string(pattern) + " in " + testing::PrintToString(text));
            ContentMatcher whole(MatchMode::Regex, pattern);
            ExpressionStreamSearch search(matcher, 24, 12);
            TextStreamControl control;
            control.chunkBytes = 1 + rng() % 7;
            search.begin();
            feedText(text, search, control);
            EXPECT_EQ(search.finish(), whole.matches(text));
        }
    }
}

TEST(StreamingAgreement, RunJudgesLongFilesWholeAndAStopEndsTheRead) {
    TempTree tree;
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line \xE4\xB8\xAD <b>x</b>\r\n";
    tree.file("late.txt", text + "\xE6\x8A\xA5\xE5\x91\x8A");
    tree.file("none.txt", text);
    karv::test::TestHost host;
    host.opts.values.contentFilter = true;
    host.opts.values.contentInName = false;
    host.opts.values.contentInText = true;
    host.opts.values.contentText = "\xE6\x8A\xA5\xE5\x91\x8A";
    host.opts.values.lengthFilter = true;
    host.opts.values.lengthMeasure = LengthMeasure::Characters;
    host.opts.values.stripTags = true;
    host.opts.values.lengthUnit = 0;
    // Both bounds at the whole text's count: the file passes only when it is counted exactly.
    const std::string count = std::to_string(countCharacters(removeTags(text)) + 2);
    host.opts.values.lengthFrom = count;
    host.opts.values.lengthTo = count;
    FilterRun run{host.sink, host.context};
    FilterPipeline pipeline(host.opts);
    pipeline.setStreamSizes(64, 16);
    run.setFilterStage(&pipeline);
    host.runOn(run, tree.root());
    ASSERT_EQ(host.sink.rows.size(), 1u);
    EXPECT_EQ(host.sink.rows[0].name, "late.txt");

    // A stop during a file's read ends it within a piece, and the half-read file is not listed.
    host.sink.rows.clear();
    host.opts.values.contentExcludes = true;
    host.pumps = 0;
    int pumpsAtStop = 0;
    host.onPump = [&] {
        if (host.pumps == 10) {
            run.requestStop();
            pumpsAtStop = host.pumps;
        }
    };
    host.runOn(run, tree.root());
    EXPECT_TRUE(host.sink.rows.empty());
    EXPECT_LE(host.pumps, pumpsAtStop + 2);
}
