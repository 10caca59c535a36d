#include "duplicates/ReadAhead.h"

#include <algorithm>
#include <atomic>

namespace karv {

namespace {

enum JobState : int { kQueued, kRunning, kDone };

constexpr std::size_t kWakeAfterJobs = 16;

} // namespace

struct ReadAhead::Job {
    std::string path;
    std::uint64_t size = 0;
    std::atomic<int> state{kQueued};
    FirstRead result;
};

FirstRead readFirst(ReadOnlyFile& file, std::uint64_t expectedSize) {
    FirstRead read;
    if (!file.isOpen() || file.size() != expectedSize)
        return read;
    read.identity = file.identity();
    read.changedNs = file.changedNs();
    // Hashed where read, so that the second thread does this work too.
    if (expectedSize <= kWholeReadBytes) {
        read.outcome = readWholeSmall(file, expectedSize, read.bytes, read.stats);
        if (read.outcome == ReadOutcome::Done)
            read.contentHash = contentHashOf(read.bytes);
    } else {
        read.outcome = readPrefix(file, expectedSize, read.bytes, read.stats);
    }
    if (read.outcome == ReadOutcome::Done)
        read.prefixHash = prefixHashOf(read.bytes);
    return read;
}

ReadAhead::ReadAhead() = default;

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

ReadAhead::Ticket ReadAhead::submit(std::string path, std::uint64_t expectedSize) {
    auto job = std::make_shared<Job>();
    job->path = std::move(path);
    job->size = expectedSize;
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
        if (!m_worker.joinable())
            m_worker = std::thread([this] { work(); });
        // Waking the worker costs about as much as a small read: it is woken for several jobs at
        // once, and a job it has not reached when wanted is read by the caller.
        wake = m_queue.size() == kWakeAfterJobs;
    }
    if (wake)
        m_wake.notify_one();
    return job;
}

void ReadAhead::runClaimed(Job& job) {
    ReadOnlyFile file(job.path);
    job.result = readFirst(file, job.size);
}

FirstRead ReadAhead::take(const Ticket& ticket) {
    int expected = kQueued;
    if (ticket->state.compare_exchange_strong(expected, kRunning)) {
        // Not started by the worker: reading it here is quicker than waiting.
        runClaimed(*ticket);
        ticket->state.store(kDone, std::memory_order_release);
        return std::move(ticket->result);
    }
    if (ticket->state.load(std::memory_order_acquire) != kDone) {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_done.wait(lock, [&] { return ticket->state.load(std::memory_order_acquire) == kDone; });
        --m_waiting;
    }
    return std::move(ticket->result);
}

void ReadAhead::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [&] { return m_ending || m_queue.size() >= kWakeAfterJobs; });
        // Once woken, on until the queue is empty.
        while (!m_ending && !m_queue.empty()) {
            const Ticket job = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            int expected = kQueued;
            const bool mine = job->state.compare_exchange_strong(expected, kRunning);
            if (mine) {
                runClaimed(*job);
                job->state.store(kDone, std::memory_order_release);
            }
            lock.lock();
            if (mine && m_waiting > 0)
                m_done.notify_all();
        }
        if (m_ending)
            return;
    }
}

} // namespace karv
