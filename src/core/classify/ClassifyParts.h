#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The small pieces of a classification run that need no files: the random order, the progress text,
// the typed numbers and lists, and the keyword test.

namespace karv {

/// Draws the positions of a loop in random order: every value of low..high once before the pool
/// fills again. The generator is seeded afresh at every draw from the tick and a private counter,
/// so two draws within one millisecond still differ.
class RandomPicker {
public:
    std::int64_t draw(std::int64_t low, std::int64_t high, std::int64_t tickMs);
    void reset() { m_pool.clear(); }
    std::size_t poolSize() const { return m_pool.size(); }

private:
    std::vector<std::int64_t> m_pool;
    std::uint64_t m_counter = 0;
};

/// Display width of a text: an ASCII byte 1, any other character 2 (as wide as its GBK form).
std::size_t displayWidth(std::string_view text);

/// A text of `limit` display units or more becomes its head and tail of at most (limit − 3) / 2 + 1
/// units each, whole characters, joined by "..."; a shorter text is returned unchanged.
std::string shortenForDisplay(std::string_view text, std::size_t limit);

/// The batch-size box read leniently: full-width characters count as their ASCII forms, then leading
/// blanks, a sign and the leading digits; no digits give 0.
std::int64_t parseBatchSize(std::string_view text);

/// A list kept as lines joined by CR LF (a lone LF also ends a line): empty lines between others are
/// entries, a final line break adds none, an empty text is an empty list.
std::vector<std::string> splitLines(std::string_view text);

/// Whether a main name holds at least one non-empty "|"-separated term of a keyword line, ASCII
/// letters compared without case. A line without a non-empty term matches nothing.
bool keywordLineMatches(std::string_view mainName, std::string_view keywordLine);

/// `path` as an absolute path, decided from its text alone (links are not resolved): a relative path
/// is taken from `workingFolder`; empty and "." segments are dropped ("//", "/./", a trailing "/.").
/// ".." segments stay, since a link before them decides where they lead. Empty stays empty.
std::string absoluteLexicalPath(std::string_view path, std::string_view workingFolder);

/// The process's working folder; empty when it cannot be told.
std::string workingFolder();

} // namespace karv
