#pragma once

#include "text/Encoding.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

/// At most this many content bytes of one file are examined (read from disk, or produced by
/// decompressing a gzip file); the rest of a larger file is not part of its text. Bounds the
/// memory of one load whatever the file's size (see docs/text-limits.md).
inline constexpr std::size_t kContentByteLimit = std::size_t{256} << 20;

/// A loaded text never holds more than this many bytes of UTF-8; conversion stops at the last
/// whole character below it.
inline constexpr std::size_t kTextByteLimit = std::size_t{256} << 20;

/// A file's content as program text.
struct LoadedText {
    /// UTF-8, ending before the first zero character of the decoded content.
    std::string text;
    /// The detected `encodingCode`; 0 only when the file could not be read.
    int encodingCode = kEncodingNone;
    /// True when the file (or its decompressed content) was longer than `kContentByteLimit`,
    /// or the text was cut at `kTextByteLimit`.
    bool truncated = false;
};

/// Loads a file as text: gzip content (magic 1F 8B) is decompressed first, then the encoding is
/// detected (marks, HTML meta charset, UTF-8 test, else ANSI = GB18030) and the content decoded
/// into UTF-8. Never fails: a file that cannot be opened for reading, or is not a regular file,
/// gives an empty text with code 0. `pump`, when given, runs between chunks of a long load.
LoadedText loadFileText(const std::string& path, const std::function<void()>& pump = {});

/// The same steps as `loadFileText` on a file's bytes already in memory (gzip included).
LoadedText loadTextFromBytes(std::string_view fileBytes);

/// Converts `bytes` from one iconv charset to another. Lenient: an invalid or cut-off input
/// sequence (and a character the target cannot hold) becomes U+FFFD (or "?" where the target
/// has no U+FFFD); there is no error. The result carries no byte-order mark. Empty when a
/// charset name is unknown. Output stops at the last whole character within `maxOutputBytes`.
std::string convertCharset(std::string_view bytes, std::string_view fromCharset,
                           std::string_view toCharset = "UTF-8", std::size_t maxOutputBytes = kTextByteLimit);

/// Decompresses gzip data (RFC 1952; concatenated members are decoded one after another).
/// Truncated or corrupt data gives the part decoded before the fault, possibly nothing.
/// Output stops at `maxOutputBytes`, so a small "gzip bomb" cannot exhaust memory.
std::string gunzipBytes(std::string_view gzipData, std::size_t maxOutputBytes = kContentByteLimit);

} // namespace karv
