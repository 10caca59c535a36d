#include "cli/Cli.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <sstream>

using karv::test::TempTree;

namespace {

struct CliResult {
    int status = 0;
    std::string out;
    std::string err;
};

CliResult runScan(std::vector<std::string> args) {
    std::ostringstream out, err;
    karv::cli::CliIo io{out, err, false};
    args.insert(args.begin(), "scan");
    const int status = karv::cli::runCli(args, io);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(ScanCommandFilters, DuplicatesByContentAsPaths) {
    TempTree tree;
    tree.file("a/1.txt", "same");
    tree.file("b/2.txt", "same");
    tree.file("c/3.txt", "diff");
    const auto result = runScan({"--dup", "md5", "--output", "all", "--format", "paths", tree.root()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, tree.path("a/1.txt") + "\n" + tree.path("b/2.txt") + "\n");
    EXPECT_NE(result.err.find("筛选完毕！共筛选出 2 个文件"), std::string::npos);
    // The default output lists all but the last member of each group.
    EXPECT_EQ(runScan({"--dup", "md5", "--format", "paths", tree.root()}).out, tree.path("a/1.txt") + "\n");
}

TEST(ScanCommandFilters, SimilarNamesWithContentCheck) {
    TempTree tree;
    tree.file("x/abcdefghij.txt", "一。二。三。");
    tree.file("y/abcdefghik.txt", "一。二。四。");
    const auto result = runScan({"--dup", "name", "--similar", "90", "--judge-content", "--output", "all",
                                 "--format", "paths", tree.root()});
    EXPECT_EQ(result.out, tree.path("x/abcdefghij.txt") + "\n" + tree.path("y/abcdefghik.txt") + "\n");
}

TEST(ScanCommandFilters, LengthContentAndTimeFlags) {
    TempTree tree;
    tree.file("big.txt", std::string(6000, 'x'));
    tree.file("small.txt", "Invoice");
    tree.file("page.html", "<b>ab</b>");
    EXPECT_EQ(runScan({"--length", "5:10", "--format", "paths", tree.root()}).out,
              tree.path("big.txt") + "\n");
    EXPECT_EQ(
        runScan({"--length", "2:2", "--measure", "chars", "--strip-tags", "--format", "paths", tree.root()})
            .out,
        tree.path("page.html") + "\n");
    EXPECT_EQ(runScan({"--content", "invoice", "--in", "content", "--format", "paths", tree.root()}).out,
              tree.path("small.txt") + "\n");
    // Name length: "big" has 3 characters, kept as the row's count.
    const auto tsv = runScan({"--length", "0:3", "--measure", "name", tree.root()}).out;
    std::vector<std::string> fields;
    for (std::size_t start = 0, tab; start <= tsv.size(); start = tab + 1) {
        tab = tsv.find_first_of("\t\n", start);
        if (tab == std::string::npos)
            break;
        fields.push_back(tsv.substr(start, tab - start));
    }
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[0], "big.txt");
    EXPECT_EQ(fields[1], "5.86 KB");
    EXPECT_EQ(fields[3], "3");
    EXPECT_EQ(fields[4], tree.root() + "/");
    tree.setTimes("big.txt", 0, 0);
    EXPECT_TRUE(
        runScan({"--time", "2000-01-01 00:00:00;2100-01-01 00:00:00", "--pattern", "big.txt", tree.root()})
            .out.empty());
}

TEST(ScanCommandFilters, BadInputInTheBoxesIsNotAUsageError) {
    TempTree tree;
    tree.file("a", "x");
    // Boxes are read leniently: garbage bounds are 0, garbage times the zero date.
    auto result = runScan({"--length", "abc:", "--unit", "B", tree.root()});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.empty());
    result = runScan({"--time", "garbage;2014-02-31 25:61:61", tree.root()});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.empty());
    result = runScan({"--content", "a(b", "--match", "regex", "--in", "content", tree.root()});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.empty());
    result = runScan({"--dup", "name", "--similar", "1e40", "--output", "all", tree.root()});
    EXPECT_EQ(result.status, 0);
}

TEST(ScanCommandFilters, BadFlagValuesAreUsageErrors) {
    TempTree tree;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--dup", "sha1"},
                                                 {"--output", "two"},
                                                 {"--length", "5"},
                                                 {"--time", "x"},
                                                 {"--measure", "lines"},
                                                 {"--unit", "PB"},
                                                 {"--measure", "chars", "--unit", "KB"},
                                                 {"--unit", "1000"},
                                                 {"--in", "path"},
                                                 {"--match", "fuzzy"},
                                                 {"--similar"}}) {
        std::vector<std::string> full = args;
        full.push_back(tree.root());
        const auto result = runScan(full);
        EXPECT_EQ(result.status, 2) << args[0];
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST(ScanCommandFilters, InterruptEndsTheRunWithItsFinalStatus) {
    TempTree tree;
    tree.file("a1", "same");
    tree.file("a2", "same");
    tree.file("b", "other");
    // The interrupt arrives before the first file: nothing is grouped, the final line is written.
    karv::cli::requestInterrupt();
    const auto result = runScan({"--dup", "md5", "--output", "all", "--format", "paths", tree.root()});
    karv::cli::clearInterrupt();
    EXPECT_EQ(result.status, karv::cli::kExitInterrupted);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.err.find("筛选完毕！共筛选出 0 个文件"), std::string::npos);
}
