#pragma once

#include "run/RunContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// The program's regular-expression facility: a compiled expression (PCRE2, UTF mode, JIT where
/// available) and the matches of its last `execute`. Syntax is ECMAScript-like: \s \S \f \t \v \r
/// \n, classes, * + ? and lazy forms, |, ^ and $ (at every line with `multiline`), \uHHHH.
///
/// Never throws. An invalid pattern, an empty object, or a search that exceeds the engine's limits
/// counts as no match: `execute` returns 0. The limits are counted in engine steps and grow with the subject
/// (up to a cap), so a linear expression completes over any text and the outcome never depends on the
/// machine's load; only an expression that backtracks without bound reaches them, within seconds,
/// and `limitReached` then tells the caller that "no match" means "gave up". A search given a
/// `KeepGoing` asks it at fixed points of its work (about every millisecond of it) whether to go
/// on, and ends at once when told not to (`stopped`); the question may let the front end handle
/// its events.
///
/// Copies share the compiled expression and duplicate the matches. Not for concurrent use of one
/// object from several threads; copies may be used in different threads.
class RegexObject {
public:
    RegexObject();
    ~RegexObject();
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&&) noexcept;
    RegexObject& operator=(RegexObject&&) noexcept;

    /// Wildcards to an unanchored expression: escapes \ ^ $ + . { } [ ] = ( ) - " and turns
    /// "*" into ".*" and "?" into ".?" (zero or one character); "|" stays an alternation.
    static std::string wildcardToPattern(std::string_view wildcardText);

    /// Compiles `pattern` (UTF-8). `global` decides whether `execute` collects all matches
    /// (else the first only). Returns whether the object was set up;
    /// an invalid pattern still returns true (creation succeeded) and then never matches.
    bool compile(std::string_view pattern, bool ignoreCase = true, bool multiline = true, bool global = true);

    /// Searches `text`; replaces the stored matches and returns their number (0 or 1 when not
    /// global).
    int execute(std::string_view text, const KeepGoing& keepGoing = {});

    /// The current pattern, "" when nothing is compiled.
    std::string pattern() const;
    /// Whether the pattern compiled (an invalid pattern never matches).
    bool isValid() const;
    /// Whether the last `execute` gave up at a limit rather than finding its answer.
    bool limitReached() const { return m_limitReached; }
    /// Whether the last `execute` was ended by its poll (no answer: 0 matches).
    bool stopped() const { return m_stopped; }

    /// Number of matches of the last `execute`.
    int matchCount() const;
    /// The i-th match (1-based) and, in `position`, its 0-based offset in characters (code points) of the
    /// subject; position -1 outside the collection.
    std::string matchTextAt(int i, std::int64_t& position) const;

    /// Releases the expression and the matches.
    void clear();

private:
    struct Compiled;
    struct Match {
        std::string text;
        std::int64_t position = 0;
    };

    std::shared_ptr<const Compiled> m_compiled;
    std::vector<Match> m_matches;
    bool m_global = true;
    bool m_limitReached = false;
    bool m_stopped = false;
};

} // namespace karv
