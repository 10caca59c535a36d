#include "filter/AheadPool.h"

#include <chrono>

namespace karv {

AheadPool::AheadPool(unsigned workers) {
    for (unsigned i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

AheadPool::~AheadPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_next = m_jobs.size();
    }
    m_startable.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

bool AheadPool::startable() const {
    return m_next < m_jobs.size() && m_next < m_taken.load(std::memory_order_relaxed) + m_lead;
}

void AheadPool::wakeWorkers() {
    if (m_idle > 0 && startable())
        m_startable.notify_all();
}

void AheadPool::start(std::vector<Job> jobs, std::size_t lead) {
    const std::lock_guard lock(m_mutex);
    m_jobs = std::move(jobs);
    m_done = std::make_unique<std::atomic<bool>[]>(m_jobs.size());
    m_next = 0;
    m_taken.store(0, std::memory_order_relaxed);
    m_lead = lead < 1 ? 1 : lead;
    wakeWorkers();
}

void AheadPool::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        if (!m_quit && !startable()) {
            ++m_idle;
            m_startable.wait(lock, [this] { return m_quit || startable(); });
            --m_idle;
        }
        if (m_quit)
            return;
        const std::size_t index = m_next++;
        ++m_running;
        lock.unlock();
        m_jobs[index](false);
        lock.lock();
        m_done[index].store(true, std::memory_order_release);
        --m_running;
        // Only the job the taking thread sleeps on, or the last one running, is worth a wake-up.
        if (index == m_waitingFor || m_running == 0)
            m_finished.notify_one();
    }
}

void AheadPool::wait(std::size_t index, const std::function<void()>& whileWaiting) {
    if (m_done[index].load(std::memory_order_acquire)) {
        // Ready: no lock. A worker held back by the lead is woken the next time one is not.
        m_taken.store(index + 1, std::memory_order_relaxed);
        return;
    }
    std::unique_lock lock(m_mutex);
    m_taken.store(index, std::memory_order_relaxed);
    // Jobs skipped over are not needed any more.
    if (m_next < index)
        m_next = index;
    if (m_next == index) {
        // No worker has it yet: this thread runs it rather than wait.
        m_next = index + 1;
        ++m_running;
        wakeWorkers();
        lock.unlock();
        m_jobs[index](true);
        lock.lock();
        m_done[index].store(true, std::memory_order_relaxed);
        --m_running;
    } else {
        wakeWorkers();
    }
    m_waitingFor = index;
    while (!m_done[index].load(std::memory_order_relaxed)) {
        // A short wait at a time: the window's events are served meanwhile.
        if (m_finished.wait_for(lock, std::chrono::milliseconds(20),
                                [&] { return m_done[index].load(std::memory_order_relaxed); }))
            break;
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
    }
    m_waitingFor = static_cast<std::size_t>(-1);
    m_taken.store(index + 1, std::memory_order_relaxed);
    wakeWorkers();
}

void AheadPool::end() {
    std::unique_lock lock(m_mutex);
    m_next = m_jobs.size();
    m_waitingFor = static_cast<std::size_t>(-1);
    m_finished.wait(lock, [this] { return m_running == 0; });
    m_jobs.clear();
    m_done.reset();
    m_next = 0;
    m_taken.store(0, std::memory_order_relaxed);
}

} // namespace karv
