#include "filter/FilterPipeline.h"

#include "RunHarness.h"
#include "support/TempTree.h"

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

using namespace karv;
using karv::test::rowPaths;
using karv::test::runScan;
using karv::test::TempTree;

namespace {

std::vector<std::string> names(const std::vector<ResultRow>& rows) {
    std::vector<std::string> out;
    for (const ResultRow& row : rows)
        out.push_back(row.name);
    return out;
}

ScanSettings contentSettings(std::string text, bool inName, bool inText) {
    ScanSettings s;
    s.contentFilter = true;
    s.contentText = std::move(text);
    s.contentInName = inName;
    s.contentInText = inText;
    return s;
}

std::int64_t localSeconds(int y, int mo, int d, int h, int mi, int s) {
    struct tm parts {};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_sec = s;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(::mktime(&parts));
}

} // namespace

// --- content filter ---------------------------------------------------------------------------

TEST(ContentFilter, PlainTermsInNameIgnoreCaseAndEmptyTerms) {
    TempTree tree;
    tree.file("Report-ABC.txt", "x");
    tree.file("notes.txt", "x");
    tree.file("def.log", "x");
    // A trailing "|" and an empty line give empty terms, which are ignored.
    const auto rows = runScan(contentSettings("abc|\r\n|DEF|", true, false), tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"def.log", "Report-ABC.txt"}));
    // Only empty terms: nothing matches.
    EXPECT_TRUE(runScan(contentSettings("|", true, false), tree.root()).empty());
}

TEST(ContentFilter, IncludeNeedsEveryCheckedTarget) {
    TempTree tree;
    tree.file("invoice-1.txt", "an Invoice inside");
    tree.file("invoice-2.txt", "nothing here");
    tree.file("other.txt", "an invoice inside");
    EXPECT_EQ(names(runScan(contentSettings("invoice", true, true), tree.root())),
              (std::vector<std::string>{"invoice-1.txt"}));
    EXPECT_EQ(names(runScan(contentSettings("invoice", false, true), tree.root())),
              (std::vector<std::string>{"invoice-1.txt", "other.txt"}));
}

TEST(ContentFilter, ExcludeDropsAnyHit) {
    TempTree tree;
    tree.file("invoice-1.txt", "an Invoice inside");
    tree.file("invoice-2.txt", "nothing here");
    tree.file("other.txt", "an invoice inside");
    tree.file("clean.txt", "nothing");
    ScanSettings s = contentSettings("invoice", true, true);
    s.contentExcludes = true;
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"clean.txt"}));
    s.contentInText = false;
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"clean.txt", "other.txt"}));
}

TEST(ContentFilter, UnreadableTextIsEmpty) {
    TempTree tree;
    tree.file("a.txt", "term");
    tree.link("dangling.txt", tree.path("missing"));
    ScanSettings s = contentSettings("term", false, true);
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"a.txt"}));
    s.contentExcludes = true; // an empty text matches no term: exclude passes it
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"dangling.txt"}));
}

TEST(ContentFilter, WildcardAndRegexModes) {
    TempTree tree;
    tree.file("notes.txt.bak", "x");
    tree.file("NOTES.TXT", "x");
    tree.file("readme.md", "x");
    ScanSettings s = contentSettings("*.txt", true, false);
    s.matchMode = MatchMode::Wildcard;
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"NOTES.TXT", "notes.txt.bak"}));
    s = contentSettings("^read.*\\.md$", true, false);
    s.matchMode = MatchMode::Regex;
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"readme.md"}));
}

TEST(ContentFilter, InvalidExpressionMatchesNothing) {
    TempTree tree;
    tree.file("a(b.txt", "x");
    tree.file("plain.txt", "x");
    ScanSettings s = contentSettings("a(b", true, false);
    s.matchMode = MatchMode::Regex;
    EXPECT_TRUE(runScan(s, tree.root()).empty());
    s.contentExcludes = true; // no match anywhere: exclude keeps everything
    EXPECT_EQ(runScan(s, tree.root()).size(), 2u);
}

TEST(ContentFilter, LongTextsMatchAndAGivenUpSearchIsReported) {
    TempTree tree;
    tree.file("lazy.txt", "START" + std::string(1'100'000, 'x') + "END");
    std::string pairs;
    for (int i = 0; i < 200'000; ++i)
        pairs += "ab";
    tree.file("groups.txt", pairs + "c");
    const std::string explode = tree.file("explode.txt", std::string(40, 'a') + "!");
    ScanSettings s = contentSettings("START[\\s\\S]*?END|^(a|b)*c$|^(a+)+$", false, true);
    s.matchMode = MatchMode::Regex;
    s.contentExcludes = true;
    std::string status;
    EXPECT_EQ(names(runScan(s, tree.root(), {}, &status)), (std::vector<std::string>{"explode.txt"}));
    EXPECT_NE(status.find("筛选完毕！共筛选出 1 个文件"), std::string::npos);
    EXPECT_NE(status.find("有 1 个文件的表达式匹配超出计算上限，已按不匹配处理（第一个：" + explode + "）"),
              std::string::npos);
}

TEST(ContentFilter, AStopDuringAnExpressionSearchDecidesNothingAndEndsTheRun) {
    TempTree tree;
    std::string line;
    while (line.size() < 880'000)
        line += "abc中文def ";
    tree.file("a.txt", line);
    tree.file("b.txt", "x");
    karv::test::TestHost host;
    host.opts.values = contentSettings("a.*e.*X", false, true);
    host.opts.values.matchMode = MatchMode::Regex;
    host.opts.values.contentExcludes = true; // a search cut short must not pass as "no match"
    FilterRun run{host.sink, host.context};
    host.run = &run;
    FilterPipeline pipeline(host.opts);
    run.setFilterStage(&pipeline);
    // The first pump comes before the first file; the later ones from inside its search.
    host.onPump = [&] {
        if (host.pumps == 3)
            host.clickStop();
    };
    const FilterOutcome outcome = host.runOn(run, tree.root());
    EXPECT_EQ(host.pumps, 3);
    EXPECT_TRUE(host.sink.rows.empty());
    EXPECT_EQ(outcome.expressionLimitFiles, 0u);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(host.status.find("超出计算上限"), std::string::npos);
}

TEST(FilterPipelineRun, PlainContentTermsSplitAtBarsAndLines) {
    FixedScanOptions opts;
    opts.values.contentFilter = true;
    opts.values.contentText = "报告\r\nInvoice|年度||x\ry";
    FilterPipeline pipeline(opts);
    pipeline.beginRun();
    EXPECT_EQ(pipeline.contentTerms(), (std::vector<std::string>{"报告", "Invoice", "年度", "", "x", "y"}));
    EXPECT_EQ(pipeline.contentText(), "报告\r\nInvoice|年度||x\ry");
    opts.values.matchMode = MatchMode::Regex; // terms are only for the plain mode
    pipeline.beginRun();
    EXPECT_TRUE(pipeline.contentTerms().empty());
}

// --- length filter ----------------------------------------------------------------------------

TEST(LengthFilter, SizeInKilobytesIsInclusive) {
    TempTree tree;
    tree.file("a", std::string(5119, 'x'));
    tree.file("b", std::string(5120, 'x'));
    tree.file("c", std::string(10240, 'x'));
    tree.file("d", std::string(10241, 'x'));
    ScanSettings s;
    s.lengthFilter = true;
    const auto rows = runScan(s, tree.root()); // defaults: 5..10 KB
    EXPECT_EQ(names(rows), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(rows[0].sizeText, "5 KB");
}

TEST(LengthFilter, BadBoundsAreReadLeniently) {
    TempTree tree;
    tree.file("empty", "");
    tree.file("small", "abc");
    ScanSettings s;
    s.lengthFilter = true;
    s.lengthUnit = 0;
    s.lengthFrom = "abc"; // not a number: 0
    s.lengthTo = "";      // empty: 0
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"empty"}));
    s.lengthFrom = "-5";
    s.lengthTo = "1e40"; // beyond single precision: no upper limit
    EXPECT_EQ(runScan(s, tree.root()).size(), 2u);
    s.lengthFrom = "1e40";
    EXPECT_TRUE(runScan(s, tree.root()).empty());
    s.lengthFrom = "3"; // start above end
    s.lengthTo = "1";
    EXPECT_TRUE(runScan(s, tree.root()).empty());
}

TEST(LengthFilter, FileNameLengthCountsCharactersOfTheMainName) {
    TempTree tree;
    tree.file("报告书.txt", "");  // 3 characters
    tree.file("abcd.tar.gz", ""); // "abcd.tar": 8
    tree.file("ab", "");          // no extension: 2
    ScanSettings s;
    s.lengthFilter = true;
    s.lengthMeasure = LengthMeasure::NameLength;
    s.lengthUnit = 4; // the unit does not apply to name lengths
    s.lengthFrom = "2";
    s.lengthTo = "3";
    const auto rows = runScan(s, tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"ab", "报告书.txt"}));
    EXPECT_EQ(rows[1].countText, "3");
}

TEST(LengthFilter, ContentCharactersWithTagAndBlankRemoval) {
    TempTree tree;
    tree.file("bold.html", "<b>ab</b>");
    tree.file("lines.txt", "a b\r\nc");
    ScanSettings s;
    s.lengthFilter = true;
    s.lengthMeasure = LengthMeasure::Characters;
    s.lengthUnit = 0;
    s.lengthUnit = 0;
    s.lengthFrom = "0";
    s.lengthTo = "100";
    s.stripTags = true;
    auto rows = runScan(s, tree.root());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].countText, "2"); // bold.html: the two letters
    EXPECT_EQ(rows[1].countText, "5"); // a, space, b, CR LF, c
    s.stripBlanks = true;
    rows = runScan(s, tree.root());
    EXPECT_EQ(rows[1].countText, "3");
    // Units of ten: 0..0.2 tens passes only two characters.
    s.lengthUnit = 1;
    s.lengthTo = "0.2";
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"bold.html"}));
}

TEST(LengthFilter, RunsOnlyOnFilesThatPassedContent) {
    TempTree tree;
    tree.file("keep.txt", std::string(6000, 'x'));
    tree.file("drop.txt", std::string(6000, 'x'));
    ScanSettings s = contentSettings("keep", true, false);
    s.lengthFilter = true;
    const auto rows = runScan(s, tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"keep.txt"}));
}

// --- time filter ------------------------------------------------------------------------------

TEST(TimeFilter, FullDateTimesAreInclusive) {
    TempTree tree;
    tree.file("before", "");
    tree.file("start", "");
    tree.file("end", "");
    tree.file("after", "");
    tree.setTimes("before", localSeconds(2013, 1, 1, 11, 59, 59), localSeconds(2013, 1, 1, 11, 59, 59));
    tree.setTimes("start", localSeconds(2013, 1, 1, 12, 0, 0), localSeconds(2013, 1, 1, 12, 0, 0));
    tree.setTimes("end", localSeconds(2013, 6, 1, 8, 0, 0), localSeconds(2013, 6, 1, 8, 0, 0));
    tree.setTimes("after", localSeconds(2013, 6, 1, 8, 0, 1), localSeconds(2013, 6, 1, 8, 0, 1));
    ScanSettings s;
    s.timeFilter = true;
    s.timeFrom = "2013-01-01 12:00:00";
    s.timeTo = "2013-06-01 08:00:00";
    const auto rows = runScan(s, tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"end", "start"}));
    EXPECT_EQ(rows[0].timeText, "2013-06-01 08:00:00");
}

TEST(TimeFilter, ReadingTheContentLeavesTheAccessTime) {
    TempTree tree;
    const std::string path = tree.file("note.txt", "needle");
    const std::int64_t accessed = localSeconds(2013, 6, 2, 10, 0, 0);
    tree.setTimes("note.txt", localSeconds(2013, 6, 1, 8, 0, 0), accessed);
    ScanSettings s = contentSettings("needle", false, true);
    s.timeFilter = true;
    s.timeKind = TimeKind::Accessed;
    s.timeFrom = "2013-06-02 00:00:00";
    s.timeTo = "2013-06-02 23:59:59";
    s.lengthFilter = true; // the character count reads the text a second time
    s.lengthMeasure = LengthMeasure::Characters;
    s.lengthUnit = 0;
    s.lengthFrom = "1";
    s.lengthTo = "100";
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"note.txt"}));
    EXPECT_EQ(names(runScan(s, tree.root())), (std::vector<std::string>{"note.txt"}));
    const auto stat = statFile(path);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->accessed, accessed);
}

TEST(TimeFilter, DateOnlyAndTimeOnly) {
    TempTree tree;
    tree.file("morning", "");
    tree.file("night", "");
    tree.file("nextday", "");
    tree.setTimes("morning", localSeconds(2014, 3, 31, 9, 0, 0), localSeconds(2014, 3, 31, 9, 0, 0));
    tree.setTimes("night", localSeconds(2014, 3, 31, 23, 59, 59), localSeconds(2014, 3, 31, 23, 59, 59));
    tree.setTimes("nextday", localSeconds(2014, 4, 1, 10, 0, 0), localSeconds(2014, 4, 1, 10, 0, 0));
    ScanSettings s;
    s.timeFilter = true;
    s.timePart = DateTimeMode::DateOnly;
    s.timeFrom = s.timeTo = "2014-03-31 00:00:00";
    auto rows = runScan(s, tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"morning", "night"}));
    EXPECT_EQ(rows[0].timeText, "2014-03-31");
    s.timePart = DateTimeMode::TimeOnly;
    s.timeFrom = "1999-05-05 08:00:00"; // the dates of the boxes do not matter
    s.timeTo = "2020-01-01 18:00:00";
    rows = runScan(s, tree.root());
    EXPECT_EQ(names(rows), (std::vector<std::string>{"morning", "nextday"}));
    EXPECT_EQ(rows[1].timeText, "10:00:00");
}

TEST(TimeFilter, GarbageBoxesReadAsZeroDate) {
    TempTree tree;
    tree.file("f", "");
    tree.setTimes("f", localSeconds(2014, 2, 1, 10, 0, 0), localSeconds(2014, 2, 1, 10, 0, 0));
    ScanSettings s;
    s.timeFilter = true;
    s.timeFrom = "garbage"; // zero date: no lower limit
    s.timeTo = "2014-12-31 00:00:00";
    EXPECT_EQ(runScan(s, tree.root()).size(), 1u);
    s.timeTo = "2014-02-31 25:61:61"; // not a date-time: the zero date, so nothing passes
    EXPECT_TRUE(runScan(s, tree.root()).empty());
    s.timeFrom = "2015-01-01 00:00:00"; // start above end
    s.timeTo = "2014-01-01 00:00:00";
    EXPECT_TRUE(runScan(s, tree.root()).empty());
}

TEST(TimeFilter, FileWithoutTimesNeverPasses) {
    TempTree tree;
    tree.link("dangling", tree.path("missing"));
    ScanSettings s;
    s.timeFilter = true;
    s.timePart = DateTimeMode::TimeOnly;
    s.timeFrom = "00:00:00";
    s.timeTo = "23:59:59";
    EXPECT_TRUE(runScan(s, tree.root()).empty());
}

TEST(TimeFilter, OptionsAreReadForEachFile) {
    TempTree tree;
    tree.file("a", "");
    tree.file("b", "");
    tree.setTimes("a", localSeconds(2014, 1, 1, 0, 0, 0), localSeconds(2014, 1, 1, 0, 0, 0));
    tree.setTimes("b", localSeconds(2014, 1, 1, 0, 0, 0), localSeconds(2014, 1, 1, 0, 0, 0));
    karv::test::TestHost host;
    host.opts.values.timeFilter = true;
    host.opts.values.timeFrom = "2013-01-01 00:00:00";
    host.opts.values.timeTo = "2015-01-01 00:00:00";
    FilterRun run{host.sink, host.context};
    FilterPipeline pipeline(host.opts);
    run.setFilterStage(&pipeline);
    // After the first file the range is edited: the second file is judged by the new range.
    host.onPump = [&] {
        if (host.pumps == 2)
            host.opts.values.timeTo = "2013-06-01 00:00:00";
    };
    host.runOn(run, tree.root());
    EXPECT_EQ(names(host.sink.rows), (std::vector<std::string>{"a"}));
}
