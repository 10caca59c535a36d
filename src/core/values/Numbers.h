#pragma once

#include <string_view>

namespace karv {

/// Reads a number the lenient way typed boxes are read: leading blanks, an optional sign, digits
/// with an optional fraction and exponent; whatever follows is ignored, and text that does not
/// start with a number counts as 0. Out-of-range values saturate instead of failing.
double leadingNumber(std::string_view text);

} // namespace karv
