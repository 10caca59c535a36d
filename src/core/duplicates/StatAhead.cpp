#include "duplicates/StatAhead.h"

namespace karv {

namespace {

// About the time of one stat.
constexpr int kSpins = 256;

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

std::optional<FileStat> statIn(const OpenFolder* folder, const std::string& path) {
    if (folder != nullptr && folder->fd >= 0) {
        if (const char* name = folder->nameOf(path))
            return statFileAt(folder->fd, name);
    }
    return statFile(path);
}

} // namespace

StatAhead::~StatAhead() {
    end();
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void StatAhead::begin(const std::vector<std::string>& paths, std::shared_ptr<const OpenFolder> folder) {
    end();
    if (!m_thread.joinable())
        m_thread = std::thread(&StatAhead::work, this);
    if (paths.size() > m_capacity) {
        m_capacity = paths.size();
        m_state.reset(new std::atomic<std::uint8_t>[m_capacity]);
    }
    for (std::size_t i = 0; i < paths.size(); ++i)
        m_state[i].store(kFree, std::memory_order_relaxed);
    m_stats.resize(paths.size());
    m_next = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_paths = &paths;
        m_folder = std::move(folder);
        m_cancel = false;
        m_pending = true;
    }
    m_wake.notify_one();
}

std::optional<std::optional<FileStat>> StatAhead::take(const std::string& path) {
    if (m_paths == nullptr)
        return std::nullopt;
    // The walk hands the window's own strings: the address tells the element.
    std::size_t at = m_next;
    while (at < m_paths->size() && &(*m_paths)[at] != &path)
        ++at;
    if (at == m_paths->size())
        return std::nullopt;
    m_next = at + 1;
    std::uint8_t state = kFree;
    if (m_state[at].compare_exchange_strong(state, kTaken))
        return statIn(m_folder.get(), path); // the thread is behind: no waiting for it
    // The thread is on this very file: a stat's time, a few microseconds. When it lost its core
    // meanwhile, the search stats the file itself rather than wait for it.
    for (int spins = 0; spins < kSpins; ++spins) {
        if (m_state[at].load(std::memory_order_acquire) == kDone)
            return std::move(m_stats[at]);
        relax();
    }
    return statIn(m_folder.get(), path);
}

void StatAhead::end() {
    if (m_paths == nullptr)
        return;
    m_cancel = true;
    std::unique_lock lock(m_mutex);
    // A window the thread has not begun is simply withdrawn.
    m_pending = false;
    m_idle.wait(lock, [&] { return !m_busy; });
    m_paths = nullptr;
    m_folder.reset();
}

void StatAhead::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [&] { return m_ending || m_pending; });
        if (m_ending)
            return;
        m_pending = false;
        m_busy = true;
        const std::size_t count = m_paths->size();
        const std::vector<std::string>& paths = *m_paths;
        const OpenFolder* folder = m_folder.get();
        lock.unlock();
        for (std::size_t i = 0; i < count && !m_cancel.load(std::memory_order_relaxed); ++i) {
            std::uint8_t state = kFree;
            if (!m_state[i].compare_exchange_strong(state, kTaken))
                continue; // the search took it
            m_stats[i] = statIn(folder, paths[i]);
            m_state[i].store(kDone, std::memory_order_release);
        }
        lock.lock();
        m_busy = false;
        m_idle.notify_one();
    }
}

} // namespace karv
