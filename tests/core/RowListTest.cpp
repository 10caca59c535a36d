#include "scan/RowList.h"

#include <gtest/gtest.h>

using namespace karv;

namespace {

ResultRow sampleRow(std::string folder, std::string name) {
    ResultRow row;
    row.folder = std::move(folder);
    row.name = std::move(name);
    row.sizeText = "1.5 KB";
    row.timeText = "2024-01-02 03:04:05";
    row.countText = "12";
    row.group = 7;
    row.stamp = {true, 2049, 18446744073709551615ull, 1536, -1234567890123, 1700000000123456789, true, 5, 6};
    row.itemValue = 1536;
    return row;
}

void expectSame(const ResultRow& a, const ResultRow& b) {
    EXPECT_EQ(a.folder, b.folder);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.sizeText, b.sizeText);
    EXPECT_EQ(a.timeText, b.timeText);
    EXPECT_EQ(a.countText, b.countText);
    EXPECT_EQ(a.group, b.group);
    EXPECT_EQ(a.kept, b.kept);
    EXPECT_EQ(a.weakMatch, b.weakMatch);
    EXPECT_EQ(a.itemValue, b.itemValue);
    EXPECT_EQ(a.stamp.known, b.stamp.known);
    EXPECT_EQ(a.stamp.device, b.stamp.device);
    EXPECT_EQ(a.stamp.inode, b.stamp.inode);
    EXPECT_EQ(a.stamp.size, b.stamp.size);
    EXPECT_EQ(a.stamp.modifiedNs, b.stamp.modifiedNs);
    EXPECT_EQ(a.stamp.changedNs, b.stamp.changedNs);
    EXPECT_EQ(a.stamp.folderKnown, b.stamp.folderKnown);
    EXPECT_EQ(a.stamp.folderDevice, b.stamp.folderDevice);
    EXPECT_EQ(a.stamp.folderInode, b.stamp.folderInode);
}

} // namespace

TEST(RowList, RoundTripKeepsExactBytesStampsAndGroups) {
    std::vector<ResultRow> written = {
        sampleRow("/home/u/照片/", "IMG \"1\"\t\\.jpg"),
        sampleRow("/data/\xb1\xa8/", "a\xb1\xa8\n.txt"), // GBK bytes and a line break: not UTF-8
        sampleRow("rel/", "x"),
    };
    written[0].kept = true;
    written[1].weakMatch = true;
    written[2].group = 0;
    written[2].stamp = {};
    written[2].itemValue = 0;
    std::string content = "\xEF\xBB\xBF";
    for (const ResultRow& row : written)
        content += rowListLine(row) + "\r\n"; // an editor's CR LF and blank lines are fine
    EXPECT_EQ(rowListLine(written[0]).find("path_bytes"), std::string::npos);
    EXPECT_NE(rowListLine(written[1]).find("\"path_bytes\":"), std::string::npos);
    EXPECT_EQ(rowListLine(written[2]).find("\"group\""), std::string::npos);

    std::vector<ResultRow> read;
    RowListError error;
    ASSERT_TRUE(readRowList(content, read, error)) << error.message;
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i)
        expectSame(read[i], written[i]);
    EXPECT_TRUE(looksLikeRowList(content));
    EXPECT_FALSE(looksLikeRowList("/home/u/a.txt\n"));
}

TEST(RowList, HostileLinesAreRefusedWithTheirLineNumber) {
    const std::string good = R"({"path":"/a/b.txt"})";
    const char* hostile[] = {
        "[1,2]",
        "{",
        R"({"path":"/a"} x)",
        R"({"path":"/a","path":"/b"})",
        R"({"path":"/a\q"})",
        R"({"path":"/a\ud800"})",
        R"({"path":"/a\udc00x"})",
        R"({"path":"/a\u00"})",
        "{\"path\":\"/a\xff\"}",
        "{\"path\":\"/a\x01\"}",
        R"({"path":1})",
        R"({"path":""})",
        R"({"path":"/a/"})",
        R"({"文件名":"a"})",
        R"({"path":"/a","dev":18446744073709551616,"ino":1,"size":1,"mtime_ns":1,"ctime_ns":1})",
        R"({"path":"/a","dev":1,"ino":1,"size":-1,"mtime_ns":1,"ctime_ns":1})",
        R"({"path":"/a","dev":1,"ino":1,"size":1,"mtime_ns":9223372036854775808,"ctime_ns":1})",
        R"({"path":"/a","dev":1,"ino":1,"size":1.5,"mtime_ns":1,"ctime_ns":1})",
        R"({"path":"/a","dev":1,"ino":1,"size":01,"mtime_ns":1,"ctime_ns":1})",
        R"({"path":"/a","dev":1})",
        R"({"path":"/a","dir_dev":1,"dir_ino":1})",
        R"({"path":"/a","group":4294967296})",
        R"({"path":"/a","group":"1"})",
        R"({"path":"/a","kept":2})",
        R"({"path":"/a","x":{"y":1}})",
        R"({"path":"/a","x":true})",
        R"({"path_bytes":"L2E=x"})",
        R"({"path_bytes":"L2"})",
        R"({"path_bytes":"AA=="})",
        R"({"path":"/a","path_bytes":"=AAA"})",
        R"({"path":"/a")",
    };
    for (const char* line : hostile) {
        std::vector<ResultRow> rows;
        RowListError error;
        EXPECT_FALSE(readRowList(good + "\n" + line + "\n" + good + "\n", rows, error)) << line;
        EXPECT_EQ(error.line, 2u) << line;
        EXPECT_TRUE(rows.empty());
    }
    std::vector<ResultRow> rows;
    RowListError error;
    ASSERT_TRUE(readRowList(good, rows, error)) << error.message; // no line break at the end
    EXPECT_EQ(rows.at(0).folder, "/a/");
    EXPECT_EQ(rows.at(0).name, "b.txt");
    EXPECT_FALSE(rows.at(0).stamp.known);
}

TEST(RowList, Base64RoundTripsEveryLength) {
    std::string bytes;
    for (int n = 0; n < 8; ++n) {
        std::string back;
        ASSERT_TRUE(base64Decode(base64Encode(bytes), back));
        EXPECT_EQ(back, bytes);
        bytes.push_back(static_cast<char>(0xF0 + n));
    }
    EXPECT_EQ(base64Encode("/a\xb1\xa8"), "L2GxqA==");
    EXPECT_FALSE(base64Decode("L2GxqB==", bytes)); // the same bytes, spelt with stray low bits
}
