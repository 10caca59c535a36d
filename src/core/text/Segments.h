#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <string_view>

// Texts cut into segments at sentence ends and line breaks, and the work count that lets a long
// search over them ask now and then whether to go on.
namespace karv {

// Work between two calls of the caller's hook: a few milliseconds at most.
constexpr std::size_t kPollWork = std::size_t{1} << 18;
// A cut is at most 3 bytes; an occurrence of a segment can reach into the cuts around a piece of

/// Counts work and calls the hook at fixed amounts of it.
class WorkPoll {
public:
    explicit WorkPoll(const KeepGoing& keepGoing) : m_keepGoing(keepGoing) {}
    bool add(std::size_t work) {
        m_work += work;
        if (m_work < kPollWork)
            return !m_stopped;
        m_work = 0;
        if (m_keepGoing && !m_keepGoing())
            m_stopped = true;
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    const KeepGoing& m_keepGoing;
    std::size_t m_work = 0;
    bool m_stopped = false;
};

/// Length of the cut at `i` of a prepared text: 。，！；ㄓ (3 bytes), CR LF (2), ?!,; (1); 0 if none.
inline std::size_t segmentCutAt(const unsigned char* s, std::size_t n, std::size_t i) {
    switch (s[i]) {
    case '?':
    case '!':
    case ',':
    case ';':
        return 1;
    case '\r':
        return i + 1 < n && s[i + 1] == '\n' ? 2 : 0;
    case 0xE3: // 。 U+3002, ㄓ U+3113
        return i + 2 < n && ((s[i + 1] == 0x80 && s[i + 2] == 0x82) || (s[i + 1] == 0x84 && s[i + 2] == 0x93))
                   ? 3
                   : 0;
    case 0xEF: // ！ U+FF01, ， U+FF0C, ； U+FF1B
        return i + 2 < n && s[i + 1] == 0xBC && (s[i + 2] == 0x81 || s[i + 2] == 0x8C || s[i + 2] == 0x9B)
                   ? 3
                   : 0;
    default:
        return 0;
    }
}

/// Calls `f(offset, length)` for every non-empty segment; stops when `f` returns false.
template <typename F> bool scanSegments(std::string_view text, F&& f) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < n;) {
        const std::size_t cut = segmentCutAt(s, n, i);
        if (cut == 0) {
            ++i;
            continue;
        }
        if (i > start && !f(start, i - start))
            return false;
        i += cut;
        start = i;
    }
    return n <= start || f(start, n - start);
}

} // namespace karv
