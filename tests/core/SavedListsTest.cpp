#include "actions/SavedLists.h"

#include "actions/ListBatch.h"
#include "files/FileFacts.h"
#include "support/FakeDesktop.h"
#include "support/ListRows.h"
#include "support/TempTree.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

using namespace karv;
using namespace karv::test;

TEST(SavedLists, AReloadedListMarksChangedAndVanishedFilesAndActionsSkipThem) {
    TempTree tree;
    const std::vector<ResultRow> saved = {listedRow(tree.file("same.txt", "same")),
                                          listedRow(tree.file("changed.txt", "before")),
                                          listedRow(tree.file("gone.txt", "gone"))};
    const std::string text = savedListText(saved);
    std::ofstream(tree.path("changed.txt"), std::ios::app) << " and after";
    std::remove(tree.path("gone.txt").c_str());

    files::FileOps files;
    std::vector<LoadedRow> loaded;
    RowListError error;
    ASSERT_TRUE(loadSavedList(text, files, loaded, error)) << error.message;
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0].state, ListedState::AsListed);
    EXPECT_EQ(loaded[1].state, ListedState::Changed);
    EXPECT_EQ(loaded[2].state, ListedState::Vanished);

    // Moved to another folder: only the file still as listed goes.
    MemoryRows rows;
    BatchRequest request;
    request.act = BatchAct::Move;
    request.folder = tree.folder("dest") + "/";
    for (const LoadedRow& row : loaded) {
        rows.rows.push_back(row.row);
        request.rows.push_back({rows.rows.size() - 1, row.row});
    }
    FakeClock clock;
    StopToken stop;
    NoProgress quiet;
    const RunOutcome outcome = ListBatch(files).run(request, {stop, quiet, {}, clock}, rows, rows);
    EXPECT_EQ(outcome.succeeded, 1u);
    EXPECT_EQ(outcome.failures.total(), 2u);
    EXPECT_EQ(tree.read("dest/same.txt"), "same");
    EXPECT_EQ(tree.read("changed.txt"), "before and after");
}

TEST(SavedLists, ARowWithoutIdentityTakesTheOneItsFileHasNow) {
    TempTree tree;
    const std::string path = tree.file("plain.txt", "x");
    files::FileOps files;
    std::vector<LoadedRow> loaded;
    RowListError error;
    ASSERT_TRUE(loadSavedList("{\"path\":\"" + path + "\"}\n", files, loaded, error)) << error.message;
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].state, ListedState::AsListed);
    EXPECT_TRUE(loaded[0].row.stamp.known);
    EXPECT_EQ(loaded[0].row.stamp.inode, statFile(path)->inode);
}
