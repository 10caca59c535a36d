#pragma once

#include "text/Encoding.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

/// Receives a file's text piece by piece. Every piece holds whole characters of well-formed UTF-8,
/// so a piece never starts inside a character (a CR LF pair may still be split between two).
class TextConsumer {
public:
    virtual ~TextConsumer() = default;
    /// The text starts, or starts over: the encoding was found to be another one after some text
    /// was given, so everything given before is void.
    virtual void begin() = 0;
    /// The next piece. Returns true when the consumer needs no more text.
    virtual bool feed(std::string_view piece) = 0;
    /// Offered, after `begin`, the undecoded bytes of short ANSI or UTF-16 content (code 1, 3 or
    /// 4; for ANSI up to the first zero byte, for UTF-16 after the mark): returns true when the
    /// consumer could take what it needs from them, and then no text is given.
    virtual bool judgeEncoded(int code, std::string_view body) {
        (void)code;
        (void)body;
        return false;
    }
};

/// Whether any non-empty term occurs in the text that `body` decodes to (code 1, 3 or 4, bytes as
/// `TextConsumer::judgeEncoded` gets them), found by searching the terms' encoded bytes and
/// checking that a hit starts on a character: 1 or 0, or -1 when that cannot be told soundly (a
/// term with ASCII letters or with a character of several encoded forms, an unclear character
/// start) and the decoded text must be searched.
int findTermsEncoded(int code, std::string_view body, const std::vector<std::string>& terms);

/// Content up to this size is read and decoded in one piece, exactly as `loadFileText` does.
inline constexpr std::size_t kStreamHeadBytes = std::size_t{8} << 20;
/// Larger content is read, decoded and handed over in pieces of about this size.
inline constexpr std::size_t kStreamChunkBytes = std::size_t{1} << 20;

/// How a streamed read runs.
struct TextStreamControl {
    std::size_t headBytes = kStreamHeadBytes;
    std::size_t chunkBytes = kStreamChunkBytes;
    /// Runs between pieces (the window's event pump).
    std::function<void()> pump;
    /// Asked between pieces; true ends the read at once.
    std::function<bool()> stopRequested;
    /// When given and the content fits in the head, the whole decoded text is left here too (so a
    /// second reader of the same file needs no second load).
    std::string* wholeText = nullptr;
};

/// Result of a streamed read.
struct StreamedText {
    int encodingCode = kEncodingNone; ///< as `loadFileText` gives it
    bool stopped = false;             ///< the stop request ended the read before the end
    bool whole = false;               ///< the content fitted in the head (see `wholeText`)
};

/// `loadFileText` for content of any size, with bounded memory: the same text is handed to
/// `consumer` in pieces. Content that fits in `headBytes` is decoded as `loadFileText` decodes it.
/// Longer content is decoded piece by piece, the decoder's state carried across piece edges; its
/// encoding is detected from the head (marks, then an HTML meta charset within the head), and the
/// UTF-8 test runs over the whole content as it streams: text is decoded as UTF-8 while the test
/// holds, and when it fails further on, the consumer begins again with the content read as ANSI.
StreamedText streamFileText(const std::string& path, TextConsumer& consumer,
                            const TextStreamControl& control = {});

/// The same on content in memory (gzip included), for tests.
StreamedText streamTextFromBytes(std::string_view fileBytes, TextConsumer& consumer,
                                 const TextStreamControl& control = {});

/// Hands an already decoded text to `consumer` in pieces of `control.chunkBytes`, cut at character
/// boundaries, with the pump and the stop request between them. Returns true when stopped.
bool feedText(std::string_view text, TextConsumer& consumer, const TextStreamControl& control = {});

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
