#pragma once

#include <cstddef>
#include <string_view>

namespace karv {

/// How a list of alternatives or terms is judged: any one of them suffices, or all must be present.
enum class TermMode { Any, All };

/// Byte offset of the first occurrence of `needle` in `haystack` at or after `from`, comparing
/// ASCII letters A-Z/a-z without regard to case and every other byte exactly; npos when absent.
/// On UTF-8 text a UTF-8 needle can only match at character boundaries, so a hit never starts
/// inside a multi-byte character. An empty needle is found at `from` (when `from` <= size).
std::size_t findIgnoreAsciiCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

/// Like `findIgnoreAsciiCase`, but every byte is compared exactly.
std::size_t findExact(std::string_view haystack, std::string_view needle, std::size_t from = 0);

/// Offset of the last occurrence of `needle` that starts at or before `before` (ASCII case folded);
/// npos when absent.
std::size_t rfindIgnoreAsciiCase(std::string_view haystack, std::string_view needle,
                                 std::size_t before = std::string_view::npos);

/// Equality with ASCII letters folded.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

/// Whether `text` contains any (or all) of the alternatives of `list`, which are separated by
/// "[fg]"; each is searched ignoring ASCII case. An empty alternative counts as found when the
/// text is not empty. An empty list gives false in mode Any and true in mode All.
bool containsAnyOf(std::string_view text, std::string_view list, TermMode mode = TermMode::Any);

} // namespace karv
