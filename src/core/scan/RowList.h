#pragma once

#include "files/FileOps.h"
#include "scan/ResultRow.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A saved result list, as `scan --format json` writes it and the window saves and loads it: one
// JSON object per line, in list order.
//
//   {"文件名":…,"文件大小":…,"文件时间":…,"内容字数":…,"所在目录":…,"path":…,
//    "group":N, "kept":1, "weak_match":1, "dev":N,"ino":N,"size":N,"mtime_ns":N,"ctime_ns":N,
//    "dir_dev":N,"dir_ino":N, "path_bytes":"…"}
//
// The texts are shown forms (a GBK name decoded). `group` is there for a row of a duplicate group,
// `kept` for its member that stays, `weak_match` when the group was made by size or name alone,
// the identity stamp (`dev` … `ctime_ns`) for a row whose file was looked at, `dir_dev`/`dir_ino`
// for the folder it was listed in, and `path_bytes` (the exact path in base64) when the path is not
// valid UTF-8: a reader then takes the path from it, never from the shown `path`.

namespace karv {

/// One row as a line of a saved list, with its line break.
std::string rowListLine(const ResultRow& row);

/// A JSON string literal (with its quotes) of UTF-8 text.
std::string jsonQuoted(std::string_view text);
/// Standard base64 with padding, and its strict inverse (false for anything else).
std::string base64Encode(std::string_view bytes);
bool base64Decode(std::string_view text, std::string& bytes);

/// Why a list could not be read: the line (from 1) and what is wrong with it.
struct RowListError {
    std::size_t line = 0;
    std::string message;
};

/// Reads one line of a saved list. False, with what is wrong in `message`, for a line that is not
/// one flat JSON object of strings and whole numbers, lacks a path, or holds a number out of range.
bool readRowLine(std::string_view line, ResultRow& row, std::string& message);
/// Reads a whole saved list (a leading byte-order mark, CR LF and blank lines allowed). Stops at the
/// first bad line: false with its number and reason.
bool readRowList(std::string_view content, std::vector<ResultRow>& rows, RowListError& error);
/// The same, handing each row on as it is read, so a long list is never held twice. On a bad line
/// the rows handed on before it are the caller's to drop.
bool readRowList(std::string_view content, const std::function<void(ResultRow&&)>& each, RowListError& error);
/// Whether a list's content is a saved list rather than a plain list of paths: its first
/// non-blank byte opens an object.
bool looksLikeRowList(std::string_view content);

/// The file a row stands for, as the identity-checked acts take it.
files::Listed listedFile(const ResultRow& row);

} // namespace karv
