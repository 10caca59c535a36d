#include "text/Matching.h"

#include <gtest/gtest.h>

using namespace karv;

namespace {

TermHit findAny(std::string_view subject, std::string_view terms) {
    FindTermsOptions options;
    options.mode = TermMode::Any;
    return findTerms(subject, terms, options);
}

} // namespace

TEST(FindTerms, AnyModeIgnoringCase) {
    EXPECT_TRUE(findAny("xxabcxx", "ABC|def").hit);
    const TermHit hit = findAny("the DEF part", "ABC|def");
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.term, "def");
    EXPECT_EQ(hit.position, 5); // 1-based
    EXPECT_FALSE(findAny("nothing", "ABC|def").hit);
    EXPECT_EQ(findAny("nothing", "ABC|def").position, -1);
    // Empty terms are skipped; no non-empty term means no hit.
    EXPECT_TRUE(findAny("def", "||def|").hit);
    EXPECT_FALSE(findAny("anything", "||").hit);
    EXPECT_FALSE(findAny("anything", "").hit);
    // Only A-Z fold: other characters compare exactly.
    EXPECT_TRUE(findAny("报告ABC", "报告abc").hit);
    EXPECT_FALSE(findAny("Straße", "STRASSE").hit);
    EXPECT_FALSE(findAny("É", "é").hit);
}

TEST(FindTerms, AllModeSeparatorsAndOptions) {
    EXPECT_TRUE(findTerms("甲乙丙", "甲|丙").hit); // all-mode is the default
    EXPECT_FALSE(findTerms("甲乙丙", "甲|丁").hit);
    EXPECT_FALSE(findTerms("甲乙丙", "|").hit); // no non-empty term
    FindTermsOptions options;
    options.separator = ",";
    EXPECT_TRUE(findTerms("a|b", "a|b,b", options).hit);
    options.separator = ""; // empty means "|"
    EXPECT_TRUE(findTerms("ab", "a|b", options).hit);
    options.ignoreCase = false;
    EXPECT_FALSE(findTerms("AB", "a|b", options).hit);
    // A pre-split list replaces the terms text.
    const std::vector<std::string> list = {"", "x", "y"};
    FindTermsOptions preSplit;
    preSplit.terms = &list;
    EXPECT_TRUE(findTerms("xy", "ignored", preSplit).hit);
    EXPECT_FALSE(findTerms("x", "x", preSplit).hit);
}

TEST(FindTerms, WholeTextMode) {
    FindTermsOptions options;
    options.mode = TermMode::Any;
    options.wholeText = true;
    EXPECT_TRUE(findTerms("Readme.TXT", "x|readme.txt", options).hit);
    EXPECT_FALSE(findTerms("readme.txt.bak", "readme.txt", options).hit);
    options.ignoreCase = false;
    EXPECT_FALSE(findTerms("Readme", "readme", options).hit);
}

TEST(FindTerms, NeverInsideACharacter) {
    // The last byte of 中 and the first byte of 文: never a hit, nor the inner bytes of one character.
    EXPECT_FALSE(findAny("中文", "\xAD\xE6").hit);
    EXPECT_FALSE(findAny("中文", "\xB8\xAD").hit);
    EXPECT_FALSE(findAny("中文", "\xE4\xB8").hit);
    EXPECT_TRUE(findAny("中文", "文").hit);
    // A later boundary-aligned occurrence is still found after a misaligned one.
    EXPECT_EQ(findAny("中\xAD\xE6", "\xAD\xE6").position, -1);
}

TEST(ContentTerms, LinesCountAsSeparators) {
    EXPECT_EQ(splitContentTerms("甲\r\n乙"), (std::vector<std::string>{"甲", "乙"}));
    EXPECT_EQ(splitContentTerms("甲\n乙\r丙"), (std::vector<std::string>{"甲", "乙", "丙"}));
    EXPECT_EQ(splitContentTerms("a||b|"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(splitContentTerms(""), (std::vector<std::string>{""}));
    EXPECT_TRUE(plainTermMatch("这是乙方", splitContentTerms("甲\r\n乙")));
    EXPECT_FALSE(plainTermMatch("丙", splitContentTerms("甲\r\n乙")));
    EXPECT_FALSE(plainTermMatch("anything", splitContentTerms("")));
}

TEST(WildcardToPattern, EscapesAndWildcards) {
    EXPECT_EQ(wildcardToPattern("报告(2018)*.doc"), "报告\\(2018\\).*\\.doc");
    EXPECT_EQ(wildcardToPattern("a*|b?"), "a.*|b.?");
    EXPECT_EQ(wildcardToPattern("\\^$+.{}[]=()-\""), "\\\\\\^\\$\\+\\.\\{\\}\\[\\]\\=\\(\\)\\-\\\"");
    EXPECT_EQ(wildcardToPattern("a\r\nb"), "a\r\nb"); // line breaks stay
}

TEST(ContentMatcher, WildcardMode) {
    ContentMatcher txt(MatchMode::Wildcard, "*.txt");
    EXPECT_TRUE(txt.matches("notes.txt.bak")); // not anchored
    EXPECT_TRUE(txt.matches("NOTES.TXT"));
    EXPECT_FALSE(txt.matches("notes_txt"));
    ContentMatcher abc(MatchMode::Wildcard, "a?c");
    EXPECT_TRUE(abc.matches("ac"));
    EXPECT_TRUE(abc.matches("abc"));
    EXPECT_TRUE(abc.matches("xabcx"));
    EXPECT_FALSE(abc.matches("abbc"));
    ContentMatcher sum(MatchMode::Wildcard, "1+1=2");
    EXPECT_TRUE(sum.matches("so 1+1=2 holds"));
    EXPECT_FALSE(sum.matches("11=2"));
    // An unbalanced bracket typed as a wildcard is escaped, so it is matched literally.
    ContentMatcher report(MatchMode::Wildcard, "报告(2018");
    EXPECT_TRUE(report.matches("年度报告(2018版).doc"));
    EXPECT_FALSE(report.matches("报告2018"));
    ContentMatcher chinese(MatchMode::Wildcard, "中?文");
    EXPECT_TRUE(chinese.matches("中国文")); // one Chinese character is one character
}

TEST(ContentMatcher, RegexAndPlainModes) {
    ContentMatcher lineStart(MatchMode::Regex, "^def");
    EXPECT_TRUE(lineStart.matches("abc\r\ndef")); // multi-line: any line start
    EXPECT_FALSE(lineStart.matches("abc def"));
    ContentMatcher invalid(MatchMode::Regex, "报告(2018");
    EXPECT_FALSE(invalid.matches("报告(2018"));
    EXPECT_FALSE(invalid.matches(""));
    // An empty filter text: everything in modes 1 and 2, nothing in mode 0.
    EXPECT_TRUE(ContentMatcher(MatchMode::Regex, "").matches("x"));
    EXPECT_TRUE(ContentMatcher(MatchMode::Wildcard, "").matches(""));
    EXPECT_FALSE(ContentMatcher(MatchMode::Plain, "").matches("x"));
    ContentMatcher plain(MatchMode::Plain, "ABC\ndef");
    EXPECT_TRUE(plain.matches("xdefx"));
    EXPECT_TRUE(plain.matches("abc"));
    EXPECT_FALSE(plain.matches("ab"));
    EXPECT_FALSE(ContentMatcher().matches("x"));
}
