#include "filter/AheadPool.h"

#include <algorithm>
#include <chrono>

namespace karv {

namespace {

/// How often the taking thread lets the window's events in while it waits or runs later jobs.
constexpr std::chrono::milliseconds kServeEvery{20};

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

AheadPool::AheadPool(unsigned workers, std::size_t capacity)
    : m_capacity(capacity < 1 ? 1 : capacity), m_slots(std::make_unique<Slot[]>(m_capacity)) {
    for (unsigned i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

AheadPool::~AheadPool() {
    end();
    {
        const std::lock_guard lock(m_mutex);
        m_quit.store(true);
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

std::size_t AheadPool::add(Job job) {
    const std::size_t index = m_added.load(std::memory_order_relaxed);
    Slot& free = slot(index);
    free.job = std::move(job);
    free.done.store(false, std::memory_order_relaxed);
    m_added.store(index + 1); // publishes the job to the claims
    return index;
}

void AheadPool::wake() {
    // Seen by a worker going to sleep (it counts itself idle, then looks for a job) or it sees
    // the job: either way none is lost.
    if (m_idle.load() > 0) {
        const std::lock_guard lock(m_mutex);
        m_wake.notify_all();
    }
}

bool AheadPool::done(std::size_t index) const {
    return slot(index).done.load(std::memory_order_acquire);
}

std::size_t AheadPool::claim() {
    std::size_t next = m_claimed.load(std::memory_order_relaxed);
    while (next < m_added.load(std::memory_order_acquire)) {
        if (m_claimed.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel))
            return next;
    }
    return kNone;
}

void AheadPool::run(std::size_t index, bool onTakingThread) {
    Slot& job = slot(index);
    job.job(onTakingThread);
    job.job = nullptr; // what it holds goes now, not when the slot is used again
    job.done.store(true);
    // The taking thread says which job it sleeps on before it looks at that job once more.
    if (!onTakingThread && m_waitingFor.load() == index) {
        const std::lock_guard lock(m_mutex);
        m_finished.notify_one();
    }
}

void AheadPool::work() {
    while (!m_quit.load(std::memory_order_relaxed)) {
        if (const std::size_t index = claim(); index != kNone) {
            run(index, false);
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_idle.fetch_add(1);
        m_wake.wait(lock, [this] { return m_quit.load() || m_claimed.load() < m_added.load(); });
        m_idle.fetch_sub(1);
    }
}

void AheadPool::waitFor(std::size_t index, bool help, const std::function<void()>& whileWaiting) {
    Slot& job = slot(index);
    auto served = std::chrono::steady_clock::now();
    while (!job.done.load(std::memory_order_acquire)) {
        if (help) {
            if (const std::size_t other = claim(); other != kNone) {
                run(other, true);
                // Many short jobs in a row, on a slow disk, still let the window's events in.
                if (const auto now = std::chrono::steady_clock::now();
                    now - served >= kServeEvery && whileWaiting) {
                    whileWaiting();
                    served = now;
                }
                continue;
            }
        }
        // Nothing left to run here: the job in hand is short more often than not, and a sleep
        // costs two system calls.
        for (int spin = 0; spin < 512 && !job.done.load(std::memory_order_acquire); ++spin)
            pause();
        if (job.done.load(std::memory_order_acquire))
            break;
        bool timedOut = false;
        {
            std::unique_lock lock(m_mutex);
            m_waitingFor.store(index);
            // A short sleep at a time: the window's events are served meanwhile.
            if (!job.done.load())
                timedOut = m_finished.wait_for(lock, kServeEvery) == std::cv_status::timeout;
            m_waitingFor.store(kNone);
        }
        if (timedOut && whileWaiting)
            whileWaiting();
    }
}

void AheadPool::settle(std::size_t index, const std::function<void()>& whileWaiting) {
    if (done(index))
        return;
    std::size_t next = index;
    // Not started yet: this thread runs it rather than wait.
    if (m_claimed.load() == index && m_claimed.compare_exchange_strong(next, index + 1))
        run(index, true);
    else
        waitFor(index, true, whileWaiting);
}

void AheadPool::take(std::size_t index, const std::function<void()>& whileWaiting) {
    // Jobs passed over are finished all the same: their slots are reused.
    for (; m_taken < index; ++m_taken)
        settle(m_taken, whileWaiting);
    settle(index, whileWaiting);
    m_taken = index + 1;
}

void AheadPool::end() {
    // Claims every job not started, then drops them.
    const std::size_t added = m_added.load(std::memory_order_relaxed);
    std::size_t first = m_claimed.load();
    while (first < added && !m_claimed.compare_exchange_weak(first, added)) {
    }
    for (std::size_t index = first; index < added; ++index) {
        slot(index).job = nullptr;
        slot(index).done.store(true, std::memory_order_relaxed);
    }
    for (; m_taken < std::min(first, added); ++m_taken)
        waitFor(m_taken, false, {});
    m_taken = added;
}

} // namespace karv
