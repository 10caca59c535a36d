#include "text/TextLoader.h"

#include "support/TempTree.h"
#include "support/TextFixtures.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace karv;
using karv::test::TempTree;
using namespace std::string_literals;

namespace {

const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";  // 中文 in GBK
const std::string kBig5Chinese = "\xA4\xA4\xA4\xE5"; // 中文 in Big5
const std::string kReplacement = "\xEF\xBF\xBD";

LoadedText load(std::string_view bytes) {
    TempTree tree;
    return loadFileText(tree.file("f", bytes));
}

} // namespace

TEST(LoadFileText, EncodingsByDetectionOrder) {
    LoadedText t = load(kGbkChinese + "abc");
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    EXPECT_EQ(t.text, "中文abc");
    // Marks come first: a UTF-8 mark wins over a Big5 meta tag.
    t = load("\xEF\xBB\xBF<html><meta charset=Big5>中文");
    EXPECT_EQ(t.encodingCode, kEncodingUtf8);
    EXPECT_EQ(t.text, "<html><meta charset=Big5>中文");
    t = load("中文");
    EXPECT_EQ(t.encodingCode, kEncodingUtf8);
    EXPECT_EQ(load("plain").encodingCode, kEncodingAnsi);
    t = load("\xFF\xFE\x2D\x4E\x87\x65");
    EXPECT_EQ(t.encodingCode, kEncodingUtf16Le);
    EXPECT_EQ(t.text, "中文");
    t = load("\xFE\xFF\x4E\x2D\x65\x87\x00\x41"s);
    EXPECT_EQ(t.encodingCode, kEncodingUtf16Be);
    EXPECT_EQ(t.text, "中文A");
    t = load("<html><head><meta charset=big5></head>" + kBig5Chinese);
    EXPECT_EQ(t.encodingCode, kEncodingBig5);
    EXPECT_EQ(t.text, "<html><head><meta charset=big5></head>中文");
    t = load("<html><head><meta charset=\"Big5-HKSCS\"></head>" + kBig5Chinese);
    EXPECT_EQ(t.encodingCode, kEncodingBig5Hkscs);
    EXPECT_EQ(t.text.substr(t.text.size() - 6), "中文");
    // gb2312 is not declared in a way the test knows; its GBK bytes are ANSI.
    t = load("<head><meta charset=gb2312></head>" + kGbkChinese);
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    EXPECT_EQ(t.text, "<head><meta charset=gb2312></head>中文");
    // A character GBK lacks survives.
    EXPECT_EQ(load("\xEF\xBB\xBF한국").text, "한국");
}

TEST(LoadFileText, ZeroBytesAndTinyFiles) {
    EXPECT_EQ(load("").encodingCode, kEncodingAnsi);
    EXPECT_EQ(load("").text, "");
    EXPECT_EQ(load("A").text, "A");
    EXPECT_EQ(load("A").encodingCode, kEncodingAnsi);
    EXPECT_EQ(load("\xE4").text, kReplacement); // a cut-off character, so not UTF-8
    // Everything after the first zero byte is invisible, whatever the encoding.
    EXPECT_EQ(load(std::string("ab\0cd", 5)).text, "ab");
    EXPECT_EQ(load(std::string("\0", 1) + kGbkChinese).text, "");
    EXPECT_EQ(load(std::string("\xEF\xBB\xBF"
                               "a\0b",
                               6))
                  .text,
              "a");
    // UTF-16 is decoded before the cut: its zero bytes are part of the characters.
    EXPECT_EQ(load(std::string("\xFF\xFE"
                               "A\0B\0\0\0C\0",
                               10))
                  .text,
              "AB");
    // UTF-16 without a mark is not recognised: ANSI up to the first zero byte.
    LoadedText t = load(std::string("A\0B\0", 4));
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    EXPECT_EQ(t.text, "A");
}

TEST(LoadFileText, MarkWithoutText) {
    // A conversion that gives no text (nothing after the mark, or a zero character first, as in a
    // UTF-32 file) falls back to ANSI: the bytes before the first zero byte, mark included.
    for (const std::string& bytes :
         {std::string("\xEF\xBB\xBF"), std::string("\xFF\xFE"), std::string("\xFE\xFF\0\0\0A", 6),
          std::string("\xFF\xFE\0\0a\0\0\0", 8)}) {
        const LoadedText t = load(bytes);
        EXPECT_EQ(t.encodingCode, kEncodingAnsi);
        EXPECT_EQ(t.text, convertCharset(bytes.substr(0, bytes.find('\0')), "GB18030"));
        EXPECT_FALSE(t.text.empty());
    }
}

TEST(LoadFileText, InvalidSequencesBecomeReplacementCharacters) {
    // UTF-16 with an odd byte count and with unpaired surrogates.
    EXPECT_EQ(load("\xFF\xFE\x2D\x4E\x87").text, "中" + kReplacement);
    EXPECT_EQ(load("\xFF\xFE\x00\xD8"s + "A\x00"s).text, kReplacement + "A");
    EXPECT_EQ(load("\xFF\xFE\x00\xDC"s).text, kReplacement);
    EXPECT_EQ(load("\xFF\xFE\x3D\xD8\x00\xDE"s).text, "\xF0\x9F\x98\x80"); // a surrogate pair
    // Invalid UTF-8 after a mark.
    EXPECT_EQ(load("\xEF\xBB\xBF"
                   "a\xFF"
                   "b\xC0\xAF"
                   "c")
                  .text,
              "a" + kReplacement + "b" + kReplacement + kReplacement + "c");
    // Invalid GB18030: a lead byte without a trail byte, and 0xFF.
    EXPECT_EQ(load("\xD6 x\xFF" + kGbkChinese).text, kReplacement + " x" + kReplacement + "中文");
    // Invalid Big5 declared by a meta tag.
    const LoadedText big5 = load("<meta charset=big5>\xA4\xA4\xFF");
    EXPECT_EQ(big5.encodingCode, kEncodingBig5);
    EXPECT_EQ(big5.text, "<meta charset=big5>中" + kReplacement);
}

TEST(LoadFileText, UnreadableAndSpecialFiles) {
    TempTree tree;
    LoadedText t = loadFileText(tree.path("missing"));
    EXPECT_EQ(t.encodingCode, kEncodingNone);
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(loadFileText(tree.folder("dir")).encodingCode, kEncodingNone);
    // A FIFO would block a reader forever: it is not read.
    const std::string fifo = tree.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(loadFileText(fifo).encodingCode, kEncodingNone);
    // A read-only file is read: the loader never writes.
    const std::string readOnly = tree.file("ro.txt", "中文");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_EQ(loadFileText(readOnly).text, "中文");
    // An executable loads as the bytes before its first zero byte.
    t = loadFileText("/proc/self/exe");
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    EXPECT_EQ(t.text.substr(0, 4), "\x7F"
                                   "ELF");
    EXPECT_LT(t.text.size(), 16u);
}

TEST(LoadFileText, SystemFilesAreReadToTheirEnd) {
    // They report a size of 0 and give their whole value to the first read only.
    const std::string path = "/proc/sys/kernel/pid_max";
    std::ifstream in(path);
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(expected.size(), 2u);
    EXPECT_EQ(loadFileText(path).text, expected);
}

TEST(LoadFileText, GzipContent) {
    const std::string page = "<HTML><HEAD><META charset=UTF-8></HEAD>中文</HTML>";
    LoadedText t = load(test::gzipOf(page));
    EXPECT_EQ(t.encodingCode, kEncodingUtf8);
    EXPECT_EQ(t.text, page);
    t = load(test::gzipOf(kGbkChinese));
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    EXPECT_EQ(t.text, "中文");
    // Concatenated members are one content.
    EXPECT_EQ(load(test::gzipOf("ab") + test::gzipOf("cd")).text, "abcd");
    // The same steps work on bytes in memory.
    EXPECT_EQ(loadTextFromBytes(test::gzipOf(page)).text, page);
}

TEST(LoadFileText, TruncatedAndCorruptGzip) {
    std::string long_text;
    for (int i = 0; i < 20000; ++i)
        long_text += "line " + std::to_string(i) + " 中文\n";
    const std::string gz = test::gzipOf(long_text);
    // Cut in the middle: the part decoded before the cut, never more, never garbage.
    const std::string partial = gunzipBytes(gz.substr(0, gz.size() / 2));
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), long_text.size());
    EXPECT_EQ(long_text.compare(0, partial.size(), partial), 0);
    const LoadedText cut = load(gz.substr(0, gz.size() / 2));
    EXPECT_EQ(long_text.compare(0, cut.text.size(), cut.text), 0);
    // Only the magic, or a header followed by garbage: an empty content, ANSI.
    LoadedText t = load("\x1F\x8B");
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
    std::string corrupt = gz;
    for (std::size_t i = 10; i < corrupt.size(); ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    EXPECT_NO_FATAL_FAILURE(load(corrupt));
    EXPECT_LE(gunzipBytes(corrupt).size(), long_text.size());
    // A corrupt trailer after a whole stream keeps the stream.
    std::string badTrailer = test::gzipOf("abc");
    badTrailer[badTrailer.size() - 1] ^= 0x01;
    EXPECT_EQ(gunzipBytes(badTrailer), "abc");
    EXPECT_EQ(gunzipBytes(""), "");
}

TEST(LoadFileText, GzipBombIsCapped) {
    // 256 members of 16 MiB each: 4 GiB from a few MiB of input.
    const std::string member = test::gzipOf(std::string(std::size_t{16} << 20, 'a'));
    std::string bomb;
    for (int i = 0; i < 256; ++i)
        bomb += member;
    ASSERT_LT(bomb.size(), std::size_t{8} << 20);
    EXPECT_EQ(gunzipBytes(bomb, std::size_t{1} << 20).size(), std::size_t{1} << 20);
    const LoadedText t = loadTextFromBytes(bomb);
    EXPECT_TRUE(t.truncated);
    EXPECT_EQ(t.text.size(), kContentByteLimit);
    EXPECT_EQ(t.encodingCode, kEncodingAnsi);
}

TEST(LoadFileText, ContentCutAtTheLimitKeepsItsEncoding) {
    // A UTF-8 text longer than the limit, cut inside a character: still UTF-8, no stray bytes.
    std::string big;
    big.reserve(kContentByteLimit + 16);
    while (big.size() <= kContentByteLimit + 3)
        big += "中文字";
    const LoadedText t = loadTextFromBytes(big);
    EXPECT_TRUE(t.truncated);
    EXPECT_EQ(t.encodingCode, kEncodingUtf8);
    EXPECT_EQ(t.text.size() % 3, 0u);
    EXPECT_EQ(t.text.find(kReplacement), std::string::npos);
    EXPECT_LE(t.text.size(), kTextByteLimit);
}

TEST(ConvertCharset, LenientConversions) {
    EXPECT_EQ(convertCharset(kGbkChinese, "GB18030"), "中文");
    EXPECT_EQ(convertCharset("中文", "UTF-8", "GB18030"), kGbkChinese);
    EXPECT_EQ(convertCharset(kBig5Chinese, "BIG5"), "中文");
    // Never an error: invalid input becomes U+FFFD and the rest goes on.
    EXPECT_EQ(convertCharset("a\x81\x20z", "GB18030"), "a" + kReplacement + " z");
    EXPECT_EQ(convertCharset("a\x81", "GB18030"), "a" + kReplacement);
    // The result carries no byte-order mark.
    const std::string utf16 = convertCharset("A", "UTF-8", "UTF-16");
    EXPECT_TRUE(utf16 == std::string("\0A", 2) || utf16 == std::string("A\0", 2));
    EXPECT_EQ(convertCharset("A", "UTF-8", "UTF-16LE"), std::string("A\0", 2));
    // Ill-formed UTF-8 in, well-formed UTF-8 out (surrogates and five-byte forms included).
    std::string fffd3 = kReplacement + kReplacement + kReplacement;
    EXPECT_EQ(convertCharset("\xED\xA0\x80"
                             "a\xF9\x8A\x8A\x8A\x8A",
                             "UTF-8"),
              fffd3 + "a" + fffd3 + kReplacement + kReplacement);
    // An unknown charset gives nothing.
    EXPECT_EQ(convertCharset("abc", "NO-SUCH-CHARSET"), "");
    // The output limit cuts at a whole character.
    EXPECT_EQ(convertCharset(kGbkChinese + kGbkChinese, "GB18030", "UTF-8", 8), "中文");
}

TEST(LoadFileText, AnsiDecodingAgreesWithTheConverter) {
    // The loader decodes ANSI with a table of its own; it must give what the general converter
    // gives, faults included. Content starting with D6 D0 never passes the UTF-8 test.
    const std::string_view pieces[] = {"a",
                                       "\xD6\xD0",
                                       "\x81\x40",
                                       "\x81\x7F",
                                       "\xFE\xFE",
                                       "\x80",
                                       "\xFF",
                                       "\x81",
                                       "0",
                                       "\x81\x30",
                                       "\x81\x30\x81\x30",
                                       "\x84\x31\xA4\x37",
                                       "\x90\x30\x81\x30",
                                       "\xA1\xA1",
                                       "\xAA\xA1",
                                       "\r\n",
                                       "\x81\x30\x81",
                                       "\xE3\x32\x9A\x35"};
    std::mt19937 random(11);
    for (int round = 0; round < 4000; ++round) {
        std::string s = "\xD6\xD0";
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i)
            s += pieces[random() % std::size(pieces)];
        const LoadedText loaded = loadTextFromBytes(s);
        ASSERT_EQ(loaded.encodingCode, kEncodingAnsi);
        ASSERT_EQ(loaded.text, convertCharset(s, "GB18030")) << round;
    }
}
