#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace karv {

// The words about saved result lists that the windows and the command line both show.

inline constexpr std::string_view kListNotAnObject = "不是一个 JSON 对象";
inline constexpr std::string_view kListBadSyntax = "JSON 格式错误";
inline constexpr std::string_view kListBadNumber = "数字无效或超出范围";
inline constexpr std::string_view kListBadText = "文字不是有效的 UTF-8";
inline constexpr std::string_view kListNoPath = "缺少 path";
inline constexpr std::string_view kListBadPathBytes = "path_bytes 不是有效的 base64 路径";
inline constexpr std::string_view kListPartialStamp = "身份信息不完整";

/// "列表第 N 行：<why>".
std::string listLineError(std::size_t line, std::string_view why);

} // namespace karv
