#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The pieces the decoders share: what a decoder gives back and where it writes.
namespace karv::textio {

inline constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

/// Where the run of ASCII bytes from `i` ends, eight bytes at a time.
inline std::size_t asciiRunEnd(const unsigned char* b, std::size_t n, std::size_t i) {
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, b + i, 8);
        if ((word & 0x8080808080808080ull) != 0)
            break;
        i += 8;
    }
    while (i < n && b[i] < 0x80)
        ++i;
    return i;
}

struct Decoded {
    std::string text;
    bool ok = true;         ///< false when the charset is unknown to the converter
    bool truncated = false; ///< output stopped at the byte limit
    /// Bytes of the input decoded; less than its size only when the decoder was asked to leave a
    /// character that may go on in the next piece of a stream.
    std::size_t consumed = 0;
    bool endedAtZero = false; ///< a zero character ended the text (UTF-16)
};

/// Reserves room for `size` bytes, in the buffer of an earlier file where one is kept. A fresh
/// large buffer is backed by huge pages where the system offers them: a load writes a buffer of
/// up to hundreds of megabytes, and faulting it in page by page can cost more than the decoding.
void reserveBulk(std::string& buffer, std::size_t size);

/// Appends `piece` unless that would pass `limit`; tells whether it fitted.
bool appendWithin(std::string& out, std::string_view piece, std::size_t limit);

/// UTF-8 to UTF-8: valid runs are copied, each byte that does not belong to a well-formed
/// sequence becomes U+FFFD. `bytes` must already be cut at its first zero byte.
Decoded sanitizeUtf8(std::string_view bytes, std::size_t limit, bool dropIncompleteTail);

/// `bytes` up to its first zero byte.
std::string_view cutAtZero(std::string_view bytes);

/// Output of the decoders: written through a pointer into room made ahead (appending a few bytes
/// at a time to a string costs more than the decoding), never longer than `limit`.
class Utf8Sink {
public:
    /// `expected`: the likely length, made room for at once (growing a large text by copying
    /// costs more than the decoding).
    Utf8Sink(std::size_t limit, std::size_t expected) : m_limit(limit) {
        reserveBulk(m_out, std::min(limit, expected) + 4);
        m_out.resize(std::min(limit, expected) + 4);
    }

    /// The text written so far; the sink is empty afterwards.
    std::string take() {
        m_out.resize(m_used);
        m_used = 0;
        return std::move(m_out);
    }

    /// Appends `length` bytes; false (and nothing written) when that would pass the limit.
    bool put(const char* bytes, std::size_t length) {
        if (!makeRoom(length))
            return false;
        std::memcpy(m_out.data() + m_used, bytes, length);
        m_used += length;
        return true;
    }
    /// Appends the first `length` of four bytes that may all be read.
    bool put4(const char* bytes, std::size_t length) {
        if (!makeRoom(length))
            return false;
        std::memcpy(m_out.data() + m_used, bytes, 4);
        m_used += length;
        return true;
    }
    bool putCodePoint(char32_t c) {
        char bytes[4];
        std::size_t length;
        if (c < 0x80) {
            bytes[0] = static_cast<char>(c);
            length = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
            length = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
            length = 3;
        } else {
            bytes[0] = static_cast<char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
            length = 4;
        }
        return put4(bytes, length);
    }
    std::size_t size() const { return m_used; }

private:
    bool makeRoom(std::size_t length) {
        if (m_used + length > m_limit)
            return false;
        // Four bytes of slack beyond the content, for `put4`.
        const std::size_t need = m_used + length + 4;
        if (need > m_out.size())
            m_out.resize(
                std::max(need, std::min(m_limit + 4, std::max<std::size_t>(m_out.size() * 2, 1 << 16))));
        return true;
    }

    std::string m_out;
    std::size_t m_limit;
    std::size_t m_used = 0;
};

} // namespace karv::textio
