#pragma once

#include "text/Segments.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace karv {

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
    bool link(WorkPoll& poll) {
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
    bool scan(std::string_view text, WorkPoll& poll) {
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

} // namespace karv
