// The UTF-8 test 32 bytes at a time with AVX2, after the lookup-table method of Keiser and Lemire
// ("Validating UTF-8 in less than one instruction per byte", 2021): three table lookups on the
// nibbles of each byte and the byte before it find every malformed pair, and the bytes two and
// three back tell where a continuation byte must stand. Where it finds a fault (and over the last
// bytes), the byte-at-a-time test takes over from a character start shortly before, so the
// answer, to the byte, is the one of `checkUtf8Scalar`.
#include "text/Encoding.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace karv {

#if defined(__x86_64__)

namespace {

constexpr std::uint8_t kTooShort = 1 << 0;
constexpr std::uint8_t kTooLong = 1 << 1;
constexpr std::uint8_t kOverlong3 = 1 << 2;
constexpr std::uint8_t kTooLarge = 1 << 3;
constexpr std::uint8_t kSurrogate = 1 << 4;
constexpr std::uint8_t kOverlong2 = 1 << 5;
constexpr std::uint8_t kTooLarge1000 = 1 << 6;
constexpr std::uint8_t kOverlong4 = 1 << 6;
constexpr std::uint8_t kTwoConts = 1 << 7;
constexpr std::uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

__attribute__((target("avx2"))) __m256i
table(std::uint8_t a0, std::uint8_t a1, std::uint8_t a2, std::uint8_t a3, std::uint8_t a4, std::uint8_t a5,
      std::uint8_t a6, std::uint8_t a7, std::uint8_t a8, std::uint8_t a9, std::uint8_t a10, std::uint8_t a11,
      std::uint8_t a12, std::uint8_t a13, std::uint8_t a14, std::uint8_t a15) {
    return _mm256_setr_epi8(
        static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2), static_cast<char>(a3),
        static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6), static_cast<char>(a7),
        static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10), static_cast<char>(a11),
        static_cast<char>(a12), static_cast<char>(a13), static_cast<char>(a14), static_cast<char>(a15),
        static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2), static_cast<char>(a3),
        static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6), static_cast<char>(a7),
        static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10), static_cast<char>(a11),
        static_cast<char>(a12), static_cast<char>(a13), static_cast<char>(a14), static_cast<char>(a15));
}

/// `input` shifted by `N` bytes towards its end, the last `N` bytes of `previous` coming in front.
template <int N> __attribute__((target("avx2"))) __m256i before(__m256i input, __m256i previous) {
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - N);
}

__attribute__((target("avx2"))) __m256i nibbleHigh(__m256i v) {
    return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

/// The faults of the 32 bytes `input`, `previous` being the 32 before them: zero when none.
__attribute__((target("avx2"))) __m256i faults(__m256i input, __m256i previous) {
    const __m256i prev1 = before<1>(input, previous);
    const __m256i byte1High = _mm256_shuffle_epi8(
        table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTwoConts,
              kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
              kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        nibbleHigh(prev1));
    constexpr std::uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m256i byte1Low =
        _mm256_shuffle_epi8(table(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry,
                                  kCarry, kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                                  kLarge, kLarge, kLarge | kSurrogate, kLarge, kLarge),
                            _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)));
    constexpr std::uint8_t kCont1000 =
        kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4;
    constexpr std::uint8_t kCont1001 = kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge;
    constexpr std::uint8_t kCont101 = kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge;
    const __m256i byte2High = _mm256_shuffle_epi8(
        table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
              kCont1000, kCont1001, kCont101, kCont101, kTooShort, kTooShort, kTooShort, kTooShort),
        nibbleHigh(input));
    const __m256i special = _mm256_and_si256(_mm256_and_si256(byte1High, byte1Low), byte2High);
    // Bytes two and three after a three- or four-byte lead must be continuations.
    const __m256i third =
        _mm256_subs_epu8(before<2>(input, previous), _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m256i fourth =
        _mm256_subs_epu8(before<3>(input, previous), _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m256i must =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
    return _mm256_xor_si256(must, special);
}

__attribute__((target("avx2"))) bool anyFourByteLead(__m256i input) {
    const __m256i high = _mm256_set1_epi8(static_cast<char>(0xF0));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(input, high), input)) != 0;
}

/// The first character start at or before `at`.
std::size_t characterStart(const unsigned char* b, std::size_t at) {
    for (int back = 0; back < 3 && at > 0 && (b[at] & 0xC0) == 0x80; ++back)
        --at;
    return at;
}

__attribute__((target("avx2"))) Utf8Check wideCheck(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    // What the blocks before the last one passed hold; the last one is looked at again below.
    bool nonAscii = false;
    bool fourByte = false;
    bool lastNonAscii = false;
    bool lastFourByte = false;
    __m256i previous = _mm256_setzero_si256();
    std::size_t at = 0;
    for (; at + 32 <= n; at += 32) {
        const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + at));
        const bool ascii = _mm256_movemask_epi8(input) == 0;
        // An ASCII block only needs the block before it to have ended its last character.
        const __m256i fault =
            ascii ? _mm256_subs_epu8(previous,
                                     _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                      -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                      -1, static_cast<char>(0xEF), static_cast<char>(0xDF),
                                                      static_cast<char>(0xBF)))
                  : faults(input, previous);
        if (!_mm256_testz_si256(fault, fault))
            break;
        nonAscii = nonAscii || lastNonAscii;
        fourByte = fourByte || lastFourByte;
        lastNonAscii = !ascii;
        lastFourByte = !ascii && anyFourByteLead(input);
        previous = input;
    }
    const std::size_t from = characterStart(b, at >= 32 ? at - 32 : 0);
    const Utf8Check rest = checkUtf8Scalar(bytes.substr(from));
    Utf8Check result;
    result.valid = from + rest.valid;
    result.nonAscii = nonAscii || rest.nonAscii;
    result.fourByte = fourByte || rest.fourByte;
    return result;
}

} // namespace

bool wideUtf8Check() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

Utf8Check checkUtf8Wide(std::string_view bytes) {
    return wideUtf8Check() ? wideCheck(bytes) : checkUtf8Scalar(bytes);
}

#else

bool wideUtf8Check() {
    return false;
}

Utf8Check checkUtf8Wide(std::string_view bytes) {
    return checkUtf8Scalar(bytes);
}

#endif

} // namespace karv
