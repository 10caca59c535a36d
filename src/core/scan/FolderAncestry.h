#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace karv {

/// The identities (device, inode) of the folders on the current path of a walk. A folder that is
/// one of its own ancestors, reached again through a symbolic link, is not entered a second time,
/// so every walk ends.
class FolderAncestry {
public:
    /// Steps into `folder`; false (and nothing to leave) when it is already on the path. A folder
    /// that cannot be examined is entered: reading it will find nothing either.
    bool enter(const std::string& folder);
    /// Steps back out of the folder entered last.
    void leave() { m_path.pop_back(); }
    void clear() { m_path.clear(); }

private:
    std::vector<std::pair<dev_t, ino_t>> m_path;
};

} // namespace karv
