#include "text/Detect.h"

#include "text/Gb18030.h"
#include "text/Iconv.h"
#include "text/TextBuffers.h"
#include "text/Utf16.h"
#include "values/ValueText.h"

#include <algorithm>

namespace karv::textio {

int codeOfHtmlCharset(std::string_view text) {
    switch (detectHtmlCharset(text)) {
    case 1:
        return kEncodingUtf8;
    case 2:
        return kEncodingBig5;
    case 3:
        return kEncodingBig5Hkscs;
    default:
        return kEncodingNone;
    }
}

Decoded decodeAs(int code, std::string_view bytes, bool truncated) {
    switch (code) {
    case kEncodingUtf8:
        return sanitizeUtf8(cutAtZero(bytes), kTextByteLimit, truncated);
    case kEncodingUtf16Le:
        return decodeUtf16(bytes, false, kTextByteLimit, truncated);
    case kEncodingUtf16Be:
        return decodeUtf16(bytes, true, kTextByteLimit, truncated);
    case kEncodingBig5:
    case kEncodingBig5Hkscs:
        return iconvConvert(cutAtZero(bytes), encodingCharsetName(code), "UTF-8", kTextByteLimit, truncated);
    default: // ANSI: the legacy Chinese code page
        return decodeGb18030(cutAtZero(bytes), kTextByteLimit, truncated);
    }
}

/// Drops a UTF-8 sequence cut off by the size limit, so a long UTF-8 file still passes the test.
std::string_view withoutCutSequence(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const unsigned char c = b[n - back];
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (need > back)
            n -= back;
        break;
    }
    return bytes.substr(0, n);
}

/// `checkUtf8` in steps of a few megabytes with `pump` between them. Each step ends where a
/// character may start (not on a continuation byte), so no sequence spans two steps and the
/// answer is the one of a single pass.
Utf8Check checkUtf8Pumped(std::string_view bytes, const std::function<void()>& pump) {
    constexpr std::size_t kStep = std::size_t{4} << 20;
    if (!pump || bytes.size() <= kStep)
        return checkUtf8(bytes);
    Utf8Check result;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = std::min(bytes.size(), at + kStep);
        while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            ++end;
        const Utf8Check step = checkUtf8(bytes.substr(at, end - at));
        result.valid = at + step.valid;
        result.nonAscii = result.nonAscii || step.nonAscii;
        result.fourByte = result.fourByte || step.fourByte;
        if (step.valid < end - at)
            break;
        at = end;
        if (at < bytes.size())
            pump();
    }
    return result;
}

/// Marks, the HTML charset, then the UTF-8 test. Well-formed UTF-8 without four-byte sequences
/// always passes the test, and all-ASCII content never does, so one strict pass over the body
/// usually decides without the test, and tells whether the body may be kept as it is.
ContentDetection detectContent(std::string_view content, bool truncated, const std::function<void()>& pump) {
    ContentDetection result;
    const MarkDetection mark = detectByMarks(content);
    result.markLength = mark.markLength;
    result.code = mark.code;
    const std::string_view beforeZero = cutAtZero(content);
    result.beforeZero = beforeZero.size();
    if (result.code == kEncodingNone)
        result.code = codeOfHtmlCharset(beforeZero);
    if (result.code != kEncodingNone && result.code != kEncodingUtf8)
        return result;
    const std::string_view body = content.substr(mark.markLength);
    const Utf8Check check = checkUtf8Pumped(body, pump);
    result.bodyValidUtf8 = check.valid == body.size();
    result.bodyAscii = result.bodyValidUtf8 && !check.nonAscii;
    if (result.code == kEncodingNone && !result.bodyAscii) {
        if ((result.bodyValidUtf8 && !check.fourByte) ||
            looksLikeUtf8(truncated ? withoutCutSequence(body) : body))
            result.code = kEncodingUtf8;
    }
    return result;
}

LoadedText decodeContent(std::string_view content, bool truncated) {
    LoadedText result;
    result.truncated = truncated;
    const ContentDetection detection = detectContent(content, truncated);
    const int code = detection.code;
    const std::string_view body = content.substr(detection.markLength);

    if (code != kEncodingNone) {
        Decoded decoded = decodeAs(code, body, truncated);
        // A conversion that gives no text (a mark alone, or a zero character first) falls back
        // to ANSI with the bytes as they are.
        if (decoded.ok && !decoded.text.empty()) {
            result.text = std::move(decoded.text);
            result.encodingCode = code;
            result.truncated = result.truncated || decoded.truncated;
            return result;
        }
    }
    Decoded ansi = decodeAs(kEncodingAnsi, content, truncated);
    result.text = std::move(ansi.text);
    result.encodingCode = kEncodingAnsi;
    result.truncated = result.truncated || ansi.truncated;
    return result;
}

/// The same as the overload above, but the content's own buffer becomes the text where decoding
/// would not change a byte: well-formed UTF-8, and ANSI content that is all ASCII. Most files are
/// one of these, and for them nothing is copied or allocated. `content` is used up.
LoadedText decodeContent(std::string& content, bool truncated, const ContentDetection& detection) {
    static_assert(kContentByteLimit <= kTextByteLimit, "text kept as read must fit the text limit");
    const int code = detection.code;
    const std::size_t markLength = detection.markLength;
    std::size_t textLength = std::string::npos;
    if (code == kEncodingUtf8 && detection.beforeZero > markLength) {
        // A mark holds no zero byte, so the text is the body up to its first zero.
        const std::string_view text =
            std::string_view(content).substr(markLength, detection.beforeZero - markLength);
        const std::size_t valid = detection.bodyValidUtf8 ? text.size() : validUtf8Prefix(text);
        // A sequence cut off by the size limit is dropped, as the sanitizer does; no text at all
        // falls back to ANSI.
        if (valid > 0 &&
            (valid == text.size() ||
             (truncated && utf8SequenceLength(reinterpret_cast<const unsigned char*>(text.data()),
                                              text.size(), valid) < 0)))
            textLength = valid;
    } else if (code == kEncodingNone) {
        const std::string_view text = std::string_view(content).substr(0, detection.beforeZero);
        if (detection.bodyAscii || asciiPrefix(text) == text.size())
            textLength = text.size();
    }
    if (textLength == std::string::npos) {
        LoadedText decoded = decodeContent(std::string_view(content), truncated);
        keepSpareBuffer(std::move(content));
        return decoded;
    }
    LoadedText result;
    result.truncated = truncated;
    result.encodingCode = code == kEncodingNone ? kEncodingAnsi : code;
    content.resize(markLength + textLength);
    content.erase(0, markLength);
    result.text = std::move(content);
    return result;
}

LoadedText decodeContent(std::string& content, bool truncated, const std::function<void()>& pump) {
    return decodeContent(content, truncated, detectContent(content, truncated, pump));
}

} // namespace karv::textio
