#pragma once

#include "text/LoadedText.h"
#include "text/Utf8.h"

#include <functional>
#include <string>
#include <string_view>

// Which encoding a file's content is in, and its decoding as a whole.
namespace karv::textio {

/// The code a meta charset stands for (`detectHtmlCharset`), or kEncodingNone.
int codeOfHtmlCharset(std::string_view text);

/// Decodes content of a known code into UTF-8, cut at its first zero character.
Decoded decodeAs(int code, std::string_view bytes, bool truncated);

/// The encoding of a file's content and what its detection learnt on the way.
struct ContentDetection {
    int code = kEncodingNone;   ///< kEncodingNone stands for ANSI
    std::size_t markLength = 0; ///< bytes of marks before the body
    std::size_t beforeZero = 0; ///< bytes of the content before its first zero byte
    bool bodyValidUtf8 = false; ///< the whole body is well-formed UTF-8
    bool bodyAscii = false;     ///< the whole body is ASCII
};

/// Marks, the HTML charset, then the UTF-8 test. Well-formed UTF-8 without four-byte sequences
/// always passes the test, and all-ASCII content never does, so one strict pass over the body
/// usually decides without the test, and tells whether the body may be kept as it is.
ContentDetection detectContent(std::string_view content, bool truncated,
                               const std::function<void()>& pump = {});

/// Detects the content's encoding and decodes it.
LoadedText decodeContent(std::string_view content, bool truncated);

/// The same as the overload above, but the content's own buffer becomes the text where decoding
/// would not change a byte: well-formed UTF-8, and ANSI content that is all ASCII. Most files are
/// one of these, and for them nothing is copied or allocated. `content` is used up.
LoadedText decodeContent(std::string& content, bool truncated, const ContentDetection& detection);

/// Detects (with `pump` between steps of a long test) and decodes; `content` is used up.
LoadedText decodeContent(std::string& content, bool truncated, const std::function<void()>& pump = {});

} // namespace karv::textio
