#include "settings/SettingsStore.h"

#include "app/AppState.h"
#include "support/Privileges.h"
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

std::string disk(const std::string& path) {
    std::string content;
    settingsio::readWholeFile(path, content);
    return content;
}

std::size_t entryCount(const std::string& folder) {
    std::size_t count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            count += entry->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return count;
}

using karv::test::runWithoutPrivileges;

#define CHECK_OR_FAIL(condition)                                                                             \
    if (!(condition)) {                                                                                      \
        std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                         \
        return false;                                                                                        \
    }

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string path() const { return tree.path("Karv·Tessil.ini"); }
    void open(SettingsStore& store, const std::string& content) {
        tree.file("Karv·Tessil.ini", content);
        ASSERT_TRUE(store.openStore(path()));
    }
    TempTree tree;
};

struct ReadCase {
    const char* what;
    std::string file, section, key, expected;
};

struct WriteCase {
    const char* what;
    std::string file, section, key, value, expected;
};

} // namespace

TEST_F(SettingsStoreTest, MissingFileIsCreatedEmptyAndReadsDefaults) {
    SettingsStore store;
    EXPECT_TRUE(store.openStore(path()));
    EXPECT_TRUE(store.isWritable());
    EXPECT_EQ(disk(path()), "");
    EXPECT_EQ(entryCount(tree.root()), 2u); // the file and its lock file
    store.setCurrentSection("主界面");
    EXPECT_EQ(store.readText("编辑框过滤", "*.*"), "*.*");
    EXPECT_EQ(store.readNumber("组合框匹配模式", -1), -1);
    EXPECT_TRUE(store.readFlag("选择框文件名", true));
}

TEST_F(SettingsStoreTest, Lookups) {
    const std::string dup = "[S]\r\na=1\r\na=2\r\n[S]\r\nb=3";
    const std::vector<ReadCase> cases = {
        {"empty file", "", "S", "k", "<d>"},
        {"header only", "[S]", "S", "k", "<d>"},
        {"empty value is a value", "[S]\r\nk=\r\nj=1", "S", "k", ""},
        {"other section", "[S]\r\nk=1", "T", "k", "<d>"},
        {"CR only", "[S]\rk=1\r[T]\rj=2", "S", "k", "<d>"},
        {"LF only", "[S]\nk=1\n[T]\nj=2", "S", "k", "<d>"},
        {"LF only header", "[S]\nk=1\n[T]\nj=2", "T", "j", "<d>"},
        {"key before first header", "k=1\r\n[S]\r\nj=2", "S", "k", "<d>"},
        {"first duplicate key", dup, "S", "a", "1"},
        {"key of second duplicate section", dup, "S", "b", "<d>"},
        {"key of the next section", "[S]\r\na=1\r\n[T]\r\nb=2", "S", "b", "<d>"},
        {"header after other bytes", "[X]\r\nv=x[主界面]\r\nk=1\r\n[主界面]\r\nk=2", "主界面", "k", "2"},
        {"header as last line", "[S]\r\na=1\r\n[T]", "T", "a", "<d>"},
        {"text behind the ]", "[S] junk\r\nk=1", "S", "k", "<d>"},
        {"value with =", "[S]\r\nk=a=b", "S", "k", "a=b"},
    };
    for (const ReadCase& c : cases) {
        SettingsStore store;
        open(store, c.file);
        EXPECT_EQ(store.readValue(c.section, c.key, "<d>"), c.expected) << c.what;
    }
}

TEST_F(SettingsStoreTest, WritesInsertWhereTheLayoutSays) {
    const std::string dup = "[S]\r\na=1\r\na=2\r\n[S]\r\nb=3";
    const std::vector<WriteCase> cases = {
        {"empty file", "", "主界面", "选择框按长度筛选", "真", "[主界面]\r\n选择框按长度筛选=真"},
        {"header only", "[S]", "S", "k", "v", "[S]\r\nk=v"},
        {"new section", "[S]", "T", "k", "v", "[S]\r\n[T]\r\nk=v"},
        {"empty value keeps the line", "[S]\r\nk=abc\r\nj=1", "S", "k", "", "[S]\r\nk=\r\nj=1"},
        {"shorter value", "[S]\r\nk=long\r\n[T]\r\nk=1", "S", "k", "ab", "[S]\r\nk=ab\r\n[T]\r\nk=1"},
        {"LF only", "[S]\nk=1\n[T]\nj=2", "S", "k", "v", "[S]\nk=1\n[T]\nj=2\r\n[S]\r\nk=v"},
        {"CR only", "[S]\rk=1", "T", "j", "v", "[S]\rk=1\r\n[T]\r\nj=v"},
        {"key before first header", "k=1", "S", "k", "3", "k=1\r\n[S]\r\nk=3"},
        {"first duplicate key", dup, "S", "a", "9", "[S]\r\na=9\r\na=2\r\n[S]\r\nb=3"},
        {"into first duplicate section", dup, "S", "b", "4", "[S]\r\na=1\r\na=2\r\nb=4\r\n[S]\r\nb=3"},
        {"key of the next section", "[S]\r\n[T]\r\nb=2", "S", "b", "x", "[S]\r\nb=x\r\n[T]\r\nb=2"},
        {"header after other bytes", "a[S]\r\nk=1", "S", "k", "2", "a[S]\r\nk=1\r\n[S]\r\nk=2"},
        {"header as last line", "[S]\r\na=1\r\n[T]", "S", "b", "2", "[S]\r\na=1\r\nb=2\r\n[T]"},
        {"into last-line header", "[S]\r\na=1\r\n[T]", "T", "c", "3", "[S]\r\na=1\r\n[T]\r\nc=3"},
        {"invalid UTF-8", "", "\xff\xfe", "\xc3(", "\x80\xc0", "[\xff\xfe]\r\n\xc3(=\x80\xc0"},
    };
    for (const WriteCase& c : cases) {
        SettingsStore store;
        open(store, c.file);
        EXPECT_TRUE(store.writeValue(c.section, c.key, c.value)) << c.what;
        EXPECT_EQ(store.fileImage(), c.expected) << c.what;
        EXPECT_EQ(disk(path()), c.expected) << c.what;
        EXPECT_EQ(store.readValue(c.section, c.key, "<d>"), c.value) << c.what;
    }
}

TEST_F(SettingsStoreTest, TypedValuesAndAwkwardTexts) {
    SettingsStore store;
    open(store, "");
    store.setCurrentSection("主界面");
    EXPECT_TRUE(store.writeFlag("选择框a", true));
    store.setCurrentSection("文件统计");
    EXPECT_TRUE(store.writeNumber("组合框b", 0.5));
    store.setCurrentSection("主界面");
    EXPECT_TRUE(store.writeText("编辑框c", "x\r\ny"));
    EXPECT_EQ(store.fileImage(), "[主界面]\r\n选择框a=真\r\n编辑框c=x┊*┊y\r\n[文件统计]\r\n组合框b=0.5");
    EXPECT_EQ(store.readText("编辑框c", ""), "x\r\ny");
    EXPECT_TRUE(store.readFlag("选择框a", false));
    const std::vector<std::string> texts = {"a=b", "[T]", "x\r\n[T]\r\nk=1", "{H}{G}", "\r", "\n", "a\r",
                                            "\nb", ""};
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(store.writeText("k" + std::to_string(i), texts[i]));
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(store.readText("k" + std::to_string(i), "<d>"), texts[i]) << i;
    EXPECT_EQ(store.readValue("T", "k", "<d>"), "<d>"); // no header hidden in a value
    // A typed mark comes back as a line break: the format cannot tell them apart.
    ASSERT_TRUE(store.writeText("mark", "a┊*┊b"));
    EXPECT_EQ(store.readText("mark", ""), "a\r\nb");
    EXPECT_EQ(disk(path()), store.fileImage());
}

TEST_F(SettingsStoreTest, WritesThatWouldBreakTheStructureAreRefused) {
    SettingsStore store;
    open(store, "[S]\r\nk=1");
    EXPECT_FALSE(store.writeValue("S", "k", "a\r\n[T]"));
    EXPECT_FALSE(store.writeValue("S", "a=b", "1"));
    EXPECT_FALSE(store.writeValue("S", "[T]", "1"));
    EXPECT_FALSE(store.writeValue("S", "a\nb", "1"));
    EXPECT_FALSE(store.writeValue("S]x", "k", "1"));
    EXPECT_EQ(store.fileImage(), "[S]\r\nk=1");
    EXPECT_EQ(disk(path()), "[S]\r\nk=1");
}

TEST_F(SettingsStoreTest, TenMegabytesOfGarbage) {
    std::mt19937 random(1234);
    std::string garbage(10u << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random() & 0xff);
    SettingsStore store;
    open(store, garbage);
    EXPECT_EQ(store.readValue("主界面", "编辑框层次", "2"), "2");
    ASSERT_TRUE(store.writeValue("主界面", "编辑框层次", "5"));
    ASSERT_TRUE(store.writeValue("主界面", "编辑框过滤", "*.txt"));
    EXPECT_EQ(store.fileImage(), garbage + "\r\n[主界面]\r\n编辑框层次=5\r\n编辑框过滤=*.txt");
    EXPECT_EQ(disk(path()), store.fileImage());
}

TEST_F(SettingsStoreTest, DiskEqualsImageAfterEveryWriteAndKeepsModeAndLink) {
    const std::string target = tree.file("real/settings.ini", "[S]\r\nk=1");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(target.c_str(), path().c_str()), 0);
    SettingsStore store;
    ASSERT_TRUE(store.openStore(path()));
    std::mt19937 random(99);
    for (int step = 0; step < 100; ++step) {
        const std::string section = step % 3 == 0 ? "主界面" : "文件统计";
        const std::string key = "k" + std::to_string(random() % 12);
        const std::string value(random() % 20, static_cast<char>('a' + random() % 26));
        ASSERT_TRUE(store.writeValue(section, key, value));
        ASSERT_EQ(disk(target), store.fileImage()) << step;
        ASSERT_EQ(store.readValue(section, key, "<d>"), value) << step;
    }
    struct stat info {};
    ASSERT_EQ(::lstat(path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(entryCount(tree.path("real")), 1u); // no temporary files left
}

TEST_F(SettingsStoreTest, TheLockFileLeavesWithTheStoreAndAStaleOneBlocksNothing) {
    {
        SettingsStore store;
        ASSERT_TRUE(store.openStore(path()));
    }
    EXPECT_EQ(entryCount(tree.root()), 1u); // only the settings file
    tree.file("Karv·Tessil.ini.lock");      // as a crash leaves it
    SettingsStore next;
    EXPECT_TRUE(next.openStore(path()));
    SettingsStore second;
    EXPECT_FALSE(second.openStore(path()));
}

TEST_F(SettingsStoreTest, SecondInstanceReadsButDoesNotWrite) {
    const std::string content = "[主界面]\r\n编辑框层次=3";
    SettingsStore first;
    open(first, content);
    {
        SettingsStore second;
        EXPECT_FALSE(second.openStore(path()));
        EXPECT_EQ(second.readValue("主界面", "编辑框层次", "2"), "3");
        // The change stays in its image; the first instance's file is untouched.
        EXPECT_FALSE(second.writeValue("主界面", "编辑框层次", "9"));
        EXPECT_EQ(second.readValue("主界面", "编辑框层次", "2"), "9");
        second.setCurrentSection("主界面");
        EXPECT_FALSE(second.writeByteValue("编辑框筛选内容", "x"));
        EXPECT_EQ(disk(path()), content);
    }
    ASSERT_TRUE(first.writeValue("主界面", "编辑框层次", "4"));
    EXPECT_EQ(disk(path()), "[主界面]\r\n编辑框层次=4");
    EXPECT_TRUE(first.openStore(path())); // reopening in the same object keeps the lock
    first.openStore("");                  // releases it
    SettingsStore next;
    EXPECT_TRUE(next.openStore(path()));
}

TEST_F(SettingsStoreTest, UnreadableFileIsNeverOverwritten) {
    tree.folder("Karv·Tessil.ini"); // a folder cannot be read as a file
    SettingsStore store;
    EXPECT_FALSE(store.openStore(path()));
    EXPECT_FALSE(store.writeValue("S", "k", "v"));
    struct stat info {};
    ASSERT_EQ(::stat(path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(SettingsStoreTest, ReadOnlyFolderFromTheStart) {
    tree.file("Karv·Tessil.ini", "[S]\r\nk=1");
    const std::string root = tree.root(), file = path();
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_TRUE(runWithoutPrivileges(root, [&] {
        CHECK_OR_FAIL(::chmod(root.c_str(), 0555) == 0);
        SettingsStore store;
        CHECK_OR_FAIL(!store.openStore(file));
        CHECK_OR_FAIL(store.readValue("S", "k", "") == "1");
        CHECK_OR_FAIL(!store.writeValue("S", "k", "2"));
        CHECK_OR_FAIL(store.readValue("S", "k", "") == "2");
        CHECK_OR_FAIL(disk(file) == "[S]\r\nk=1");
        store.setCurrentSection("S");
        CHECK_OR_FAIL(!store.writeByteValue("b", "bytes"));
        return true;
    }));
}

TEST_F(SettingsStoreTest, FailedDiskWriteKeepsTheOldFileAndCatchesUpLater) {
    const std::string root = tree.root(), file = path();
    EXPECT_TRUE(runWithoutPrivileges(root, [&] {
        SettingsStore store;
        CHECK_OR_FAIL(store.openStore(file) && store.writeValue("S", "a", "1"));
        CHECK_OR_FAIL(::chmod(root.c_str(), 0555) == 0);
        CHECK_OR_FAIL(!store.writeValue("S", "b", "2"));
        CHECK_OR_FAIL(store.fileImage() == "[S]\r\na=1\r\nb=2");
        CHECK_OR_FAIL(disk(file) == "[S]\r\na=1");
        CHECK_OR_FAIL(entryCount(root) == 2);
        CHECK_OR_FAIL(::chmod(root.c_str(), 0755) == 0);
        CHECK_OR_FAIL(store.writeValue("S", "c", "3"));
        CHECK_OR_FAIL(disk(file) == "[S]\r\na=1\r\nb=2\r\nc=3");
        return true;
    }));
}

TEST_F(SettingsStoreTest, ByteValuesAndAVanishedFolder) {
    SettingsStore store;
    open(store, "");
    store.setCurrentSection("主界面");
    const std::string file = tree.path("inibin/主界面-编辑框筛选内容.ibn");
    EXPECT_EQ(store.byteValuePath("编辑框筛选内容"), file);
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "d"), "d");
    const std::string bytes("a\r\nb\nc\0d┊*┊", 12);
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", bytes));
    EXPECT_EQ(disk(file), bytes);
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "d"), bytes);
    EXPECT_EQ(disk(path()), "");
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", ""));
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "d"), "d"); // empty reads as missing
    EXPECT_FALSE(store.writeByteValue("../escape", "x"));
    EXPECT_EQ(entryCount(tree.root()), 3u);
    std::remove(file.c_str());
    ASSERT_EQ(::rmdir(tree.path("inibin").c_str()), 0);
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", "two"));
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", "d"), "two");
    std::remove(file.c_str());
    ASSERT_EQ(::rmdir(tree.path("inibin").c_str()), 0);
    tree.file("inibin", "a file where the folder should be");
    EXPECT_FALSE(store.writeByteValue("编辑框筛选内容", "three"));
}

TEST_F(SettingsStoreTest, SectionCacheAndRejectedHeaders) {
    SettingsStore store;
    open(store, "x[B]\r\n[A]\r\nk=1\r\n[B]\r\nk=2");
    int pumps = 0;
    store.setEventPump([&] { ++pumps; });
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_EQ(pumps, 2); // one pass per rejected candidate
    EXPECT_EQ(store.sectionCache().name, "B");
    EXPECT_EQ(store.sectionCache().headerPos, 16);
    EXPECT_EQ(store.sectionCache().headerEnd, 18);
    EXPECT_FALSE(store.sectionCache().trusted);
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_TRUE(store.sectionCache().trusted);
    // A change in front of B looks A up first, so a stale B is never used.
    ASSERT_TRUE(store.writeValue("A", "longer", "value"));
    EXPECT_EQ(store.sectionCache().name, "A");
    EXPECT_EQ(store.readValue("B", "k", ""), "2");
    EXPECT_TRUE(store.openStore(path()));
    EXPECT_EQ(store.sectionCache().headerPos, -1);
}

TEST_F(SettingsStoreTest, AHeaderIsAWholeLine) {
    SettingsStore store;
    // "[]x" is no header line: section "" gets a header of its own, and the key line of A that a
    // write of "" would otherwise have shared keeps its own value.
    open(store, "[A]\r\n[]x");
    ASSERT_TRUE(store.writeValue("", "", "mine"));
    ASSERT_TRUE(store.writeValue("A", "", "theirs"));
    EXPECT_EQ(store.readValue("", "", "?"), "mine");
    EXPECT_EQ(store.readValue("A", "", "?"), "theirs");
    EXPECT_EQ(store.fileImage(), "[A]\r\n=theirs\r\n[]x\r\n[]\r\n=mine");
}

TEST_F(SettingsStoreTest, WriteRequestedDuringAWriteIsAppliedAfterIt) {
    SettingsStore store;
    open(store, "");
    store.setCurrentSection("A");
    std::vector<bool> nested;
    std::vector<std::string> seen;
    store.setEventPump([&] {
        seen.push_back(store.fileImage());
        if (seen.size() == 1) { // a click handled while the first write pumps events
            store.setCurrentSection("B");
            nested.push_back(store.writeText("b", "2"));
            store.setCurrentSection("A");
            nested.push_back(store.writeFlag("c", true));
            EXPECT_EQ(store.pendingWrites().size(), 3u);
            EXPECT_FALSE(store.applyPendingWrites()); // must not apply the running one twice
        }
    });
    EXPECT_TRUE(store.writeText("a", "1"));
    EXPECT_EQ(nested, (std::vector<bool>{false, false}));
    EXPECT_TRUE(store.pendingWrites().empty());
    EXPECT_FALSE(store.writeInProgress());
    EXPECT_EQ(store.fileImage(), "[A]\r\na=1\r\nc=真\r\n[B]\r\nb=2");
    EXPECT_EQ(disk(path()), store.fileImage());
    // Reads between passes see the half-done image: header, then key line without its value.
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 3),
              (std::vector<std::string>{"", "[A]", "[A]\r\na="}));
    EXPECT_FALSE(store.applyPendingWrites()); // empty queue
}

TEST_F(SettingsStoreTest, SectionThatNeverAppearsShowsBothMessages) {
    std::vector<SettingsMessage> messages;
    SettingsStore store({}, [&](const SettingsMessage& message) { messages.push_back(message); });
    open(store, "");
    // A handler that reloads the file throws away every header the write appends.
    int pumps = 0;
    store.setEventPump([&] {
        ++pumps;
        store.openStore(path());
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
    EXPECT_EQ(disk(path()), store.fileImage());
}

TEST_F(SettingsStoreTest, BatchWritesTheFileOnceAtTheEnd) {
    SettingsStore store;
    open(store, "[S]\r\nk=0");
    store.setCurrentSection("S");
    {
        SettingsBatch batch(store);
        EXPECT_TRUE(store.writeNumber("k", 1));
        SettingsBatch inner(store);
        EXPECT_TRUE(store.writeFlag("f", false));
        EXPECT_EQ(disk(path()), "[S]\r\nk=0");
    }
    EXPECT_EQ(disk(path()), "[S]\r\nk=1\r\nf=假");
    EXPECT_TRUE(store.endBatch()); // an unbalanced end is harmless
}

TEST_F(SettingsStoreTest, AByteOrderMarkBeforeTheFirstSectionIsDropped) {
    SettingsStore store;
    open(store, "\xEF\xBB\xBF[主界面]\r\n编辑框过滤=*.txt");
    EXPECT_EQ(store.readValue("主界面", "编辑框过滤", "*.*"), "*.txt");
    ASSERT_TRUE(store.writeValue("主界面", "编辑框过滤", "*.log"));
    EXPECT_EQ(disk(path()), "[主界面]\r\n编辑框过滤=*.log");
    // A byte-value file holds a value's exact bytes, a leading mark included.
    store.setCurrentSection("主界面");
    ASSERT_TRUE(store.writeByteValue("编辑框筛选内容", "\xEF\xBB\xBF甲"));
    EXPECT_EQ(store.readByteValue("编辑框筛选内容", ""), "\xEF\xBB\xBF甲");
}

TEST_F(SettingsStoreTest, NamedPipesInTheStartUpFilesPlacesAreNeitherWaitedForNorWrittenOver) {
    auto isPipe = [](const std::string& at) {
        struct stat info {};
        return ::lstat(at.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    };
    // Nobody ever writes into these pipes: a reader that waits for a writer would wait forever.
    ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
    {
        SettingsStore store;
        EXPECT_FALSE(store.openStore(path()));
        EXPECT_EQ(store.readValue("S", "k", "d"), "d");
        EXPECT_FALSE(store.writeValue("S", "k", "v"));
    }
    EXPECT_TRUE(isPipe(path()));
    EXPECT_FALSE(settingsio::replaceFileAtomically(path(), "x"));
    EXPECT_TRUE(isPipe(path()));
    ASSERT_EQ(::unlink(path().c_str()), 0);

    tree.file("Karv·Tessil.ini", "[S]\r\nk=1");
    ASSERT_EQ(::mkfifo((path() + ".lock").c_str(), 0644), 0);
    {
        SettingsStore store;
        EXPECT_FALSE(store.openStore(path()));
        EXPECT_EQ(store.readValue("S", "k", "d"), "1");
    }
    EXPECT_TRUE(isPipe(path() + ".lock"));
    ASSERT_EQ(::unlink((path() + ".lock").c_str()), 0);

    SettingsStore store;
    ASSERT_TRUE(store.openStore(path()));
    store.setCurrentSection("S");
    tree.folder("inibin");
    const std::string byteValue = store.byteValuePath("b");
    ASSERT_EQ(::mkfifo(byteValue.c_str(), 0644), 0);
    EXPECT_EQ(store.readByteValue("b", "d"), "d");
    EXPECT_FALSE(store.writeByteValue("b", "bytes"));
    EXPECT_TRUE(isPipe(byteValue));

    ASSERT_EQ(::mkfifo(tree.path("karv.rc").c_str(), 0644), 0);
    AppState state;
    initialiseAppState(state, tree.root(), tree.root());
    EXPECT_EQ(state.programName, kDefaultProgramName);
}
