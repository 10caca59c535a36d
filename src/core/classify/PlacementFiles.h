#pragma once

#include "classify/PathKey.h"
#include "files/FileOps.h"
#include "files/Syscalls.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// What a classification run asks of the file system. The real one goes through the safe file
// operations; the preview answers from the disk as it stands plus what the run would have done.

namespace karv {

/// The outcome of putting a file at its target.
enum class PlaceResult { Done, TargetExists, Failed };

class PlacementFiles {
public:
    virtual ~PlacementFiles() = default;
    /// Whether anything (file, folder, link) has this name.
    virtual bool exists(const std::string& path) = 0;
    /// Whether the two paths name one and the same file.
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;
    /// Creates one folder whose parent exists.
    virtual bool makeFolder(const std::string& path) = 0;
    /// Moves or copies; never replaces an existing target (TargetExists then, nothing changed).
    /// `listed`, when given: the source as it was listed, acted on only while it is still that file.
    virtual PlaceResult move(const std::string& source, const std::string& target,
                             const files::Listed* listed = nullptr) = 0;
    virtual PlaceResult copy(const std::string& source, const std::string& target,
                             const files::Listed* listed = nullptr) = 0;
    /// Moves a file to the trash.
    virtual PlaceResult trash(const std::string& path) = 0;
    /// Who the file is (links followed): device, inode, size, modification time.
    virtual std::optional<files::Identity> identity(const std::string& path);
    /// What names the folder whatever the spelling of its path: its device and inode (links followed)
    /// when it exists, else its text.
    virtual std::string folderKey(const std::string& folder);
    /// The error number of the last act that failed, for the summary's reasons.
    int lastError() const { return m_lastError; }

protected:
    int m_lastError = 0;
};

/// Makes `folder` and whichever of the folders above it are missing, going up only as far as the
/// nearest one that exists (or that `known` says exists) and then down again, so a deep folder costs
/// the folders it lacks, not its whole depth. False when one cannot be made.
bool makeMissingFolders(PlacementFiles& files, const std::string& folder,
                        const std::function<bool(const std::string&)>& known = {});

/// The real file system, through the safe copy and move (whose system calls tests can make fail).
std::unique_ptr<PlacementFiles> diskPlacementFiles(files::Syscalls& calls = files::systemCalls());

/// A preview: reads the disk, changes nothing, and remembers what the run would have moved, copied
/// and created so that later files see it (collisions, folders already made).
class PreviewFiles : public PlacementFiles {
public:
    bool exists(const std::string& path) override;
    bool sameFile(const std::string& a, const std::string& b) override;
    bool makeFolder(const std::string& path) override;
    PlaceResult move(const std::string& source, const std::string& target,
                     const files::Listed* listed = nullptr) override;
    PlaceResult copy(const std::string& source, const std::string& target,
                     const files::Listed* listed = nullptr) override;
    PlaceResult trash(const std::string& path) override;
    std::optional<files::Identity> identity(const std::string& path) override;

private:
    PlaceResult place(const std::string& source, const std::string& target, bool removeSource);
    bool onDisk(const std::string& path) const;
    // The same questions with the path's fingerprint already made: a placement asks several about
    // one path, and each fingerprint is a digest.
    bool exists(const std::string& path, const PathKey& key);
    bool isFolder(const std::string& path, const PathKey& key);

    PathKeySet m_added;   // files and folders the run would have made
    PathKeySet m_folders; // the folders among them
    PathKeySet m_removed; // sources the run would have moved away
};

} // namespace karv
