#pragma once

#include "text/FileKind.h"

#include <cstdint>
#include <string>
#include <string_view>

// The words the viewer and the command line's view use for a file that is not text.
namespace karv {

/// "PNG 图像", "PDF 文档", …, "类型未知" for other binary content; empty for text.
std::string_view fileKindName(FileKind kind);

/// "二进制文件：PNG 图像，12,345 字节" (digits grouped by three).
std::string binaryFileText(const FileKindInfo& info);

} // namespace karv
