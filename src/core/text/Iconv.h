#pragma once

#include "text/TextLimits.h"
#include "text/Utf8.h"

#include <iconv.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace karv {

/// Converts `bytes` from one iconv charset to another. Lenient: an invalid or cut-off input
/// sequence (and a character the target cannot hold) becomes U+FFFD (or "?" where the target
/// has no U+FFFD); there is no error. The result carries no byte-order mark. Empty when a
/// charset name is unknown. Output stops at the last whole character within `maxOutputBytes`.
std::string convertCharset(std::string_view bytes, std::string_view fromCharset,
                           std::string_view toCharset = "UTF-8", std::size_t maxOutputBytes = kTextByteLimit);

} // namespace karv

namespace karv::textio {

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

/// With `streaming`, a character cut off at the end is left undecoded (see `consumed`).
Decoded iconvConvert(std::string_view bytes, std::string_view fromCharset, std::string_view toCharset,
                     std::size_t limit, bool dropIncompleteTail, bool streaming = false);

/// Whether the charset name is UTF-8's, in any case.
bool isUtf8Name(std::string_view charset);

} // namespace karv::textio
