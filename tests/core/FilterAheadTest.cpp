// The content search and count of files run on worker threads ahead of the run's thread, the walk
// queuing the files of folder after folder. The rows must be those, in the order, of a run on one
// thread, and a stop must end the list at a file of the walk, with nothing listed after it.
#include "core/RunHarness.h"
#include "filter/FilterPipeline.h"
#include "support/TempTree.h"
#include "text/NameText.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>

using namespace karv;
using karv::test::TempTree;
using karv::test::TestHost;

namespace {

/// A tree of three folders of files that hit early, late (beyond a short head), only by name,
/// after a GBK lead (no hit) or not at all, with a few texts of their own length.
void fillTree(TempTree& tree) {
    std::mt19937 rng(31);
    const std::string filler(300, 'x');
    for (int i = 0; i < 240; ++i) {
        std::string text;
        switch (rng() % 5) {
        case 0:
            text = "INVOICE " + filler;
            break;
        case 1:
            text = filler + "\xE4\xB8\xAD<b>" + filler + " invoice";
            break;
        case 2:
            text = "\xD6Invoice" + filler;
            break;
        default:
            text = filler.substr(0, rng() % 300);
            break;
        }
        const std::string name = (rng() % 3 == 0 ? "invoice" : "f") + std::to_string(i) + ".txt";
        tree.file("d" + std::to_string(i % 3) + "/" + name, text);
    }
}

struct Listed {
    std::vector<std::string> paths;
    std::vector<std::string> counts;
    FilterOutcome outcome;
};

enum class Filters { Search, SearchAndCount, Count };

Listed runWith(const std::string& root, unsigned threads, Filters filters, std::size_t stopAtRows = 0) {
    const bool count = filters != Filters::Search;
    TestHost host;
    host.opts.values.patterns = "*";
    host.opts.values.contentFilter = filters != Filters::Count;
    host.opts.values.contentInName = count; // name and text must both hit
    host.opts.values.contentInText = true;
    host.opts.values.contentText = "invoice|\xE4\xB8\xAD x";
    host.opts.values.lengthFilter = count;
    host.opts.values.lengthMeasure = LengthMeasure::Characters;
    host.opts.values.lengthUnit = 0;
    host.opts.values.lengthFrom = "0";
    host.opts.values.lengthTo = "400";
    host.opts.values.stripTags = count;
    FilterRun run{host.sink, host.context};
    host.run = &run;
    FilterPipeline pipeline(host.opts);
    pipeline.setStreamSizes(64, 16);
    pipeline.setAheadThreads(threads);
    run.setFilterStage(&pipeline);
    host.onPump = [&] {
        // By rows listed, not by pumps: how many pumps come before the first row depends on how
        // fast the workers are.
        if (stopAtRows > 0 && host.sink.count() >= stopAtRows)
            run.requestStop();
    };
    Listed listed;
    listed.outcome = host.runOn(run, root);
    listed.paths = host.sink.paths();
    for (const ResultRow& row : host.sink.rows)
        listed.counts.push_back(row.countText);
    return listed;
}

} // namespace

TEST(FilterAhead, ListsWhatOneThreadListsInWalkOrder) {
    TempTree tree;
    fillTree(tree);
    for (const Filters filters : {Filters::Search, Filters::SearchAndCount, Filters::Count}) {
        SCOPED_TRACE(static_cast<int>(filters));
        const Listed one = runWith(tree.root(), 1, filters);
        const Listed many = runWith(tree.root(), 4, filters);
        EXPECT_GT(one.paths.size(), 10u);
        EXPECT_EQ(many.paths, one.paths);
        EXPECT_EQ(many.counts, one.counts);
        EXPECT_EQ(many.outcome.processed, one.outcome.processed);
    }
}

TEST(FilterAhead, AStopEndsTheListAtAFileOfTheWalk) {
    TempTree tree;
    fillTree(tree);
    const Listed all = runWith(tree.root(), 4, Filters::Search);
    const Listed stopped = runWith(tree.root(), 4, Filters::Search, 5);
    EXPECT_TRUE(stopped.outcome.stopped);
    ASSERT_LT(stopped.paths.size(), all.paths.size());
    EXPECT_GE(stopped.paths.size(), 5u);
    EXPECT_TRUE(std::equal(stopped.paths.begin(), stopped.paths.end(), all.paths.begin()));
}

TEST(FilterAhead, FilesQueuedAcrossManyFoldersKeepTheWalkOrderAndLeaveNoFolderOpen) {
    // Many folders of a file or two, nested and side by side, and one of several windows of files,
    // under a descriptor limit that lets only a few of them wait for their files at a time.
    TempTree tree;
    for (int i = 0; i < 600; ++i)
        tree.file("a3/many/f" + std::to_string(i) + ".txt", i % 50 == 0 ? "invoice" : "none");
    for (int i = 0; i < 90; ++i) {
        const std::string folder = "a" + std::to_string(i % 7) + "/b" + std::to_string(i) + "/";
        tree.file(folder + "x.txt", i % 3 == 0 ? "total; invoice" : "none");
        if (i % 4 == 0)
            tree.file(folder + "c/y.txt", "INVOICE");
    }
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const auto before = openDescriptors();
    const Listed one = runWith(tree.root(), 1, Filters::Search);
    const Listed many = runWith(tree.root(), 4, Filters::Search);
    const auto after = openDescriptors();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(one.paths.size(), 65u);
    EXPECT_EQ(many.paths, one.paths);
    EXPECT_EQ(many.outcome.processed, one.outcome.processed);
    EXPECT_EQ(after, before);
}
