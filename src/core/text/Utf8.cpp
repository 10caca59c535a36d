#include "text/Utf8.h"

#include "text/Encoding.h"
#include "text/TextBuffers.h"
#include "values/ValueText.h"

#include <cstdint>
#include <sys/mman.h>

namespace karv::textio {

void reserveBulk(std::string& buffer, std::size_t size) {
    if (takeSpareBuffer(buffer, size))
        return;
    buffer.reserve(size);
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (buffer.capacity() < 4 * kHugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + buffer.capacity()) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // only a hint
}

/// Appends `piece` unless that would pass `limit`; tells whether it fitted.
bool appendWithin(std::string& out, std::string_view piece, std::size_t limit) {
    if (out.size() + piece.size() > limit)
        return false;
    out.append(piece);
    return true;
}

Decoded sanitizeUtf8(std::string_view bytes, std::size_t limit, bool dropIncompleteTail) {
    Decoded result;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    reserveBulk(result.text, std::min(n, limit));
    std::size_t runStart = 0;
    // Well-formed text needs no look at each byte: only what follows the first fault does.
    std::size_t i = validUtf8Prefix(bytes);
    auto flush = [&](std::size_t upTo) {
        std::size_t length = upTo - runStart;
        if (result.text.size() + length > limit) {
            // Cut the run at the last character boundary that fits.
            length = limit - result.text.size();
            while (length > 0 && (b[runStart + length] & 0xC0) == 0x80)
                --length;
            result.text.append(bytes.substr(runStart, length));
            result.truncated = true;
            return false;
        }
        result.text.append(bytes.substr(runStart, length));
        return true;
    };
    while (i < n) {
        i = asciiRunEnd(b, n, i);
        if (i >= n)
            break;
        const int length = utf8SequenceLength(b, n, i);
        if (length > 0) {
            i += static_cast<std::size_t>(length);
            continue;
        }
        if (!flush(i))
            return result;
        if (length < 0 && dropIncompleteTail) {
            runStart = n;
            i = n;
            break;
        }
        if (!appendWithin(result.text, kReplacementUtf8, limit)) {
            result.truncated = true;
            return result;
        }
        ++i;
        runStart = i;
    }
    flush(n);
    return result;
}

std::string_view cutAtZero(std::string_view bytes) {
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero == nullptr
               ? bytes
               : bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()));
}

} // namespace karv::textio
