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
    std::string digits = std::to_string(info.size);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return "二进制文件：" + std::string(fileKindName(info.kind)) + "，" + digits + " 字节";
}

} // namespace karv
