#pragma once

#include "text/MultiPattern.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace karv {

/// A text made ready for the content measure: tags removed, every line break as CR LF, blanks
/// (form feed, tab, vertical tab, space, full-width space) removed. Its segments are the pieces
/// between the cuts (。，！?!,;； and CR LF, and the marker ㄓ that stood for them); only the
/// non-empty ones count.
struct PreparedText {
    std::string text;
    std::size_t segments = 0; ///< number of non-empty segments
};

/// Runs after every few milliseconds of a long comparison (the caller pumps its window there);
/// false ends the comparison at once.
using KeepGoing = std::function<bool()>;

/// The content measure of duplicate names.
class ContentSimilarity {
public:
    /// Single passes over the text, so the result never depends on its size or the machine.
    /// `pump`, when given, runs after every megabyte or so, so the window answers meanwhile.
    static PreparedText prepare(std::string text, const std::function<void()>& pump = {});

    /// truncate(((f1 / n1 * 100) + (f2 / n2 * 100)) / 2), where n1 is the number of segments of `a`
    /// and f1 how many of them occur in the text of `b` (exact, case-sensitive), and n2, f2 the
    /// same the other way round; 0 when either has no segment. No value when `keepGoing` said
    /// stop. Time and memory grow about linearly with the texts.
    static std::optional<int> compare(const PreparedText& a, const PreparedText& b,
                                      const KeepGoing& keepGoing = {});

    /// Trie nodes of one batch (about 20 bytes each once built, 34 while being built).
    static constexpr std::size_t kBatchNodes = kPatternBatchNodes;
};

/// The content measure 0..100 of two texts.
int contentSimilarity(std::string_view a, std::string_view b);

} // namespace karv
