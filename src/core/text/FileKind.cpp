#include "text/FileKind.h"

#include "text/ByteSource.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>

namespace karv {

namespace {

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

/// "BM" alone starts plenty of texts: a bitmap also has its reserved words zero and a known
/// header size.
bool isBitmap(std::string_view head) {
    if (head.size() < 18 || !startsWith(head, "BM") || head.substr(6, 4) != std::string_view("\0\0\0\0", 4))
        return false;
    constexpr std::array<std::uint32_t, 7> kHeaderSizes{12, 40, 52, 56, 64, 108, 124};
    return std::find(kHeaderSizes.begin(), kHeaderSizes.end(), littleEndian32(head, 14)) !=
           kHeaderSizes.end();
}

FileKind signatureKind(std::string_view head) {
    if (startsWith(head, "\x89PNG\r\n\x1A\n"))
        return FileKind::Png;
    if (startsWith(head, "\xFF\xD8\xFF"))
        return FileKind::Jpeg;
    if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a"))
        return FileKind::Gif;
    if (head.size() >= 12 && startsWith(head, "RIFF") && head.substr(8, 4) == "WEBP")
        return FileKind::WebP;
    if (isBitmap(head))
        return FileKind::Bmp;
    if (startsWith(head, "%PDF-"))
        return FileKind::Pdf;
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06"))
        return FileKind::Zip;
    if (startsWith(head, "\x7F"
                         "ELF"))
        return FileKind::Elf;
    return FileKind::Text;
}

bool asciiTextByte(char c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F);
}

/// UTF-16 without a mark: its zero bytes are the high halves of ASCII characters, so they all fall
/// on one side of the code units, beside an ASCII character, in a good part of the units, and no
/// unit is zero. Binary content has zeros on both sides, or beside other bytes.
bool looksLikeMarklessUtf16(std::string_view head) {
    const std::size_t units = head.size() / 2;
    if (units == 0 || head.size() % 2 != 0)
        return false;
    std::size_t zeroFirst = 0, zeroSecond = 0;
    for (std::size_t i = 0; i < units; ++i) {
        const char first = head[2 * i];
        const char second = head[2 * i + 1];
        if (first == '\0' && second == '\0')
            return false;
        if ((first == '\0' && !asciiTextByte(second)) || (second == '\0' && !asciiTextByte(first)))
            return false;
        zeroFirst += first == '\0';
        zeroSecond += second == '\0';
    }
    const std::size_t zeros = zeroFirst + zeroSecond;
    return (zeroFirst == 0 || zeroSecond == 0) && zeros * 4 >= units;
}

} // namespace

FileKind detectFileKind(std::string_view head) {
    head = head.substr(0, kFileKindBlock);
    if (const FileKind known = signatureKind(head); known != FileKind::Text)
        return known;
    // Marks first: UTF-16 text is full of zero bytes.
    if (startsWith(head, "\xEF\xBB\xBF") || startsWith(head, "\xFF\xFE") || startsWith(head, "\xFE\xFF"))
        return FileKind::Text;
    if (head.find('\0') == std::string_view::npos || looksLikeMarklessUtf16(head))
        return FileKind::Text;
    return FileKind::Binary;
}

bool isImageKind(FileKind kind) {
    switch (kind) {
    case FileKind::Png:
    case FileKind::Jpeg:
    case FileKind::Gif:
    case FileKind::Bmp:
    case FileKind::WebP:
        return true;
    default:
        return false;
    }
}

FileKindInfo fileKindOf(const std::string& path) {
    FileKindInfo info;
    textio::FileHandle file(path);
    struct stat facts {};
    if (file.fd() < 0 || ::fstat(file.fd(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return info;
    info.size = static_cast<std::uint64_t>(std::max<off_t>(facts.st_size, 0));
    char block[kFileKindBlock]; // not cleared: only the bytes read are looked at
    std::string_view head(block, file.read(block, sizeof block));
    std::string inflated;
    if (startsWith(head, "\x1F\x8B")) {
        // The viewer shows what a gzip file holds: that decides.
        textio::FileSource source(file, static_cast<std::size_t>(info.size));
        if (!source.rewind())
            return info;
        inflated = textio::inflateGzip(source, kFileKindBlock, 0).bytes;
        head = inflated;
    }
    info.kind = detectFileKind(head);
    return info;
}

} // namespace karv
