#include "text/Gb18030.h"

#include "text/Iconv.h"
#include "text/Utf8.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace karv::textio {

Gb18030Table::Gb18030Table() : m_entries(126 * 191) {
    const iconv_t cd = ::iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char* inPtr = in;
            std::size_t inLeft = 2;
            Entry& entry = m_entries[(lead - 0x81u) * 191u + (trail - 0x40u)];
            char* outPtr = entry.bytes;
            std::size_t outLeft = sizeof entry.bytes;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                inLeft == 0)
                entry.length = static_cast<std::uint8_t>(sizeof entry.bytes - outLeft);
        }
    }
    ::iconv_close(cd);
}

namespace {

/// The UTF-8 form, written to `utf8`, of the four bytes at `at` taken as one GB18030 character:
/// its length, or no value when they are none (iconv reports the fault on the first byte).
std::optional<std::size_t> fourByteForm(const Converter& fourByte, const unsigned char* at, char (&utf8)[8]) {
    if (!fourByte.valid())
        return std::nullopt;
    char in[4];
    std::memcpy(in, at, 4);
    char* inPtr = in;
    std::size_t inLeft = 4;
    char* outPtr = utf8;
    std::size_t outLeft = sizeof utf8;
    ::iconv(fourByte.get(), nullptr, nullptr, nullptr, nullptr);
    if (::iconv(fourByte.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
        inLeft == 0)
        return sizeof utf8 - outLeft;
    return std::nullopt;
}

} // namespace

Decoded decodeGb18030(std::string_view bytes, std::size_t limit, bool dropIncompleteTail, bool streaming) {
    const Gb18030Table& table = Gb18030Table::instance();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t stopAt = n; // only bytes before this may start a character here
    if (streaming && n > 0) {
        stopAt = n >= 3 ? n - 3 : 0;
        while (stopAt < n && b[stopAt] < 0x80)
            ++stopAt;
    }
    std::size_t consumed = n;
    Utf8Sink sink(limit, n + n / 2);
    Converter fourByte("UTF-8", "GB18030");
    // Returns false when the limit was reached.
    const auto decode = [&]() -> bool {
        std::size_t i = 0;
        while (i < n) {
            // ASCII runs are copied as they are.
            const std::size_t run = asciiRunEnd(b, n, i);
            if (run > i) {
                const std::size_t room = limit - sink.size();
                if (!sink.put(bytes.data() + i, std::min(run - i, room)) || run - i > room)
                    return false;
                i = run;
                continue;
            }
            if (i >= stopAt) {
                consumed = i;
                return true;
            }
            const unsigned char lead = b[i];
            if (lead >= 0x81 && lead <= 0xFE && i + 1 < n) {
                const unsigned char trail = b[i + 1];
                if (trail >= 0x40 && trail <= 0xFE) {
                    const std::string_view utf8 = table.at(lead, trail);
                    if (!utf8.empty()) {
                        if (!sink.put4(utf8.data(), utf8.size()))
                            return false;
                        i += 2;
                        continue;
                    }
                } else if (trail >= 0x30 && trail <= 0x39) {
                    if (n - i < 4) {
                        // Cut off at the end: the rest as iconv reads it.
                        const Decoded rest = iconvConvert(bytes.substr(i), "GB18030", "UTF-8",
                                                          limit - sink.size(), dropIncompleteTail);
                        return sink.put(rest.text.data(), rest.text.size()) && !rest.truncated;
                    }
                    // A four-byte character, or a fault that iconv reports on its first byte.
                    char utf8[8];
                    if (const std::optional<std::size_t> length = fourByteForm(fourByte, b + i, utf8)) {
                        if (!sink.put(utf8, *length))
                            return false;
                        i += 4;
                        continue;
                    }
                }
            } else if (lead >= 0x81 && lead <= 0xFE && dropIncompleteTail) {
                return true; // a lead byte cut off by the size limit
            }
            if (!sink.put(kReplacementUtf8.data(), 3))
                return false;
            ++i;
        }
        return true;
    };
    Decoded result;
    result.truncated = !decode();
    result.consumed = consumed;
    result.text = sink.take();
    return result;
}

} // namespace karv::textio
