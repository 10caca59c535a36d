#include "classify/PlacementFiles.h"

#include "values/ValueText.h"

#include <cstdlib>
#include <sys/stat.h>

namespace karv {

std::string PlacementFiles::resolvedFolder(const std::string& folder) {
    char* resolved = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (resolved == nullptr)
        return folder;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool PreviewFiles::onDisk(const std::string& path) const {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool PreviewFiles::exists(const std::string& path) {
    return m_added.count(path) != 0 || (m_removed.count(path) == 0 && onDisk(path));
}

bool PreviewFiles::sameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (m_added.count(a) != 0 || m_added.count(b) != 0 || m_removed.count(a) != 0 || m_removed.count(b) != 0)
        return false;
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool PreviewFiles::makeFolder(const std::string& path) {
    if (exists(path))
        return false;
    m_added.insert(path);
    m_folders.insert(path);
    return true;
}

bool PreviewFiles::isFolder(const std::string& path) {
    if (m_folders.count(path) != 0)
        return true;
    struct stat info {};
    return m_removed.count(path) == 0 && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

PlaceResult PreviewFiles::place(const std::string& source, const std::string& target, bool removeSource) {
    if (!exists(source) || isFolder(source))
        return PlaceResult::Failed;
    if (exists(target))
        return isFolder(target) ? PlaceResult::Failed : PlaceResult::TargetExists;
    const std::string folder = folderPart(target);
    if (!folder.empty() && !isFolder(folder))
        return PlaceResult::Failed;
    if (removeSource) {
        m_added.erase(source);
        m_removed.insert(source);
    }
    m_removed.erase(target);
    m_added.insert(target);
    return PlaceResult::Done;
}

PlaceResult PreviewFiles::move(const std::string& source, const std::string& target) {
    return place(source, target, true);
}

PlaceResult PreviewFiles::copy(const std::string& source, const std::string& target) {
    return place(source, target, false);
}

} // namespace karv
