#include "text/Removers.h"

#include <algorithm>
#include <cstdint>

namespace karv {

namespace {

/// Length of the well-formed UTF-8 character at `pos` (shortest form, no surrogates, at most
/// U+10FFFF); 0 when the bytes there are not one.
std::size_t characterLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint32_t low = 0;
    std::uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = 0x80;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = 0x800;
        value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = 0x10000;
        value = lead & 0x07u;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(pos + i) & 0x3Fu);
    }
    if (value < low || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string removeTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0; // text before this offset is in `out` or removed
    std::size_t from = 0;
    while (true) {
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
