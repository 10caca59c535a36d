#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace karv {

/// A text's character elements (code points; CR LF as one; a stray byte as one) reduced to what the
/// name measure needs: the elements as sorted numbers, their count, and a coarse histogram whose
/// bucket-wise minimum bounds the common elements of two texts from above.
struct NameProfile {
    std::vector<std::uint32_t> elements; ///< sorted element numbers
    std::array<std::uint8_t, 32> buckets{};
    bool bucketsValid = true; ///< false when a bucket would exceed 255 (very long texts)
    std::size_t count() const { return elements.size(); }
};

NameProfile nameProfile(std::string_view text);

/// How many elements the two texts share, each element used once (a multiset intersection). This
/// is the number of matches of pairing every element of one text with the first unused equal
/// element of the other.
std::size_t commonElements(const NameProfile& a, const NameProfile& b);

/// An upper bound of `commonElements` from the histograms alone; the element count of the shorter
/// text when a histogram is not valid.
std::size_t commonElementsBound(const NameProfile& a, const NameProfile& b);

/// truncate(((matches / na * 100) + (matches / nb * 100)) / 2) in double precision; 0 when a text
/// has no element.
int similarityPercent(std::size_t matches, std::size_t na, std::size_t nb);

/// The name measure 0..100: the share of common character elements, averaged over both texts. The
/// order of the characters does not matter ("ab.txt" and "ba.txt" score 100).
int nameSimilarity(std::string_view a, std::string_view b);

} // namespace karv
