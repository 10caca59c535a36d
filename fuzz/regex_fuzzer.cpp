// Regular-expression compile and search: pattern and subject from the input.
#include "text/Matching.h"
#include "text/RegexObject.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace karv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t flags = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    // The pattern runs up to the first zero byte; the subject is what follows.
    const std::size_t split = rest.find('\0');
    const std::string_view pattern = rest.substr(0, split);
    const std::string_view subject =
        split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

    RegexObject re;
    re.compile(pattern, flags & 1, flags & 2, flags & 4);
    const int count = re.execute(subject);
    const bool countGaveUp = re.limitReached();
    if (count < 0 || count != re.matchCount())
        std::abort();
    for (int i = 0; i <= count + 1 && i < 8; ++i) {
        std::int64_t position = 0;
        const std::string match = re.matchTextAt(i, position);
        if (i >= 1 && i <= count && (position < 0 || static_cast<std::uint64_t>(position) > subject.size()))
            std::abort();
    }
    // Told to stop at its n-th question, a search has no answer; never told, it has the same one.
    const int stopAt = 1 + (flags >> 6);
    int asked = 0;
    RegexObject polled = re;
    const int polledCount = polled.execute(subject, [&] { return ++asked != stopAt; });
    if (asked > stopAt ||
        (polled.stopped() && (polledCount != 0 || polled.matchCount() != 0 || asked != stopAt)))
        std::abort();
    if (!polled.stopped() && !polled.limitReached() && !countGaveUp && polledCount != count)
        std::abort();
    RegexObject copy = re;
    (void)copy.execute(pattern);

    ContentMatcher wildcard(MatchMode::Wildcard, pattern);
    (void)wildcard.matches(subject);
    FindTermsOptions options;
    options.mode = (flags & 16) ? TermMode::All : TermMode::Any;
    options.wholeText = flags & 32;
    (void)findTerms(subject, pattern, options);
    return 0;
}
