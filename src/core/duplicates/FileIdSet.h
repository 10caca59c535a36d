#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace karv {

/// Files by device and inode, in one flat table: a search over many files keeps one entry per
/// file without a separate allocation (and a separate free) for each.
class FileIdSet {
public:
    /// Adds the file; false when it is in the set already.
    bool insert(std::uint64_t device, std::uint64_t inode) {
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        const bool added = place(m_slots, device, inode);
        m_count += added ? 1 : 0;
        return added;
    }

private:
    struct Slot {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool used = false;
    };

    static std::size_t hashOf(std::uint64_t device, std::uint64_t inode) {
        // The finaliser of splitmix64: inode numbers of one folder are close together.
        std::uint64_t x = inode ^ (device * 0x9E3779B97F4A7C15ULL);
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }

    // Linear probing in a table whose size is a power of two, at most half full.
    static bool place(std::vector<Slot>& slots, std::uint64_t device, std::uint64_t inode) {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t at = hashOf(device, inode) & mask;; at = (at + 1) & mask) {
            Slot& slot = slots[at];
            if (!slot.used) {
                slot = {device, inode, true};
                return true;
            }
            if (slot.device == device && slot.inode == inode)
                return false;
        }
    }

    void grow() {
        std::vector<Slot> larger(m_slots.empty() ? 64 : m_slots.size() * 2);
        for (const Slot& slot : m_slots) {
            if (slot.used)
                place(larger, slot.device, slot.inode);
        }
        m_slots.swap(larger);
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
};

} // namespace karv
