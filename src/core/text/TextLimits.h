#pragma once

#include <cstddef>

namespace karv {

/// At most this many content bytes of one file are examined (read from disk, or produced by
/// decompressing a gzip file); the rest of a larger file is not part of its text. Bounds the
/// memory of one load whatever the file's size (see docs/text-limits.md).
inline constexpr std::size_t kContentByteLimit = std::size_t{256} << 20;

/// A loaded text never holds more than this many bytes of UTF-8; conversion stops at the last
/// whole character below it.
inline constexpr std::size_t kTextByteLimit = std::size_t{256} << 20;

} // namespace karv
