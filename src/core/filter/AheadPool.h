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

/// Worker threads that run a batch of jobs ahead of the one thread that takes their results in
/// order, and that runs a job itself when no worker has started it yet. A job starts only within
/// the batch's `lead` jobs of the next result to be taken, so the memory held by finished jobs
/// stays bounded. A job is told whether it runs on the taking thread: only there may it touch what
/// that thread owns (a window's event loop).
class AheadPool {
public:
    using Job = std::function<void(bool onTakingThread)>;

    /// `workers` threads besides the taking one.
    explicit AheadPool(unsigned workers);
    ~AheadPool();
    AheadPool(const AheadPool&) = delete;
    AheadPool& operator=(const AheadPool&) = delete;

    /// Starts a batch; the batch before must be ended (`end`).
    void start(std::vector<Job> jobs, std::size_t lead);
    /// Job `index` done (taken in rising order; jobs skipped over are dropped): run here when no
    /// worker started it, else waited for, with `whileWaiting` called now and then.
    void wait(std::size_t index, const std::function<void()>& whileWaiting);
    /// Ends the batch: jobs not started are dropped, running ones are waited for.
    void end();

private:
    void work();
    /// Whether a worker may start the next job.
    bool startable() const;
    void wakeWorkers();

    std::mutex m_mutex;
    std::condition_variable m_startable; ///< workers wait here for a job they may start
    std::condition_variable m_finished;  ///< the taking thread waits here for a job to end
    std::vector<Job> m_jobs;
    /// Per job, set once it is done; read by the taking thread without the lock.
    std::unique_ptr<std::atomic<bool>[]> m_done;
    std::size_t m_next = 0; ///< the first job no one started yet
    /// The next result the taking thread wants; moved on without the lock when it was ready.
    std::atomic<std::size_t> m_taken{0};
    std::size_t m_waitingFor = static_cast<std::size_t>(-1); ///< the job the taking thread sleeps on
    std::size_t m_running = 0;
    std::size_t m_idle = 0; ///< workers waiting for a job
    std::size_t m_lead = 1;
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

} // namespace karv
