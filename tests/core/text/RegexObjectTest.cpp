#include "text/RegexObject.h"

#include "support/TextFixtures.h"
#include "text/Matching.h"
#include "text/Removers.h"
#include "values/ValueText.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

using namespace karv;
using karv::test::replacedMatches;

namespace {

RegexObject compiled(std::string_view pattern, bool global = true, bool multiline = true) {
    RegexObject re;
    EXPECT_TRUE(re.compile(pattern, true, multiline, global));
    return re;
}

/// One line of mixed-width text without "x" or "t": ".*" over it gives back one character at a
/// time, which the JIT's own match limit does not count.
std::string longLine(std::size_t bytes) {
    std::string line;
    while (line.size() < bytes)
        line += "abc中文def ";
    return line;
}

} // namespace

TEST(RegexObject, RemoversOfTheFilterAndSimilarity) {
    RegexObject tags = compiled("<[\\s\\S]+?>");
    EXPECT_EQ(tags.execute("<b>ab</b>"), 2);
    EXPECT_EQ(tags.execute("x<a\r\nhref=y>z"), 1); // a tag across a line break
    std::int64_t position = 0;
    EXPECT_EQ(tags.matchTextAt(1, position), "<a\r\nhref=y>");
    RegexObject blanks = compiled("\\s");
    EXPECT_EQ(blanks.execute(" a\tb\r\nc\f"), 5);
    // The similarity blank pattern names its characters and keeps line breaks.
    RegexObject similarBlanks = compiled("[\\f\\t\\v 　]");
    EXPECT_EQ(similarBlanks.execute("a 　b\r\nc\t"), 3);
    RegexObject breaks = compiled("[。，！\\?!,;；]|\\r\\n");
    EXPECT_EQ(breaks.execute("甲。乙，丙\r\n丁?"), 4);
}

TEST(RegexObject, GlobalDecidesCollection) {
    RegexObject first = compiled("a(\\d)", false);
    EXPECT_EQ(first.execute("a1 a2 a3"), 1);
    RegexObject all = compiled("a(\\d)", true);
    EXPECT_EQ(all.execute("a1 a2 a3"), 3);
    EXPECT_EQ(all.matchCount(), 3);
    std::int64_t position = 0;
    EXPECT_EQ(all.matchTextAt(3, position), "a3");
    // Empty matches move on by one character.
    RegexObject empty = compiled("x*");
    EXPECT_EQ(empty.execute("中bc"), 4);
    EXPECT_EQ(empty.matchTextAt(2, position), "");
    EXPECT_EQ(position, 1);
    EXPECT_EQ(compiled("x*").execute("ab"), 3);
}

TEST(RegexObject, ReadersAndPositionsInCharacters) {
    RegexObject re = compiled("(c)(中)?(z)?");
    ASSERT_EQ(re.execute("中文abc中x"), 1);
    std::int64_t position = 0;
    EXPECT_EQ(re.matchTextAt(1, position), "c中");
    EXPECT_EQ(position, 4); // characters, not bytes
    // Outside the collection: empty, position -1.
    EXPECT_EQ(re.matchTextAt(2, position), "");
    EXPECT_EQ(position, -1);
    EXPECT_EQ(re.matchTextAt(0, position), "");
    EXPECT_EQ(re.execute("none"), 0);
    EXPECT_EQ(re.matchTextAt(1, position), ""); // the old matches are gone
}

TEST(RegexObject, OptionsAndSyntax) {
    EXPECT_EQ(compiled("^b").execute("a\nb\r\nb"), 2);              // multi-line anchors
    EXPECT_EQ(compiled("^b", true, false).execute("a\nb\r\nb"), 0); // only the text start
    EXPECT_EQ(compiled("a$").execute("xa\r\nya"), 2);               // $ before CR LF
    EXPECT_EQ(compiled("a$", true, false).execute("a\n"), 0);       // end only
    EXPECT_EQ(compiled("HELLO").execute("hello"), 1);               // ignore case
    RegexObject exact;
    exact.compile("HELLO", false);
    EXPECT_EQ(exact.execute("hello"), 0);
    EXPECT_EQ(compiled("中.文").execute("中国文"), 1); // "." is one character
    EXPECT_EQ(compiled("a.b").execute("a\nb"), 0);     // "." stops at line breaks
    EXPECT_EQ(compiled("\\u4e2d").execute("中"), 1);   // ECMAScript escapes
    EXPECT_EQ(compiled("\\x41").execute("A"), 1);
    EXPECT_EQ(compiled("[^]").execute("x"), 1); // ECMAScript empty negated class
    RegexObject lazy = compiled("x+?");
    EXPECT_EQ(lazy.execute("xxx"), 3);
    // An escape the syntax does not define is the character itself, even where PCRE2 has a meaning.
    EXPECT_EQ(compiled("\\y\\h\\Q\\K\\e\\A").execute("yhQKeA"), 1);
    EXPECT_EQ(compiled("[\\h]").execute(" "), 0);
    EXPECT_EQ(compiled("\\d\\w\\b").execute("1a"), 1);
}

TEST(RegexObject, InvalidAndEmptyObjects) {
    RegexObject empty;
    EXPECT_EQ(empty.execute("abc"), 0);
    EXPECT_EQ(empty.pattern(), "");
    RegexObject invalid;
    EXPECT_TRUE(invalid.compile("报告(2018"));
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid.pattern(), "报告(2018");
    EXPECT_EQ(invalid.execute("报告(2018"), 0);
    invalid.clear();
    EXPECT_EQ(invalid.pattern(), "");
    // A pattern that is not UTF-8 does not compile; a subject that is not UTF-8 still matches.
    EXPECT_FALSE(compiled("\xFF").isValid());
    EXPECT_EQ(compiled("b").execute("\xD6\xD0"
                                    "b\xFF"),
              1);
}

TEST(RegexObject, CopiesShareThePatternButNotTheMatches) {
    RegexObject original = compiled("\\d");
    original.execute("1 2");
    RegexObject copy = original;
    EXPECT_EQ(copy.pattern(), "\\d");
    EXPECT_EQ(copy.matchCount(), 2);
    copy.execute("3");
    EXPECT_EQ(copy.matchCount(), 1);
    EXPECT_EQ(original.matchCount(), 2);
    std::int64_t position = 0;
    EXPECT_EQ(original.matchTextAt(2, position), "2");
    original.clear();
    EXPECT_EQ(copy.execute("45"), 2); // the copy keeps the compiled expression
}

TEST(RegexObject, PathologicalPatternsOnTenMegabytesEndWithoutAMatch) {
    // Exponential at one position: the match limit stops it.
    std::string flat(10'000'000, 'a');
    flat += '!';
    EXPECT_EQ(compiled("(a+)+$").execute(flat), 0);
    EXPECT_EQ(compiled("(\\w+\\s?)+$").execute(flat), 0);
    // Expensive at every one of millions of positions: the search budget stops it.
    std::string lines;
    while (lines.size() < 10'000'000)
        lines += std::string(22, 'a') + "\n";
    EXPECT_EQ(compiled("(a|aa)*(c|d)").execute(lines), 0);
    // An ordinary search over the same text still works.
    EXPECT_EQ(compiled("a{22}\\n", false).execute(lines), 1);
    // Greedy runs giving back character by character over one long line: cubic in the line.
    RegexObject greedy = compiled("a.*e.*X", false);
    EXPECT_EQ(greedy.execute(longLine(880'000)), 0);
    EXPECT_TRUE(greedy.limitReached());
    EXPECT_FALSE(greedy.stopped());
    ContentMatcher wildcard(MatchMode::Wildcard, "a*e*TAIL");
    EXPECT_FALSE(wildcard.matches(longLine(4'000'000)));
    EXPECT_TRUE(wildcard.limitReached());
}

TEST(RegexObject, WindowsTheFastEngineGivesUpOnStillFindTheirMatches) {
    // Every run of "a" is exponential for (a|aa)*b; the one match lies after hundreds of them.
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += std::string(12, 'a') + "\n";
    RegexObject re = compiled("(a|aa)*b");
    EXPECT_EQ(re.execute(text + "xaab" + text + "ab"), 2);
    EXPECT_FALSE(re.limitReached());
    std::int64_t position = 0;
    EXPECT_EQ(re.matchTextAt(1, position), "aab");
    EXPECT_EQ(position, 500 * 13 + 1);
    EXPECT_EQ(re.matchTextAt(2, position), "ab");
    EXPECT_EQ(position, 2 * 500 * 13 + 4);
    EXPECT_EQ(compiled("START[\\s\\S]*?END", false).execute("START" + longLine(2'000'000) + "\nEND"), 1);
    // The same search again while a poll runs another one on this thread (as an event handled in
    // the pump may): neither disturbs the other.
    RegexObject outer = compiled("(a|aa)*b");
    RegexObject inner = compiled("(a|aa)*b");
    int nested = 0;
    EXPECT_EQ(outer.execute(text + "xaab" + text + "ab",
                            [&] {
                                nested += inner.execute(text + "aab");
                                return true;
                            }),
              2);
    EXPECT_GT(nested, 0);
    EXPECT_EQ(outer.matchTextAt(2, position), "ab");
    EXPECT_EQ(position, 2 * 500 * 13 + 4);
}

TEST(RegexObject, APollEndsASearchAtOnceAndLeavesOrdinarySearchesAlone) {
    // Told to stop at its third question, the search asks no fourth and has no answer.
    RegexObject greedy = compiled("a.*e.*X", false);
    int asked = 0;
    EXPECT_EQ(greedy.execute(longLine(880'000), [&] { return ++asked != 3; }), 0);
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(greedy.stopped());
    EXPECT_FALSE(greedy.limitReached());

    // A stop set by another thread ends a search that would run to its limit.
    std::atomic<bool> stop = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
    });
    ContentMatcher wildcard(MatchMode::Wildcard, "a*e*TAIL");
    EXPECT_FALSE(wildcard.matches(longLine(4'000'000), [&] { return !stop.load(); }));
    stopper.join();
    EXPECT_TRUE(wildcard.stopped());
    EXPECT_FALSE(wildcard.limitReached());

    // A poll that never stops is asked during a long ordinary search and changes nothing in it.
    const std::string_view unit = "报告 2018 report\r\n";
    std::string text;
    while (text.size() < 8'000'000)
        text += unit;
    RegexObject all = compiled("report\\s+报告 (\\d+)");
    asked = 0;
    const int count = all.execute(text, [&] {
        ++asked;
        return true;
    });
    EXPECT_GT(asked, 0);
    EXPECT_EQ(count, compiled("report\\s+报告 (\\d+)").execute(text));
    EXPECT_EQ(count, static_cast<int>(text.size() / unit.size()) - 1); // each across a line break
    std::int64_t position = 0;
    EXPECT_EQ(all.matchTextAt(count, position), "report\r\n报告 2018");
    EXPECT_FALSE(all.stopped());
}

TEST(Removers, SameResultAsTheExpressionsAndAlwaysComplete) {
    RegexObject tags = compiled("<[\\s\\S]+?>");
    RegexObject blanks = compiled("\\s");
    // Tags, blanks of every kind the expression knows or not, and bytes that are not UTF-8.
    const std::string_view alphabet[] = {"<",  ">",    "a",    " ",    "\t",       "\r\n",
                                         "\v", "\f",   "中",   "😀",    "\xC2\x85", "\xC2\xA0",
                                         "　", "\xFF", "\xE4", "\x80", "\xC0\x80", "\xED\xA0\x80"};
    std::mt19937 random(9);
    for (int round = 0; round < 4000; ++round) {
        std::string s;
        const int pieces = static_cast<int>(random() % 24);
        for (int i = 0; i < pieces; ++i)
            s += alphabet[random() % std::size(alphabet)];
        ASSERT_EQ(removeTags(s), replacedMatches(tags, s, "")) << round;
        ASSERT_EQ(removeBlanks(s), replacedMatches(blanks, s, "")) << round;
    }
    // An unclosed "<" before a long run leaves the tags before it removed.
    const std::string html = "<b>ab</b><" + std::string(1'200'000, 'z');
    EXPECT_EQ(countCharacters(removeTags(html)), 1'200'003u);
    EXPECT_EQ(removeBlanks(std::string(12'000'000, ' ')), "");
}
