#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

/// The encoding a file's content was found to be in (`encodingCode`). 0 is a working value: a
/// file that could not be read keeps it, and it is shown as "ANSI" like any unknown code.
enum EncodingCode : int {
    kEncodingNone = 0,
    kEncodingAnsi = 1,      ///< GB18030 (a superset of GBK), decoded into UTF-8
    kEncodingUtf8 = 2,      ///< mark EF BB BF, meta charset UTF-8, or the UTF-8 test
    kEncodingUtf16Le = 3,   ///< mark FF FE
    kEncodingUtf16Be = 4,   ///< mark FE FF
    kEncodingBig5 = 5,      ///< meta charset Big5
    kEncodingBig5Hkscs = 6, ///< meta charset Big5-HKSCS (quoted forms only)
};

/// "ANSI", "UTF-8", "Unicode", "Unicode BE", "Big5", "Big5-HKSCS"; "ANSI" for any code outside 1..6.
std::string_view encodingDisplayName(int code);

/// The converter's charset name of a code 2..6 ("UTF-8", "UTF-16LE", "UTF-16BE", "BIG5",
/// "BIG5-HKSCS"); empty for every other code (ANSI content is taken as GB18030 by the loader).
std::string_view encodingCharsetName(int code);

/// Result of the byte-order-mark test: the code (2, 3 or 4) and the mark's length, or {0, 0}.
struct MarkDetection {
    int code = kEncodingNone;
    std::size_t markLength = 0;
};

/// Tests the first bytes of the content for the marks of UTF-8 (EF BB BF), UTF-16 little-endian
/// (FF FE) and UTF-16 big-endian (FE FF), in that order.
MarkDetection detectByMarks(std::string_view content);

/// The charset declared in an HTML meta tag: 1 = UTF-8, 2 = Big5, 3 = Big5-HKSCS, 0 = none.
/// `text` is the content read as text, i.e. up to its first zero byte (the caller cuts it).
/// Only the head element is searched when the text has a non-empty one; markers and charset
/// forms are found ignoring ASCII case. Because the test is a containment test, an unquoted
/// charset=Big5-HKSCS is reported as Big5 (2); only its quoted forms give 3.
int detectHtmlCharset(std::string_view text);

/// The UTF-8 test: every byte is ASCII or part of a well-formed two-, three- or four-byte sequence
/// (by bit pattern only; a four-byte lead up to F4, so text with an emoji still reads as UTF-8),
/// and at least one byte is not ASCII. A sequence cut off by the end fails; an empty or all-ASCII
/// sequence is not UTF-8.
bool looksLikeUtf8(std::string_view bytes);

/// What `checkUtf8` found.
struct Utf8Check {
    /// Length of the longest leading part made of whole well-formed UTF-8 sequences (no long
    /// forms, no surrogates, nothing above U+10FFFF); zero bytes count as ASCII.
    std::size_t valid = 0;
    bool nonAscii = false; ///< a byte of 80 or above within `valid`
    bool fourByte = false; ///< a four-byte sequence within `valid`
};

/// Checks how much of `bytes` is well-formed UTF-8. Text that is already valid needs no
/// conversion, so the loader checks this before copying anything.
Utf8Check checkUtf8(std::string_view bytes);

/// The same, a byte at a time.
Utf8Check checkUtf8Scalar(std::string_view bytes);

/// Whether the processor runs the wide test (AVX2).
bool wideUtf8Check();

/// The same, 32 bytes at a time where `wideUtf8Check` says so (else a byte at a time).
Utf8Check checkUtf8Wide(std::string_view bytes);

/// `checkUtf8(bytes).valid`.
std::size_t validUtf8Prefix(std::string_view bytes);

/// Length of the leading part of `bytes` that is ASCII (bytes 00 to 7F).
std::size_t asciiPrefix(std::string_view bytes);

} // namespace karv
