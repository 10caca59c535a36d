#include "scan/OpenFolders.h"

#include "files/LongPath.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

namespace {

// A quarter of the process's descriptors at most: reading a folder, the filters' file reads and
// the front end need the rest.
std::size_t descriptorShare(std::size_t wanted) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        wanted = std::min<std::size_t>(wanted, static_cast<std::size_t>(limit.rlim_cur / 4));
    return std::max<std::size_t>(wanted, 2);
}

} // namespace

OpenFolders::OpenFolders(std::size_t maxOpen) : m_maxOpen(descriptorShare(maxOpen)) {}

OpenFolders::~OpenFolders() {
    for (Level& level : m_levels)
        closeLevel(level);
}

bool OpenFolders::record(Level& level, int fd) {
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0) {
        level.fd = fd;
        level.known = true;
        level.device = info.st_dev;
        level.inode = info.st_ino;
        ++m_open;
        return true;
    }
    if (fd >= 0)
        ::close(fd);
    return false;
}

void OpenFolders::closeLevel(Level& level) {
    if (level.fd >= 0) {
        ::close(level.fd);
        level.fd = -1;
        --m_open;
    }
}

int OpenFolders::openChild(int parentFd, const std::string& name, bool follow) {
    if (parentFd < 0)
        return -1;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
    int fd;
    do
        fd = ::openat(parentFd, name.c_str(), flags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool OpenFolders::openRoot(const std::string& path) {
    for (Level& level : m_levels)
        closeLevel(level);
    m_levels.clear();
    m_firstOpen = 1;
    m_levels.push_back({path});
    return record(m_levels.back(),
                  files::openPath(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY));
}

bool OpenFolders::enter(const std::string& name, bool followLink) {
    const int parent = current();
    int fd = openChild(parent, name, followLink);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && m_open > 2) {
        // The process is short of descriptors: keep fewer folders open from now on.
        m_maxOpen = std::max<std::size_t>(m_open / 2, 2);
        limitOpen();
        fd = openChild(parent, name, followLink);
    }
    m_levels.push_back({name});
    m_levels.back().follow = followLink;
    const bool opened = record(m_levels.back(), fd);
    limitOpen();
    return opened;
}

void OpenFolders::leave() {
    if (m_levels.empty())
        return;
    closeLevel(m_levels.back());
    m_levels.pop_back();
    m_firstOpen = std::clamp<std::size_t>(m_firstOpen, 1, std::max<std::size_t>(m_levels.size(), 1));
}

void OpenFolders::limitOpen() {
    // The shallowest open ones go first (the root stays): the walk needs the deepest again soonest.
    while (m_open > m_maxOpen && m_firstOpen + 1 < m_levels.size()) {
        closeLevel(m_levels[m_firstOpen]);
        ++m_firstOpen;
    }
}

bool OpenFolders::reopen() {
    // From the root down, each level by its name, keeping only the deepest open; a level that is
    // no longer the folder it was ends the way down.
    for (std::size_t i = 1; i < m_levels.size(); ++i) {
        Level& level = m_levels[i];
        if (level.fd >= 0)
            continue;
        if (!level.known)
            return false;
        const int fd = openChild(m_levels[i - 1].fd, level.name, level.follow);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_dev != level.device || info.st_ino != level.inode) {
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        level.fd = fd;
        ++m_open;
        if (i < m_firstOpen)
            m_firstOpen = i;
        limitOpen();
    }
    return true;
}

int OpenFolders::current() {
    if (m_levels.empty())
        return -1;
    Level& top = m_levels.back();
    if (top.fd >= 0 || !top.known)
        return top.fd;
    return reopen() ? top.fd : -1;
}

bool OpenFolders::known() const {
    return !m_levels.empty() && m_levels.back().known;
}

dev_t OpenFolders::device() const {
    return m_levels.empty() ? 0 : m_levels.back().device;
}

ino_t OpenFolders::inode() const {
    return m_levels.empty() ? 0 : m_levels.back().inode;
}

bool OpenFolders::loops() const {
    if (!known())
        return false;
    const Level& top = m_levels.back();
    return std::any_of(m_levels.begin(), m_levels.end() - 1, [&](const Level& level) {
        return level.known && level.device == top.device && level.inode == top.inode;
    });
}

} // namespace karv
