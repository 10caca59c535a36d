#include "text/FileKind.h"

#include "support/TempTree.h"
#include "support/TextFixtures.h"
#include "text/ViewTexts.h"

#include <gtest/gtest.h>

using namespace karv;
using karv::test::gzipOf;
using karv::test::TempTree;

namespace {

std::string bytes(const char* data, std::size_t size) {
    return std::string(data, size);
}

} // namespace

TEST(FileKind, SignaturesDecideThenMarksThenZeroBytes) {
    const std::string bitmap = bytes("BM\x36\x00\x00\x00\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0", 20);
    const struct {
        std::string head;
        FileKind kind;
    } cases[] = {
        {bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16), FileKind::Png},
        {bytes("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), FileKind::Jpeg},
        {"GIF89a\x01\x00", FileKind::Gif},
        {"GIF87a", FileKind::Gif},
        {bitmap, FileKind::Bmp},
        {bytes("RIFF\x24\0\0\0WEBPVP8 ", 16), FileKind::WebP},
        {bytes("RIFF\x24\0\0\0WAVEfmt ", 16), FileKind::Binary}, // not a picture, zero bytes
        {"%PDF-1.7\n%\xE2\xE3\xCF\xD3\n", FileKind::Pdf},        // binary without a zero byte
        {bytes("\x7F"
               "ELF\x02\x01\x01\0",
               8),
         FileKind::Elf},
        {bytes("abc\0def", 7), FileKind::Binary},
        {bytes("\x01\x02\0\xFF", 4), FileKind::Binary}, // a zero beside no ASCII character
        // Text, zero bytes or not.
        {"BMW report, 2014\n", FileKind::Text},
        {bytes("\xFF\xFEh\0i\0\n\0", 8), FileKind::Text},         // UTF-16 LE with its mark
        {bytes("\xFE\xFF\0h\0i\0\n", 8), FileKind::Text},         // UTF-16 BE with its mark
        {bytes("h\0i\0 \0\x2D\x4E\n\0", 10), FileKind::Text},     // UTF-16 LE without one
        {bytes("\0h\0i\x4E\x2D", 6), FileKind::Text},             // UTF-16 BE without one
        {"\xD6\xD0\xCE\xC4\xCE\xC4\xB1\xBE\r\n", FileKind::Text}, // GBK
        {"中文 UTF-8\n", FileKind::Text},
        {"", FileKind::Text},
        {std::string(kFileKindBlock, 'a') + std::string(1, '\0'), FileKind::Text}, // past the first block
    };
    for (const auto& c : cases)
        EXPECT_EQ(detectFileKind(c.head), c.kind) << testing::PrintToString(c.head);
    for (FileKind image : {FileKind::Png, FileKind::Jpeg, FileKind::Gif, FileKind::Bmp, FileKind::WebP})
        EXPECT_TRUE(isImageKind(image));
    EXPECT_FALSE(isImageKind(FileKind::Pdf));
    EXPECT_FALSE(isImageKind(FileKind::Binary));
}

TEST(FileKind, FilesAreToldByWhatTheViewerWouldLoad) {
    TempTree tree;
    const std::string png = tree.file("p.png", bytes("\x89PNG\r\n\x1A\n", 8) + std::string(12337, '\x01'));
    const FileKindInfo info = fileKindOf(png);
    EXPECT_EQ(info.kind, FileKind::Png);
    EXPECT_EQ(info.size, 12345u);
    EXPECT_EQ(binaryFileText(info), "二进制文件：PNG 图像，12,345 字节");
    EXPECT_EQ(binaryFileText({FileKind::Binary, 7}), "二进制文件：类型未知，7 字节");
    // gzip is read through, as the viewer shows what it holds.
    EXPECT_EQ(fileKindOf(tree.file("t.gz", gzipOf("plain words\n"))).kind, FileKind::Text);
    EXPECT_EQ(fileKindOf(tree.file("b.gz", gzipOf(bytes("ab\0\0cd", 6)))).kind, FileKind::Binary);
    EXPECT_EQ(fileKindOf(tree.path("missing")).kind, FileKind::Text);
}
