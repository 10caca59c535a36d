#pragma once

#include "text/RegexObject.h"
#include "text/TextSearch.h"
#include "values/Options.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// Options of `findTerms`; the defaults are those of the definition (all-mode, "|", ignore case).
struct FindTermsOptions {
    TermMode mode = TermMode::All;
    /// Separator of the terms text; an empty one means "|".
    std::string_view separator = "|";
    /// When given, these are the terms and the terms text is not split.
    const std::vector<std::string>* terms = nullptr;
    /// Fold ASCII A-Z/a-z only; every other character compares exactly.
    bool ignoreCase = true;
    /// The subject must equal a term instead of containing it.
    bool wholeText = false;
};

/// Result of `findTerms`.
struct TermHit {
    bool hit = false;
    /// The term that decided (any-mode: the first found). Empty when there is no hit.
    std::string term;
    /// 1-based byte offset of that term in the subject (1 in whole-text mode); -1 when not found.
    std::int64_t position = -1;
};

/// Looks for the non-empty terms in `subject`, in order; empty terms are skipped. Any-mode: hit at
/// the first term found. All-mode: hit when every non-empty term is found and there is at least
/// one. On UTF-8 text a term never matches across a character boundary.
TermHit findTerms(std::string_view subject, std::string_view termsText, const FindTermsOptions& options = {});

/// The filter text of "默认" as its list of terms (`contentTerms`): every line break (CR LF, LF or
/// CR) counts as "|", then the text is split at "|"; empty terms are kept.
std::vector<std::string> splitContentTerms(std::string_view filterText);

/// True when any non-empty term occurs in `subject`, ignoring ASCII case.
bool plainTermMatch(std::string_view subject, const std::vector<std::string>& contentTerms);

/// Same as `RegexObject::wildcardToPattern`.
std::string wildcardToPattern(std::string_view wildcardText);

/// One prepared filter text in one of the three modes, to test many subjects (names or texts).
/// Prepare it once per run or folder; all modes ignore case. In the wildcard and regex modes an
/// empty filter text matches everything and an invalid expression matches nothing.
class ContentMatcher {
public:
    ContentMatcher() = default;
    ContentMatcher(MatchMode mode, std::string_view filterText);

    MatchMode mode() const { return m_mode; }
    /// Whether the subject is a hit. An expression search asks `keepGoing` now and then whether to
    /// go on.
    bool matches(std::string_view subject, const KeepGoing& keepGoing = {});
    /// Whether the last `matches` gave up at the expression's limit (and so answered no).
    bool limitReached() const { return m_mode != MatchMode::Plain && m_regex.limitReached(); }
    /// Whether the last `matches` was told to stop: its "no" is no answer.
    bool stopped() const { return m_mode != MatchMode::Plain && m_regex.stopped(); }

private:
    MatchMode m_mode = MatchMode::Plain;
    std::vector<std::string> m_terms;
    RegexObject m_regex;
};

} // namespace karv
