#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace karv {

/// Worker threads that run a batch of jobs a little ahead of the one thread that takes their
/// results in order. A job starts only within `lead` jobs of the next result to be taken, so the
/// memory held by finished jobs stays bounded; the jobs must not touch what the taking thread
/// uses (a window's event loop, a result list).
class AheadPool {
public:
    using Job = std::function<void()>;

    /// `threads` workers (none below 2: then `start` runs nothing and `wait` runs each job).
    AheadPool(unsigned threads, std::size_t lead);
    ~AheadPool();
    AheadPool(const AheadPool&) = delete;
    AheadPool& operator=(const AheadPool&) = delete;

    /// Whether jobs run on other threads at all.
    bool parallel() const { return !m_workers.empty(); }
    /// Starts a batch; the jobs of a batch before must be ended (`end`).
    void start(std::vector<Job> jobs);
    /// Waits for job `index` (taken in rising order; jobs skipped over are dropped) to be done,
    /// calling `whileWaiting` now and then on this thread. Without workers the job runs here.
    void wait(std::size_t index, const std::function<void()>& whileWaiting);
    /// Ends the batch: jobs not started are dropped, running ones are waited for.
    void end();

private:
    void work();
    /// The next job a worker may start, or the batch's size.
    std::size_t startable() const;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Job> m_jobs;
    std::vector<char> m_done; ///< per job: 0 waiting, 1 running, 2 done
    std::size_t m_next = 0;   ///< the first job no one started yet
    std::size_t m_taken = 0;  ///< the next result the taking thread waits for
    std::size_t m_running = 0;
    std::size_t m_lead;
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

} // namespace karv
