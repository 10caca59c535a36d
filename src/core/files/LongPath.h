#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

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
    void walkFrom(const char* rest, int dir);
    bool reachNear(const char* path, std::size_t length);

    int m_dir;
    const char* m_rest;
    int m_error = 0;
};

/// While one exists (on its thread), a path too long for the kernel is reached from the nearest
/// folder a recent long path led to, not from the root again: a run working its way through a
/// deep tree then pays a few short lookups per path instead of the whole depth every time, so
/// its cost stays linear in the tree. The last few such folders are held open; a path is taken
/// to lead where it led when its folder was reached (the run does not rename the folders it
/// works in). Paths below the kernel's limit are not affected.
class NearFolders {
public:
    static constexpr std::size_t kKept = 8;

    NearFolders();
    ~NearFolders();
    NearFolders(const NearFolders&) = delete;
    NearFolders& operator=(const NearFolders&) = delete;

private:
    friend class ShortPath;
    struct Folder {
        std::string path; ///< without a trailing "/"
        int fd = -1;
        std::uint64_t used = 0;
    };

    /// The longest kept folder that `path` lies in (its text followed by "/"), or null.
    const Folder* nearest(const char* path, std::size_t folderLength);
    void keep(const char* path, std::size_t folderLength, int fd);

    std::vector<Folder> m_folders;
    std::uint64_t m_clock = 0;
    NearFolders* m_outer;
};

/// open(2) of a path of any length (see `ShortPath`): a descriptor, or -1 with errno set.
int openPath(const char* path, int flags, mode_t mode = 0);

/// An O_PATH descriptor of the folder `path` (of any length), reached one name at a time from "/"
/// (or from the working folder for a relative path) without following a symbolic link anywhere on
/// the way: a link in any component fails with ELOOP or ENOTDIR. -1 with errno set.
int openFolderNoFollow(const char* path);

} // namespace karv::files
