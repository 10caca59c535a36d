#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Parts of a path or file name as plain text, low enough for the file layer and every tool to use.
namespace karv {

/// The text before the last "/" (empty when there is none).
std::string folderPart(std::string_view path);

/// The text after the last "/" (the whole path when there is none).
std::string fileNamePart(std::string_view path);

/// The file name without the part from its last "." on.
std::string mainNamePart(std::string_view path);
/// The k-th free-name candidate of a file name: "report.doc" → "report<k>.doc". A name without an
/// extension gets the number only (Linux would keep a trailing dot), and a leading dot marks a
/// hidden file, not an extension (".bashrc" → ".bashrc<k>").
std::string numberedName(std::string_view name, std::uint64_t k);

} // namespace karv
