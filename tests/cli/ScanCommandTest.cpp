#include "cli/Cli.h"
#include "support/CliRun.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <sstream>

using karv::test::runCli;
using karv::test::TempTree;

namespace {

std::vector<std::string> lines(const std::string& text, char separator = '\n') {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line, separator))
        out.push_back(line);
    return out;
}

} // namespace

TEST(ScanCommand, TsvRowsInListOrderAndFinalStatus) {
    TempTree tree;
    tree.file("b.log", "log");
    tree.file("a.txt", std::string(1536, 'x'));
    tree.file("sub/c.txt", "c");
    const auto result = runCli({"scan", "--pattern", "*.txt|*.log", tree.root()});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto rows = lines(result.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].substr(0, rows[0].find('\t', 9)), "a.txt\t1.5 KB");
    EXPECT_TRUE(rows[0].ends_with("\t0\t" + tree.root() + "/"));
    EXPECT_EQ(rows[1].substr(0, 6), "b.log\t");
    EXPECT_TRUE(rows[2].ends_with(tree.root() + "/sub/"));
    EXPECT_EQ(result.err.rfind("筛选完毕！共筛选出 3 个文件，耗时 ", 0), 0u);
    EXPECT_TRUE(result.err.ends_with("。请单击按钮操作列表！\n"));
}

TEST(ScanCommand, OddNamesStayParseable) {
    TempTree tree;
    tree.file("tab\there.txt");
    tree.file("new\nline.txt");
    tree.file("back\\slash.txt");
    tree.file("\xb1\xa8\xb8\xe6.txt"); // GBK bytes
    auto result = runCli({"scan", "--scope", "this", tree.root()});
    ASSERT_EQ(result.status, 0);
    const auto rows = lines(result.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].substr(0, rows[0].find('\t')), "back\\\\slash.txt");
    EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), "new\\nline.txt");
    EXPECT_EQ(rows[2].substr(0, rows[2].find('\t')), "tab\\there.txt");
    EXPECT_EQ(rows[3].substr(0, rows[3].find('\t')), "报告.txt"); // shown decoded

    // Paths keep the raw bytes, so a script reaches the very files.
    result = runCli({"scan", "--format", "paths", "-0", "--pattern", "*.txt", tree.root()});
    const auto paths = lines(result.out, '\0');
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[1], tree.root() + "/new\nline.txt");
    EXPECT_EQ(paths[3], tree.root() + "/\xb1\xa8\xb8\xe6.txt");

    result = runCli({"scan", "--format", "json", "--pattern", "new*", tree.root()});
    EXPECT_EQ(result.out.rfind("{\"文件名\":\"new\\nline.txt\",\"文件大小\":\"0 B\",", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\"path\":\"" + tree.root() + "/new\\nline.txt\",\"dev\":"), std::string::npos);
}

TEST(ScanCommand, OutputThatCannotBeWrittenFailsTheRun) {
    struct FullDevice : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } full;
    TempTree tree;
    for (int i = 0; i < 20; ++i)
        tree.file("f" + std::to_string(i) + ".txt", "x");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"scan", tree.root()}, {"view", tree.path("f1.txt")}, {"--help"}}) {
        std::ostream out(&full);
        std::ostringstream err;
        karv::cli::CliIo io{out, err, false};
        EXPECT_EQ(karv::cli::runCli(args, io), 1) << args[0];
        EXPECT_NE(err.str().find("cannot write to standard output"), std::string::npos);
        EXPECT_EQ(err.str().find("筛选完毕"), std::string::npos) << err.str();
    }
}

TEST(ScanCommand, LevelsAndFolderAfterDoubleDash) {
    TempTree tree;
    tree.file("-dash/one.txt");
    tree.file("-dash/deeper/two.txt");
    const auto result =
        runCli({"scan", "--scope=levels", "--levels", "2", "--format", "paths", "--", tree.path("-dash")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines(result.out),
              (std::vector<std::string>{tree.path("-dash/one.txt"), tree.path("-dash/deeper/two.txt")}));
}

TEST(ScanCommand, BadUsageIsOneLineAndStatusTwo) {
    TempTree tree;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"scan"},
                                                 {"scan", "--scope", "up", tree.root()},
                                                 {"scan", "--bogus", tree.root()},
                                                 {"scan", tree.path("missing")},
                                                 {"scan", "--format"},
                                                 {"nothing"},
                                                 {},
                                                 {"scan", tree.root(), tree.root()}}) {
        const auto result = runCli(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    }
    EXPECT_EQ(runCli({"scan", "--help"}).status, 0);
    EXPECT_EQ(runCli({"--help"}).status, 0);
    // A name cannot drive the terminal: its control characters are shown, not sent.
    const auto evil = runCli({"scan", tree.path("evil\x1b]2;PWNED\x07\x1b[31m\xc2\x9b")});
    EXPECT_EQ(evil.err.find_first_of("\x1b\x07"), std::string::npos);
    EXPECT_NE(evil.err.find("evil\\x1b]2;PWNED\\x07\\x1b[31m\\x9b"), std::string::npos) << evil.err;
}

TEST(ScanCommand, KeepRuleAndReferenceFoldersChooseWhatAllButOneLeavesOut) {
    TempTree tree;
    tree.file("a/photo.jpg", "same");
    tree.file("b/photo (copy).jpg", "same");
    tree.file("keep/photo.jpg", "same");
    tree.file("keep/only/x.txt", "twin");
    tree.file("keep/only/y.txt", "twin");
    tree.setTimes("a/photo.jpg", 100, 100);
    tree.setTimes("b/photo (copy).jpg", 200, 200);
    const std::vector<std::string> dup = {"scan", "--dup", "md5", "--format", "paths"};
    auto scan = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = dup;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(tree.root());
        const auto result = runCli(args);
        EXPECT_EQ(result.status, 0) << result.err;
        return lines(result.out);
    };
    // By default the member met last stays: keep/photo.jpg.
    EXPECT_EQ(scan({}), (std::vector<std::string>{tree.path("a/photo.jpg"), tree.path("b/photo (copy).jpg"),
                                                  tree.path("keep/only/x.txt")}));
    EXPECT_EQ(scan({"--keep", "oldest", "--pattern", "*.jpg"}),
              (std::vector<std::string>{tree.path("b/photo (copy).jpg"), tree.path("keep/photo.jpg")}));
    EXPECT_EQ(scan({"--keep=longest", "--pattern", "*.jpg"}),
              (std::vector<std::string>{tree.path("a/photo.jpg"), tree.path("keep/photo.jpg")}));
    // A reference folder keeps every member under it; a group wholly inside it is not listed.
    EXPECT_EQ(scan({"--reference", tree.path("keep"), "--reference", tree.path("b")}),
              (std::vector<std::string>{tree.path("a/photo.jpg")}));

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--keep", "first"},
                                                {"--keep"},
                                                {"--reference", tree.path("missing")},
                                                {"--reference", tree.path("a/photo.jpg")}}) {
        std::vector<std::string> args = dup;
        args.insert(args.end(), bad.begin(), bad.end());
        args.push_back(tree.root());
        const auto result = runCli(args);
        EXPECT_EQ(result.status, 2) << bad[0];
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}
