#pragma once

#include "text/Matching.h"
#include "text/TextStream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace karv {

/// `plainTermMatch` over a text that arrives in pieces: each piece is searched, and so is the seam
/// between it and the text before, as far as the longest term reaches. Finds exactly what
/// `plainTermMatch` finds in the whole text.
class TermStreamSearch : public TextConsumer {
public:
    explicit TermStreamSearch(const std::vector<std::string>& terms);
    void begin() override;
    bool feed(std::string_view piece) override;
    bool judgeEncoded(int code, std::string_view body) override;
    bool found() const { return m_found; }

private:
    const std::vector<std::string>& m_terms;
    std::size_t m_keep = 0; ///< bytes of text kept for the seam: the longest term less one
    std::string m_tail;
    std::string m_seam;
    bool m_found = false;
};

/// `countCharacters` of the text with the tag remover ("<[\s\S]+?>") and then the blank remover
/// ("\s") applied when asked, counted as the text streams by: the same number as removing and
/// counting on the whole text, without holding it. A "<" whose tag has not closed yet is counted
/// as kept and taken back when its ">" comes.
class CharacterCount : public TextConsumer {
public:
    CharacterCount(bool removeTags, bool removeBlanks);
    void begin() override;
    bool feed(std::string_view piece) override;
    std::uint64_t count() const { return m_now.count; }

private:
    struct Tally {
        std::uint64_t count = 0;
        bool lastCr = false; ///< the last kept character was CR (it and a following LF are one)
    };
    enum class Tag { Outside, Opened, Inside };
    void countKept(std::string_view text);

    bool m_tags;
    bool m_blanks;
    Tally m_now;
    Tally m_beforeTag; ///< the tally before the open "<", restored when its ">" comes
    Tag m_state = Tag::Outside;
};

/// Text of at most this many bytes is searched by an expression as a whole.
inline constexpr std::size_t kExpressionWindowBytes = std::size_t{32} << 20;
/// Lines kept from one window to the next, so a match across the cut is found in the next one.
inline constexpr std::size_t kExpressionOverlapBytes = std::size_t{1} << 20;

/// A wildcard or regular-expression test over a text that arrives in pieces. A text that fits in
/// one window is tested whole, exactly as `ContentMatcher::matches`. A longer one is tested in
/// windows of whole lines: each ends before a line break and the next starts at a line start
/// within `overlap` bytes before that break, so ^ and $ keep their meaning and every match whose
/// lines span at most `overlap` bytes lies whole within a window. A longer match across a cut,
/// a look-around that tests the line break at a window's edge, or a line longer than a window (cut
/// at a character boundary) are the cases in which a window's answer may differ from the whole
/// text's.
class ExpressionStreamSearch : public TextConsumer {
public:
    explicit ExpressionStreamSearch(ContentMatcher& matcher, std::size_t window = kExpressionWindowBytes,
                                    std::size_t overlap = kExpressionOverlapBytes);
    void begin() override;
    bool feed(std::string_view piece) override;
    /// Tests what is left after the last piece; returns whether the text is a hit.
    bool finish();
    /// Whether a window's test gave up at the expression's limit.
    bool limitReached() const { return m_limitReached; }
    /// Asked now and then during a window's test; answering "stop" (false) ends the search with no
    /// answer.
    void setPoll(KeepGoing keepGoing) { m_poll = std::move(keepGoing); }
    bool stopped() const { return m_stopped; }

private:
    void test(std::string_view window);
    void testFullWindow();

    ContentMatcher& m_matcher;
    std::size_t m_window;
    std::size_t m_overlap;
    std::string m_buffer;
    bool m_found = false;
    bool m_limitReached = false;
    KeepGoing m_poll;
    bool m_stopped = false;
};

} // namespace karv
