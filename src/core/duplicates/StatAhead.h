#pragma once

#include "duplicates/FileReading.h"
#include "files/FileFacts.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace karv {

/// Stats the files of a window of the walk on a thread of its own, by their names in their open
/// folder, while the duplicate search decides the files before them: the stat of a file is the one
/// the search would have made, made a little earlier. Each file is stat'ed by whichever of the two
/// comes to it first: the search never sleeps waiting for the thread (only when the thread lost its
/// core in the middle of a stat does the search stat that file again itself).
class StatAhead {
public:
    StatAhead() = default;
    ~StatAhead();
    StatAhead(const StatAhead&) = delete;
    StatAhead& operator=(const StatAhead&) = delete;

    /// Starts on `paths` (files of `folder`, in the order they will be asked for; some may not be).
    /// `paths` must stay as it is until `end`.
    void begin(const std::vector<std::string>& paths, std::shared_ptr<const OpenFolder> folder);
    /// The stat of `path` when it is the very element of the window the walk handed (its address);
    /// nothing when it is not in the window (the caller stats it). Files of the window before it
    /// that were not asked for are passed over.
    std::optional<std::optional<FileStat>> take(const std::string& path);
    /// The window ends: the thread stops on it before the paths go.
    void end();

private:
    enum : std::uint8_t { kFree, kTaken, kDone };
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake; // the thread: a window, or the end
    std::condition_variable m_idle; // the search: the thread left the window
    const std::vector<std::string>* m_paths = nullptr;
    std::shared_ptr<const OpenFolder> m_folder;
    std::vector<std::optional<FileStat>> m_stats;
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_state; // per element: free, taken, done
    std::size_t m_capacity = 0;
    std::size_t m_next = 0;             // the next element the search may ask for
    std::atomic<bool> m_cancel = false; // the window ends
    bool m_pending = false;             // a window the thread has not begun
    bool m_busy = false;                // the thread works on the window
    bool m_ending = false;
    std::thread m_thread; // started with the first window
};

} // namespace karv
