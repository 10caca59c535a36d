#include "classify/ClassificationRun.h"

#include "settings/SettingsFiles.h"
#include "support/FaultySyscalls.h"
#include "support/TempTree.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace karv;
namespace fs = std::filesystem;

namespace {

/// Plays the window: fixed settings, a list of rows, a caption, and what the run reported.
class TestHost : public ClassificationHost {
public:
    ClassificationSettings values;
    bool random = false;
    std::string patterns = "*.*";
    std::vector<std::string> rows;
    std::function<void()> onPump;
    std::string captionText{kClassifyIdleCaption};
    std::vector<std::pair<std::string, std::string>> done; // source, target of each success
    std::vector<std::string> failed;
    std::optional<ClassificationSummary> summary;
    std::int64_t tick = 0;

    ClassificationSettings settings() override { return values; }
    void saveControlStates() override {}
    std::string caption() const override { return captionText; }
    void setCaption(std::string_view caption) override { captionText = caption; }
    void setCaptionLeftAligned(bool) override {}
    bool randomOrder() override { return random; }
    std::string patternList() override { return patterns; }
    bool keywordSearch() override { return values.keywordSearch; }
    std::size_t listRowCount() override { return rows.size(); }
    std::optional<std::string> listRowPath(std::size_t row) override { return rows.at(row); }
    void pump() override {
        if (onPump)
            onPump();
    }
    std::int64_t tickMs() override { return ++tick; }
    void fileDone(const std::string& source, const std::string& target, bool ok) override {
        if (ok)
            done.emplace_back(source, target);
        else
            failed.push_back(source);
    }
    void finished(const ClassificationSummary& result) override { summary = result; }
};

std::string read(const std::string& path) {
    std::string content;
    settingsio::readWholeFile(path, content);
    return content;
}

std::size_t filesIn(const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

std::size_t linesOf(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Fixture {
    test::TempTree tree;
    std::string logs = tree.folder("logs");
    TestHost host;
    std::unique_ptr<PlacementFiles> disk = diskPlacementFiles();
    ClassificationRun run{host, *disk, logs};

    Fixture() {
        host.values.keepOriginal = false;
        host.values.folder = tree.path("in");
    }
    std::string log(std::string_view name) { return read(logPath(logs, name)); }
};

} // namespace

TEST(ClassificationRun, FolderBatchesRestartPerFolderAndCreatedFoldersAreNeverVisited) {
    Fixture f;
    for (int i = 0; i < 250; ++i)
        f.tree.file("in/f" + std::to_string(1000 + i) + ".txt", std::to_string(i));
    f.tree.file("in/sub/a.txt", "a");
    f.tree.file("in/sub/b.txt", "b");
    f.host.values.recurse = true;
    f.run.runClassification();

    EXPECT_EQ(filesIn(f.tree.path("in/1")), 100u);
    EXPECT_EQ(filesIn(f.tree.path("in/2")), 100u);
    EXPECT_EQ(filesIn(f.tree.path("in/3")), 50u);
    EXPECT_EQ(filesIn(f.tree.path("in/sub/1")), 2u);
    EXPECT_EQ(filesIn(f.tree.path("in")), 0u);
    EXPECT_FALSE(fs::exists(f.tree.path("in/1/1")));
    EXPECT_EQ(read(f.tree.path("in/3/f1249.txt")), "249");

    ASSERT_TRUE(f.host.summary);
    EXPECT_EQ(f.host.summary->processed, 252);
    EXPECT_EQ(f.host.summary->failures, 0);
    EXPECT_EQ(linesOf(f.host.summary->shownText), 100u);
    const std::string before = f.log(kBeforeLogName), after = f.log(kAfterLogName);
    EXPECT_EQ(linesOf(before), 252u);
    EXPECT_EQ(linesOf(after), 252u);
    EXPECT_EQ(before.substr(0, f.tree.path("in/f1000.txt").size() + 2), f.tree.path("in/f1000.txt") + "\r\n");
    EXPECT_EQ(f.log(kFailureLogName), "");
    EXPECT_EQ(f.host.captionText, kClassifyIdleCaption);
}

TEST(ClassificationRun, MainListNumbersBatchesAcrossTheListAndSkipsRepeatedRows) {
    Fixture f;
    for (const char* name : {"a/x1", "a/x2", "a/x3", "b/y1", "b/y2", "b/y3"})
        f.host.rows.push_back(f.tree.file(name, name));
    f.host.rows.push_back(f.host.rows[0]);
    f.host.values.mainListMode = true;
    f.host.values.batchSizeText = "2";
    f.host.values.batchMode = BatchMode::Letters;
    f.run.runClassification();

    for (const char* name : {"a/A/x1", "a/A/x2", "a/B/x3", "b/B/y1", "b/C/y2", "b/C/y3"})
        EXPECT_TRUE(fs::exists(f.tree.path(name))) << name;
    EXPECT_EQ(f.host.done.size(), 6u);
    EXPECT_TRUE(f.host.failed.empty());
}

TEST(ClassificationRun, CollisionsTakeTheNextFreeNameAndLoseNothing) {
    for (const bool copy : {false, true}) {
        Fixture f;
        const std::string a = f.tree.file("in/a/same.txt", "from a");
        const std::string b = f.tree.file("in/b/same.txt", "from b");
        f.tree.file("out/same.txt", "already there");
        f.host.values.recurse = true;
        f.host.values.keepOriginal = copy;
        f.host.values.templateText = f.tree.path("out") + "/[文件名]";
        f.run.runClassification();

        EXPECT_EQ(read(f.tree.path("out/same.txt")), "already there");
        EXPECT_EQ(read(f.tree.path("out/same2.txt")), "from a");
        EXPECT_EQ(read(f.tree.path("out/same3.txt")), "from b");
        EXPECT_EQ(fs::exists(a), copy);
        EXPECT_EQ(f.log(kAfterLogName),
                  f.tree.path("out/same2.txt") + "\r\n" + f.tree.path("out/same3.txt") + "\r\n");
        EXPECT_EQ(f.host.summary->failures, 0);
    }

    EXPECT_EQ(renamedTarget("/a/b.tar.gz", 2), "/a/b.tar2.gz");
    EXPECT_EQ(renamedTarget("/a/README", 3), "/a/README3");
    EXPECT_EQ(renamedTarget("/a/.cfg", 2), "/a/.cfg2");

    // A file whose target is itself stays, counted as done.
    Fixture f;
    const std::string own = f.tree.file("in/own.txt", "own");
    f.host.values.templateText = "[父目录路径]/[文件名]";
    f.run.runClassification();
    EXPECT_EQ(read(own), "own");
    EXPECT_EQ(filesIn(f.tree.path("in")), 1u);
    ASSERT_EQ(f.host.done.size(), 1u);
    EXPECT_EQ(f.host.done[0].second, own);
    EXPECT_EQ(f.host.summary->failures, 0);

    // A template that ends in a folder gives no file name: a failure, not a made-up name.
    Fixture g;
    const std::string kept = g.tree.file("in/k.txt", "k");
    g.tree.folder("in/1");
    g.host.values.templateText = "[父目录路径]/[批次名]/";
    g.run.runClassification();
    EXPECT_EQ(g.host.summary->failures, 1);
    EXPECT_EQ(read(kept), "k");
    EXPECT_EQ(filesIn(g.tree.path("in/1")), 0u);
}

TEST(ClassificationRun, KeywordLinesGroupFilesUnderTheFirstLineThatMatches) {
    Fixture f;
    f.tree.file("in/年度报告.doc");
    f.tree.file("in/月度总结.doc");
    f.tree.file("in/其他.doc");
    f.host.values.keywordSearch = true;
    f.host.values.keywordText = "报告|总结\r\n报告\r\n";
    f.host.values.templateText = "[父目录路径]/[关键词]/[文件名]";
    f.run.runClassification();

    // Filled from the end of the listing: reverse order within a line.
    ASSERT_EQ(f.host.done.size(), 2u);
    EXPECT_EQ(f.host.done[0].second, f.tree.path("in/报告｜总结/月度总结.doc"));
    EXPECT_EQ(f.host.done[1].second, f.tree.path("in/报告｜总结/年度报告.doc"));
    EXPECT_TRUE(fs::exists(f.tree.path("in/其他.doc")));

    // No keyword lines: nothing is classified.
    Fixture empty;
    empty.tree.file("in/报告.doc");
    empty.host.values.keywordSearch = true;
    empty.run.runClassification();
    EXPECT_TRUE(empty.host.done.empty());
    EXPECT_EQ(empty.host.summary->shownText, "");
}

TEST(ClassificationRun, RandomOrderVisitsEveryFileOnce) {
    Fixture f;
    std::set<std::string> sources;
    for (int i = 0; i < 40; ++i)
        sources.insert(f.tree.file("in/r" + std::to_string(i)));
    f.host.random = true;
    f.host.values.batchSizeText = "0"; // every file a batch of its own
    // The logs live in the folder being classified: they are not among its files.
    ClassificationRun run(f.host, *f.disk, f.tree.path("in"));
    run.runClassification();

    std::set<std::string> seen;
    for (const auto& [source, target] : f.host.done)
        seen.insert(source);
    EXPECT_EQ(seen, sources);
    EXPECT_EQ(f.host.done.size(), 40u);
    EXPECT_TRUE(fs::exists(f.tree.path("in/40")));
    EXPECT_EQ(linesOf(read(logPath(f.tree.path("in"), kAfterLogName))), 40u);
}

TEST(ClassificationRun, StopEndsAfterTheCurrentFileWithLogsAndSummary) {
    Fixture f;
    for (int i = 0; i < 20; ++i)
        f.tree.file("in/s" + std::to_string(100 + i));
    int pumps = 0;
    f.host.onPump = [&] {
        if (++pumps == 6)
            f.run.runClassification(); // the click on the running button
    };
    f.run.runClassification();

    ASSERT_TRUE(f.host.summary);
    EXPECT_TRUE(f.host.summary->stopped);
    EXPECT_EQ(f.host.summary->processed, 6);
    EXPECT_EQ(linesOf(f.log(kBeforeLogName)), 6u);
    EXPECT_EQ(filesIn(f.tree.path("in")), 14u);
    EXPECT_EQ(f.host.captionText, kClassifyIdleCaption);
}

TEST(ClassificationRun, FailuresAreLoggedCountedAndLoseNothing) {
    test::FaultySyscalls calls;
    Fixture f;
    auto faulty = diskPlacementFiles(calls);
    ClassificationRun run(f.host, *faulty, f.logs);
    const std::string kept = f.tree.file("in/keep.txt", "data");
    const std::string gone = f.tree.path("in/gone.txt");
    f.host.values.mainListMode = true;
    f.host.rows = {gone, kept};
    f.host.values.keepOriginal = true;
    calls.failAll(test::FaultySyscalls::Call::Write, ENOSPC);
    calls.failAll(test::FaultySyscalls::Call::CopyRange, ENOSPC);
    run.runClassification();

    EXPECT_EQ(f.host.summary->failures, 2);
    EXPECT_EQ(f.log(kFailureLogName), gone + "\r\n" + kept + "\r\n");
    EXPECT_EQ(read(kept), "data");
    EXPECT_EQ(filesIn(f.tree.path("in/1")), 0u); // no partial or temporary copy left
}
