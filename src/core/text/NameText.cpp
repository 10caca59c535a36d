#include "text/NameText.h"

#include "text/Iconv.h"
#include "values/ValueText.h"

namespace karv {

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t length = characterElementLength(bytes, pos);
        if (length < 2)
            return false;
        pos += length;
    }
    return true;
}

std::string displayText(std::string_view rawName, bool* decodedAsLegacy) {
    const bool valid = isValidUtf8(rawName);
    if (decodedAsLegacy != nullptr)
        *decodedAsLegacy = !valid;
    return valid ? std::string(rawName) : convertCharset(rawName, "GB18030");
}

} // namespace karv
