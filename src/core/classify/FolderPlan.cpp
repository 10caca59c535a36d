#include "classify/FolderPlan.h"

#include "scan/Enumerate.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unordered_set>

namespace karv {

std::vector<ClassificationRun::PlannedFolder>
ClassificationRun::folderPlan(const std::string& entry, bool recurse, const KeepGoing& keepGoing) {
    std::vector<PlannedFolder> plan;
    // The entry folder's identity is taken as the walk opens it (a link there is followed).
    OpenFolders root;
    plan.push_back({entry, 0, root.openRoot(entry), root.device(), root.inode()});
    if (!recurse)
        return plan;
    // Every folder once, and symbolic links to folders are not entered: the run stays inside the
    // chosen tree and never moves files out of a tree that is only linked into it.
    std::unordered_set<std::string> seen;
    auto identity = [](dev_t device, ino_t inode) {
        return std::to_string(device) + ":" + std::to_string(inode);
    };
    if (plan[0].known)
        seen.insert(identity(plan[0].device, plan[0].inode));
    std::vector<PlannedFolder> stack{plan[0]};
    plan.clear();
    PlanWalk walk(plan);
    while (!stack.empty()) {
        plan.push_back(std::move(stack.back()));
        stack.pop_back();
        const std::size_t here = plan.size() - 1;
        const int fd = walk.visit(here) ? walk.current() : -1;
        const std::vector<DirectoryEntry> entries = listDirectory(fd);
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            struct stat info {};
            if (it->kind != DirectoryEntry::Kind::Folder ||
                ::fstatat(fd, it->name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode))
                continue;
            if (seen.insert(identity(info.st_dev, info.st_ino)).second)
                stack.push_back({it->name, here, true, info.st_dev, info.st_ino});
        }
        if (keepGoing && !keepGoing())
            break;
    }
    return plan;
}

} // namespace karv
