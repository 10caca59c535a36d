#include "duplicates/ContentSimilarity.h"

#include "text/Removers.h"

#include <cstring>

namespace karv {

namespace {

// The marker that the break expression leaves where a segment ends.
constexpr std::string_view kSegmentMarker = "ㄓ";

std::string crLfBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

int shareFound(const std::vector<std::string>& segments, std::string_view other, std::size_t& total) {
    total = segments.size();
    int found = 0;
    for (const std::string& segment : segments)
        found += contains(other, segment) ? 1 : 0;
    return found;
}

} // namespace

ContentSimilarity::ContentSimilarity() {
    m_blanks.compile("[\\f\\t\\v 　]", true, true, true);
    m_breaks.compile("[。，！\\?!,;；]|\\r\\n", true, true, true);
}

PreparedText ContentSimilarity::prepare(std::string_view text) const {
    PreparedText prepared;
    prepared.text = m_blanks.replace(crLfBreaks(removeTags(text)), "");
    const std::string marked = m_breaks.replace(prepared.text, kSegmentMarker);
    std::size_t start = 0;
    while (start <= marked.size()) {
        std::size_t end = marked.find(kSegmentMarker, start);
        if (end == std::string::npos)
            end = marked.size();
        if (end > start)
            prepared.segments.emplace_back(marked, start, end - start);
        start = end + kSegmentMarker.size();
    }
    return prepared;
}

int ContentSimilarity::compare(const PreparedText& a, const PreparedText& b) {
    std::size_t n1 = 0, n2 = 0;
    const int f1 = shareFound(a.segments, b.text, n1);
    const int f2 = shareFound(b.segments, a.text, n2);
    if (n1 == 0 || n2 == 0)
        return 0;
    const double value = (f1 / static_cast<double>(n1) * 100 + f2 / static_cast<double>(n2) * 100) / 2;
    return static_cast<int>(value);
}

int contentSimilarity(std::string_view a, std::string_view b) {
    static const ContentSimilarity measure;
    return ContentSimilarity::compare(measure.prepare(a), measure.prepare(b));
}

} // namespace karv
