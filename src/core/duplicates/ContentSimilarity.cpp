#include "duplicates/ContentSimilarity.h"

#include "text/Removers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace karv {

namespace {

using Search = ContentSimilarity::Search;

// Work between two calls of the caller's hook: a few milliseconds at most.
constexpr std::size_t kPollWork = std::size_t{1} << 18;
// A cut is at most 3 bytes; an occurrence of a segment can reach into the cuts around a piece of
// the other text by all but one byte of each.
constexpr std::size_t kCutOverhang = 4;

/// Counts work and calls the hook at fixed amounts of it.
class Poll {
public:
    explicit Poll(const KeepGoing& keepGoing) : m_keepGoing(keepGoing) {}
    bool add(std::size_t work) {
        m_work += work;
        if (m_work < kPollWork)
            return !m_stopped;
        m_work = 0;
        if (m_keepGoing && !m_keepGoing())
            m_stopped = true;
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    const KeepGoing& m_keepGoing;
    std::size_t m_work = 0;
    bool m_stopped = false;
};

/// Length of the cut at `i` of a prepared text: 。，！；ㄓ (3 bytes), CR LF (2), ?!,; (1); 0 if none.
inline std::size_t cutAt(const unsigned char* s, std::size_t n, std::size_t i) {
    switch (s[i]) {
    case '?':
    case '!':
    case ',':
    case ';':
        return 1;
    case '\r':
        return i + 1 < n && s[i + 1] == '\n' ? 2 : 0;
    case 0xE3: // 。 U+3002, ㄓ U+3113
        return i + 2 < n && ((s[i + 1] == 0x80 && s[i + 2] == 0x82) || (s[i + 1] == 0x84 && s[i + 2] == 0x93))
                   ? 3
                   : 0;
    case 0xEF: // ！ U+FF01, ， U+FF0C, ； U+FF1B
        return i + 2 < n && s[i + 1] == 0xBC && (s[i + 2] == 0x81 || s[i + 2] == 0x8C || s[i + 2] == 0x9B)
                   ? 3
                   : 0;
    default:
        return 0;
    }
}

/// Calls `f(offset, length)` for every non-empty segment; stops when `f` returns false.
template <typename F> bool scanSegments(std::string_view text, F&& f) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < n;) {
        const std::size_t cut = cutAt(s, n, i);
        if (cut == 0) {
            ++i;
            continue;
        }
        if (i > start && !f(start, i - start))
            return false;
        i += cut;
        start = i;
    }
    return n <= start || f(start, n - start);
}

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
    bool build(std::string_view text, Poll& poll) {
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

/// Aho–Corasick automaton over a batch of segments: one pass over the other text finds every
/// segment of the batch that occurs in it. After `link` the nodes are laid out breadth-first with
/// the children of a node side by side, sorted, and each node's fields in one record, so a step
/// touches few cache lines and the much-visited upper levels stay close together.
class PatternBatch {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    PatternBatch() { clear(); }

    void clear() {
        m_child.assign(1, kNone);
        m_sibling.assign(1, kNone);
        m_label.assign(1, 0);
        m_terminal.assign(1, 0);
        m_nodes = {};
        m_renumbered = {};
        m_terminals = 0;
    }
    std::size_t nodes() const { return m_child.size(); }

    /// Adds a pattern while building (before `link`); returns its node for `seen`.
    std::uint32_t insert(std::string_view pattern) {
        std::uint32_t node = 0;
        for (const char ch : pattern) {
            const auto c = static_cast<unsigned char>(ch);
            std::uint32_t next = m_child[node];
            while (next != kNone && m_label[next] != c)
                next = m_sibling[next];
            if (next == kNone) {
                next = static_cast<std::uint32_t>(m_child.size());
                m_child.push_back(kNone);
                m_sibling.push_back(m_child[node]);
                m_label.push_back(c);
                m_terminal.push_back(0);
                m_child[node] = next;
            }
            node = next;
        }
        if (m_terminal[node] == 0) {
            m_terminal[node] = 1;
            ++m_terminals;
        }
        return node;
    }

    /// Lays the trie out breadth-first and computes the failure and output links.
    bool link(Poll& poll) {
        const std::size_t n = nodes();
        // Node i's children are [m_nodes[i].start, m_nodes[i + 1].start); a last record closes the range.
        m_nodes.assign(n + 1, Node{});
        m_renumbered.assign(n, 0);
        std::vector<std::uint32_t> order; // old ids in breadth-first order, children sorted
        order.reserve(n);
        order.push_back(0);
        std::vector<std::uint32_t> kids;
        for (std::size_t head = 0; head < order.size(); ++head) {
            const std::uint32_t old = order[head];
            m_renumbered[old] = static_cast<std::uint32_t>(head);
            m_nodes[head].label = m_label[old];
            m_nodes[head].terminal = m_terminal[old];
            m_nodes[head].start = static_cast<std::uint32_t>(order.size());
            kids.clear();
            for (std::uint32_t c = m_child[old]; c != kNone; c = m_sibling[c])
                kids.push_back(c);
            std::sort(kids.begin(), kids.end(),
                      [&](std::uint32_t x, std::uint32_t y) { return m_label[x] < m_label[y]; });
            order.insert(order.end(), kids.begin(), kids.end());
            if (!poll.add(kids.size() + 1))
                return false;
        }
        m_nodes[n].start = static_cast<std::uint32_t>(n);
        order = {};
        m_child = {};
        m_sibling = {};
        m_label = {};
        m_terminal = {};
        std::fill(std::begin(m_root), std::end(m_root), 0u);
        for (std::uint32_t c = m_nodes[0].start; c < m_nodes[1].start; ++c)
            m_root[m_nodes[c].label] = c;
        // Breadth-first order is the node order itself: a node's failure target is shallower.
        for (std::size_t u = 1; u < n; ++u) {
            for (std::uint32_t v = m_nodes[u].start; v < m_nodes[u + 1].start; ++v) {
                const std::uint8_t c = m_nodes[v].label;
                std::uint32_t f = m_nodes[u].fail;
                std::uint32_t target = 0;
                while (true) {
                    const std::uint32_t t = step(f, c);
                    if (t != 0 && t != kNone) {
                        target = t;
                        break;
                    }
                    if (f == 0)
                        break;
                    f = m_nodes[f].fail;
                }
                m_nodes[v].fail = target;
                m_nodes[v].output = m_nodes[target].terminal != 0 ? target : m_nodes[target].output;
            }
            if (!poll.add(m_nodes[u + 1].start - m_nodes[u].start + 1))
                return false;
        }
        return true;
    }

    /// Marks every pattern that occurs in `text`; false on a stop.
    bool scan(std::string_view text, Poll& poll) {
        std::size_t missing = m_terminals;
        std::uint32_t state = 0;
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        std::size_t polled = 0;
        for (std::size_t i = 0; i < text.size() && missing > 0; ++i) {
            const unsigned char c = s[i];
            while (true) {
                const std::uint32_t t = step(state, c);
                if (t != kNone && (t != 0 || state == 0)) {
                    state = t;
                    break;
                }
                state = m_nodes[state].fail;
            }
            // 1: a pattern ends here, not yet seen; 2: seen, and so is every pattern it ends with.
            const Node& at = m_nodes[state];
            std::uint32_t v = at.terminal == 1 ? state : at.terminal == 2 ? kNone : at.output;
            while (v != kNone && m_nodes[v].terminal == 1) {
                m_nodes[v].terminal = 2;
                --missing;
                v = m_nodes[v].output;
            }
            if (i - polled >= kPollWork) {
                polled = i;
                if (!poll.add(kPollWork))
                    return false;
            }
        }
        return true;
    }

    /// Whether the pattern that `insert` gave `node` for was seen by `scan`.
    bool seen(std::uint32_t node) const { return m_nodes[m_renumbered[node]].terminal == 2; }

private:
    struct Node {
        std::uint32_t start = 0; // first child
        std::uint32_t fail = 0;
        std::uint32_t output = kNone; // nearest pattern end along the failure links
        std::uint8_t label = 0;
        std::uint8_t terminal = 0; // 0 no pattern ends here, 1 one does, 2 and it was seen
    };

    /// The child of `node` for byte `c` after `link`: from the root 0 when there is none,
    /// elsewhere kNone.
    std::uint32_t step(std::uint32_t node, std::uint8_t c) const {
        if (node == 0)
            return m_root[c];
        std::uint32_t first = m_nodes[node].start, last = m_nodes[node + 1].start;
        while (last - first > 8) {
            const std::uint32_t middle = first + (last - first) / 2;
            if (m_nodes[middle].label <= c)
                first = middle;
            else
                last = middle;
        }
        for (std::uint32_t v = first; v < last; ++v) {
            if (m_nodes[v].label == c)
                return v;
        }
        return kNone;
    }

    // While building: first child and next sibling lists.
    std::vector<std::uint32_t> m_child, m_sibling;
    std::vector<std::uint8_t> m_label, m_terminal;
    // After `link`.
    std::vector<Node> m_nodes;
    std::vector<std::uint32_t> m_renumbered; // node number while building -> after
    std::uint32_t m_root[256] = {};
    std::size_t m_terminals = 0;
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
std::optional<bool> occursLong(std::string_view pattern, std::string_view text, Poll& poll) {
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
        const std::size_t cut = cutAt(s, n, i);
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
/// hash verified. The window is still in the cache for all lengths. Chosen when that costs less
/// than the automaton's passes; no value when it does not, or on a stop (then `poll` says so).
std::optional<std::size_t> countByLength(std::string_view patterns, std::string_view text,
                                         const std::vector<bool>& open, Poll& poll, std::size_t batchNodes,
                                         bool force) {
    struct Pending {
        std::size_t length;
        std::uint64_t hash;
        std::size_t offset;
        bool operator<(const Pending& o) const {
            return length != o.length ? length < o.length : hash < o.hash;
        }
    };
    std::vector<Pending> pending;
    std::size_t pendingBytes = 0;
    std::size_t number = 0;
    const auto hashOf = [](const unsigned char* p, std::size_t m) {
        std::uint64_t h = 0;
        for (std::size_t k = 0; k < m; ++k)
            h = h * kRollBase + p[k];
        return h;
    };
    if (!scanSegments(patterns, [&](std::size_t offset, std::size_t length) {
            if (open[number++]) {
                pending.push_back(
                    {length, hashOf(reinterpret_cast<const unsigned char*>(patterns.data()) + offset, length),
                     offset});
                pendingBytes += length;
            }
            return poll.add(length);
        }))
        return std::nullopt;
    if (pending.empty())
        return std::size_t{0};
    std::sort(pending.begin(), pending.end());

    struct Group {
        std::size_t length;
        std::uint64_t top;      // kRollBase^(length-1)
        std::size_t begin, end; // its range of `pending`
        std::size_t filter;     // first word of its filter
        unsigned bits;
        std::size_t missing;
    };
    std::vector<Group> groups;
    std::vector<std::uint64_t> filters;
    for (std::size_t g = 0; g < pending.size();) {
        Group group{pending[g].length, 1, g, g, filters.size(), 6, 0};
        while (group.end < pending.size() && pending[group.end].length == group.length)
            ++group.end;
        for (std::size_t k = 1; k < group.length; ++k)
            group.top *= kRollBase;
        group.missing = group.end - group.begin;
        while ((std::size_t{1} << group.bits) < group.missing * 16 && group.bits < 30)
            ++group.bits;
        filters.resize(filters.size() + (std::size_t{1} << group.bits) / 64, 0);
        groups.push_back(group);
        g = group.end;
    }
    // Two bits of one word per segment: a miss is one cache line, and a false hit, which costs a
    // search of the group, is rare.
    const auto mask = [](std::uint64_t h) {
        const std::uint64_t x = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ULL;
        return (std::uint64_t{1} << (x >> 58)) | (std::uint64_t{1} << ((x >> 52) & 63));
    };
    const auto word = [](std::uint64_t h, const Group& group) {
        return group.filter + ((h * 0x9E3779B97F4A7C15ULL) >> (64 - group.bits) >> 6);
    };
    for (const Group& group : groups) {
        for (std::size_t e = group.begin; e < group.end; ++e)
            filters[word(pending[e].hash, group)] |= mask(pending[e].hash);
    }

    // Cost of both ways, in rolling-hash steps: a window of length L costs L - m + 1 per length m <= L.
    std::vector<std::uint64_t> lengthSums(groups.size() + 1, 0);
    for (std::size_t g = 0; g < groups.size(); ++g)
        lengthSums[g + 1] = lengthSums[g] + groups[g].length;
    const std::uint64_t limit =
        (pendingBytes / std::max<std::size_t>(batchNodes, 1) + 1) * text.size() * kAutomatonStepCost;
    std::uint64_t rollingCost = 0;
    if (!scanWindows(text, [&](std::size_t low, std::size_t high) {
            const std::size_t length = high - low;
            const auto fits = static_cast<std::size_t>(
                std::upper_bound(groups.begin(), groups.end(), length,
                                 [](std::size_t l, const Group& g) { return l < g.length; }) -
                groups.begin());
            rollingCost += fits * (length + 1) - lengthSums[fits];
            return poll.add(length) && (force || rollingCost <= limit);
        }))
        return std::nullopt;

    std::vector<std::uint8_t> seen(pending.size(), 0);
    std::size_t missing = pending.size();
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const auto check = [&](Group& group, std::uint64_t h, const unsigned char* at) {
        const std::uint64_t bits = mask(h);
        if ((filters[word(h, group)] & bits) != bits)
            return;
        auto it = std::lower_bound(pending.begin() + static_cast<std::ptrdiff_t>(group.begin),
                                   pending.begin() + static_cast<std::ptrdiff_t>(group.end), h,
                                   [](const Pending& p, std::uint64_t v) { return p.hash < v; });
        for (; it != pending.begin() + static_cast<std::ptrdiff_t>(group.end) && it->hash == h; ++it) {
            const auto e = static_cast<std::size_t>(it - pending.begin());
            if (seen[e] == 0 && std::memcmp(patterns.data() + it->offset, at, group.length) == 0) {
                seen[e] = 1;
                --group.missing;
                --missing;
            }
        }
    };
    if (!scanWindows(text, [&](std::size_t low, std::size_t high) {
            const unsigned char* p = t + low;
            const std::size_t length = high - low;
            for (Group& group : groups) {
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
            return poll.add(length) && missing > 0;
        })) {
        if (poll.stopped())
            return std::nullopt;
    }
    return pending.size() - missing;
}

/// How many segments of `patterns` occur in `text`; no value on a stop. Segments found whole are
/// settled by the index; the rest go through batches of the automaton, so memory stays bounded
/// whatever the texts, and those longer than half a batch through a rolling hash.
std::optional<std::size_t> countFound(std::string_view patterns, std::string_view text, Poll& poll,
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
    Poll poll(keepGoing);
    const std::optional<std::size_t> f1 = countFound(a.text, b.text, poll, kBatchNodes, Search::Choose);
    if (!f1)
        return std::nullopt;
    const std::optional<std::size_t> f2 = countFound(b.text, a.text, poll, kBatchNodes, Search::Choose);
    if (!f2)
        return std::nullopt;
    const double value = (static_cast<double>(*f1) / static_cast<double>(a.segments) * 100 +
                          static_cast<double>(*f2) / static_cast<double>(b.segments) * 100) /
                         2;
    return static_cast<int>(value);
}

std::optional<std::size_t> ContentSimilarity::segmentsFound(std::string_view patterns, std::string_view text,
                                                            const KeepGoing& keepGoing,
                                                            std::size_t batchNodes, Search search) {
    Poll poll(keepGoing);
    return countFound(patterns, text, poll, batchNodes, search);
}

int contentSimilarity(std::string_view a, std::string_view b) {
    return ContentSimilarity::compare(ContentSimilarity::prepare(std::string(a)),
                                      ContentSimilarity::prepare(std::string(b)))
        .value_or(0);
}

} // namespace karv
