#include "ReferenceDuplicates.h"
#include "RunHarness.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;
using karv::test::ReferenceDuplicates;
using karv::test::TempTree;
using karv::test::TestHost;

namespace {

/// A random tree with many shared sizes, identical and nearly identical contents, empty files,
/// and names that are equal, differ in case or in a character or two.
void fillRandomTree(TempTree& tree, std::mt19937& random, int files) {
    const std::string syllables[] = {"ab", "cd", "报告", "ef", "Ab", "x", "年", "q"};
    const std::string sentences[] = {"第一句。",  "第二句，", "third line\n", "fourth; ",
                                     "<b>五</b>", "六！",     "seven\r\n",    "八?"};
    const std::string folders[] = {"", "a/", "a/b/", "c/", "c/报告/"};
    std::vector<std::string> contents;
    for (std::size_t size : {0u, 1u, 7u, 4095u, 4096u, 4097u, 9000u, 65536u, 65537u}) {
        std::string base(size, 'k');
        for (std::size_t i = 0; i < size; ++i)
            base[i] = static_cast<char>('a' + (i * 7) % 26);
        contents.push_back(base);
        if (size > 0) {
            std::string head = base, tail = base;
            head[0] = '#';
            tail[size - 1] = '#';
            contents.push_back(head);
            contents.push_back(tail);
        }
    }
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    for (int i = 0; i < files; ++i) {
        std::string name;
        for (int k = 1 + pick(random) % 4; k > 0; --k)
            name += syllables[pick(random) % std::size(syllables)];
        name += pick(random) % 2 ? ".txt" : ".log";
        std::string content;
        if (pick(random) % 3 == 0) {
            for (int k = 1 + pick(random) % 3; k > 0; --k)
                content += sentences[pick(random) % std::size(sentences)];
        } else {
            content = contents[pick(random) % contents.size()];
        }
        const std::string relative = folders[pick(random) % std::size(folders)] + name;
        tree.file(relative, content);
    }
}

std::vector<ResultRow> runWith(bool reference, const ScanSettings& settings, const std::string& root) {
    if (!reference)
        return karv::test::runScan(settings, root);
    return karv::test::runScan(settings, root,
                               [](FilterRun& run) { return std::make_unique<ReferenceDuplicates>(run); });
}

void expectSameRows(const std::vector<ResultRow>& slow, const std::vector<ResultRow>& fast,
                    const std::string& what) {
    ASSERT_EQ(slow.size(), fast.size()) << what;
    for (std::size_t i = 0; i < slow.size(); ++i) {
        EXPECT_EQ(slow[i].path(), fast[i].path()) << what << " row " << i;
        EXPECT_EQ(slow[i].sizeText, fast[i].sizeText) << what << " row " << i;
        EXPECT_EQ(slow[i].timeText, fast[i].timeText) << what << " row " << i;
        EXPECT_EQ(slow[i].countText, fast[i].countText) << what << " row " << i;
    }
}

} // namespace

TEST(DuplicateEquivalence, FastFinderListsTheRowsOfTheStraightforwardOne) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        TempTree tree;
        std::mt19937 random(seed);
        fillRandomTree(tree, random, 60 + static_cast<int>(seed) * 30);
        int nonEmpty = 0;
        for (const DuplicateKind kind : {DuplicateKind::Md5, DuplicateKind::Size, DuplicateKind::Name}) {
            for (const DuplicateOutput output :
                 {DuplicateOutput::One, DuplicateOutput::All, DuplicateOutput::AllButOne}) {
                ScanSettings s;
                s.duplicateFilter = true;
                s.duplicateKind = kind;
                s.duplicateOutput = output;
                const std::string what = "seed " + std::to_string(seed) + " kind " +
                                         std::to_string(static_cast<int>(kind)) + " output " +
                                         std::to_string(static_cast<int>(output));
                const auto slow = runWith(true, s, tree.root());
                expectSameRows(slow, runWith(false, s, tree.root()), what);
                nonEmpty += slow.empty() ? 0 : 1;
            }
        }
        for (const char* threshold : {"40", "60", "75", "90", "100", "0", "250"}) {
            for (const bool judge : {false, true}) {
                ScanSettings s;
                s.duplicateFilter = true;
                s.duplicateKind = DuplicateKind::Name;
                s.duplicateOutput = DuplicateOutput::All;
                s.similarity = true;
                s.similarityPercent = threshold;
                s.judgeContent = judge;
                const std::string what =
                    "seed " + std::to_string(seed) + " similar " + threshold + (judge ? " judged" : "");
                const auto slow = runWith(true, s, tree.root());
                expectSameRows(slow, runWith(false, s, tree.root()), what);
                nonEmpty += slow.empty() ? 0 : 1;
            }
        }
        EXPECT_GT(nonEmpty, 10); // the trees do hold duplicates
    }
}

TEST(DuplicateEquivalence, FiltersBeforeDuplicatesAgree) {
    TempTree tree;
    std::mt19937 random(99);
    fillRandomTree(tree, random, 200);
    ScanSettings s;
    s.duplicateFilter = true;
    s.duplicateKind = DuplicateKind::Md5;
    s.duplicateOutput = DuplicateOutput::All;
    s.lengthFilter = true;
    s.lengthUnit = 0;
    s.lengthFrom = "1";
    s.lengthTo = "5000";
    s.contentFilter = true;
    s.contentText = "ab|报告";
    const auto slow = runWith(true, s, tree.root());
    EXPECT_FALSE(slow.empty());
    expectSameRows(slow, runWith(false, s, tree.root()), "filtered");
}

TEST(DuplicateEquivalence, SimilarLongNamesAgree) {
    // Camera-style and dated names: long, sharing most characters, many near the threshold.
    TempTree tree;
    std::mt19937 random(3);
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i) {
        std::string name;
        if (!names.empty() && pick(random) % 4 == 0) {
            name = names[pick(random) % names.size()];
            name[pick(random) % name.size()] = "0123456789x"[pick(random) % 11];
        } else if (pick(random) % 2 == 0) {
            char text[40];
            std::snprintf(text, sizeof text, "IMG_2023%02d%02d_%06d.jpg", 1 + pick(random) % 12,
                          1 + pick(random) % 28, pick(random) % 1000000);
            name = text;
        } else {
            name = std::string(pick(random) % 2 ? "年度报告_" : "report_") +
                   std::to_string(2000 + pick(random) % 25) + "_v" + std::to_string(pick(random) % 30) +
                   ".docx";
        }
        if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
            continue;
        names.push_back(name);
        tree.file("d" + std::to_string(i % 9) + "/" + name, "");
    }
    for (const char* threshold : {"80", "90", "95"}) {
        ScanSettings s;
        s.duplicateFilter = true;
        s.duplicateKind = DuplicateKind::Name;
        s.duplicateOutput = DuplicateOutput::All;
        s.similarity = true;
        s.similarityPercent = threshold;
        const auto slow = runWith(true, s, tree.root());
        EXPECT_FALSE(slow.empty());
        expectSameRows(slow, runWith(false, s, tree.root()), std::string("threshold ") + threshold);
    }
}
