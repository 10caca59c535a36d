#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

// The tag and blank removers of the content count, written as single passes over the text: they
// always finish, in time linear in the text, whatever it holds. Each gives exactly what the
// expression object's global replacement by "" gives for its expression.

/// Every match of "<[\s\S]+?>" removed: a "<", at least one character, and the first ">" after
/// that. A byte that is not well-formed UTF-8 is no character, so a tag never spans one.
/// `pump`, when given, runs after about every `kRemoverPumpBytes` bytes scanned, so a window
/// stays answering over a text of many megabytes; it does not change the result.
std::string removeTags(std::string_view text, const std::function<void()>& pump = {});

/// Bytes scanned between two calls of a remover's pump: a few milliseconds of work.
inline constexpr std::size_t kRemoverPumpBytes = std::size_t{1} << 20;

/// Every match of "\s" removed: space, tab, line feed, vertical tab, form feed and carriage return.
std::string removeBlanks(std::string_view text);

} // namespace karv
