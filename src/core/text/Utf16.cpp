#include "text/Utf16.h"

namespace karv::textio {

Decoded decodeUtf16(std::string_view bytes, bool bigEndian, std::size_t limit, bool dropIncompleteTail,
                    bool streaming) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    const std::size_t hi = bigEndian ? 0 : 1;
    const std::size_t lo = bigEndian ? 1 : 0;
    auto unitAt = [&](std::size_t u) -> char32_t {
        return (char32_t{b[2 * u + hi]} << 8) | b[2 * u + lo];
    };
    Utf8Sink sink(limit, units * 3); // a CJK unit becomes three bytes
    Decoded result;
    result.consumed = bytes.size();
    // Returns false when the limit was reached.
    const auto decode = [&]() -> bool {
        std::size_t u = 0;
        while (u < units) {
            const char32_t c = unitAt(u);
            if (c == 0) {
                result.endedAtZero = true;
                result.consumed = 2 * u;
                return true;
            }
            if (streaming && u + 1 == units && c >= 0xD800 && c <= 0xDBFF) {
                result.consumed = 2 * u;
                return true;
            }
            bool fits;
            if (c < 0xD800 || c > 0xDFFF) {
                fits = sink.putCodePoint(c);
                u += 1;
            } else if (c <= 0xDBFF && u + 1 < units && unitAt(u + 1) >= 0xDC00 && unitAt(u + 1) <= 0xDFFF) {
                fits = sink.putCodePoint(0x10000 + ((c - 0xD800) << 10) + (unitAt(u + 1) - 0xDC00));
                u += 2;
            } else {
                if (u + 1 == units && c <= 0xDBFF && dropIncompleteTail)
                    return true;
                fits = sink.put(kReplacementUtf8.data(), 3);
                u += 1;
            }
            if (!fits)
                return false;
        }
        if (streaming) {
            result.consumed = 2 * units;
            return true;
        }
        return bytes.size() % 2 == 0 || dropIncompleteTail || sink.put(kReplacementUtf8.data(), 3);
    };
    result.truncated = !decode();
    result.text = sink.take();
    return result;
}

} // namespace karv::textio
