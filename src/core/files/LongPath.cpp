#include "files/LongPath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace karv::files {

namespace {

// Well below PATH_MAX, so a piece always fits whatever the kernel counts.
constexpr std::size_t kPiece = 3072;

thread_local NearFolders* t_near = nullptr;

int openFolderAt(int dir, const std::string& piece) {
    int fd;
    do
        fd = ::openat(dir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

ShortPath::ShortPath(const char* path) : m_dir(AT_FDCWD), m_rest(path) {
    const std::size_t length = std::strlen(path);
    if (length >= kPiece && path[0] == '/' && t_near != nullptr && reachNear(path, length))
        return;
    walkFrom(path, AT_FDCWD);
}

void ShortPath::walkFrom(const char* rest, int dir) {
    m_dir = dir;
    std::size_t length = std::strlen(rest);
    while (length >= kPiece) {
        // The longest leading piece that ends at a separator and stays below the limit.
        std::size_t cut = kPiece;
        while (cut > 0 && rest[cut] != '/')
            --cut;
        const std::string piece = cut == 0 ? std::string("/") : std::string(rest, cut);
        if (cut == 0 && rest[0] != '/') {
            m_error = ENAMETOOLONG; // one name longer than any file system allows
            break;
        }
        const int next = openFolderAt(m_dir, piece);
        const int error = errno;
        if (m_dir != AT_FDCWD)
            ::close(m_dir);
        m_dir = next;
        if (next < 0) {
            m_error = error;
            break;
        }
        rest += cut;
        while (*rest == '/')
            ++rest;
        length = std::strlen(rest);
        if (length == 0) {
            rest = ".";
            break;
        }
    }
    m_rest = rest;
}

bool ShortPath::reachNear(const char* path, std::size_t length) {
    // The folder the last name lies in (trailing and doubled "/" ignored).
    std::size_t end = length;
    while (end > 0 && path[end - 1] == '/')
        --end;
    std::size_t nameStart = end;
    while (nameStart > 0 && path[nameStart - 1] != '/')
        --nameStart;
    if (nameStart == 0 || end - nameStart >= kPiece)
        return false;
    std::size_t folderLength = nameStart - 1;
    while (folderLength > 0 && path[folderLength - 1] == '/')
        --folderLength;
    if (folderLength == 0)
        return false;

    NearFolders& near = *t_near;
    int dir = AT_FDCWD;
    const char* from = path;
    const char* const folderEnd = path + folderLength;
    if (const NearFolders::Folder* kept = near.nearest(path, folderLength)) {
        dir = ::fcntl(kept->fd, F_DUPFD_CLOEXEC, 0);
        if (dir < 0)
            return false; // short of descriptors: the plain walk needs none kept
        from = path + kept->path.size();
    }
    // The rest of the folder in pieces below the limit, each ending at a separator.
    while (true) {
        while (from < folderEnd && *from == '/' && dir != AT_FDCWD)
            ++from;
        if (from >= folderEnd)
            break;
        std::size_t take = static_cast<std::size_t>(folderEnd - from);
        if (take >= kPiece) {
            take = kPiece;
            while (take > 0 && from[take] != '/')
                --take;
            if (take == 0) {
                if (dir != AT_FDCWD)
                    ::close(dir);
                m_dir = -1;
                m_error = ENAMETOOLONG; // one name longer than any file system allows
                return true;
            }
        }
        const int next = openFolderAt(dir, std::string(from, take));
        const int error = errno;
        if (dir != AT_FDCWD)
            ::close(dir);
        dir = next;
        if (next < 0) {
            m_dir = -1;
            m_error = error;
            return true;
        }
        from += take;
    }
    near.keep(path, folderLength, dir);
    m_dir = dir;
    m_rest = path + nameStart;
    return true;
}

ShortPath::~ShortPath() {
    // The caller reads errno of its own call after this object is gone.
    const int saved = errno;
    if (m_dir >= 0)
        ::close(m_dir);
    errno = saved;
}

NearFolders::NearFolders() : m_outer(t_near) {
    t_near = this;
}

NearFolders::~NearFolders() {
    for (const Folder& folder : m_folders)
        ::close(folder.fd);
    t_near = m_outer;
}

const NearFolders::Folder* NearFolders::nearest(const char* path, std::size_t folderLength) {
    Folder* best = nullptr;
    for (Folder& folder : m_folders) {
        const std::size_t n = folder.path.size();
        if (n > folderLength || (best != nullptr && n <= best->path.size()))
            continue;
        if (n < folderLength && path[n] != '/')
            continue;
        // The ends first: the kept folders of a deep walk differ from a path mostly in their last names.
        const std::size_t tail = std::min<std::size_t>(n, 64);
        if (std::memcmp(path + n - tail, folder.path.data() + n - tail, tail) != 0 ||
            std::memcmp(path, folder.path.data(), n - tail) != 0)
            continue;
        best = &folder;
    }
    if (best != nullptr)
        best->used = ++m_clock;
    return best;
}

void NearFolders::keep(const char* path, std::size_t folderLength, int fd) {
    for (Folder& folder : m_folders) {
        if (folder.path.size() == folderLength && std::memcmp(folder.path.data(), path, folderLength) == 0) {
            folder.used = ++m_clock;
            return;
        }
    }
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return;
    if (m_folders.size() >= kKept) {
        const auto oldest =
            std::min_element(m_folders.begin(), m_folders.end(),
                             [](const Folder& a, const Folder& b) { return a.used < b.used; });
        ::close(oldest->fd);
        m_folders.erase(oldest);
    }
    m_folders.push_back({std::string(path, folderLength), own, ++m_clock});
}

int openPath(const char* path, int flags, mode_t mode) {
    const ShortPath at(path);
    if (!at.ok()) {
        errno = at.error();
        return -1;
    }
    int fd;
    do
        fd = ::openat(at.dir(), at.rest(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int openFolderNoFollow(const char* path) {
    int dir = AT_FDCWD;
    const char* at = path;
    if (*at == '/') {
        dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return -1;
    }
    while (true) {
        while (*at == '/')
            ++at;
        const char* end = at;
        while (*end != '\0' && *end != '/')
            ++end;
        if (end == at)
            break;
        const std::string name(at, end);
        int next;
        do
            next = ::openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        while (next < 0 && errno == EINTR);
        // O_PATH with O_NOFOLLOW may open the link itself instead of refusing it.
        struct stat info {};
        if (next >= 0 && (::fstat(next, &info) != 0 || !S_ISDIR(info.st_mode))) {
            ::close(next);
            next = -1;
            errno = ELOOP;
        }
        const int error = errno;
        if (dir != AT_FDCWD)
            ::close(dir);
        if (next < 0) {
            errno = error;
            return -1;
        }
        dir = next;
        at = end;
    }
    if (dir == AT_FDCWD)
        return ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return dir;
}

} // namespace karv::files
