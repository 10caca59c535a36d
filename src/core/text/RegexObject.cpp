#include "text/RegexObject.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <algorithm>
#include <chrono>
#include <functional>
#include <pcre2.h>

namespace karv {

namespace {

// Limits of one search. A pattern that backtracks catastrophically hits them and counts as no
// match instead of hanging the run or exhausting the stack or memory. The JIT applies the match
// limit to each start position anew, so a pattern that is merely slow at every position (nested
// quantifiers over many short lines) is bounded by the time budget of one whole search instead;
// the search runs in windows of start positions and the budget is checked between them.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::size_t kStartWindow = 4096;
// The budget grows with the subject, so that a global replacement over a large text (the blank
// remover on hundreds of megabytes) is not mistaken for a runaway search.
constexpr auto kSearchBudget = std::chrono::seconds(3);
constexpr std::size_t kBytesPerExtraSecond = std::size_t{8} << 20;
constexpr std::uint32_t kDepthLimit = 10'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 4 * 1024 * 1024;

// What one `execute` may collect; beyond it the search counts as exceeding the limits.
constexpr std::size_t kMaxStoredMatches = 1'000'000;
constexpr std::size_t kMaxStoredBytes = std::size_t{256} << 20;
// What one `replace` may produce ("$'" in a global replacement grows with the square of the text).
constexpr std::size_t kMaxReplaceBytes = std::size_t{512} << 20;

constexpr std::string_view kWildcardEscapes = "\\^$+.{}[]=()-\"";
constexpr std::string_view kEscapeSetA = "\\^$+.{}[]=()?*|\"";
constexpr std::string_view kEscapeSetB = "\\^$+.{}[]=()?*\"";
constexpr std::string_view kEscapeSetC = "\\^$+.{}[]=?*\"";

std::string escapeWith(std::string_view text, std::string_view set) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (set.find(c) != std::string_view::npos)
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

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

/// Per-thread match context and JIT stack, made once: a filter run searches many subjects.
struct MatchResources {
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    MatchResources() {
        context = pcre2_match_context_create(nullptr);
        if (context == nullptr)
            return;
        pcre2_set_match_limit(context, kMatchLimit);
        pcre2_set_depth_limit(context, kDepthLimit);
        pcre2_set_heap_limit(context, kHeapLimitKiB);
        jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
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

MatchResources& matchResources() {
    thread_local MatchResources resources;
    return resources;
}

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

/// Calls `onMatch(ovector, pairCount)` for the first match, or for every match when `global`.
/// After an empty match the search goes on one character further, as in ECMAScript. Returns false
/// when the engine fails (a limit exceeded, out of memory); `onMatch` returning false stops early.
bool forEachMatch(const pcre2_code* code, std::string_view subject, bool global,
                  const std::function<bool(const PCRE2_SIZE*, int)>& onMatch) {
    MatchDataHolder match(code);
    MatchResources& resources = matchResources();
    if (match.data == nullptr || resources.context == nullptr)
        return false;
    const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
    const auto deadline = std::chrono::steady_clock::now() + kSearchBudget +
                          std::chrono::seconds(subject.size() / kBytesPerExtraSecond);
    std::size_t start = 0;
    while (start <= subject.size()) {
        // Start positions before `windowEnd` (a character boundary) are tried in this call.
        std::size_t windowEnd = std::min(start + kStartWindow, subject.size() + 1);
        while (windowEnd < subject.size() && (static_cast<unsigned char>(subject[windowEnd]) & 0xC0) == 0x80)
            ++windowEnd;
        pcre2_set_offset_limit(resources.context, windowEnd - 1);
        const int rc = pcre2_match(code, bytes, subject.size(), start, 0, match.data, resources.context);
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (windowEnd > subject.size())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            start = windowEnd;
            continue;
        }
        if (rc < 0)
            return false;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.data);
        // \K in a lookahead can report a match that ends before it starts; take it as empty.
        if (ovector[1] < ovector[0])
            return false;
        if (!onMatch(ovector, rc == 0 ? static_cast<int>(pcre2_get_ovector_count(match.data)) : rc))
            return true;
        if (!global)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (ovector[1] > ovector[0]) {
            start = ovector[1];
        } else {
            if (ovector[1] >= subject.size())
                return true;
            start = nextCharacter(subject, ovector[1]);
        }
    }
    return true;
}

} // namespace

struct RegexObject::Compiled {
    std::string pattern;
    pcre2_code* code = nullptr;
    std::uint32_t groups = 0;
    ~Compiled() {
        if (code != nullptr)
            pcre2_code_free(code);
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

std::string RegexObject::escapeAll(std::string_view text) {
    return escapeWith(text, kEscapeSetA);
}
std::string RegexObject::escapeKeepBar(std::string_view text) {
    return escapeWith(text, kEscapeSetB);
}
std::string RegexObject::escapeKeepGroups(std::string_view text) {
    return escapeWith(text, kEscapeSetC);
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
    pcre2_compile_context_free(context);
    if (compiled->code != nullptr) {
        // Without JIT (not available, or out of executable memory) the interpreter serves.
        pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
        pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &compiled->groups);
    }
    m_compiled = std::move(compiled);
    return true;
}

int RegexObject::execute(std::string_view text) {
    m_matches.clear();
    if (!isValid())
        return 0;
    std::vector<Match> found;
    std::size_t storedBytes = 0;
    std::size_t counted = 0;      // characters before `countedBytes`
    std::size_t countedBytes = 0; // how far the subject has been counted
    bool overflow = false;
    const std::uint32_t groups = m_compiled->groups;
    const bool ok = forEachMatch(m_compiled->code, text, m_global, [&](const PCRE2_SIZE* ov, int pairs) {
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
        match.groups.resize(groups);
        storedBytes += match.text.size();
        for (std::uint32_t g = 1; g <= groups && static_cast<int>(g) < pairs; ++g) {
            const PCRE2_SIZE from = ov[2 * g];
            const PCRE2_SIZE to = ov[2 * g + 1];
            if (from != PCRE2_UNSET && to >= from) {
                match.groups[g - 1] = std::string(text.substr(from, to - from));
                storedBytes += to - from;
            }
        }
        if (storedBytes > kMaxStoredBytes) {
            overflow = true;
            return false;
        }
        found.push_back(std::move(match));
        return true;
    });
    if (!ok || overflow)
        return 0;
    m_matches = std::move(found);
    return static_cast<int>(m_matches.size());
}

std::string RegexObject::replace(std::string_view text, std::string_view replacement) const {
    if (!m_compiled)
        return {};
    if (m_compiled->code == nullptr)
        return std::string(text);
    const std::uint32_t groups = m_compiled->groups;
    const bool plain = replacement.find('$') == std::string_view::npos;
    std::string out;
    std::size_t copied = 0; // subject bytes already handled
    bool overflow = false;
    const bool ok = forEachMatch(m_compiled->code, text, m_global, [&](const PCRE2_SIZE* ov, int pairs) {
        out.append(text.substr(copied, ov[0] - copied));
        copied = ov[1];
        if (plain) {
            out.append(replacement);
            return out.size() <= kMaxReplaceBytes || (overflow = true, false);
        }
        auto group = [&](std::uint32_t g) -> std::string_view {
            if (static_cast<int>(g) >= pairs || ov[2 * g] == PCRE2_UNSET)
                return {};
            return text.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
        };
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            const char c = replacement[i];
            if (c != '$' || i + 1 >= replacement.size()) {
                out.push_back(c);
                continue;
            }
            const char next = replacement[i + 1];
            if (next == '$') {
                out.push_back('$');
                ++i;
            } else if (next == '&') {
                out.append(text.substr(ov[0], ov[1] - ov[0]));
                ++i;
            } else if (next == '`') {
                out.append(text.substr(0, ov[0]));
                ++i;
            } else if (next == '\'') {
                out.append(text.substr(ov[1]));
                ++i;
            } else if (next >= '0' && next <= '9') {
                // $nn when that group exists, else $n, else the text as it is.
                const std::uint32_t one = static_cast<std::uint32_t>(next - '0');
                std::uint32_t two = 0;
                const bool hasTwo =
                    i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9';
                if (hasTwo)
                    two = one * 10 + static_cast<std::uint32_t>(replacement[i + 2] - '0');
                if (hasTwo && two >= 1 && two <= groups) {
                    out.append(group(two));
                    i += 2;
                } else if (one >= 1 && one <= groups) {
                    out.append(group(one));
                    i += 1;
                } else {
                    out.push_back('$');
                }
            } else {
                out.push_back('$');
            }
        }
        if (out.size() > kMaxReplaceBytes) {
            overflow = true;
            return false;
        }
        return true;
    });
    if (!ok || overflow)
        return std::string(text);
    out.append(text.substr(copied));
    return out;
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

std::string RegexObject::matchText(int i) const {
    std::int64_t position = 0;
    return matchTextAt(i, position);
}

std::string RegexObject::subMatchText(int i, int j) const {
    std::int64_t position = 0;
    return subMatchTextAt(i, j, position);
}

int RegexObject::subMatchCount() const {
    return m_matches.empty() ? 0 : static_cast<int>(m_matches.front().groups.size());
}

std::string RegexObject::matchTextAt(int i, std::int64_t& position) const {
    position = -1;
    if (i < 1 || i > matchCount())
        return {};
    const Match& match = m_matches[static_cast<std::size_t>(i - 1)];
    position = match.position;
    return match.text;
}

std::string RegexObject::subMatchTextAt(int i, int j, std::int64_t& position) const {
    position = -1;
    if (i < 1 || i > matchCount())
        return {};
    const Match& match = m_matches[static_cast<std::size_t>(i - 1)];
    position = match.position;
    if (j < 1 || static_cast<std::size_t>(j) > match.groups.size())
        return {};
    return match.groups[static_cast<std::size_t>(j - 1)];
}

void RegexObject::clear() {
    m_compiled.reset();
    m_matches.clear();
}

} // namespace karv
