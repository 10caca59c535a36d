#include "duplicates/DuplicateFinder.h"

#include "DuplicateTestSupport.h"
#include "ReferenceDuplicates.h"
#include "RunHarness.h"
#include "duplicates/ContentSimilarity.h"
#include "duplicates/Similarity.h"
#include "filter/FilterPipeline.h"
#include "support/TempTree.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using karv::test::rowPaths;
using karv::test::runScan;
using karv::test::TempTree;
using karv::test::TestHost;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

ScanSettings dupSettings(DuplicateKind kind, DuplicateOutput output) {
    ScanSettings s;
    s.duplicateFilter = true;
    s.duplicateKind = kind;
    s.duplicateOutput = output;
    return s;
}

/// A run with the real stages and access to the finder.
struct DupRun {
    TestHost host;
    FilterRun run{host.sink, host.context};
    FilterPipeline pipeline{host.opts};
    DuplicateFinder finder{host.opts};

    explicit DupRun(const ScanSettings& settings) {
        host.opts.values = settings;
        host.run = &run;
        run.setFilterStage(&pipeline);
        run.setDuplicateStage(&finder);
    }
    std::vector<std::string> scan(const std::string& root) {
        host.runOn(run, root);
        return rowPaths(host.sink.rows);
    }
};

} // namespace

// --- measures ---------------------------------------------------------------------------------

TEST(NameSimilarity, CountsSharedCharactersWhateverTheirOrder) {
    EXPECT_EQ(nameSimilarity("ab.txt", "ba.txt"), 100);
    EXPECT_EQ(nameSimilarity("abcdefghij.txt", "abcdefghik.txt"), 92);
    EXPECT_EQ(nameSimilarity("报告一.doc", "报告二.doc"), 85);
    EXPECT_EQ(nameSimilarity("aab", "ab"), 83); // each element is used once: 2 matches, (66.7+100)/2
    EXPECT_EQ(nameSimilarity("", "abc"), 0);
    EXPECT_EQ(nameSimilarity("a\r\nb", "a\rb"), 66); // CR LF is one element, a lone CR another
}

TEST(NameSimilarity, EqualsGreedyPairingOnRandomTexts) {
    std::srand(7);
    const std::string alphabet[] = {"a", "b", "c", "A", ".", "\r\n", "\r", "\n", "报", "告", "\xff", "😀"};
    for (int round = 0; round < 3000; ++round) {
        std::string a, b;
        for (int i = std::rand() % 12; i > 0; --i)
            a += alphabet[std::rand() % std::size(alphabet)];
        for (int i = std::rand() % 12; i > 0; --i)
            b += alphabet[std::rand() % std::size(alphabet)];
        const int expected = karv::test::ReferenceDuplicates::greedyNameSimilarity(a, b);
        ASSERT_EQ(nameSimilarity(a, b), expected) << a << " / " << b;
        const NameProfile pa = nameProfile(a), pb = nameProfile(b);
        ASSERT_GE(commonElementsBound(pa, pb), commonElements(pa, pb));
    }
}

TEST(ContentSimilarity, SegmentsFoundBothWays) {
    EXPECT_EQ(contentSimilarity("甲乙。丙丁！", "甲乙。丙丁！"), 100);
    EXPECT_EQ(contentSimilarity("one,two", "three,four"), 0);
    EXPECT_EQ(contentSimilarity("", "abc"), 0);
    // Two of two segments found one way, two of three the other way: (100 + 66.7) / 2.
    EXPECT_EQ(contentSimilarity("ab,cd", "ab,xx,cd"), 83);
    // Tags and blanks are removed before cutting; line breaks of any kind cut segments.
    EXPECT_EQ(contentSimilarity("<p>a b</p>\nc d", "ab\r\ncd"), 100);
}

// --- the edge cases of the description ------------------------------------------------------

TEST(DuplicateFinder, ContentKeyOutputModes) {
    TempTree tree;
    tree.file("1.txt", "same");
    tree.file("2.txt", "same");
    tree.file("3.txt", "diff");
    const std::string first = tree.path("1.txt"), second = tree.path("2.txt");
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::All), tree.root())),
              (std::vector<std::string>{first, second}));
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::One), tree.root())),
              (std::vector<std::string>{first}));
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::AllButOne), tree.root())),
              (std::vector<std::string>{first}));
}

TEST(DuplicateFinder, SizeKeyGroupsDifferentContent) {
    TempTree tree;
    tree.file("a", "abc");
    tree.file("b", "def");
    tree.file("c", "ghi");
    tree.file("d", "four");
    const auto rows = runScan(dupSettings(DuplicateKind::Size, DuplicateOutput::All), tree.root());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].sizeText, "3 B");
    EXPECT_EQ(rows[0].countText, "0");
}

TEST(DuplicateFinder, OneFileReachedTwiceIsNotItsOwnDuplicate) {
    // A link to the file, a link to its folder, a name fitting two patterns and a hard link: every
    // path names the one file, which must never be offered as a copy of itself.
    TempTree tree;
    const std::string f = tree.file("a/f.txt", "x1");
    tree.link("a/z_link.txt", f);
    tree.file("b/h.txt", "yy2");
    tree.link("c", tree.path("b"));
    tree.folder("e");
    ASSERT_EQ(::link(f.c_str(), tree.path("e/f.txt").c_str()), 0);
    for (const DuplicateKind kind : {DuplicateKind::Md5, DuplicateKind::Size, DuplicateKind::Name}) {
        ScanSettings s = dupSettings(kind, DuplicateOutput::All);
        s.patterns = "h.txt|*.txt";
        EXPECT_TRUE(runScan(s, tree.root()).empty()) << static_cast<int>(kind);
    }
    // A real copy forms a group with the file, which joins it once.
    const std::string g = tree.file("g.txt", "x1");
    ScanSettings s = dupSettings(DuplicateKind::Md5, DuplicateOutput::All);
    s.patterns = "h.txt|*.txt";
    EXPECT_EQ(rowPaths(runScan(s, tree.root())), (std::vector<std::string>{g, f}));
}

TEST(DuplicateFinder, NameKeyIsCaseSensitive) {
    TempTree tree;
    tree.file("x/Report.txt", "1");
    tree.file("y/report.txt", "2");
    tree.file("z/Report.txt", "3");
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Name, DuplicateOutput::All), tree.root())),
              (std::vector<std::string>{tree.path("x/Report.txt"), tree.path("z/Report.txt")}));
}

TEST(DuplicateFinder, SimilarNamesAndContentCheck) {
    TempTree tree;
    tree.file("a/abcdefghij.txt", "第一句。第二句。第三句。");
    tree.file("b/abcdefghik.txt", "第一句。第二句。第四句。");
    tree.file("c/zzzz.txt", "x");
    ScanSettings s = dupSettings(DuplicateKind::Name, DuplicateOutput::All);
    s.similarity = true;
    s.similarityPercent = "90";
    const std::vector<std::string> pair{tree.path("a/abcdefghij.txt"), tree.path("b/abcdefghik.txt")};
    EXPECT_EQ(rowPaths(runScan(s, tree.root())), pair);
    s.similarityPercent = "93";
    EXPECT_TRUE(runScan(s, tree.root()).empty());
    s.similarityPercent = "90";
    s.judgeContent = true; // two of three sentences shared: 66 > 60
    EXPECT_EQ(rowPaths(runScan(s, tree.root())), pair);
    tree.file("b/abcdefghik.txt", "第一句。第五句。第四句。"); // 33: not similar enough
    EXPECT_TRUE(runScan(s, tree.root()).empty());
}

TEST(DuplicateFinder, StopDuringContentComparisonDropsTheFile) {
    TempTree tree;
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "第" + std::to_string(i) + "句，";
    tree.file("1/abcdefghij.txt", text);
    tree.file("2/abcdefghik.txt", text);
    ScanSettings s = dupSettings(DuplicateKind::Name, DuplicateOutput::All);
    s.similarity = true;
    s.judgeContent = true;
    DupRun full(s);
    EXPECT_EQ(full.scan(tree.root()).size(), 2u);
    const int pumps = full.host.pumps; // most of them from inside the comparison
    ASSERT_GT(pumps, 20);
    DupRun stopped(s);
    stopped.host.onPump = [&] {
        if (stopped.host.pumps == pumps - 10)
            stopped.host.clickStop();
    };
    EXPECT_TRUE(stopped.scan(tree.root()).empty());
    EXPECT_LE(stopped.host.pumps, pumps - 8);
}

TEST(DuplicateFinder, ExactKeyFirstThenSimilarityToFirstMember) {
    TempTree tree;
    // Met in this order: group 1 "abcdefghij.txt"; "abcdefghik.txt" joins it by similarity; a later
    // "abcdefghik.txt" has no group of its own key, so it too joins group 1 through its first member.
    tree.file("1/abcdefghij.txt", "");
    tree.file("2/abcdefghik.txt", "");
    tree.file("3/abcdefghik.txt", "");
    tree.file("4/qqqqqqqqqq.txt", "");
    tree.file("5/qqqqqqqqqq.txt", "");
    ScanSettings s = dupSettings(DuplicateKind::Name, DuplicateOutput::All);
    s.similarity = true;
    EXPECT_EQ(rowPaths(runScan(s, tree.root())),
              (std::vector<std::string>{tree.path("1/abcdefghij.txt"), tree.path("2/abcdefghik.txt"),
                                        tree.path("3/abcdefghik.txt"), tree.path("4/qqqqqqqqqq.txt"),
                                        tree.path("5/qqqqqqqqqq.txt")}));
}

TEST(DuplicateFinder, EarlierSimilarGroupWinsOverLaterExactKey) {
    TempTree tree;
    tree.file("1/abcdefghij.txt", "");
    tree.file("2/abcdefghik.txt", ""); // 92 < 95: a group of its own
    tree.file("3/abcdefghik.txt", ""); // exact key of group 2, but group 1 comes first and is similar
    ScanSettings s = dupSettings(DuplicateKind::Name, DuplicateOutput::All);
    s.similarity = true;
    s.similarityPercent = "95";
    DupRun run(s);
    // The threshold is read as each folder starts: folder 3 sees 90.
    run.host.onPump = [&] {
        if (run.host.pumps == 3) // the root, the files of folders 1 and 2
            run.host.opts.values.similarityPercent = "90";
    };
    EXPECT_EQ(run.scan(tree.root()),
              (std::vector<std::string>{tree.path("1/abcdefghij.txt"), tree.path("3/abcdefghik.txt")}));
}

TEST(DuplicateFinder, StopBeforeAnyFileWasGrouped) {
    TempTree tree;
    tree.file("a", "same");
    tree.file("b", "same");
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    run.host.onPump = [&] {
        run.host.clickStop();
    };
    EXPECT_TRUE(run.scan(tree.root()).empty());
    EXPECT_EQ(run.host.status.rfind("筛选完毕！共筛选出 0 个文件", 0), 0u);
}

TEST(DuplicateFinder, StopDuringOutputEndsTheListing) {
    TempTree tree;
    tree.file("a1", "1");
    tree.file("a2", "1");
    tree.file("b1", "22");
    tree.file("b2", "22");
    DupRun run(dupSettings(DuplicateKind::Size, DuplicateOutput::All));
    run.host.onPump = [&] {
        if (run.host.pumps == 5)
            run.host.clickStop();
    };
    // Four pumps during the walk, then one per listed group: the stop after the first group ends it.
    const auto paths = run.scan(tree.root());
    EXPECT_EQ(paths, (std::vector<std::string>{tree.path("a1"), tree.path("a2")}));
}

TEST(DuplicateFinder, StopDuringHashingOfAHugeFile) {
    TempTree tree;
    karv::test::sparseFile(tree.path("a.bin"), 1024 * kMiB);
    karv::test::sparseFile(tree.path("b.bin"), 1024 * kMiB);
    tree.file("c1", "small");
    tree.file("c2", "small");
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    run.host.onPump = [&] {
        if (run.host.status.find("正在读MD5：") != std::string::npos)
            run.host.clickStop();
    };
    EXPECT_TRUE(run.scan(tree.root()).empty());
    // The stop is seen after one read block of each file of the pair, not after a whole chunk;
    // and two prefixes.
    EXPECT_LE(run.finder.readStats().bytesRead, 2 * kMiB + 2 * 4096);
    EXPECT_FALSE(run.run.running());
}

TEST(DuplicateFinder, GroupsFoundBeforeAStopAreStillListed) {
    TempTree tree;
    tree.file("1", "same");
    tree.file("2", "same");
    karv::test::sparseFile(tree.path("3.bin"), 300 * kMiB);
    karv::test::sparseFile(tree.path("4.bin"), 300 * kMiB);
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    run.host.onPump = [&] {
        if (run.host.status.find(".bin") != std::string::npos)
            run.host.clickStop();
    };
    EXPECT_EQ(run.scan(tree.root()), (std::vector<std::string>{tree.path("1"), tree.path("2")}));
}

TEST(DuplicateFinder, FileVanishingBeforeHashingDropsOut) {
    TempTree tree;
    tree.file("a1", "same");
    tree.file("a2", "same");
    tree.file("a3", "same");
    tree.file("a4", "same");
    tree.file("p1", "");
    tree.file("p2", "");
    tree.file("p3", "");
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    const auto toPipe = [&](const char* name) {
        ::unlink(tree.path(name).c_str());
        ::mkfifo(tree.path(name).c_str(), 0644);
    };
    run.host.onPump = [&] {
        if (run.host.pumps == 2) // a1 was listed and collected (not read yet); before a2
            ::unlink(tree.path("a1").c_str());
        if (run.host.pumps == 3) // a3 turns into a pipe before its turn: refused, never blocks
            toPipe("a3");
        if (run.host.pumps == 6)
            toPipe("p2");
    };
    EXPECT_EQ(run.scan(tree.root()),
              (std::vector<std::string>{tree.path("a2"), tree.path("a4"), tree.path("p1"), tree.path("p3")}));
}

TEST(DuplicateFinder, FileChangingSizeWhileHashedDropsOut) {
    TempTree tree;
    karv::test::sparseFile(tree.path("a.bin"), 250 * kMiB);
    karv::test::sparseFile(tree.path("b.bin"), 250 * kMiB);
    karv::test::sparseFile(tree.path("c.bin"), 250 * kMiB);
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    bool grown = false;
    run.host.onPump = [&] {
        if (!grown && run.host.status.find("b.bin") != std::string::npos) {
            grown = true; // b grows while it is compared with a
            std::ofstream(tree.path("b.bin"), std::ios::binary | std::ios::app) << "tail";
        }
    };
    EXPECT_EQ(run.scan(tree.root()), (std::vector<std::string>{tree.path("a.bin"), tree.path("c.bin")}));
    EXPECT_TRUE(grown);
}

// A first member written to after its group was formed no longer stands for the group: a later file
// equal to its new bytes must not join (that would call two different files duplicates), whether
// the member's bytes were kept in memory or are read again.
TEST(DuplicateFinder, FirstMemberChangedAfterGroupingTakesNoNewMembers) {
    for (const std::size_t size : {std::size_t{1000}, std::size_t{300000}}) {
        TempTree tree;
        const std::string same(size, 'a');
        const std::string other = same.substr(0, size - 1) + "x"; // same size, same prefix
        tree.file("a1", same);
        tree.file("a2", same);
        tree.file("m1", std::string(200000, 'm')); // comparing these pumps between blocks
        tree.file("m2", std::string(200000, 'm'));
        tree.file("x", other);
        DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
        bool changed = false;
        run.host.onPump = [&] {
            if (!changed && run.host.status.find("m2") != std::string::npos) {
                changed = true; // a1 and a2 are grouped by now; x is still to come
                std::ofstream(tree.path("a1"), std::ios::binary | std::ios::trunc) << other;
                const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
                ::utimensat(AT_FDCWD, tree.path("a1").c_str(), times, 0);
            }
        };
        EXPECT_EQ(run.scan(tree.root()), (std::vector<std::string>{tree.path("a1"), tree.path("a2"),
                                                                   tree.path("m1"), tree.path("m2")}))
            << size;
        EXPECT_TRUE(changed);
    }
}

TEST(DuplicateFinder, ZeroByteFiles) {
    TempTree tree;
    tree.file("e1", "");
    tree.file("e2", "");
    tree.file("full", "x");
    tree.file("sub/e3", "");
    const std::vector<std::string> empties{tree.path("e1"), tree.path("e2"), tree.path("sub/e3")};
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::All), tree.root())), empties);
    const auto rows = runScan(dupSettings(DuplicateKind::Size, DuplicateOutput::All), tree.root());
    EXPECT_EQ(rowPaths(rows), empties);
    EXPECT_EQ(rows[0].sizeText, "0 B");
}

TEST(DuplicateFinder, UniqueSizesAreNeverRead) {
    TempTree tree;
    for (int i = 1; i <= 20; ++i)
        tree.file("f" + std::to_string(i), std::string(static_cast<std::size_t>(i), 'x'));
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    EXPECT_TRUE(run.scan(tree.root()).empty());
    EXPECT_EQ(run.finder.readStats().filesOpened, 0u);
}

TEST(DuplicateFinder, PrefixRulesOutAndHashPicksTheCandidate) {
    TempTree tree;
    const std::string base(10000, 'a');
    std::string headDiff = base, tailDiff1 = base, tailDiff2 = base;
    headDiff[0] = 'b';
    tailDiff1[9999] = 'c';
    tailDiff2[9999] = 'd';
    tree.file("1", base);
    tree.file("2", headDiff);
    tree.file("3", tailDiff1);
    tree.file("4", tailDiff2);
    tree.file("5", base);
    tree.file("6", tailDiff2);
    tree.file("7", tailDiff1);
    const auto paths = runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::All), tree.root());
    EXPECT_EQ(rowPaths(paths), (std::vector<std::string>{tree.path("1"), tree.path("5"), tree.path("3"),
                                                         tree.path("7"), tree.path("4"), tree.path("6")}));
}

TEST(DuplicateFinder, FiftyThousandFilesOfOneSize) {
    TempTree tree;
    // Equal 4 KiB prefixes, so every file needs its content compared; pairs share a tail.
    const std::string head(4096, 'h');
    for (int i = 0; i < 50000; ++i) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "%08d", i / 2);
        tree.file("d" + std::to_string(i / 1000) + "/f" + std::to_string(i), head + tail);
    }
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::AllButOne));
    const auto paths = run.scan(tree.root());
    ASSERT_EQ(paths.size(), 25000u);
    EXPECT_EQ(paths.front(), tree.path("d0/f0"));
    EXPECT_EQ(paths.back(), tree.path("d9/f9998")); // folders come in name order: d9 is last
}

TEST(DuplicateFinder, LargeFilesReadInTwoHalvesAndKeptBytesThatWentStale) {
    // Files this large are read in two halves at once; the halves' hash must be the same whether a
    // file was compared or hashed, and a difference in the second half must show.
    TempTree tree;
    const std::uint64_t size = 17 * kMiB;
    const auto marked = [&](const char* name, char mark) {
        karv::test::sparseFile(tree.path(name), size);
        std::fstream file(tree.path(name), std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(12 * kMiB));
        file.put(mark);
    };
    marked("h1", 'A');
    marked("h2", 'A'); // compared with h1: the pair's hash comes from the comparison
    marked("h3", 'B'); // differs from h1 in its second half only
    marked("h4", 'A'); // two classes now: hashed, found through h1's hash, confirmed
    EXPECT_EQ(rowPaths(runScan(dupSettings(DuplicateKind::Md5, DuplicateOutput::All), tree.root())),
              (std::vector<std::string>{tree.path("h1"), tree.path("h2"), tree.path("h4")}));

    // A small first member's bytes are kept; once the file changes they no longer stand for it.
    TempTree small;
    small.file("a1", "same");
    small.file("a2", "same");
    small.file("b1", std::string(300000, 'b')); // comparing these pumps between blocks
    small.file("b2", std::string(300000, 'b'));
    small.file("c", "same");
    DupRun run(dupSettings(DuplicateKind::Md5, DuplicateOutput::All));
    bool changed = false;
    run.host.onPump = [&] {
        if (!changed && run.host.status.find("b2") != std::string::npos) {
            changed = true;
            std::ofstream(small.path("a1"), std::ios::binary | std::ios::trunc) << "diff";
            const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
            ::utimensat(AT_FDCWD, small.path("a1").c_str(), times, 0);
        }
    };
    EXPECT_EQ(run.scan(small.root()), (std::vector<std::string>{small.path("a1"), small.path("a2"),
                                                                small.path("b1"), small.path("b2")}));
    EXPECT_TRUE(changed);
}
