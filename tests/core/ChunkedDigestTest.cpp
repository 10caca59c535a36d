#include "duplicates/ChunkedDigest.h"

#include "DuplicateTestSupport.h"
#include "support/TempTree.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace karv;
using karv::test::sparseFile;
using karv::test::TempTree;

namespace {
constexpr std::uint64_t kMiB = 1 << 20;
}

TEST(ChunkedDigest, SmallFileKeyIsMd5OfHexMd5) {
    TempTree tree;
    const std::string path = tree.file("a.txt", "hello");
    EXPECT_EQ(md5Hex("hello"), "5d41402abc4b2a76b9719d911017c592");
    EXPECT_EQ(chunkedFileDigest(path), md5Hex("5d41402abc4b2a76b9719d911017c592"));
    EXPECT_EQ(chunkedFileDigest(tree.file("empty", "")), md5Hex(md5Hex("")));
}

TEST(ChunkedDigest, FilesThatCannotBeReadGiveNoKey) {
    TempTree tree;
    EXPECT_EQ(chunkedFileDigest(tree.path("missing")), "");
    EXPECT_EQ(chunkedFileDigest(tree.folder("dir")), "");
    const std::string fifo = tree.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(chunkedFileDigest(fifo), ""); // refused at once, never blocks
}

TEST(ChunkedDigest, LastChunkRunsToTheEnd) {
    TempTree tree;
    const std::string path = tree.path("big");
    sparseFile(path, 250 * kMiB, 'z');
    std::string rest(150 * kMiB, '\0');
    rest.back() = 'z';
    const std::string expected = md5Hex(md5Hex(std::string(100 * kMiB, '\0')) + md5Hex(rest));
    ReadStats stats;
    int pumps = 0;
    EXPECT_EQ(chunkedFileDigest(path, {[&] { ++pumps; }, {}}, &stats), expected);
    EXPECT_EQ(pumps, 2); // after each of the two chunks
    EXPECT_EQ(stats.bytesRead, 250 * kMiB);
}

TEST(ChunkedDigest, StopIsSeenWithinOneChunk) {
    TempTree tree;
    const std::string path = tree.path("huge");
    sparseFile(path, 1024 * kMiB);
    ReadStats stats;
    bool stop = false;
    EXPECT_EQ(chunkedFileDigest(path,
                                {[&] { stop = true; },
                                 [&] {
                                     return stop;
                                 }},
                                &stats),
              "");
    EXPECT_EQ(stats.bytesRead, 100 * kMiB);
}

TEST(ChunkedDigest, FileChangingWhileHashedGivesNoKey) {
    TempTree tree;
    const std::string path = tree.path("growing");
    sparseFile(path, 250 * kMiB);
    int pumps = 0;
    const auto grow = [&] {
        if (++pumps == 1) {
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out << "more";
        }
    };
    EXPECT_EQ(chunkedFileDigest(path, {grow, {}}), "");
    // Shrinking under the reader is caught too.
    sparseFile(path, 250 * kMiB);
    pumps = 0;
    const auto shrink = [&] {
        if (++pumps == 1) {
            EXPECT_EQ(::truncate(path.c_str(), 120 * kMiB), 0);
        }
    };
    EXPECT_EQ(chunkedFileDigest(path, {shrink, {}}), "");
}
