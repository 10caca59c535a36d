#include "duplicates/StatAhead.h"

#include "run/Cores.h"

#include <algorithm>

namespace karv {

namespace {

// Polls of an empty ring before the thread sleeps: the walk's next file is usually a listing away,
// and a sleep costs a wake for every file after it.
constexpr int kSpinsBeforeSleep = 512;

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

StatAhead::StatAhead(const DigestCache* cache) : m_cache(cache), m_slots(new Slot[kSlots]) {
    m_thread = std::thread(&StatAhead::work, this);
}

StatAhead::~StatAhead() {
    m_ending.store(true);
    m_wakes.fetch_add(1);
    m_wakes.notify_one();
    m_thread.join();
}

bool StatAhead::worthIt() {
    return machineCores() >= 2;
}

void StatAhead::statJob(StatJob& job) const {
    const OpenFolder* folder = job.folder.get();
    const char* name = folder != nullptr && folder->fd >= 0 ? folder->nameOf(job.path) : nullptr;
    job.stat = name != nullptr ? statFileAt(folder->fd, name) : statFile(job.path);
    if (m_cache != nullptr && job.stat) {
        const FileStat& st = *job.stat;
        job.kept = m_cache->lookup({st.device, st.inode, st.size, st.modifiedNs, st.changedNs});
        job.looked = true;
    }
}

void StatAhead::push(StatJob job, bool known) {
    Slot& slot = m_slots[m_head % kSlots];
    slot.job = std::move(job);
    slot.state.store(known ? kDone : kQueued, std::memory_order_release);
    ++m_head;
    m_published.store(m_head);
    if (m_sleeping.load()) {
        m_wakes.fetch_add(1);
        m_wakes.notify_one();
    }
}

StatJob* StatAhead::front(bool wait) {
    if (m_tail == m_head)
        return nullptr;
    Slot& slot = m_slots[m_tail % kSlots];
    std::uint8_t state = slot.state.load(std::memory_order_acquire);
    if (state == kDone)
        return &slot.job;
    if (!wait)
        return nullptr;
    if (state == kQueued && slot.state.compare_exchange_strong(state, kTaken, std::memory_order_acquire)) {
        statJob(slot.job);
        slot.state.store(kDone, std::memory_order_relaxed);
        return &slot.job;
    }
    // The thread is on this very file: one stat's time.
    while (slot.state.load(std::memory_order_acquire) != kDone)
        relax();
    return &slot.job;
}

void StatAhead::pop() {
    Slot& slot = m_slots[m_tail % kSlots];
    slot.job = StatJob{};
    slot.state.store(kFree, std::memory_order_release);
    ++m_tail;
    m_popped.store(m_tail, std::memory_order_release);
}

void StatAhead::work() {
    std::uint64_t next = 0;
    while (!m_ending.load(std::memory_order_relaxed)) {
        next = std::max(next, m_popped.load(std::memory_order_acquire));
        const std::uint64_t published = m_published.load(std::memory_order_acquire);
        if (next < published) {
            Slot& slot = m_slots[next % kSlots];
            std::uint8_t state = kQueued;
            // A slot the search claimed, or one filled again after the search took it, is passed.
            if (slot.state.compare_exchange_strong(state, kTaken, std::memory_order_acquire)) {
                statJob(slot.job);
                slot.state.store(kDone, std::memory_order_release);
            }
            ++next;
            continue;
        }
        bool more = false;
        for (int spin = 0; spin < kSpinsBeforeSleep && !more; ++spin) {
            relax();
            more = m_published.load(std::memory_order_relaxed) != published;
        }
        if (more)
            continue;
        m_sleeping.store(true);
        const std::uint32_t wakes = m_wakes.load();
        if (m_published.load() == published && !m_ending.load())
            m_wakes.wait(wakes);
        m_sleeping.store(false);
    }
}

} // namespace karv
