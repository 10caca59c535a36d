#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Whether a file is text the viewer can show, or an image or other binary content it should not
// decode.
namespace karv {

enum class FileKind { Text, Png, Jpeg, Gif, Bmp, WebP, Pdf, Zip, Elf, Binary };

/// How much of the start of a file the kind is told from.
inline constexpr std::size_t kFileKindBlock = 8192;

/// The kind of content whose first bytes (up to kFileKindBlock) are `head`: a known signature
/// decides; then byte-order marks and UTF-16 without one are text; then a NUL byte means binary.
FileKind detectFileKind(std::string_view head);

/// Formats a window can show as a picture.
bool isImageKind(FileKind kind);

struct FileKindInfo {
    FileKind kind = FileKind::Text;
    std::uint64_t size = 0;
};

/// The kind of a regular file's content (gzip content told by what it holds, as the viewer loads
/// it) and its size. A file that cannot be read counts as text: the loader then shows it empty.
FileKindInfo fileKindOf(const std::string& path);

} // namespace karv
