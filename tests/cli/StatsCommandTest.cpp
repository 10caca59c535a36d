#include "cli/Cli.h"
#include "support/CliRun.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <sstream>

using karv::test::runCli;
using karv::test::TempTree;

namespace {} // namespace

TEST(StatsCommand, LinesThresholdsAndFinalStatus) {
    TempTree tree;
    tree.file("a.txt");
    tree.file("b.doc");
    tree.file("c.log");
    tree.file("sub/d.txt");
    tree.file("sub/e.txt");
    tree.folder("sub/deeper");
    auto result = runCli({"stats", "--recurse", "--pattern", "*.txt|*.doc", tree.root()});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string root = tree.root();
    EXPECT_EQ(result.out, root + "/,2,1\n" + root + "/sub/,2,1\n" + root + "/sub/deeper/,0,0\n");
    EXPECT_EQ(result.err.rfind("统计完毕！共读取 3 个文件夹，列出 3 个，耗时 ", 0), 0u) << result.err;

    result = runCli({"stats", "--recurse", "--min-files=2", "--min-dirs", "1", tree.root()});
    EXPECT_EQ(result.out, root + "/,3,1\n" + root + "/sub/,2,1\n");
    result = runCli({"stats", "--min-files", "4", tree.root()}); // without --recurse: one folder
    EXPECT_EQ(result.out, "");
}

TEST(StatsCommand, InterruptAndBadUsage) {
    TempTree tree;
    tree.file("a/b/c.txt");
    karv::cli::requestInterrupt(); // before the first folder: that folder is still counted
    const auto stopped = runCli({"stats", "--recurse", tree.root()});
    karv::cli::clearInterrupt();
    EXPECT_EQ(stopped.status, karv::cli::kExitInterrupted);
    EXPECT_EQ(stopped.out, tree.root() + "/,0,1\n");
    EXPECT_NE(stopped.err.find("列出 1 个"), std::string::npos);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"stats"},
                                                 {"stats", ""},
                                                 {"stats", "--bogus", tree.root()},
                                                 {"stats", tree.path("missing")},
                                                 {"stats", tree.root(), "--min-dirs"},
                                                 {"stats", tree.root(), tree.root()}}) {
        const auto result = runCli(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(runCli({"stats", "--help"}).status, 0);
}

TEST(StatsCommand, FormatsKeepAnOddFolderNameOnItsLine) {
    TempTree tree;
    const std::string odd = "a,b\n\xb1\xa8";
    tree.file(odd + "/x.txt");
    const std::string root = tree.root();
    auto result = runCli({"stats", "--recurse", "--format", "tsv", tree.root()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, root + "/\t0\t1\n" + root + "/a,b\\n报/\t1\t0\n");
    result = runCli({"stats", "--recurse", "--format", "csv", "-0", tree.root()});
    EXPECT_EQ(result.out,
              root + "/,0,1" + std::string(1, '\0') + root + "/" + odd + "/,1,0" + std::string(1, '\0'));
    result = runCli({"stats", "--recurse", "--format", "json", tree.root()});
    EXPECT_EQ(result.out.substr(0, result.out.find('\n') + 1),
              "{\"path\":\"" + root + "/\",\"files\":0,\"dirs\":1}\n");
    EXPECT_NE(result.out.find("\"path\":\"" + root + "/a,b\\n报/\",\"files\":1,\"dirs\":0,\"path_bytes\":\""),
              std::string::npos)
        << result.out;
    EXPECT_EQ(runCli({"stats", "--format", "xml", tree.root()}).status, 2);
}
