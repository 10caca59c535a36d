#include "text/RegexObject.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <algorithm>
#include <functional>
#include <pcre2.h>

namespace karv {

namespace {

// Limits of one search, counted in engine steps so that a search ends the same way on an idle and
// on a busy machine. Start positions are first tried in windows by the compiled (JIT) expression
// with a small match limit: that settles almost every window of an ordinary search at full speed.
// The JIT's own count skips much of its backtracking (a ".*" giving back characters one by one in
// front of a literal costs it nothing), so it cannot bound an expensive search. A window it cannot
// settle cheaply is searched again by a second compilation that calls back before every item and
// never turns repeats possessive, so every step, backtracking included, is counted. Those steps
// are paid from a budget in proportion to the text (a lazy run across the whole text costs about
// one step per byte), so a runaway search gives up within about a second per 30 MB of text, and
// within seconds for any text up to 250 MB, where the budget stops growing.
constexpr std::uint32_t kCheapLimit = 64;
constexpr std::size_t kStartWindow = 4096;
constexpr std::uint64_t kBudgetBase = 32'000'000;
constexpr std::uint64_t kBudgetStepsPerByte = 4;
constexpr std::uint64_t kBudgetMax = 1'000'000'000;
// How often a stop is asked for: after this many counted steps (about a millisecond), and in the
// fast engine after this many calls or start positions (bytes), whichever comes first: a window
// the JIT settles within its small limit can still take milliseconds on a long line.
constexpr std::uint64_t kPollSteps = std::uint64_t{1} << 16;
constexpr unsigned kPollCalls = 64;
constexpr std::size_t kPollStarts = 4 * kStartWindow;
// Without JIT (no executable memory) the interpreter keeps its backtracking frames on the heap.
constexpr std::uint64_t kHeapBaseKiB = 64 * 1024;
constexpr std::uint64_t kHeapMaxKiB = 1024 * 1024;
// The JIT stack: a small one serves nearly every search; a repeated group over a long run needs
// about 32 bytes per repetition, so a search that overflows it runs again on one sized to the text.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackSmall = 8 * 1024 * 1024;
constexpr std::size_t kJitStackPerByte = 48;
constexpr std::size_t kJitStackMax = std::size_t{1} << 30;

// What one `execute` may collect; beyond it the search counts as exceeding the limits.
constexpr std::size_t kMaxStoredMatches = 1'000'000;
constexpr std::size_t kMaxStoredBytes = std::size_t{256} << 20;

constexpr std::string_view kWildcardEscapes = "\\^$+.{}[]=()-\"";

/// Letters whose escape means something in ECMAScript syntax (with \cX, \xHH, \uHHHH). Every
/// other escaped letter stands for the letter itself there, while PCRE2 gives many of them a
/// meaning of its own (\h, \R, \Q, \K, \A ...) or rejects them.
constexpr std::string_view kEcmaEscapeLetters = "bBcdDfnrsStuvwWx";

/// Rewrites the pattern into PCRE2 terms: \v is the vertical tab alone (in PCRE2 it is every
/// vertical space, so "[\f\t\v ]" would take line breaks), and a letter escape that ECMAScript
/// does not define is the letter.
std::string toEngineSyntax(std::string_view pattern) {
    std::string out;
    out.reserve(pattern.size() + 4);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
            if (next == 'v')
                out += "\\x0b";
            else if (letter && kEcmaEscapeLetters.find(next) == std::string_view::npos)
                out.push_back(next);
            else
                out.append(pattern.substr(i, 2));
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

/// Per-thread match context and small JIT stack, made once: a filter run searches many subjects.
struct MatchResources {
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    MatchResources() {
        context = pcre2_match_context_create(nullptr);
        if (context == nullptr)
            return;
        jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackSmall, nullptr);
        if (jitStack != nullptr)
            pcre2_jit_stack_assign(context, nullptr, jitStack);
    }
    ~MatchResources() {
        if (jitStack != nullptr)
            pcre2_jit_stack_free(jitStack);
        if (context != nullptr)
            pcre2_match_context_free(context);
    }
    MatchResources(const MatchResources&) = delete;
    MatchResources& operator=(const MatchResources&) = delete;
};

/// The thread's match context and JIT stack for one search. A poll may let the front end handle
/// events, and one of them may search again on this thread while the first search waits inside
/// the engine: that nested search gets its own, so it never touches the stack the first one stands
/// on.
class ResourcesLease {
public:
    ResourcesLease() {
        thread_local MatchResources shared;
        thread_local bool sharedInUse = false;
        if (sharedInUse) {
            m_own = std::make_unique<MatchResources>();
            m_resources = m_own.get();
        } else {
            m_resources = &shared;
            m_inUse = &sharedInUse;
            sharedInUse = true;
        }
    }
    ~ResourcesLease() {
        if (m_inUse != nullptr)
            *m_inUse = false;
    }
    ResourcesLease(const ResourcesLease&) = delete;
    ResourcesLease& operator=(const ResourcesLease&) = delete;
    MatchResources& resources() { return *m_resources; }

private:
    MatchResources* m_resources = nullptr;
    std::unique_ptr<MatchResources> m_own;
    bool* m_inUse = nullptr;
};

struct MatchDataHolder {
    pcre2_match_data* data;
    explicit MatchDataHolder(const pcre2_code* code)
        : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
    ~MatchDataHolder() {
        if (data != nullptr)
            pcre2_match_data_free(data);
    }
    MatchDataHolder(const MatchDataHolder&) = delete;
    MatchDataHolder& operator=(const MatchDataHolder&) = delete;
};

/// Byte offset of the character after the one at `pos`.
std::size_t nextCharacter(std::string_view text, std::size_t pos) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

/// How a search ended.
enum class SearchEnd { Done, Limit, Stopped };

/// One search over one subject: the fast and the counted engine calls, the budget and the polls.
class Search {
public:
    Search(const pcre2_code* fast, const pcre2_code* counted, std::string_view subject,
           pcre2_match_data* match, MatchResources& resources, const KeepGoing& keepGoing)
        : m_fast(fast), m_counted(counted), m_subject(subject), m_match(match), m_resources(resources),
          m_keepGoing(keepGoing) {
        m_budget = std::min(kBudgetMax, kBudgetBase + kBudgetStepsPerByte * subject.size());
        pcre2_set_depth_limit(resources.context, 0xFFFFFFFFu); // the heap limit bounds the depth
        pcre2_set_heap_limit(resources.context, static_cast<std::uint32_t>(std::min(
                                                    kHeapMaxKiB, kHeapBaseKiB + subject.size() / 16)));
    }

    /// Tries the start positions from `start` up to `lastStart`: first cheaply, then, when that does
    /// not settle them, counting every step. Returns the engine's result; PCRE2_ERROR_CALLOUT when
    /// the budget ran out or a stop was asked for (see `stopped`).
    int window(std::size_t start, std::size_t lastStart) {
        m_starts += lastStart - start + 1;
        if (m_keepGoing && (++m_calls >= kPollCalls || m_starts >= kPollStarts)) {
            m_calls = 0;
            m_starts = 0;
            if (!m_keepGoing()) {
                m_stopped = true;
                return PCRE2_ERROR_CALLOUT;
            }
        }
        pcre2_set_callout(m_resources.context, nullptr, nullptr);
        pcre2_set_match_limit(m_resources.context, kCheapLimit);
        const int rc = call(m_fast, start, lastStart);
        if (rc != PCRE2_ERROR_MATCHLIMIT || m_counted == nullptr)
            return rc;
        pcre2_set_callout(m_resources.context, &Search::onStep, this);
        pcre2_set_match_limit(m_resources.context, 0xFFFFFFFFu); // the budget counts instead
        return call(m_counted, start, lastStart);
    }

    bool stopped() const { return m_stopped; }

private:
    /// Called by the counted compilation before every item it tries.
    static int onStep(pcre2_callout_block* /*block*/, void* data) {
        Search& search = *static_cast<Search*>(data);
        if (search.m_budget == 0)
            return PCRE2_ERROR_CALLOUT;
        --search.m_budget;
        if (++search.m_steps % kPollSteps == 0 && search.m_keepGoing && !search.m_keepGoing()) {
            search.m_stopped = true;
            return PCRE2_ERROR_CALLOUT;
        }
        return 0;
    }

    int call(const pcre2_code* code, std::size_t start, std::size_t lastStart) {
        pcre2_set_offset_limit(m_resources.context, lastStart);
        int rc = pcre2_match(code, bytes(), m_subject.size(), start, 0, m_match, m_resources.context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            // Again on a stack sized to the text, released afterwards: its pages stay resident.
            const std::size_t size =
                std::min(kJitStackMax, kJitStackSmall + kJitStackPerByte * m_subject.size());
            pcre2_jit_stack* large = pcre2_jit_stack_create(kJitStackStart, size, nullptr);
            if (large == nullptr)
                return rc;
            pcre2_jit_stack_assign(m_resources.context, nullptr, large);
            rc = pcre2_match(code, bytes(), m_subject.size(), start, 0, m_match, m_resources.context);
            pcre2_jit_stack_assign(m_resources.context, nullptr, m_resources.jitStack);
            pcre2_jit_stack_free(large);
        }
        return rc;
    }

    PCRE2_SPTR bytes() const { return reinterpret_cast<PCRE2_SPTR>(m_subject.data()); }

    const pcre2_code* m_fast;
    const pcre2_code* m_counted;
    std::string_view m_subject;
    pcre2_match_data* m_match;
    MatchResources& m_resources;
    const KeepGoing& m_keepGoing;
    std::uint64_t m_budget = 0;
    std::uint64_t m_steps = 0;
    unsigned m_calls = 0;     // fast calls since the last poll
    std::size_t m_starts = 0; // start positions offered to them since the last poll
    bool m_stopped = false;
};

/// Calls `onMatch(ovector, pairCount)` for the first match, or for every match when `global`.
/// After an empty match the search goes on one character further, as in ECMAScript. Returns
/// `Limit` when the engine gave up (the budget spent, out of memory), `Stopped` when `keepGoing`
/// said stop; `onMatch` returning false stops early.
SearchEnd forEachMatch(const pcre2_code* fast, const pcre2_code* counted, std::string_view subject,
                       bool global, const KeepGoing& keepGoing,
                       const std::function<bool(const PCRE2_SIZE*, int)>& onMatch) {
    MatchDataHolder match(fast);
    ResourcesLease lease;
    MatchResources& resources = lease.resources();
    if (match.data == nullptr || resources.context == nullptr)
        return SearchEnd::Limit;
    Search search(fast, counted, subject, match.data, resources, keepGoing);
    std::size_t start = 0;
    while (start <= subject.size()) {
        // Start positions before `windowEnd` (a character boundary) are tried in this call.
        std::size_t windowEnd = std::min(start + kStartWindow, subject.size() + 1);
        while (windowEnd < subject.size() && (static_cast<unsigned char>(subject[windowEnd]) & 0xC0) == 0x80)
            ++windowEnd;
        const int rc = search.window(start, windowEnd - 1);
        if (search.stopped())
            return SearchEnd::Stopped;
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (windowEnd > subject.size())
                return SearchEnd::Done;
            start = windowEnd;
            continue;
        }
        if (rc < 0)
            return SearchEnd::Limit;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.data);
        // \K in a lookahead can report a match that ends before it starts.
        if (ovector[1] < ovector[0])
            return SearchEnd::Limit;
        if (!onMatch(ovector, rc == 0 ? static_cast<int>(pcre2_get_ovector_count(match.data)) : rc))
            return SearchEnd::Done;
        if (!global)
            return SearchEnd::Done;
        if (ovector[1] > ovector[0]) {
            start = ovector[1];
        } else {
            if (ovector[1] >= subject.size())
                return SearchEnd::Done;
            start = nextCharacter(subject, ovector[1]);
        }
    }
    return SearchEnd::Done;
}

} // namespace

struct RegexObject::Compiled {
    std::string pattern;
    pcre2_code* code = nullptr;
    pcre2_code* counted = nullptr; ///< the same expression, every step counted (see `Search`)
    std::uint32_t groups = 0;
    ~Compiled() {
        if (code != nullptr)
            pcre2_code_free(code);
        if (counted != nullptr)
            pcre2_code_free(counted);
    }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;

std::string RegexObject::wildcardToPattern(std::string_view wildcardText) {
    std::string out;
    out.reserve(wildcardText.size() + 8);
    for (const char c : wildcardText) {
        if (c == '*')
            out += ".*";
        else if (c == '?')
            out += ".?";
        else if (kWildcardEscapes.find(c) != std::string_view::npos)
            out.append({'\\', c});
        else
            out.push_back(c);
    }
    return out;
}

bool RegexObject::compile(std::string_view pattern, bool ignoreCase, bool multiline, bool global) {
    clear();
    auto compiled = std::make_shared<Compiled>();
    compiled->pattern = std::string(pattern);
    m_global = global;

    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context == nullptr)
        return false;
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_compile_extra_options(context, PCRE2_EXTRA_ALT_BSUX | PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
    // UTF mode that tolerates subjects which are not valid UTF-8 (raw file names): invalid bytes
    // never match, everything else does. ECMAScript escapes (\uHHHH, \xHH) and empty classes.
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                            PCRE2_NEVER_BACKSLASH_C | PCRE2_USE_OFFSET_LIMIT;
    if (ignoreCase)
        options |= PCRE2_CASELESS;
    options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    const std::string enginePattern = toEngineSyntax(pattern);
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(enginePattern.data()), enginePattern.size(),
                                   options, &errorCode, &errorOffset, context);
    if (compiled->code != nullptr) {
        // Without JIT (not available, or out of executable memory) the interpreter serves.
        pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
        pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &compiled->groups);
        compiled->counted = pcre2_compile(
            reinterpret_cast<PCRE2_SPTR>(enginePattern.data()), enginePattern.size(),
            options | PCRE2_AUTO_CALLOUT | PCRE2_NO_AUTO_POSSESS, &errorCode, &errorOffset, context);
        if (compiled->counted != nullptr)
            pcre2_jit_compile(compiled->counted, PCRE2_JIT_COMPLETE);
    }
    pcre2_compile_context_free(context);
    m_compiled = std::move(compiled);
    return true;
}

int RegexObject::execute(std::string_view text, const KeepGoing& keepGoing) {
    m_matches.clear();
    m_limitReached = false;
    m_stopped = false;
    if (!isValid())
        return 0;
    std::vector<Match> found;
    std::size_t storedBytes = 0;
    std::size_t counted = 0;      // characters before `countedBytes`
    std::size_t countedBytes = 0; // how far the subject has been counted
    bool overflow = false;
    const std::uint32_t groups = m_compiled->groups;
    const SearchEnd end =
        forEachMatch(m_compiled->code, m_compiled->counted, text, m_global, keepGoing,
                     [&](const PCRE2_SIZE* ov, int pairs) {
                         if (found.size() >= kMaxStoredMatches) {
                             overflow = true;
                             return false;
                         }
                         for (; countedBytes < ov[0]; ++countedBytes) {
                             if ((static_cast<unsigned char>(text[countedBytes]) & 0xC0) != 0x80)
                                 ++counted;
                         }
                         Match match;
                         match.text = std::string(text.substr(ov[0], ov[1] - ov[0]));
                         match.position = static_cast<std::int64_t>(counted);
                         storedBytes += match.text.size();
                         // The groups' text counts toward the cap as well.
                         for (std::uint32_t g = 1; g <= groups && static_cast<int>(g) < pairs; ++g) {
                             const PCRE2_SIZE from = ov[2 * g];
                             const PCRE2_SIZE to = ov[2 * g + 1];
                             if (from != PCRE2_UNSET && to >= from)
                                 storedBytes += to - from;
                         }
                         if (storedBytes > kMaxStoredBytes) {
                             overflow = true;
                             return false;
                         }
                         found.push_back(std::move(match));
                         return true;
                     });
    m_stopped = end == SearchEnd::Stopped;
    m_limitReached = end == SearchEnd::Limit || overflow;
    if (m_limitReached || m_stopped)
        return 0;
    m_matches = std::move(found);
    return static_cast<int>(m_matches.size());
}

std::string RegexObject::pattern() const {
    return m_compiled ? m_compiled->pattern : std::string();
}

bool RegexObject::isValid() const {
    return m_compiled && m_compiled->code != nullptr;
}

int RegexObject::matchCount() const {
    return static_cast<int>(m_matches.size());
}

std::string RegexObject::matchTextAt(int i, std::int64_t& position) const {
    position = -1;
    if (i < 1 || i > matchCount())
        return {};
    const Match& match = m_matches[static_cast<std::size_t>(i - 1)];
    position = match.position;
    return match.text;
}

void RegexObject::clear() {
    m_compiled.reset();
    m_matches.clear();
}

} // namespace karv
