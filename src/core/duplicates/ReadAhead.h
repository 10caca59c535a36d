#pragma once

#include "duplicates/ContentCompare.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace karv {

/// What the first read of a file gave: its whole content when it is small (at most
/// `kWholeReadBytes`), else its first `kPrefixBytes`; and what the file looked like when opened.
struct FirstRead {
    ReadOutcome outcome = ReadOutcome::Failed;
    ReadBytes bytes;
    std::uint64_t prefixHash = 0;
    ContentHash contentHash; ///< of a small file's whole content
    FileIdentity identity;
    std::int64_t changedNs = 0; ///< the status change time when opened
    bool fromCache = false;     ///< nothing read: the hashes are those kept for this very file state
    bool contentKnown = true;   ///< from the cache: with the whole content's hash, not only the prefix's
    ReadStats stats;
};

/// Reads the file through `file` (opened by the caller) as `FirstRead` describes.
FirstRead readFirst(ReadOnlyFile& file, std::uint64_t expectedSize);

/// First reads done by workers (one per core) a few files ahead of the duplicate search, which
/// still decides file by file in walk order: only the reading moves, so the groups are those of
/// reading in turn. A job no worker has started yet when its result is wanted is run by the caller.
class ReadAhead {
public:
    struct Job;
    using Ticket = std::shared_ptr<Job>;

    ReadAhead();
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// `listed`: the file as the walk listed it, when known (a small file is then read with one
    /// status call fewer).
    Ticket submit(std::string path, std::uint64_t expectedSize, const ListedState* listed,
                  std::shared_ptr<const OpenFolder> folder);
    /// The result of the job, waiting for the worker that is reading it right now.
    FirstRead take(const Ticket& ticket);

private:
    void work();
    static void runClaimed(Job& job);

    std::mutex m_mutex;
    std::condition_variable m_wake; // the workers: new jobs or the end
    std::condition_variable m_done; // a caller waiting for a job a worker runs
    std::deque<Ticket> m_queue;
    int m_waiting = 0;
    bool m_ending = false;
    std::size_t m_threads;              // workers at most: one per core
    std::vector<std::thread> m_workers; // started as work comes
};

} // namespace karv
