#include "actions/BatchUndo.h"

#include "actions/BatchJournal.h"
#include "actions/ListBatch.h"
#include "files/FileFacts.h"
#include "support/FakeDesktop.h"
#include "support/FaultySyscalls.h"
#include "support/ListRows.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace karv;
using namespace karv::test;

namespace {

struct Undone : BatchUndoSink {
    std::vector<BatchUndoItem> items;
    void item(const BatchUndoItem& item) override { items.push_back(item); }
};

/// A tree with files to act on, a target folder, a data folder for the journal and a trash of its own.
struct Bench {
    TempTree tree;
    std::string data = tree.folder("data");
    std::string dest = tree.folder("dest") + "/";
    ScopedEnv trashHome{"XDG_DATA_HOME", tree.folder("share")};
    FakeClock clock;
    StopToken stop;
    NoProgress quiet;
    RunContext context{stop, quiet, {}, clock};

    RunOutcome batch(BatchAct act, const std::vector<std::string>& names, files::FileOps& files) {
        MemoryRows rows;
        BatchRequest request;
        request.act = act;
        request.folder = dest;
        for (const std::string& name : names) {
            rows.rows.push_back(listedRow(tree.file("in/" + name, "content of " + name)));
            request.rows.push_back({rows.rows.size() - 1, rows.rows.back()});
        }
        ListBatch batch(files);
        batch.setJournalFolder(data);
        return batch.run(request, context, rows, rows);
    }
    BatchUndoResult undo(Undone& undone, bool preview = false) {
        files::FileOps files;
        return undoLastBatch({data, preview}, files, context, undone);
    }
};

} // namespace

TEST(BatchUndo, AFailureMidBatchLeavesTheDoneFilesJournaledAndUndoable) {
    Bench b;
    FaultySyscalls faulty;
    faulty.failAll(FaultySyscalls::Call::Rename, EACCES, "/b.txt");
    faulty.failAll(FaultySyscalls::Call::Link, EACCES, "/b.txt");
    files::FileOps files(faulty);
    const RunOutcome outcome = b.batch(BatchAct::Move, {"a.txt", "b.txt", "c.txt"}, files);
    EXPECT_EQ(outcome.succeeded, 2u);
    EXPECT_EQ(outcome.failures.total(), 1u);
    BatchJournal journal;
    std::string problem;
    ASSERT_EQ(readBatchJournal(b.data, journal, problem), BatchJournalState::Read) << problem;
    ASSERT_EQ(journal.records.size(), 2u);
    EXPECT_EQ(journal.records[1].target, b.dest + "c.txt");

    Undone undone;
    const BatchUndoResult result = b.undo(undone);
    EXPECT_EQ(result.outcome.succeeded, 2u) << result.problem;
    EXPECT_TRUE(result.outcome.failures.empty());
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(b.tree.read(std::string("in/") + name), std::string("content of ") + name);
    EXPECT_FALSE(present(b.dest + "a.txt"));
    Undone again;
    EXPECT_TRUE(b.undo(again).nothingToUndo);
    EXPECT_TRUE(again.items.empty());
}

TEST(BatchUndo, AMoveBackNeverOverwritesAFileThatTookItsPlace) {
    Bench b;
    files::FileOps files;
    ASSERT_EQ(b.batch(BatchAct::Move, {"x.txt", "y.txt"}, files).succeeded, 2u);
    b.tree.file("in/y.txt", "newcomer");
    Undone undone;
    const BatchUndoResult result = b.undo(undone);
    EXPECT_EQ(result.outcome.succeeded, 1u);
    ASSERT_EQ(result.outcome.failures.groups().size(), 1u);
    EXPECT_EQ(result.outcome.failures.groups()[0].reason, files::FailureReason::TargetExists);
    EXPECT_EQ(b.tree.read("in/x.txt"), "content of x.txt");
    EXPECT_EQ(b.tree.read("in/y.txt"), "newcomer");
    EXPECT_EQ(contentOf(b.dest + "y.txt"), "content of y.txt");
}

TEST(BatchUndo, CopiesStillAsMadeGoToTheTrashAndChangedOnesStay) {
    Bench b;
    files::FileOps files;
    ASSERT_EQ(b.batch(BatchAct::Copy, {"p.txt", "q.txt"}, files).succeeded, 2u);
    std::ofstream(b.dest + "q.txt", std::ios::app) << " edited";
    Undone undone;
    const BatchUndoResult result = b.undo(undone);
    EXPECT_EQ(result.outcome.succeeded, 1u);
    ASSERT_EQ(result.outcome.failures.groups().size(), 1u);
    EXPECT_EQ(result.outcome.failures.groups()[0].reason, files::FailureReason::ChangedSinceListed);
    EXPECT_FALSE(present(b.dest + "p.txt"));
    EXPECT_EQ(contentOf(b.tree.path("share/Trash/files/p.txt")), "content of p.txt");
    EXPECT_EQ(contentOf(b.dest + "q.txt"), "content of q.txt edited");
    EXPECT_EQ(b.tree.read("in/p.txt"), "content of p.txt"); // the originals are never touched
}

TEST(BatchUndo, TrashedFilesComeBackAndAPreviewChangesNothing) {
    Bench b;
    files::FileOps files;
    ASSERT_EQ(b.batch(BatchAct::Trash, {"t1.txt", "t2.txt"}, files).succeeded, 2u);
    ASSERT_TRUE(present(b.tree.path("share/Trash/info/t1.txt.trashinfo")));
    EXPECT_FALSE(present(b.tree.path("in/t1.txt")));

    Undone preview;
    EXPECT_EQ(b.undo(preview, true).outcome.succeeded, 2u);
    ASSERT_EQ(preview.items.size(), 2u);
    // A trashing goes from the bottom of the list up; its undo takes the last one trashed first.
    EXPECT_EQ(preview.items[0].to, b.tree.path("in/t1.txt"));
    EXPECT_FALSE(present(b.tree.path("in/t1.txt")));

    Undone undone;
    const BatchUndoResult result = b.undo(undone);
    EXPECT_EQ(result.outcome.succeeded, 2u) << result.problem;
    EXPECT_EQ(b.tree.read("in/t1.txt"), "content of t1.txt");
    EXPECT_EQ(b.tree.read("in/t2.txt"), "content of t2.txt");
    EXPECT_FALSE(present(b.tree.path("share/Trash/files/t1.txt")));
    EXPECT_FALSE(present(b.tree.path("share/Trash/info/t1.txt.trashinfo")));
    Undone again;
    EXPECT_TRUE(b.undo(again).nothingToUndo);
}
