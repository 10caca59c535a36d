#pragma once

#include "duplicates/FileReading.h"

#include <cstdint>
#include <string>

namespace karv {

/// Bytes per digest chunk: 100 MiB.
inline constexpr std::uint64_t kDigestChunkBytes = 104857600;

/// The duplicate key of the MD5 mode: the file is cut into n = max(1, size / 100 MiB) chunks (the
/// last one runs to the end of the file), the MD5 of each chunk is written as 32 lower-case hex
/// digits, and the result is the MD5 of those digits, again as 32 lower-case hex digits. So even a
/// small file's key is the MD5 of the hex MD5 of its content.
///
/// The file is opened read-only; the chunk count comes from the open file, so a size measured
/// earlier cannot split the content differently. The pump runs after each chunk and the stop
/// request is polled there. Empty when the file cannot be opened or read, when a stop arrived
/// before the last chunk (a partial digest is no key), and when the file changed size or was
/// written while it was read (its content was never one whole).
std::string chunkedFileDigest(const std::string& path, const ReadControl& control = {},
                              ReadStats* stats = nullptr);

/// MD5 of a byte string as 32 lower-case hex digits.
std::string md5Hex(std::string_view bytes);

} // namespace karv
