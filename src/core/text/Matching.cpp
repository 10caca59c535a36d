#include "text/Matching.h"

namespace karv {

namespace {

std::vector<std::string> splitAt(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (true) {
        const std::size_t next = text.find(separator, pos);
        if (next == std::string_view::npos) {
            parts.emplace_back(text.substr(pos));
            return parts;
        }
        parts.emplace_back(text.substr(pos, next - pos));
        pos = next + separator.size();
    }
}

/// Offset of `term` in `subject`, or npos; whole-text mode compares for equality.
std::size_t locateTerm(std::string_view subject, std::string_view term, bool ignoreCase, bool wholeText) {
    if (wholeText) {
        const bool same = ignoreCase ? equalsIgnoreAsciiCase(subject, term) : subject == term;
        return same ? 0 : std::string_view::npos;
    }
    // A hit must start and end on character boundaries: a term that is not itself well-formed
    // UTF-8 must not match the inner bytes of the subject's characters.
    auto isContinuation = [&](std::size_t pos) {
        return pos < subject.size() && (static_cast<unsigned char>(subject[pos]) & 0xC0) == 0x80;
    };
    std::size_t from = 0;
    while (true) {
        const std::size_t at =
            ignoreCase ? findIgnoreAsciiCase(subject, term, from) : findExact(subject, term, from);
        if (at == std::string_view::npos || (!isContinuation(at) && !isContinuation(at + term.size())))
            return at;
        from = at + 1;
    }
}

} // namespace

TermHit findTerms(std::string_view subject, std::string_view termsText, const FindTermsOptions& options) {
    std::vector<std::string> split;
    const std::vector<std::string>* terms = options.terms;
    if (terms == nullptr) {
        split = splitAt(termsText, options.separator.empty() ? std::string_view("|") : options.separator);
        terms = &split;
    }
    TermHit result;
    std::size_t nonEmpty = 0;
    for (const std::string& term : *terms) {
        if (term.empty())
            continue;
        ++nonEmpty;
        const std::size_t at = locateTerm(subject, term, options.ignoreCase, options.wholeText);
        const bool found = at != std::string_view::npos;
        if (options.mode == TermMode::Any && found)
            return {true, term, static_cast<std::int64_t>(at) + 1};
        if (options.mode == TermMode::All) {
            if (!found)
                return {};
            // The last term found stands for the hit.
            result.term = term;
            result.position = static_cast<std::int64_t>(at) + 1;
        }
    }
    if (options.mode == TermMode::All && nonEmpty > 0) {
        result.hit = true;
        return result;
    }
    return {};
}

std::vector<std::string> splitContentTerms(std::string_view filterText) {
    std::string joined;
    joined.reserve(filterText.size());
    for (std::size_t i = 0; i < filterText.size(); ++i) {
        const char c = filterText[i];
        if (c == '\r') {
            if (i + 1 < filterText.size() && filterText[i + 1] == '\n')
                ++i;
            joined.push_back('|');
        } else if (c == '\n') {
            joined.push_back('|');
        } else {
            joined.push_back(c);
        }
    }
    return splitAt(joined, "|");
}

bool plainTermMatch(std::string_view subject, const std::vector<std::string>& contentTerms) {
    FindTermsOptions options;
    options.mode = TermMode::Any;
    options.terms = &contentTerms;
    return findTerms(subject, {}, options).hit;
}

std::string wildcardToPattern(std::string_view wildcardText) {
    return RegexObject::wildcardToPattern(wildcardText);
}

ContentMatcher::ContentMatcher(MatchMode mode, std::string_view filterText) : m_mode(mode) {
    switch (mode) {
    case MatchMode::Plain:
        m_terms = splitContentTerms(filterText);
        break;
    case MatchMode::Wildcard:
        m_regex.compile(RegexObject::wildcardToPattern(filterText), true, true, false);
        break;
    case MatchMode::Regex:
        m_regex.compile(filterText, true, true, false);
        break;
    }
}

bool ContentMatcher::matches(std::string_view subject, const KeepGoing& keepGoing) {
    if (m_mode == MatchMode::Plain)
        return plainTermMatch(subject, m_terms);
    return m_regex.execute(subject, keepGoing) != 0;
}

} // namespace karv
