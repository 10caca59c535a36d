#include "values/NameText.h"

#include "values/ValueText.h"

#include <cerrno>
#include <iconv.h>

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

namespace {

std::string decodeGb18030(std::string_view bytes) {
    iconv_t cd = ::iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(bytes);
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (::iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break; // cannot happen with four output bytes per input byte
        // An invalid or cut-off sequence: show U+FFFD and go on with the next byte.
        if (outLeft < 3)
            break;
        *outPtr++ = '\xEF';
        *outPtr++ = '\xBF';
        *outPtr++ = '\xBD';
        outLeft -= 3;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - outLeft);
    ::iconv_close(cd);
    return out;
}

} // namespace

std::string displayText(std::string_view rawName, bool* decodedAsLegacy) {
    const bool valid = isValidUtf8(rawName);
    if (decodedAsLegacy != nullptr)
        *decodedAsLegacy = !valid;
    return valid ? std::string(rawName) : decodeGb18030(rawName);
}

} // namespace karv
