#include "stats/FolderStatistics.h"

#include "support/FakeDesktop.h"
#include "support/Privileges.h"
#include "support/TempTree.h"
#include "values/Numbers.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using karv::test::TempTree;

namespace {

/// Control states as plain values; records the rows and the progress of a run.
struct StatsHost : StatisticsSink, ProgressSink {
    std::string folder;
    std::string patterns = "*.*";
    bool recurseOn = false;
    bool filesOn = false;
    std::string filesText = "100";
    bool dirsOn = false;
    std::string dirsText = "10";

    std::vector<std::string> captions;
    std::vector<StatisticsRow> rows;
    std::function<void()> onPump;
    StopToken stop;
    karv::test::FakeClock clock;
    RunOutcome outcome;

    void appendRow(StatisticsRow row) override { rows.push_back(std::move(row)); }
    void progress(const RunProgress& now) override { captions.push_back(statisticsCaption(now)); }

    void run() {
        StatisticsRequest request;
        request.folder = folder;
        request.recurse = recurseOn;
        request.fileThreshold = thresholdValue(filesOn, filesText);
        request.folderThreshold = thresholdValue(dirsOn, dirsText);
        request.patternList = [this] {
            return patterns;
        };
        rows.clear();
        captions.clear();
        stop.reset();
        const RunContext context{stop, *this,
                                 [this] {
                                     if (onPump)
                                         onPump();
                                 },
                                 clock};
        outcome = runStatistics(request, context, *this);
    }
};

using Row = std::tuple<std::string, std::uint64_t, std::uint64_t>;

std::vector<Row> run(StatsHost& host) {
    host.run();
    std::vector<Row> out;
    for (const auto& row : host.rows)
        out.emplace_back(row.folder, row.files, row.folders);
    return out;
}

void addFiles(TempTree& tree, const std::string& folder, int count) {
    tree.folder(folder);
    for (int i = 0; i < count; ++i)
        tree.file(folder + "/f" + std::to_string(i) + ".txt");
}

} // namespace

TEST(Thresholds, TypedCountsReadLeniently) {
    EXPECT_EQ(leadingInteger(" +12abc"), 12);
    EXPECT_EQ(leadingInteger("１００"), 100);          // full-width digits from a Chinese input method
    EXPECT_EQ(leadingInteger("\xE3\x80\x80－７"), -7); // ideographic space, full-width minus
    EXPECT_EQ(leadingInteger("1e3"), 1);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger("- 5"), 0);
    EXPECT_EQ(leadingInteger("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(thresholdValue(false, "100"), 0);
    EXPECT_EQ(thresholdValue(true, "１００"), 100);
}

TEST(FolderStatistics, ThresholdsAreAtLeastAndBothOffListsEveryFolder) {
    TempTree tree;
    addFiles(tree, "a", 100);
    addFiles(tree, "b", 99);
    for (int i = 0; i < 10; ++i)
        tree.folder("b/s" + std::to_string(i));
    StatsHost host;
    host.folder = tree.root();
    host.recurseOn = true;
    host.filesOn = true;
    host.filesText = "１００";
    EXPECT_EQ(run(host), (std::vector<Row>{{tree.root() + "/a/", 100, 0}}));

    host.filesOn = false;
    host.dirsOn = true; // "10": exactly ten sub-folders qualify
    EXPECT_EQ(run(host), (std::vector<Row>{{tree.root() + "/b/", 99, 10}}));

    host.dirsOn = false;
    host.dirsText = "x"; // text that is no number is no threshold either
    host.dirsOn = true;
    EXPECT_EQ(run(host).size(), 13u); // root, a, b and its ten sub-folders, in pre-order
    EXPECT_EQ(host.rows[2].folder, tree.root() + "/b/");
    EXPECT_EQ(host.rows[3].folder, tree.root() + "/b/s0/");
}

TEST(FolderStatistics, PatternsCountFilesOnlyAndRecurseOffStaysInTheFolder) {
    TempTree tree;
    for (const char* name : {"a.txt", "b.DOC", "c.log", "ab.txt"})
        tree.file(name);
    tree.file("sub.txt/inner.txt"); // a folder is never a file, whatever its name
    tree.folder("other");
    StatsHost host;
    host.folder = tree.root(); // typed without the trailing "/"
    host.patterns = "*.txt|*.doc";
    EXPECT_EQ(run(host), (std::vector<Row>{{tree.root() + "/", 3, 2}}));
    EXPECT_EQ(host.outcome.succeeded, 1u);
    EXPECT_EQ(host.captions[1], "正在读取目录：" + tree.root()); // as typed, before the "/"

    host.patterns = "*.txt|a*"; // a file fitting two patterns counts twice
    EXPECT_EQ(std::get<1>(run(host)[0]), 4u);
}

TEST(FolderStatistics, ProgressOutcomeAndStop) {
    TempTree tree;
    addFiles(tree, "a/deep", 1);
    addFiles(tree, "b", 0);
    StatsHost host;
    host.folder = tree.root();
    host.recurseOn = true;
    host.run();
    EXPECT_EQ(host.captions.front(), "正在初始化中..");
    EXPECT_EQ(host.outcome.processed, 4u);
    EXPECT_EQ(host.outcome.succeeded, 4u);
    EXPECT_FALSE(host.outcome.stopped);

    // No qualifying folder: every folder is still read.
    host.filesOn = true;
    host.run();
    EXPECT_TRUE(host.rows.empty());
    EXPECT_EQ(host.outcome.processed, 4u);

    // A stop while the second folder is read: that folder is finished, nothing more.
    host.filesOn = false;
    int pumps = 0;
    host.onPump = [&] {
        if (++pumps == 2)
            host.stop.requestStop();
    };
    host.run();
    EXPECT_EQ(host.rows.size(), 2u);
    EXPECT_EQ(host.rows[1].folder, tree.root() + "/a/");
    EXPECT_TRUE(host.outcome.stopped);
}

TEST(FolderStatistics, UnreadableFoldersLinkLoopsAndTheEmptyBox) {
    TempTree tree;
    addFiles(tree, "locked/inside", 3);
    tree.link("loop/up", tree.root());
    tree.link("loop/self", tree.path("loop"));
    tree.link("loop/root", "/");
    StatsHost host;
    host.folder = tree.root() + "/";
    host.recurseOn = true;
    ::chmod(tree.path("locked").c_str(), 0);
    EXPECT_TRUE(karv::test::runWithoutPrivileges(tree.root(), [&] {
        return run(host) == std::vector<Row>{{tree.root() + "/", 0, 2},
                                             {tree.root() + "/locked/", 0, 0},
                                             {tree.root() + "/loop/", 0, 3}};
    }));

    StatsHost root;
    const auto rows = run(root);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::get<0>(rows[0]), "/");
    EXPECT_GT(std::get<2>(rows[0]), 0u);
}

TEST(FolderStatistics, TreeDeeperThanThePathLimitIsCountedToTheBottom) {
    TempTree tree;
    std::string relative;
    for (int level = 0; level < 450; ++level)
        relative += "dddddddddd/";
    addFiles(tree, relative, 3);
    ASSERT_GT(tree.path(relative).size(), 4096u);
    StatsHost host;
    host.folder = tree.root();
    host.recurseOn = true;
    const auto rows = run(host);
    ASSERT_EQ(rows.size(), 451u);
    EXPECT_EQ(rows.back(), (Row{tree.path(relative), 3, 0}));
}

TEST(FolderStatistics, HundredThousandFolders) {
    // Making and removing 100,000 folders on disk takes half a minute; in memory, a second.
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp != nullptr ? oldTmp : "";
    if (::access("/dev/shm", W_OK) == 0)
        ::setenv("TMPDIR", "/dev/shm", 1);
    TempTree tree;
    if (oldTmp != nullptr)
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    tree.folder("wide");
    for (int i = 0; i < 100000; ++i)
        ::mkdir(tree.path("wide/d" + std::to_string(i)).c_str(), 0755);
    tree.file("wide/d99999/last.txt");
    StatsHost host;
    host.folder = tree.path("wide");
    host.recurseOn = true;
    const auto rows = run(host);
    ASSERT_EQ(rows.size(), 100001u);
    EXPECT_EQ(rows[0], (Row{tree.path("wide/"), 0, 100000}));
    EXPECT_EQ(rows.back(), (Row{tree.path("wide/d99999/"), 1, 0}));
    EXPECT_EQ(host.outcome.processed, 100001u);
}

TEST(FolderStatistics, CopiedLineForm) {
    EXPECT_EQ(statisticsLine({"/a/", 3, 1}, "\r\n") + statisticsLine({"/a/b/", 0, 0}, "\r\n"),
              "/a/,3,1\r\n/a/b/,0,0\r\n");
    EXPECT_EQ(statisticsLine({"/\xb1\xa8/", 1, 0}, "\n"), "/报/,1,0\n"); // GBK bytes shown decoded
}
