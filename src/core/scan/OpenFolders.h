#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace karv {

/// The folders from a walk's root down to the folder being read, held as descriptors: each
/// folder is opened by its name relative to its parent, so a walk reaches any depth (the kernel's
/// path limit never applies), and a folder swapped for a link meanwhile is not followed. Only
/// the deepest `maxOpen` stay open, so 5,000 levels fit a limit of 1,024 descriptors; a closed
/// one is reopened from the root when the walk comes back to it, and used only if it is still
/// the same folder. At most a quarter of the process's descriptor limit is used.
class OpenFolders {
public:
    static constexpr std::size_t kMaxOpen = 128;

    explicit OpenFolders(std::size_t maxOpen = kMaxOpen);
    ~OpenFolders();
    OpenFolders(const OpenFolders&) = delete;
    OpenFolders& operator=(const OpenFolders&) = delete;

    /// Starts at `path` (a link there is followed: it is the folder the user chose). False when it
    /// cannot be opened; it is the current folder all the same, one without entries.
    bool openRoot(const std::string& path);
    /// Steps into `name` of the current folder; a symbolic link is followed only when
    /// `followLink`. False when it cannot be opened; it is the current folder all the same, one
    /// without entries, and `leave` steps back out of it.
    bool enter(const std::string& name, bool followLink);
    void leave();

    /// The current folder's descriptor; -1 when it cannot be opened or reached again.
    int current();
    /// Whether the current folder was opened; only then its identity is known.
    bool known() const;
    dev_t device() const;
    ino_t inode() const;
    /// Whether the current folder is also one of its ancestors (a loop through a bind mount or a
    /// followed link).
    bool loops() const;
    std::size_t depth() const { return m_levels.size(); }
    std::size_t openCount() const { return m_open; }

private:
    struct Level {
        std::string name;
        int fd = -1;
        bool known = false;
        bool follow = false;
        dev_t device = 0;
        ino_t inode = 0;
    };

    int openChild(int parentFd, const std::string& name, bool follow);
    bool record(Level& level, int fd);
    void closeLevel(Level& level);
    void limitOpen();
    bool reopen();

    std::vector<Level> m_levels;
    std::size_t m_maxOpen;
    std::size_t m_open = 0;
    std::size_t m_firstOpen = 1; ///< levels below this one (the root excepted) are closed
};

} // namespace karv
