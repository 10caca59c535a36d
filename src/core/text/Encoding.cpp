#include "text/Encoding.h"

#include "text/TextSearch.h"

#include <array>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace karv {

namespace {

constexpr std::array<std::string_view, 7> kDisplayNames = {"ANSI",       "ANSI", "UTF-8",     "Unicode",
                                                           "Unicode BE", "Big5", "Big5-HKSCS"};
constexpr std::array<std::string_view, 7> kCharsetNames = {"",         "",     "UTF-8",     "UTF-16LE",
                                                           "UTF-16BE", "BIG5", "BIG5-HKSCS"};

/// The charset forms of a meta tag, one row per result, alternatives separated by "[fg]"; a pair
/// of apostrophes stands for a double quote.
constexpr std::array<std::string_view, 3> kCharsetRows = {
    "charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'",
    "charset=Big5[fg]charset=''Big5''[fg]charset='Big5'",
    "charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'",
};

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text, pos);
    return out;
}

struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;   ///< end of the text between the markers
    std::size_t after = 0; ///< first byte after the end marker
    bool found = false;
};

/// The first `start` at or after `from` and the next `end` after it, both found ignoring ASCII case.
Span locateBetween(std::string_view text, std::string_view start, std::string_view end, std::size_t from) {
    Span span;
    const std::size_t p1 = findIgnoreAsciiCase(text, start, from);
    if (p1 == std::string_view::npos)
        return span;
    const std::size_t inner = p1 + start.size();
    const std::size_t p2 = findIgnoreAsciiCase(text, end, inner);
    if (p2 == std::string_view::npos)
        return span;
    span = {inner, p2, p2 + end.size(), true};
    return span;
}

/// The head-element scan of `detectHtmlCharset` without copying the (possibly large) text.
std::string_view headOf(std::string_view text) {
    const std::size_t open = findIgnoreAsciiCase(text, "<head>");
    if (open != std::string_view::npos) {
        const std::size_t inner = open + 6;
        const std::size_t close = findIgnoreAsciiCase(text, "</head>", inner);
        if (close != std::string_view::npos && close > inner)
            return text.substr(inner, close - inner);
    }
    return text;
}

} // namespace

std::string_view encodingDisplayName(int code) {
    return code >= 1 && code <= 6 ? kDisplayNames[static_cast<std::size_t>(code)] : kDisplayNames[1];
}

std::string_view encodingCharsetName(int code) {
    return code >= 2 && code <= 6 ? kCharsetNames[static_cast<std::size_t>(code)] : std::string_view{};
}

MarkDetection detectByMarks(std::string_view content) {
    if (content.size() >= 3 && content.substr(0, 3) == "\xEF\xBB\xBF")
        return {kEncodingUtf8, 3};
    if (content.size() >= 2 && content.substr(0, 2) == "\xFF\xFE")
        return {kEncodingUtf16Le, 2};
    if (content.size() >= 2 && content.substr(0, 2) == "\xFE\xFF")
        return {kEncodingUtf16Be, 2};
    return {};
}

int detectHtmlCharset(std::string_view text) {
    static const std::vector<std::string> rows = [] {
        std::vector<std::string> prepared;
        for (const std::string_view row : kCharsetRows)
            prepared.push_back(replaceAll(row, "''", "\""));
        return prepared;
    }();

    const std::string_view head = headOf(text);
    std::size_t position = 0;
    while (true) {
        const Span span = locateBetween(head, "<meta", ">", position);
        if (!span.found || span.end == span.begin)
            return 0;
        const std::string_view segment = head.substr(span.begin, span.end - span.begin);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (containsAnyOf(segment, rows[row], TermMode::Any))
                return static_cast<int>(row) + 1;
        }
        position = span.after;
    }
}

namespace {

inline bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}
inline bool isLead(unsigned char b) {
    return (b & 0xC0) == 0xC0;
}
inline bool isLead34(unsigned char b) {
    return (b & 0xE0) == 0xE0;
}
inline bool isLead4(unsigned char b) {
    return (b & 0xF8) == 0xF0;
}

/// Position-wise form of the sequential test: a byte must be a continuation byte exactly when the
/// byte before it is a lead byte, the byte two before a three- or four-byte lead, or the byte
/// three before a four-byte lead (F0-F4); no byte may be above 0xF4. Checking every position
/// independently lets the bulk run 16 bytes at a time.
inline bool positionFits(const unsigned char* b, std::size_t i) {
    const bool expected =
        (i >= 1 && isLead(b[i - 1])) || (i >= 2 && isLead34(b[i - 2])) || (i >= 3 && isLead4(b[i - 3]));
    return b[i] <= 0xF4 && isContinuation(b[i]) == expected;
}

} // namespace

bool looksLikeUtf8(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    if (n == 0)
        return false;
    unsigned nonAscii = 0;
    std::size_t i = 0;
    for (; i < n && i < 3; ++i) {
        if (!positionFits(b, i))
            return false;
        nonAscii |= b[i] & 0x80u;
    }
#if defined(__SSE2__)
    const __m128i c0 = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i c80 = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i e0 = _mm_set1_epi8(static_cast<char>(0xE0));
    const __m128i f0 = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i f4 = _mm_set1_epi8(static_cast<char>(0xF4));
    const __m128i f8 = _mm_set1_epi8(static_cast<char>(0xF8));
    while (i + 64 <= n) {
        __m128i error = _mm_setzero_si128();
        __m128i high = _mm_setzero_si128();
        __m128i above = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k, i += 16) {
            const auto* p = reinterpret_cast<const __m128i*>(b + i);
            const __m128i cur = _mm_loadu_si128(p);
            const __m128i prev1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i - 1));
            const __m128i prev2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i - 2));
            const __m128i prev3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i - 3));
            const __m128i cont = _mm_cmpeq_epi8(_mm_and_si128(cur, c0), c80);
            const __m128i lead = _mm_cmpeq_epi8(_mm_and_si128(prev1, c0), c0);
            const __m128i lead34 = _mm_cmpeq_epi8(_mm_and_si128(prev2, e0), e0);
            const __m128i lead4 = _mm_cmpeq_epi8(_mm_and_si128(prev3, f8), f0);
            error = _mm_or_si128(error, _mm_xor_si128(cont, _mm_or_si128(lead, _mm_or_si128(lead34, lead4))));
            above = _mm_or_si128(above, _mm_subs_epu8(cur, f4)); // non-zero where a byte is above F4
            high = _mm_or_si128(high, cur);
        }
        if (_mm_movemask_epi8(error) != 0 ||
            _mm_movemask_epi8(_mm_cmpeq_epi8(above, _mm_setzero_si128())) != 0xFFFF)
            return false;
        nonAscii |= static_cast<unsigned>(_mm_movemask_epi8(high));
    }
#endif
    for (; i < n; ++i) {
        if (!positionFits(b, i))
            return false;
        nonAscii |= b[i] & 0x80u;
    }
    // A sequence cut off by the end.
    if (isLead(b[n - 1]) || (n >= 2 && isLead34(b[n - 2])) || (n >= 3 && isLead4(b[n - 3])))
        return false;
    return nonAscii != 0;
}

std::size_t asciiPrefix(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    while (i + 64 <= n) {
        const auto* p = reinterpret_cast<const __m128i*>(b + i);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                         _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
        if (_mm_movemask_epi8(any) != 0)
            break;
        i += 64;
    }
    while (i + 16 <= n) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        if (high != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
        i += 16;
    }
#endif
    while (i < n && b[i] < 0x80)
        ++i;
    return i;
}

Utf8Check checkUtf8(std::string_view bytes) {
    // A few bytes are not worth the wide test's set-up.
    if (bytes.size() >= 64 && wideUtf8Check())
        return checkUtf8Wide(bytes);
    return checkUtf8Scalar(bytes);
}

Utf8Check checkUtf8Scalar(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    Utf8Check result;
    std::size_t i = 0;
    const auto cont = [&](std::size_t at) {
        return (b[at] & 0xC0) == 0x80;
    };
    while (i < n) {
        const unsigned char lead = b[i];
        if (lead < 0x80) {
            i += asciiPrefix(bytes.substr(i));
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            if (i + 1 >= n || !cont(i + 1))
                break;
            i += 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            if (i + 2 >= n || !cont(i + 2))
                break;
            const unsigned char second = b[i + 1];
            const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
            if (second < low || second > high)
                break;
            i += 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            if (i + 3 >= n || !cont(i + 2) || !cont(i + 3))
                break;
            const unsigned char second = b[i + 1];
            const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
            if (second < low || second > high)
                break;
            i += 4;
            result.fourByte = true;
        } else {
            break;
        }
        result.nonAscii = true;
    }
    result.valid = i;
    return result;
}

std::size_t validUtf8Prefix(std::string_view bytes) {
    return checkUtf8(bytes).valid;
}

} // namespace karv
