#include "duplicates/KeepRule.h"

#include "RunHarness.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace karv;
using karv::test::rowPaths;
using karv::test::runScan;
using karv::test::TempTree;

namespace {

std::optional<FileStat> writtenAt(std::int64_t seconds) {
    FileStat stat;
    stat.modifiedNs = seconds * 1000000000;
    return stat;
}

struct KeepCase {
    const char* what;
    KeepRule rule;
    std::vector<std::optional<FileStat>> stats;
    std::vector<bool> kept;
};

} // namespace

TEST(KeepRule, ChoosesOneMemberByRuleTiesGoToTheLastMet) {
    const std::vector<std::string> members = {"/p/国庆/IMG_0001.jpg", "/p/IMG_0001(12).jpg",
                                              "/p/abc/x/IMG_0001.jpg"};
    const std::vector<KeepCase> cases = {
        {"last met", KeepRule::Last, {writtenAt(1), writtenAt(2), writtenAt(3)}, {false, false, true}},
        {"newest", KeepRule::Newest, {writtenAt(5), writtenAt(9), writtenAt(3)}, {false, true, false}},
        {"oldest", KeepRule::Oldest, {writtenAt(5), writtenAt(9), writtenAt(3)}, {false, false, true}},
        {"oldest tie", KeepRule::Oldest, {writtenAt(1), writtenAt(1), writtenAt(3)}, {false, true, false}},
        {"newest, time unknown",
         KeepRule::Newest,
         {writtenAt(7), std::nullopt, std::nullopt},
         {true, false, false}},
        {"no time at all",
         KeepRule::Oldest,
         {std::nullopt, std::nullopt, std::nullopt},
         {false, false, true}},
        // Characters, not bytes: 18, 19 and 21 characters, but 22, 19 and 21 bytes.
        {"shortest", KeepRule::Shortest, {}, {true, false, false}},
        {"longest", KeepRule::Longest, {}, {false, false, true}},
    };
    const ReferenceFolders none({});
    for (const KeepCase& c : cases)
        EXPECT_EQ(keptMembers(members, c.stats, c.rule, none), c.kept) << c.what;
    // Two paths of one length: the later one.
    EXPECT_EQ(keptMembers({"/a/1", "/b/2", "/cc/3"}, {}, KeepRule::Shortest, none),
              (std::vector<bool>{false, true, false}));
}

TEST(KeepRule, ReferenceFoldersKeepEveryMemberUnderThem) {
    TempTree tree;
    tree.folder("ref/sub");
    tree.folder("other");
    tree.folder("reference-like");
    tree.link("via", tree.path("ref"));
    const std::string ref = tree.path("ref"), other = tree.path("other");
    const ReferenceFolders references({ref + "/"});
    const auto stats = std::vector<std::optional<FileStat>>{};
    // Under the folder at any depth; a sibling whose name begins alike is not under it.
    EXPECT_EQ(keptMembers({other + "/a", ref + "/sub/a", tree.path("reference-like/a"), ref + "/a"}, stats,
                          KeepRule::Last, references),
              (std::vector<bool>{false, true, false, true}));
    // No member under one: the rule decides.
    EXPECT_EQ(keptMembers({other + "/a", other + "/bb"}, stats, KeepRule::Shortest, references),
              (std::vector<bool>{true, false}));
    // Reached through a link, or written with "..", it is still the reference folder.
    EXPECT_EQ(keptMembers({other + "/a", tree.path("via/a"), other + "/../ref/b"}, stats, KeepRule::Last,
                          references),
              (std::vector<bool>{false, true, true}));
}

TEST(KeepRule, ListingLeavesOutTheKeptMemberAndNumbersGroups) {
    TempTree tree;
    tree.file("a/1.txt", "one");
    tree.file("a/2.txt", "two!");
    tree.file("b/1.txt", "one");
    tree.file("b/2.txt", "two!");
    tree.file("c/1.txt", "one");
    tree.file("ref/2.txt", "two!");
    tree.file("ref/3.txt", "three");
    tree.file("ref/x/3.txt", "three");
    tree.file("lone.txt", "lonely");
    tree.setTimes("b/1.txt", 100, 100);
    tree.setTimes("a/1.txt", 200, 200);
    tree.setTimes("c/1.txt", 300, 300);
    ScanSettings s;
    s.duplicateFilter = true;
    s.duplicateKind = DuplicateKind::Md5;
    s.duplicateOutput = DuplicateOutput::AllButOne;
    s.keepRule = KeepRule::Oldest;
    s.referenceFolders = {tree.path("ref")};
    const std::vector<ResultRow> rows = runScan(s, tree.root());
    // The "one" group keeps its oldest copy; "two!" keeps the copy in the reference folder; the
    // "three" group lies wholly inside it and is left out.
    EXPECT_EQ(rowPaths(rows), (std::vector<std::string>{tree.path("a/1.txt"), tree.path("c/1.txt"),
                                                        tree.path("a/2.txt"), tree.path("b/2.txt")}));
    std::vector<std::uint32_t> groups;
    for (const ResultRow& row : rows) {
        groups.push_back(row.group);
        EXPECT_FALSE(row.kept);
        EXPECT_FALSE(row.weakMatch);
    }
    EXPECT_EQ(groups, (std::vector<std::uint32_t>{1, 1, 2, 2}));

    // Listing all: every member, the kept one marked; a size search is a weak match.
    s.duplicateOutput = DuplicateOutput::All;
    s.duplicateKind = DuplicateKind::Size;
    s.referenceFolders.clear();
    const std::vector<ResultRow> all = runScan(s, tree.root());
    ASSERT_EQ(all.size(), 8u);
    std::vector<std::string> kept;
    for (const ResultRow& row : all) {
        EXPECT_TRUE(row.weakMatch);
        if (row.kept)
            kept.push_back(row.path());
    }
    EXPECT_EQ(all.front().group, 1u);
    EXPECT_EQ(all.back().group, 3u);
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0], tree.path("b/1.txt"));

    // Outside a duplicate run every row is in no group.
    s.duplicateFilter = false;
    for (const ResultRow& row : runScan(s, tree.root()))
        EXPECT_EQ(row.group, 0u);
}
