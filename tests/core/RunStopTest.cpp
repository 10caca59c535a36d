#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "scan/FilterRun.h"
#include "stats/FolderStatistics.h"
#include "support/FakeDesktop.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace karv;
using karv::test::RecordingHost;
using karv::test::TempTree;

namespace {

struct NoRows : StatisticsSink {
    void appendRow(StatisticsRow) override {}
};

} // namespace

// One stop token reaches every tool: a stop asked before or while a tool runs ends it with
// `stopped` in its outcome, and a run left alone is not reported stopped.
TEST(RunStop, EveryToolEndsStoppedWhenItsStopIsAsked) {
    TempTree tree;
    for (const char* name : {"a/one.txt", "a/two.txt", "b/three.txt", "b/four.txt"})
        tree.file(name, "same bytes");

    // Filter run: a stop at its first event pump.
    RecordingHost host;
    FilterRun run(host);
    host.run = &run;
    EXPECT_FALSE(run.runOn(tree.root()).stopped);
    EXPECT_EQ(host.sink.rows.size(), 4u);
    host.onPump = [&] {
        run.requestStop();
    };
    const FilterOutcome stoppedWalk = run.runOn(tree.root());
    EXPECT_TRUE(stoppedWalk.stopped);
    EXPECT_TRUE(host.sink.rows.empty());

    // Duplicate search: a stop while files are read for their digests, after the walk.
    RecordingHost dupHost;
    dupHost.opts.values.duplicateFilter = true;
    dupHost.opts.values.duplicateKind = DuplicateKind::Md5;
    FilterRun dupRun(dupHost);
    dupHost.run = &dupRun;
    FilterPipeline pipeline(dupHost.opts);
    DuplicateFinder finder(dupHost.opts);
    dupRun.setFilterStage(&pipeline);
    dupRun.setDuplicateStage(&finder);
    EXPECT_FALSE(dupRun.runOn(tree.root()).stopped);
    EXPECT_EQ(dupHost.sink.rows.size(), 3u); // all but one of four equal files
    dupHost.onPump = [&] {
        if (dupHost.status.find("正在读MD5") != std::string::npos)
            dupRun.requestStop();
    };
    EXPECT_TRUE(dupRun.runOn(tree.root()).stopped);

    // Statistics: a token stopped before the run starts.
    StopToken stop;
    NoProgress progress;
    karv::test::FakeClock clock;
    const RunContext context{stop, progress, {}, clock};
    StatisticsRequest request;
    request.folder = tree.root();
    request.recurse = true;
    request.patternList = [] {
        return std::string("*.*");
    };
    NoRows rows;
    EXPECT_FALSE(runStatistics(request, context, rows).stopped);
    stop.requestStop();
    const RunOutcome stoppedCount = runStatistics(request, context, rows);
    EXPECT_TRUE(stoppedCount.stopped);
    EXPECT_EQ(stoppedCount.processed, 1u); // the first folder only
}
