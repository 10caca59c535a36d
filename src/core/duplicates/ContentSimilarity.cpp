#include "duplicates/ContentSimilarity.h"

#include "text/MultiPattern.h"
#include "text/Removers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace karv {

PreparedText ContentSimilarity::prepare(std::string text, const std::function<void()>& pump) {
    std::string tagless = removeTags(text, pump);
    text = std::string();
    // Line breaks as CR LF, then blanks removed: one pass, since no blank is part of a break.
    PreparedText prepared;
    std::string& out = prepared.text;
    out.reserve(tagless.size() + tagless.size() / 16);
    const auto* s = reinterpret_cast<const unsigned char*>(tagless.data());
    const std::size_t n = tagless.size();
    std::size_t copied = 0;
    std::size_t nextPump = kRemoverPumpBytes;
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= nextPump && pump) {
            nextPump = i + kRemoverPumpBytes;
            pump();
        }
        const unsigned char c = s[i];
        const bool special = c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '\v' || c == '\f' ||
                             (c == 0xE3 && i + 2 < n && s[i + 1] == 0x80 && s[i + 2] == 0x80);
        if (!special)
            continue;
        out.append(tagless, copied, i - copied);
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < n && s[i + 1] == '\n')
                ++i;
        } else if (c == 0xE3) {
            i += 2; // U+3000 full-width space
        }
        copied = i + 1;
    }
    out.append(tagless, copied, n - copied);
    nextPump = kRemoverPumpBytes;
    scanSegments(out, [&](std::size_t offset, std::size_t) {
        ++prepared.segments;
        if (offset >= nextPump && pump) {
            nextPump = offset + kRemoverPumpBytes;
            pump();
        }
        return true;
    });
    return prepared;
}

std::optional<int> ContentSimilarity::compare(const PreparedText& a, const PreparedText& b,
                                              const KeepGoing& keepGoing) {
    if (a.segments == 0 || b.segments == 0)
        return 0;
    WorkPoll poll(keepGoing);
    const std::optional<std::size_t> f1 = countSegmentsFound(a.text, b.text, poll, kBatchNodes);
    if (!f1)
        return std::nullopt;
    const std::optional<std::size_t> f2 = countSegmentsFound(b.text, a.text, poll, kBatchNodes);
    if (!f2)
        return std::nullopt;
    const double value = (static_cast<double>(*f1) / static_cast<double>(a.segments) * 100 +
                          static_cast<double>(*f2) / static_cast<double>(b.segments) * 100) /
                         2;
    return static_cast<int>(value);
}

int contentSimilarity(std::string_view a, std::string_view b) {
    return ContentSimilarity::compare(ContentSimilarity::prepare(std::string(a)),
                                      ContentSimilarity::prepare(std::string(b)))
        .value_or(0);
}

} // namespace karv
