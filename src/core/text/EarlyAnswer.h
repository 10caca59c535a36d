#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// The answer of a plain term search (any term), taken from a file's content bytes as they are
/// read, before the file is decoded, where no later byte can change it. For a non-empty term of
/// ASCII characters, in content that starts with no byte-order mark (a meta charset here names
/// only ASCII-compatible charsets):
/// - a hit before the first zero byte whose bytes back to the last byte below 0x40 are all ASCII
///   is a hit in every decoding. A byte below 0x40 is never a trail byte of GBK, Big5 or UTF-8,
///   so the hit starts on a character whatever the encoding turns out to be;
/// - when every non-empty term is ASCII and none occurs in the bytes before the first zero byte
///   (or the end), there is no hit: ASCII in the decoded text comes only from ASCII bytes.
/// Anything else stays open, and the file is decoded and searched as usual.
class EarlyTermAnswer {
public:
    explicit EarlyTermAnswer(const std::vector<std::string>& terms);

    /// Whether any term can be decided this way.
    bool usable() const { return !m_ascii.empty(); }
    /// Back to the start of another content.
    void restart();
    /// The next bytes of the content, in order from its first; `last` when it ends after them.
    /// True once the answer is certain.
    bool take(std::string_view bytes, bool last);
    bool decided() const { return m_decided; }
    /// Whether no answer will come from this content any more.
    bool givenUp() const { return !m_decided && (m_closed || !usable()); }
    bool hit() const { return m_hit; }

private:
    /// Whether a term occurs in `bytes` starting before `startsBefore`, and whether one of those
    /// is a hit for sure; `openBefore` tells whether the bytes before `bytes` allow one at its start.
    void search(std::string_view bytes, std::size_t startsBefore, bool openBefore);
    void decide(bool hit);

    std::vector<std::string> m_ascii; ///< the non-empty ASCII terms
    bool m_allAscii = true;           ///< every non-empty term is ASCII, so a miss can be certain
    std::size_t m_keep = 0;           ///< bytes kept for a term across two pieces: longest less one
    std::string m_tail;               ///< the last `m_keep` bytes seen
    std::string m_seam;
    bool m_tailOpen = true; ///< whether a hit may start at the tail's first byte
    bool m_endOpen = true;  ///< whether a hit may start right after the bytes seen
    bool m_started = false;
    bool m_closed = false;   ///< a mark opened the content: nothing is decided
    bool m_occurred = false; ///< some term occurs, a sure hit or not
    bool m_decided = false;
    bool m_hit = false;
};

} // namespace karv
