// The files a filter stage works on ahead of the run's thread. The walk lists folders on ahead and
// queues their files, each folder held open until its files are filtered, so that the stage's
// workers never run dry at a folder's end or behind one large file; the files are filtered, listed
// and collected on the run's thread in walk order, as if one at a time.
#include "scan/Enumerate.h"
#include "scan/FilterRun.h"
#include "scan/OpenFolders.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace karv {

/// A copy of an open folder's descriptor, kept while its files are worked on ahead: the walk has
/// closed its own by then.
class HeldFolder {
public:
    explicit HeldFolder(int fd) : m_fd(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1) {}
    ~HeldFolder() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

namespace {

/// What the queue may hold: enough for every core to go on while one reads a large file, little
/// enough that a stop wastes nothing worth waiting for.
constexpr std::size_t kQueueFiles = 2048;
constexpr std::size_t kQueueBytes = std::size_t{4} << 20; ///< of paths
constexpr std::size_t kQueueFolders = 256;

/// Folders held open at most: an eighth of the descriptor limit, beside the walk's quarter.
std::size_t folderLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kQueueFolders;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur / 8), 1, kQueueFolders);
}

/// Paths are made a window at a time: a folder of a million files holds its names, not its paths.
constexpr std::size_t kWindow = 256;

std::string childPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace

bool FilterRun::filterFiles(OpenFolders& open, std::uint64_t serial, const std::string& folder,
                            const std::vector<DirectoryEntry>& entries,
                            const std::vector<std::size_t>& files) {
    if (files.empty()) {
        // Nothing to judge here: a folder of folders does not hold up the files queued before it.
        if (m_queuedFiles == 0)
            judgeFolder(serial, folder);
        return true;
    }
    const bool ahead = m_filter != nullptr && m_filter->readsAhead();
    if (!ahead) {
        // Files of earlier folders still queued come first: rows keep the walk's order.
        if (!drainQueued(Drain::All))
            return false;
        judgeFolder(serial, folder);
    }
    std::shared_ptr<HeldFolder> held;
    if (ahead) {
        held = std::make_shared<HeldFolder>(open.current());
        if (m_maxHeldFolders == 0)
            m_maxHeldFolders = folderLimit();
    }
    for (std::size_t start = 0; start < files.size(); start += kWindow) {
        std::vector<std::string> paths;
        for (std::size_t k = start; k < std::min(files.size(), start + kWindow); ++k)
            paths.push_back(childPath(folder, entries[files[k]].name));
        if (!ahead) {
            if (!filterWindow(paths))
                return false;
            continue;
        }
        m_filter->lookAhead(paths, held->fd());
        m_queuedFiles += paths.size();
        for (const std::string& path : paths)
            m_queuedBytes += path.size();
        // Folders are counted as runs of windows: a drain may have emptied the queue mid-folder.
        if (m_queued.empty() || m_queued.back().serial != serial)
            ++m_heldFolders;
        m_queued.push_back({serial, folder, held, std::move(paths), 0});
        // Over budget: the run's thread filters (and helps the workers) until half is left.
        if (queueOver(1) && !drainQueued(Drain::Half))
            return false;
    }
    // What is answered already is listed now, so rows keep coming while the walk goes on.
    return drainQueued(Drain::Ready);
}

bool FilterRun::queueOver(std::size_t part) const {
    return m_queuedFiles * part > kQueueFiles || m_queuedBytes * part > kQueueBytes ||
           m_heldFolders * part > m_maxHeldFolders;
}

bool FilterRun::drainQueued(Drain until) {
    while (m_queuedFiles > 0) {
        if (until == Drain::Ready && !m_filter->nextReady())
            return true;
        if (until == Drain::Half && !queueOver(2))
            return true;
        QueuedWindow& window = m_queued.front();
        if (window.serial != m_judgedSerial)
            judgeFolder(window.serial, window.folder);
        const std::string& path = window.paths[window.next++];
        --m_queuedFiles;
        m_queuedBytes -= path.size();
        if (!filterOne(path))
            return false;
        if (window.next == window.paths.size()) {
            const std::uint64_t serial = window.serial;
            m_queued.pop_front();
            if (m_queued.empty() || m_queued.front().serial != serial)
                --m_heldFolders;
        }
    }
    return true;
}

void FilterRun::dropQueued() {
    // The workers are done with the folders before these close.
    if (m_filter != nullptr)
        m_filter->endLookAhead();
    m_queued.clear();
    m_queuedFiles = 0;
    m_queuedBytes = 0;
    m_heldFolders = 0;
    m_maxHeldFolders = 0; // the limit is read again as the next run starts
}

} // namespace karv
