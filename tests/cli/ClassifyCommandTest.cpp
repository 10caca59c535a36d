#include "cli/Cli.h"
#include "settings/SettingsFiles.h"
#include "support/CliRun.h"
#include "support/TempTree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

using karv::test::runCli;
using karv::test::TempTree;
namespace fs = std::filesystem;

namespace {

/// Every file below a folder with its content.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string content;
        if (entry.is_regular_file() && karv::settingsio::readWholeFile(entry.path().string(), content))
            files[entry.path().string()] = content;
    }
    return files;
}

struct Tree {
    TempTree tree;
    std::string in = tree.folder("in");
    std::string logs = tree.folder("logs");
    Tree() {
        for (int i = 0; i < 7; ++i)
            tree.file("in/f" + std::to_string(i) + ".txt", "top " + std::to_string(i));
        tree.file("in/a/same.txt", "a");
        tree.file("in/b/same.txt", "b");
        tree.file("in/b/1/old.txt", "was there"); // an existing batch folder in the plan
        tree.file("in/out/same.txt", "there before");
    }
};

} // namespace

TEST(ClassifyCommand, DryRunPrintsExactlyWhatTheRunThenDoes) {
    for (const char* templateText : {"[父目录路径]/[批次名]/[文件名]", "@/out/[文件名]"}) {
        Tree t;
        std::string tmpl = templateText;
        if (tmpl[0] == '@')
            tmpl = t.in + tmpl.substr(1);
        const std::vector<std::string> args = {"classify",     "--recurse", "--move",     "--in-order",
                                               "--batch-size", "3",         "--template", tmpl,
                                               "--log-dir",    t.logs};
        const auto before = snapshot(t.tree.root());
        auto dryArgs = args;
        dryArgs.push_back("--dry-run");
        dryArgs.push_back(t.in);
        const auto dry = runCli(dryArgs);
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_EQ(snapshot(t.tree.root()), before);
        EXPECT_TRUE(fs::is_empty(t.logs));

        auto realArgs = args;
        realArgs.push_back(t.in);
        const auto real = runCli(realArgs);
        EXPECT_EQ(real.status, 0) << real.err;
        EXPECT_EQ(dry.out, real.out);
        // Files this run put into a planned folder are not classified again when it is visited.
        const std::string again = templateText[0] == '@' ? "/out/same3.txt\t" : "/b/1/same.txt\t";
        EXPECT_EQ(real.out.find(again), std::string::npos) << real.out;
        if (templateText[0] == '@') {
            EXPECT_NE(real.out.find("\t" + t.in + "/out/same3.txt\n"), std::string::npos) << real.out;
        }
        // The three logs, the journal and the lock file; no file lost.
        EXPECT_EQ(snapshot(t.tree.root()).size(), before.size() + 5);
    }
}

TEST(ClassifyCommand, UndoPutsAMoveRunBackAndNeverOverwrites) {
    Tree t;
    const auto before = snapshot(t.in);
    const auto run = runCli({"classify", "--recurse", "--move", "--log-dir", t.logs, t.in});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(snapshot(t.in), before);
    const auto undo = runCli({"classify", "--undo", "--log-dir", t.logs});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(snapshot(t.in), before);

    // Run again; then one source place is taken and one target is gone.
    ASSERT_EQ(runCli({"classify", "--move", "--in-order", "--log-dir", t.logs, t.in}).status, 0);
    t.tree.file("in/f0.txt", "new file in the old place");
    fs::remove(t.in + "/1/f1.txt");
    const auto partial = runCli({"classify", "--undo", "--log-dir", t.logs});
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.err.find("原位置已有文件"), std::string::npos) << partial.err;
    EXPECT_NE(partial.err.find("归类后的文件已不存在"), std::string::npos);
    std::string content;
    karv::settingsio::readWholeFile(t.in + "/f0.txt", content);
    EXPECT_EQ(content, "new file in the old place");
    EXPECT_TRUE(fs::exists(t.in + "/1/f0.txt"));
    EXPECT_TRUE(fs::exists(t.in + "/f2.txt"));
}

TEST(ClassifyCommand, ListModeCopiesAndReportsFailuresAndBadUsage) {
    Tree t;
    const std::string list =
        t.tree.file("list.txt", t.in + "/f0.txt\n" + t.in + "/missing.txt\n" + t.in + "/a/same.txt\r\n");
    const auto result = runCli({"classify", "--from-list", list, "--in-order", "--batch-size", "1",
                                "--batch-names", "letters", "--log-dir", t.logs});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, t.in + "/f0.txt\t" + t.in + "/A/f0.txt\n" + t.in + "/missing.txt\t" + t.in +
                              "/B/missing.txt\n" + t.in + "/a/same.txt\t" + t.in + "/a/C/same.txt\n");
    EXPECT_TRUE(fs::exists(t.in + "/f0.txt")); // copied, not moved
    EXPECT_NE(result.err.find("1 个文件归类失败"), std::string::npos);
    // Each failure on its own line with its reason, and the reasons in the summary.
    EXPECT_NE(result.err.find("已不存在\t" + t.in + "/missing.txt\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("失败 1 个：已不存在 1 个（" + t.in + "/missing.txt）"), std::string::npos);

    EXPECT_EQ(runCli({"classify", "--batch-names", "roman", t.in}).status, 2);
    EXPECT_EQ(runCli({"classify", t.in + "/nothing"}).status, 2);
    EXPECT_EQ(runCli({"classify", "--keywords", t.in + "/nothing", t.in}).status, 2);
    EXPECT_EQ(runCli({"classify", "--undo", t.in}).status, 2);
    const auto nothing = runCli({"classify", "--undo", "--log-dir", t.tree.folder("empty")});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.err, "没有可以撤销的归类。\n");
}

namespace {

/// Runs with another working folder, and goes back.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : m_old(fs::current_path()) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(m_old); }

private:
    fs::path m_old;
};

} // namespace

TEST(ClassifyCommand, RelativePathsAreRecordedAbsoluteSoUndoWorksFromAnywhere) {
    Tree t;
    const auto before = snapshot(t.in);
    {
        const InFolder here(t.tree.root());
        ASSERT_EQ(runCli({"classify", "--move", "--in-order", "--log-dir", "logs", "in"}).status, 0);
    }
    {
        const InFolder elsewhere(t.in + "/a");
        const auto undo = runCli({"classify", "--undo", "--log-dir", t.logs});
        EXPECT_EQ(undo.status, 0) << undo.err;
    }
    EXPECT_EQ(snapshot(t.in), before);
    EXPECT_FALSE(fs::exists(t.in + "/a/in"));
}

TEST(ClassifyCommand, TermAndHangUpStopARunAsCtrlCDoesWithTheirOwnStatus) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        Tree t;
        const auto before = snapshot(t.in);
        karv::cli::clearInterrupt();
        karv::cli::requestInterrupt(signal);
        const auto run = runCli({"classify", "--move", "--recurse", "--log-dir", t.logs, t.in});
        karv::cli::clearInterrupt();
        EXPECT_EQ(run.status, 128 + signal);
        EXPECT_NE(run.err.find("归类已停止！"), std::string::npos) << run.err;
        EXPECT_EQ(snapshot(t.in), before);
    }
}

TEST(ClassifyCommand, UndoSaysWhenThereIsNothingLeftAndPreviewsWithDryRun) {
    Tree t;
    const auto before = snapshot(t.in);
    ASSERT_EQ(runCli({"classify", "--move", "--in-order", "--log-dir", t.logs, t.in}).status, 0);
    const auto moved = snapshot(t.in);
    const auto dry = runCli({"classify", "--undo", "--dry-run", "--log-dir", t.logs});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(snapshot(t.in), moved);
    const auto undo = runCli({"classify", "--undo", "--log-dir", t.logs});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(dry.out, undo.out);
    EXPECT_EQ(snapshot(t.in), before);
    const auto again = runCli({"classify", "--undo", "--log-dir", t.logs});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "没有可以撤销的归类。\n");
    EXPECT_EQ(snapshot(t.in), before);
}
