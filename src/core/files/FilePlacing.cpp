#include "files/FileOps.h"
#include "files/FileOpsHeld.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace karv::files {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The same file with the same content as far as the system tells: every write moves the
// modification time, and the change time too (which a program resetting the modification time
// cannot put back).
bool unchanged(const struct stat& before, const struct stat& now) {
    return sameFile(before, now) && before.st_size == now.st_size && sameTime(before.st_mtim, now.st_mtim) &&
           sameTime(before.st_ctim, now.st_ctim);
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Still the file a list showed: the same file, unchanged.
bool isListed(const Identity& listed, const struct stat& now) {
    return listed.device == static_cast<std::uint64_t>(now.st_dev) &&
           listed.inode == static_cast<std::uint64_t>(now.st_ino) &&
           listed.size == static_cast<std::uint64_t>(now.st_size) &&
           listed.modifiedNs == nanoseconds(now.st_mtim) && listed.changedNs == nanoseconds(now.st_ctim);
}

Identity identityOf(const struct stat& info) {
    Identity id;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modifiedNs = nanoseconds(info.st_mtim);
    id.changedNs = nanoseconds(info.st_ctim);
    id.isFolder = S_ISDIR(info.st_mode);
    return id;
}

// Written to within the last seconds (or stamped in the future). A write already running when a
// copy opens its source moved the times before the copy looked at them, and its bytes may land
// while the copy reads: such a copy is read back and compared with its source.
bool writtenLately(const struct stat& info) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t recent = nanoseconds(now) - std::int64_t{2'000'000'000};
    return nanoseconds(info.st_mtim) >= recent || nanoseconds(info.st_ctim) >= recent;
}

// Errors that mean "this file system has no RENAME_NOREPLACE".
bool noReplaceUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Errors that mean "this file system has no files without a name (O_TMPFILE)".
bool anonymousUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

bool linksUnsupported(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

std::optional<Identity> FileOps::identity(const std::string& path) {
    struct stat info {};
    if (m_sys.stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

std::optional<Identity> FileOps::entryIdentity(const std::string& path) {
    struct stat info {};
    if (m_sys.lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

// The folder a place's name lies in, as a place of its own.
FileOps::Place FileOps::folderPlace(const Place& place) {
    if (place.dir != AT_FDCWD)
        return {place.dir, "."};
    return {AT_FDCWD, folderOf(place.name)};
}

// Another name in the folder of `place`.
FileOps::Place FileOps::sibling(const Place& place, const std::string& leaf) {
    if (place.dir != AT_FDCWD)
        return {place.dir, leaf};
    const std::string folder = folderOf(place.name);
    return {AT_FDCWD, (folder == "/" ? std::string() : folder) + "/" + leaf};
}

std::string FileOps::temporaryLeaf() {
    return temporaryName("/").substr(1);
}

Result FileOps::placeNoReplace(const Place& from, const Place& to) {
    if (m_sys.renameAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), true) == 0)
        return Result::success();
    const int error = errno;
    if (!noReplaceUnsupported(error))
        return Result::failure(error);
    // A hard link fails when the name is taken, which is the guarantee the flag gives.
    if (m_sys.linkAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), 0) != 0) {
        const int linkError = errno;
        if (!linksUnsupported(linkError))
            return Result::failure(linkError);
        // File systems with neither (FAT, exFAT, some network mounts): look, then rename. Only a
        // file created in the moment between the two could be replaced.
        struct stat taken {};
        if (m_sys.statAt(to.dir, to.name.c_str(), &taken, false) == 0)
            return Result::failure(EEXIST);
        if (errno != ENOENT)
            return Result::failure(errno);
        if (m_sys.renameAt(from.dir, from.name.c_str(), to.dir, to.name.c_str(), false) != 0)
            return Result::failure(errno);
        return Result::success();
    }
    if (m_sys.unlinkAt(from.dir, from.name.c_str()) != 0) {
        const int unlinkError = errno;
        m_sys.unlinkAt(to.dir, to.name.c_str());
        return Result::failure(unlinkError);
    }
    return Result::success();
}

Result FileOps::openTemporaryAt(const Place& beside, mode_t mode, Temporary& temporary) {
    // A file without a name until it is complete: a crash or a kill at any point leaves nothing.
    // Readable too: a copy may be read back to be checked against its source.
    const Place folder = folderPlace(beside);
    temporary = {};
    temporary.fd = m_sys.openAt(folder.dir, folder.name.c_str(), O_TMPFILE | O_RDWR, mode);
    if (temporary.fd >= 0)
        return Result::success();
    if (!anonymousUnsupported(errno))
        return Result::failure(errno);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Place named = sibling(beside, temporaryLeaf());
        temporary.fd = m_sys.openAt(named.dir, named.name.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        if (temporary.fd >= 0) {
            temporary.name = named.name;
            return Result::success();
        }
        if (errno != EEXIST)
            break;
    }
    return Result::failure(errno);
}

Result FileOps::placeTemporary(Temporary& temporary, const Place& target, Existing existing) {
    if (!temporary.name.empty()) {
        const Place named{target.dir, temporary.name};
        const int closed = m_sys.close(temporary.fd) == 0 ? 0 : errno;
        temporary.fd = -1;
        const Result placed =
            closed != 0 ? Result::failure(closed)
            : existing == Existing::Replace
                ? (m_sys.renameAt(named.dir, named.name.c_str(), target.dir, target.name.c_str(), false) == 0
                       ? Result::success()
                       : Result::failure(errno))
                : placeNoReplace(named, target);
        if (!placed.ok())
            m_sys.unlinkAt(named.dir, named.name.c_str());
        return placed;
    }

    // An anonymous file gets its name by a link, which fails when the name is taken: exactly the
    // rule for a target that is to be kept.
    const std::string self = "/proc/self/fd/" + std::to_string(temporary.fd);
    auto linkTo = [&](const Place& to) {
        if (m_sys.linkAt(AT_FDCWD, self.c_str(), to.dir, to.name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        if (error != ENOENT)
            return error;
        // Without /proc: the descriptor itself, where the process may link one.
        return m_sys.linkAt(temporary.fd, "", to.dir, to.name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : error;
    };
    int error = 0;
    if (existing == Existing::Keep) {
        error = linkTo(target);
    } else {
        // Replacing: a name of its own first, then renamed over the old file in one step, so the old
        // file stays whole until the new one is complete.
        Place named{};
        do {
            named = sibling(target, temporaryLeaf());
            error = linkTo(named);
        } while (error == EEXIST);
        if (error == 0 &&
            m_sys.renameAt(named.dir, named.name.c_str(), target.dir, target.name.c_str(), false) != 0) {
            error = errno;
            m_sys.unlinkAt(named.dir, named.name.c_str());
        }
    }
    // Its content is on disk already (flushed before placing): closing cannot lose it.
    m_sys.close(temporary.fd);
    temporary.fd = -1;
    return error == 0 ? Result::success() : Result::failure(error);
}

Result FileOps::checkTarget(const Place& target, const struct stat& sourceEntry,
                            const struct stat& sourceFile, Existing existing, const Identity* replacing,
                            bool& hadTarget) {
    hadTarget = false;
    struct stat entry {};
    if (m_sys.statAt(target.dir, target.name.c_str(), &entry, false) != 0)
        return errno == ENOENT ? Result::success() : Result::failure(errno);
    hadTarget = true;
    struct stat file = entry;
    if (S_ISLNK(entry.st_mode)) {
        struct stat followed {};
        if (m_sys.statAt(target.dir, target.name.c_str(), &followed, true) == 0)
            file = followed;
    }
    // Onto itself, or a link moved over the file it points to, which would leave a link to nothing.
    if (sameFile(entry, sourceEntry) || sameFile(file, sourceFile))
        return Result::failure(EINVAL);
    if (S_ISDIR(file.st_mode))
        return Result::failure(EISDIR);
    if (existing == Existing::Keep)
        return Result::failure(EEXIST);
    if (replacing != nullptr && !isListed(*replacing, entry))
        return Result::failure(kNotAsListed);
    return Result::success();
}

Result FileOps::copyAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                       const Identity* replacing, struct stat* copied) {
    struct stat sourceInfo {};
    if (m_sys.statAt(source.dir, source.name.c_str(), &sourceInfo, true) != 0)
        return Result::failure(errno);
    // Only regular files: opening a pipe or device would block or never end.
    if (S_ISDIR(sourceInfo.st_mode))
        return Result::failure(EISDIR);
    if (!S_ISREG(sourceInfo.st_mode))
        return Result::failure(EINVAL);
    if (listed != nullptr && !isListed(*listed, sourceInfo))
        return Result::failure(kNotAsListed);
    bool hadTarget = false;
    if (const Result free = checkTarget(target, sourceInfo, sourceInfo, existing, replacing, hadTarget);
        !free.ok())
        return free;

    const int in = m_sys.openAt(source.dir, source.name.c_str(), O_RDONLY | O_NOCTTY, 0);
    if (in < 0)
        return Result::failure(errno);
    struct stat opened {};
    // The name must still lead to the file that was checked above.
    const int statError = m_sys.fstat(in, &opened) != 0                     ? errno
                          : !sameFile(opened, sourceInfo)                   ? ENOENT
                          : listed != nullptr && !isListed(*listed, opened) ? kNotAsListed
                                                                            : 0;
    if (statError != 0) {
        m_sys.close(in);
        return Result::failure(statError);
    }

    Temporary temporary;
    if (const Result made = openTemporaryAt(target, 0600, temporary); !made.ok()) {
        m_sys.close(in);
        return made;
    }
    const int out = temporary.fd;

    auto abandon = [&](int error) {
        if (temporary.fd >= 0)
            m_sys.close(temporary.fd);
        if (!temporary.name.empty())
            m_sys.unlinkAt(target.dir, temporary.name.c_str());
        m_sys.close(in);
        return Result::failure(error);
    };

    if (const Result done =
            copyContent(in, out, static_cast<std::uint64_t>(std::max<off_t>(opened.st_size, 0)));
        !done.ok())
        return abandon(done.error);
    // Written to while it was copied: the copy may hold a mix of old and new bytes.
    struct stat after {};
    if (m_sys.fstat(in, &after) != 0)
        return abandon(errno);
    if (!unchanged(opened, after))
        return abandon(kChangedWhileCopied);
    if (writtenLately(opened)) {
        if (const Result same = sameBytes(in, out, static_cast<std::uint64_t>(opened.st_size)); !same.ok())
            return abandon(same.error);
        if (m_sys.fstat(in, &after) != 0)
            return abandon(errno);
        if (!unchanged(opened, after))
            return abandon(kChangedWhileCopied);
    }
    if (m_sys.fchmod(out, opened.st_mode & 0777) != 0)
        return abandon(errno);
    const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
    if (m_sys.futimens(out, times) != 0)
        return abandon(errno);
    if (m_sys.fsync(out) != 0)
        return abandon(errno);
    m_sys.close(in);

    if (const Result placed = placeTemporary(temporary, target, existing); !placed.ok())
        return placed;
    if (copied != nullptr)
        *copied = opened;
    return Result::success();
}

Result FileOps::syncFolderOf(const Place& place) {
    const Place folder = folderPlace(place);
    const int dir = m_sys.openAt(folder.dir, folder.name.c_str(), O_RDONLY | O_DIRECTORY, 0);
    const int error = dir < 0 ? errno : (m_sys.fsync(dir) == 0 ? 0 : errno);
    if (dir >= 0)
        m_sys.close(dir);
    // Some file systems cannot flush a folder; the file itself is already on disk there.
    return error != 0 && error != EINVAL ? Result::failure(error) : Result::success();
}

Result FileOps::moveAt(const Place& source, const Identity* listed, const Place& target, Existing existing,
                       const Identity* replacing) {
    struct stat sourceEntry {};
    if (m_sys.statAt(source.dir, source.name.c_str(), &sourceEntry, false) != 0)
        return Result::failure(errno);
    if (S_ISDIR(sourceEntry.st_mode))
        return Result::failure(EISDIR);
    struct stat sourceFile = sourceEntry;
    if (S_ISLNK(sourceEntry.st_mode)) {
        struct stat followed {};
        if (m_sys.statAt(source.dir, source.name.c_str(), &followed, true) == 0)
            sourceFile = followed;
    }
    bool hadTarget = false;
    if (const Result free = checkTarget(target, sourceEntry, sourceFile, existing, replacing, hadTarget);
        !free.ok())
        return free;

    const Result renamed =
        existing == Existing::Replace
            ? (m_sys.renameAt(source.dir, source.name.c_str(), target.dir, target.name.c_str(), false) == 0
                   ? Result::success()
                   : Result::failure(errno))
            : placeNoReplace(source, target);
    if (renamed.ok() || renamed.error != EXDEV)
        return renamed;

    // Another file system: the source goes only once its copy is complete and on disk.
    struct stat copied {};
    if (const Result done = copyAt(source, listed, target, existing, replacing, &copied); !done.ok())
        return done;
    // Until the copy's name is on disk too, the source is the only safe copy: a failed move must
    // not leave the file in both places either.
    if (const Result synced = syncFolderOf(target); !synced.ok()) {
        if (!hadTarget)
            m_sys.unlinkAt(target.dir, target.name.c_str());
        return synced;
    }
    // Written to or replaced by another file since the copy: removing the name now would take
    // bytes that exist nowhere else.
    struct stat now {};
    const int changed = m_sys.statAt(source.dir, source.name.c_str(), &now, true) != 0 ? errno
                        : unchanged(copied, now)                                       ? 0
                                                                                       : kChangedWhileCopied;
    if (changed != 0 || m_sys.unlinkAt(source.dir, source.name.c_str()) != 0) {
        const int error = changed != 0 ? changed : errno;
        if (!hadTarget)
            m_sys.unlinkAt(target.dir, target.name.c_str());
        return Result::failure(error);
    }
    return Result::success();
}

Result FileOps::reachListed(const Listed& file, Held& folder, std::string& name, struct stat& entry) {
    const std::string& path = file.path;
    const auto slash = path.find_last_of('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Result::failure(EINVAL);
    const std::string folderPath = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
    folder.fd = m_sys.openFolder(folderPath.c_str(), file.folderKnown);
    if (folder.fd < 0) {
        const int error = errno;
        // A link where a folder was: the path leads somewhere else than when it was listed.
        return Result::failure(error == ELOOP || error == ENOTDIR ? kNotAsListed : error);
    }
    if (file.folderKnown) {
        // Links on the way are the user's own (a linked folder chosen to scan); what counts is that
        // the path still ends at the folder the file was listed in.
        struct stat reached {};
        if (m_sys.fstat(folder.fd, &reached) != 0)
            return Result::failure(errno);
        if (static_cast<std::uint64_t>(reached.st_dev) != file.folderDevice ||
            static_cast<std::uint64_t>(reached.st_ino) != file.folderInode)
            return Result::failure(kNotAsListed);
    }
    if (m_sys.statAt(folder.fd, name.c_str(), &entry, false) != 0)
        return Result::failure(errno);
    struct stat now = entry;
    // A listed link stands for the file it leads to; a link where a file was must lead to that very file.
    if (S_ISLNK(entry.st_mode) && m_sys.statAt(folder.fd, name.c_str(), &now, true) != 0)
        return Result::failure(errno == ENOENT ? kNotAsListed : errno);
    if (S_ISDIR(now.st_mode) || !isListed(file.identity, now))
        return Result::failure(kNotAsListed);
    return Result::success();
}

Result FileOps::reachTarget(const std::string& target, Held& folder, std::string& name) {
    const auto slash = target.find_last_of('/');
    name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Result::failure(EINVAL);
    // The target folder is the one the user chose, links and all; it is held open so that every
    // step lands in that same folder.
    folder.fd = m_sys.openFolder(folderOf(target).c_str(), true);
    return folder.fd < 0 ? Result::failure(errno) : Result::success();
}

Result FileOps::copyFile(const std::string& source, const std::string& target, Existing existing) {
    return copyAt({AT_FDCWD, source}, nullptr, {AT_FDCWD, target}, existing, nullptr);
}

Result FileOps::moveFile(const std::string& source, const std::string& target, Existing existing) {
    return moveAt({AT_FDCWD, source}, nullptr, {AT_FDCWD, target}, existing, nullptr);
}

Result FileOps::placeListed(bool move, const Listed& source, const std::string& target, Existing existing,
                            const std::optional<Identity>& replacing) {
    Held from(m_sys), to(m_sys);
    std::string name, targetName;
    struct stat entry {};
    if (const Result reached = reachListed(source, from, name, entry); !reached.ok())
        return reached;
    if (const Result reached = reachTarget(target, to, targetName); !reached.ok())
        return reached;
    const Identity* agreed = replacing ? &*replacing : nullptr;
    return move ? moveAt({from.fd, name}, &source.identity, {to.fd, targetName}, existing, agreed)
                : copyAt({from.fd, name}, &source.identity, {to.fd, targetName}, existing, agreed);
}

Result FileOps::copyListed(const Listed& source, const std::string& target, Existing existing,
                           const std::optional<Identity>& replacing) {
    return placeListed(false, source, target, existing, replacing);
}

Result FileOps::moveListed(const Listed& source, const std::string& target, Existing existing,
                           const std::optional<Identity>& replacing) {
    return placeListed(true, source, target, existing, replacing);
}

} // namespace karv::files
