#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text lists the user hands the program: keyword lists, batch names, path lists. They may come from
// a Windows editor (a leading byte-order mark) or from a pipe (a script's `<(…)`, standard input).

namespace karv {

/// Removes a leading UTF-8 byte-order mark; every other byte stays.
void dropByteOrderMark(std::string& text);

/// Appends everything `fd` still gives to `content`, waiting on a non-blocking descriptor rather
/// than giving up; false with `error` set on a read error or past 1 GiB.
bool readToEnd(int fd, std::string& content, std::string& error);

/// Reads a list whole: "-" is standard input; a regular file is read as it is, a pipe, socket or
/// terminal to its end (so `/dev/fd/N` and a named pipe work). A leading UTF-8 byte-order mark is
/// dropped. False with a one-line reason in `error` when the input is missing, a folder or block
/// device, unreadable, or larger than any list could sensibly be.
bool readTextInput(const std::string& path, std::string& content, std::string& error);

/// The entries of a list: with `nulSeparated` split at every NUL, otherwise at every LF with a CR
/// before it dropped. A separator at the very end ends the last entry rather than starting an
/// empty one.
std::vector<std::string> splitTextInput(std::string_view text, bool nulSeparated);

} // namespace karv
