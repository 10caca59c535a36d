#include "text/Iconv.h"

#include <cerrno>

namespace karv::textio {

namespace {

/// A charset name with its ASCII letters in lower case.
std::string lowerName(std::string_view charset) {
    std::string lower;
    for (const char c : charset)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    return lower;
}

std::size_t unitSizeOf(std::string_view charset) {
    const std::string lower = lowerName(charset);
    if (lower.rfind("utf-16", 0) == 0 || lower.rfind("ucs-2", 0) == 0 || lower == "utf16")
        return 2;
    if (lower.rfind("utf-32", 0) == 0 || lower.rfind("ucs-4", 0) == 0 || lower == "utf32")
        return 4;
    return 1;
}

/// The replacement character in the target charset ("?" when it cannot hold U+FFFD).
std::string replacementIn(const std::string& to) {
    Converter cd(to, "UTF-8");
    if (!cd.valid())
        return "?";
    char buffer[16];
    char* in = const_cast<char*>(kReplacementUtf8.data());
    std::size_t inLeft = kReplacementUtf8.size();
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (::iconv(cd.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return "?";
    std::string result(buffer, sizeof buffer - outLeft);
    // Some targets (UTF-16, UTF-32) start with a byte-order mark; the result carries none.
    const std::size_t unit = unitSizeOf(to);
    if (unit > 1 && result.size() >= 2 * unit)
        result.erase(0, unit);
    return result;
}

/// `produced` without the byte-order mark that iconv's byte-order-neutral "UTF-16" and "UTF-32"
/// write first.
std::string_view withoutMark(std::string_view produced, std::size_t targetUnit) {
    const std::string_view head = produced.substr(0, 2);
    if (head == "\xFF\xFE" || head == "\xFE\xFF" ||
        produced.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4))
        produced.remove_prefix(targetUnit);
    return produced;
}

} // namespace

/// With `streaming`, a character cut off at the end is left undecoded (see `consumed`).
Decoded iconvConvert(std::string_view bytes, std::string_view fromCharset, std::string_view toCharset,
                     std::size_t limit, bool dropIncompleteTail, bool streaming) {
    Decoded result;
    result.consumed = bytes.size();
    const std::string from(fromCharset);
    const std::string to(toCharset);
    const std::string replacement = replacementIn(to); // before `cd`: it may share the descriptor
    Converter cd(to, from);
    if (!cd.valid()) {
        result.ok = false;
        return result;
    }
    const std::size_t unit = unitSizeOf(fromCharset);
    const std::size_t targetUnit = unitSizeOf(toCharset);
    const std::string targetLower = lowerName(toCharset);
    bool skipTargetMark = targetLower == "utf-16" || targetLower == "utf-32";
    std::string& out = result.text;
    reserveBulk(out, std::min(limit, bytes.size() + bytes.size() / 2 + 16));

    char buffer[1 << 16];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool flushed = false;
    while (true) {
        const std::size_t budget = limit - out.size();
        const std::size_t room = std::min(sizeof buffer, budget);
        char* outPtr = buffer;
        std::size_t outLeft = room;
        std::size_t rc;
        if (inLeft > 0)
            rc = ::iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        else
            rc = ::iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft); // shift state back to initial
        const int error = errno;
        std::string_view produced(buffer, room - outLeft);
        if (skipTargetMark && produced.size() >= targetUnit) {
            produced = withoutMark(produced, targetUnit);
            skipTargetMark = false;
        }
        out.append(produced);
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) {
                if (flushed)
                    break;
                flushed = true;
            }
            continue;
        }
        if (error == E2BIG) {
            if (room < sizeof buffer) { // the limit, not the buffer, is full
                result.truncated = true;
                break;
            }
            continue;
        }
        if (error == EINVAL) { // cut off at the end
            if (streaming) {
                result.consumed = bytes.size() - inLeft;
                break;
            }
            if (!dropIncompleteTail && !appendWithin(out, replacement, limit))
                result.truncated = true;
            break;
        }
        // EILSEQ (or anything else): one unit becomes the replacement character.
        if (!appendWithin(out, replacement, limit)) {
            result.truncated = true;
            break;
        }
        const std::size_t step = std::min(inLeft, unit);
        in += step;
        inLeft -= step;
        if (step == 0)
            break;
    }
    return result;
}

bool isUtf8Name(std::string_view charset) {
    const std::string lower = lowerName(charset);
    return lower == "utf-8" || lower == "utf8";
}

} // namespace karv::textio

namespace karv {

using namespace textio;

std::string convertCharset(std::string_view bytes, std::string_view fromCharset, std::string_view toCharset,
                           std::size_t maxOutputBytes) {
    // iconv lets some ill-formed UTF-8 through (surrogates, long forms), so UTF-8 input is made
    // well-formed here first.
    if (isUtf8Name(fromCharset)) {
        Decoded clean = sanitizeUtf8(bytes, isUtf8Name(toCharset) ? maxOutputBytes : kTextByteLimit, false);
        if (isUtf8Name(toCharset))
            return std::move(clean.text);
        return iconvConvert(clean.text, fromCharset, toCharset, maxOutputBytes, false).text;
    }
    return iconvConvert(bytes, fromCharset, toCharset, maxOutputBytes, false).text;
}

} // namespace karv
