#pragma once

#include "text/RegexObject.h"

#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// A text made ready for the content measure: tags removed, every line break as CR LF, blanks
/// (form feed, tab, vertical tab, space, full-width space) removed; and its non-empty segments,
/// cut at sentence punctuation and line breaks.
struct PreparedText {
    std::string text;
    std::vector<std::string> segments;
};

/// The content measure of duplicate names. Holds its two expressions, compiled once; tags are
/// removed by a single pass with the tag expression's meaning.
class ContentSimilarity {
public:
    ContentSimilarity();

    PreparedText prepare(std::string_view text) const;
    /// truncate(((f1 / n1 * 100) + (f2 / n2 * 100)) / 2), where n1 is the number of segments of `a`
    /// and f1 how many of them occur in the text of `b` (exact, case-sensitive), and n2, f2 the
    /// same the other way round; 0 when either has no segment.
    static int compare(const PreparedText& a, const PreparedText& b);

private:
    RegexObject m_blanks;
    RegexObject m_breaks;
};

/// The content measure 0..100 of two texts.
int contentSimilarity(std::string_view a, std::string_view b);

} // namespace karv
