#pragma once

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

    /// How segments not met whole in the other text are searched: the cheaper way for the texts,
    /// always batches of the automaton, or always a rolling hash one segment length at a time.
    enum class Search { Choose, Batches, ByLength };

    /// How many non-empty segments of the prepared text `patterns` occur in the prepared text
    /// `text`. Segments not met whole in `text` are searched one length at a time or in batches of
    /// at most `batchNodes` trie nodes (those longer than half of that one by one).
    static std::optional<std::size_t> segmentsFound(std::string_view patterns, std::string_view text,
                                                    const KeepGoing& keepGoing = {},
                                                    std::size_t batchNodes = kBatchNodes,
                                                    Search search = Search::Choose);

    /// Trie nodes of one batch (about 20 bytes each once built, 34 while being built).
    static constexpr std::size_t kBatchNodes = std::size_t{8} << 20;
};

/// The content measure 0..100 of two texts.
int contentSimilarity(std::string_view a, std::string_view b);

} // namespace karv
