#include "classify/ClassificationRun.h"

#include "classify/ClassificationUndo.h"
#include "desktop/Desktop.h"
#include "settings/SettingsFiles.h"
#include "support/FaultySyscalls.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace karv;
using karv::test::contentOf;
using karv::test::ScopedEnv;
namespace fs = std::filesystem;

namespace {

/// Plays the window: fixed settings, a list of rows, a stop token, and what the run reported.
class TestHost : public ClassificationLive, public ClassificationSink, public Clock {
public:
    ClassificationSettings values;
    bool random = false;
    std::string patterns = "*.*";
    std::vector<std::string> rows;
    std::function<void()> onPump;
    StopToken stop;
    NoProgress quiet;
    std::vector<std::pair<std::string, std::string>> done; // source, target of each success
    std::vector<std::string> failed;
    std::optional<ClassificationSummary> summary;
    std::int64_t tick = 0;

    bool randomOrder() override { return random; }
    std::string patternList() override { return patterns; }
    bool keywordSearch() override { return values.keywordSearch; }
    std::size_t listRowCount() override { return rows.size(); }
    std::optional<std::string> listRowPath(std::size_t row) override { return rows.at(row); }
    std::int64_t tickMs() override { return ++tick; }
    void fileDone(const std::string& source, const std::string& target, bool ok) override {
        if (ok)
            done.emplace_back(source, target);
        else
            failed.push_back(source);
    }
};

/// One run as the window starts it; the summary is kept unless the run was refused.
ClassificationSummary classify(ClassificationRun& run, TestHost& host) {
    host.stop.reset();
    const RunContext context{host.stop, host.quiet,
                             [&host] {
                                 if (host.onPump)
                                     host.onPump();
                             },
                             host};
    ClassificationSummary summary = run.run({host.values, host}, context, host);
    if (summary.refusal.empty())
        host.summary = summary;
    return summary;
}

/// An undo with nobody to stop it.
UndoResult undoLast(const std::string& logs, PlacementFiles& files, bool preview = false) {
    StopToken stop;
    NoProgress quiet;
    SteadyClock clock;
    return undoLastClassification(logs, files, {stop, quiet, {}, clock}, preview);
}

std::size_t filesIn(const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

std::size_t linesOf(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Fixture {
    test::TempTree tree;
    std::string logs = tree.folder("logs");
    TestHost host;
    std::unique_ptr<PlacementFiles> disk = diskPlacementFiles();
    ClassificationRun run{*disk, logs};

    Fixture() {
        host.values.keepOriginal = false;
        host.values.folder = tree.path("in");
    }
    std::string log(std::string_view name) { return contentOf(logPath(logs, name)); }
};

} // namespace

TEST(ClassificationRun, FolderBatchesRestartPerFolderAndCreatedFoldersAreNeverVisited) {
    Fixture f;
    for (int i = 0; i < 250; ++i)
        f.tree.file("in/f" + std::to_string(1000 + i) + ".txt", std::to_string(i));
    f.tree.file("in/sub/a.txt", "a");
    f.tree.file("in/sub/b.txt", "b");
    f.host.values.recurse = true;
    classify(f.run, f.host);

    EXPECT_EQ(filesIn(f.tree.path("in/1")), 100u);
    EXPECT_EQ(filesIn(f.tree.path("in/2")), 100u);
    EXPECT_EQ(filesIn(f.tree.path("in/3")), 50u);
    EXPECT_EQ(filesIn(f.tree.path("in/sub/1")), 2u);
    EXPECT_EQ(filesIn(f.tree.path("in")), 0u);
    EXPECT_FALSE(fs::exists(f.tree.path("in/1/1")));
    EXPECT_EQ(contentOf(f.tree.path("in/3/f1249.txt")), "249");

    ASSERT_TRUE(f.host.summary);
    EXPECT_EQ(f.host.summary->processed, 252);
    EXPECT_EQ(f.host.summary->failures, 0);
    EXPECT_EQ(linesOf(f.host.summary->shownText), 100u);
    const std::string before = f.log(kBeforeLogName), after = f.log(kAfterLogName);
    EXPECT_EQ(linesOf(before), 252u);
    EXPECT_EQ(linesOf(after), 252u);
    EXPECT_EQ(before.substr(0, f.tree.path("in/f1000.txt").size() + 2), f.tree.path("in/f1000.txt") + "\r\n");
    EXPECT_EQ(f.log(kFailureLogName), "");
}

TEST(ClassificationRun, MainListNumbersBatchesAcrossTheListAndSkipsRepeatedRows) {
    Fixture f;
    for (const char* name : {"a/x1", "a/x2", "a/x3", "b/y1", "b/y2", "b/y3"})
        f.host.rows.push_back(f.tree.file(name, name));
    f.host.rows.push_back(f.host.rows[0]);
    f.host.values.mainListMode = true;
    f.host.values.batchSizeText = "2";
    f.host.values.batchMode = BatchMode::Letters;
    classify(f.run, f.host);

    for (const char* name : {"a/A/x1", "a/A/x2", "a/B/x3", "b/B/y1", "b/C/y2", "b/C/y3"})
        EXPECT_TRUE(fs::exists(f.tree.path(name))) << name;
    EXPECT_EQ(f.host.done.size(), 6u);
    EXPECT_TRUE(f.host.failed.empty());
}

TEST(ClassificationRun, CollisionsTakeTheNextFreeNameAndLoseNothing) {
    for (const bool copy : {false, true}) {
        Fixture f;
        const std::string a = f.tree.file("in/a/same.txt", "from a");
        const std::string b = f.tree.file("in/b/same.txt", "from b");
        f.tree.file("out/same.txt", "already there");
        f.host.values.recurse = true;
        f.host.values.keepOriginal = copy;
        f.host.values.templateText = f.tree.path("out") + "/[文件名]";
        classify(f.run, f.host);

        EXPECT_EQ(contentOf(f.tree.path("out/same.txt")), "already there");
        EXPECT_EQ(contentOf(f.tree.path("out/same2.txt")), "from a");
        EXPECT_EQ(contentOf(f.tree.path("out/same3.txt")), "from b");
        EXPECT_EQ(fs::exists(a), copy);
        EXPECT_EQ(f.log(kAfterLogName),
                  f.tree.path("out/same2.txt") + "\r\n" + f.tree.path("out/same3.txt") + "\r\n");
        EXPECT_EQ(f.host.summary->failures, 0);
    }

    EXPECT_EQ(renamedTarget("/a/b.tar.gz", 2), "/a/b.tar2.gz");
    EXPECT_EQ(renamedTarget("/a/README", 3), "/a/README3");
    EXPECT_EQ(renamedTarget("/a/.cfg", 2), "/a/.cfg2");

    // A file whose target is itself stays, counted as done.
    Fixture f;
    const std::string own = f.tree.file("in/own.txt", "own");
    f.host.values.templateText = "[父目录路径]/[文件名]";
    classify(f.run, f.host);
    EXPECT_EQ(contentOf(own), "own");
    EXPECT_EQ(filesIn(f.tree.path("in")), 1u);
    ASSERT_EQ(f.host.done.size(), 1u);
    EXPECT_EQ(f.host.done[0].second, own);
    EXPECT_EQ(f.host.summary->failures, 0);

    // A template that ends in a folder gives no file name: a failure, not a made-up name.
    Fixture g;
    const std::string kept = g.tree.file("in/k.txt", "k");
    g.tree.folder("in/1");
    g.host.values.templateText = "[父目录路径]/[批次名]/";
    classify(g.run, g.host);
    EXPECT_EQ(g.host.summary->failures, 1);
    EXPECT_EQ(contentOf(kept), "k");
    EXPECT_EQ(filesIn(g.tree.path("in/1")), 0u);

    // A folder holding the target name fails the file, as the preview said, in both modes.
    for (const bool copy : {false, true}) {
        Fixture h;
        const std::string data = h.tree.file("in/data.txt", "d");
        h.tree.folder("in/data");
        h.host.values.keepOriginal = copy;
        h.host.values.templateText = "[父目录路径]/[主名]";
        PreviewFiles preview;
        TestHost previewHost;
        previewHost.values = h.host.values;
        ClassificationRun dry(preview, "");
        classify(dry, previewHost);
        classify(h.run, h.host);
        EXPECT_EQ(previewHost.summary->failures, 1);
        EXPECT_EQ(h.host.summary->failures, 1);
        EXPECT_EQ(contentOf(data), "d");
        EXPECT_FALSE(fs::exists(h.tree.path("in/data2")));
    }
}

TEST(ClassificationRun, KeywordLinesGroupFilesUnderTheFirstLineThatMatches) {
    Fixture f;
    f.tree.file("in/年度报告.doc");
    f.tree.file("in/月度总结.doc");
    f.tree.file("in/其他.doc");
    f.host.values.keywordSearch = true;
    f.host.values.keywordText = "报告|总结\r\n报告\r\n";
    f.host.values.templateText = "[父目录路径]/[关键词]/[文件名]";
    classify(f.run, f.host);

    // Filled from the end of the listing: reverse order within a line.
    ASSERT_EQ(f.host.done.size(), 2u);
    EXPECT_EQ(f.host.done[0].second, f.tree.path("in/报告｜总结/月度总结.doc"));
    EXPECT_EQ(f.host.done[1].second, f.tree.path("in/报告｜总结/年度报告.doc"));
    EXPECT_TRUE(fs::exists(f.tree.path("in/其他.doc")));

    // No keyword lines: nothing is classified.
    Fixture empty;
    empty.tree.file("in/报告.doc");
    empty.host.values.keywordSearch = true;
    classify(empty.run, empty.host);
    EXPECT_TRUE(empty.host.done.empty());
    EXPECT_EQ(empty.host.summary->shownText, "");
}

TEST(ClassificationRun, RandomOrderVisitsEveryFileOnce) {
    Fixture f;
    std::set<std::string> sources;
    for (int i = 0; i < 40; ++i)
        sources.insert(f.tree.file("in/r" + std::to_string(i)));
    f.host.random = true;
    f.host.values.batchSizeText = "0"; // every file a batch of its own
    // The logs live in the folder being classified: they are not among its files.
    ClassificationRun run(*f.disk, f.tree.path("in"));
    classify(run, f.host);

    std::set<std::string> seen;
    for (const auto& [source, target] : f.host.done)
        seen.insert(source);
    EXPECT_EQ(seen, sources);
    EXPECT_EQ(f.host.done.size(), 40u);
    EXPECT_TRUE(fs::exists(f.tree.path("in/40")));
    EXPECT_EQ(linesOf(contentOf(logPath(f.tree.path("in"), kAfterLogName))), 40u);
}

TEST(ClassificationRun, StopEndsAfterTheCurrentFileWithLogsAndSummary) {
    Fixture f;
    for (int i = 0; i < 20; ++i)
        f.tree.file("in/s" + std::to_string(100 + i));
    int pumps = 0;
    f.host.onPump = [&] {
        if (++pumps == 6)
            f.host.stop.requestStop(); // the click on the running button
    };
    classify(f.run, f.host);

    ASSERT_TRUE(f.host.summary);
    EXPECT_TRUE(f.host.summary->stopped);
    EXPECT_EQ(f.host.summary->processed, 6);
    EXPECT_EQ(linesOf(f.log(kBeforeLogName)), 6u);
    EXPECT_EQ(filesIn(f.tree.path("in")), 14u);

    // Every file the stopped run moved was journaled before the next one: undo brings all back.
    const UndoResult undo = undoLast(f.logs, *f.disk);
    EXPECT_EQ(undo.undone.size(), 6u);
    EXPECT_TRUE(undo.notRestored.empty());
    EXPECT_EQ(filesIn(f.tree.path("in")), 20u);
}

TEST(ClassificationRun, FailuresAreLoggedCountedAndLoseNothing) {
    test::FaultySyscalls calls;
    Fixture f;
    auto faulty = diskPlacementFiles(calls);
    ClassificationRun run(*faulty, f.logs);
    const std::string kept = f.tree.file("in/keep.txt", "data");
    const std::string gone = f.tree.path("in/gone.txt");
    f.host.values.mainListMode = true;
    f.host.rows = {gone, kept};
    f.host.values.keepOriginal = true;
    calls.failAll(test::FaultySyscalls::Call::Write, ENOSPC);
    calls.failAll(test::FaultySyscalls::Call::CopyRange, ENOSPC);
    classify(run, f.host);

    EXPECT_EQ(f.host.summary->failures, 2);
    EXPECT_EQ(f.log(kFailureLogName), gone + "\r\n" + kept + "\r\n");
    EXPECT_EQ(contentOf(kept), "data");
    EXPECT_EQ(filesIn(f.tree.path("in/1")), 0u); // no partial or temporary copy left
}

namespace {

/// Every regular file below `folder`, by path relative to it, with its content.
std::map<std::string, std::string> filesBelow(const std::string& folder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            out[it->path().string().substr(folder.size() + 1)] = contentOf(it->path().string());
    }
    return out;
}

struct SweepFigures {
    int runs = 0;
    int injected = 0;
    int lost = 0;       ///< files found nowhere or damaged
    int duplicated = 0; ///< files a move left in two places
};

/// A run over three files (one large, one empty, one whose target name is taken) with the `nth`
/// system call failing with `error` (0: none); `across`: renames of the sources fail as between two
/// file systems. Returns the number of calls made.
int classifyWithFault(bool copy, bool across, int nth, int error, SweepFigures& figures) {
    test::FaultySyscalls calls;
    Fixture f;
    auto faulty = diskPlacementFiles(calls);
    ClassificationRun run(*faulty, f.logs);
    std::string large(300 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 131 + (i >> 9));
    const std::map<std::string, std::string> originals = {
        {"a.txt", "alpha"}, {"big.bin", large}, {"empty", ""}};
    for (const auto& [name, content] : originals)
        f.tree.file("in/" + name, content);
    f.tree.file("in/1/a.txt", "already there");
    f.host.values.keepOriginal = copy;
    for (const auto& [name, content] : originals)
        if (across)
            calls.failAll(test::FaultySyscalls::Call::Rename, EXDEV, "/in/" + name + "\n");
    if (nth > 0)
        calls.failNthCall(nth, error);
    classify(run, f.host);
    const int made = calls.totalCalls();
    const std::string where = std::string(copy     ? "copy"
                                          : across ? "move across"
                                                   : "move") +
                              ", call " + std::to_string(nth) + " fails with " + std::to_string(error);

    auto files = filesBelow(f.tree.path("in"));
    EXPECT_EQ(files["1/a.txt"], "already there") << where;
    files.erase("1/a.txt");
    std::map<std::string, int> copies;
    std::size_t placed = 0;
    for (const auto& [name, content] : files) {
        ++copies[content];
        placed += name.rfind("1/", 0) == 0;
        EXPECT_EQ(name.find(".part"), std::string::npos) << where << ": left " << name;
    }
    for (const auto& [name, content] : originals) {
        const bool atSource = files.count(name) && files.at(name) == content;
        const int found = copies[content];
        if (copy ? !(atSource && found <= 2) : found != 1) {
            ++(found > 1 && !copy ? figures.duplicated : figures.lost);
            ADD_FAILURE() << where << ": " << name << " is found " << found << " times";
        }
    }
    // Only what was put in place counts as done, and each success names its file where it is.
    if (!f.host.summary) {
        ADD_FAILURE() << where << ": no summary";
    } else {
        EXPECT_EQ(f.host.summary->processed - f.host.summary->failures, static_cast<std::int64_t>(placed))
            << where;
        EXPECT_EQ(linesOf(f.log(kFailureLogName)), static_cast<std::size_t>(f.host.summary->failures))
            << where;
    }
    for (const auto& [source, target] : f.host.done)
        EXPECT_EQ(contentOf(target), originals.at(fs::path(source).filename().string()))
            << where << ": " << target;

    ++figures.runs;
    figures.injected += nth > 0 && made >= nth;
    return made;
}

} // namespace

TEST(ClassificationRun, EveryFailingSystemCallLeavesEveryFileWholeExactlyOnce) {
    SweepFigures figures;
    for (const auto& [copy, across] : {std::pair{false, false}, {false, true}, {true, false}}) {
        const int total = classifyWithFault(copy, across, 0, 0, figures);
        ASSERT_GT(total, 3);
        for (const int error : {ENOSPC, EACCES, EIO, EXDEV, ENOENT})
            for (int nth = 1; nth <= total; ++nth)
                classifyWithFault(copy, across, nth, error, figures);
    }
    EXPECT_EQ(figures.lost, 0);
    EXPECT_EQ(figures.duplicated, 0);
    RecordProperty("injected_faults", figures.injected);
    std::printf("classification fault sweep: %d runs, %d injected faults, %d files lost, %d left twice\n",
                figures.runs, figures.injected, figures.lost, figures.duplicated);
}

namespace {

/// Every regular file below a folder, relative path to content, reached through open folders (any
/// depth).
void collectFiles(int fd, const std::string& prefix, std::map<std::string, std::string>& out) {
    DIR* dir = ::fdopendir(::dup(fd));
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const int child = ::openat(fd, name.c_str(), (S_ISDIR(info.st_mode) ? O_DIRECTORY : 0) | O_RDONLY);
        if (S_ISDIR(info.st_mode)) {
            collectFiles(child, prefix + name + "/", out);
        } else if (S_ISREG(info.st_mode)) {
            char buffer[64];
            const ssize_t n = ::read(child, buffer, sizeof buffer);
            EXPECT_TRUE(out.emplace(prefix + name, std::string(buffer, n > 0 ? n : 0)).second);
        }
        ::close(child);
    }
    ::closedir(dir);
}

std::map<std::string, std::string> filesAtAnyDepth(const std::string& folder) {
    std::map<std::string, std::string> files;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    collectFiles(fd, "", files);
    ::close(fd);
    return files;
}

} // namespace

TEST(ClassificationRun, TreeDeeperThanThePathLimitIsPreviewedCopiedAndMovedWhole) {
    // 110 levels of 40-character names, one file in each, and a second branch to come back to.
    Fixture f;
    constexpr int kLevels = 110;
    std::string relative;
    std::map<std::string, std::string> original;
    std::vector<std::string> order;
    // Built level by level through open folders: the test's own set-up stays linear too.
    int fd = ::open(f.tree.folder("in").c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kLevels; ++level) {
        const std::string name = "f" + std::to_string(level) + ".txt";
        const std::string content = std::to_string(level);
        const int out = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(out, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        ::close(out);
        original[relative + name] = content;
        order.push_back(f.tree.path("in/" + relative + name));
        const std::string folder = "d" + std::to_string(100 + level) + std::string(36, 'x');
        ::mkdirat(fd, folder.c_str(), 0755);
        const int child = ::openat(fd, folder.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = child;
        relative += folder + "/";
    }
    ::close(fd);
    f.tree.file("in/z/last.txt", "z");
    original["z/last.txt"] = "z";
    order.push_back(f.tree.path("in/z/last.txt"));
    ASSERT_GT(order[kLevels - 1].size(), 4096u);
    f.host.values.recurse = true;

    // A copy into a tree of the same shape elsewhere.
    f.host.values.keepOriginal = true;
    f.host.values.templateText = f.tree.path("out") + "/[子目录段]/[文件名]";
    classify(f.run, f.host);
    std::vector<std::string> sources;
    for (const auto& [source, target] : f.host.done)
        sources.push_back(source);
    EXPECT_EQ(sources, order);
    EXPECT_EQ(f.host.done[kLevels - 1].second,
              f.tree.path("out/" + relative.substr(0, relative.size() - 41)) + "f" +
                  std::to_string(kLevels - 1) + ".txt");
    EXPECT_TRUE(f.host.failed.empty());
    EXPECT_EQ(filesAtAnyDepth(f.tree.path("in")), original);
    EXPECT_EQ(filesAtAnyDepth(f.tree.path("out")), original);

    // A preview of a move beside each file, then the move: each file once, in its folder's batch
    // folder, the batch folders never visited, and the preview foretold every target.
    f.host.values.keepOriginal = false;
    f.host.values.templateText = std::string(kDefaultClassifyTemplate);
    TestHost previewHost;
    previewHost.values = f.host.values;
    PreviewFiles preview;
    ClassificationRun previewRun(preview, "");
    classify(previewRun, previewHost);
    EXPECT_EQ(filesAtAnyDepth(f.tree.path("in")), original);
    f.host.done.clear();
    classify(f.run, f.host);
    EXPECT_EQ(previewHost.done, f.host.done);
    EXPECT_TRUE(f.host.failed.empty());
    std::map<std::string, std::string> moved;
    for (const auto& [file, content] : original) {
        const auto slash = file.rfind('/');
        moved[slash == std::string::npos ? "1/" + file : file.substr(0, slash) + "/1" + file.substr(slash)] =
            content;
    }
    EXPECT_EQ(filesAtAnyDepth(f.tree.path("in")), moved);
}

namespace {} // namespace

TEST(ClassificationJournal, AnyNameRoundTripsAndUndoRunsOnceFromAJournalItWrote) {
    Fixture f;
    const std::vector<std::string> names = {"line\nbreak.txt", "cr\rx.txt",       "tab\tx",
                                            "back\\n.txt",     "gbk\xb1\xa8.txt", "plain.txt"};
    for (const std::string& name : names)
        f.tree.file("in/" + name, name);
    classify(f.run, f.host);
    ASSERT_EQ(f.host.done.size(), names.size());
    // One line per file in the human logs: a break inside a name is written as \n.
    EXPECT_EQ(linesOf(f.log(kBeforeLogName)), names.size());
    EXPECT_NE(f.log(kBeforeLogName).find("/in/line\\nbreak.txt\r\n"), std::string::npos);

    const UndoResult undo = undoLast(f.logs, *f.disk);
    EXPECT_EQ(undo.undone.size(), names.size());
    for (const std::string& name : names)
        EXPECT_EQ(contentOf(f.tree.path("in/" + name)), name);

    // Undone already: a second undo finds nothing and changes nothing.
    const UndoResult again = undoLast(f.logs, *f.disk);
    EXPECT_TRUE(again.nothingToUndo);
    EXPECT_TRUE(again.notRestored.empty());
    EXPECT_EQ(filesIn(f.tree.path("in")), names.size());

    // A journal this program did not write, or one with a relative path, is refused whole.
    const std::string moved = f.tree.file("in/1/x.txt", "x");
    const std::string journal = logPath(f.logs, kJournalName);
    const std::string header =
        std::string(kJournalMagic) + "\t1\tkarv-tessil 1\tid\t2020-01-01T00:00:00Z\tmove\n";
    for (const std::string& text : {std::string("other-tool\t1\tx\tid\tt\tmove\nmove\t") +
                                        f.tree.path("in/x.txt") + "\t" + moved + "\t-\t-\t-\t-\n",
                                    header + "move\tin/x.txt\tin/1/x.txt\t-\t-\t-\t-\n"}) {
        ASSERT_TRUE(files::FileOps().writeFile(journal, text).ok());
        const UndoResult refused = undoLast(f.logs, *f.disk);
        EXPECT_FALSE(refused.journalRead);
        EXPECT_FALSE(refused.problem.empty());
        EXPECT_EQ(contentOf(moved), "x");
        EXPECT_FALSE(fs::exists(f.tree.path("in/x.txt")));
    }
}

TEST(ClassificationJournal, CopiesGoToTheTrashOnlyWhileUnchangedAndAPreviewChangesNothing) {
    Fixture f;
    const ScopedEnv dataHome("XDG_DATA_HOME", f.tree.folder("home"));
    const std::string a = f.tree.file("in/a.txt", "a");
    const std::string b = f.tree.file("in/b.txt", "b");
    f.host.values.keepOriginal = true;
    classify(f.run, f.host);
    const std::string copyA = f.tree.path("in/1/a.txt"), copyB = f.tree.path("in/1/b.txt");
    ASSERT_TRUE(fs::exists(copyA) && fs::exists(copyB));
    ASSERT_TRUE(files::FileOps().writeFile(copyB, "changed since").ok());

    PreviewFiles preview;
    const UndoResult dry = undoLast(f.logs, preview, true);
    EXPECT_EQ(dry.undone.size(), 1u);
    EXPECT_EQ(dry.notRestored.size(), 1u);
    EXPECT_TRUE(fs::exists(copyA));

    const UndoResult undo = undoLast(f.logs, *f.disk);
    ASSERT_EQ(undo.undone.size(), 1u);
    EXPECT_TRUE(undo.undone[0].trashed);
    EXPECT_FALSE(fs::exists(copyA));
    EXPECT_EQ(contentOf(copyB), "changed since");
    ASSERT_EQ(undo.notRestored.size(), 1u);
    EXPECT_EQ(undo.notRestored[0].target, copyB);
    EXPECT_EQ(contentOf(a), "a");
    EXPECT_EQ(contentOf(b), "b");
}

TEST(ClassificationRun, ASecondRunOrUndoOnTheSameLogFolderIsRefusedAndChangesNothing) {
    Fixture f;
    f.tree.file("in/a.txt", "a");
    LogFolderLock other;
    ASSERT_EQ(other.acquire(f.logs), LogFolderLock::Outcome::Held);
    EXPECT_FALSE(classify(f.run, f.host).refusal.empty());
    EXPECT_FALSE(f.host.summary);
    EXPECT_TRUE(fs::exists(f.tree.path("in/a.txt")));
    EXPECT_FALSE(fs::exists(logPath(f.logs, kBeforeLogName)));
    const UndoResult undo = undoLast(f.logs, *f.disk);
    EXPECT_FALSE(undo.journalRead);
    EXPECT_FALSE(undo.problem.empty());

    other.release();
    EXPECT_TRUE(classify(f.run, f.host).refusal.empty());
    EXPECT_TRUE(fs::exists(f.tree.path("in/1/a.txt")));
}

TEST(ClassificationRun, AListedFileIsClassifiedOnceUnderAnySpellingAndThePreviewAgrees) {
    for (const bool copy : {true, false}) {
        Fixture f;
        const std::string a = f.tree.file("d/a.txt", "a");
        const std::string d = f.tree.path("d");
        ASSERT_EQ(::link(a.c_str(), (d + "/h.txt").c_str()), 0);
        f.host.rows = {d + "/a.txt", d + "//a.txt", d + "/./a.txt", d + "/h.txt"};
        f.host.values.mainListMode = true;
        f.host.values.keepOriginal = copy;
        PreviewFiles preview;
        TestHost previewHost;
        previewHost.values = f.host.values;
        previewHost.rows = f.host.rows;
        ClassificationRun dry(preview, "");
        classify(dry, previewHost);
        classify(f.run, f.host);

        EXPECT_EQ(previewHost.done, f.host.done);
        ASSERT_EQ(f.host.done.size(), 1u);
        EXPECT_EQ(f.host.done[0].second, d + "/1/a.txt");
        EXPECT_EQ(filesIn(d + "/1"), 1u);
    }
}

TEST(ClassificationRun, AListedFileReplacedWhileTheRunWorksIsNotMoved) {
    Fixture f;
    const std::string d = f.tree.folder("d");
    f.host.rows = {f.tree.file("d/one.txt", "1"), f.tree.file("d/two.txt", "2")};
    f.host.values.mainListMode = true;
    const std::string other = f.tree.file("outside/two.txt", "x");
    f.host.onPump = [&] {
        // Once the first file is in place, another file takes the second one's name.
        if (f.host.done.size() == 1 && ::access(other.c_str(), F_OK) == 0) {
            ASSERT_EQ(::rename(other.c_str(), (d + "/two.txt").c_str()), 0);
        }
    };
    classify(f.run, f.host);
    ASSERT_EQ(f.host.done.size(), 1u);
    EXPECT_EQ(f.host.failed, std::vector<std::string>{d + "/two.txt"});
    EXPECT_EQ(contentOf(d + "/two.txt"), "x");
    ASSERT_TRUE(f.host.summary);
    EXPECT_EQ(f.host.summary->reasons.groups().at(0).reason, files::FailureReason::ChangedSinceListed);
}
