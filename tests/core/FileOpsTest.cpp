#include "files/FileOps.h"

#include "support/FaultySyscalls.h"
#include "support/Privileges.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"
#include "text/NameText.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using namespace karv::files;
using karv::test::contentOf;
using karv::test::FaultySyscalls;
using karv::test::present;
using karv::test::ScopedEnv;
using karv::test::TempTree;
using Call = FaultySyscalls::Call;

namespace {

// Every name in a folder, hidden ones included, sorted.
std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

// More than one copy chunk, so a fault can strike in the middle.
std::string bigContent() {
    std::string text(FileOps::kCopyChunk * 3 + 12345, '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 23);
    return text;
}

// A folder on another file system than the temporary folder, when the machine has one.
std::string otherVolume(const std::string& than) {
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &b) != 0 || ::stat(than.c_str(), &a) != 0 || a.st_dev == b.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        return {};
    char pattern[] = "/dev/shm/karv-test-XXXXXX";
    return ::mkdtemp(pattern) ? pattern : std::string();
}

} // namespace

TEST(FileOps, CopyAndMoveKeepContentAndRefuseWhatWouldLoseData) {
    TempTree tree;
    FileOps ops;
    const std::string source = tree.file("a/report.doc", "report");
    ::chmod(source.c_str(), 0640);
    tree.setTimes("a/report.doc", 1'500'000'000, 1'500'000'000);
    tree.folder("b");

    ASSERT_TRUE(ops.copyFile(source, tree.path("b/report.doc")).ok());
    EXPECT_EQ(contentOf(tree.path("b/report.doc")), "report");
    const auto copied = ops.identity(tree.path("b/report.doc"));
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->modifiedNs, 1'500'000'000LL * 1'000'000'000);
    struct stat info {};
    ::stat(tree.path("b/report.doc").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // An existing target stays unless replacing was asked for; a folder is never replaced.
    tree.file("b/other.doc", "old");
    EXPECT_EQ(ops.copyFile(source, tree.path("b/other.doc")).error, EEXIST);
    EXPECT_EQ(contentOf(tree.path("b/other.doc")), "old");
    EXPECT_TRUE(ops.copyFile(source, tree.path("b/other.doc"), Existing::Replace).ok());
    EXPECT_EQ(contentOf(tree.path("b/other.doc")), "report");
    tree.folder("b/dir.doc");
    EXPECT_EQ(ops.copyFile(source, tree.path("b/dir.doc"), Existing::Replace).error, EISDIR);
    EXPECT_EQ(ops.moveFile(source, tree.path("b/dir.doc"), Existing::Replace).error, EISDIR);
    EXPECT_TRUE(present(source));

    // Onto itself, also through a second hard link or a link: fails and changes nothing.
    EXPECT_EQ(ops.copyFile(source, source, Existing::Replace).error, EINVAL);
    ASSERT_EQ(::link(source.c_str(), tree.path("a/hard.doc").c_str()), 0);
    tree.link("a/soft.doc", source);
    EXPECT_EQ(ops.moveFile(source, tree.path("a/hard.doc"), Existing::Replace).error, EINVAL);
    EXPECT_EQ(ops.moveFile(tree.path("a/soft.doc"), source, Existing::Replace).error, EINVAL);
    EXPECT_EQ(ops.moveFile(source, source, Existing::Replace).error, EINVAL);
    EXPECT_EQ(contentOf(source), "report");
    EXPECT_EQ(listing(tree.path("a")), (Names{"hard.doc", "report.doc", "soft.doc"}));

    // A move on one volume renames; an existing target is kept unless replacing was asked for.
    EXPECT_EQ(ops.moveFile(tree.path("a/hard.doc"), tree.path("b/other.doc")).error, EEXIST);
    EXPECT_TRUE(ops.moveFile(tree.path("a/hard.doc"), tree.path("b/moved.doc")).ok());
    EXPECT_FALSE(present(tree.path("a/hard.doc")));
    EXPECT_EQ(contentOf(tree.path("b/moved.doc")), "report");
    EXPECT_EQ(listing(tree.path("b")), (Names{"dir.doc", "moved.doc", "other.doc", "report.doc"}));

    EXPECT_TRUE(ops.makeFolders(tree.path("c/d/e")).ok());
    EXPECT_TRUE(ops.isFolder(tree.path("c/d/e")));
    EXPECT_TRUE(ops.makeFolders(tree.path("c/d/e/")).ok());
    EXPECT_EQ(ops.makeFolders(tree.path("b/moved.doc/x")).error, ENOTDIR);
    EXPECT_TRUE(ops.removeFile(tree.path("b/moved.doc")).ok());
    EXPECT_EQ(ops.removeFile(tree.path("b/moved.doc")).error, ENOENT);
}

TEST(FileOps, VolumesWithoutNoReplaceRenameOrHardLinksStillKeepAnExistingTarget) {
    TempTree tree;
    const std::string source = tree.file("a/x.txt", "new");
    tree.folder("b");
    // What a FAT or exFAT volume answers: no RENAME_NOREPLACE, no hard links, no unnamed files.
    auto fatVolume = [](FaultySyscalls& sys) {
        sys.failNth(Call::Rename, 1, EINVAL);
        sys.failAll(Call::Link, EPERM);
        sys.failAll(Call::Tmpfile, EOPNOTSUPP);
    };
    FaultySyscalls copying;
    fatVolume(copying);
    EXPECT_TRUE(FileOps(copying).copyFile(source, tree.path("b/y.txt")).ok());
    EXPECT_EQ(contentOf(tree.path("b/y.txt")), "new");

    // A file that appears under the target name while the move runs is kept.
    FaultySyscalls moving;
    fatVolume(moving);
    moving.before = [&](Call call, const std::string&) {
        if (call == Call::Link)
            tree.file("b/z.txt", "appeared");
    };
    EXPECT_EQ(FileOps(moving).moveFile(source, tree.path("b/z.txt")).error, EEXIST);
    EXPECT_EQ(contentOf(tree.path("b/z.txt")), "appeared");
    EXPECT_EQ(contentOf(source), "new");

    FaultySyscalls plain;
    fatVolume(plain);
    EXPECT_TRUE(FileOps(plain).moveFile(source, tree.path("b/w.txt")).ok());
    EXPECT_EQ(contentOf(tree.path("b/w.txt")), "new");
    EXPECT_EQ(listing(tree.path("a")), Names{});
}

TEST(FileOps, FailedCopyLeavesNoPartialOrTemporaryFile) {
    TempTree tree;
    const std::string content = bigContent();
    const std::string source = tree.file("src/big.bin", content);
    const std::string target = tree.path("dst/big.bin");
    tree.file("dst/kept.bin", "old target");
    const std::string kept = tree.path("dst/kept.bin");

    struct Fault {
        Call call;
        int nth;
        int error;
    };
    // Disk full in the middle, in both copy paths; failures to flush, stamp, name or place the copy;
    // each with a file system that makes unnamed files and with one that has only named temporaries.
    const Fault faults[] = {
        {Call::CopyRange, 2, ENOSPC}, {Call::Write, 3, ENOSPC},   {Call::Fsync, 1, EIO},
        {Call::Utimes, 1, EACCES},    {Call::Rename, 1, EACCES},  {Call::Read, 2, EIO},
        {Call::Open, 2, EACCES},      {Call::Tmpfile, 1, EACCES}, {Call::Link, 1, ENOSPC}};
    for (const Fault& fault : faults) {
        for (const std::string& to : {target, kept}) {
            for (const bool named : {false, true}) {
                // An unnamed file opens no second file and is named by a link; a named one is not linked.
                if ((fault.call == Call::Open && !named) || (fault.call == Call::Tmpfile && named) ||
                    (fault.call == Call::Link && named))
                    continue;
                FaultySyscalls sys;
                if (named)
                    sys.failAll(Call::Tmpfile, EOPNOTSUPP);
                if (fault.call == Call::Write || fault.call == Call::Read)
                    sys.failAll(Call::CopyRange, EXDEV); // forces the plain read/write path
                sys.failNth(fault.call, fault.nth, fault.error);
                FileOps ops(sys);
                const Result result = ops.copyFile(source, to, Existing::Replace);
                EXPECT_EQ(result.error, fault.error) << static_cast<int>(fault.call);
                EXPECT_EQ(listing(tree.path("dst")), (Names{"kept.bin"})) << static_cast<int>(fault.call);
                EXPECT_EQ(contentOf(kept), "old target");
                EXPECT_EQ(contentOf(source), content);
            }
        }
    }

    // Source vanished between the check and the open.
    FaultySyscalls sys;
    sys.before = [&](Call call, const std::string& path) {
        if (call == Call::Open && path == source)
            ::unlink(source.c_str());
    };
    EXPECT_EQ(FileOps(sys).copyFile(source, target).error, ENOENT);
    EXPECT_EQ(listing(tree.path("dst")), (Names{"kept.bin"}));
}

// A source written to, grown, shrunk or replaced while it is copied (or between the copy and the
// removal of a move across volumes) fails the operation: no copy of mixed bytes is placed, and the
// source keeps its newest bytes.
TEST(FileOps, SourceChangingDuringCopyOrMoveFailsAndKeepsItsNewBytes) {
    TempTree tree;
    const std::string content = bigContent();
    std::string rewritten = content;
    std::reverse(rewritten.begin(), rewritten.end());
    const std::string grown = content + "appended";
    const std::string shrunk = content.substr(0, FileOps::kCopyChunk + 5);

    enum class Change { Rewrite, Grow, Shrink, Replace };
    const auto change = [&](const std::string& path, Change how) {
        if (how == Change::Replace) {
            const std::string other = tree.file("other.bin", rewritten);
            ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);
            return;
        }
        const std::string& bytes = how == Change::Rewrite ? rewritten : how == Change::Grow ? grown : shrunk;
        std::ofstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (how == Change::Shrink)
            std::filesystem::resize_file(path, bytes.size());
    };
    const auto expected = [&](Change how) {
        return how == Change::Rewrite || how == Change::Replace ? rewritten
               : how == Change::Grow                            ? grown
                                                                : shrunk;
    };
    // The source's times lie in the past, so any write shows in them whatever the clock's grain.
    const auto fresh = [&] {
        const std::string source = tree.file("src/big.bin", content);
        tree.setTimes("src/big.bin", 1'000'000'000, 1'000'000'000);
        return source;
    };
    tree.folder("dst");

    for (const Change how : {Change::Rewrite, Change::Grow, Change::Shrink}) {
        for (const bool plainReads : {false, true}) {
            // In the middle of the copy.
            const std::string source = fresh();
            FaultySyscalls sys;
            if (plainReads)
                sys.failAll(Call::CopyRange, EXDEV);
            int seen = 0;
            sys.before = [&](Call call, const std::string&) {
                if ((call == Call::CopyRange || call == Call::Read) && ++seen == 2)
                    change(source, how);
            };
            EXPECT_EQ(FileOps(sys).copyFile(source, tree.path("dst/big.bin")).error, kChangedWhileCopied);
            EXPECT_EQ(listing(tree.path("dst")), Names{});
            EXPECT_TRUE(contentOf(source) == expected(how));
        }
    }

    {
        // Bytes stored through a shared mapping into pages already dirty move no time at all, like
        // a write that was running when the copy began: a source written lately is read back.
        const std::string source = fresh();
        const int fd = ::open(source.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        void* mapped = ::mmap(nullptr, content.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        ASSERT_NE(mapped, MAP_FAILED);
        char* bytes = static_cast<char*>(mapped);
        for (std::size_t at = 0; at < content.size(); at += 4096)
            bytes[at] = content[at]; // every page dirty before the copy looks at the file
        FaultySyscalls sys;
        int seen = 0;
        sys.before = [&](Call call, const std::string&) {
            if (call == Call::CopyRange && ++seen == 2)
                std::memset(bytes, 'Z', 100); // into the piece already copied
        };
        EXPECT_EQ(FileOps(sys).copyFile(source, tree.path("dst/big.bin")).error, kChangedWhileCopied);
        EXPECT_EQ(listing(tree.path("dst")), Names{});
        ::munmap(mapped, content.size());
        EXPECT_EQ(contentOf(source).substr(0, 101), std::string(100, 'Z') + content[100]);
    }

    for (const Change how : {Change::Rewrite, Change::Grow, Change::Replace}) {
        // A move across volumes, changed after its copy is complete, before the source is removed.
        const std::string source = fresh();
        FaultySyscalls sys;
        sys.failNth(Call::Rename, 1, EXDEV);
        sys.before = [&](Call call, const std::string& path) {
            if (call == Call::Open && path == tree.path("dst"))
                change(source, how);
        };
        EXPECT_EQ(FileOps(sys).moveFile(source, tree.path("dst/big.bin")).error, kChangedWhileCopied);
        EXPECT_EQ(listing(tree.path("dst")), Names{});
        EXPECT_TRUE(contentOf(source) == expected(how));
    }
}

TEST(FileOps, NoPermissionOnSourceOrTargetChangesNothing) {
    TempTree tree;
    const std::string secret = tree.file("src/secret.txt", "secret");
    const std::string plain = tree.file("src/plain.txt", "plain");
    tree.folder("locked");
    ::chmod(secret.c_str(), 0);
    ::chmod(tree.path("locked").c_str(), 0555);
    const std::string root = tree.root();
    const bool ok = karv::test::runWithoutPrivileges(root, [&] {
        FileOps ops;
        return ops.copyFile(secret, tree.path("out.txt")).error == EACCES && !present(tree.path("out.txt")) &&
               ops.copyFile(plain, tree.path("locked/plain.txt")).error == EACCES &&
               ops.moveFile(plain, tree.path("locked/plain.txt")).error == EACCES &&
               listing(tree.path("locked")).empty() && contentOf(plain) == "plain";
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(listing(tree.path("src")), (Names{"plain.txt", "secret.txt"}));
}

TEST(FileOps, MoveAcrossVolumesRemovesSourceOnlyAfterCompleteCopy) {
    TempTree tree;
    const std::string content = bigContent();
    const std::string source = tree.file("src/big.bin", content);
    tree.file("dst/old.bin", "old target");

    // The injected cross-device answer: a fault in the copy or in removing the source loses nothing.
    for (const Call call : {Call::CopyRange, Call::Fsync, Call::Unlink}) {
        for (const std::string name : {"big.bin", "old.bin"}) {
            FaultySyscalls sys;
            sys.failNth(Call::Rename, 1, EXDEV);
            sys.failNth(call, call == Call::CopyRange ? 2 : 1, call == Call::Unlink ? EACCES : ENOSPC,
                        call == Call::Unlink ? "src/" : "");
            const Result result = FileOps(sys).moveFile(source, tree.path("dst/" + name), Existing::Replace);
            EXPECT_FALSE(result.ok());
            EXPECT_EQ(contentOf(source), content);
            // A replaced target holds either its old content or the whole new one, never a part.
            const std::string now = contentOf(tree.path("dst/old.bin"));
            EXPECT_TRUE(now == "old target" || (call == Call::Unlink && now == content));
            EXPECT_EQ(listing(tree.path("dst")), (Names{"old.bin"}));
        }
    }
    FaultySyscalls sys;
    sys.failNth(Call::Rename, 1, EXDEV);
    ASSERT_TRUE(FileOps(sys).moveFile(source, tree.path("dst/big.bin")).ok());
    EXPECT_FALSE(present(source));
    EXPECT_EQ(contentOf(tree.path("dst/big.bin")), content);
    EXPECT_EQ(listing(tree.path("dst")), (Names{"big.bin", "old.bin"}));

    // A real second file system, where the machine has one.
    const std::string other = otherVolume(tree.root());
    if (other.empty())
        GTEST_SKIP() << "no second file system";
    const std::string back = tree.file("src/back.txt", "across");
    FileOps ops;
    EXPECT_TRUE(ops.moveFile(back, other + "/back.txt").ok());
    EXPECT_FALSE(present(back));
    EXPECT_EQ(contentOf(other + "/back.txt"), "across");
    EXPECT_EQ(listing(other), (Names{"back.txt"}));
    std::filesystem::remove_all(other);
}

TEST(FileOps, PathsBeyondTheKernelLimitAreCopiedMovedAndTrashed) {
    TempTree tree;
    const ScopedEnv dataHome("XDG_DATA_HOME", tree.path("data"));
    std::string deep;
    for (int level = 0; level < 400; ++level)
        deep += "dddddddddd/";
    const std::string source = tree.file(deep + "a.txt", "abc");
    tree.file(deep + "taken.txt", "keep");
    ASSERT_GT(source.size(), 4096u);
    FileOps ops;
    EXPECT_TRUE(ops.exists(source));

    ASSERT_TRUE(ops.copyFile(source, tree.path(deep + "b.txt")).ok());
    EXPECT_EQ(tree.read(deep + "b.txt"), "abc");
    EXPECT_EQ(ops.copyFile(source, tree.path(deep + "taken.txt")).error, EEXIST);
    EXPECT_EQ(ops.moveFile(source, tree.path(deep + "taken.txt")).error, EEXIST);
    EXPECT_EQ(tree.read(deep + "taken.txt"), "keep");

    // Out of the deep tree and back into it.
    ASSERT_TRUE(ops.moveFile(tree.path(deep + "b.txt"), tree.path("b.txt")).ok());
    EXPECT_FALSE(tree.has(deep + "b.txt"));
    ASSERT_TRUE(ops.moveFile(tree.path("b.txt"), tree.path(deep + "c.txt")).ok());
    EXPECT_EQ(tree.read(deep + "c.txt"), "abc");

    std::string trashed;
    ASSERT_TRUE(ops.trashFile(source, &trashed).ok());
    EXPECT_FALSE(tree.has(deep + "a.txt"));
    EXPECT_EQ(trashed, tree.path("data/Trash/files/a.txt"));
    EXPECT_EQ(contentOf(trashed), "abc");
    EXPECT_NE(contentOf(tree.path("data/Trash/info/a.txt.trashinfo")).find(encodePathForUrl(source)),
              std::string::npos);

    ASSERT_TRUE(ops.removeFile(tree.path(deep + "c.txt")).ok());
    EXPECT_FALSE(tree.has(deep + "c.txt"));

    // A listed file is reached one folder at a time, however deep.
    const std::string listed = tree.file(deep + "d.txt", "d");
    const auto id = ops.identity(listed);
    ASSERT_TRUE(id.has_value());
    ASSERT_TRUE(ops.removeListed({listed, *id}).ok());
    EXPECT_FALSE(tree.has(deep + "d.txt"));
}

TEST(FileOps, TrashKeepsARestorableRecordAndNeverDeletesForGood) {
    TempTree tree;
    const ScopedEnv dataHome("XDG_DATA_HOME", tree.path("data"));
    const std::string source = tree.file("docs/my 100% 报告.txt", "x");
    FileOps ops;
    std::string trashed;
    ASSERT_TRUE(ops.trashFile(source, &trashed).ok());
    EXPECT_FALSE(present(source));
    EXPECT_EQ(trashed, tree.path("data/Trash/files/my 100% 报告.txt"));
    const std::string record = contentOf(tree.path("data/Trash/info/my 100% 报告.txt.trashinfo"));
    EXPECT_EQ(record.rfind("[Trash Info]\nPath=" + encodePathForUrl(tree.path("docs/")) +
                               "my%20100%25%20%E6%8A%A5%E5%91%8A.txt\nDeletionDate=",
                           0),
              0u)
        << record;
    EXPECT_EQ(record.size(), record.find("DeletionDate=") + 13 + 19 + 1); // yyyy-mm-ddThh:mm:ss

    // A second file of the same name gets its own place.
    tree.file("docs/my 100% 报告.txt", "y");
    ASSERT_TRUE(ops.trashFile(source, &trashed).ok());
    EXPECT_EQ(trashed, tree.path("data/Trash/files/my 100% 报告.2.txt"));

    // A trash that refuses is a failure: the file stays, and no orphan record is left.
    const std::string stays = tree.file("docs/stays.txt", "z");
    for (const Call call : {Call::Rename, Call::Write, Call::Open}) {
        FaultySyscalls sys;
        sys.failAll(call, call == Call::Rename ? EXDEV : EACCES);
        EXPECT_FALSE(FileOps(sys).trashFile(stays).ok());
        EXPECT_EQ(contentOf(stays), "z");
        EXPECT_EQ(listing(tree.path("data/Trash/info")).size(), 2u);
    }
    FaultySyscalls noTrash;
    const ScopedEnv newHome("XDG_DATA_HOME", tree.path("data2"));
    noTrash.failAll(Call::Mkdir, EACCES);
    EXPECT_EQ(FileOps(noTrash).trashFile(stays).error, EACCES);
    EXPECT_EQ(contentOf(stays), "z");

    // Another volume uses its own top-level trash and records the path relative to it.
    const std::string other = otherVolume(tree.root());
    if (other.empty())
        GTEST_SKIP() << "no second file system";
    const std::string there = other + "/far.txt";
    std::ofstream(there) << "far";
    std::string top = other.substr(0, other.rfind('/'));
    const std::string trash = top + "/.Trash-" + std::to_string(::getuid());
    const bool trashExisted = present(trash);
    const Result result = ops.trashFile(there, &trashed);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(present(there));
    EXPECT_EQ(trashed.rfind(trash + "/files/far", 0), 0u);
    const std::string farRecord =
        contentOf(trash + "/info/" + trashed.substr(trashed.rfind('/') + 1) + ".trashinfo");
    EXPECT_NE(farRecord.find("Path=" + other.substr(top.size() + 1) + "/far.txt\n"), std::string::npos)
        << farRecord;
    std::filesystem::remove_all(other);
    if (!trashExisted)
        std::filesystem::remove_all(trash);
}

namespace {

Listed listedAs(FileOps& ops, const std::string& path) {
    const auto id = ops.identity(path);
    EXPECT_TRUE(id.has_value()) << path;
    return {path, id.value_or(Identity{})};
}

} // namespace

// A listed path whose folder became a link, or whose name now holds another file or the same file
// changed and stamped back, is not acted on: every act fails and changes nothing anywhere.
TEST(FileOps, ListedFileIsActedOnOnlyWhileItsPathStillLeadsToIt) {
    TempTree tree;
    const ScopedEnv dataHome("XDG_DATA_HOME", tree.path("data"));
    FileOps ops;
    tree.folder("target");
    using Act = std::function<Result(const Listed&)>;
    const std::vector<Act> acts = {
        [&](const Listed& l) { return ops.removeListed(l); },
        [&](const Listed& l) { return ops.trashListed(l); },
        [&](const Listed& l) { return ops.moveListed(l, tree.path("target/x.txt")); },
        [&](const Listed& l) { return ops.copyListed(l, tree.path("target/x.txt")); },
    };

    // The folder replaced by a link to a folder holding a file of the same size and times.
    const Listed listed = listedAs(ops, tree.file("tree/a/x.txt", "mine"));
    tree.file("outside/x.txt", "them");
    tree.setTimes("tree/a/x.txt", 1'000'000'000, 1'000'000'000);
    tree.setTimes("outside/x.txt", 1'000'000'000, 1'000'000'000);
    const Listed stamped = listedAs(ops, tree.path("tree/a/x.txt"));
    ASSERT_EQ(::rename(tree.path("tree/a").c_str(), tree.path("tree/moved").c_str()), 0);
    tree.link("tree/a", tree.path("outside"));
    for (const Act& act : acts)
        EXPECT_EQ(act(stamped).error, kNotAsListed);
    EXPECT_EQ(contentOf(tree.path("outside/x.txt")), "them");
    EXPECT_EQ(listing(tree.path("target")), Names{});

    // Even when the name behind the link is the listed file itself (a hard link made before it was
    // listed), the name acted on would be another one.
    tree.folder("twin");
    ASSERT_EQ(::link(tree.path("tree/moved/x.txt").c_str(), tree.path("twin/x.txt").c_str()), 0);
    const Listed twin = listedAs(ops, tree.path("tree/moved/x.txt"));
    ::unlink(tree.path("tree/a").c_str());
    tree.link("tree/a", tree.path("twin"));
    const Listed asListed{tree.path("tree/a/x.txt"), twin.identity};
    ASSERT_EQ(ops.identity(asListed.path)->inode, twin.identity.inode);
    for (const Act& act : acts)
        EXPECT_EQ(act(asListed).error, kNotAsListed);
    EXPECT_EQ(listing(tree.path("twin")), Names{"x.txt"});
    EXPECT_EQ(listing(tree.path("target")), Names{});
    ::unlink(tree.path("twin/x.txt").c_str());

    // Another file renamed onto the name; the same file rewritten with its times put back.
    ::unlink(tree.path("tree/a").c_str());
    ASSERT_EQ(::rename(tree.path("tree/moved").c_str(), tree.path("tree/a").c_str()), 0);
    tree.file("other.txt", "them");
    tree.setTimes("other.txt", 1'000'000'000, 1'000'000'000);
    ASSERT_EQ(::rename(tree.path("other.txt").c_str(), tree.path("tree/a/x.txt").c_str()), 0);
    for (const Act& act : acts)
        EXPECT_EQ(act(stamped).error, kNotAsListed);
    const Listed again = listedAs(ops, tree.path("tree/a/x.txt"));
    std::ofstream(tree.path("tree/a/x.txt"), std::ios::binary | std::ios::in | std::ios::out) << "THEM";
    tree.setTimes("tree/a/x.txt", 1'000'000'000, 1'000'000'000);
    for (const Act& act : acts)
        EXPECT_EQ(act(again).error, kNotAsListed);
    EXPECT_EQ(contentOf(tree.path("tree/a/x.txt")), "THEM");
    EXPECT_EQ(listing(tree.path("target")), Names{});
    ::unlink(tree.path("tree/a/x.txt").c_str());
    EXPECT_EQ(ops.removeListed(listed).error, ENOENT);

    // A target agreed to be replaced, swapped for another file before the act, is not replaced.
    const Listed source = listedAs(ops, tree.file("tree/b.txt", "new"));
    const auto agreed = ops.entryIdentity(tree.file("target/b.txt", "old"));
    ASSERT_TRUE(agreed.has_value());
    ASSERT_EQ(::rename(tree.file("later.txt", "later").c_str(), tree.path("target/b.txt").c_str()), 0);
    EXPECT_EQ(ops.moveListed(source, tree.path("target/b.txt"), Existing::Replace, agreed).error,
              kNotAsListed);
    EXPECT_EQ(ops.copyListed(source, tree.path("target/b.txt"), Existing::Replace, agreed).error,
              kNotAsListed);
    EXPECT_EQ(contentOf(tree.path("target/b.txt")), "later");
    const auto now = ops.entryIdentity(tree.path("target/b.txt"));
    ASSERT_TRUE(ops.moveListed(source, tree.path("target/b.txt"), Existing::Replace, now).ok());
    EXPECT_EQ(contentOf(tree.path("target/b.txt")), "new");

    // A listed link to a file is the link: removing it leaves the file it leads to.
    tree.file("kept/file.txt", "kept");
    tree.link("tree/link.txt", tree.path("kept/file.txt"));
    ASSERT_TRUE(ops.removeListed(listedAs(ops, tree.path("tree/link.txt"))).ok());
    EXPECT_FALSE(present(tree.path("tree/link.txt")));
    EXPECT_EQ(contentOf(tree.path("kept/file.txt")), "kept");
}

// A copy is written without a name: killed at any moment it leaves no partial file behind.
TEST(FileOps, CopyInProgressHasNoNameInTheTargetFolder) {
    TempTree tree;
    const std::string source = tree.file("src/big.bin", bigContent());
    tree.file("dst/old.bin", "old");
    for (const Existing existing : {Existing::Keep, Existing::Replace}) {
        const Names before = listing(tree.path("dst"));
        FaultySyscalls sys;
        std::vector<Names> seen;
        sys.before = [&](Call call, const std::string&) {
            if (call == Call::CopyRange || call == Call::Fsync)
                seen.push_back(listing(tree.path("dst")));
        };
        const std::string target = tree.path(existing == Existing::Keep ? "dst/new.bin" : "dst/old.bin");
        ASSERT_TRUE(FileOps(sys).copyFile(source, target, existing).ok());
        ASSERT_FALSE(seen.empty());
        for (const Names& names : seen)
            EXPECT_EQ(names, before);
        EXPECT_EQ(contentOf(target), bigContent());
    }
}

// Names up to the 255 bytes a name may have go to the trash; the trash's own names are shortened
// at a character boundary and stay unique, and the record keeps the whole original path.
TEST(FileOps, TrashTakesNamesUpToTheLongestAllowed) {
    TempTree tree;
    const ScopedEnv dataHome("XDG_DATA_HOME", tree.path("data"));
    FileOps ops;
    std::string longName;
    while (longName.size() + 3 <= 255 - 4)
        longName += "报";
    longName += "x.txt"; // 255 bytes: three-byte characters, then an extension
    ASSERT_LE(longName.size(), 255u);
    ASSERT_GT(longName.size(), 250u);
    std::vector<std::string> trashed(2);
    for (std::string& where : trashed) {
        const std::string source = tree.file("docs/" + longName, "content");
        const Result result = ops.trashFile(source, &where);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_FALSE(present(source));
    }
    EXPECT_NE(trashed[0], trashed[1]);
    for (const std::string& where : trashed) {
        const std::string name = where.substr(where.rfind('/') + 1);
        EXPECT_LE(name.size() + std::string(".trashinfo").size(), 255u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".txt");
        bool cutInsideACharacter = false;
        displayText(name, &cutInsideACharacter);
        EXPECT_FALSE(cutInsideACharacter) << name;
        EXPECT_EQ(contentOf(where), "content");
        const std::string record = contentOf(tree.path("data/Trash/info/" + name + ".trashinfo"));
        EXPECT_NE(record.find("Path=" + encodePathForUrl(tree.path("docs/" + longName)) + "\n"),
                  std::string::npos);
    }
}
