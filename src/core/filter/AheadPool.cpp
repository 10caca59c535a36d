#include "filter/AheadPool.h"

#include <chrono>

namespace karv {

AheadPool::AheadPool(unsigned threads, std::size_t lead) : m_lead(lead < 1 ? 1 : lead) {
    if (threads < 2)
        return;
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

AheadPool::~AheadPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_next = m_jobs.size();
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

std::size_t AheadPool::startable() const {
    return m_next < m_jobs.size() && m_next < m_taken + m_lead ? m_next : m_jobs.size();
}

void AheadPool::start(std::vector<Job> jobs) {
    {
        const std::lock_guard lock(m_mutex);
        m_jobs = std::move(jobs);
        m_done.assign(m_jobs.size(), 0);
        m_next = 0;
        m_taken = 0;
    }
    m_changed.notify_all();
}

void AheadPool::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_quit || startable() < m_jobs.size(); });
        if (m_quit)
            return;
        const std::size_t index = m_next++;
        m_done[index] = 1;
        ++m_running;
        lock.unlock();
        m_jobs[index]();
        lock.lock();
        m_done[index] = 2;
        --m_running;
        m_changed.notify_all();
    }
}

void AheadPool::wait(std::size_t index, const std::function<void()>& whileWaiting) {
    std::unique_lock lock(m_mutex);
    m_taken = index;
    // Jobs skipped over are not needed any more.
    if (m_next < index)
        m_next = index;
    if (m_workers.empty() && m_next == index) {
        m_next = index + 1;
        lock.unlock();
        m_jobs[index]();
        lock.lock();
        m_done[index] = 2;
    }
    m_changed.notify_all(); // the lead moved on
    while (m_done[index] != 2) {
        // A short wait at a time: the window's events are served meanwhile.
        if (m_changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_done[index] == 2; }))
            break;
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
    }
    m_taken = index + 1;
    lock.unlock();
    m_changed.notify_all();
}

void AheadPool::end() {
    std::unique_lock lock(m_mutex);
    m_next = m_jobs.size();
    m_changed.wait(lock, [this] { return m_running == 0; });
    m_jobs.clear();
    m_done.clear();
    m_next = 0;
    m_taken = 0;
}

} // namespace karv
