#pragma once

#include "text/Encoding.h"
#include "text/TextLimits.h"

#include <string>

namespace karv {

/// A file's content as program text.
struct LoadedText {
    /// UTF-8, ending before the first zero character of the decoded content.
    std::string text;
    /// The detected `encodingCode`; 0 only when the file could not be read.
    int encodingCode = kEncodingNone;
    /// True when the file (or its decompressed content) was longer than `kContentByteLimit`,
    /// or the text was cut at `kTextByteLimit`.
    bool truncated = false;
};

} // namespace karv
