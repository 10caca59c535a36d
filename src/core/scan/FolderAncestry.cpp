#include "scan/FolderAncestry.h"

#include <algorithm>
#include <sys/stat.h>

namespace karv {

bool FolderAncestry::enter(const std::string& folder) {
    struct stat identity {};
    if (::stat(folder.empty() ? "/" : folder.c_str(), &identity) != 0) {
        m_path.emplace_back(0, 0); // keeps enter and leave paired
        return true;
    }
    const std::pair<dev_t, ino_t> id{identity.st_dev, identity.st_ino};
    if (std::find(m_path.begin(), m_path.end(), id) != m_path.end())
        return false;
    m_path.push_back(id);
    return true;
}

} // namespace karv
