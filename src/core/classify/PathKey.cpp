#include "classify/PathKey.h"

#include <cstring>

namespace karv {

namespace {

constexpr std::uint64_t kC1 = 0x87c37b91114253d5ull;
constexpr std::uint64_t kC2 = 0x4cf5ad432745937full;

std::uint64_t rotl(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

std::uint64_t finalMix(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

std::uint64_t word(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

// Two 64-bit lanes over 16-byte blocks, each block mixed into both, the length mixed in last.
PathKey pathKey(std::string_view text) {
    const std::size_t size = text.size();
    std::uint64_t h1 = 0x243f6a8885a308d3ull;
    std::uint64_t h2 = 0x13198a2e03707344ull;
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const std::uint64_t k1 = rotl(word(text.data() + i) * kC1, 31) * kC2;
        const std::uint64_t k2 = rotl(word(text.data() + i + 8) * kC2, 33) * kC1;
        h1 = (rotl(h1 ^ k1, 27) + h2) * 5 + 0x52dce729;
        h2 = (rotl(h2 ^ k2, 31) + h1) * 5 + 0x38495ab5;
    }
    char tail[16] = {};
    std::memcpy(tail, text.data() + i, size - i);
    h1 ^= rotl(word(tail) * kC1, 31) * kC2;
    h2 ^= rotl(word(tail + 8) * kC2, 33) * kC1;
    h1 ^= size;
    h2 ^= size;
    h1 += h2;
    h2 += h1;
    h1 = finalMix(h1);
    h2 = finalMix(h2);
    h1 += h2;
    h2 += h1;
    return {h1, h2};
}

} // namespace karv
