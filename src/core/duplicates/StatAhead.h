#pragma once

#include "duplicates/DigestCache.h"
#include "duplicates/FileReading.h"
#include "files/FileFacts.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace karv {

/// A file collected for the content search, with its status once taken.
struct StatJob {
    std::string path;
    std::uint64_t size = 0;
    std::uint64_t order = 0;
    std::shared_ptr<const OpenFolder> folder;
    std::optional<FileStat> stat;
    bool looked = false; ///< `kept` is what the cache holds for `stat`
    const DigestCache::Entry* kept = nullptr;
};

/// Stats collected files on a thread of its own, by their names in their open folders, while the
/// walk goes on listing: the search takes the answers back in the order the files came. One ring
/// runs across folders, so the thread is handed files one by one without a lock and sleeps only
/// when the walk falls behind it. Each file is stat'ed once, by whichever thread comes to it first:
/// the search never sleeps waiting for the thread.
class StatAhead {
public:
    static constexpr std::size_t kSlots = 1024;

    /// `cache`: looked up for each file stat'ed (on the thread too); it must stay loaded and in
    /// place while this lives.
    explicit StatAhead(const DigestCache* cache);
    ~StatAhead();
    StatAhead(const StatAhead&) = delete;
    StatAhead& operator=(const StatAhead&) = delete;

    /// Whether a thread of its own pays here: not on a machine of one core.
    static bool worthIt();

    /// Queues a file; `known`: its status is in `job.stat` already. The ring must not be full.
    void push(StatJob job, bool known);
    /// Files queued and not popped.
    std::size_t size() const { return m_head - m_tail; }
    /// The oldest queued file once its status is taken, else null; with `wait` it is stat'ed here
    /// when the thread has not come to it (or the one stat the thread is making is waited for).
    StatJob* front(bool wait);
    /// Forgets the oldest queued file.
    void pop();

private:
    enum : std::uint8_t { kFree, kQueued, kTaken, kDone };
    struct Slot {
        StatJob job;
        std::atomic<std::uint8_t> state = kFree;
    };
    void statJob(StatJob& job) const;
    void work();

    const DigestCache* m_cache;
    std::unique_ptr<Slot[]> m_slots;
    std::uint64_t m_head = 0;                  // the search's: next slot to fill
    std::uint64_t m_tail = 0;                  // the search's: oldest slot not popped
    std::atomic<std::uint64_t> m_published{0}; // slots before it are for the thread to take
    std::atomic<std::uint64_t> m_popped{0};    // the thread skips slots already popped
    std::atomic<bool> m_sleeping{false};
    std::atomic<std::uint32_t> m_wakes{0};
    std::atomic<bool> m_ending{false};
    std::thread m_thread;
};

} // namespace karv
