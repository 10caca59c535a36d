#include "text/Removers.h"

#include "values/ValueText.h"

#include <algorithm>
#include <cstdint>

namespace karv {

namespace {

/// Length of the well-formed UTF-8 character at `pos` (shortest form, no surrogates, at most
/// U+10FFFF); 0 when the bytes there are not one.
std::size_t characterLength(std::string_view text, std::size_t pos) {
    const int length =
        utf8SequenceLength(reinterpret_cast<const unsigned char*>(text.data()), text.size(), pos);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

} // namespace

std::string removeTags(std::string_view text, const std::function<void()>& pump) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0; // text before this offset is in `out` or removed
    std::size_t from = 0;
    std::size_t nextPump = kRemoverPumpBytes; // offset at which the pump runs next
    auto pumpAt = [&](std::size_t offset) {
        if (pump && offset >= nextPump) {
            nextPump = offset + kRemoverPumpBytes;
            pump();
        }
    };
    while (true) {
        pumpAt(from);
        const std::size_t open = text.find('<', from);
        if (open == std::string_view::npos)
            break;
        // "[\s\S]+?" takes at least one character, so the closing ">" comes after that one.
        std::size_t at = open + 1;
        if (at >= text.size())
            break;
        const std::size_t first = characterLength(text, at);
        if (first == 0) {
            from = at + 1;
            continue;
        }
        at += first;
        std::size_t close = std::string_view::npos;
        while (at < text.size()) {
            pumpAt(at);
            if (text[at] == '>') {
                close = at;
                break;
            }
            const std::size_t length = characterLength(text, at);
            if (length == 0)
                break;
            at += length;
        }
        if (close != std::string_view::npos) {
            out.append(text.substr(copied, open - copied));
            copied = close + 1;
            from = close + 1;
            continue;
        }
        if (at >= text.size())
            break; // no ">" after this "<", so none after a later one either
        // A malformed byte ends the tag's characters. Every "<" before it fails the same way: no
        // ">" lies between them and it.
        from = at + 1;
    }
    out.append(text.substr(copied));
    return out;
}

std::string removeBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(out),
                 [](char c) { return c != ' ' && (c < '\t' || c > '\r'); });
    return out;
}

} // namespace karv
