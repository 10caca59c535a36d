#include "files/FileFacts.h"
#include "scan/Enumerate.h"
#include "scan/FilterRun.h"
#include "support/Privileges.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using karv::test::RecordingHost;
using karv::test::TempTree;

namespace {

std::vector<std::string> names(const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const auto& path : paths)
        out.push_back(path.substr(path.rfind('/') + 1));
    return out;
}

std::vector<std::string> enumerate(const std::string& folder, std::string_view patterns,
                                   bool folders = false) {
    std::vector<std::string> out;
    enumerateEntries(folder, patterns, folders, out);
    return names(out);
}

using Names = std::vector<std::string>;

} // namespace

TEST(NamePattern, WindowsWildcardRules) {
    EXPECT_TRUE(NamePattern("*.*").matches("noext"));
    EXPECT_TRUE(NamePattern("*.TXT").matches("a.txt"));
    EXPECT_TRUE(NamePattern("*.txt").matches("A.TXT"));
    EXPECT_FALSE(NamePattern("*.txt").matches("a.txt.bak"));
    EXPECT_TRUE(NamePattern("a?c").matches("abc"));
    EXPECT_TRUE(NamePattern("a?c").matches("a中c")); // "?" is one character, not one byte
    EXPECT_FALSE(NamePattern("a?c").matches("ac"));
    EXPECT_TRUE(NamePattern("报告*").matches("报告2018.doc"));
    EXPECT_TRUE(NamePattern("readme.*").matches("readme"));
    EXPECT_TRUE(NamePattern("*.").matches("Makefile"));
    EXPECT_FALSE(NamePattern("*.").matches("a.b"));
    EXPECT_TRUE(NamePattern("*a*b*c*").matches("xxaxxbxxcxx"));
    EXPECT_FALSE(NamePattern("*a*b*c*").matches("xxcxxbxxaxx"));
    // Non-ASCII letters are compared exactly.
    EXPECT_FALSE(NamePattern("Ä*").matches("ä.txt"));
}

TEST(EnumerateEntries, PatternOrderTwiceListedAndHtmRule) {
    TempTree tree;
    for (const char* name : {"b.log", "a.txt", "C.TXT", "page.html", "page.htm", "x.HTM", "noext"})
        tree.file(name);
    tree.folder("sub.txt");
    // Files of the first pattern, then of the second; folders are not files.
    EXPECT_EQ(enumerate(tree.root(), "*.txt|*.log"), (Names{"a.txt", "C.TXT", "b.log"}));
    EXPECT_EQ(enumerate(tree.root(), "*.txt|*.*"), (Names{"a.txt", "C.TXT", "a.txt", "b.log", "C.TXT",
                                                          "noext", "page.htm", "page.html", "x.HTM"}));
    EXPECT_EQ(enumerate(tree.root(), "*.htm"), (Names{"page.htm", "x.HTM"}));
    EXPECT_EQ(enumerate(tree.root(), "*.html"), (Names{"page.html"}));
    EXPECT_EQ(enumerate(tree.root(), ""), enumerate(tree.root(), "*.*"));
    EXPECT_EQ(enumerate(tree.root(), "*", true), (Names{"sub.txt"}));
    // An empty piece between bars finds nothing of its own.
    EXPECT_EQ(enumerate(tree.root(), "*.log||"), (Names{"b.log"}));
    std::vector<std::string> out{"existing"};
    EXPECT_EQ(enumerateEntries(tree.root() + "/", "*.log", false, out), 2u);
    EXPECT_EQ(out[1], tree.root() + "/b.log");
}

TEST(EnumerateEntries, SortedCaseInsensitiveThenBytewise) {
    TempTree tree;
    for (const char* name : {"b", "B", "a", "_z", "A1", "中文", "10", "9"})
        tree.file(name);
    EXPECT_EQ(enumerate(tree.root(), "*"), (Names{"10", "9", "a", "A1", "B", "b", "_z", "中文"}));
}

TEST(EnumerateEntries, OddNamesAndSpecialFiles) {
    TempTree tree;
    const std::string gbk = "\xb1\xa8\xb8\xe6.txt"; // "报告" in GBK: not UTF-8
    for (const std::string& name :
         {std::string("with space.txt"), std::string("new\nline.txt"), std::string("tab\t.txt"),
          std::string("'quote\".txt"), std::string("-dash.txt"), gbk})
        tree.file(name, "x");
    ASSERT_EQ(::mkfifo(tree.path("pipe.txt").c_str(), 0644), 0);
    tree.link("dangling.txt", tree.path("missing"));
    const auto found = enumerate(tree.root(), "*.txt");
    EXPECT_EQ(found.size(), 7u); // the pipe is left out: reading it would block
    EXPECT_NE(std::find(found.begin(), found.end(), gbk), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "dangling.txt"), found.end());
    EXPECT_EQ(std::find(found.begin(), found.end(), "pipe.txt"), found.end());
    // Patterns fit the name as it is shown; the path keeps the name's own bytes.
    EXPECT_EQ(enumerate(tree.root(), "报*"), (Names{gbk}));
    EXPECT_TRUE(enumerate(tree.path("missing-folder"), "*").empty());
}

TEST(FolderDepth, CountedFromTheRelativePath) {
    EXPECT_EQ(FilterRun::folderDepth("/data", "/data"), 1u);
    EXPECT_EQ(FilterRun::folderDepth("/data", "/data/a"), 2u);
    EXPECT_EQ(FilterRun::folderDepth("/data/", "/data/a/b"), 3u);
    EXPECT_EQ(FilterRun::folderDepth("/", "/"), 1u);
    EXPECT_EQ(FilterRun::folderDepth("/", "/etc"), 2u);
    EXPECT_EQ(FilterRun::folderDepth("/", "/etc/ssl"), 3u);
    // The root's text recurring deeper must not be removed a second time.
    EXPECT_EQ(FilterRun::folderDepth("/x", "/x/y/x/z"), 4u);
}

class ScanRunTest : public ::testing::Test {
protected:
    TempTree tree;
    RecordingHost host;
    FilterRun filterRun{host.sink, host.context};
    std::string rootSuffix; // how the chosen folder ends, as typed
    std::string lastRoot;   // the folder the last run walked

    std::vector<std::string> run(TraversalScope scope, const std::string& levels = "2",
                                 const std::string& patterns = "*.*") {
        host.opts.values.scope = scope;
        host.opts.values.levels = levels;
        host.opts.values.patterns = patterns;
        host.run = &filterRun;
        lastRoot = host.runOn(filterRun, tree.root() + rootSuffix).root;
        std::vector<std::string> relative;
        for (const auto& path : host.sink.paths())
            relative.push_back(path.substr(tree.root().size() + 1));
        return relative;
    }

    void SetUp() override {
        tree.file("top.txt", "12345");
        tree.file("a/one.txt");
        tree.file("a/deep/two.txt");
        tree.file("b/three.log");
    }
};

TEST_F(ScanRunTest, ScopesAndLevels) {
    EXPECT_EQ(run(TraversalScope::ThisFolder), (Names{"top.txt"}));
    // Pre-order: a folder's files before its sub-folders.
    EXPECT_EQ(run(TraversalScope::AllSubfolders),
              (Names{"top.txt", "a/one.txt", "a/deep/two.txt", "b/three.log"}));
    EXPECT_EQ(run(TraversalScope::Levels, "1"), (Names{"top.txt"}));
    EXPECT_EQ(run(TraversalScope::Levels, "2"), (Names{"top.txt", "a/one.txt", "b/three.log"}));
    EXPECT_EQ(run(TraversalScope::Levels, "3abc"), run(TraversalScope::AllSubfolders));
    EXPECT_EQ(run(TraversalScope::Levels, "1e40"), run(TraversalScope::AllSubfolders));
    EXPECT_EQ(run(TraversalScope::Levels, "garbage"), (Names{"top.txt"})); // 0 levels: the root only
    EXPECT_EQ(run(TraversalScope::AllSubfolders, "2", "*.log"), (Names{"b/three.log"}));
    // The integer value of the box; a root typed with trailing slashes is the same root.
    EXPECT_EQ(run(TraversalScope::Levels, "2.9"), run(TraversalScope::Levels, "2"));
    rootSuffix = "//";
    EXPECT_EQ(run(TraversalScope::Levels, "2"), (Names{"top.txt", "a/one.txt", "b/three.log"}));
    EXPECT_EQ(lastRoot, tree.root());
}

TEST_F(ScanRunTest, RowsAndStatus) {
    host.now = 5000;
    run(TraversalScope::ThisFolder);
    ASSERT_EQ(host.sink.rows.size(), 1u);
    const ResultRow& row = host.sink.rows[0];
    EXPECT_EQ(row.name, "top.txt");
    EXPECT_EQ(row.sizeText, "5 B");
    EXPECT_EQ(row.countText, "0");
    EXPECT_EQ(row.folder, tree.root() + "/");
    EXPECT_EQ(row.itemValue, 5u);
    EXPECT_EQ(row.timeText.size(), 19u);
    EXPECT_EQ(lastRoot, tree.root());
    EXPECT_FALSE(filterRun.running());
    EXPECT_EQ(host.statusTexts.front(), "(0 毫秒) 正在筛选：" + tree.root());
    EXPECT_EQ(host.statusTexts.back(), "筛选完毕！共筛选出 1 个文件，耗时 0 毫秒。请单击按钮操作列表！");
}

TEST_F(ScanRunTest, TimeColumnFollowsTheTimeOptions) {
    tree.setTimes("top.txt", 1393635907, 1393635907); // some local time on 2014-03-01
    host.opts.values.timeFilter = true;
    host.opts.values.timePart = DateTimeMode::TimeOnly;
    run(TraversalScope::ThisFolder);
    ASSERT_EQ(host.sink.rows.size(), 1u);
    EXPECT_EQ(host.sink.rows[0].timeText, dateTimeText(localDateTime(1393635907), DateTimeMode::TimeOnly));
    host.opts.values.timePart = DateTimeMode::DateOnly;
    run(TraversalScope::ThisFolder);
    EXPECT_EQ(host.sink.rows[0].timeText, dateTimeText(localDateTime(1393635907), DateTimeMode::DateOnly));
}

TEST_F(ScanRunTest, StopAfterAFileKeepsWhatWasListed) {
    host.onPump = [&] {
        if (host.sink.rows.size() == 2 && filterRun.running())
            host.clickStop();
    };
    // The click arrives in the pump before the third file: the walk ends without reading it (a
    // large file would keep the stop waiting for seconds).
    EXPECT_EQ(run(TraversalScope::AllSubfolders), (Names{"top.txt", "a/one.txt"}));
    EXPECT_EQ(host.statusTexts.back(), "筛选完毕！共筛选出 2 个文件，耗时 0 毫秒。请单击按钮操作列表！");
    EXPECT_FALSE(filterRun.running());
}

TEST_F(ScanRunTest, StopIsSeenInAWalkWhereNothingFits) {
    for (int i = 0; i < 200; ++i)
        tree.file("many/f" + std::to_string(i) + "/data.bin");
    host.onPump = [&] {
        if (host.pumps == 5)
            host.clickStop();
    };
    EXPECT_TRUE(run(TraversalScope::AllSubfolders, "2", "*.none").empty());
    EXPECT_EQ(host.pumps, 5);
    EXPECT_FALSE(filterRun.running());
}

TEST_F(ScanRunTest, FolderLinksAreFollowedOnlyWhenAskedAndEveryFolderOnce) {
    tree.link("a/back", tree.root());
    tree.link("a/self", tree.path("a"));
    tree.link("b/toA", tree.path("a"));
    tree.link("b/up", "/"); // a link out of the tree, above the root
    // A chain where each level links twice to the next: 2^n paths, n + 1 folders.
    for (int i = 0; i < 40; ++i) {
        tree.link("c/d" + std::to_string(i) + "/x", "../d" + std::to_string(i + 1));
        tree.link("c/d" + std::to_string(i) + "/y", "../d" + std::to_string(i + 1));
    }
    tree.file("c/d40/end.txt");
    const Names inTree{"top.txt", "a/one.txt", "a/deep/two.txt", "b/three.log", "c/d40/end.txt"};
    EXPECT_EQ(run(TraversalScope::AllSubfolders), inTree);
    ::unlink(tree.path("b/up").c_str());
    host.opts.values.followLinks = true;
    const auto followed = run(TraversalScope::AllSubfolders, "2", "one.txt|end.txt|two.txt");
    for (const char* name : {"one.txt", "two.txt", "end.txt"})
        EXPECT_EQ(std::count_if(followed.begin(), followed.end(),
                                [&](const std::string& path) { return path.ends_with(name); }),
                  1)
            << name;
}

TEST_F(ScanRunTest, UnreadableFolderIsSkipped) {
    ::chmod(tree.path("a").c_str(), 0);
    EXPECT_TRUE(karv::test::runWithoutPrivileges(tree.root(), [&] {
        return run(TraversalScope::AllSubfolders) == Names{"top.txt", "b/three.log"};
    }));
}

TEST_F(ScanRunTest, VanishedFileStillGivesARow) {
    // The file goes away between listing and its row: size 0 and an empty time.
    host.onPump = [&] {
        ::unlink(tree.path("top.txt").c_str());
    };
    const auto found = run(TraversalScope::ThisFolder);
    ASSERT_EQ(found, (Names{"top.txt"}));
    EXPECT_EQ(host.sink.rows[0].sizeText, "0 B");
    EXPECT_EQ(host.sink.rows[0].timeText, "");
}

TEST(ScanRunDeep, ThousandLevelsAndManyFiles) {
    TempTree tree;
    std::string relative;
    for (int level = 0; level < 1000; ++level)
        relative += "d/";
    tree.file(relative + "bottom.txt", "x");
    tree.folder("wide");
    for (int i = 0; i < 100000; ++i)
        std::ofstream(tree.path("wide/f" + std::to_string(i)));
    RecordingHost host;
    FilterRun run{host.sink, host.context};
    host.runOn(run, tree.root());
    // "d" sorts before "wide": the file a thousand folders down comes first.
    ASSERT_EQ(host.sink.rows.size(), 100001u);
    EXPECT_EQ(host.sink.rows[0].name, "bottom.txt");
    EXPECT_EQ(host.sink.rows[0].folder, tree.root() + "/" + relative);
    EXPECT_EQ(host.sink.rows[1].name, "f0");
    EXPECT_EQ(host.statusTexts.back().rfind("筛选完毕！", 0), 0u);
}

TEST(ScanRunDeep, PathsBeyondTheKernelLimitAreListedAndRead) {
    TempTree tree;
    // 450 levels of 10-character names: about 5,000 bytes of path at the bottom.
    std::string relative;
    for (int level = 1; level <= 450; ++level) {
        relative += "dddddddddd/";
        if (level % 100 == 0)
            tree.file(relative + "mid.txt", "x");
    }
    for (int i = 0; i < 10; ++i)
        tree.file(relative + "f" + std::to_string(i) + ".txt", "content");
    ASSERT_GT(tree.path(relative).size(), 4096u);

    // Far fewer descriptors than levels: the walk must not hold one per level.
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    RecordingHost host;
    FilterRun run{host.sink, host.context};
    host.runOn(run, tree.root());
    ::setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_EQ(host.sink.rows.size(), 14u); // four on the way down, ten at the bottom
    const ResultRow& last = host.sink.rows.back();
    EXPECT_EQ(last.name, "f9.txt");
    EXPECT_EQ(last.folder, tree.path(relative));
    EXPECT_EQ(last.sizeText, "7 B"); // its facts were read, not taken as a vanished file
    // The filters that read a file's content open it the same way.
    const int fd = openForReading(last.path());
    ASSERT_GE(fd, 0);
    char buffer[16] = {};
    EXPECT_EQ(::read(fd, buffer, sizeof buffer), 7);
    ::close(fd);
    EXPECT_STREQ(buffer, "content");
}

TEST(ScanRunLarge, StopIsSeenWhileALargeFolderIsRead) {
    TempTree tree;
    // More names than several poll steps, none of them fitting the pattern.
    tree.folder("big");
    for (std::size_t i = 0; i < 3 * kPollEntries; ++i)
        tree.file("big/f" + std::to_string(i));
    tree.file("zz/after.log");
    RecordingHost host;
    host.opts.values.patterns = "*.log";
    FilterRun run{host.sink, host.context};
    host.run = &run;
    host.runOn(run, tree.root());
    // Left alone, the walk polls inside the big folder, not once per folder (root, big, zz).
    EXPECT_GT(host.pumps, 6);
    ASSERT_EQ(host.sink.rows.size(), 1u);

    // A stop at the first poll in the big folder: no further poll, nothing after it listed.
    host.pumps = 0;
    host.sink.rows.clear();
    host.onPump = [&] {
        if (host.pumps == 2)
            host.clickStop();
    };
    host.runOn(run, tree.root());
    EXPECT_EQ(host.pumps, 2);
    EXPECT_TRUE(host.sink.rows.empty());
    EXPECT_FALSE(run.running());
}
