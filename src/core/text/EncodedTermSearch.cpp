#include "text/EncodedTermSearch.h"

#include "text/Encoding.h"
#include "text/Gb18030.h"
#include "text/Iconv.h"
#include "text/NameText.h"
#include "text/TextSearch.h"
#include "values/ValueText.h"

namespace karv {

using namespace textio;

namespace {

/// A term's bytes in one encoding, when a search of those bytes is sure to agree with a search of
/// the decoded text: the term has no ASCII letter (case folding applies to the decoded text only),
/// and each of its characters has one form only in that encoding. Empty when that is not so.
std::string encodedTerm(std::string_view term, int code) {
    if (!isValidUtf8(term))
        return {};
    const auto* b = reinterpret_cast<const unsigned char*>(term.data());
    for (std::size_t i = 0; i < term.size();) {
        const int length = utf8SequenceLength(b, term.size(), i);
        char32_t c = b[i];
        if (length == 2)
            c = (c & 0x1F) << 6 | (b[i + 1] & 0x3F);
        else if (length == 3)
            c = (c & 0x0F) << 12 | (b[i + 1] & 0x3Fu) << 6 | (b[i + 2] & 0x3F);
        else if (length == 4)
            c = (c & 0x07) << 18 | (b[i + 1] & 0x3Fu) << 12 | (b[i + 2] & 0x3Fu) << 6 | (b[i + 3] & 0x3F);
        if (c == 0 || c == 0xFFFD || (c < 0x80 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')))
            return {};
        // In GB18030 only ASCII and the unified ideographs of the two-byte area are taken: for
        // them one byte sequence alone decodes to the character.
        if (code == kEncodingAnsi && c >= 0x80 && (c < 0x4E00 || c > 0x9FA5))
            return {};
        i += static_cast<std::size_t>(length);
    }
    const char* charset = code == kEncodingAnsi      ? "GB18030"
                          : code == kEncodingUtf16Le ? "UTF-16LE"
                                                     : "UTF-16BE";
    const Decoded encoded = iconvConvert(term, "UTF-8", charset, term.size() * 4, false);
    if (!encoded.ok || encoded.text.empty())
        return {};
    return encoded.text;
}

/// Whether the GB18030 decoder, going from the content's start, takes a character start at `at`.
/// Any byte below 30 is a character of its own, so the walk starts after the last one before
/// `at`. -1 when that is too far back or the way there has a four-byte form.
int gbCharacterStartsAt(std::string_view body, std::size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(body.data());
    constexpr std::size_t kReach = 1 << 16;
    std::size_t from = at;
    while (from > 0 && b[from - 1] >= 0x30) {
        if (at - from >= kReach)
            return -1;
        --from;
    }
    const Gb18030Table& table = Gb18030Table::instance();
    std::size_t i = from;
    while (i < at) {
        const unsigned char lead = b[i];
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < body.size()) {
            const unsigned char trail = b[i + 1];
            if (trail >= 0x30 && trail <= 0x39)
                return -1;
            if (trail >= 0x40 && trail <= 0xFE && !table.at(lead, trail).empty()) {
                i += 2;
                continue;
            }
        }
        ++i;
    }
    return i == at ? 1 : 0;
}

} // namespace

int findTermsEncoded(int code, std::string_view body, const std::vector<std::string>& terms) {
    if (code != kEncodingAnsi && code != kEncodingUtf16Le && code != kEncodingUtf16Be)
        return -1;
    // The encoded forms of the run's terms, made once.
    struct Forms {
        std::vector<std::string> terms;
        int code = kEncodingNone;
        std::vector<std::string> encoded;
        bool usable = false;
    };
    thread_local Forms forms;
    if (forms.code != code || forms.terms != terms) {
        forms.terms = terms;
        forms.code = code;
        forms.encoded.clear();
        forms.usable = true;
        for (const std::string& term : terms) {
            if (term.empty())
                continue;
            std::string encoded = encodedTerm(term, code);
            forms.usable = forms.usable && !encoded.empty();
            forms.encoded.push_back(std::move(encoded));
        }
    }
    if (!forms.usable)
        return -1;
    std::size_t end = body.size();
    if (code != kEncodingAnsi) {
        // UTF-16 text ends at its first zero unit.
        for (std::size_t at = 0;
             (at = findExact(body.substr(0, end), std::string_view("\0\0", 2), at)) != std::string_view::npos;
             ++at) {
            if (at % 2 == 0) {
                end = at;
                break;
            }
        }
    }
    const std::string_view text = body.substr(0, end);
    bool unsure = false;
    for (const std::string& term : forms.encoded) {
        for (std::size_t at = 0; (at = findExact(text, term, at)) != std::string_view::npos; ++at) {
            const int starts = code == kEncodingAnsi ? gbCharacterStartsAt(text, at) : at % 2 == 0 ? 1 : 0;
            if (starts == 1)
                return 1;
            unsure = unsure || starts < 0;
        }
    }
    return unsure ? -1 : 0;
}

} // namespace karv
