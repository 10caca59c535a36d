#include "text/TextSearch.h"

#include <array>
#include <cstring>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace karv {

namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + ('a' - 'A') : i);
    return table;
}

constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

inline unsigned char fold(char c) {
    return kFold[static_cast<unsigned char>(c)];
}

inline unsigned char upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

/// Compares `length` bytes with ASCII letters folded.
inline bool sameFolded(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

} // namespace

std::size_t findIgnoreAsciiCase(std::string_view haystack, std::string_view needle, std::size_t from) {
    const std::size_t size = haystack.size();
    const std::size_t length = needle.size();
    if (from > size)
        return std::string_view::npos;
    if (length == 0)
        return from;
    if (length > size - from)
        return std::string_view::npos;

    const char* h = haystack.data();
    const char* n = needle.data();
    const unsigned char firstLower = fold(n[0]);
    const unsigned char firstUpper = upper(firstLower);
    const unsigned char lastLower = fold(n[length - 1]);
    const unsigned char lastUpper = upper(lastLower);
    const std::size_t lastStart = size - length; // the last offset where a match can start
    std::size_t i = from;

#if defined(__SSE2__)
    // Filter 16 start offsets at once by the needle's first and last byte (either case), then
    // check the bytes between for the few candidates that pass.
    const __m128i f1 = _mm_set1_epi8(static_cast<char>(firstLower));
    const __m128i f2 = _mm_set1_epi8(static_cast<char>(firstUpper));
    const __m128i l1 = _mm_set1_epi8(static_cast<char>(lastLower));
    const __m128i l2 = _mm_set1_epi8(static_cast<char>(lastUpper));
    while (i + 16 <= lastStart + 1) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + length - 1));
        const __m128i hitFirst = _mm_or_si128(_mm_cmpeq_epi8(first, f1), _mm_cmpeq_epi8(first, f2));
        const __m128i hitLast = _mm_or_si128(_mm_cmpeq_epi8(last, l1), _mm_cmpeq_epi8(last, l2));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(hitFirst, hitLast)));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (length <= 2 || sameFolded(h + i + bit + 1, n + 1, length - 2))
                return i + bit;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    for (; i <= lastStart; ++i) {
        const auto c = static_cast<unsigned char>(h[i]);
        if ((c == firstLower || c == firstUpper) && sameFolded(h + i + 1, n + 1, length - 1))
            return i;
    }
    return std::string_view::npos;
}

std::size_t findExact(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (from > haystack.size())
        return std::string_view::npos;
    if (needle.empty())
        return from;
    const void* hit = ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
}

std::size_t rfindIgnoreAsciiCase(std::string_view haystack, std::string_view needle, std::size_t before) {
    if (needle.size() > haystack.size())
        return std::string_view::npos;
    std::size_t start = haystack.size() - needle.size();
    if (before < start)
        start = before;
    for (std::size_t i = start + 1; i-- > 0;) {
        if (sameFolded(haystack.data() + i, needle.data(), needle.size()))
            return i;
    }
    return std::string_view::npos;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sameFolded(a.data(), b.data(), a.size());
}

} // namespace karv
