#pragma once

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace karv::test {

/// `data` as one gzip member (best compression).
std::string gzipOf(std::string_view data);

/// Random content for agreement tests: an opening that steers detection (none, a byte-order mark
/// or an HTML charset), then up to `maxPieces` - 1 of `pieces`, sometimes cut at a random byte.
std::string randomContent(std::mt19937& rng, const std::vector<std::string>& pieces, std::size_t maxPieces);

} // namespace karv::test
