#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace karv {

/// Numbers by a pair of 64-bit keys, in one flat table: the search looks up every file's size and
/// prefix, and a node per key (allocated, later freed one by one) would cost more than the look-up.
class FlatIndex {
public:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};

    /// The number kept for the key, or `kNone`.
    std::uint32_t find(std::uint64_t first, std::uint64_t second) const {
        if (m_slots.empty())
            return kNone;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = hashOf(first, second) & mask;; at = (at + 1) & mask) {
            const Slot& slot = m_slots[at];
            if (slot.value == kNone)
                return kNone;
            if (slot.first == first && slot.second == second)
                return slot.value;
        }
    }
    /// Keeps `value` (not `kNone`) for a key not in the index yet.
    void insert(std::uint64_t first, std::uint64_t second, std::uint32_t value) {
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        place(m_slots, {first, second, value});
        ++m_count;
    }

private:
    struct Slot {
        std::uint64_t first = 0;
        std::uint64_t second = 0;
        std::uint32_t value = kNone;
    };

    static std::size_t hashOf(std::uint64_t first, std::uint64_t second) {
        // The finaliser of splitmix64: sizes are small numbers close together.
        std::uint64_t x = first ^ (second * 0x9E3779B97F4A7C15ULL);
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }

    // Linear probing in a table whose size is a power of two, at most half full.
    static void place(std::vector<Slot>& slots, const Slot& entry) {
        const std::size_t mask = slots.size() - 1;
        std::size_t at = hashOf(entry.first, entry.second) & mask;
        while (slots[at].value != kNone)
            at = (at + 1) & mask;
        slots[at] = entry;
    }

    void grow() {
        std::vector<Slot> larger(m_slots.empty() ? 64 : m_slots.size() * 2);
        for (const Slot& slot : m_slots) {
            if (slot.value != kNone)
                place(larger, slot);
        }
        m_slots.swap(larger);
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
};

} // namespace karv
