#include "support/CliRun.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <fstream>
#include <gtest/gtest.h>

using karv::test::contentOf;
using karv::test::present;
using karv::test::runCli;
using karv::test::ScopedEnv;
using karv::test::TempTree;

namespace {

/// A tree of files to act on, a target folder, a data folder for the journal and a trash of its own.
struct ActTree {
    TempTree tree;
    std::string in = tree.folder("in");
    std::string dest = tree.folder("dest");
    std::string logs = tree.folder("logs");
    ScopedEnv trashHome{"XDG_DATA_HOME", tree.folder("share")};

    std::string listOf(const std::vector<std::string>& scanArgs, const std::string& name) {
        std::vector<std::string> args = {"scan", "--pattern", "*.txt"};
        args.insert(args.end(), scanArgs.begin(), scanArgs.end());
        args.push_back(in);
        const auto scanned = runCli(args);
        EXPECT_EQ(scanned.status, 0) << scanned.err;
        const std::string path = tree.path(name);
        std::ofstream(path, std::ios::binary) << scanned.out;
        return path;
    }
    karv::test::CliResult act(std::vector<std::string> args) {
        args.insert(args.begin(), "act");
        args.push_back("--log-dir");
        args.push_back(logs);
        return runCli(args);
    }
};

} // namespace

TEST(ActCommand, ScannedPathsGoToTheTrashAndUndoBringsThemBack) {
    ActTree t;
    t.tree.file("in/a.txt", "a");
    t.tree.file("in/new\nline.txt", "b");
    const std::string list = t.listOf({"--format", "paths", "-0"}, "list");
    const auto trashed = t.act({"--trash", "--from-list", list, "-0"});
    EXPECT_EQ(trashed.status, 0) << trashed.err;
    // As in the window, a trashing goes from the bottom of the list up.
    EXPECT_EQ(trashed.out, "trash\t" + t.in + "/new\\nline.txt\t" +
                               t.tree.path("share/Trash/files/new\\nline.txt") + "\ntrash\t" + t.in +
                               "/a.txt\t" + t.tree.path("share/Trash/files/a.txt") + "\n");
    EXPECT_FALSE(present(t.in + "/a.txt"));

    const auto preview = t.act({"--undo", "--dry-run"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_FALSE(present(t.in + "/a.txt"));
    const auto undone = t.act({"--undo"});
    EXPECT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(undone.out, preview.out);
    EXPECT_EQ(
        undone.out.rfind("restore\t" + t.tree.path("share/Trash/files/a.txt") + "\t" + t.in + "/a.txt\n", 0),
        0u);
    EXPECT_EQ(contentOf(t.in + "/a.txt"), "a");
    EXPECT_EQ(contentOf(t.in + "/new\nline.txt"), "b");
    EXPECT_EQ(t.act({"--undo"}).out, ""); // nothing left to take back
}

TEST(ActCommand, AJsonListSkipsChangedAndVanishedFilesAndReachesGbkNames) {
    ActTree t;
    t.tree.file("in/\xb1\xa8.txt", "gbk");
    t.tree.file("in/changed.txt", "before");
    t.tree.file("in/gone.txt", "gone");
    t.tree.file("in/same.txt", "same");
    const std::string list = t.listOf({"--format", "json"}, "list.json");
    std::ofstream(t.in + "/changed.txt", std::ios::app) << " and after";
    std::remove((t.in + "/gone.txt").c_str());

    const auto moved = t.act({"--move", t.dest, "--from-list", list});
    EXPECT_EQ(moved.status, 1);
    EXPECT_EQ(contentOf(t.dest + "/\xb1\xa8.txt"), "gbk");
    EXPECT_EQ(contentOf(t.dest + "/same.txt"), "same");
    EXPECT_EQ(contentOf(t.in + "/changed.txt"), "before and after");
    EXPECT_FALSE(present(t.dest + "/changed.txt"));
    EXPECT_NE(moved.err.find("列出后已改变: " + t.in + "/changed.txt"), std::string::npos) << moved.err;
    EXPECT_NE(moved.err.find("已不存在: " + t.in + "/gone.txt"), std::string::npos) << moved.err;
    EXPECT_NE(moved.out.find("move\t" + t.in + "/same.txt\t" + t.dest + "/same.txt\n"), std::string::npos);
}

TEST(ActCommand, ADryRunWritesWhatTheBatchThenDoes) {
    ActTree t;
    t.tree.file("in/a.txt", "a");
    t.tree.file("in/b.txt", "b");
    t.tree.file("dest/a.txt", "taken");
    const std::string list = t.listOf({"--format", "paths"}, "list");
    for (const char* onExists : {"rename", "skip"}) {
        const auto dry = t.act({"--copy", t.dest, "--on-exists", onExists, "--dry-run", "--from-list", list});
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_FALSE(present(t.dest + "/b.txt"));
        const auto real = t.act({"--copy", t.dest, "--on-exists", onExists, "--from-list", list});
        EXPECT_EQ(real.status, 0) << real.err;
        EXPECT_EQ(dry.out, real.out) << onExists;
        EXPECT_EQ(contentOf(t.dest + "/a.txt"), "taken");
        std::remove((t.dest + "/b.txt").c_str());
        std::remove((t.dest + "/a2.txt").c_str());
    }
}

TEST(ActCommand, UsageErrors) {
    ActTree t;
    const std::string list = t.tree.file("list", t.in + "/x.txt\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--from-list", list},
                                                 {"--trash", "--delete", "--from-list", list},
                                                 {"--trash"},
                                                 {"--move", t.tree.path("nowhere"), "--from-list", list},
                                                 {"--undo", "--trash"},
                                                 {"--trash", "--on-exists", "maybe", "--from-list", list}}) {
        EXPECT_EQ(t.act(args).status, 2) << args[0];
    }
    const std::string bad = t.tree.file("bad.json", "{\"path\":\"/a\"}\n{\"path\":\n");
    const auto refused = t.act({"--trash", "--from-list", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("第 2 行"), std::string::npos) << refused.err;
}
