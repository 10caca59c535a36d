#include "actions/ListBatch.h"
#include "classify/ClassificationRun.h"
#include "classify/ClassificationUndo.h"
#include "desktop/Desktop.h"
#include "duplicates/DuplicateFinder.h"
#include "files/FileFacts.h"
#include "filter/FilterPipeline.h"
#include "scan/FilterRun.h"
#include "stats/FolderStatistics.h"
#include "support/FakeDesktop.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace karv;
using karv::test::contentOf;
using karv::test::present;
using karv::test::RecordingHost;
using karv::test::TempTree;

namespace {

/// Asks its token to stop once the `after`-th file is in hand (or, for a classification, done).
class StopAfter : public ProgressSink {
public:
    explicit StopAfter(int after) : m_after(after) {}
    StopToken stop;
    void progress(const RunProgress& now) override {
        if (now.stage == RunStage::Placing && ++m_placed == m_after)
            stop.requestStop();
    }

private:
    int m_after;
    int m_placed = 0;
};

class ListRows : public ActionRows, public TargetExistsQuestion {
public:
    std::vector<ResultRow> rows;
    std::vector<std::size_t> selectedRows() override { return {}; }
    std::size_t rowCount() override { return rows.size(); }
    ResultRow row(std::size_t index) override { return rows.at(index); }
    void setRowPlace(std::size_t, const std::string&, const std::string&, const RowStamp&) override {}
    void removeRow(std::size_t index) override {
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
    }
    int askTargetExists(const std::string&, bool&) override { return kConflictNone; }
};

ResultRow rowFor(const std::string& path) {
    ResultRow row;
    row.name = path.substr(path.rfind('/') + 1);
    row.folder = path.substr(0, path.rfind('/') + 1);
    if (const auto stat = statFile(path))
        row.stamp = rowStamp(*stat, *statFile(row.folder));
    return row;
}

class Rows : public ClassificationLive, public ClassificationSink {
public:
    std::vector<std::string> paths;
    bool randomOrder() override { return false; }
    std::string patternList() override { return "*.*"; }
    bool keywordSearch() override { return false; }
    std::size_t listRowCount() override { return paths.size(); }
    std::optional<std::string> listRowPath(std::size_t row) override { return paths.at(row); }
};

files::FailureReason onlyReason(const RunOutcome& outcome) {
    const auto groups = outcome.failures.groups();
    EXPECT_EQ(groups.size(), 1u);
    return groups.empty() ? files::FailureReason::Other : groups[0].reason;
}

} // namespace

// One stop token ends a list batch, a classification and an undo between two files: each says it
// was stopped, leaves the rest as it was, and names why the files before the stop failed.
TEST(RunStop, EveryToolEndsStoppedWithItsFailuresByReason) {
    test::TempTree tree;
    SteadyClock clock;
    const std::string target = tree.folder("target") + "/";
    files::FileOps fileOps;
    for (const BatchAct act : {BatchAct::Move, BatchAct::Remove}) {
        ListRows list;
        const std::string folder = act == BatchAct::Move ? "m/" : "r/";
        list.rows = {rowFor(tree.file(folder + "a", "a")), rowFor(tree.file(folder + "gone", "g")),
                     rowFor(tree.file(folder + "b", "b"))};
        ::unlink(tree.path(folder + "gone").c_str());
        // A move goes down the list, a delete up it: the gone file is the first one or the second.
        if (act == BatchAct::Move)
            list.rows = {list.rows[1], list.rows[0], list.rows[2]};
        StopAfter progress(2);
        const RunContext context{progress.stop, progress, {}, clock};
        const RunOutcome outcome = ListBatch(fileOps).run(
            {act, {{0, list.rows[0]}, {1, list.rows[1]}, {2, list.rows[2]}}, target, kConflictNone}, context,
            list, list);
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(onlyReason(outcome), files::FailureReason::Vanished);
        EXPECT_EQ(outcome.failures.total(), 1u);
        EXPECT_TRUE(present(tree.path(folder + (act == BatchAct::Move ? "b" : "a"))));
    }

    // A classification fails a listed file that is gone and moves the next ones, then the stop; its
    // undo takes back the last file moved, fails the one before, whose moved file is gone, then the
    // stop.
    Rows rows;
    rows.paths = {tree.path("c/missing"), tree.file("c/x", "x"), tree.file("c/y", "y"), tree.file("c/z", "z"),
                  tree.file("c/w", "w")};
    ClassificationSettings settings;
    settings.mainListMode = true;
    settings.keepOriginal = false;
    settings.templateText = tree.folder("out") + "/[文件名]";
    auto disk = diskPlacementFiles();
    ClassificationRun run(*disk, tree.folder("logs"));
    StopAfter classifying(4);
    const ClassificationSummary summary =
        run.run({settings, rows}, {classifying.stop, classifying, {}, clock}, rows);
    const RunOutcome classified = summary.outcome();
    EXPECT_TRUE(classified.stopped);
    EXPECT_EQ(classified.processed, 4u);
    EXPECT_EQ(onlyReason(classified), files::FailureReason::Vanished);
    EXPECT_EQ(contentOf(tree.path("c/w")), "w");

    ::unlink(tree.path("out/y").c_str());
    StopAfter undoing(2);
    const UndoResult undone =
        undoLastClassification(tree.path("logs"), *disk, {undoing.stop, undoing, {}, clock});
    EXPECT_TRUE(undone.outcome.stopped);
    EXPECT_EQ(undone.outcome.processed, 2u);
    EXPECT_EQ(onlyReason(undone.outcome), files::FailureReason::Vanished);
    EXPECT_TRUE(present(tree.path("out/x")));
}

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
    FilterRun run{host.sink, host.context};
    host.run = &run;
    EXPECT_FALSE(host.runOn(run, tree.root()).stopped);
    EXPECT_EQ(host.sink.rows.size(), 4u);
    host.onPump = [&] {
        run.requestStop();
    };
    const FilterOutcome stoppedWalk = host.runOn(run, tree.root());
    EXPECT_TRUE(stoppedWalk.stopped);
    EXPECT_TRUE(host.sink.rows.empty());

    // Duplicate search: a stop while files are read for their digests, after the walk.
    RecordingHost dupHost;
    dupHost.opts.values.duplicateFilter = true;
    dupHost.opts.values.duplicateKind = DuplicateKind::Md5;
    FilterRun dupRun{dupHost.sink, dupHost.context};
    dupHost.run = &dupRun;
    FilterPipeline pipeline(dupHost.opts);
    DuplicateFinder finder(dupHost.opts);
    dupRun.setFilterStage(&pipeline);
    dupRun.setDuplicateStage(&finder);
    EXPECT_FALSE(dupHost.runOn(dupRun, tree.root()).stopped);
    EXPECT_EQ(dupHost.sink.rows.size(), 3u); // all but one of four equal files
    dupHost.onPump = [&] {
        if (dupHost.status.find("正在读MD5") != std::string::npos)
            dupRun.requestStop();
    };
    EXPECT_TRUE(dupHost.runOn(dupRun, tree.root()).stopped);

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
