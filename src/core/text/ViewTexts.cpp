#include "text/ViewTexts.h"

namespace karv {

std::string_view fileKindName(FileKind kind) {
    switch (kind) {
    case FileKind::Text:
        return {};
    case FileKind::Png:
        return "PNG 图像";
    case FileKind::Jpeg:
        return "JPEG 图像";
    case FileKind::Gif:
        return "GIF 图像";
    case FileKind::Bmp:
        return "BMP 图像";
    case FileKind::WebP:
        return "WebP 图像";
    case FileKind::Pdf:
        return "PDF 文档";
    case FileKind::Zip:
        return "ZIP 压缩包";
    case FileKind::Elf:
        return "ELF 可执行文件";
    case FileKind::Binary:
        break;
    }
    return "类型未知";
}

std::string binaryFileText(const FileKindInfo& info) {
    // Thousands grouped while copying (an insert into the digits draws a false -Wrestrict at -O3).
    const std::string plain = std::to_string(info.size);
    std::string digits;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i > 0 && (plain.size() - i) % 3 == 0)
            digits += ',';
        digits += plain[i];
    }
    std::string text = "二进制文件：";
    text += fileKindName(info.kind);
    text += "，";
    text += digits;
    text += " 字节";
    return text;
}

} // namespace karv
