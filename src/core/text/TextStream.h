#pragma once

#include "run/RunContext.h"
#include "text/EarlyAnswer.h"
#include "text/Encoding.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace karv {

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
    /// Asked between pieces; false ends the read at once.
    KeepGoing keepGoing;
    /// When given and the content fits in the head, the whole decoded text is left here too (so a
    /// second reader of the same file needs no second load).
    std::string* wholeText = nullptr;
    /// When given, shown the content's bytes as they are read (in blocks, so that a hit near the
    /// start ends the read there); once it is certain of its answer, nothing more is read or given
    /// to the consumer.
    EarlyTermAnswer* early = nullptr;
};

/// Result of a streamed read.
struct StreamedText {
    int encodingCode = kEncodingNone; ///< as `loadFileText` gives it
    bool stopped = false;             ///< told to stop before the end
    bool whole = false;               ///< the content fitted in the head (see `wholeText`)
    bool early = false;               ///< `control.early` decided; the consumer saw no text
};

/// `loadFileText` for content of any size, with bounded memory: the same text is handed to
/// `consumer` in pieces. Content that fits in `headBytes` is decoded as `loadFileText` decodes it.
/// Longer content is decoded piece by piece, the decoder's state carried across piece edges; its
/// encoding is detected from the head (marks, then an HTML meta charset within the head), and the
/// UTF-8 test runs over the whole content as it streams: text is decoded as UTF-8 while the test
/// holds, and when it fails further on, the consumer begins again with the content read as ANSI.
StreamedText streamFileText(const std::string& path, TextConsumer& consumer,
                            const TextStreamControl& control = {});

/// The same on the file `name` of the open folder `folder`.
StreamedText streamFileTextAt(int folder, const std::string& name, TextConsumer& consumer,
                              const TextStreamControl& control = {});

/// The same on content in memory (gzip included), for tests.
StreamedText streamTextFromBytes(std::string_view fileBytes, TextConsumer& consumer,
                                 const TextStreamControl& control = {});

namespace textio {
class ContentSource;
}

/// The same on content from any source (tests count what is read).
StreamedText streamSourceText(textio::ContentSource& source, TextConsumer& consumer,
                              const TextStreamControl& control = {});

/// Hands an already decoded text to `consumer` in pieces of `control.chunkBytes`, cut at character
/// boundaries, with the pump and the question whether to go on between them. Returns true when stopped.
bool feedText(std::string_view text, TextConsumer& consumer, const TextStreamControl& control = {});

} // namespace karv
