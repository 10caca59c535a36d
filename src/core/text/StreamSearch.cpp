#include "text/StreamSearch.h"

#include "text/EncodedTermSearch.h"

#include <algorithm>
#include <cstring>

namespace karv {

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

TermStreamSearch::TermStreamSearch(const std::vector<std::string>& terms) : m_terms(terms) {
    for (const std::string& term : terms)
        m_keep = std::max(m_keep, term.empty() ? std::size_t{0} : term.size() - 1);
}

void TermStreamSearch::begin() {
    m_tail.clear();
    m_found = false;
}

bool TermStreamSearch::judgeEncoded(int code, std::string_view body) {
    const int found = findTermsEncoded(code, body, m_terms);
    if (found < 0)
        return false;
    m_found = found == 1;
    return true;
}

bool TermStreamSearch::feed(std::string_view piece) {
    if (m_found)
        return true;
    if (m_keep > 0 && !m_tail.empty()) {
        // The seam ends on a character boundary, as the piece does, so a hit at its end is judged
        // as in the whole text.
        std::size_t end = std::min(piece.size(), m_keep);
        while (end < piece.size() && isContinuation(piece[end]))
            ++end;
        m_seam.assign(m_tail).append(piece.substr(0, end));
        m_found = plainTermMatch(m_seam, m_terms);
    }
    if (!m_found)
        m_found = plainTermMatch(piece, m_terms);
    if (piece.size() >= m_keep) {
        m_tail.assign(piece.substr(piece.size() - m_keep));
    } else {
        m_tail.append(piece);
        if (m_tail.size() > m_keep)
            m_tail.erase(0, m_tail.size() - m_keep);
    }
    return m_found;
}

CharacterCount::CharacterCount(bool removeTags, bool removeBlanks)
    : m_tags(removeTags), m_blanks(removeBlanks) {}

void CharacterCount::begin() {
    m_now = {};
    m_beforeTag = {};
    m_state = Tag::Outside;
}

void CharacterCount::countKept(std::string_view text) {
    if (text.empty())
        return;
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::uint64_t count = 0;
    if (m_blanks) {
        // Blanks are ASCII, so every other character has exactly one byte that is no continuation.
        for (std::size_t i = 0; i < n; ++i)
            count += (b[i] & 0xC0) != 0x80 && b[i] != ' ' && (b[i] < '\t' || b[i] > '\r');
        m_now.count += count;
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        count += (b[i] & 0xC0) != 0x80;
    // CR LF is one character.
    if (m_now.lastCr && b[0] == '\n')
        --count;
    const char* at = text.data();
    const char* const stop = text.data() + n - 1;
    while (at < stop) {
        const void* cr = std::memchr(at, '\r', static_cast<std::size_t>(stop - at));
        if (cr == nullptr)
            break;
        at = static_cast<const char*>(cr) + 1;
        if (*at == '\n')
            --count;
    }
    m_now.count += count;
    m_now.lastCr = b[n - 1] == '\r';
}

bool CharacterCount::feed(std::string_view piece) {
    if (!m_tags) {
        countKept(piece);
        return false;
    }
    const std::size_t n = piece.size();
    std::size_t i = 0;
    while (i < n) {
        switch (m_state) {
        case Tag::Outside: {
            const void* open = std::memchr(piece.data() + i, '<', n - i);
            const std::size_t at =
                open == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(open) - piece.data());
            countKept(piece.substr(i, at - i));
            if (at == n)
                return false;
            // Counted as kept until its ">" shows it was a tag.
            m_beforeTag = m_now;
            countKept(piece.substr(at, 1));
            m_state = Tag::Opened;
            i = at + 1;
            break;
        }
        case Tag::Opened: {
            // The one character a tag holds at least, whatever it is (a ">" too).
            const auto lead = static_cast<unsigned char>(piece[i]);
            const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            const std::size_t take = std::min(length, n - i);
            countKept(piece.substr(i, take));
            i += take;
            m_state = Tag::Inside;
            break;
        }
        case Tag::Inside: {
            const void* close = std::memchr(piece.data() + i, '>', n - i);
            if (close == nullptr) {
                countKept(piece.substr(i));
                return false;
            }
            m_now = m_beforeTag;
            m_state = Tag::Outside;
            i = static_cast<std::size_t>(static_cast<const char*>(close) - piece.data()) + 1;
            break;
        }
        }
    }
    return false;
}

ExpressionStreamSearch::ExpressionStreamSearch(ContentMatcher& matcher, std::size_t window,
                                               std::size_t overlap)
    : m_matcher(matcher), m_window(std::max<std::size_t>(window, 2)),
      m_overlap(std::min(overlap, m_window / 2)) {}

void ExpressionStreamSearch::begin() {
    m_buffer.clear();
    m_found = false;
    m_limitReached = false;
    m_stopped = false;
}

void ExpressionStreamSearch::test(std::string_view window) {
    if (m_matcher.matches(window, m_poll))
        m_found = true;
    m_limitReached = m_limitReached || m_matcher.limitReached();
    m_stopped = m_stopped || m_matcher.stopped();
}

void ExpressionStreamSearch::testFullWindow() {
    const std::size_t lineBreak = m_buffer.rfind('\n', m_window);
    std::size_t keepFrom;
    if (lineBreak != std::string::npos && lineBreak > 0) {
        test(std::string_view(m_buffer).substr(0, lineBreak));
        // The next window starts at the first line start within the overlap before the break.
        const std::size_t from = lineBreak > m_overlap ? lineBreak - m_overlap : 0;
        keepFrom = m_buffer.find('\n', from) + 1;
    } else {
        // A line longer than a window: cut at a character boundary.
        std::size_t cut = std::min(m_window, m_buffer.size());
        while (cut > 0 && cut < m_buffer.size() && isContinuation(m_buffer[cut]))
            --cut;
        test(std::string_view(m_buffer).substr(0, cut));
        keepFrom = cut > m_overlap ? cut - m_overlap : 0;
        while (keepFrom > 0 && isContinuation(m_buffer[keepFrom]))
            --keepFrom;
        if (keepFrom == 0)
            keepFrom = cut;
    }
    m_buffer.erase(0, keepFrom);
}

bool ExpressionStreamSearch::feed(std::string_view piece) {
    if (m_found || m_stopped)
        return true;
    m_buffer.append(piece);
    while (!m_found && !m_stopped && m_buffer.size() > m_window)
        testFullWindow();
    return m_found || m_stopped;
}

bool ExpressionStreamSearch::finish() {
    if (!m_found && !m_stopped)
        test(m_buffer);
    m_buffer = std::string();
    return m_found;
}

} // namespace karv
