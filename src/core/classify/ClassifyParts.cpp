#include "classify/ClassifyParts.h"

#include "text/Matching.h"
#include "values/Numbers.h"
#include "values/ValueText.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <unistd.h>

namespace karv {

std::int64_t RandomPicker::draw(std::int64_t low, std::int64_t high, std::int64_t tickMs) {
    const auto tick = static_cast<std::uint64_t>(tickMs);
    m_counter += 100 + ((tick + m_counter) & 0xFF);
    std::mt19937_64 generator(tick + m_counter);
    if (m_pool.empty()) {
        if (high < low)
            return low;
        m_pool.reserve(static_cast<std::size_t>(high - low + 1));
        for (std::int64_t value = low; value <= high; ++value)
            m_pool.push_back(value);
    }
    std::uniform_int_distribution<std::size_t> position(0, m_pool.size() - 1);
    const std::size_t chosen = position(generator);
    const std::int64_t value = m_pool[chosen];
    // Order inside the pool does not matter: every remaining value is equally likely next.
    m_pool[chosen] = m_pool.back();
    m_pool.pop_back();
    return value;
}

namespace {

std::size_t elementWidth(std::string_view element) {
    return static_cast<unsigned char>(element[0]) < 0x80 ? element.size() : 2;
}

/// Start offsets of the character elements of a text, plus its end.
std::vector<std::size_t> elementStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        starts.push_back(pos);
        const std::size_t length = characterElementLength(text, pos);
        pos += length == 0 ? text.size() - pos : length;
    }
    starts.push_back(text.size());
    return starts;
}

} // namespace

std::size_t displayWidth(std::string_view text) {
    const auto starts = elementStarts(text);
    std::size_t width = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i)
        width += elementWidth(text.substr(starts[i], starts[i + 1] - starts[i]));
    return width;
}

std::string shortenForDisplay(std::string_view text, std::size_t limit) {
    const auto starts = elementStarts(text);
    const std::size_t count = starts.size() - 1;
    std::vector<std::size_t> widths(count);
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        widths[i] = elementWidth(text.substr(starts[i], starts[i + 1] - starts[i]));
        total += widths[i];
    }
    if (total < limit)
        return std::string(text);
    const std::size_t keep = limit >= 3 ? (limit - 3) / 2 + 1 : 1;
    // As many whole characters from each end as fit into `keep` units.
    std::size_t head = 0, headWidth = 0;
    while (head < count && head < keep && headWidth + widths[head] <= keep)
        headWidth += widths[head++];
    std::size_t tail = 0, tailWidth = 0;
    while (tail < count && tail < keep && tailWidth + widths[count - 1 - tail] <= keep)
        tailWidth += widths[count - 1 - tail++];
    std::string out(text.substr(0, starts[head]));
    out += "...";
    out += text.substr(starts[count - tail]);
    return out;
}

std::int64_t parseBatchSize(std::string_view text) {
    // The box's value is held as a double: counts beyond 2^53 are not distinct anyway.
    constexpr std::int64_t kCap = std::int64_t{1} << 53;
    return std::clamp(leadingInteger(text), -kCap, kCap);
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

bool keywordLineMatches(std::string_view mainName, std::string_view keywordLine) {
    FindTermsOptions options;
    options.mode = TermMode::Any;
    return findTerms(mainName, keywordLine, options).hit;
}

std::string absoluteLexicalPath(std::string_view path, std::string_view workingFolder) {
    if (path.empty())
        return {};
    std::string whole;
    if (path.front() != '/') {
        whole.assign(workingFolder);
        whole.push_back('/');
    }
    whole.append(path);
    std::string out;
    out.reserve(whole.size());
    std::size_t from = 0;
    while (from <= whole.size()) {
        auto slash = whole.find('/', from);
        if (slash == std::string::npos)
            slash = whole.size();
        const std::string_view segment(whole.data() + from, slash - from);
        if (!segment.empty() && segment != ".") {
            out.push_back('/');
            out.append(segment);
        }
        from = slash + 1;
    }
    return out.empty() ? std::string("/") : out;
}

std::string workingFolder() {
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1U << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

} // namespace karv
