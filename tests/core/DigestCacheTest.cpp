#include "duplicates/DigestCache.h"

#include "RunHarness.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "support/CliRun.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using karv::test::contentOf;
using karv::test::present;
using karv::test::rowPaths;
using karv::test::TempTree;
using karv::test::TestHost;

namespace {

/// A duplicate search by content that keeps its digests in `cache`.
struct CachedRun {
    TestHost host;
    FilterRun run{host.sink, host.context};
    FilterPipeline pipeline{host.opts};
    DuplicateFinder finder{host.opts};

    explicit CachedRun(const std::string& cache) {
        host.opts.values.duplicateFilter = true;
        host.opts.values.duplicateKind = DuplicateKind::Md5;
        host.opts.values.duplicateOutput = DuplicateOutput::All;
        host.run = &run;
        run.setFilterStage(&pipeline);
        run.setDuplicateStage(&finder);
        finder.setDigestCacheFolder(cache);
    }
    std::vector<std::string> scan(const std::string& root) {
        host.runOn(run, root);
        return rowPaths(host.sink.rows);
    }
};

std::string large(char last) {
    std::string bytes(100 * 1024, 'x'); // read in blocks, not whole at the first read
    bytes.back() = last;
    return bytes;
}

void overwriteKeepingTimes(const std::string& path, const std::string& content) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

TEST(DigestCache, KeyMissesOnAnyFieldAndSavesMergeConcurrentRuns) {
    TempTree tree;
    const std::string folder = tree.path("cache");
    const DigestKey key{1, 2, 3, 4, 5};
    const KeptDigest digest{6, {7, 8}};
    DigestCache first(folder), second(folder);
    first.load();
    second.load();
    // Two runs that loaded the same file and save one after the other: both digests stay.
    first.remember(key, digest, 0);
    second.remember({10, 11, 12, 13, 14}, digest, 0);
    ASSERT_TRUE(first.save(0));
    ASSERT_TRUE(second.save(0));
    DigestCache third(folder);
    third.load();
    ASSERT_TRUE(third.find(key, 0));
    EXPECT_EQ(third.find(key, 0)->contentHash, digest.contentHash);
    EXPECT_TRUE(third.find({10, 11, 12, 13, 14}, 0));
    for (DigestKey other : {DigestKey{9, 2, 3, 4, 5}, DigestKey{1, 9, 3, 4, 5}, DigestKey{1, 2, 9, 4, 5},
                            DigestKey{1, 2, 3, 9, 5}, DigestKey{1, 2, 3, 4, 9}})
        EXPECT_FALSE(third.find(other, 0));
    // Entries not used for a long time go at the next save.
    const std::int64_t later = (DigestCache::kForgetAfterDays + 2) * 86400;
    third.remember({20, 21, 22, 23, 24}, digest, later);
    ASSERT_TRUE(third.save(later));
    DigestCache fourth(folder);
    fourth.load();
    EXPECT_FALSE(fourth.find(key, later));
    EXPECT_TRUE(fourth.find({20, 21, 22, 23, 24}, later));
}

// Finding entries on later days renews nothing until they are a week old: a run that adds nothing
// leaves the file as it was.
TEST(DigestCache, RunThatOnlyFindsWritesNothing) {
    TempTree tree;
    const std::string folder = tree.path("cache");
    const DigestKey key{1, 2, 3, 4, 5};
    DigestCache first(folder);
    first.load();
    first.remember(key, {6, {7, 8}}, 0);
    ASSERT_TRUE(first.save(0));
    struct stat before {};
    ASSERT_EQ(::stat(DigestCache::filePath(folder).c_str(), &before), 0);
    for (const std::int64_t day : {1, 3}) {
        DigestCache later(folder);
        later.load();
        ASSERT_TRUE(later.find(key, day * 86400));
        ASSERT_TRUE(later.save(day * 86400));
        struct stat after {};
        ASSERT_EQ(::stat(DigestCache::filePath(folder).c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "rewritten on day " << day;
    }
    // A week on, a find renews the entry, which then lasts the full term from that day.
    const std::int64_t renewed = (DigestCache::kRenewAfterDays + 1) * 86400;
    DigestCache week(folder);
    week.load();
    ASSERT_TRUE(week.find(key, renewed));
    ASSERT_TRUE(week.save(renewed));
    const std::int64_t end = renewed + (DigestCache::kForgetAfterDays - 1) * 86400;
    DigestCache last(folder);
    last.load();
    last.remember({9, 9, 9, 9, 9}, {6, {7, 8}}, end);
    ASSERT_TRUE(last.save(end));
    DigestCache check(folder);
    check.load();
    EXPECT_TRUE(check.find(key, end));
}

TEST(DigestCache, SecondRunOverUnchangedFilesReadsNothing) {
    TempTree tree;
    tree.file("t/a/1.txt", "same small");
    tree.file("t/b/2.txt", "same small");
    tree.file("t/c/3.txt", "diff small");
    tree.file("t/d/4.bin", large('1'));
    tree.file("t/e/5.bin", large('1'));
    tree.file("t/f/6.bin", large('1'));
    // Ruled out by its prefix alone, and a pair that differs only at its end.
    tree.file("t/g/7.bin", 'y' + large('1').substr(1));
    tree.file("t/h/8.bin", large('2') + "..");
    tree.file("t/i/9.bin", large('3') + "..");
    const std::string cache = tree.path("cache");
    CachedRun first(cache);
    const auto rows = first.scan(tree.path("t"));
    ASSERT_EQ(rows.size(), 5u);
    ASSERT_GT(first.finder.readStats().bytesRead, 0u);
    CachedRun second(cache);
    EXPECT_EQ(second.scan(tree.path("t")), rows);
    EXPECT_EQ(second.finder.readStats().filesOpened, 0u);
    EXPECT_EQ(second.finder.readStats().bytesRead, 0u);
}

// Rewritten with its size and modification time put back: only the change time tells.
TEST(DigestCache, FileRewrittenUnderItsOldTimesIsReadAgain) {
    TempTree tree;
    tree.file("t/a/1.txt", "same small");
    const std::string second = tree.file("t/b/2.txt", "same small");
    tree.file("t/c/3.bin", large('1'));
    const std::string fourth = tree.file("t/d/4.bin", large('1'));
    const std::string cache = tree.path("cache");
    ASSERT_EQ(CachedRun(cache).scan(tree.path("t")).size(), 4u);
    overwriteKeepingTimes(second, "diff small");
    overwriteKeepingTimes(fourth, large('2'));
    CachedRun again(cache);
    EXPECT_TRUE(again.scan(tree.path("t")).empty());
    EXPECT_GT(again.finder.readStats().bytesRead, 0u);
}

// A large file told apart by its prefix alone keeps only that prefix's hash: once it is rewritten
// to equal another file, under its old times, it must be read again and found to be a copy.
TEST(DigestCache, KeptPrefixOfRewrittenFileIsNotTrusted) {
    TempTree tree;
    tree.file("t/a/1.bin", large('1'));
    const std::string second = tree.file("t/b/2.bin", 'y' + large('1').substr(1));
    const std::string cache = tree.path("cache");
    ASSERT_TRUE(CachedRun(cache).scan(tree.path("t")).empty());
    CachedRun unchanged(cache);
    ASSERT_TRUE(unchanged.scan(tree.path("t")).empty());
    ASSERT_EQ(unchanged.finder.readStats().filesOpened, 0u);
    overwriteKeepingTimes(second, large('1'));
    CachedRun again(cache);
    EXPECT_EQ(again.scan(tree.path("t")).size(), 2u);
}

TEST(DigestCache, DamagedTruncatedOrForeignCacheIsIgnoredAndRebuilt) {
    TempTree tree;
    const std::string one = tree.file("t/a/1.txt", "aaaa");
    const std::string two = tree.file("t/b/2.txt", "bbbb");
    const std::string cache = tree.path("cache");
    const std::string file = DigestCache::filePath(cache);
    ASSERT_TRUE(CachedRun(cache).scan(tree.path("t")).empty());
    const std::string good = contentOf(file);
    ASSERT_FALSE(good.empty());
    // An entry of 2.txt given the digests of 1.txt: trusted, it would make the two one group.
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat(one.c_str(), &a), 0);
    ASSERT_EQ(::stat(two.c_str(), &b), 0);
    std::string swapped = good;
    std::size_t entryA = std::string::npos, entryB = std::string::npos;
    for (std::size_t at = 0; at + 16 <= swapped.size(); ++at) {
        if (std::memcmp(swapped.data() + at, &a.st_dev, 8) == 0 &&
            std::memcmp(swapped.data() + at + 8, &a.st_ino, 8) == 0)
            entryA = at;
        if (std::memcmp(swapped.data() + at, &b.st_dev, 8) == 0 &&
            std::memcmp(swapped.data() + at + 8, &b.st_ino, 8) == 0)
            entryB = at;
    }
    ASSERT_NE(entryA, std::string::npos);
    ASSERT_NE(entryB, std::string::npos);
    swapped.replace(entryB + 40, 24, good.substr(entryA + 40, 24)); // prefix and content hashes
    std::string foreign = good;
    foreign[foreign.find('\n') + 1] ^= 1; // another format number
    for (const std::string& bad : {swapped, good.substr(0, good.size() - 3), foreign}) {
        writeFile(file, bad);
        CachedRun run(cache);
        EXPECT_TRUE(run.scan(tree.path("t")).empty());
        EXPECT_GT(run.finder.readStats().bytesRead, 0u);
        EXPECT_EQ(contentOf(file).size(), good.size()); // written whole again
    }
}

TEST(DigestCache, NoCacheFlagNeitherUsesNorWritesIt) {
    TempTree tree;
    tree.file("t/a/1.txt", "same");
    tree.file("t/b/2.txt", "same");
    const karv::test::ScopedEnv home("XDG_CACHE_HOME", tree.path("xdg"));
    const std::string file = DigestCache::filePath(tree.path("xdg/Karv·Tessil"));
    auto result = karv::test::runCli(
        {"scan", "--dup", "md5", "--output", "all", "--format", "paths", "--no-cache", tree.path("t")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, tree.path("t/a/1.txt") + "\n" + tree.path("t/b/2.txt") + "\n");
    EXPECT_FALSE(present(file));
    result =
        karv::test::runCli({"scan", "--dup", "md5", "--output", "all", "--format", "paths", tree.path("t")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(present(file));
    EXPECT_EQ(DigestCache::clear(tree.path("xdg/Karv·Tessil")), DigestCache::Cleared::Removed);
    EXPECT_EQ(DigestCache::clear(tree.path("xdg/Karv·Tessil")), DigestCache::Cleared::Nothing);
}
