#include "text/RegexObject.h"

#include "text/Matching.h"
#include "text/Removers.h"
#include "values/ValueText.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace karv;

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
    const RegexObject tags = compiled("<[\\s\\S]+?>");
    EXPECT_EQ(tags.replace("<b>ab</b>", ""), "ab");
    EXPECT_EQ(tags.replace("x<a\r\nhref=y>z", ""), "xz"); // a tag across a line break
    const RegexObject blanks = compiled("\\s");
    EXPECT_EQ(blanks.replace(" a\tb\r\nc\f", ""), "abc");
    // The similarity blank pattern names its characters and keeps line breaks.
    const RegexObject similarBlanks = compiled("[\\f\\t\\v 　]");
    EXPECT_EQ(similarBlanks.replace("a 　b\r\nc\t", ""), "ab\r\nc");
    const RegexObject breaks = compiled("[。，！\\?!,;；]|\\r\\n");
    EXPECT_EQ(breaks.replace("甲。乙，丙\r\n丁?", "|"), "甲|乙|丙|丁|");
}

TEST(RegexObject, GlobalDecidesCollectionAndReplacement) {
    RegexObject first = compiled("a(\\d)", false);
    EXPECT_EQ(first.execute("a1 a2 a3"), 1);
    EXPECT_EQ(first.replace("a1 a2 a3", "-"), "- a2 a3");
    RegexObject all = compiled("a(\\d)", true);
    EXPECT_EQ(all.execute("a1 a2 a3"), 3);
    EXPECT_EQ(all.matchCount(), 3);
    EXPECT_EQ(all.matchText(3), "a3");
    EXPECT_EQ(all.subMatchText(2, 1), "2");
    EXPECT_EQ(all.subMatchCount(), 1);
    EXPECT_EQ(all.replace("a1 a2 a3", "[$1]"), "[1] [2] [3]");
    // Empty matches move on by one character.
    EXPECT_EQ(compiled("x*").replace("中bc", "-"), "-中-b-c-");
    EXPECT_EQ(compiled("x*").execute("ab"), 3);
}

TEST(RegexObject, ReadersAndPositionsInCharacters) {
    RegexObject re = compiled("(c)(中)?(z)?");
    ASSERT_EQ(re.execute("中文abc中x"), 1);
    std::int64_t position = 0;
    EXPECT_EQ(re.matchTextAt(1, position), "c中");
    EXPECT_EQ(position, 4); // characters, not bytes
    EXPECT_EQ(re.subMatchTextAt(1, 2, position), "中");
    EXPECT_EQ(position, 4);
    EXPECT_EQ(re.subMatchCount(), 3);
    EXPECT_EQ(re.subMatchText(1, 3), ""); // unset group
    // Outside the collection: empty, position -1.
    EXPECT_EQ(re.matchTextAt(2, position), "");
    EXPECT_EQ(position, -1);
    EXPECT_EQ(re.matchText(0), "");
    EXPECT_EQ(re.subMatchText(1, 4), "");
    EXPECT_EQ(re.subMatchText(1, 0), "");
    EXPECT_EQ(re.execute("none"), 0);
    EXPECT_EQ(re.matchText(1), ""); // the old matches are gone
    EXPECT_EQ(re.subMatchCount(), 0);
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
    EXPECT_EQ(compiled("x+?").replace("xxx", "y"), "yyy");
    // An escape the syntax does not define is the character itself, even where PCRE2 has a meaning.
    EXPECT_EQ(compiled("\\y\\h\\Q\\K\\e\\A").execute("yhQKeA"), 1);
    EXPECT_EQ(compiled("[\\h]").execute(" "), 0);
    EXPECT_EQ(compiled("\\d\\w\\b").execute("1a"), 1);
}

TEST(RegexObject, ReplacementSyntax) {
    const RegexObject re = compiled("(b)(c)?", false);
    EXPECT_EQ(re.replace("abc", "[$&]"), "a[bc]");
    EXPECT_EQ(re.replace("abc", "$2$1"), "acb");
    EXPECT_EQ(re.replace("abc", "$$"), "a$");
    EXPECT_EQ(re.replace("abcd", "<$`|$'>"), "a<a|d>d");
    EXPECT_EQ(re.replace("abc", "$3$0$"), "a$3$0$"); // no such group: taken as written
    EXPECT_EQ(re.replace("abc", "$01"), "ab");       // $01 is group 1
}

TEST(RegexObject, EscapeSets) {
    EXPECT_EQ(RegexObject::escapeAll("a|b*c"), "a\\|b\\*c");
    EXPECT_EQ(RegexObject::escapeKeepBar("a|b*c"), "a|b\\*c");
    EXPECT_EQ(RegexObject::escapeKeepGroups("(a|b)*"), "(a|b)\\*");
    EXPECT_EQ(RegexObject::escapeAll("\\.\""), "\\\\\\.\\\"");
    // Escaped text matches itself literally.
    const std::string literal = "1+1=2 (a|b)*[c]{d}?^$.\\";
    EXPECT_EQ(compiled(RegexObject::escapeAll(literal)).execute("x" + literal + "x"), 1);
}

TEST(RegexObject, InvalidAndEmptyObjects) {
    RegexObject empty;
    EXPECT_EQ(empty.execute("abc"), 0);
    EXPECT_EQ(empty.replace("abc", "x"), "");
    EXPECT_EQ(empty.pattern(), "");
    RegexObject invalid;
    EXPECT_TRUE(invalid.compile("报告(2018"));
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid.pattern(), "报告(2018");
    EXPECT_EQ(invalid.execute("报告(2018"), 0);
    EXPECT_EQ(invalid.replace("报告(2018", ""), "报告(2018");
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
    EXPECT_EQ(original.matchText(2), "2");
    original.clear();
    EXPECT_EQ(copy.execute("45"), 2); // the copy keeps the compiled expression
}

TEST(RegexObject, PathologicalPatternsOnTenMegabytesEndWithoutAMatch) {
    // Exponential at one position: the match limit stops it.
    std::string flat(10'000'000, 'a');
    flat += '!';
    EXPECT_EQ(compiled("(a+)+$").execute(flat), 0);
    EXPECT_EQ(compiled("(\\w+\\s?)+$").replace(flat, ""), flat);
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
    EXPECT_EQ(re.subMatchText(1, 1), "a"); // "a" is tried before "aa"
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
                                return false;
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
    EXPECT_EQ(greedy.execute(longLine(880'000), [&] { return ++asked == 3; }), 0);
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(greedy.stopped());
    EXPECT_FALSE(greedy.limitReached());
    const RegexObject replacer = compiled("a.*e.*X");
    const std::string line = longLine(880'000);
    asked = 0;
    EXPECT_EQ(replacer.replace(line, "-", [&] { return ++asked == 2; }), line);
    EXPECT_TRUE(replacer.stopped());

    // A stop set by another thread ends a search that would run to its limit.
    std::atomic<bool> stop = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
    });
    ContentMatcher wildcard(MatchMode::Wildcard, "a*e*TAIL");
    EXPECT_FALSE(wildcard.matches(longLine(4'000'000), [&] { return stop.load(); }));
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
        return false;
    });
    EXPECT_GT(asked, 0);
    EXPECT_EQ(count, compiled("report\\s+报告 (\\d+)").execute(text));
    EXPECT_EQ(count, static_cast<int>(text.size() / unit.size()) - 1); // each across a line break
    EXPECT_EQ(all.subMatchText(count, 1), "2018");
    EXPECT_FALSE(all.stopped());
}

TEST(RegexObject, BlankRemoverOverALargeTextIsNotTakenForARunawaySearch) {
    // Millions of matches in one global replacement: slow in total, but every match is progress.
    std::string text;
    while (text.size() < 48'000'000)
        text += "文件 筛选\t内容\r\n";
    const std::string stripped = compiled("\\s").replace(text, "");
    EXPECT_EQ(stripped.size(), text.size() / 22 * 18);
    EXPECT_EQ(stripped.substr(0, 24), "文件筛选内容文件");
}

TEST(Removers, SameResultAsTheExpressionsAndAlwaysComplete) {
    const RegexObject tags = compiled("<[\\s\\S]+?>");
    const RegexObject blanks = compiled("\\s");
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
        ASSERT_EQ(removeTags(s), tags.replace(s, "")) << round;
        ASSERT_EQ(removeBlanks(s), blanks.replace(s, "")) << round;
    }
    // An unclosed "<" before a long run leaves the tags before it removed.
    const std::string html = "<b>ab</b><" + std::string(1'200'000, 'z');
    EXPECT_EQ(countCharacters(removeTags(html)), 1'200'003u);
    EXPECT_EQ(removeBlanks(std::string(12'000'000, ' ')), "");
}
