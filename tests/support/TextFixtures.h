#pragma once

#include "text/RegexObject.h"

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace karv::test {

/// `data` as one gzip member (best compression).
std::string gzipOf(std::string_view data);

/// `subject` with every match of `re` replaced by `replacement`. Match positions count characters
/// as the expression does (every byte that is not a UTF-8 continuation byte starts one); a blank or
/// a cut starts with such a byte.
std::string replacedMatches(RegexObject& re, std::string_view subject, std::string_view replacement);

/// Random content for agreement tests: an opening that steers detection (none, a byte-order mark
/// or an HTML charset), then up to `maxPieces` - 1 of `pieces`, sometimes cut at a random byte.
std::string randomContent(std::mt19937& rng, const std::vector<std::string>& pieces, std::size_t maxPieces);

} // namespace karv::test
