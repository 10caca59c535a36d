#pragma once

#include "text/Utf8.h"

#include <cstdint>
#include <vector>

namespace karv::textio {

/// The UTF-8 form of every two-byte GB18030 character (lead 0x81-0xFE, trail 0x40-0xFE), taken
/// once from iconv. Most ANSI text is made of these, and a table lookup is many times faster than
/// iconv's general path; four-byte characters and faults still go through iconv.
class Gb18030Table {
public:
    static const Gb18030Table& instance() {
        static const Gb18030Table table;
        return table;
    }
    /// Length 0 when the pair is not a character.
    std::string_view at(unsigned char lead, unsigned char trail) const {
        const Entry& entry = m_entries[(lead - 0x81u) * 191u + (trail - 0x40u)];
        return {entry.bytes, entry.length};
    }

private:
    struct Entry {
        char bytes[4] = {};
        std::uint8_t length = 0;
    };
    Gb18030Table();
    std::vector<Entry> m_entries;
};

/// GB18030 to UTF-8 with the same results as the lenient iconv loop: a byte that does not start a
/// character becomes U+FFFD and decoding goes on with the next byte.
/// With `streaming`, the decoding stops before a lead byte that has fewer than four bytes after
/// it (see `consumed`): the next piece may complete its character.
Decoded decodeGb18030(std::string_view bytes, std::size_t limit, bool dropIncompleteTail,
                      bool streaming = false);

} // namespace karv::textio
