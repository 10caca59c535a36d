#pragma once

#include <string>
#include <string_view>

namespace karv {

/// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// File names on Linux are bytes. A name that is not UTF-8 (typical: GBK names from an old archive)
/// is decoded as GB18030 for display; the raw bytes stay what every file operation uses.
/// `decodedAsLegacy` tells whether that fallback was taken.
std::string displayText(std::string_view rawName, bool* decodedAsLegacy = nullptr);

} // namespace karv
