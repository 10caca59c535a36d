#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

/// Reads a number the lenient way typed boxes are read: leading blanks, an optional sign, digits
/// with an optional fraction and exponent; whatever follows is ignored, and text that does not
/// start with a number counts as 0. Out-of-range values saturate instead of failing.
double leadingNumber(std::string_view text);

/// The text with full-width forms (U+FF01..U+FF5E) and the ideographic space turned into their
/// ASCII forms, so "１００" typed with a Chinese input method reads as "100".
std::string halfWidthText(std::string_view text);

/// Reads a typed count: full-width characters as ASCII, then leading blanks, an optional sign and
/// the leading digits. Text without leading digits gives 0; values beyond the range saturate.
std::int64_t leadingInteger(std::string_view text);

} // namespace karv
