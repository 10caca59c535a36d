#pragma once

#include "duplicates/DigestCache.h"

#include <string>
#include <string_view>

namespace karv {

// The words of the duplicate search's digest cache that the window shows.

inline constexpr std::string_view kClearDigestCacheCaption = "清除摘要缓存";

/// What clearing the digest cache came to.
std::string digestCacheClearedText(DigestCache::Cleared result);

} // namespace karv
