#include "duplicates/Similarity.h"

#include "values/ValueText.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace karv {

namespace {

constexpr std::uint32_t kCrLfElement = 0x110000;
constexpr std::uint32_t kStrayByteBase = 0x110001;

std::uint32_t elementNumber(std::string_view text, std::size_t pos, std::size_t length) {
    const auto* b = reinterpret_cast<const unsigned char*>(text.data() + pos);
    if (length == 1)
        return b[0] < 0x80 ? b[0] : kStrayByteBase + b[0];
    if (b[0] == '\r')
        return kCrLfElement;
    if (length == 2)
        return ((b[0] & 0x1Fu) << 6) | (b[1] & 0x3Fu);
    if (length == 3)
        return ((b[0] & 0x0Fu) << 12) | ((b[1] & 0x3Fu) << 6) | (b[2] & 0x3Fu);
    return ((b[0] & 0x07u) << 18) | ((b[1] & 0x3Fu) << 12) | ((b[2] & 0x3Fu) << 6) | (b[3] & 0x3Fu);
}

std::size_t bucketOf(std::uint32_t element) {
    return (element * 0x9E3779B1u) >> 27;
}

} // namespace

NameProfile nameProfile(std::string_view text) {
    NameProfile profile;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = characterElementLength(text, pos);
        if (length == 0)
            break; // a cut-off sequence at the end is not an element
        const std::uint32_t element = elementNumber(text, pos, length);
        profile.elements.push_back(element);
        std::uint8_t& bucket = profile.buckets[bucketOf(element)];
        if (bucket == 255)
            profile.bucketsValid = false;
        else
            ++bucket;
        pos += length;
    }
    std::sort(profile.elements.begin(), profile.elements.end());
    return profile;
}

std::size_t commonElements(const NameProfile& a, const NameProfile& b) {
    std::size_t i = 0, j = 0, common = 0;
    const auto& x = a.elements;
    const auto& y = b.elements;
    while (i < x.size() && j < y.size()) {
        if (x[i] < y[j]) {
            ++i;
        } else if (y[j] < x[i]) {
            ++j;
        } else {
            ++common;
            ++i;
            ++j;
        }
    }
    return common;
}

std::size_t commonElementsBound(const NameProfile& a, const NameProfile& b) {
    if (!a.bucketsValid || !b.bucketsValid)
        return std::min(a.count(), b.count());
#if defined(__SSE2__)
    const auto* pa = reinterpret_cast<const __m128i*>(a.buckets.data());
    const auto* pb = reinterpret_cast<const __m128i*>(b.buckets.data());
    const __m128i low = _mm_min_epu8(_mm_loadu_si128(pa), _mm_loadu_si128(pb));
    const __m128i high = _mm_min_epu8(_mm_loadu_si128(pa + 1), _mm_loadu_si128(pb + 1));
    // Sum of absolute differences against zero adds up the bytes of each half.
    const __m128i sadLow = _mm_sad_epu8(low, _mm_setzero_si128());
    const __m128i sadHigh = _mm_sad_epu8(high, _mm_setzero_si128());
    const __m128i total = _mm_add_epi64(sadLow, sadHigh);
    return static_cast<std::size_t>(_mm_cvtsi128_si32(total) + _mm_extract_epi16(total, 4));
#else
    std::size_t bound = 0;
    for (std::size_t k = 0; k < a.buckets.size(); ++k)
        bound += std::min(a.buckets[k], b.buckets[k]);
    return bound;
#endif
}

int similarityPercent(std::size_t matches, std::size_t na, std::size_t nb) {
    if (na == 0 || nb == 0)
        return 0;
    const double m = static_cast<double>(matches);
    const double value = (m / static_cast<double>(na) * 100 + m / static_cast<double>(nb) * 100) / 2;
    return static_cast<int>(value);
}

int nameSimilarity(std::string_view a, std::string_view b) {
    const NameProfile pa = nameProfile(a);
    const NameProfile pb = nameProfile(b);
    return similarityPercent(commonElements(pa, pb), pa.count(), pb.count());
}

} // namespace karv
