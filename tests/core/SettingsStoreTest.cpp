#include "settings/SettingsStore.h"

#include "settings/SettingsFormat.h"
#include "support/TempTree.h"

#include <cstdio>
#include <dirent.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace karv;
using karv::test::TempTree;

namespace {

std::string diskContent(const std::string& path) {
    std::string content;
    settingsio::readWholeFile(path, content);
    return content;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

// Permission checks do not apply to root, so as root the body runs in a child process that has
// given up its privileges (the tree is handed to "nobody" first). The body reports by its result.
template <class Body> bool runWithoutPrivileges(const std::string& root, Body body) {
    if (::geteuid() != 0)
        return body();
    if (::chown(root.c_str(), 65534, 65534) != 0)
        return false;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#define CHECK_OR_FAIL(condition)                                                                             \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                     \
            return false;                                                                                    \
        }                                                                                                    \
    } while (0)

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string settingsPath() const { return tree.path("Karv·Tessil.ini"); }
    // Opens a store on a settings file with the given content (none: no file).
    void openWith(SettingsStore& store, const std::string* content) {
        if (content)
            tree.file("Karv·Tessil.ini", *content);
        ASSERT_TRUE(store.openStore(settingsPath()));
    }
    std::string openAndWrite(const std::string& content, std::string_view section, std::string_view key,
                             std::string_view value) {
        SettingsStore store;
        openWith(store, &content);
        EXPECT_TRUE(store.writeValue(section, key, value));
        EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
        return store.fileImage();
    }
    std::string openAndRead(const std::string& content, std::string_view section, std::string_view key) {
        SettingsStore store;
        openWith(store, &content);
        return store.readValue(section, key, "<default>");
    }

    TempTree tree;
};

} // namespace

TEST_F(SettingsStoreTest, MissingFileIsCreatedEmptyAndReadsDefaults) {
    SettingsStore store;
    EXPECT_TRUE(store.openStore(settingsPath()));
    EXPECT_TRUE(store.isWritable());
    EXPECT_TRUE(exists(settingsPath()));
    EXPECT_EQ(diskContent(settingsPath()), "");
    EXPECT_EQ(store.readValue("主界面", "编辑框层次", "2"), "2");
    store.setCurrentSection("主界面");
    EXPECT_EQ(store.readNumber("组合框匹配模式", -1), -1);
    EXPECT_TRUE(store.readFlag("选择框文件名", true));
    EXPECT_EQ(store.readText("编辑框过滤", "*.*"), "*.*");
}

TEST_F(SettingsStoreTest, FirstWriteIntoEmptyFileHasNoLeadingLineBreak) {
    EXPECT_EQ(openAndWrite("", "主界面", "选择框按长度筛选", "真"), "[主界面]\r\n选择框按长度筛选=真");
}

TEST_F(SettingsStoreTest, LayoutOfNewSectionsAndKeys) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("主界面");
    EXPECT_TRUE(store.writeFlag("选择框a", true));
    store.setCurrentSection("文件统计");
    EXPECT_TRUE(store.writeNumber("组合框b", 0.5));
    store.setCurrentSection("主界面");
    EXPECT_TRUE(store.writeText("编辑框c", "x\r\ny"));
    store.setCurrentSection("文件统计");
    EXPECT_TRUE(store.writeNumber("组合框b", -1));
    EXPECT_EQ(store.fileImage(), "[主界面]\r\n选择框a=真\r\n编辑框c=x┊*┊y\r\n[文件统计]\r\n组合框b=-1");
    EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
    EXPECT_EQ(store.readNumber("组合框b", 7), -1);
    store.setCurrentSection("主界面");
    EXPECT_EQ(store.readText("编辑框c", ""), "x\r\ny");
    EXPECT_TRUE(store.readFlag("选择框a", false));
}

TEST_F(SettingsStoreTest, EmptyFileAndHeaderOnly) {
    EXPECT_EQ(openAndRead("", "S", "k"), "<default>");
    EXPECT_EQ(openAndRead("[S]", "S", "k"), "<default>");
    EXPECT_EQ(openAndWrite("[S]", "S", "k", "v"), "[S]\r\nk=v");
    EXPECT_EQ(openAndWrite("[S]", "T", "k", "v"), "[S]\r\n[T]\r\nk=v");
}

TEST_F(SettingsStoreTest, EmptyValueIsNotTheDefault) {
    EXPECT_EQ(openAndRead("[S]\r\nk=", "S", "k"), "");
    EXPECT_EQ(openAndRead("[S]\r\nk=\r\nj=1", "S", "k"), "");
    EXPECT_EQ(openAndRead("[S]\r\nk=", "S", "j"), "<default>");
    EXPECT_EQ(openAndRead("[S]\r\nk=", "T", "k"), "<default>");
    EXPECT_EQ(openAndWrite("[S]\r\nk=abc\r\nj=1", "S", "k", ""), "[S]\r\nk=\r\nj=1");
}

TEST_F(SettingsStoreTest, RewritingShorterShrinksTheFile) {
    SettingsStore store;
    const std::string content = "[S]\r\nk=long value\r\n[T]\r\nk=1";
    openWith(store, &content);
    ASSERT_TRUE(store.writeValue("S", "k", "ab"));
    EXPECT_EQ(diskContent(settingsPath()), "[S]\r\nk=ab\r\n[T]\r\nk=1");
    EXPECT_EQ(diskContent(settingsPath()).size(), content.size() - 8);
    // The same value again changes nothing in the bytes.
    ASSERT_TRUE(store.writeValue("S", "k", "ab"));
    EXPECT_EQ(diskContent(settingsPath()), "[S]\r\nk=ab\r\n[T]\r\nk=1");
}

TEST_F(SettingsStoreTest, CrOnlyAndLfOnlyLineBreaksAreNotLineBreaks) {
    EXPECT_EQ(openAndRead("[S]\rk=1\r[T]\rj=2", "S", "k"), "<default>");
    EXPECT_EQ(openAndRead("[S]\nk=1\n[T]\nj=2", "S", "k"), "<default>");
    EXPECT_EQ(openAndRead("[S]\nk=1\n[T]\nj=2", "T", "j"), "<default>");
    EXPECT_EQ(openAndWrite("[S]\nk=1\n[T]\nj=2", "S", "k", "v"), "[S]\nk=1\n[T]\nj=2\r\nk=v");
    EXPECT_EQ(openAndWrite("[S]\rk=1", "T", "j", "v"), "[S]\rk=1\r\n[T]\r\nj=v");
    // Once written the proper way, the key reads back.
    SettingsStore store;
    const std::string content = "[S]\nk=1\n[T]\nj=2\r\nk=v";
    openWith(store, &content);
    EXPECT_EQ(store.readValue("S", "k", "d"), "v");
}

TEST_F(SettingsStoreTest, KeyBeforeTheFirstHeaderIsNeverFound) {
    EXPECT_EQ(openAndRead("k=1\r\n[S]\r\nj=2", "S", "k"), "<default>");
    EXPECT_EQ(openAndRead("k=1\r\n[S]\r\nk=2", "S", "k"), "2");
    EXPECT_EQ(openAndWrite("k=1", "S", "k", "3"), "k=1\r\n[S]\r\nk=3");
}

TEST_F(SettingsStoreTest, DuplicatedSectionsAndKeys) {
    const std::string content = "[S]\r\na=1\r\na=2\r\n[S]\r\nb=3";
    EXPECT_EQ(openAndRead(content, "S", "a"), "1");
    // b lies in the second copy of S: not part of the first, which is the one that counts.
    EXPECT_EQ(openAndRead(content, "S", "b"), "<default>");
    EXPECT_EQ(openAndWrite(content, "S", "a", "9"), "[S]\r\na=9\r\na=2\r\n[S]\r\nb=3");
    EXPECT_EQ(openAndWrite(content, "S", "b", "4"), "[S]\r\na=1\r\na=2\r\nb=4\r\n[S]\r\nb=3");
}

TEST_F(SettingsStoreTest, KeyOfTheNextSectionIsAbsent) {
    const std::string content = "[S]\r\na=1\r\n[T]\r\nb=2";
    EXPECT_EQ(openAndRead(content, "S", "b"), "<default>");
    EXPECT_EQ(openAndWrite(content, "S", "b", "x"), "[S]\r\na=1\r\nb=x\r\n[T]\r\nb=2");
}

TEST_F(SettingsStoreTest, HeaderPrecededByOtherBytesIsNoHeader) {
    const std::string content = "[X]\r\nv=x[主界面]\r\nk=1\r\n[主界面]\r\nk=2";
    EXPECT_EQ(openAndRead(content, "主界面", "k"), "2");
    EXPECT_EQ(openAndWrite("a[S]\r\nk=1", "S", "k", "2"), "a[S]\r\nk=1\r\n[S]\r\nk=2");
    EXPECT_EQ(openAndWrite(" [S]", "S", "k", "2"), " [S]\r\n[S]\r\nk=2");
}

TEST_F(SettingsStoreTest, HeaderAsTheLastLine) {
    const std::string content = "[S]\r\na=1\r\n[T]";
    EXPECT_EQ(openAndRead(content, "S", "b"), "<default>");
    EXPECT_EQ(openAndRead(content, "T", "a"), "<default>");
    EXPECT_EQ(openAndWrite(content, "S", "b", "2"), "[S]\r\na=1\r\nb=2\r\n[T]");
    EXPECT_EQ(openAndWrite(content, "T", "c", "3"), "[S]\r\na=1\r\n[T]\r\nc=3");
    // Text behind the "]" on a header line is ignored.
    EXPECT_EQ(openAndRead("[S] junk\r\nk=1", "S", "k"), "1");
}

TEST_F(SettingsStoreTest, AwkwardValuesReadBack) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("S");
    const std::vector<std::string> values = {
        "a=b", "[T]", "x\r\n[T]\r\nk=1", "{H}{G}", "1{G}2{H}3", "\r", "\n", "a\r", "\nb", "=", "", "[S]\r\n"};
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(store.writeText("k" + std::to_string(i), values[i])) << i;
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(store.readText("k" + std::to_string(i), "<default>"), values[i]) << i;
    // Headers hidden in values must not have created sections.
    EXPECT_EQ(store.readValue("T", "k", "<none>"), "<none>");
    // A stored mark reads back as a line break, as the format says.
    ASSERT_TRUE(store.writeText("mark", "a┊*┊b"));
    EXPECT_EQ(store.readText("mark", ""), "a\r\nb");
    EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
    SettingsStore reopened;
    ASSERT_FALSE(reopened.openStore(settingsPath())); // the first store still holds the file
    reopened.setCurrentSection("S");
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reopened.readText("k" + std::to_string(i), "<default>"), values[i]) << i;
}

TEST_F(SettingsStoreTest, RawWritesThatWouldBreakTheStructureAreRefused) {
    SettingsStore store;
    const std::string content = "[S]\r\nk=1";
    openWith(store, &content);
    EXPECT_FALSE(store.writeValue("S", "k", "a\r\n[T]"));
    EXPECT_FALSE(store.writeValue("S", "a=b", "1"));
    EXPECT_FALSE(store.writeValue("S", "[T]", "1"));
    EXPECT_FALSE(store.writeValue("S", "a\nb", "1"));
    EXPECT_FALSE(store.writeValue("S]x", "k", "1"));
    EXPECT_FALSE(store.writeValue("S\r\n", "k", "1"));
    EXPECT_EQ(store.fileImage(), content);
    EXPECT_EQ(diskContent(settingsPath()), content);
}

TEST_F(SettingsStoreTest, InvalidUtf8IsStoredByteExactly) {
    SettingsStore store;
    openWith(store, nullptr);
    const std::string section = "\xff\xfe";
    const std::string key = "\xc3\x28key";
    const std::string value = "\x80\x81\xfe\xff\xc0";
    ASSERT_TRUE(store.writeValue(section, key, value));
    EXPECT_EQ(store.readValue(section, key, ""), value);
    EXPECT_EQ(diskContent(settingsPath()), "[" + section + "]\r\n" + key + "=" + value);
}

TEST_F(SettingsStoreTest, TenMegabytesOfGarbage) {
    std::mt19937 random(1234);
    std::string garbage(10u << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random() & 0xff);
    SettingsStore store;
    openWith(store, &garbage);
    EXPECT_EQ(store.readValue("主界面", "编辑框层次", "2"), "2");
    ASSERT_TRUE(store.writeValue("主界面", "编辑框层次", "5"));
    ASSERT_TRUE(store.writeValue("主界面", "编辑框过滤", "*.txt"));
    EXPECT_EQ(store.fileImage().compare(0, garbage.size(), garbage), 0);
    EXPECT_EQ(store.fileImage().substr(garbage.size()), "\r\n[主界面]\r\n编辑框层次=5\r\n编辑框过滤=*.txt");
    EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
    EXPECT_EQ(store.readValue("主界面", "编辑框层次", "2"), "5");
}

TEST_F(SettingsStoreTest, EveryAppliedWriteLeavesTheDiskEqualToTheImage) {
    SettingsStore store;
    openWith(store, nullptr);
    std::mt19937 random(99);
    const std::vector<std::string> sections = {"主界面", "文件归类", "文件统计"};
    for (int step = 0; step < 300; ++step) {
        const std::string section = sections[random() % sections.size()];
        const std::string key = "k" + std::to_string(random() % 12);
        const std::string value(random() % 20, static_cast<char>('a' + random() % 26));
        ASSERT_TRUE(store.writeValue(section, key, value));
        ASSERT_EQ(diskContent(settingsPath()), store.fileImage()) << step;
        ASSERT_EQ(store.readValue(section, key, "<default>"), value) << step;
    }
    // The atomic replacement leaves no temporary files behind.
    const std::vector<std::string> entries = folderEntries(tree.root());
    EXPECT_EQ(entries.size(), 2u); // the settings file and its lock file
}

TEST_F(SettingsStoreTest, ReplacementKeepsThePermissionBits) {
    tree.file("Karv·Tessil.ini", "[S]\r\nk=1");
    ASSERT_EQ(::chmod(settingsPath().c_str(), 0600), 0);
    SettingsStore store;
    ASSERT_TRUE(store.openStore(settingsPath()));
    ASSERT_TRUE(store.writeValue("S", "k", "2"));
    struct stat info {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsStoreTest, SymbolicLinkToTheFileStaysALink) {
    const std::string target = tree.file("real/settings.ini", "[S]\r\nk=1");
    ASSERT_EQ(::symlink(target.c_str(), settingsPath().c_str()), 0);
    SettingsStore store;
    ASSERT_TRUE(store.openStore(settingsPath()));
    ASSERT_TRUE(store.writeValue("S", "k", "2"));
    struct stat info {};
    ASSERT_EQ(::lstat(settingsPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(diskContent(target), "[S]\r\nk=2");
    EXPECT_TRUE(folderEntries(tree.path("real")).size() == 1u);
}

TEST_F(SettingsStoreTest, SecondInstanceReadsButDoesNotWrite) {
    const std::string content = "[主界面]\r\n编辑框层次=3";
    tree.file("Karv·Tessil.ini", content);
    SettingsStore first;
    ASSERT_TRUE(first.openStore(settingsPath()));
    {
        SettingsStore second;
        EXPECT_FALSE(second.openStore(settingsPath()));
        EXPECT_FALSE(second.isWritable());
        EXPECT_EQ(second.readValue("主界面", "编辑框层次", "2"), "3");
        // Its change lives in its image only; the disk keeps the first instance's file.
        EXPECT_FALSE(second.writeValue("主界面", "编辑框层次", "9"));
        EXPECT_EQ(second.readValue("主界面", "编辑框层次", "2"), "9");
        second.setCurrentSection("主界面");
        EXPECT_FALSE(second.writeByteValue("编辑框筛选内容", "x"));
        EXPECT_EQ(diskContent(settingsPath()), content);
        EXPECT_FALSE(exists(tree.path("inibin")));
    }
    ASSERT_TRUE(first.writeValue("主界面", "编辑框层次", "4"));
    EXPECT_EQ(diskContent(settingsPath()), "[主界面]\r\n编辑框层次=4");
    // Reopening in the same object keeps the lock usable.
    EXPECT_TRUE(first.openStore(settingsPath()));
    EXPECT_EQ(first.readValue("主界面", "编辑框层次", "2"), "4");
}

TEST_F(SettingsStoreTest, LockIsReleasedWithTheStore) {
    {
        SettingsStore first;
        ASSERT_TRUE(first.openStore(settingsPath()));
    }
    SettingsStore next;
    EXPECT_TRUE(next.openStore(settingsPath()));
}

TEST_F(SettingsStoreTest, ExistingButUnreadableFileIsNeverOverwritten) {
    // A folder in place of the file cannot be read; the store must not replace it.
    tree.folder("Karv·Tessil.ini");
    SettingsStore store;
    EXPECT_FALSE(store.openStore(settingsPath()));
    EXPECT_FALSE(store.writeValue("S", "k", "v"));
    struct stat info {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(SettingsStoreTest, ReadOnlyFolderFromTheStart) {
    const std::string content = "[S]\r\nk=1";
    tree.file("Karv·Tessil.ini", content);
    const std::string root = tree.root();
    const std::string path = settingsPath();
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    EXPECT_TRUE(runWithoutPrivileges(root, [&] {
        CHECK_OR_FAIL(::chmod(root.c_str(), 0555) == 0);
        SettingsStore store;
        CHECK_OR_FAIL(!store.openStore(path));
        CHECK_OR_FAIL(store.readValue("S", "k", "") == "1");
        CHECK_OR_FAIL(!store.writeValue("S", "k", "2"));
        CHECK_OR_FAIL(store.readValue("S", "k", "") == "2");
        CHECK_OR_FAIL(diskContent(path) == content);
        store.setCurrentSection("S");
        CHECK_OR_FAIL(!store.writeByteValue("b", "bytes"));
        CHECK_OR_FAIL(store.readByteValue("b", "dflt") == "dflt");
        return true;
    }));
}

TEST_F(SettingsStoreTest, DiskFailureMidRunKeepsTheOldFileAndCatchesUpLater) {
    const std::string root = tree.root();
    const std::string path = settingsPath();
    EXPECT_TRUE(runWithoutPrivileges(root, [&] {
        SettingsStore store;
        CHECK_OR_FAIL(store.openStore(path));
        CHECK_OR_FAIL(store.writeValue("S", "a", "1"));
        CHECK_OR_FAIL(::chmod(root.c_str(), 0555) == 0);
        // The write cannot reach the disk: the image has it, the file is untouched and whole.
        CHECK_OR_FAIL(!store.writeValue("S", "b", "2"));
        CHECK_OR_FAIL(store.fileImage() == "[S]\r\na=1\r\nb=2");
        CHECK_OR_FAIL(diskContent(path) == "[S]\r\na=1");
        CHECK_OR_FAIL(folderEntries(root).size() == 2);
        CHECK_OR_FAIL(::chmod(root.c_str(), 0755) == 0);
        // The next write that succeeds carries the earlier change with it.
        CHECK_OR_FAIL(store.writeValue("S", "c", "3"));
        CHECK_OR_FAIL(diskContent(path) == "[S]\r\na=1\r\nb=2\r\nc=3");
        return true;
    }));
}

TEST_F(SettingsStoreTest, ByteValues) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("主界面");
    EXPECT_EQ(store.byteValuePath("编辑框筛选内容"), tree.path("inibin/主界面-编辑框筛选内容.ibn"));
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "dflt"), "dflt");
    const std::string bytes = std::string("a\r\nb\nc\0d┊*┊", 12);
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", bytes));
    EXPECT_EQ(diskContent(tree.path("inibin/主界面-编辑框筛选内容.ibn")), bytes);
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "dflt"), bytes);
    // Byte values leave the settings file alone.
    EXPECT_EQ(diskContent(settingsPath()), "");
    // An empty file reads like a missing one.
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", ""));
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "dflt"), "dflt");
    // Names that would leave the folder are refused.
    EXPECT_FALSE(store.writeByteValue("../escape", "x"));
    EXPECT_EQ(store.readByteValue("../escape", "dflt"), "dflt");
    EXPECT_FALSE(exists(tree.path("escape.ibn")));
}

TEST_F(SettingsStoreTest, VanishedByteValueFolderIsCreatedAgain) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("主界面");
    ASSERT_TRUE(store.writeByteValue("按钮x.标记", "one"));
    std::remove(store.byteValuePath("按钮x.标记").c_str());
    ASSERT_EQ(::rmdir(tree.path("inibin").c_str()), 0);
    EXPECT_EQ(store.readByteValue("按钮x.标记", "dflt"), "dflt");
    ASSERT_TRUE(store.writeByteValue("按钮x.标记", "two"));
    EXPECT_EQ(store.readByteValue("按钮x.标记", "dflt"), "two");
    // A file where the folder should be: the write fails and says so.
    std::remove(store.byteValuePath("按钮x.标记").c_str());
    ASSERT_EQ(::rmdir(tree.path("inibin").c_str()), 0);
    tree.file("inibin", "not a folder");
    EXPECT_FALSE(store.writeByteValue("按钮x.标记", "three"));
}

TEST_F(SettingsStoreTest, SectionCacheFollowsTheLastLookup) {
    SettingsStore store;
    const std::string content = "[A]\r\nk=1\r\n[B]\r\nk=2";
    openWith(store, &content);
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_EQ(store.sectionCache().name, "B");
    EXPECT_EQ(store.sectionCache().headerPos, 10);
    EXPECT_EQ(store.sectionCache().headerEnd, 12);
    EXPECT_FALSE(store.sectionCache().trusted);
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_TRUE(store.sectionCache().trusted);
    // A change in front of B goes through a lookup of A, so the cache never holds a stale B.
    ASSERT_TRUE(store.writeValue("A", "longer", "value"));
    EXPECT_EQ(store.sectionCache().name, "A");
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_EQ(store.readValue("B", "longer", "<none>"), "<none>");
    EXPECT_EQ(store.sectionCache().headerPos, static_cast<std::int64_t>(store.fileImage().find("[B]")));
    // Reopening forgets the cache.
    EXPECT_TRUE(store.openStore(settingsPath()));
    EXPECT_EQ(store.sectionCache().name, "");
    EXPECT_EQ(store.sectionCache().headerPos, -1);
}

TEST_F(SettingsStoreTest, WriteRequestedDuringAWriteIsAppliedAfterIt) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("S");
    std::vector<bool> nestedResults;
    int pumps = 0;
    store.setEventPump([&] {
        // Like a click handled while the first write dispatches events.
        if (++pumps == 1) {
            EXPECT_TRUE(store.writeInProgress());
            nestedResults.push_back(store.writeText("second", "2"));
            nestedResults.push_back(store.writeFlag("third", true));
            EXPECT_EQ(store.pendingWrites().size(), 3u);
            EXPECT_EQ(store.pendingWrites().front().key, "first");
            // A handler draining the queue itself must not apply the running request twice.
            EXPECT_FALSE(store.applyPendingWrites());
        }
    });
    EXPECT_TRUE(store.writeText("first", "1"));
    EXPECT_EQ(nestedResults, (std::vector<bool>{false, false}));
    EXPECT_TRUE(store.pendingWrites().empty());
    EXPECT_FALSE(store.writeInProgress());
    EXPECT_EQ(store.fileImage(), "[S]\r\nfirst=1\r\nsecond=2\r\nthird=真");
    EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
    EXPECT_FALSE(store.applyPendingWrites()); // empty queue
}

TEST_F(SettingsStoreTest, QueuedRequestKeepsTheSectionItWasMadeFor) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("A");
    bool once = false;
    store.setEventPump([&] {
        if (!once) {
            once = true;
            store.setCurrentSection("B");
            store.writeText("b", "2");
            store.setCurrentSection("A");
        }
    });
    EXPECT_TRUE(store.writeText("a", "1"));
    EXPECT_EQ(store.fileImage(), "[A]\r\na=1\r\n[B]\r\nb=2");
}

TEST_F(SettingsStoreTest, ReadDuringAWriteSeesTheHalfDoneImage) {
    SettingsStore store;
    openWith(store, nullptr);
    store.setCurrentSection("S");
    std::vector<std::string> seen;
    store.setEventPump([&] {
        if (store.writeInProgress())
            seen.push_back(store.fileImage());
    });
    EXPECT_TRUE(store.writeText("k", "v"));
    // Pass 1 sees nothing, pass 2 the new header, pass 3 the key line without its value.
    EXPECT_EQ(seen, (std::vector<std::string>{"", "[S]", "[S]\r\nk="}));
}

TEST_F(SettingsStoreTest, SectionThatNeverAppearsShowsBothMessages) {
    std::vector<SettingsMessage> messages;
    SettingsStore store({}, [&](const SettingsMessage& message) { messages.push_back(message); });
    openWith(store, nullptr);
    // A handler that keeps reloading the file from disk throws away every header the write
    // appends, so the header is never found.
    int pumps = 0;
    store.setEventPump([&] {
        ++pumps;
        store.openStore(settingsPath());
    });
    EXPECT_FALSE(store.writeValue("S", "k", "v"));
    EXPECT_EQ(pumps, 11);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "配置模块出现意外，可能导致无法正常保存！详情请咨询Karv。");
    EXPECT_EQ(messages[0].caption, "信息：");
    EXPECT_TRUE(messages[0].exclamationIcon);
    EXPECT_EQ(messages[1].text, store.fileImage());
    EXPECT_EQ(messages[1].caption, "信息：");
    EXPECT_FALSE(messages[1].exclamationIcon);
    EXPECT_EQ(diskContent(settingsPath()), store.fileImage());
}

TEST_F(SettingsStoreTest, RejectedHeaderCandidatesCostOnePassEach) {
    SettingsStore store;
    const std::string content = "x[S]y[S]\r\n[S]\r\nk=1";
    openWith(store, &content);
    int pumps = 0;
    store.setEventPump([&] { ++pumps; });
    EXPECT_EQ(store.readValue("S", "k", ""), "1");
    EXPECT_EQ(pumps, 3);
}

TEST_F(SettingsStoreTest, BatchWritesTheFileOnceAtTheEnd) {
    SettingsStore store;
    const std::string content = "[S]\r\nk=0";
    openWith(store, &content);
    store.setCurrentSection("S");
    {
        SettingsBatch batch(store);
        EXPECT_TRUE(store.writeNumber("k", 1));
        EXPECT_TRUE(store.writeNumber("j", 2));
        {
            SettingsBatch inner(store);
            EXPECT_TRUE(store.writeFlag("f", false));
        }
        EXPECT_EQ(diskContent(settingsPath()), content);
        EXPECT_EQ(store.readNumber("j", 0), 2);
    }
    EXPECT_EQ(diskContent(settingsPath()), "[S]\r\nk=1\r\nj=2\r\nf=假");
    EXPECT_TRUE(store.endBatch()); // unbalanced end is harmless
}

TEST_F(SettingsStoreTest, StoreWithoutPathKeepsEverythingInMemory) {
    SettingsStore store;
    EXPECT_FALSE(store.openStore(""));
    EXPECT_FALSE(store.writeValue("S", "k", "v"));
    EXPECT_EQ(store.readValue("S", "k", ""), "v");
    store.setCurrentSection("S");
    EXPECT_FALSE(store.writeByteValue("b", "x"));
    EXPECT_EQ(store.readByteValue("b", "d"), "d");
}
