#include "scan/RowStore.h"

#include "scan/RowMaker.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

#include <climits>
#include <gtest/gtest.h>
#include <random>

using namespace karv;
using karv::test::TempTree;
using karv::test::VectorSink;

namespace {

void expectSameRow(const ResultRow& got, const ResultRow& want, std::size_t index) {
    SCOPED_TRACE("row " + std::to_string(index));
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.sizeText, want.sizeText);
    EXPECT_EQ(got.timeText, want.timeText);
    EXPECT_EQ(got.countText, want.countText);
    EXPECT_EQ(got.folder, want.folder);
    EXPECT_EQ(got.itemValue, want.itemValue);
    EXPECT_EQ(got.group, want.group);
    EXPECT_EQ(got.kept, want.kept);
    EXPECT_EQ(got.weakMatch, want.weakMatch);
    const RowStamp& a = got.stamp;
    const RowStamp& b = want.stamp;
    EXPECT_EQ(a.known, b.known);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.inode, b.inode);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.modifiedNs, b.modifiedNs);
    EXPECT_EQ(a.changedNs, b.changedNs);
    EXPECT_EQ(a.folderKnown, b.folderKnown);
    EXPECT_EQ(a.folderDevice, b.folderDevice);
    EXPECT_EQ(a.folderInode, b.folderInode);
}

void expectStoreHolds(const RowStore& store, const std::vector<ResultRow>& rows) {
    ASSERT_EQ(store.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        expectSameRow(store.row(i), rows[i], i);
        EXPECT_EQ(store.path(i), rows[i].path());
        EXPECT_EQ(store.text(i, RowStore::Text::Size), rows[i].sizeText);
        EXPECT_EQ(store.text(i, RowStore::Text::Time), rows[i].timeText);
        EXPECT_EQ(store.text(i, RowStore::Text::Count), rows[i].countText);
        EXPECT_EQ(store.itemValue(i), rows[i].itemValue);
    }
}

void fill(RowStore& store, const std::vector<ResultRow>& rows) {
    for (ResultRow row : rows)
        store.push(std::move(row));
}

} // namespace

// Every cell the list shows is the very text the row maker made, for each way it makes times,
// sizes and counts, across several packed chunks.
TEST(RowStore, ShowsTheRowMakersTextsByteForByte) {
    TempTree tree;
    std::vector<std::string> paths;
    for (int i = 0; i < 300; ++i) {
        const std::string relative = (i % 3 == 0 ? "a/" : "b/c/") + std::to_string(i) + ".txt";
        paths.push_back(tree.file(relative, std::string(static_cast<std::size_t>(i * 37 % 5000), 'x')));
        tree.setTimes(relative, 1'400'000'000 + i * 86'311LL, 1'500'000'000 + i * 7LL);
    }
    const std::uint64_t sizes[] = {0, 1023, 1024, 1536, 5'000'000'000ULL, UINT64_MAX};
    const std::uint64_t counts[] = {0, 7, 12345678, 12345678901ULL, UINT64_MAX};
    std::vector<ResultRow> made;
    for (const DateTimeMode part : {DateTimeMode::Both, DateTimeMode::DateOnly, DateTimeMode::TimeOnly}) {
        for (const bool timeFilter : {false, true}) {
            FixedScanOptions options;
            options.values.timeFilter = timeFilter;
            options.values.timeKind =
                part == DateTimeMode::TimeOnly ? TimeKind::Accessed : TimeKind::Modified;
            options.values.timePart = part;
            VectorSink sink;
            RowMaker maker(options, sink);
            RowMaker names(options, sink, true);
            for (std::size_t i = 0; i < paths.size(); ++i) {
                const std::string given = i % 7 == 0 ? "2014-3-1 9:5:7" : i % 11 == 0 ? "not a time" : "";
                maker.add(paths[i], sizes[i % 6], counts[i % 5], given, std::nullopt,
                          {static_cast<std::uint32_t>(i / 4), i % 4 == 0, i % 8 == 0});
                if (i % 50 == 0)
                    names.add(paths[i], 0, 0, "");
            }
            made.insert(made.end(), sink.rows.begin(), sink.rows.end());
        }
    }
    ASSERT_GT(made.size(), 4 * RowStore::kChunkRows);
    RowStore store;
    fill(store, made);
    expectStoreHolds(store, made);
}

// The identity of every row comes back whole whatever its values, also after rows are moved,
// removed and marked in packed chunks; texts no number makes again come back as they were.
TEST(RowStore, KeepsIdentitiesAndOddTextsExactThroughChanges) {
    std::mt19937_64 random(27);
    const char* const folders[] = {"/x/", "/y/\xff\xfe/", "/z/deep/"};
    const char* const sizeTexts[] = {"", "12 KB", "1.5 KB", "abc", "0 B"};
    const char* const timeTexts[] = {"", "2014-3-1", "2014-03-01", "09:05:07", "2014-03-01 09:05:07", "x"};
    const char* const countTexts[] = {"", "1,2345", "12345", "0", "-1", "99999999999999999999999"};
    std::vector<ResultRow> rows;
    for (std::size_t i = 0; i < 3 * RowStore::kChunkRows + 17; ++i) {
        ResultRow row;
        row.name = i % 97 == 0 ? std::string() : "n\x80" + std::to_string(random());
        row.folder = folders[i % 3];
        row.sizeText = sizeTexts[i % 5];
        row.timeText = timeTexts[i % 6];
        row.countText = countTexts[i / 2 % 6];
        row.itemValue = static_cast<std::uint32_t>(i % 5 == 4 ? 0 : random());
        const bool wide = i % 9 == 0;
        row.stamp = {i % 4 != 0,
                     wide ? UINT64_MAX : 2049,
                     random(),
                     wide ? UINT64_MAX : random() % 4096,
                     wide ? INT64_MIN : static_cast<std::int64_t>(random()),
                     wide ? INT64_MAX : -static_cast<std::int64_t>(random() % 1000),
                     i % 5 != 0,
                     i % 13 == 0 ? random() : 2049,
                     i % 3 == 0 ? random() : 77};
        row.group = static_cast<std::uint32_t>(i % 6 == 0 ? UINT32_MAX : i / 3);
        row.kept = i % 3 == 1;
        row.weakMatch = i % 10 == 3;
        rows.push_back(row);
    }
    RowStore store;
    fill(store, rows);
    expectStoreHolds(store, rows);

    const RowStamp moved{true, 1, UINT64_MAX, 3, -5, INT64_MIN, true, UINT64_MAX, 0};
    for (const std::size_t at : {std::size_t{3}, RowStore::kChunkRows + 1, std::size_t{4}, rows.size() - 1}) {
        store.setPlace(at, "/elsewhere/", "moved \xe4", moved);
        rows[at].folder = "/elsewhere/";
        rows[at].name = "moved \xe4";
        rows[at].stamp = moved;
    }
    store.setMarked(RowStore::kChunkRows + 2);
    store.setMarked(10);
    for (const std::size_t at : {RowStore::kChunkRows, std::size_t{0}, rows.size() - 3}) {
        store.erase(at);
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    }
    expectStoreHolds(store, rows);
    for (std::size_t i = 0; i < store.size(); ++i)
        EXPECT_EQ(store.marked(i), i == 9 || i == RowStore::kChunkRows) << i;

    // Rows taken out one by one until none is left, then a new list in the same store.
    while (store.size() > 0) {
        store.erase(store.size() / 2);
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(rows.size() / 2));
    }
    store.clear();
    rows = {ResultRow{}, ResultRow{}};
    rows[0].folder = rows[1].folder = "/x/";
    fill(store, {rows[0]});
    // A store handed over (a loaded list to the window) goes on with the same folders.
    RowStore taken(std::move(store));
    fill(taken, {rows[1]});
    expectStoreHolds(taken, rows);
    EXPECT_EQ(store.size(), 0u);
}
