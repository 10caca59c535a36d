#pragma once

#include "run/RunContext.h"
#include "text/Segments.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace karv {

/// How segments not met whole in the other text are searched: the cheaper way for the texts,
/// always batches of the automaton, or always a rolling hash one segment length at a time.
enum class SegmentSearch { Choose, Batches, ByLength };

/// Trie nodes of one batch of the automaton (about 20 bytes each once built, 34 while being built).
inline constexpr std::size_t kPatternBatchNodes = std::size_t{8} << 20;

/// How many non-empty segments of `patterns` occur in `text` (exact, case-sensitive); no value when
/// `poll` was told to stop. Segments found whole are settled by an index of `text`'s segments; the
/// rest are searched one length at a time or in batches of at most `batchNodes` trie nodes, so
/// memory stays bounded whatever the texts, and those longer than half a batch one by one.
std::optional<std::size_t> countSegmentsFound(std::string_view patterns, std::string_view text,
                                              WorkPoll& poll, std::size_t batchNodes = kPatternBatchNodes,
                                              SegmentSearch search = SegmentSearch::Choose);

/// The same with a poll of its own over `keepGoing`.
std::optional<std::size_t> segmentsFound(std::string_view patterns, std::string_view text,
                                         const KeepGoing& keepGoing = {},
                                         std::size_t batchNodes = kPatternBatchNodes,
                                         SegmentSearch search = SegmentSearch::Choose);

} // namespace karv
