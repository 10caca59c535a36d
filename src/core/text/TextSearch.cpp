#include "text/TextSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KARV_WIDE_SEARCH 1
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

/// How common a byte is in typical text, lower is rarer (letters counted in both cases, since a
/// folded search looks for both). Guides which bytes of a needle the scan looks for first.
constexpr std::array<unsigned char, 256> makeCommonness() {
    std::array<unsigned char, 256> rank{};
    for (int i = 0; i < 256; ++i)
        rank[i] = 40; // control bytes and punctuation not listed below
    // Letters by their share of English text.
    const char* letters = "zqxjkvbpygfwmucldrhsnioate";
    for (int i = 0; letters[i] != 0; ++i) {
        rank[static_cast<unsigned char>(letters[i])] = static_cast<unsigned char>(100 + 5 * i);
        rank[static_cast<unsigned char>(letters[i] - ('a' - 'A'))] = static_cast<unsigned char>(100 + 5 * i);
    }
    for (int c = '0'; c <= '9'; ++c)
        rank[c] = 110;
    rank[' '] = 255;
    rank['\n'] = 150;
    rank['\r'] = 120;
    rank[','] = 130;
    rank['.'] = 130;
    rank['\t'] = 90;
    // UTF-8: continuation bytes and the leads of CJK characters are very common in Chinese text.
    for (int c = 0x80; c <= 0xBF; ++c)
        rank[c] = 200;
    for (int c = 0xE4; c <= 0xE9; ++c)
        rank[c] = 230;
    return rank;
}

constexpr std::array<unsigned char, 256> kCommonness = makeCommonness();

/// Compares `length` bytes with ASCII letters folded.
inline bool sameFolded(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

#if defined(KARV_WIDE_SEARCH)
/// The probe loop of `findIgnoreAsciiCase` over 32 start offsets at once, for processors with
/// AVX2 (chosen when the program runs). Advances `i` past the offsets it has ruled out.
__attribute__((target("avx2"))) std::size_t scanWide(const char* h, const char* n, std::size_t length,
                                                     std::size_t& i, std::size_t lastStart,
                                                     const std::size_t (&offsets)[3]) {
    __m256i lower[3];
    __m256i upperCase[3];
    for (int k = 0; k < 3; ++k) {
        const unsigned char c = fold(n[offsets[k]]);
        lower[k] = _mm256_set1_epi8(static_cast<char>(c));
        upperCase[k] = _mm256_set1_epi8(static_cast<char>(upper(c)));
    }
    while (i + 32 <= lastStart + 1) {
        __m256i all = _mm256_set1_epi8(-1);
        for (int k = 0; k < 3; ++k) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + offsets[k]));
            all = _mm256_and_si256(
                all, _mm256_or_si256(_mm256_cmpeq_epi8(x, lower[k]), _mm256_cmpeq_epi8(x, upperCase[k])));
        }
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(all));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (sameFolded(h + i + bit, n, length))
                return i + bit;
            mask &= mask - 1;
        }
        i += 32;
    }
    return std::string_view::npos;
}
#endif

constexpr std::string_view kAlternativeSeparator = "[fg]";

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
    const std::size_t lastStart = size - length; // the last offset where a match can start
    std::size_t i = from;

#if defined(__SSE2__)
    // Look for the needle's two rarest bytes and its first or last byte (either case) at their
    // offsets, 16 start offsets at once, then compare the whole needle for the few candidates that
    // pass. The first and last bytes alone (often common letters) would let far more through.
    const auto rank = [&](std::size_t k) {
        return kCommonness[static_cast<unsigned char>(n[k])];
    };
    std::size_t rare1 = 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (rank(k) < rank(rare1))
            rare1 = k;
    }
    std::size_t rare2 = rare1 == 0 ? length - 1 : 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (k != rare1 && rank(k) < rank(rare2))
            rare2 = k;
    }
    const std::size_t edge = rare1 != 0 && rare2 != 0 ? 0 : length - 1;
    struct Probe {
        std::size_t offset;
        __m128i lower;
        __m128i upper;
    };
    const auto probe = [&](std::size_t k) {
        const unsigned char c = fold(n[k]);
        return Probe{k, _mm_set1_epi8(static_cast<char>(c)), _mm_set1_epi8(static_cast<char>(upper(c)))};
    };
#if defined(KARV_WIDE_SEARCH)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        const std::size_t offsets[3] = {rare1, rare2, edge};
        const std::size_t at = scanWide(h, n, length, i, lastStart, offsets);
        if (at != std::string_view::npos)
            return at;
    }
#endif
    const Probe p1 = probe(rare1);
    const Probe p2 = probe(rare2);
    const Probe p3 = probe(edge);
    const auto hits = [&](const Probe& p, std::size_t at) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + at + p.offset));
        return _mm_or_si128(_mm_cmpeq_epi8(x, p.lower), _mm_cmpeq_epi8(x, p.upper));
    };
    while (i + 16 <= lastStart + 1) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(hits(p1, i), hits(p2, i)), hits(p3, i))));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (sameFolded(h + i + bit, n, length))
                return i + bit;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    const unsigned char firstLower = fold(n[0]);
    const unsigned char firstUpper = upper(firstLower);
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
    // Without ASCII letters folding changes nothing, and the folded scan looks at 32 offsets at a
    // time where memmem goes byte by byte: the Chinese terms and their GBK or Big5 bytes.
    if (std::none_of(needle.begin(), needle.end(), [](char c) { return fold(c) != upper(fold(c)); }))
        return findIgnoreAsciiCase(haystack, needle, from);
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

bool containsAnyOf(std::string_view text, std::string_view list, TermMode mode) {
    if (list.empty())
        return mode == TermMode::All;
    std::size_t pos = 0;
    while (true) {
        const std::size_t next = list.find(kAlternativeSeparator, pos);
        const std::string_view alternative =
            list.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
        const bool found = alternative.empty()
                               ? !text.empty()
                               : findIgnoreAsciiCase(text, alternative) != std::string_view::npos;
        if (mode == TermMode::Any && found)
            return true;
        if (mode == TermMode::All && !found)
            return false;
        if (next == std::string_view::npos)
            break;
        pos = next + kAlternativeSeparator.size();
    }
    return mode == TermMode::All;
}

} // namespace karv
