#pragma once

#include "files/FailureReasons.h"
#include "files/Syscalls.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace karv::files {

/// The outcome of one file operation: 0 or the errno of the step that failed. Nothing throws.
struct Result {
    int error = 0;
    bool ok() const { return error == 0; }
    static Result success() { return {}; }
    static Result failure(int error) { return {error}; }
};

/// Who a file is and what it looked like: enough to tell that a path still names the same,
/// unchanged file.
struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; ///< modification time in nanoseconds since the epoch
    /// Status change time in nanoseconds: moves with every write, rename onto the name and
    /// permission change, and cannot be set back by the program that wrote.
    std::int64_t changedNs = 0;
    bool isFolder = false;
};

/// A file as a list showed it: its path and who it was then. An act on a listed file reaches its
/// folder and acts only when that folder is the one the file was listed in and the name still holds
/// that very file, unchanged (device, inode, size, modification and change time); otherwise it
/// fails with `kNotAsListed` (ENOENT when nothing has the name any more), having changed nothing.
/// With the folder's identity known, the folder path may lead through links (the user may have
/// chosen a linked folder) but must end at that very folder; without it, no link is followed in
/// any folder of the path. A listed name that is itself a link stands for the file it leads to; the
/// act moves or removes the link, never that file.
struct Listed {
    std::string path;
    Identity identity;
    bool folderKnown = false;
    std::uint64_t folderDevice = 0;
    std::uint64_t folderInode = 0;
};

/// The error of a copy (or a move across file systems) whose source was written to, grew, shrank or
/// was replaced while it was copied: the copy is dropped, the source stays.
inline constexpr int kChangedWhileCopied = EAGAIN;

/// Whether an operation may put its result over an existing file of the target name.
enum class Existing { Keep, Replace };

/// Copy, move, delete and trash, done so that a failure at any step loses nothing: a target is
/// only ever written as a file without a name (or, where the file system has none, under a
/// temporary name) and put into place whole, and a source is only removed once its copy is
/// complete and on disk.
class FileOps {
public:
    explicit FileOps(Syscalls& calls = systemCalls()) : m_sys(calls) {}

    /// True when something (a file, folder or link, even a dangling one) has this name.
    bool exists(const std::string& path);
    bool isFolder(const std::string& path);
    /// The identity of what `path` names, following symbolic links.
    std::optional<Identity> identity(const std::string& path);
    /// The identity of the name itself: a link is not followed.
    std::optional<Identity> entryIdentity(const std::string& path);

    /// Creates the folder and any missing parents. An existing folder is success.
    Result makeFolders(const std::string& path);

    /// Copies content, permissions and modification time. Fails with EEXIST when the target
    /// exists and `existing` is Keep, with EISDIR when it is a folder, with EINVAL when the
    /// target is the source itself, and with `kChangedWhileCopied` when the source changed while
    /// it was copied; in each case nothing changes.
    Result copyFile(const std::string& source, const std::string& target, Existing existing = Existing::Keep);

    /// Renames the source to the target; across file systems copies it completely, flushes it and
    /// only then removes the source, and only when it is still the file that was copied, unchanged. On
    /// failure the source and any existing target stay as they were (a target that was to be replaced stays
    /// replaced only when the source could not be removed afterwards; then the result is the error and the
    /// source is still in place).
    Result moveFile(const std::string& source, const std::string& target, Existing existing = Existing::Keep);

    /// Deletes the file for good.
    Result removeFile(const std::string& path);

    /// Moves the file into the freedesktop.org trash of its volume and writes the .trashinfo
    /// record a file manager restores it from. Succeeds only when the file has left its place;
    /// a volume without a usable trash is a failure, never a permanent delete. `trashedAs`
    /// receives the file's new path.
    Result trashFile(const std::string& path, std::string* trashedAs = nullptr);

    /// The acts above on a listed file (see `Listed`). `replacing`, for Existing::Replace: the
    /// target as it was when replacing it was agreed (see `entryIdentity`); another or a changed
    /// file of that name is not replaced (`kNotAsListed`).
    Result removeListed(const Listed& file);
    Result trashListed(const Listed& file, std::string* trashedAs = nullptr);
    Result moveListed(const Listed& source, const std::string& target, Existing existing = Existing::Keep,
                      const std::optional<Identity>& replacing = std::nullopt);
    Result copyListed(const Listed& source, const std::string& target, Existing existing = Existing::Keep,
                      const std::optional<Identity>& replacing = std::nullopt);

    /// Writes `content` as the file's complete new content: written and flushed under a temporary
    /// name, then put in place of any old file, so a failed write leaves the old file whole. A
    /// symbolic link stays a link: the file it finally points to is written, and an existing file
    /// keeps its permissions.
    Result writeFile(const std::string& path, std::string_view content);

    /// Size of the pieces a copy is made of.
    static constexpr std::size_t kCopyChunk = 1 << 20;
    static constexpr std::size_t kCompareBlock = 256 * 1024; ///< plain copying and checking read this much

private:
    /// A name in a folder descriptor, or with AT_FDCWD a path.
    struct Place {
        int dir;
        std::string name;
    };
    /// An anonymous (O_TMPFILE) or, where the file system has none, a named new file.
    struct Temporary {
        int fd = -1;
        std::string name; ///< empty for an anonymous one
    };
    /// A descriptor closed when it goes.
    class Held;
    static Place folderPlace(const Place& place);
    static Place sibling(const Place& place, const std::string& leaf);

    /// Reaches a listed file as `Listed` says: `folder` receives its folder's descriptor, `entry`
    /// the name's own status.
    Result reachListed(const Listed& file, Held& folder, std::string& name, struct stat& entry);
    /// `moveListed` (`move`) or `copyListed`.
    Result placeListed(bool move, const Listed& source, const std::string& target, Existing existing,
                       const std::optional<Identity>& replacing);
    /// The target's folder, as the caller named it (links followed), and the name in it.
    Result reachTarget(const std::string& target, Held& folder, std::string& name);

    /// `listed`: the source must be that file. `copied`, when given, receives the source's status
    /// as the copy found it.
    Result copyAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                  const Identity* replacing, struct stat* copied = nullptr);
    Result moveAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                  const Identity* replacing);
    Result trashAt(const Place& source, const struct stat& info, const std::string& absolute,
                   std::string* trashedAs);
    /// Refuses an existing target: EINVAL when it is the source, EISDIR for a folder, EEXIST when
    /// it is to be kept, kNotAsListed when it is not the one agreed to be replaced.
    /// `sourceEntry` is the source's name itself, `sourceFile` what it leads to.
    Result checkTarget(const Place& target, const struct stat& sourceEntry, const struct stat& sourceFile,
                       Existing existing, const Identity* replacing, bool& hadTarget);
    Result openTemporaryAt(const Place& beside, mode_t mode, Temporary& temporary);
    /// Gives a complete temporary the target's name (over an existing file only with Replace).
    Result placeTemporary(Temporary& temporary, const Place& target, Existing existing);
    Result placeNoReplace(const Place& from, const Place& to);
    Result syncFolderOf(const Place& place);
    /// A free-looking name for a named temporary: ".karv-….part".
    std::string temporaryLeaf();
    /// Copies exactly `size` bytes and checks that the file ends there.
    Result copyContent(int in, int out, std::uint64_t size);
    /// Whether the first `size` bytes of the two files are equal (read from their starts).
    Result sameBytes(int source, int copy, std::uint64_t size);
    /// Writes all of `bytes`: 0 or the errno of the failing write.
    int writeAll(int fd, std::string_view bytes);
    /// Writes all of `bytes` and flushes them to disk: 0 or the errno of the failing step.
    int writeSynced(int fd, std::string_view bytes);
    /// Creates a new file of a free temporary name in `folder`: its descriptor, or -1 with errno.
    int openTemporary(const std::string& folder, mode_t mode, std::string& temporary);
    /// Where a chain of symbolic links starting at `path` ends: the path itself when it is no link.
    /// Empty with `error` set when a link cannot be read or the chain does not end.
    std::optional<std::string> finalTarget(const std::string& path, int& error);
    std::string temporaryName(const std::string& folder);
    std::optional<std::string> trashFolderFor(const std::string& absolutePath, const struct stat& info,
                                              bool& homeTrash, std::string& topFolder, int& error);
    Result ensureFolder(const std::string& path, mode_t mode);

    Syscalls& m_sys;
};

/// The name a trash gives the `k`th file (from 1) trashed under `name`: short enough for its
/// .trashinfo record's name to fit the 255 bytes a name may have (the extension kept when it fits,
/// cut at a character boundary), numbered from the second on.
std::string trashEntryName(const std::string& name, int k);

/// The folder part of a path ("." for a bare name, "/" for a name at the root).
std::string folderOf(const std::string& path);
/// A path with its bytes percent-encoded as in a file: URL ("/" and unreserved characters kept).
std::string encodePathForUrl(const std::string& path);

} // namespace karv::files
