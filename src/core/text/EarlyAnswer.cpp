#include "text/EarlyAnswer.h"

#include "text/TextSearch.h"

#include <algorithm>
#include <cstring>

namespace karv {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

/// Whether a hit may start at `at`: going back, a byte below 0x40 comes before any non-ASCII
/// byte; `openAtStart` when the bytes before `bytes` run out first.
bool openAt(std::string_view bytes, std::size_t at, bool openAtStart) {
    for (std::size_t i = at; i > 0; --i) {
        const auto c = static_cast<unsigned char>(bytes[i - 1]);
        if (c < 0x40)
            return true;
        if (c >= 0x80)
            return false;
    }
    return openAtStart;
}

} // namespace

EarlyTermAnswer::EarlyTermAnswer(const std::vector<std::string>& terms) {
    for (const std::string& term : terms) {
        if (term.empty())
            continue;
        if (!isAscii(term)) {
            m_allAscii = false;
            continue;
        }
        m_ascii.push_back(term);
        m_keep = std::max(m_keep, term.size() - 1);
    }
}

void EarlyTermAnswer::restart() {
    m_tail.clear();
    m_tailOpen = m_endOpen = true;
    m_started = m_closed = m_occurred = m_decided = m_hit = false;
}

void EarlyTermAnswer::decide(bool hit) {
    m_decided = true;
    m_hit = hit;
}

void EarlyTermAnswer::search(std::string_view bytes, std::size_t startsBefore, bool openBefore) {
    for (const std::string& term : m_ascii) {
        for (std::size_t at = findIgnoreAsciiCase(bytes, term); at < startsBefore;
             at = findIgnoreAsciiCase(bytes, term, at + 1)) {
            m_occurred = true;
            if (openAt(bytes, at, openBefore))
                return decide(true);
        }
    }
}

bool EarlyTermAnswer::take(std::string_view bytes, bool last) {
    if (m_decided || m_closed || !usable())
        return m_decided;
    if (!m_started && !bytes.empty()) {
        m_started = true;
        // The first byte of every mark: the content may be UTF-16, where ASCII bytes are no text.
        const auto first = static_cast<unsigned char>(bytes[0]);
        if (first == 0xEF || first == 0xFE || first == 0xFF) {
            m_closed = true;
            return false;
        }
    }
    // The text ends at the first zero byte, whatever follows.
    const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
    if (zero != nullptr) {
        bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()));
        last = true;
    }
    if (m_keep > 0 && !m_tail.empty() && !bytes.empty()) {
        m_seam.assign(m_tail).append(bytes.substr(0, std::min(bytes.size(), m_keep)));
        search(m_seam, m_tail.size(), m_tailOpen);
    }
    if (!m_decided)
        search(bytes, bytes.size(), m_endOpen);
    if (m_decided)
        return true;
    if (last) {
        if (m_allAscii && !m_occurred)
            decide(false);
        m_closed = !m_decided;
        return m_decided;
    }
    // What the next piece needs: the tail a term may start in, and whether a hit may start there.
    if (bytes.size() >= m_keep) {
        m_tailOpen = openAt(bytes, bytes.size() - m_keep, m_endOpen);
        m_tail.assign(bytes.substr(bytes.size() - m_keep));
    } else {
        m_seam.assign(m_tail).append(bytes);
        const std::size_t from = m_seam.size() - std::min(m_seam.size(), m_keep);
        m_tailOpen = openAt(m_seam, from, m_tailOpen);
        m_tail.assign(m_seam.substr(from));
    }
    m_endOpen = openAt(bytes, bytes.size(), m_endOpen);
    return false;
}

} // namespace karv
