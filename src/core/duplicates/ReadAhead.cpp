#include "duplicates/ReadAhead.h"

#include "run/Cores.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <system_error>
#include <vector>

namespace karv {

namespace {

enum JobState : int { kQueued, kRunning, kDone };

constexpr std::size_t kWakeAfterJobs = 16;
// Jobs a worker takes at once at least.
constexpr std::size_t kBatchJobs = 4;
// Yields before a caller waiting for a job a worker is reading goes to sleep.
constexpr int kSpinsBeforeSleep = 64;

} // namespace

struct ReadAhead::Job {
    std::string path;
    std::uint64_t size = 0;
    std::shared_ptr<const OpenFolder> folder; // the file's, while the walk is near it
    bool listedKnown = false;
    ListedState listed;
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
            read.contentHash = contentHashOf(read.bytes.view());
    } else {
        read.outcome = readPrefix(file, expectedSize, read.bytes, read.stats);
    }
    if (read.outcome == ReadOutcome::Done)
        read.prefixHash = prefixHashOf(read.bytes.view());
    return read;
}

ReadAhead::ReadAhead() : m_threads(machineCores()) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

ReadAhead::Ticket ReadAhead::submit(std::string path, std::uint64_t expectedSize, const ListedState* listed,
                                    std::shared_ptr<const OpenFolder> folder) {
    auto job = std::make_shared<Job>();
    job->path = std::move(path);
    job->size = expectedSize;
    job->folder = std::move(folder);
    if (listed != nullptr) {
        job->listedKnown = true;
        job->listed = *listed;
    }
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
        // Waking a worker costs about as much as a small read: they are woken for several jobs at
        // once, and a job none has reached when wanted is read by the caller.
        wake = m_queue.size() == kWakeAfterJobs;
        if (wake && m_workers.size() < m_threads) {
            try {
                m_workers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                m_threads = m_workers.size(); // no more threads to be had: the caller reads the rest
            }
        }
    }
    if (wake)
        m_wake.notify_all();
    return job;
}

void ReadAhead::runClaimed(Job& job) {
    // A small file is read whole at once: its state as listed stands for the status call on
    // opening, and the one after reading checks it.
    const bool asListed = job.listedKnown && job.size <= kWholeReadBytes;
    {
        ReadOnlyFile file(job.path, job.folder.get(), asListed ? &job.listed : nullptr);
        job.result = readFirst(file, job.size);
    }
    if (asListed && job.result.outcome == ReadOutcome::Failed) {
        // Changed since listed, or not read: as it is now, as any file is read.
        ReadOnlyFile file(job.path, job.folder.get(), nullptr);
        job.result = readFirst(file, job.size);
    }
    job.folder.reset(); // not held open longer than needed
}

FirstRead ReadAhead::take(const Ticket& ticket) {
    int expected = kQueued;
    if (ticket->state.compare_exchange_strong(expected, kRunning)) {
        // Not started by a worker: reading it here is quicker than waiting.
        runClaimed(*ticket);
        ticket->state.store(kDone, std::memory_order_release);
        return std::move(ticket->result);
    }
    // A first read takes a few microseconds: wait for it without sleeping first.
    for (int spin = 0; spin < kSpinsBeforeSleep && ticket->state.load(std::memory_order_acquire) != kDone;
         ++spin)
        std::this_thread::yield();
    if (ticket->state.load(std::memory_order_acquire) != kDone) {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_done.wait(lock, [&] { return ticket->state.load(std::memory_order_acquire) == kDone; });
        --m_waiting;
    }
    return std::move(ticket->result);
}

void ReadAhead::work() {
    std::vector<Ticket> batch;
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [&] { return m_ending || m_queue.size() >= kWakeAfterJobs; });
        // Once woken, on until the queue is empty; the jobs are taken a few at a time, so one lock
        // serves several reads and the other workers still find work.
        while (!m_ending && !m_queue.empty()) {
            const std::size_t share = std::max<std::size_t>(kBatchJobs, m_queue.size() / m_threads);
            const std::size_t count = std::min(share, m_queue.size());
            batch.assign(std::make_move_iterator(m_queue.begin()),
                         std::make_move_iterator(m_queue.begin() + static_cast<std::ptrdiff_t>(count)));
            m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count));
            lock.unlock();
            for (const Ticket& job : batch) {
                int expected = kQueued;
                if (job->state.compare_exchange_strong(expected, kRunning)) {
                    runClaimed(*job);
                    job->state.store(kDone, std::memory_order_release);
                }
            }
            batch.clear();
            lock.lock();
            if (m_waiting > 0)
                m_done.notify_all();
        }
        if (m_ending)
            return;
    }
}

} // namespace karv
