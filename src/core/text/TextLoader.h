#pragma once

#include "text/ByteSource.h"
#include "text/EncodedTermSearch.h"
#include "text/Encoding.h"
#include "text/Iconv.h"
#include "text/LoadedText.h"
#include "text/TextLimits.h"
#include "text/TextStream.h"

#include <functional>
#include <string>
#include <string_view>

namespace karv {

/// Loads a file as text: gzip content (magic 1F 8B) is decompressed first, then the encoding is
/// detected (marks, HTML meta charset, UTF-8 test, else ANSI = GB18030) and the content decoded
/// into UTF-8. Never fails: a file that cannot be opened for reading, or is not a regular file,
/// gives an empty text with code 0. `pump`, when given, runs between chunks of a long load.
LoadedText loadFileText(const std::string& path, const std::function<void()>& pump = {});

/// The same steps as `loadFileText` on a file's bytes already in memory (gzip included).
LoadedText loadTextFromBytes(std::string_view fileBytes);

} // namespace karv
