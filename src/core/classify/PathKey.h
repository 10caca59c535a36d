#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace karv {

/// A 128-bit fingerprint of a path text, kept instead of the text where a run only asks whether it
/// has seen a path: a deep tree's paths are tens of kilobytes each, and keeping every one whole
/// would take memory growing with the square of the depth.
struct PathKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const PathKey&) const = default;
};

PathKey pathKey(std::string_view text);

struct PathKeyHash {
    std::size_t operator()(const PathKey& key) const { return static_cast<std::size_t>(key.low); }
};

using PathKeySet = std::unordered_set<PathKey, PathKeyHash>;

} // namespace karv
