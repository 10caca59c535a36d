#pragma once

#include <sys/types.h>

namespace karv::files {

/// The kernel refuses a path of PATH_MAX (4,096) bytes or more with ENAMETOOLONG, yet a tree may
/// be deeper than that. A `ShortPath` reaches such a path in steps: it opens its leading folders a
/// piece at a time, each piece well below the limit, and leaves a folder descriptor plus the rest
/// of the path relative to it, which the *at calls accept. Links on the way are followed as
/// open(2) would follow them. A path short enough is left as it is, relative to AT_FDCWD.
/// The path text must outlive the object: `rest()` points into it.
class ShortPath {
public:
    explicit ShortPath(const char* path);
    ~ShortPath();
    ShortPath(const ShortPath&) = delete;
    ShortPath& operator=(const ShortPath&) = delete;

    /// The folder `rest()` is relative to: AT_FDCWD, or a descriptor owned by this object.
    int dir() const { return m_dir; }
    const char* rest() const { return m_rest; }
    /// 0, or the errno of the leading folder that could not be opened.
    int error() const { return m_error; }
    bool ok() const { return m_error == 0; }

private:
    int m_dir;
    const char* m_rest;
    int m_error = 0;
};

/// open(2) of a path of any length (see `ShortPath`): a descriptor, or -1 with errno set.
int openPath(const char* path, int flags, mode_t mode = 0);

} // namespace karv::files
