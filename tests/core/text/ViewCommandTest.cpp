#include "cli/Cli.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace karv::cli;
using karv::test::TempTree;

namespace {

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

CliRun view(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliIo io{out, err, false};
    std::vector<std::string> all = {"view"};
    all.insert(all.end(), args.begin(), args.end());
    CliRun run;
    run.status = runCli(all, io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace

TEST(ViewCommand, TextAndEncodingName) {
    TempTree tree;
    const std::string utf16 = tree.file("u.txt", "\xFF\xFE\x2D\x4E\x87\x65");
    CliRun run = view({utf16});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "中文");
    run = view({"--encoding", utf16});
    EXPECT_EQ(run.out, "Unicode\n");
    EXPECT_EQ(view({"--encoding", tree.file("a.txt", "\xD6\xD0")}).out, "ANSI\n");
    EXPECT_EQ(view({"--encoding", tree.file("e.txt", "")}).out, "ANSI\n");
    EXPECT_EQ(view({"--", "--encoding"}).status, kExitUsage); // a file named --encoding, missing
    EXPECT_EQ(view({"--help"}).status, kExitOk);
}

TEST(ViewCommand, ABinaryFileIsOneLineNamingItsTypeAndSize) {
    TempTree tree;
    CliRun run = view({tree.file("x.gif", std::string("GIF89a\x01\0\x01\0", 10))});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "二进制文件：GIF 图像，10 字节\n");
    run = view({tree.file("x.bin", std::string("\x01\x02\0\xFF", 4))});
    EXPECT_EQ(run.out, "二进制文件：类型未知，4 字节\n");
}

TEST(ViewCommand, BadUsageIsOneLineAndStatusTwo) {
    TempTree tree;
    const std::string file = tree.file("a.txt", "x");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", file}, {file, file}, {tree.path("missing")}, {tree.root()}}) {
        const CliRun run = view(args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
}
