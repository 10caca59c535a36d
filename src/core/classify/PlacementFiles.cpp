#include "classify/PlacementFiles.h"

#include "files/FileOps.h"
#include "values/ValueText.h"

#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace karv {

std::optional<files::Identity> PlacementFiles::identity(const std::string& path) {
    return files::FileOps().identity(path);
}

std::string PlacementFiles::folderKey(const std::string& folder) {
    // Through the file layer: a folder deeper than the kernel's path limit has a key too.
    const auto id = files::FileOps().identity(folder.empty() ? "." : folder);
    if (!id || !id->isFolder)
        return folder;
    // A NUL never occurs in a path, so an identity never equals a folder's text.
    return std::string(1, '\0') + std::to_string(id->device) + ":" + std::to_string(id->inode);
}

bool makeMissingFolders(PlacementFiles& files, const std::string& folder,
                        const std::function<bool(const std::string&)>& known) {
    std::vector<std::size_t> missing; // where the missing folders' paths end, deepest first
    for (std::size_t end = folder.size(); end != std::string::npos && end > 0;
         end = folder.rfind('/', end - 1)) {
        const std::string above = folder.substr(0, end);
        if ((known && known(above)) || files.exists(above))
            break;
        missing.push_back(end);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!files.makeFolder(folder.substr(0, *it)))
            return false;
    return true;
}

namespace {

class DiskPlacementFiles : public PlacementFiles {
public:
    explicit DiskPlacementFiles(files::Syscalls& calls) : m_ops(calls) {}

    bool exists(const std::string& path) override { return m_ops.exists(path); }

    bool sameFile(const std::string& a, const std::string& b) override {
        const auto first = m_ops.identity(a);
        const auto second = m_ops.identity(b);
        return first && second && first->device == second->device && first->inode == second->inode;
    }

    bool makeFolder(const std::string& path) override {
        const files::Result result = m_ops.makeFolders(path);
        if (!result.ok())
            m_lastError = result.error;
        return result.ok();
    }

    PlaceResult move(const std::string& source, const std::string& target,
                     const files::Listed* listed) override {
        return outcome(listed != nullptr ? m_ops.moveListed(*listed, target, files::Existing::Keep)
                                         : m_ops.moveFile(source, target, files::Existing::Keep),
                       target);
    }

    PlaceResult copy(const std::string& source, const std::string& target,
                     const files::Listed* listed) override {
        return outcome(listed != nullptr ? m_ops.copyListed(*listed, target, files::Existing::Keep)
                                         : m_ops.copyFile(source, target, files::Existing::Keep),
                       target);
    }

    PlaceResult trash(const std::string& path) override {
        const files::Result result = m_ops.trashFile(path);
        if (result.ok())
            return PlaceResult::Done;
        m_lastError = result.error;
        return PlaceResult::Failed;
    }

    std::optional<files::Identity> identity(const std::string& path) override { return m_ops.identity(path); }

private:
    /// A refusal because another file (or the source itself) holds the target name lets the caller
    /// decide; a folder of that name fails the file, as a preview says it will, instead of giving the
    /// file a numbered name beside the folder.
    PlaceResult outcome(files::Result result, const std::string& target) {
        if (result.ok())
            return PlaceResult::Done;
        m_lastError = result.error;
        if (result.error == EEXIST && m_ops.isFolder(target))
            return PlaceResult::Failed;
        if (result.error == EEXIST || (result.error == EINVAL && m_ops.exists(target)))
            return PlaceResult::TargetExists;
        return PlaceResult::Failed;
    }

    files::FileOps m_ops;
};

} // namespace

std::unique_ptr<PlacementFiles> diskPlacementFiles(files::Syscalls& calls) {
    return std::make_unique<DiskPlacementFiles>(calls);
}

// The file layer's checks: they reach paths longer than the kernel's limit, as the real run does.
bool PreviewFiles::onDisk(const std::string& path) const {
    return files::FileOps().exists(path);
}

bool PreviewFiles::exists(const std::string& path) {
    return exists(path, pathKey(path));
}

bool PreviewFiles::exists(const std::string& path, const PathKey& key) {
    return m_added.count(key) != 0 || (m_removed.count(key) == 0 && onDisk(path));
}

bool PreviewFiles::sameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const PathKey keyA = pathKey(a), keyB = pathKey(b);
    if (m_added.count(keyA) != 0 || m_added.count(keyB) != 0 || m_removed.count(keyA) != 0 ||
        m_removed.count(keyB) != 0)
        return false;
    files::FileOps ops;
    const auto first = ops.identity(a);
    const auto second = ops.identity(b);
    return first && second && first->device == second->device && first->inode == second->inode;
}

bool PreviewFiles::makeFolder(const std::string& path) {
    const PathKey key = pathKey(path);
    if (exists(path, key)) {
        m_lastError = EEXIST;
        return false;
    }
    m_added.insert(key);
    m_folders.insert(key);
    return true;
}

bool PreviewFiles::isFolder(const std::string& path, const PathKey& key) {
    if (m_folders.count(key) != 0)
        return true;
    return m_removed.count(key) == 0 && files::FileOps().isFolder(path);
}

PlaceResult PreviewFiles::place(const std::string& source, const std::string& target, bool removeSource) {
    const PathKey sourceKey = pathKey(source);
    auto failed = [this](int error) {
        m_lastError = error;
        return PlaceResult::Failed;
    };
    if (!exists(source, sourceKey))
        return failed(ENOENT);
    if (isFolder(source, sourceKey))
        return failed(EISDIR);
    const PathKey targetKey = pathKey(target);
    if (exists(target, targetKey)) {
        m_lastError = EEXIST;
        return isFolder(target, targetKey) ? PlaceResult::Failed : PlaceResult::TargetExists;
    }
    const std::string folder = folderPart(target);
    if (!folder.empty() && !isFolder(folder, pathKey(folder)))
        return failed(ENOENT);
    if (removeSource) {
        m_added.erase(sourceKey);
        m_removed.insert(sourceKey);
    }
    m_removed.erase(targetKey);
    m_added.insert(targetKey);
    return PlaceResult::Done;
}

// A preview changes nothing, so there is no act for the listed identity to guard.
PlaceResult PreviewFiles::move(const std::string& source, const std::string& target, const files::Listed*) {
    return place(source, target, true);
}

PlaceResult PreviewFiles::copy(const std::string& source, const std::string& target, const files::Listed*) {
    return place(source, target, false);
}

PlaceResult PreviewFiles::trash(const std::string& path) {
    const PathKey key = pathKey(path);
    if (!exists(path, key) || isFolder(path, key)) {
        m_lastError = ENOENT;
        return PlaceResult::Failed;
    }
    m_added.erase(key);
    m_removed.insert(key);
    return PlaceResult::Done;
}

std::optional<files::Identity> PreviewFiles::identity(const std::string& path) {
    // What the preview made or took away has no identity on the disk to compare.
    const PathKey key = pathKey(path);
    if (m_added.count(key) != 0 || m_removed.count(key) != 0)
        return std::nullopt;
    return files::FileOps().identity(path);
}

} // namespace karv
