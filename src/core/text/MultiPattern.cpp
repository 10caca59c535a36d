#include "text/MultiPattern.h"

#include "text/PatternBatch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace karv {

namespace {

using Search = SegmentSearch;

// the other text by all but one byte of each.
constexpr std::size_t kCutOverhang = 4;

std::uint64_t hashBytes(const char* p, std::size_t n) {
    std::uint64_t h = 0x243F6A8885A308D3ULL ^ (n * 0x9E3779B97F4A7C15ULL);
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    std::uint64_t word = 0;
    std::memcpy(&word, p, n);
    h = (h ^ word) * 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 32;
    h *= 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

/// The segments of one text by hash, for the common case of a segment met whole in the other
/// text. Entries hold a 24-bit tag of the hash and the 40-bit offset of the segment.
class SegmentIndex {
public:
    bool build(std::string_view text, WorkPoll& poll) {
        m_text = text;
        std::size_t count = 0;
        if (!scanSegments(text, [&](std::size_t, std::size_t length) {
                ++count;
                m_longest = std::max(m_longest, length);
                return poll.add(length);
            }))
            return false;
        if (count == 0 || count >= 0xFFFFFFFFu || text.size() >= (std::uint64_t{1} << kOffsetBits))
            return true; // nothing to index, or beyond the packing: every segment takes the long way
        std::size_t buckets = 1;
        while (buckets < count / 2)
            buckets *= 2;
        m_mask = buckets - 1;
        m_starts.assign(buckets + 1, 0);
        if (!scanSegments(text, [&](std::size_t offset, std::size_t length) {
                ++m_starts[(hashBytes(text.data() + offset, length) & m_mask) + 1];
                return poll.add(length);
            }))
            return false;
        for (std::size_t b = 0; b < buckets; ++b)
            m_starts[b + 1] += m_starts[b];
        m_entries.resize(count);
        std::vector<std::uint32_t> fill(m_starts.begin(), m_starts.end() - 1);
        return scanSegments(text, [&](std::size_t offset, std::size_t length) {
            const std::uint64_t h = hashBytes(text.data() + offset, length);
            m_entries[fill[h & m_mask]++] = (tagOf(h) << kOffsetBits) | offset;
            return poll.add(length);
        });
    }

    /// Whether `segment`, of hash `h`, stands somewhere in the text at the offset of a segment.
    bool holds(std::string_view segment, std::uint64_t h) const {
        if (m_entries.empty())
            return false;
        const std::size_t bucket = h & m_mask;
        const std::uint64_t tag = tagOf(h);
        for (std::uint32_t e = m_starts[bucket]; e < m_starts[bucket + 1]; ++e) {
            if ((m_entries[e] >> kOffsetBits) != tag)
                continue;
            const std::size_t offset = m_entries[e] & ((std::uint64_t{1} << kOffsetBits) - 1);
            if (offset + segment.size() <= m_text.size() &&
                std::memcmp(m_text.data() + offset, segment.data(), segment.size()) == 0)
                return true;
        }
        return false;
    }

    /// The longest segment: no longer segment of the other text can occur in this one.
    std::size_t longest() const { return m_longest; }

private:
    static constexpr unsigned kOffsetBits = 40;
    static std::uint64_t tagOf(std::uint64_t h) { return h >> kOffsetBits; }

    std::string_view m_text;
    std::size_t m_longest = 0;
    std::size_t m_mask = 0;
    std::vector<std::uint32_t> m_starts;
    std::vector<std::uint64_t> m_entries;
};

constexpr std::uint64_t kPrime = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kBase = 0x5DEECE66DULL;

std::uint64_t mulMod(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    const std::uint64_t r =
        static_cast<std::uint64_t>(product & kPrime) + static_cast<std::uint64_t>(product >> 61);
    return r >= kPrime ? r - kPrime : r;
}

std::uint64_t addMod(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t r = a + b;
    return r >= kPrime ? r - kPrime : r;
}

/// Whether one long `pattern` occurs in `text` (Karp–Rabin, every hash hit verified); no value on
/// a stop.
std::optional<bool> occursLong(std::string_view pattern, std::string_view text, WorkPoll& poll) {
    const std::size_t m = pattern.size();
    if (m == 0 || m > text.size())
        return m == 0;
    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    std::uint64_t hp = 0, ht = 0, top = 1;
    for (std::size_t i = 0; i < m; ++i) {
        hp = addMod(mulMod(hp, kBase), p[i]);
        ht = addMod(mulMod(ht, kBase), t[i]);
        if (i > 0)
            top = mulMod(top, kBase);
        if (!poll.add(1))
            return std::nullopt;
    }
    for (std::size_t i = 0;; ++i) {
        if (ht == hp && std::memcmp(t + i, p, m) == 0)
            return true;
        if (i + m >= text.size())
            return false;
        ht = addMod(ht, kPrime - mulMod(t[i], top));
        ht = addMod(mulMod(ht, kBase), t[i + m]);
        if (!poll.add(1))
            return std::nullopt;
    }
}

constexpr std::uint64_t kRollBase = 0x100000001B3ULL;
// An automaton step costs about this many rolling-hash steps (it misses the cache).
constexpr std::uint64_t kAutomatonStepCost = 8;

/// Calls `f(low, high)` for every window of `text` that can hold a segment of the other text: an
/// occurrence lies within one piece between cuts, reaching at most all but one byte into the cut
/// on either side (a whole cut inside it would have cut the segment). Empty pieces count too.
template <typename F> bool scanWindows(std::string_view text, F&& f) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t low = 0;
    for (std::size_t i = 0; i < n;) {
        const std::size_t cut = segmentCutAt(s, n, i);
        if (cut == 0) {
            ++i;
            continue;
        }
        if (!f(low, i + cut - 1))
            return false;
        low = i + 1;
        i += cut;
    }
    return f(low, n);
}

/// The open segments searched by length: the text is walked window by window once, and for each
/// length of an open segment that fits the window a rolling hash goes over it, every hit of the
/// hash verified. The window is still in the cache for all lengths.
class LengthSearch {
public:
    explicit LengthSearch(std::string_view patterns) : m_patterns(patterns) {}

    /// Takes the open segments of the patterns, sorted by length and hash; false on a stop.
    bool collect(const std::vector<bool>& open, WorkPoll& poll) {
        std::size_t number = 0;
        if (!scanSegments(m_patterns, [&](std::size_t offset, std::size_t length) {
                if (open[number++]) {
                    m_pending.push_back(
                        {length,
                         hashOf(reinterpret_cast<const unsigned char*>(m_patterns.data()) + offset, length),
                         offset});
                    m_pendingBytes += length;
                }
                return poll.add(length);
            }))
            return false;
        std::sort(m_pending.begin(), m_pending.end());
        return true;
    }

    bool empty() const { return m_pending.empty(); }

    /// One group per length, each with a filter of its hashes.
    void group() {
        for (std::size_t g = 0; g < m_pending.size();) {
            Group group{m_pending[g].length, 1, g, g, m_filters.size(), 6, 0};
            while (group.end < m_pending.size() && m_pending[group.end].length == group.length)
                ++group.end;
            for (std::size_t k = 1; k < group.length; ++k)
                group.top *= kRollBase;
            group.missing = group.end - group.begin;
            while ((std::size_t{1} << group.bits) < group.missing * 16 && group.bits < 30)
                ++group.bits;
            m_filters.resize(m_filters.size() + (std::size_t{1} << group.bits) / 64, 0);
            m_groups.push_back(group);
            g = group.end;
        }
        for (const Group& group : m_groups) {
            for (std::size_t e = group.begin; e < group.end; ++e)
                m_filters[word(m_pending[e].hash, group)] |= mask(m_pending[e].hash);
        }
    }

    /// Whether this way costs less than the automaton's passes (always when `force`); false too
    /// on a stop. Cost of both ways in rolling-hash steps: a window of length L costs L - m + 1
    /// per length m <= L.
    bool cheaper(std::string_view text, WorkPoll& poll, std::size_t batchNodes, bool force) const {
        std::vector<std::uint64_t> lengthSums(m_groups.size() + 1, 0);
        for (std::size_t g = 0; g < m_groups.size(); ++g)
            lengthSums[g + 1] = lengthSums[g] + m_groups[g].length;
        const std::uint64_t limit =
            (m_pendingBytes / std::max<std::size_t>(batchNodes, 1) + 1) * text.size() * kAutomatonStepCost;
        std::uint64_t rollingCost = 0;
        return scanWindows(text, [&](std::size_t low, std::size_t high) {
            const std::size_t length = high - low;
            const auto fits = static_cast<std::size_t>(
                std::upper_bound(m_groups.begin(), m_groups.end(), length,
                                 [](std::size_t l, const Group& g) { return l < g.length; }) -
                m_groups.begin());
            rollingCost += fits * (length + 1) - lengthSums[fits];
            return poll.add(length) && (force || rollingCost <= limit);
        });
    }

    /// How many of the segments occur in `text`; no value on a stop.
    std::optional<std::size_t> run(std::string_view text, WorkPoll& poll) {
        m_seen.assign(m_pending.size(), 0);
        m_missing = m_pending.size();
        const auto* t = reinterpret_cast<const unsigned char*>(text.data());
        if (!scanWindows(text, [&](std::size_t low, std::size_t high) {
                return searchWindow(t + low, high - low, poll) && poll.add(high - low) && m_missing > 0;
            })) {
            if (poll.stopped())
                return std::nullopt;
        }
        return m_pending.size() - m_missing;
    }

private:
    struct Pending {
        std::size_t length;
        std::uint64_t hash;
        std::size_t offset;
        bool operator<(const Pending& o) const {
            return length != o.length ? length < o.length : hash < o.hash;
        }
    };
    struct Group {
        std::size_t length;
        std::uint64_t top;      // kRollBase^(length-1)
        std::size_t begin, end; // its range of `m_pending`
        std::size_t filter;     // first word of its filter
        unsigned bits;
        std::size_t missing;
    };

    static std::uint64_t hashOf(const unsigned char* p, std::size_t m) {
        std::uint64_t h = 0;
        for (std::size_t k = 0; k < m; ++k)
            h = h * kRollBase + p[k];
        return h;
    }
    // Two bits of one word per segment: a miss is one cache line, and a false hit, which costs a
    // search of the group, is rare.
    static std::uint64_t mask(std::uint64_t h) {
        const std::uint64_t x = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ULL;
        return (std::uint64_t{1} << (x >> 58)) | (std::uint64_t{1} << ((x >> 52) & 63));
    }
    static std::size_t word(std::uint64_t h, const Group& group) {
        return group.filter + ((h * 0x9E3779B97F4A7C15ULL) >> (64 - group.bits) >> 6);
    }

    /// Every group that fits a window of `length` bytes at `p` goes over it; false on a stop.
    bool searchWindow(const unsigned char* p, std::size_t length, WorkPoll& poll) {
        for (Group& group : m_groups) {
            const std::size_t m = group.length;
            if (m > length)
                break;
            if (group.missing == 0)
                continue;
            std::uint64_t h = hashOf(p, m);
            check(group, h, p);
            for (std::size_t i = m; i < length; ++i) {
                h = (h - p[i - m] * group.top) * kRollBase + p[i];
                check(group, h, p + i - m + 1);
                // A long window is polled inside, not only at its end.
                if ((i - m) % kPollWork == kPollWork - 1 && !poll.add(kPollWork))
                    return false;
            }
            if (!poll.add(m + (length - m) % kPollWork))
                return false;
        }
        return true;
    }

    /// Marks the segments of `group` that the bytes at `at`, of hash `h`, are.
    void check(Group& group, std::uint64_t h, const unsigned char* at) {
        const std::uint64_t bits = mask(h);
        if ((m_filters[word(h, group)] & bits) != bits)
            return;
        const auto groupEnd = m_pending.begin() + static_cast<std::ptrdiff_t>(group.end);
        auto it = std::lower_bound(m_pending.begin() + static_cast<std::ptrdiff_t>(group.begin), groupEnd, h,
                                   [](const Pending& p, std::uint64_t v) { return p.hash < v; });
        for (; it != groupEnd && it->hash == h; ++it) {
            const auto e = static_cast<std::size_t>(it - m_pending.begin());
            if (m_seen[e] == 0 && std::memcmp(m_patterns.data() + it->offset, at, group.length) == 0) {
                m_seen[e] = 1;
                --group.missing;
                --m_missing;
            }
        }
    }

    std::string_view m_patterns;
    std::vector<Pending> m_pending;
    std::size_t m_pendingBytes = 0;
    std::vector<Group> m_groups;
    std::vector<std::uint64_t> m_filters;
    std::vector<std::uint8_t> m_seen;
    std::size_t m_missing = 0;
};

/// The open segments searched by length when that costs less than the automaton's passes; no
/// value when it does not, or on a stop (then `poll` says so).
std::optional<std::size_t> countByLength(std::string_view patterns, std::string_view text,
                                         const std::vector<bool>& open, WorkPoll& poll,
                                         std::size_t batchNodes, bool force) {
    LengthSearch search(patterns);
    if (!search.collect(open, poll))
        return std::nullopt;
    if (search.empty())
        return std::size_t{0};
    search.group();
    if (!search.cheaper(text, poll, batchNodes, force))
        return std::nullopt;
    return search.run(text, poll);
}

/// How many segments of `patterns` occur in `text`; no value on a stop. Segments found whole are
/// settled by the index; the rest go through batches of the automaton, so memory stays bounded
/// whatever the texts, and those longer than half a batch through a rolling hash.
std::optional<std::size_t> countFound(std::string_view patterns, std::string_view text, WorkPoll& poll,
                                      std::size_t batchNodes, Search search) {
    const std::size_t longSegment = std::max<std::size_t>(batchNodes / 2, 1);
    std::vector<bool> open; // per segment: not decided by the index
    std::size_t found = 0;
    {
        SegmentIndex index;
        if (!index.build(text, poll))
            return std::nullopt;
        const std::size_t reach = index.longest() + kCutOverhang;
        if (!scanSegments(patterns, [&](std::size_t offset, std::size_t length) {
                const std::string_view segment(patterns.data() + offset, length);
                bool undecided = false;
                if (length <= reach) {
                    if (index.holds(segment, hashBytes(segment.data(), length)))
                        ++found;
                    else
                        undecided = true;
                }
                open.push_back(undecided);
                return poll.add(length);
            }))
            return std::nullopt;
    }
    if (search != Search::Batches) {
        const std::optional<std::size_t> byLength =
            countByLength(patterns, text, open, poll, batchNodes, search == Search::ByLength);
        if (poll.stopped())
            return std::nullopt;
        if (byLength)
            return found + *byLength;
    }
    // The rest, batch by batch: each batch is a consecutive run of the open segments.
    std::size_t index = 0;            // segment number
    std::size_t offset = 0;           // where the scan for that segment starts
    std::vector<std::uint32_t> batch; // the trie node of each segment of the batch
    PatternBatch automaton;
    while (true) {
        batch.clear();
        automaton.clear();
        std::size_t resumeIndex = index, resumeOffset = patterns.size();
        const bool complete = scanSegments(patterns.substr(offset), [&](std::size_t at, std::size_t length) {
            if (!open[index]) {
                ++index;
                return true;
            }
            if (length > longSegment) {
                const std::optional<bool> occurs =
                    occursLong(std::string_view(patterns.data() + offset + at, length), text, poll);
                ++index;
                found += occurs.value_or(false) ? 1 : 0;
                return occurs.has_value();
            }
            if (!batch.empty() && automaton.nodes() + length > batchNodes) {
                resumeIndex = index;
                resumeOffset = offset + at;
                return false;
            }
            batch.push_back(automaton.insert(std::string_view(patterns.data() + offset + at, length)));
            ++index;
            return poll.add(length);
        });
        if (poll.stopped())
            return std::nullopt;
        if (!batch.empty()) {
            if (!automaton.link(poll) || !automaton.scan(text, poll))
                return std::nullopt;
            for (const std::uint32_t node : batch)
                found += automaton.seen(node) ? 1 : 0;
        }
        if (complete)
            return found;
        index = resumeIndex;
        offset = resumeOffset;
    }
}

} // namespace

std::optional<std::size_t> countSegmentsFound(std::string_view patterns, std::string_view text,
                                              WorkPoll& poll, std::size_t batchNodes, SegmentSearch search) {
    return countFound(patterns, text, poll, batchNodes, search);
}

std::optional<std::size_t> segmentsFound(std::string_view patterns, std::string_view text,
                                         const KeepGoing& keepGoing, std::size_t batchNodes,
                                         SegmentSearch search) {
    WorkPoll poll(keepGoing);
    return countFound(patterns, text, poll, batchNodes, search);
}

} // namespace karv
