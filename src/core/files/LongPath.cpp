#include "files/LongPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace karv::files {

namespace {

// Well below PATH_MAX, so a piece always fits whatever the kernel counts.
constexpr std::size_t kPiece = 3072;

} // namespace

ShortPath::ShortPath(const char* path) : m_dir(AT_FDCWD), m_rest(path) {
    const char* rest = path;
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
        int next;
        do
            next = ::openat(m_dir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        while (next < 0 && errno == EINTR);
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

ShortPath::~ShortPath() {
    // The caller reads errno of its own call after this object is gone.
    const int saved = errno;
    if (m_dir >= 0)
        ::close(m_dir);
    errno = saved;
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

} // namespace karv::files
