#include "text/TextLoader.h"

#include "files/FileFacts.h"
#include "text/NameText.h"
#include "text/TextBuffers.h"
#include "values/ValueText.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace karv {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::size_t kPumpInterval = std::size_t{16} << 20;

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
void reserveBulk(std::string& buffer, std::size_t size) {
    if (takeSpareBuffer(buffer, size))
        return;
    buffer.reserve(size);
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (buffer.capacity() < 4 * kHugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + buffer.capacity()) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // only a hint
}

/// Appends `piece` unless that would pass `limit`; tells whether it fitted.
bool appendWithin(std::string& out, std::string_view piece, std::size_t limit) {
    if (out.size() + piece.size() > limit)
        return false;
    out.append(piece);
    return true;
}

/// UTF-8 to UTF-8: valid runs are copied, each byte that does not belong to a well-formed
/// sequence becomes U+FFFD. `bytes` must already be cut at its first zero byte.
Decoded sanitizeUtf8(std::string_view bytes, std::size_t limit, bool dropIncompleteTail) {
    Decoded result;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    reserveBulk(result.text, std::min(n, limit));
    std::size_t runStart = 0;
    // Well-formed text needs no look at each byte: only what follows the first fault does.
    std::size_t i = validUtf8Prefix(bytes);
    auto flush = [&](std::size_t upTo) {
        std::size_t length = upTo - runStart;
        if (result.text.size() + length > limit) {
            // Cut the run at the last character boundary that fits.
            length = limit - result.text.size();
            while (length > 0 && (b[runStart + length] & 0xC0) == 0x80)
                --length;
            result.text.append(bytes.substr(runStart, length));
            result.truncated = true;
            return false;
        }
        result.text.append(bytes.substr(runStart, length));
        return true;
    };
    while (i < n) {
        // ASCII runs eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, b + i, 8);
            if ((word & 0x8080808080808080ull) != 0)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const int length = utf8SequenceLength(b, n, i);
        if (length > 0) {
            i += static_cast<std::size_t>(length);
            continue;
        }
        if (!flush(i))
            return result;
        if (length < 0 && dropIncompleteTail) {
            runStart = n;
            i = n;
            break;
        }
        if (!appendWithin(result.text, kReplacementUtf8, limit)) {
            result.truncated = true;
            return result;
        }
        ++i;
        runStart = i;
    }
    flush(n);
    return result;
}

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

/// UTF-16 to UTF-8, stopping at the first U+0000. An unpaired surrogate and an odd last byte
/// become U+FFFD (the odd byte is dropped instead when the content was cut by the size limit).
/// With `streaming`, a last odd byte or a high surrogate at the end is left undecoded (see
/// `consumed`): the next piece may complete it.
Decoded decodeUtf16(std::string_view bytes, bool bigEndian, std::size_t limit, bool dropIncompleteTail,
                    bool streaming = false) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    const std::size_t hi = bigEndian ? 0 : 1;
    const std::size_t lo = bigEndian ? 1 : 0;
    auto unitAt = [&](std::size_t u) -> char32_t {
        return (char32_t{b[2 * u + hi]} << 8) | b[2 * u + lo];
    };
    Utf8Sink sink(limit, units * 3); // a CJK unit becomes three bytes
    Decoded result;
    result.consumed = bytes.size();
    // Returns false when the limit was reached.
    const auto decode = [&]() -> bool {
        std::size_t u = 0;
        while (u < units) {
            const char32_t c = unitAt(u);
            if (c == 0) {
                result.endedAtZero = true;
                result.consumed = 2 * u;
                return true;
            }
            if (streaming && u + 1 == units && c >= 0xD800 && c <= 0xDBFF) {
                result.consumed = 2 * u;
                return true;
            }
            bool fits;
            if (c < 0xD800 || c > 0xDFFF) {
                fits = sink.putCodePoint(c);
                u += 1;
            } else if (c <= 0xDBFF && u + 1 < units && unitAt(u + 1) >= 0xDC00 && unitAt(u + 1) <= 0xDFFF) {
                fits = sink.putCodePoint(0x10000 + ((c - 0xD800) << 10) + (unitAt(u + 1) - 0xDC00));
                u += 2;
            } else {
                if (u + 1 == units && c <= 0xDBFF && dropIncompleteTail)
                    return true;
                fits = sink.put(kReplacementUtf8.data(), 3);
                u += 1;
            }
            if (!fits)
                return false;
        }
        if (streaming) {
            result.consumed = 2 * units;
            return true;
        }
        return bytes.size() % 2 == 0 || dropIncompleteTail || sink.put(kReplacementUtf8.data(), 3);
    };
    result.truncated = !decode();
    result.text = sink.take();
    return result;
}

std::size_t unitSizeOf(std::string_view charset) {
    std::string lower;
    for (const char c : charset)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    if (lower.rfind("utf-16", 0) == 0 || lower.rfind("ucs-2", 0) == 0 || lower == "utf16")
        return 2;
    if (lower.rfind("utf-32", 0) == 0 || lower.rfind("ucs-4", 0) == 0 || lower == "utf32")
        return 4;
    return 1;
}

/// An iconv descriptor for one pair of charsets, reset to its initial state. Descriptors are kept
/// per thread and reused: opening one loads the charset's module, and a run converts file after file.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : m_cd(descriptor(to, from)) {
        if (valid())
            ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    static constexpr std::size_t kCacheSize = 16;
    struct Cache {
        std::vector<std::pair<std::string, iconv_t>> entries; // most recently opened last
        Cache() = default;
        Cache(const Cache&) = delete;
        Cache& operator=(const Cache&) = delete;
        ~Cache() {
            for (auto& entry : entries)
                close(entry.second);
        }
    };
    static void close(iconv_t cd) {
        if (cd != reinterpret_cast<iconv_t>(-1))
            ::iconv_close(cd);
    }
    static iconv_t descriptor(const std::string& to, const std::string& from) {
        thread_local Cache cache;
        const std::string key = to + '\n' + from;
        for (const auto& entry : cache.entries) {
            if (entry.first == key)
                return entry.second;
        }
        // A caller naming ever new charsets cannot grow the cache without bound.
        if (cache.entries.size() >= kCacheSize) {
            close(cache.entries.front().second);
            cache.entries.erase(cache.entries.begin());
        }
        cache.entries.emplace_back(key, ::iconv_open(to.c_str(), from.c_str()));
        return cache.entries.back().second;
    }

    iconv_t m_cd;
};

/// The replacement character in the target charset ("?" when it cannot hold U+FFFD).
std::string replacementIn(const std::string& to) {
    Converter cd(to, "UTF-8");
    if (!cd.valid())
        return "?";
    char buffer[16];
    char* in = const_cast<char*>(kReplacementUtf8.data());
    std::size_t inLeft = kReplacementUtf8.size();
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (::iconv(cd.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return "?";
    std::string result(buffer, sizeof buffer - outLeft);
    // Some targets (UTF-16, UTF-32) start with a byte-order mark; the result carries none.
    const std::size_t unit = unitSizeOf(to);
    if (unit > 1 && result.size() >= 2 * unit)
        result.erase(0, unit);
    return result;
}

/// With `streaming`, a character cut off at the end is left undecoded (see `consumed`).
Decoded iconvConvert(std::string_view bytes, std::string_view fromCharset, std::string_view toCharset,
                     std::size_t limit, bool dropIncompleteTail, bool streaming = false) {
    Decoded result;
    result.consumed = bytes.size();
    const std::string from(fromCharset);
    const std::string to(toCharset);
    const std::string replacement = replacementIn(to); // before `cd`: it may share the descriptor
    Converter cd(to, from);
    if (!cd.valid()) {
        result.ok = false;
        return result;
    }
    const std::size_t unit = unitSizeOf(fromCharset);
    const std::size_t targetUnit = unitSizeOf(toCharset);
    std::string targetLower;
    for (const char c : toCharset)
        targetLower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    // iconv's byte-order-neutral "UTF-16" and "UTF-32" write a mark first.
    bool skipTargetMark = targetLower == "utf-16" || targetLower == "utf-32";
    std::string& out = result.text;
    reserveBulk(out, std::min(limit, bytes.size() + bytes.size() / 2 + 16));

    char buffer[1 << 16];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool flushed = false;
    while (true) {
        const std::size_t budget = limit - out.size();
        const std::size_t room = std::min(sizeof buffer, budget);
        char* outPtr = buffer;
        std::size_t outLeft = room;
        std::size_t rc;
        if (inLeft > 0)
            rc = ::iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        else
            rc = ::iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft); // shift state back to initial
        const int error = errno;
        std::string_view produced(buffer, room - outLeft);
        if (skipTargetMark && produced.size() >= targetUnit) {
            const std::string_view head = produced.substr(0, 2);
            if (head == "\xFF\xFE" || head == "\xFE\xFF" ||
                produced.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4))
                produced.remove_prefix(targetUnit);
            skipTargetMark = false;
        }
        out.append(produced);
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) {
                if (flushed)
                    break;
                flushed = true;
            }
            continue;
        }
        if (error == E2BIG) {
            if (room < sizeof buffer) { // the limit, not the buffer, is full
                result.truncated = true;
                break;
            }
            continue;
        }
        if (error == EINVAL) { // cut off at the end
            if (streaming) {
                result.consumed = bytes.size() - inLeft;
                break;
            }
            if (!dropIncompleteTail && !appendWithin(out, replacement, limit))
                result.truncated = true;
            break;
        }
        // EILSEQ (or anything else): one unit becomes the replacement character.
        if (!appendWithin(out, replacement, limit)) {
            result.truncated = true;
            break;
        }
        const std::size_t step = std::min(inLeft, unit);
        in += step;
        inLeft -= step;
        if (step == 0)
            break;
    }
    return result;
}

bool isUtf8Name(std::string_view charset) {
    std::string lower;
    for (const char c : charset)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    return lower == "utf-8" || lower == "utf8";
}

std::string_view cutAtZero(std::string_view bytes) {
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero == nullptr
               ? bytes
               : bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()));
}

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
    Gb18030Table() : m_entries(126 * 191) {
        const iconv_t cd = ::iconv_open("UTF-8", "GB18030");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char* inPtr = in;
                std::size_t inLeft = 2;
                Entry& entry = m_entries[(lead - 0x81u) * 191u + (trail - 0x40u)];
                char* outPtr = entry.bytes;
                std::size_t outLeft = sizeof entry.bytes;
                ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                    inLeft == 0)
                    entry.length = static_cast<std::uint8_t>(sizeof entry.bytes - outLeft);
            }
        }
        ::iconv_close(cd);
    }
    std::vector<Entry> m_entries;
};

/// GB18030 to UTF-8 with the same results as the lenient iconv loop: a byte that does not start a
/// character becomes U+FFFD and decoding goes on with the next byte.
/// With `streaming`, the decoding stops before a lead byte that has fewer than four bytes after
/// it (see `consumed`): the next piece may complete its character.
Decoded decodeGb18030(std::string_view bytes, std::size_t limit, bool dropIncompleteTail,
                      bool streaming = false) {
    const Gb18030Table& table = Gb18030Table::instance();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t stopAt = n; // only bytes before this may start a character here
    if (streaming && n > 0) {
        stopAt = n >= 3 ? n - 3 : 0;
        while (stopAt < n && b[stopAt] < 0x80)
            ++stopAt;
    }
    std::size_t consumed = n;
    Utf8Sink sink(limit, n + n / 2);
    Converter fourByte("UTF-8", "GB18030");
    // Returns false when the limit was reached.
    const auto decode = [&]() -> bool {
        std::size_t i = 0;
        while (i < n) {
            // ASCII runs are copied as they are.
            std::size_t run = i;
            while (run + 8 <= n) {
                std::uint64_t word;
                std::memcpy(&word, b + run, 8);
                if ((word & 0x8080808080808080ull) != 0)
                    break;
                run += 8;
            }
            while (run < n && b[run] < 0x80)
                ++run;
            if (run > i) {
                const std::size_t room = limit - sink.size();
                if (!sink.put(bytes.data() + i, std::min(run - i, room)) || run - i > room)
                    return false;
                i = run;
                continue;
            }
            if (i >= stopAt) {
                consumed = i;
                return true;
            }
            const unsigned char lead = b[i];
            if (lead >= 0x81 && lead <= 0xFE && i + 1 < n) {
                const unsigned char trail = b[i + 1];
                if (trail >= 0x40 && trail <= 0xFE) {
                    const std::string_view utf8 = table.at(lead, trail);
                    if (!utf8.empty()) {
                        if (!sink.put4(utf8.data(), utf8.size()))
                            return false;
                        i += 2;
                        continue;
                    }
                } else if (trail >= 0x30 && trail <= 0x39) {
                    if (n - i < 4) {
                        // Cut off at the end: the rest as iconv reads it.
                        const Decoded rest = iconvConvert(bytes.substr(i), "GB18030", "UTF-8",
                                                          limit - sink.size(), dropIncompleteTail);
                        return sink.put(rest.text.data(), rest.text.size()) && !rest.truncated;
                    }
                    // A four-byte character, or a fault that iconv reports on its first byte.
                    char in[4];
                    std::memcpy(in, b + i, 4);
                    char utf8[8];
                    char* inPtr = in;
                    std::size_t inLeft = 4;
                    char* outPtr = utf8;
                    std::size_t outLeft = sizeof utf8;
                    if (fourByte.valid()) {
                        ::iconv(fourByte.get(), nullptr, nullptr, nullptr, nullptr);
                        if (::iconv(fourByte.get(), &inPtr, &inLeft, &outPtr, &outLeft) !=
                                static_cast<std::size_t>(-1) &&
                            inLeft == 0) {
                            if (!sink.put(utf8, sizeof utf8 - outLeft))
                                return false;
                            i += 4;
                            continue;
                        }
                    }
                }
            } else if (lead >= 0x81 && lead <= 0xFE && dropIncompleteTail) {
                return true; // a lead byte cut off by the size limit
            }
            if (!sink.put(kReplacementUtf8.data(), 3))
                return false;
            ++i;
        }
        return true;
    };
    Decoded result;
    result.truncated = !decode();
    result.consumed = consumed;
    result.text = sink.take();
    return result;
}

/// Decodes content of a known code into UTF-8, cut at its first zero character.
Decoded decodeAs(int code, std::string_view bytes, bool truncated) {
    switch (code) {
    case kEncodingUtf8:
        return sanitizeUtf8(cutAtZero(bytes), kTextByteLimit, truncated);
    case kEncodingUtf16Le:
        return decodeUtf16(bytes, false, kTextByteLimit, truncated);
    case kEncodingUtf16Be:
        return decodeUtf16(bytes, true, kTextByteLimit, truncated);
    case kEncodingBig5:
    case kEncodingBig5Hkscs:
        return iconvConvert(cutAtZero(bytes), encodingCharsetName(code), "UTF-8", kTextByteLimit, truncated);
    default: // ANSI: the legacy Chinese code page
        return decodeGb18030(cutAtZero(bytes), kTextByteLimit, truncated);
    }
}

/// Drops a UTF-8 sequence cut off by the size limit, so a long UTF-8 file still passes the test.
std::string_view withoutCutSequence(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const unsigned char c = b[n - back];
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (need > back)
            n -= back;
        break;
    }
    return bytes.substr(0, n);
}

/// The encoding of a file's content and what its detection learnt on the way.
struct ContentDetection {
    int code = kEncodingNone;   ///< kEncodingNone stands for ANSI
    std::size_t markLength = 0; ///< bytes of marks before the body
    std::size_t beforeZero = 0; ///< bytes of the content before its first zero byte
    bool bodyValidUtf8 = false; ///< the whole body is well-formed UTF-8
    bool bodyAscii = false;     ///< the whole body is ASCII
};

/// `checkUtf8` in steps of a few megabytes with `pump` between them. Each step ends where a
/// character may start (not on a continuation byte), so no sequence spans two steps and the
/// answer is the one of a single pass.
Utf8Check checkUtf8Pumped(std::string_view bytes, const std::function<void()>& pump) {
    constexpr std::size_t kStep = std::size_t{4} << 20;
    if (!pump || bytes.size() <= kStep)
        return checkUtf8(bytes);
    Utf8Check result;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = std::min(bytes.size(), at + kStep);
        while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            ++end;
        const Utf8Check step = checkUtf8(bytes.substr(at, end - at));
        result.valid = at + step.valid;
        result.nonAscii = result.nonAscii || step.nonAscii;
        result.fourByte = result.fourByte || step.fourByte;
        if (step.valid < end - at)
            break;
        at = end;
        if (at < bytes.size())
            pump();
    }
    return result;
}

/// Marks, the HTML charset, then the UTF-8 test. Well-formed UTF-8 without four-byte sequences
/// always passes the test, and all-ASCII content never does, so one strict pass over the body
/// usually decides without the test, and tells whether the body may be kept as it is.
ContentDetection detectContent(std::string_view content, bool truncated,
                               const std::function<void()>& pump = {}) {
    ContentDetection result;
    const MarkDetection mark = detectByMarks(content);
    result.markLength = mark.markLength;
    result.code = mark.code;
    const std::string_view beforeZero = cutAtZero(content);
    result.beforeZero = beforeZero.size();
    if (result.code == kEncodingNone) {
        switch (detectHtmlCharset(beforeZero)) {
        case 1:
            result.code = kEncodingUtf8;
            break;
        case 2:
            result.code = kEncodingBig5;
            break;
        case 3:
            result.code = kEncodingBig5Hkscs;
            break;
        default:
            break;
        }
    }
    if (result.code != kEncodingNone && result.code != kEncodingUtf8)
        return result;
    const std::string_view body = content.substr(mark.markLength);
    const Utf8Check check = checkUtf8Pumped(body, pump);
    result.bodyValidUtf8 = check.valid == body.size();
    result.bodyAscii = result.bodyValidUtf8 && !check.nonAscii;
    if (result.code == kEncodingNone && !result.bodyAscii) {
        if ((result.bodyValidUtf8 && !check.fourByte) ||
            looksLikeUtf8(truncated ? withoutCutSequence(body) : body))
            result.code = kEncodingUtf8;
    }
    return result;
}

LoadedText decodeContent(std::string_view content, bool truncated) {
    LoadedText result;
    result.truncated = truncated;
    const ContentDetection detection = detectContent(content, truncated);
    const int code = detection.code;
    const std::string_view body = content.substr(detection.markLength);

    if (code != kEncodingNone) {
        Decoded decoded = decodeAs(code, body, truncated);
        // A conversion that gives no text (a mark alone, or a zero character first) falls back
        // to ANSI with the bytes as they are.
        if (decoded.ok && !decoded.text.empty()) {
            result.text = std::move(decoded.text);
            result.encodingCode = code;
            result.truncated = result.truncated || decoded.truncated;
            return result;
        }
    }
    Decoded ansi = decodeAs(kEncodingAnsi, content, truncated);
    result.text = std::move(ansi.text);
    result.encodingCode = kEncodingAnsi;
    result.truncated = result.truncated || ansi.truncated;
    return result;
}

/// The same as the overload above, but the content's own buffer becomes the text where decoding
/// would not change a byte: well-formed UTF-8, and ANSI content that is all ASCII. Most files are
/// one of these, and for them nothing is copied or allocated. `content` is used up.
LoadedText decodeContent(std::string& content, bool truncated, const ContentDetection& detection) {
    static_assert(kContentByteLimit <= kTextByteLimit, "text kept as read must fit the text limit");
    const int code = detection.code;
    const std::size_t markLength = detection.markLength;
    std::size_t textLength = std::string::npos;
    if (code == kEncodingUtf8 && detection.beforeZero > markLength) {
        // A mark holds no zero byte, so the text is the body up to its first zero.
        const std::string_view text =
            std::string_view(content).substr(markLength, detection.beforeZero - markLength);
        const std::size_t valid = detection.bodyValidUtf8 ? text.size() : validUtf8Prefix(text);
        // A sequence cut off by the size limit is dropped, as the sanitizer does; no text at all
        // falls back to ANSI.
        if (valid > 0 &&
            (valid == text.size() ||
             (truncated && utf8SequenceLength(reinterpret_cast<const unsigned char*>(text.data()),
                                              text.size(), valid) < 0)))
            textLength = valid;
    } else if (code == kEncodingNone) {
        const std::string_view text = std::string_view(content).substr(0, detection.beforeZero);
        if (detection.bodyAscii || asciiPrefix(text) == text.size())
            textLength = text.size();
    }
    if (textLength == std::string::npos) {
        LoadedText decoded = decodeContent(std::string_view(content), truncated);
        keepSpareBuffer(std::move(content));
        return decoded;
    }
    LoadedText result;
    result.truncated = truncated;
    result.encodingCode = code == kEncodingNone ? kEncodingAnsi : code;
    content.resize(markLength + textLength);
    content.erase(0, markLength);
    result.text = std::move(content);
    return result;
}

LoadedText decodeContent(std::string& content, bool truncated, const std::function<void()>& pump = {}) {
    return decodeContent(content, truncated, detectContent(content, truncated, pump));
}

/// Pulls compressed bytes; returns 0 at the end of the input.
using ByteSource = std::function<std::size_t(char* buffer, std::size_t capacity)>;

struct Inflated {
    std::string bytes;
    bool truncated = false;
};

/// The size a gzip member's trailer states (modulo 4 GiB), as a hint to make room at once. Deflate
/// cannot expand more than about 1032 to 1, so a trailer claiming more is not believed.
std::size_t statedSize(std::string_view trailer, std::size_t compressedSize) {
    if (trailer.size() < 4)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(trailer.data() + trailer.size() - 4);
    const std::size_t stated =
        std::size_t{b[0]} | std::size_t{b[1]} << 8 | std::size_t{b[2]} << 16 | std::size_t{b[3]} << 24;
    return std::min(stated, compressedSize * 1032);
}

// The first read of a file; larger files go on in chunks.
constexpr std::size_t kHeadChunk = 64 * 1024;

class FileHandle {
public:
    explicit FileHandle(const std::string& path) : m_fd(openForReading(path)) {}
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }

    /// Reads up to `capacity` bytes, retrying after interruptions; 0 at the end or on an error.
    std::size_t read(char* buffer, std::size_t capacity) {
        std::size_t total = 0;
        while (total < capacity) {
            const ssize_t got = ::read(m_fd, buffer + total, capacity - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

private:
    int m_fd;
};

class ContentSource {
public:
    virtual ~ContentSource() = default;
    /// Goes back to the first byte; false when that is not possible.
    virtual bool rewind() = 0;
    /// Fills `buffer` as far as the content goes; less than `capacity` only at the end.
    virtual std::size_t read(char* buffer, std::size_t capacity) = 0;
    /// The likely length (0 when unknown).
    virtual std::size_t sizeHint() const { return 0; }
};

class MemorySource : public ContentSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    bool rewind() override {
        m_offset = 0;
        return true;
    }
    std::size_t read(char* buffer, std::size_t capacity) override {
        const std::size_t count = std::min(capacity, m_bytes.size() - m_offset);
        std::memcpy(buffer, m_bytes.data() + m_offset, count);
        m_offset += count;
        return count;
    }
    std::size_t sizeHint() const override { return m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_offset = 0;
};

class FileSource : public ContentSource {
public:
    FileSource(FileHandle& file, std::size_t size) : m_file(file), m_size(size) {}
    bool rewind() override { return ::lseek(m_file.fd(), 0, SEEK_SET) == 0; }
    std::size_t read(char* buffer, std::size_t capacity) override { return m_file.read(buffer, capacity); }
    std::size_t sizeHint() const override { return m_size; }

private:
    FileHandle& m_file;
    std::size_t m_size;
};

/// The decompressed bytes of gzip content, members one after another, as `inflateGzip` gives them.
class GzipSource : public ContentSource {
public:
    explicit GzipSource(ContentSource& raw) : m_raw(raw), m_input(std::size_t{1} << 16, '\0') {
        m_ready = ::inflateInit2(&m_stream, 15 + 16) == Z_OK;
        m_finished = !m_ready;
    }
    ~GzipSource() override {
        if (m_ready)
            ::inflateEnd(&m_stream);
    }
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    bool rewind() override {
        if (!m_ready || !m_raw.rewind() || ::inflateReset(&m_stream) != Z_OK)
            return false;
        m_stream.avail_in = 0;
        m_inputDone = false;
        m_finished = false;
        return true;
    }

    std::size_t read(char* buffer, std::size_t capacity) override {
        std::size_t produced = 0;
        while (produced < capacity && !m_finished) {
            if (m_stream.avail_in == 0 && !m_inputDone) {
                const std::size_t got = m_raw.read(m_input.data(), m_input.size());
                if (got == 0)
                    m_inputDone = true;
                m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
                m_stream.avail_in = static_cast<uInt>(got);
            }
            const std::size_t room = std::min<std::size_t>(capacity - produced, std::size_t{1} << 30);
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer + produced);
            m_stream.avail_out = static_cast<uInt>(room);
            const uInt inputBefore = m_stream.avail_in;
            const int rc = ::inflate(&m_stream, Z_NO_FLUSH);
            const std::size_t made = room - m_stream.avail_out;
            const bool progressed = made != 0 || m_stream.avail_in != inputBefore;
            produced += made;
            switch (rc) {
            case Z_OK:
                break;
            case Z_STREAM_END:
                // Another member may follow; anything else after the member is ignored.
                if (m_stream.avail_in < 2 && !m_inputDone) {
                    const std::size_t kept = m_stream.avail_in;
                    if (kept == 1)
                        m_input[0] = static_cast<char>(m_stream.next_in[0]);
                    const std::size_t got = m_raw.read(m_input.data() + kept, m_input.size() - kept);
                    m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
                    m_stream.avail_in = static_cast<uInt>(kept + got);
                    if (got == 0)
                        m_inputDone = true;
                }
                if (m_stream.avail_in >= 2 && m_stream.next_in[0] == 0x1F && m_stream.next_in[1] == 0x8B)
                    ::inflateReset(&m_stream);
                else
                    m_finished = true;
                break;
            case Z_BUF_ERROR:
                if ((m_stream.avail_in == 0 && m_inputDone) || (!progressed && m_stream.avail_in != 0))
                    m_finished = true;
                break;
            default:
                m_finished = true;
                break;
            }
        }
        return produced;
    }

private:
    ContentSource& m_raw;
    z_stream m_stream{};
    std::string m_input;
    bool m_ready = false;
    bool m_inputDone = false;
    bool m_finished = false;
};

/// Content read through a function (the loader's head, then the rest of the file with the pump).
class FunctionSource : public ContentSource {
public:
    explicit FunctionSource(ByteSource read) : m_read(std::move(read)) {}
    bool rewind() override { return false; }
    std::size_t read(char* buffer, std::size_t capacity) override { return m_read(buffer, capacity); }

private:
    ByteSource m_read;
};

/// The decompressed bytes of gzip content, up to `limit`; `truncated` when there were more.
Inflated inflateGzip(ContentSource& raw, std::size_t limit, std::size_t sizeHint) {
    Inflated result;
    // Only a hint: the trailer of a corrupt or concatenated file may say anything.
    reserveBulk(result.bytes, std::min(sizeHint, limit));
    GzipSource gzip(raw);
    char output[1 << 16];
    for (;;) {
        // One byte more than the limit allows, to tell a stream that is exactly as long as the
        // limit from a longer one.
        const std::size_t remaining = limit - result.bytes.size();
        const std::size_t room = remaining >= sizeof output ? sizeof output : remaining + 1;
        const std::size_t got = gzip.read(output, room);
        if (result.bytes.size() + got > limit) {
            result.bytes.append(output, limit - result.bytes.size());
            result.truncated = true;
            break;
        }
        result.bytes.append(output, got);
        if (got < room)
            break;
    }
    return result;
}

} // namespace

std::string convertCharset(std::string_view bytes, std::string_view fromCharset, std::string_view toCharset,
                           std::size_t maxOutputBytes) {
    // iconv lets some ill-formed UTF-8 through (surrogates, long forms), so UTF-8 input is made
    // well-formed here first.
    if (isUtf8Name(fromCharset)) {
        Decoded clean = sanitizeUtf8(bytes, isUtf8Name(toCharset) ? maxOutputBytes : kTextByteLimit, false);
        if (isUtf8Name(toCharset))
            return std::move(clean.text);
        return iconvConvert(clean.text, fromCharset, toCharset, maxOutputBytes, false).text;
    }
    return iconvConvert(bytes, fromCharset, toCharset, maxOutputBytes, false).text;
}

std::string gunzipBytes(std::string_view gzipData, std::size_t maxOutputBytes) {
    MemorySource source(gzipData);
    return inflateGzip(source, maxOutputBytes, statedSize(gzipData, gzipData.size())).bytes;
}

LoadedText loadTextFromBytes(std::string_view fileBytes) {
    if (fileBytes.size() >= 2 && fileBytes[0] == '\x1F' && fileBytes[1] == '\x8B') {
        MemorySource source(fileBytes);
        const Inflated inflated =
            inflateGzip(source, kContentByteLimit, statedSize(fileBytes, fileBytes.size()));
        return decodeContent(inflated.bytes, inflated.truncated);
    }
    const bool truncated = fileBytes.size() > kContentByteLimit;
    return decodeContent(fileBytes.substr(0, kContentByteLimit), truncated);
}

LoadedText loadFileText(const std::string& path, const std::function<void()>& pump) {
    FileHandle file(path);
    struct stat info {};
    // Only regular files are read: a FIFO or a device could block or never end.
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};

    // The first chunk is read in one go, not the two magic bytes alone: files of /proc and /sys
    // produce their whole value for the first read and nothing for a read further on.
    std::string head(kHeadChunk, '\0');
    head.resize(file.read(head.data(), head.size()));
    const bool more = head.size() == kHeadChunk; // else the end was reached
    if (head.size() >= 2 && head[0] == '\x1F' && head[1] == '\x8B') {
        std::size_t handed = 0; // bytes of `head` given to the decoder so far
        std::size_t sincePump = 0;
        FunctionSource source([&](char* buffer, std::size_t capacity) -> std::size_t {
            if (handed < head.size()) {
                const std::size_t count = std::min(capacity, head.size() - handed);
                std::memcpy(buffer, head.data() + handed, count);
                handed += count;
                return count;
            }
            if (!more)
                return 0;
            sincePump += capacity;
            if (pump && sincePump >= kPumpInterval) {
                sincePump = 0;
                pump();
            }
            return file.read(buffer, capacity);
        });
        char trailer[4];
        const bool haveTrailer = info.st_size >= 18 && ::pread(file.fd(), trailer, 4, info.st_size - 4) == 4;
        const Inflated inflated = inflateGzip(
            source, kContentByteLimit,
            haveTrailer ? statedSize(std::string_view(trailer, 4), static_cast<std::size_t>(info.st_size))
                        : 0);
        return decodeContent(inflated.bytes, inflated.truncated);
    }

    std::string content = std::move(head);
    const auto expected = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    reserveBulk(content, std::min(expected, kContentByteLimit));
    bool truncated = false;
    if (more) {
        // The expected size is read into one buffer of that size; past it (a file that grew, or one
        // that reports no size) the content grows by appending small chunks.
        const std::size_t goal = std::min(expected, kContentByteLimit);
        char chunk[1 << 16];
        while (true) {
            if (content.size() >= kContentByteLimit) {
                truncated = file.read(chunk, 1) == 1;
                break;
            }
            if (content.size() < goal) {
                const std::size_t want = std::min(goal - content.size(), kPumpInterval);
                const std::size_t old = content.size();
                content.resize(old + want);
                const std::size_t got = file.read(content.data() + old, want);
                content.resize(old + got);
                if (got < want)
                    break;
            } else {
                const std::size_t got =
                    file.read(chunk, std::min(sizeof chunk, kContentByteLimit - content.size()));
                if (got == 0)
                    break;
                content.append(chunk, got);
            }
            if (pump)
                pump();
        }
    }
    return decodeContent(content, truncated, pump);
}

} // namespace karv

namespace karv {

namespace {

/// Content bytes from their start, possibly read again from the start.
/// The UTF-8 test over content that arrives in pieces: the same verdict as `looksLikeUtf8` on
/// the whole, apart from the all-ASCII case, which `nonAscii` tells. A sequence cut off by a
/// piece's end is finished with the next piece's first bytes.
struct Utf8Probe {
    unsigned pending = 0; ///< continuation bytes still expected
    bool nonAscii = false;
    bool failed = false;

    void update(std::string_view piece) {
        const auto* b = reinterpret_cast<const unsigned char*>(piece.data());
        std::size_t i = 0;
        for (; pending > 0 && i < piece.size(); ++i, --pending) {
            if ((b[i] & 0xC0) != 0x80) {
                failed = true;
                return;
            }
        }
        std::string_view rest = piece.substr(i);
        if (failed || rest.empty())
            return;
        // A sequence cut off by the piece's end goes on in the next piece.
        const auto* r = reinterpret_cast<const unsigned char*>(rest.data());
        std::size_t cut = rest.size();
        unsigned carried = 0;
        for (std::size_t back = 1; back <= 3 && back <= rest.size(); ++back) {
            const unsigned char c = r[rest.size() - back];
            if ((c & 0xC0) == 0x80)
                continue;
            // Leads as the test reads them: C0-DF, E0-EF and F0-F4 start two, three, four bytes.
            const unsigned need = c > 0xF4 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (need > back) {
                cut = rest.size() - back;
                carried = need - back;
            }
            break;
        }
        const std::string_view whole = rest.substr(0, cut);
        if (asciiPrefix(whole) != whole.size()) {
            if (!looksLikeUtf8(whole)) {
                failed = true;
                return;
            }
            nonAscii = true;
        }
        if (carried > 0)
            nonAscii = true;
        pending = carried;
    }
    bool passed() const { return !failed && pending == 0; }
};

/// Decodes content of one code piece by piece into the consumer, carrying a character cut off
/// at a piece's end over to the next piece.
class PieceDecoder {
public:
    PieceDecoder(int code, TextConsumer& consumer) : m_code(code), m_consumer(consumer) {}

    /// Decodes `piece`; `last` when the content ends after it. Returns false once no more text is
    /// needed (the consumer is satisfied, or the text ended at a zero character).
    bool take(std::string_view piece, bool last) {
        if (m_over)
            return false;
        if (m_code != kEncodingUtf16Le && m_code != kEncodingUtf16Be) {
            // An empty piece may have no data pointer at all, which memchr must not be given.
            const void* zero = piece.empty() ? nullptr : std::memchr(piece.data(), 0, piece.size());
            if (zero != nullptr) {
                piece =
                    piece.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - piece.data()));
                last = true; // the text ends here
            }
        }
        if (!m_carry.empty()) {
            // The seam: the carried bytes with enough of this piece to end their character.
            constexpr std::size_t kSeam = 16;
            const bool seamIsAll = piece.size() <= kSeam;
            std::string seam = m_carry + std::string(piece.substr(0, kSeam));
            const std::size_t carried = m_carry.size();
            m_carry.clear();
            const std::size_t used = decodeInto(seam, seamIsAll && last);
            if (m_over)
                return false;
            if (seamIsAll) {
                m_carry = seam.substr(used);
                if (last)
                    m_over = true;
                return !m_over;
            }
            if (used < carried) { // cannot happen: a character is at most four bytes
                m_carry = seam.substr(used);
                return true;
            }
            piece.remove_prefix(used - carried);
        }
        const std::size_t used = decodeInto(piece, last);
        m_carry = std::string(piece.substr(used));
        if (last)
            m_over = true;
        return !m_over;
    }

    /// Whether any non-empty text was handed over.
    bool gaveText() const { return m_gaveText; }

private:
    /// Decodes what it can of `bytes` and hands it over; returns the bytes used.
    std::size_t decodeInto(std::string_view bytes, bool last) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t used = bytes.size();
        Decoded decoded;
        switch (m_code) {
        case kEncodingUtf8: {
            if (!last) {
                // A lead byte among the last three may start a character that goes on.
                for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
                    if (b[bytes.size() - back] >= 0xC0) {
                        used = bytes.size() - back;
                        break;
                    }
                }
            }
            const std::string_view whole = bytes.substr(0, used);
            if (validUtf8Prefix(whole) == whole.size()) {
                hand(whole);
                return used;
            }
            decoded = sanitizeUtf8(whole, kTextByteLimit, false);
            break;
        }
        case kEncodingUtf16Le:
        case kEncodingUtf16Be:
            decoded = decodeUtf16(bytes, m_code == kEncodingUtf16Be, kTextByteLimit, false, !last);
            used = decoded.consumed;
            if (decoded.endedAtZero)
                m_over = true;
            break;
        case kEncodingBig5:
        case kEncodingBig5Hkscs:
            decoded = iconvConvert(bytes, encodingCharsetName(m_code), "UTF-8", kTextByteLimit, false, !last);
            used = decoded.consumed;
            break;
        default:
            decoded = decodeGb18030(bytes, kTextByteLimit, false, !last);
            used = decoded.consumed;
            break;
        }
        hand(decoded.text);
        return used;
    }

    void hand(std::string_view text) {
        if (text.empty() || m_satisfied)
            return;
        m_gaveText = true;
        if (!m_satisfied && m_consumer.feed(text)) {
            m_satisfied = true;
            m_over = true;
        }
    }

    int m_code;
    TextConsumer& m_consumer;
    std::string m_carry;
    bool m_over = false;
    bool m_satisfied = false;
    bool m_gaveText = false;
};

enum class PassEnd { Finished, Stopped, AsAnsi };

/// Tells whether the run should end now; pumps the window first.
bool pauseBetweenPieces(const TextStreamControl& control) {
    if (control.pump)
        control.pump();
    return control.stopRequested && control.stopRequested();
}

/// Reads `source` from its start to its end and decodes it all as ANSI.
PassEnd ansiPass(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control,
                 std::string& chunk) {
    consumer.begin();
    if (!source.rewind())
        return PassEnd::Finished;
    PieceDecoder decoder(kEncodingAnsi, consumer);
    bool more = true;
    while (more) {
        chunk.resize(control.chunkBytes);
        const std::size_t got = source.read(chunk.data(), chunk.size());
        const bool last = got < chunk.size();
        more = decoder.take(std::string_view(chunk.data(), got), last) && !last;
        if (pauseBetweenPieces(control))
            return PassEnd::Stopped;
    }
    return PassEnd::Finished;
}

StreamedText streamContent(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control) {
    StreamedText result;
    const std::size_t headLimit = std::max<std::size_t>(control.headBytes, 4);
    const std::size_t chunkBytes = std::max<std::size_t>(control.chunkBytes, 1);
    TextStreamControl steps = control;
    steps.chunkBytes = chunkBytes;

    // The head: the whole content when it fits.
    std::string head;
    const std::size_t hint = source.sizeHint();
    std::size_t target = std::min(headLimit, hint > 0 ? hint + 1 : kHeadChunk);
    bool ended = false;
    while (head.size() < headLimit) {
        target = std::min(headLimit, std::max(target, head.size() + 1));
        reserveBulk(head, target);
        const std::size_t old = head.size();
        head.resize(target);
        const std::size_t got = source.read(head.data() + old, target - old);
        head.resize(old + got);
        if (got < target - old) {
            ended = true;
            break;
        }
        target = std::min(headLimit, target * 2);
        // Reading megabytes from a slow disk takes a while: the window is served between reads.
        if (control.pump)
            control.pump();
    }
    std::string chunk;
    if (!ended) {
        takeSpareBuffer(chunk, chunkBytes);
        chunk.resize(chunkBytes);
        chunk.resize(source.read(chunk.data(), chunk.size()));
        ended = chunk.empty();
    }
    if (ended) {
        const ContentDetection detection = detectContent(head, false);
        consumer.begin();
        // ANSI and UTF-16 content may be judged on its bytes, without decoding it.
        const std::string_view view = head;
        std::string_view body;
        if (detection.code == kEncodingNone && !detection.bodyAscii)
            body = view.substr(0, detection.beforeZero);
        else if ((detection.code == kEncodingUtf16Le || detection.code == kEncodingUtf16Be) &&
                 view.size() >= detection.markLength + 2 &&
                 (view[detection.markLength] != 0 || view[detection.markLength + 1] != 0))
            body = view.substr(detection.markLength);
        if (!body.empty() &&
            consumer.judgeEncoded(detection.code == kEncodingNone ? kEncodingAnsi : detection.code, body)) {
            result.encodingCode = detection.code == kEncodingNone ? kEncodingAnsi : detection.code;
            keepSpareBuffer(std::move(head));
            keepSpareBuffer(std::move(chunk));
            return result;
        }
        LoadedText loaded = decodeContent(head, false, detection);
        result.encodingCode = loaded.encodingCode;
        result.stopped = feedText(loaded.text, consumer, steps);
        result.whole = true;
        if (control.wholeText != nullptr)
            *control.wholeText = std::move(loaded.text);
        else
            keepSpareBuffer(std::move(loaded.text));
        keepSpareBuffer(std::move(chunk));
        return result;
    }

    // Longer content: the encoding from the head, then piece by piece.
    const MarkDetection mark = detectByMarks(head);
    int code = mark.code;
    if (code == kEncodingNone) {
        switch (detectHtmlCharset(cutAtZero(head))) {
        case 1:
            code = kEncodingUtf8;
            break;
        case 2:
            code = kEncodingBig5;
            break;
        case 3:
            code = kEncodingBig5Hkscs;
            break;
        default:
            break;
        }
    }
    Utf8Probe probe;
    bool testing = code == kEncodingNone;
    const std::string_view body = std::string_view(head).substr(mark.markLength);
    if (testing) {
        // Piece by piece, the window served between them; the test carries its state across.
        for (std::size_t at = 0; at < body.size() && !probe.failed; at += chunkBytes) {
            probe.update(body.substr(at, chunkBytes));
            if (control.pump)
                control.pump();
        }
        if (probe.failed) {
            code = kEncodingAnsi;
            testing = false;
        } else {
            code = kEncodingUtf8; // ASCII decodes the same either way
        }
        probe = Utf8Probe(); // the pieces go through the test again as they are decoded
    }
    const auto finish = [&](PassEnd end) {
        keepSpareBuffer(std::move(head));
        if (end == PassEnd::AsAnsi) {
            code = kEncodingAnsi;
            end = ansiPass(source, consumer, steps, chunk);
        }
        keepSpareBuffer(std::move(chunk));
        result.encodingCode = code;
        result.stopped = end == PassEnd::Stopped;
        return result;
    };

    consumer.begin();
    auto decoder = std::make_unique<PieceDecoder>(code, consumer);
    bool decoding = true;
    // Hands one piece to the decoder and the test; tells how the pass goes on.
    const auto takePiece = [&](std::string_view piece, bool last) -> std::optional<PassEnd> {
        if (testing) {
            const bool nonAsciiBefore = probe.nonAscii;
            probe.update(piece);
            if (probe.failed || (last && !probe.passed())) {
                testing = false;
                // Text given so far was all ASCII: the same as ANSI, so the rest goes on as ANSI.
                if (nonAsciiBefore)
                    return PassEnd::AsAnsi;
                code = kEncodingAnsi;
                if (decoding) {
                    auto ansi = std::make_unique<PieceDecoder>(kEncodingAnsi, consumer);
                    decoder = std::move(ansi);
                }
            }
        }
        if (decoding)
            decoding = decoder->take(piece, last);
        if (!decoding && !testing && !last)
            return PassEnd::Finished;
        if (pauseBetweenPieces(steps))
            return PassEnd::Stopped;
        return std::nullopt;
    };
    std::optional<PassEnd> end;
    for (std::size_t at = 0; at < body.size() && !end; at += chunkBytes)
        end = takePiece(body.substr(at, chunkBytes), false);
    while (!end) {
        const std::string_view piece = chunk;
        const bool last = chunk.size() < chunkBytes;
        end = takePiece(piece, last);
        if (end || last)
            break;
        chunk.resize(chunkBytes);
        chunk.resize(source.read(chunk.data(), chunk.size()));
        if (chunk.empty()) {
            end = takePiece({}, true);
            break;
        }
    }
    if (!end)
        end = PassEnd::Finished;
    if (end == PassEnd::Finished && testing && !probe.nonAscii)
        code = kEncodingAnsi; // all ASCII
    // A conversion that gives no text falls back to ANSI with the bytes as they are.
    if (end == PassEnd::Finished && code != kEncodingAnsi && !decoder->gaveText())
        end = PassEnd::AsAnsi;
    return finish(*end);
}

} // namespace

namespace {

/// A term's bytes in one encoding, when a search of those bytes is sure to agree with a search of
/// the decoded text: the term has no ASCII letter (case folding applies to the decoded text only),
/// and each of its characters has one form only in that encoding. Empty when that is not so.
std::string encodedTerm(std::string_view term, int code) {
    if (!isValidUtf8(term))
        return {};
    const auto* b = reinterpret_cast<const unsigned char*>(term.data());
    for (std::size_t i = 0; i < term.size();) {
        const int length = utf8SequenceLength(b, term.size(), i);
        char32_t c = b[i];
        if (length == 2)
            c = (c & 0x1F) << 6 | (b[i + 1] & 0x3F);
        else if (length == 3)
            c = (c & 0x0F) << 12 | (b[i + 1] & 0x3Fu) << 6 | (b[i + 2] & 0x3F);
        else if (length == 4)
            c = (c & 0x07) << 18 | (b[i + 1] & 0x3Fu) << 12 | (b[i + 2] & 0x3Fu) << 6 | (b[i + 3] & 0x3F);
        if (c == 0 || c == 0xFFFD || (c < 0x80 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')))
            return {};
        // In GB18030 only ASCII and the unified ideographs of the two-byte area are taken: for
        // them one byte sequence alone decodes to the character.
        if (code == kEncodingAnsi && c >= 0x80 && (c < 0x4E00 || c > 0x9FA5))
            return {};
        i += static_cast<std::size_t>(length);
    }
    const char* charset = code == kEncodingAnsi      ? "GB18030"
                          : code == kEncodingUtf16Le ? "UTF-16LE"
                                                     : "UTF-16BE";
    const Decoded encoded = iconvConvert(term, "UTF-8", charset, term.size() * 4, false);
    if (!encoded.ok || encoded.text.empty())
        return {};
    return encoded.text;
}

/// Whether the GB18030 decoder, going from the content's start, takes a character start at `at`.
/// Any byte below 30 is a character of its own, so the walk starts after the last one before
/// `at`. -1 when that is too far back or the way there has a four-byte form.
int gbCharacterStartsAt(std::string_view body, std::size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(body.data());
    constexpr std::size_t kReach = 1 << 16;
    std::size_t from = at;
    while (from > 0 && b[from - 1] >= 0x30) {
        if (at - from >= kReach)
            return -1;
        --from;
    }
    const Gb18030Table& table = Gb18030Table::instance();
    std::size_t i = from;
    while (i < at) {
        const unsigned char lead = b[i];
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < body.size()) {
            const unsigned char trail = b[i + 1];
            if (trail >= 0x30 && trail <= 0x39)
                return -1;
            if (trail >= 0x40 && trail <= 0xFE && !table.at(lead, trail).empty()) {
                i += 2;
                continue;
            }
        }
        ++i;
    }
    return i == at ? 1 : 0;
}

} // namespace

int findTermsEncoded(int code, std::string_view body, const std::vector<std::string>& terms) {
    if (code != kEncodingAnsi && code != kEncodingUtf16Le && code != kEncodingUtf16Be)
        return -1;
    // The encoded forms of the run's terms, made once.
    struct Forms {
        std::vector<std::string> terms;
        int code = kEncodingNone;
        std::vector<std::string> encoded;
        bool usable = false;
    };
    thread_local Forms forms;
    if (forms.code != code || forms.terms != terms) {
        forms.terms = terms;
        forms.code = code;
        forms.encoded.clear();
        forms.usable = true;
        for (const std::string& term : terms) {
            if (term.empty())
                continue;
            std::string encoded = encodedTerm(term, code);
            forms.usable = forms.usable && !encoded.empty();
            forms.encoded.push_back(std::move(encoded));
        }
    }
    if (!forms.usable)
        return -1;
    std::size_t end = body.size();
    if (code != kEncodingAnsi) {
        // UTF-16 text ends at its first zero unit.
        for (std::size_t at = 0;
             (at = findExact(body.substr(0, end), std::string_view("\0\0", 2), at)) != std::string_view::npos;
             ++at) {
            if (at % 2 == 0) {
                end = at;
                break;
            }
        }
    }
    const std::string_view text = body.substr(0, end);
    bool unsure = false;
    for (const std::string& term : forms.encoded) {
        for (std::size_t at = 0; (at = findExact(text, term, at)) != std::string_view::npos; ++at) {
            const int starts = code == kEncodingAnsi ? gbCharacterStartsAt(text, at) : at % 2 == 0 ? 1 : 0;
            if (starts == 1)
                return 1;
            unsure = unsure || starts < 0;
        }
    }
    return unsure ? -1 : 0;
}

bool feedText(std::string_view text, TextConsumer& consumer, const TextStreamControl& control) {
    const std::size_t step = std::max<std::size_t>(control.chunkBytes, 1);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.size(), at + step);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        if (consumer.feed(text.substr(at, end - at)))
            return false;
        at = end;
        if (at < text.size() && pauseBetweenPieces(control))
            return true;
    }
    return false;
}

StreamedText streamTextFromBytes(std::string_view fileBytes, TextConsumer& consumer,
                                 const TextStreamControl& control) {
    MemorySource raw(fileBytes);
    if (fileBytes.size() >= 2 && fileBytes[0] == '\x1F' && fileBytes[1] == '\x8B') {
        GzipSource gzip(raw);
        return streamContent(gzip, consumer, control);
    }
    return streamContent(raw, consumer, control);
}

StreamedText streamFileText(const std::string& path, TextConsumer& consumer,
                            const TextStreamControl& control) {
    FileHandle file(path);
    struct stat info {};
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
        consumer.begin();
        return {};
    }
    FileSource raw(file, static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)));
    char magic[2];
    if (::pread(file.fd(), magic, 2, 0) == 2 && magic[0] == '\x1F' && magic[1] == '\x8B') {
        GzipSource gzip(raw);
        return streamContent(gzip, consumer, control);
    }
    return streamContent(raw, consumer, control);
}

} // namespace karv
