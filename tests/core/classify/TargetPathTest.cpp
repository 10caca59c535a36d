#include "classify/TargetPath.h"

#include "classify/ClassifyParts.h"
#include "support/TempTree.h"

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

using namespace karv;

namespace {

std::int64_t localSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts));
}

std::string build(std::string templateText, std::string_view path, std::string entry = {},
                  std::string_view keyword = {}) {
    TargetTemplate context;
    context.setTemplate(std::move(templateText));
    context.entryFolder = std::move(entry);
    return buildTargetPath(context, path, keyword);
}

} // namespace

TEST(TargetPath, EverySymbolOnTheExampleFile) {
    test::TempTree tree;
    const std::string file = tree.file("1/2/3/4/5/6.txt", std::string(1536, 'x'));
    tree.setTimes("1/2/3/4/5/6.txt", localSeconds(2014, 3, 5, 8, 7, 9), 0);
    const std::string r = tree.root();
    const std::string entry = r + "/1/2/3/";

    EXPECT_EQ(build("[父目录路径]/[批次名]/[文件名]", file, entry), r + "/1/2/3/4/5/1/6.txt");
    EXPECT_EQ(build("[父目录路径]#[2父目录路径]#[3父目录路径]#[4父目录路径]#[5父目录路径]", file, entry),
              r + "/1/2/3/4/5#" + r + "/1/2/3/4#" + r + "/1/2/3#" + r + "/1/2#" + r + "/1");
    const std::string seg = r.substr(1);
    EXPECT_EQ(build("[父目录段]#[2父目录段]#[3父目录段]#[4父目录段]#[5父目录段]", file, entry),
              seg + "/1/2/3/4/5#" + seg + "/1/2/3/4#" + seg + "/1/2/3#" + seg + "/1/2#" + seg + "/1");
    EXPECT_EQ(build("[父目录名]#[2父目录名]#[3父目录名]#[4父目录名]#[5父目录名]", file, entry), "5#4#3#2#1");
    EXPECT_EQ(build("[子目录段]#[文件名]#[主名]#[扩展名]#[大小]", file, entry), "4/5#6.txt#6#txt#1.5 KB");
    // Date parts without leading zeros.
    EXPECT_EQ(build("[年][月][日]-[时]:[分]:[秒]", file, entry), "201435-8:7:9");
    EXPECT_EQ(build("[关键词]", file, entry, "合同|发票"), "合同｜发票");
    // No symbol: every file gets the same target.
    EXPECT_EQ(build("/x/y.txt", file, entry), "/x/y.txt");
}

TEST(TargetPath, MissingValuesAndOddNames) {
    // Levels above the root are empty, and the "//" they leave is reduced.
    EXPECT_EQ(build("[父目录路径]#[2父目录路径]#[3父目录路径]#[2父目录名]#[3父目录段]", "/1/6.txt"),
              "/1####");
    EXPECT_EQ(build("/a/[3父目录名]/[文件名]", "/1/6.txt"), "/a/6.txt");
    // Main-list mode has no entry folder.
    EXPECT_EQ(build("[子目录段]", "/1/2/6.txt"), "/1/2");
    // The name is removed wherever it occurs, also as a folder name.
    EXPECT_EQ(build("[子目录段]", "/1/6.txt/6.txt", "/1/"), "");
    EXPECT_EQ(build("[主名]#[扩展名]", "/1/.cfg"), "#cfg");
    EXPECT_EQ(build("[主名]#[扩展名]", "/1/README"), "README#");
    // One pass: three slashes become two.
    EXPECT_EQ(build("[父目录路径]///[文件名]", "/1/6.txt"), "/1//6.txt");
    // An unreadable file takes the date 0100-01-01 00:00:00.
    EXPECT_EQ(build("[年]-[月]-[日] [时][分][秒]", "/no/such/file.txt"), "100-1-1 000");
}

TEST(TargetPath, ValuesHoldingSymbolsAreExpandedOnlyWhenTheTemplateHasThem) {
    EXPECT_EQ(build("[父目录名]", "/a/[年]/f.txt"), "[年]");
    const std::string expanded = build("[父目录名]/[年]", "/no/[年]/f.txt");
    EXPECT_EQ(expanded, "100/100");
    // A parent name is cleaned before later symbols see it.
    EXPECT_EQ(build("[父目录名]", "/a/x|y:z/f.txt"), "x｜y：z");
}

TEST(TargetPath, ANameOfDotsStaysAPlainNameBelowTheChosenPlace) {
    // "...txt" has the main name "..": as a segment of its own it would lead above the folder.
    EXPECT_EQ(build("[父目录路径]/[主名]/[文件名]", "/p/...txt"), "/p/．．/...txt");
    EXPECT_EQ(build("[父目录路径]/[主名]/x", "/p/..txt"), "/p/．/x");
    EXPECT_EQ(build("[父目录路径]/[主名]x/[主名]", "/p/...txt"), "/p/..x/．．");
    // The template's own dots are the user's choice and stay.
    EXPECT_EQ(build("[父目录路径]/../[文件名]", "/p/a.txt"), "/p/../a.txt");
}

TEST(TargetPath, CleanNamePart) {
    EXPECT_EQ(cleanNamePart("C:\\x"), "C：＼x");
    EXPECT_EQ(cleanNamePart("a/b*c?d<e>f|g"), "a／b＊c？d＜e＞f｜g");
    EXPECT_EQ(cleanNamePart("say \"hi\"\r\nnext\rline\n\tend"), "say hinextlineend");
    // A GBK name (not UTF-8) keeps its double-byte characters whole, even a trail byte of "\" or "|".
    EXPECT_EQ(cleanNamePart("\xB1\x5C|\xD5\x7C"), "\xB1\x5C｜\xD5\x7C");
    // A byte that cannot end a double-byte character is never hidden behind a lead byte.
    EXPECT_EQ(cleanNamePart("\x81/..\xB1\""), "\x81／..\xB1");
}

TEST(TargetPath, BatchNames) {
    EXPECT_EQ(letterName(0), "");
    EXPECT_EQ(letterName(1), "A");
    EXPECT_EQ(letterName(26), "Z");
    EXPECT_EQ(letterName(27), "AA");
    EXPECT_EQ(letterName(52), "AZ");
    EXPECT_EQ(letterName(53), "BA");
    EXPECT_EQ(letterName(702), "ZZ");
    EXPECT_EQ(letterName(703), "AAA");

    TargetTemplate list;
    list.setTemplate("[批次名]");
    list.batchMode = BatchMode::List;
    list.batchNames = {"红", "绿"};
    std::string names;
    for (int batch = 1; batch <= 4; ++batch) {
        list.batchNumber = batch == 1 ? 1 : list.batchNumber + 1;
        names += buildTargetPath(list, "/a/f", "");
    }
    EXPECT_EQ(names, "红绿红绿");
    EXPECT_EQ(list.batchNumber, 2); // the run keeps the number set back
    list.batchNames.clear();
    EXPECT_EQ(buildTargetPath(list, "/a/f", ""), "");

    TargetTemplate letters;
    letters.setTemplate("[批次名]");
    letters.batchMode = BatchMode::Letters;
    letters.batchNumber = 27;
    EXPECT_EQ(buildTargetPath(letters, "/a/f", ""), "AA");
}

TEST(ClassifyParts, RandomPickerVisitsEveryPositionOnce) {
    RandomPicker picker;
    std::vector<int> seen(51, 0);
    for (int i = 0; i < 50; ++i)
        ++seen[static_cast<std::size_t>(picker.draw(1, 50, 7))]; // one tick: the counter must vary it
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), 50);
    EXPECT_EQ(picker.poolSize(), 0u);
    picker.draw(1, 3, 0);
    picker.reset();
    EXPECT_EQ(picker.poolSize(), 0u);
}

TEST(ClassifyParts, ShortenForDisplayCountsWideCharactersTwice) {
    const std::string short79 = std::string(79, 'a');
    EXPECT_EQ(shortenForDisplay(short79, 80), short79);
    // 38 ASCII units, then wide characters: the head stops before a character that would pass 39.
    const std::string text = std::string(38, 'a') + "中文" + std::string(30, 'b') + "尾巴";
    ASSERT_EQ(displayWidth(text), 76u);
    // keep = 37: the tail takes "文" (36 units) but not "中" (38).
    EXPECT_EQ(shortenForDisplay(text, 76), std::string(37, 'a') + "...文" + std::string(30, 'b') + "尾巴");
    const std::string progress =
        "    (250:17) /home/用户/文档/很长的文件夹名字/" + std::string(40, 'x') + "/结尾.txt";
    const std::string shown = shortenForDisplay(progress, 80);
    const auto dots = shown.find("...");
    ASSERT_NE(dots, std::string::npos);
    const std::string head = shown.substr(0, dots), tail = shown.substr(dots + 3);
    EXPECT_EQ(head, "    (250:17) /home/用户/文档/很长的文件");
    EXPECT_EQ(displayWidth(tail), 39u);
    EXPECT_EQ(tail, std::string(30, 'x') + "/结尾.txt");
}

TEST(ClassifyParts, TypedNumbersListsAndKeywords) {
    EXPECT_EQ(parseBatchSize("１００"), 100);
    EXPECT_EQ(parseBatchSize("  12.5"), 12);
    EXPECT_EQ(parseBatchSize("-3x"), -3);
    EXPECT_EQ(parseBatchSize("abc"), 0);
    EXPECT_EQ(parseBatchSize("　７"), 7);

    EXPECT_EQ(splitLines(""), std::vector<std::string>{});
    EXPECT_EQ(splitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\nb"), (std::vector<std::string>{"a", "b"}));

    EXPECT_TRUE(keywordLineMatches("年度报告", "报告|总结"));
    EXPECT_TRUE(keywordLineMatches("ANNUAL", "|nua"));
    EXPECT_FALSE(keywordLineMatches("年度报告", "|"));
    EXPECT_FALSE(keywordLineMatches("年度报告", ""));
}
