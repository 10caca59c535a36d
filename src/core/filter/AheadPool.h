#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace karv {

/// Worker threads that run jobs ahead of the one thread that adds them and takes their results in
/// the order it added them. That taking thread runs a job itself when no worker has started it,
/// and while it waits for a job a worker runs, it runs later ones rather than sleep. Jobs are
/// claimed without a lock and a thread sleeps only when there is nothing to claim, so a job of a
/// few microseconds costs no system call. A job is told whether it runs on the taking thread: only
/// there may it touch what that thread owns (a window's event loop).
class AheadPool {
public:
    using Job = std::function<void(bool onTakingThread)>;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    /// `workers` threads besides the taking one; at most `capacity` jobs added and not taken.
    explicit AheadPool(unsigned workers, std::size_t capacity = 4096);
    ~AheadPool();
    AheadPool(const AheadPool&) = delete;
    AheadPool& operator=(const AheadPool&) = delete;

    /// Whether no other job fits until the oldest one is taken.
    bool full() const { return m_added.load(std::memory_order_relaxed) - m_taken == m_capacity; }
    /// Adds a job (not when `full`) and returns its number; idle workers hear of it at `wake`.
    std::size_t add(Job job);
    /// Tells idle workers of the jobs added.
    void wake();
    /// Whether job `index` (added, not taken) is done.
    bool done(std::size_t index) const;
    /// Takes job `index`, the oldest not taken: run here when no worker started it, else waited
    /// for, with later jobs run here meanwhile and `whileWaiting` called now and then.
    void take(std::size_t index, const std::function<void()>& whileWaiting);
    /// Drops the jobs no one started and waits for the running ones: every job is taken.
    void end();

private:
    struct Slot {
        Job job;
        std::atomic<bool> done{false};
    };

    Slot& slot(std::size_t index) const { return m_slots[index % m_capacity]; }
    /// The next job no one started, now this thread's; kNone when there is none.
    std::size_t claim();
    void run(std::size_t index, bool onTakingThread);
    void work();
    /// Job `index` done: run here when no one started it, else waited for.
    void settle(std::size_t index, const std::function<void()>& whileWaiting);
    /// Waits for job `index`, run elsewhere; `help` runs later jobs here meanwhile.
    void waitFor(std::size_t index, bool help, const std::function<void()>& whileWaiting);

    std::size_t m_capacity;
    std::unique_ptr<Slot[]> m_slots;
    std::atomic<std::size_t> m_added{0};          ///< jobs added (written by the taking thread)
    std::atomic<std::size_t> m_claimed{0};        ///< jobs someone started or dropped
    std::size_t m_taken = 0;                      ///< jobs taken (the taking thread's own)
    std::atomic<std::size_t> m_waitingFor{kNone}; ///< the job the taking thread sleeps on
    std::atomic<unsigned> m_idle{0};              ///< workers asleep for want of a job
    std::atomic<bool> m_quit{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;     ///< idle workers sleep here
    std::condition_variable m_finished; ///< the taking thread sleeps here
    std::vector<std::thread> m_workers;
};

} // namespace karv
