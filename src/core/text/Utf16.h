#pragma once

#include "text/Utf8.h"

namespace karv::textio {

/// UTF-16 to UTF-8, stopping at the first U+0000. An unpaired surrogate and an odd last byte
/// become U+FFFD (the odd byte is dropped instead when the content was cut by the size limit).
/// With `streaming`, a last odd byte or a high surrogate at the end is left undecoded (see
/// `consumed`): the next piece may complete it.
Decoded decodeUtf16(std::string_view bytes, bool bigEndian, std::size_t limit, bool dropIncompleteTail,
                    bool streaming = false);

} // namespace karv::textio
