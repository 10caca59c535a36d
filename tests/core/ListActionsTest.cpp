#include "actions/ListActions.h"

#include "files/FileFacts.h"
#include "support/FakeDesktop.h"
#include "support/FaultySyscalls.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace karv;
using namespace karv::test;

namespace {

ResultRow rowFor(const std::string& path) {
    ResultRow row;
    row.name = path.substr(path.rfind('/') + 1);
    row.folder = path.substr(0, path.rfind('/') + 1);
    const auto stat = statFile(path);
    const auto folder = statFile(row.folder);
    if (stat && folder)
        row.stamp = rowStamp(*stat, *folder);
    else if (stat)
        row.stamp = rowStamp(*stat);
    return row;
}

class FakeRows : public ActionRows {
public:
    std::vector<ResultRow> rows;
    std::vector<std::size_t> selected;
    std::vector<std::size_t> selectedRows() override { return selected; }
    std::size_t rowCount() override { return rows.size(); }
    ResultRow row(std::size_t index) override { return rows.at(index); }
    void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                     const RowStamp& stamp) override {
        rows.at(index).folder = folder;
        rows.at(index).name = name;
        rows.at(index).stamp = stamp;
    }
    void removeRow(std::size_t index) override {
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& row : rows)
            out.push_back(row.name);
        return out;
    }
};

class FakeWindow : public ActionWindow, public TargetExistsQuestion {
public:
    explicit FakeWindow(FakeClock& clock) : m_clock(clock) {}
    std::map<ActionButton, std::vector<std::string>> captionHistory;
    std::vector<std::string> dialogTargets;
    std::vector<int> answers; // one per dialog; missing answers close the dialog
    bool checkSameForRest = false;
    std::function<void()> onDialog;
    std::function<void()> onPump;
    bool viewer = false;
    std::string viewerText, viewerTitle;

    void showState(ActionButton button, ButtonState state) override {
        captionHistory[button].emplace_back(actionCaption(button, state));
    }
    int askTargetExists(const std::string& target, bool& sameForRest) override {
        dialogTargets.push_back(target);
        if (onDialog)
            onDialog();
        sameForRest = checkSameForRest;
        return dialogTargets.size() <= answers.size() ? answers[dialogTargets.size() - 1] : kConflictNone;
    }
    void showViewer() override { viewer = true; }
    bool viewerOpen() override { return viewer; }
    void setViewerContent(const std::string& text, const std::string& title) override {
        viewerText = text;
        viewerTitle = title;
    }
    void pump() override {
        if (onPump)
            onPump();
    }
    void sleepMs(int milliseconds) override { m_clock.now += milliseconds; }

private:
    FakeClock& m_clock;
};

/// Keeps what a batch reported, in the words the window shows.
struct ShownProgress : ProgressSink {
    BatchAct act = BatchAct::Move;
    std::vector<std::string> texts;
    std::vector<std::uint64_t> positions;
    void progress(const RunProgress& now) override {
        positions.push_back(now.done);
        if (!now.item.empty())
            texts.push_back(batchProgressText(act, now));
    }
};

/// The list's actions with fakes around them; a batch runs as the window runs it: the questions
/// first, then the batch with a stop token, then its summary.
struct Bench {
    FakeRows rows;
    FakeClock clock;
    FakeWindow window{clock};
    FakeQuestioner questioner;
    FakeClipboard clipboard;
    FakeKeyboard keyboard;
    FakeShell shell;
    files::FileOps files;
    ListActions actions;
    StopToken stop;
    ShownProgress shown;
    std::string lastFolder;
    std::string summaryText;
    RunOutcome outcome;
    explicit Bench(files::Syscalls& calls = files::systemCalls())
        : files(calls), actions(rows, window, {questioner, clock, clipboard, keyboard, shell}, files) {
        shell.clock = &clock;
    }
    void run(const std::optional<BatchRequest>& request) {
        if (!request)
            return;
        if (request->placing())
            lastFolder = request->folder;
        shown.act = request->act;
        const RunContext context{stop, shown, [this] { window.pump(); }, clock};
        outcome = ListBatch(files).run(*request, context, rows, window);
        summaryText = batchSummaryText(request->act, request->rows.size(), outcome, 0);
    }
    void moveOrCopySelected(bool move) {
        fresh();
        run(actions.moveOrCopyRequest(move, lastFolder));
    }
    void deleteSelected() {
        fresh();
        run(actions.deleteRequest());
    }
    void fresh() {
        stop.reset();
        shown = ShownProgress{};
    }
    std::string summary() const { return summaryText; }
};

class ScopedDataHome {
public:
    explicit ScopedDataHome(const std::string& value) {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            m_old = old;
        ::setenv("XDG_DATA_HOME", value.c_str(), 1);
    }
    ~ScopedDataHome() {
        if (m_old.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

} // namespace

TEST(ListActions, OpenLocateCopyExportAndView) {
    TempTree tree;
    Bench bench;
    bench.actions.openSelected(true);
    EXPECT_EQ(bench.questioner.messages, (std::vector<std::string>{"请先选择要打开的文件！"}));

    for (const char* name : {"a.tar.gz", "README", "with \"quotes\" and spaces.txt"})
        bench.rows.rows.push_back(rowFor(tree.file(std::string("f/") + name, "x")));
    bench.rows.selected = {0, 1, 2};
    bench.questioner.okCancelAnswer = false;
    bench.actions.openSelected(true);
    EXPECT_TRUE(bench.shell.requests.empty());
    bench.questioner.okCancelAnswer = true;
    bench.actions.openSelected(true);
    EXPECT_EQ(bench.questioner.okCancelQuestions.back(), "当前选择了 3 个文件，确定要将它们都打开吗？");
    ASSERT_EQ(bench.shell.requests.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bench.shell.requests[i].path, bench.rows.rows[i].path());
        if (i > 0) {
            EXPECT_GE(bench.shell.requests[i].at - bench.shell.requests[i - 1].at, 100);
        }
    }
    EXPECT_EQ(bench.window.captionHistory[ActionButton::Open], (std::vector<std::string>{"打开中", "打开"}));

    // One row is acted on without asking; the path reaches the file manager as it is.
    bench.rows.selected = {2};
    bench.actions.openSelected(false);
    EXPECT_EQ(bench.questioner.okCancelQuestions.size(), 2u);
    EXPECT_FALSE(bench.shell.requests.back().open);
    EXPECT_EQ(bench.shell.requests.back().path, tree.path("f/with \"quotes\" and spaces.txt"));

    bench.rows.selected = {0, 1};
    bench.actions.copySelectedNames();
    EXPECT_EQ(bench.clipboard.content, "a.tar\nREADME\n");
    EXPECT_EQ(bench.window.captionHistory[ActionButton::CopyNames],
              (std::vector<std::string>{"复制中", "复制完成", "复制名称"}));
    bench.actions.copySelectedPaths();
    EXPECT_EQ(bench.clipboard.content, tree.path("f/a.tar.gz") + "\n" + tree.path("f/README") + "\n");
    bench.rows.selected.clear();
    bench.actions.copySelectedPaths();
    EXPECT_EQ(bench.clipboard.content, "");

    // Export takes every row, selected or not; cancelling writes nothing.
    bench.actions.exportPathList();
    EXPECT_FALSE(present(tree.path("list.txt")));
    EXPECT_EQ(bench.questioner.fileDialogTitles.back(), "将路径列表保存到文本文件：");
    EXPECT_EQ(bench.questioner.lastSaveSuffix, "txt");
    bench.questioner.saveFileAnswer = tree.path("list.txt");
    bench.actions.exportPathList();
    EXPECT_EQ(contentOf(tree.path("list.txt")), tree.path("f/a.tar.gz") + "\n" + tree.path("f/README") +
                                                    "\n" + tree.path("f/with \"quotes\" and spaces.txt") +
                                                    "\n");
    EXPECT_EQ(bench.window.captionHistory[ActionButton::Export],
              (std::vector<std::string>{"导出中", "完成", "导出"}));
    Bench empty;
    empty.questioner.saveFileAnswer = tree.file("empty.txt", "old content");
    empty.actions.exportPathList();
    EXPECT_EQ(contentOf(tree.path("empty.txt")), "");

    // The viewer shows the text and its encoding; it follows the row only while open.
    bench.rows.rows.push_back(rowFor(tree.file("f/wide.txt", std::string("\xFF\xFEh\0i\0", 6))));
    bench.rows.selected = {3};
    bench.actions.refreshViewer();
    EXPECT_EQ(bench.window.viewerTitle, "");
    bench.actions.viewSelected();
    EXPECT_EQ(bench.window.viewerTitle, "(编码:Unicode) wide.txt");
    EXPECT_EQ(bench.window.viewerText, "hi");
    bench.rows.rows.push_back(rowFor(tree.path("f/gone.txt")));
    bench.rows.selected = {4};
    bench.actions.refreshViewer();
    EXPECT_EQ(bench.window.viewerTitle, "(编码:ANSI) gone.txt");
    EXPECT_EQ(bench.window.viewerText, "");
}

TEST(ListActions, MoveAndCopyAskOnConflictsAndCountOnlyWhatSucceeded) {
    TempTree tree;
    const std::string target = tree.folder("target");
    {
        // Skip with 后面执行相同操作: asked once, both conflicts skipped.
        Bench bench;
        for (const char* name : {"one.txt", "two.txt", "three.txt", "four.txt"})
            bench.rows.rows.push_back(rowFor(tree.file(std::string("src/") + name, name)));
        tree.file("target/two.txt", "theirs");
        tree.file("target/four.txt", "theirs");
        bench.rows.selected = {0, 1, 3};
        bench.questioner.folderAnswer = target;
        bench.window.answers = {kConflictSkip};
        bench.window.checkSameForRest = true;
        bench.moveOrCopySelected(true);
        EXPECT_EQ(bench.questioner.folderPrompts.back(), "将选择的 3 个文件移动到的目录：");
        EXPECT_EQ(bench.window.dialogTargets, (std::vector<std::string>{target + "/two.txt"}));
        EXPECT_EQ(bench.summary().rfind("移动完毕！共 3 个文件，成功移动 1 个文件，耗时 ", 0), 0u)
            << bench.summary();
        EXPECT_EQ(contentOf(target + "/two.txt"), "theirs");
        EXPECT_TRUE(present(tree.path("src/two.txt")));
        // The moved row now leads to its file; the chooser opens where the last batch went.
        EXPECT_EQ(bench.rows.rows[0].path(), target + "/one.txt");
        bench.rows.selected = {2};
        bench.moveOrCopySelected(true);
        EXPECT_EQ(bench.questioner.lastInitialFolder, target + "/");
    }
    {
        // Rename picks the first free number; a file onto itself changes nothing and is not counted.
        Bench bench;
        tree.file("target/report.doc", "old");
        tree.file("target/report2.doc", "old2");
        bench.rows.rows.push_back(rowFor(tree.file("docs/report.doc", "new")));
        bench.rows.rows.push_back(rowFor(tree.file("docs/README", "readme")));
        tree.file("target/README", "old readme");
        bench.rows.rows.push_back(rowFor(target + "/report2.doc"));
        bench.rows.selected = {0, 1, 2};
        bench.questioner.folderAnswer = target + "/";
        bench.window.answers = {kConflictRename, kConflictRename, kConflictOverwrite};
        bench.moveOrCopySelected(false);
        EXPECT_EQ(contentOf(target + "/report3.doc"), "new");
        EXPECT_EQ(contentOf(target + "/README2"), "readme");
        EXPECT_EQ(contentOf(target + "/report2.doc"), "old2");
        EXPECT_EQ(bench.summary().rfind("复制完毕！共 3 个文件，成功复制 2 个文件", 0), 0u)
            << bench.summary();
    }
    {
        // Closing the dialog ends the batch; so does a stop asked while it is open.
        for (const bool stopInstead : {false, true}) {
            Bench bench;
            tree.file("target/a.bin", "theirs");
            bench.rows.rows.push_back(rowFor(tree.file("s/a.bin", "a")));
            bench.rows.rows.push_back(rowFor(tree.file("s/b.bin", "b")));
            bench.rows.selected = {0, 1};
            bench.questioner.folderAnswer = target;
            if (stopInstead) {
                bench.window.answers = {kConflictOverwrite};
                bench.window.onDialog = [&] {
                    bench.stop.requestStop();
                };
            }
            bench.moveOrCopySelected(true);
            EXPECT_EQ(contentOf(target + "/a.bin"), "theirs");
            EXPECT_FALSE(present(target + "/b.bin"));
            EXPECT_TRUE(present(tree.path("s/a.bin")) && present(tree.path("s/b.bin")));
            EXPECT_NE(bench.summary().find("成功移动 0 个文件"), std::string::npos);
            EXPECT_TRUE(bench.outcome.stopped);
        }
    }
}

TEST(ListActions, BatchGuardStopAndFaults) {
    TempTree tree;
    const std::string target = tree.folder("target");
    Bench bench;
    for (int i = 0; i < 4; ++i)
        bench.rows.rows.push_back(rowFor(tree.file("s/f" + std::to_string(i), "data")));
    bench.rows.selected = {0, 1, 2, 3};
    bench.questioner.folderAnswer = target;

    // A stop asked for between two files ends the batch before the next one.
    int pumps = 0;
    bench.window.onPump = [&] {
        if (++pumps == 2)
            bench.stop.requestStop();
    };
    bench.moveOrCopySelected(true);
    EXPECT_NE(bench.summary().find("共 4 个文件，成功移动 1 个文件"), std::string::npos) << bench.summary();
    EXPECT_TRUE(bench.outcome.stopped);
    bench.window.onPump = nullptr;

    // A file rewritten since it was listed is not moved; a full disk fails one file and leaves nothing.
    std::ofstream(tree.path("s/f2"), std::ios::app) << "more";
    FaultySyscalls faulty;
    faulty.failAll(FaultySyscalls::Call::Rename, EXDEV);
    faulty.failAll(FaultySyscalls::Call::CopyRange, ENOSPC);
    Bench full(faulty);
    full.rows.rows = {rowFor(tree.path("s/f2")), rowFor(tree.path("s/f3"))};
    std::ofstream(tree.path("s/f2"), std::ios::app) << "more";
    full.rows.selected = {0, 1};
    full.questioner.folderAnswer = target;
    full.moveOrCopySelected(true);
    EXPECT_NE(full.summary().find("成功移动 0 个文件"), std::string::npos);
    EXPECT_EQ(contentOf(tree.path("s/f3")), "data");
    EXPECT_EQ(contentOf(tree.path("s/f2")), "datamoremore");
    EXPECT_FALSE(present(target + "/f2") || present(target + "/f3"));
    EXPECT_EQ(full.rows.rows[1].folder, tree.path("s/"));
}

TEST(ListActions, DeleteFromTheBottomUpToTrashOrForGood) {
    TempTree tree;
    const ScopedDataHome home(tree.path("data"));
    Bench bench;
    for (int i = 1; i <= 10; ++i)
        bench.rows.rows.push_back(rowFor(tree.file("s/r" + std::to_string(i), "x")));
    bench.rows.selected = {1, 4, 8};
    bench.deleteSelected();
    EXPECT_EQ(bench.questioner.okCancelQuestions.back(), "确定要将选择的 3 个文件移到回收站吗？");
    EXPECT_EQ(bench.rows.names(), (std::vector<std::string>{"r1", "r3", "r4", "r6", "r7", "r8", "r10"}));
    EXPECT_EQ(bench.shown.texts, (std::vector<std::string>{"(3:3) 正在删除 >> " + tree.path("s/r9"),
                                                           "(3:2) 正在删除 >> " + tree.path("s/r5"),
                                                           "(3:1) 正在删除 >> " + tree.path("s/r2")}));
    EXPECT_EQ(bench.summary().rfind("删除完毕！共 3 个文件，成功删除 3 个文件，耗时(", 0), 0u)
        << bench.summary();
    EXPECT_TRUE(present(tree.path("data/Trash/files/r5")));

    // Ctrl held: gone for good. A stop after the first file leaves the rest listed.
    bench.keyboard.ctrl = true;
    bench.rows.selected = {0, 1};
    bench.window.onPump = [&] {
        if (!bench.shown.positions.empty() && bench.shown.positions.back() == 2)
            bench.stop.requestStop();
    };
    bench.deleteSelected();
    EXPECT_EQ(bench.questioner.destructiveQuestions.back(),
              "确定要彻底删除选择的 2 个文件吗？彻底删除的文件无法撤销。");
    EXPECT_NE(bench.summary().find("成功删除 1 个文件"), std::string::npos) << bench.summary();
    EXPECT_FALSE(present(tree.path("s/r3")));
    EXPECT_FALSE(present(tree.path("data/Trash/files/r3")));
    EXPECT_TRUE(present(tree.path("s/r1")));
    EXPECT_EQ(bench.rows.names().front(), "r1");
    bench.window.onPump = nullptr;

    // A trash that refuses and a file rewritten since listed: nothing deleted, rows stay.
    bench.keyboard.ctrl = false;
    std::ofstream(tree.path("s/r4"), std::ios::app) << "changed";
    FaultySyscalls faulty;
    faulty.failAll(FaultySyscalls::Call::Rename, EXDEV);
    Bench refused(faulty);
    refused.rows.rows = {rowFor(tree.path("s/r6")), bench.rows.rows[1]};
    refused.rows.selected = {0, 1};
    refused.deleteSelected();
    EXPECT_NE(refused.summary().find("成功删除 0 个文件"), std::string::npos);
    EXPECT_TRUE(present(tree.path("s/r6")) && present(tree.path("s/r4")));
    EXPECT_EQ(refused.rows.rows.size(), 2u);
    bench.rows.selected = {1};
    bench.deleteSelected();
    EXPECT_TRUE(present(tree.path("s/r4")));
}

// A row acts only on the file it was listed from: a folder of its path replaced by a link to
// another folder holding a file of the same name, size and times, a file renamed onto its name, a
// target swapped after the question was answered, or a row without a stamp are failures the summary
// counts and names, and the files stay whole.
TEST(ListActions, BatchesActOnlyOnTheListedFilesAndSayWhyTheOthersFailed) {
    TempTree tree;
    const ScopedDataHome home(tree.path("data"));
    const auto sameLooks = [&](const std::string& relative, const std::string& content) {
        const std::string path = tree.file(relative, content);
        tree.setTimes(relative, 1'000'000'000, 1'000'000'000);
        return path;
    };
    {
        Bench bench;
        bench.keyboard.ctrl = true;
        bench.rows.rows.push_back(rowFor(sameLooks("tree/a/x.txt", "mine")));
        bench.rows.rows.push_back(rowFor(tree.file("tree/gone.txt", "gone")));
        bench.rows.rows.push_back(rowFor(tree.file("tree/plain.txt", "plain")));
        ResultRow unstamped = rowFor(tree.file("tree/unstamped.txt", "u"));
        unstamped.stamp = {};
        bench.rows.rows.push_back(unstamped);
        sameLooks("outside/x.txt", "them");
        ASSERT_EQ(::rename(tree.path("tree/a").c_str(), tree.path("tree/moved").c_str()), 0);
        tree.link("tree/a", tree.path("outside"));
        ::unlink(tree.path("tree/gone.txt").c_str());
        bench.rows.selected = {0, 1, 2, 3};
        bench.deleteSelected();
        EXPECT_EQ(contentOf(tree.path("outside/x.txt")), "them");
        EXPECT_EQ(contentOf(tree.path("tree/moved/x.txt")), "mine");
        EXPECT_EQ(contentOf(tree.path("tree/unstamped.txt")), "u");
        EXPECT_FALSE(present(tree.path("tree/plain.txt")));
        const std::string summary = bench.summary();
        EXPECT_EQ(summary.rfind("删除完毕！共 4 个文件，成功删除 1 个文件，耗时(", 0), 0u) << summary;
        EXPECT_NE(summary.find(")。失败 3 个：列出后已改变 2 个（" + tree.path("tree/unstamped.txt") + "、" +
                               tree.path("tree/a/x.txt") + "），已不存在 1 个（" +
                               tree.path("tree/gone.txt") + "）"),
                  std::string::npos)
            << summary;
        EXPECT_EQ(bench.rows.rows.size(), 3u);

        // A folder chosen through a link is the user's own way to it: its files are acted on.
        tree.file("real/in.txt", "in");
        tree.link("chosen", tree.path("real"));
        Bench linked;
        linked.keyboard.ctrl = true;
        linked.rows.rows.push_back(rowFor(tree.path("chosen/in.txt")));
        linked.rows.selected = {0};
        linked.deleteSelected();
        EXPECT_FALSE(present(tree.path("real/in.txt"))) << linked.summary();

        // To the trash, bottom up: the same refusal, and a trash that refuses says so.
        bench.keyboard.ctrl = false;
        bench.rows.rows = {bench.rows.rows[0], rowFor(tree.path("tree/moved/x.txt"))};
        bench.rows.selected = {0, 1};
        FaultySyscalls faulty;
        faulty.failAll(FaultySyscalls::Call::Rename, EXDEV);
        Bench refused(faulty);
        refused.rows.rows = bench.rows.rows;
        refused.rows.selected = {0, 1};
        refused.deleteSelected();
        EXPECT_EQ(contentOf(tree.path("outside/x.txt")), "them");
        EXPECT_NE(refused.summary().find("。失败 2 个：列出后已改变 1 个（" + tree.path("tree/a/x.txt") +
                                         "），回收站拒绝 1 个（" + tree.path("tree/moved/x.txt") + "）"),
                  std::string::npos)
            << refused.summary();
    }
    {
        // Move: a file renamed onto a listed name is not moved; a skipped conflict is no failure;
        // an existing target swapped while the question was open is not replaced.
        Bench bench;
        const std::string target = tree.folder("target");
        bench.rows.rows.push_back(rowFor(sameLooks("m/one.txt", "one")));
        bench.rows.rows.push_back(rowFor(tree.file("m/skipped.txt", "skipped")));
        bench.rows.rows.push_back(rowFor(tree.file("m/over.txt", "over")));
        sameLooks("elsewhere/one.txt", "eno");
        ASSERT_EQ(::rename(tree.path("elsewhere/one.txt").c_str(), tree.path("m/one.txt").c_str()), 0);
        tree.file("target/skipped.txt", "theirs");
        tree.file("target/over.txt", "agreed");
        bench.window.answers = {kConflictSkip, kConflictOverwrite};
        bench.window.onDialog = [&] {
            if (bench.window.dialogTargets.size() == 2) {
                ASSERT_EQ(
                    ::rename(tree.file("swapped.txt", "swapped").c_str(), (target + "/over.txt").c_str()), 0);
            }
        };
        bench.rows.selected = {0, 1, 2};
        bench.questioner.folderAnswer = target;
        bench.moveOrCopySelected(true);
        EXPECT_EQ(contentOf(tree.path("m/one.txt")), "eno");
        EXPECT_EQ(contentOf(target + "/over.txt"), "swapped");
        EXPECT_EQ(contentOf(tree.path("m/over.txt")), "over");
        EXPECT_FALSE(present(target + "/one.txt"));
        const std::string summary = bench.summary();
        EXPECT_EQ(summary.rfind("移动完毕！共 3 个文件，成功移动 0 个文件，耗时 ", 0), 0u) << summary;
        EXPECT_NE(summary.find("。失败 2 个：列出后已改变 2 个（" + tree.path("m/one.txt") + "、" +
                               tree.path("m/over.txt") + "）"),
                  std::string::npos)
            << summary;
    }
}

namespace {

/// Every regular file below `folder`, by path relative to it, with its content.
std::map<std::string, std::string> filesBelow(const std::string& folder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            out[it->path().string().substr(folder.size() + 1)] = contentOf(it->path().string());
    }
    return out;
}

/// MoveAcross: a move whose renames out of the source folder fail as between two file systems.
enum class Batch { Move, MoveAcross, Copy, Trash, Remove };

struct SweepFigures {
    int runs = 0;
    int injected = 0;
    int lost = 0;       ///< files found nowhere or damaged
    int duplicated = 0; ///< files left in two places by a move or delete
};

/// One batch over three files (one of them large, one empty, one whose name is taken at the
/// target) with the `nth` system call failing with `error` (0: no fault). Checks that every file is
/// where exactly one copy of it belongs, that nothing partial remains and that the summary counts
/// what happened. Returns the number of calls made.
int runBatch(Batch batch, int nth, int error, SweepFigures& figures) {
    TempTree tree;
    const ScopedDataHome home(tree.path("data"));
    std::string large(300 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 131 + (i >> 9));
    const std::map<std::string, std::string> originals = {{"a", "alpha"}, {"big.bin", large}, {"empty", ""}};
    const std::string target = tree.folder("target");
    tree.file("target/a", "already there");
    tree.folder("data/Trash/files");
    tree.folder("data/Trash/info");

    FaultySyscalls faulty;
    Bench bench(faulty);
    for (const auto& [name, content] : originals)
        bench.rows.rows.push_back(rowFor(tree.file("s/" + name, content)));
    bench.rows.selected = {0, 1, 2};
    bench.questioner.folderAnswer = target;
    bench.window.answers = {kConflictRename, kConflictRename, kConflictRename};
    bench.keyboard.ctrl = batch == Batch::Remove;
    if (batch == Batch::MoveAcross)
        faulty.failAll(FaultySyscalls::Call::Rename, EXDEV, "/s/");
    if (nth > 0)
        faulty.failNthCall(nth, error);

    if (batch == Batch::Move || batch == Batch::MoveAcross || batch == Batch::Copy)
        bench.moveOrCopySelected(batch != Batch::Copy);
    else
        bench.deleteSelected();
    const int calls = faulty.totalCalls();
    const std::string where = "batch " + std::to_string(static_cast<int>(batch)) + ", call " +
                              std::to_string(nth) + " fails with " + std::to_string(error);

    // Where each original content is now.
    const auto atSource = filesBelow(tree.path("s"));
    auto targetFiles = filesBelow(target);
    EXPECT_EQ(targetFiles["a"], "already there") << where;
    targetFiles.erase("a");
    const auto atTarget = targetFiles;
    const auto inTrash = filesBelow(tree.path("data/Trash/files"));
    const auto records = filesBelow(tree.path("data/Trash/info"));
    std::map<std::string, int> copies;
    for (const auto* place : {&atSource, &atTarget, &inTrash})
        for (const auto& [name, content] : *place)
            ++copies[content];
    for (const auto& [name, content] : originals) {
        const bool source = atSource.count(name) && atSource.at(name) == content;
        const int found = copies[content];
        // A copy leaves the source and at most one copy; the others leave exactly one file, except
        // a delete for good, which leaves the file in place or nowhere.
        const bool kept = batch == Batch::Copy     ? source && found <= 2
                          : batch == Batch::Remove ? found == (source ? 1 : 0) && inTrash.empty()
                                                   : found == 1;
        if (!kept) {
            ++(found > 1 ? figures.duplicated : figures.lost);
            ADD_FAILURE() << where << ": " << name << " is found " << found << " times";
        }
    }
    for (const auto* place : {&atSource, &atTarget, &inTrash})
        for (const auto& [name, content] : *place)
            EXPECT_EQ(name.find(".part"), std::string::npos) << where << ": left " << name;

    std::size_t done = 0;
    switch (batch) {
    case Batch::Move:
    case Batch::MoveAcross:
    case Batch::Copy:
        done = atTarget.size();
        break;
    case Batch::Trash:
        done = inTrash.size();
        EXPECT_EQ(records.size(), inTrash.size()) << where;
        break;
    case Batch::Remove:
        done = originals.size() - atSource.size();
        break;
    }
    const std::string counted = (batch == Batch::Copy                              ? "成功复制 "
                                 : batch == Batch::Trash || batch == Batch::Remove ? "成功删除 "
                                                                                   : "成功移动 ") +
                                std::to_string(done) + " 个文件";
    EXPECT_NE(bench.summary().find(counted), std::string::npos) << where << ": " << bench.summary();
    // Every row still listed names its file where it now is.
    if (batch == Batch::Trash || batch == Batch::Remove) {
        EXPECT_EQ(bench.rows.rows.size(), 3 - done) << where;
    }
    for (const ResultRow& row : bench.rows.rows)
        EXPECT_TRUE(present(row.path())) << where << ": row " << row.path();

    ++figures.runs;
    figures.injected += nth > 0 && calls >= nth;
    return calls;
}

} // namespace

TEST(ListActions, EveryFailingSystemCallLeavesEveryFileWholeExactlyOnce) {
    SweepFigures figures;
    for (const Batch batch : {Batch::Move, Batch::MoveAcross, Batch::Copy, Batch::Trash, Batch::Remove}) {
        const int total = runBatch(batch, 0, 0, figures);
        ASSERT_GT(total, 3);
        for (const int error : {ENOSPC, EACCES, EIO, EXDEV, ENOENT})
            for (int nth = 1; nth <= total; ++nth)
                runBatch(batch, nth, error, figures);
    }
    EXPECT_EQ(figures.lost, 0);
    EXPECT_EQ(figures.duplicated, 0);
    RecordProperty("injected_faults", figures.injected);
    std::printf("fault sweep: %d runs, %d injected faults, %d files lost, %d left twice\n", figures.runs,
                figures.injected, figures.lost, figures.duplicated);
}

// Window questions and hand-offs: what the actions give to other programs and ask before
// destroying anything.

TEST(ListActionsHandOffs, ExportWritesThroughLinksKeepsPrivacyAndSaysWhenItFails) {
    TempTree tree;
    Bench bench;
    const std::string gbk = tree.file("f/\xB1\xA8.txt", "x"); // a GBK name, not UTF-8
    bench.rows.rows = {rowFor(gbk), rowFor(tree.file("f/b.txt", "y"))};
    const std::string expected = gbk + "\n" + tree.path("f/b.txt") + "\n";

    // A chain of links, the first relative: both stay links, the file at the end gets the list
    // and keeps its private mode.
    const std::string real = tree.file("keep/real.txt", "old");
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    tree.link("keep/near.txt", "real.txt");
    tree.link("far.txt", tree.path("keep/near.txt"));
    bench.questioner.saveFileAnswer = tree.path("far.txt");
    bench.actions.exportPathList();
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("far.txt")));
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("keep/near.txt")));
    EXPECT_EQ(contentOf(real), expected);
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(bench.questioner.messages.empty());

    // A write that fails leaves the old file and says why instead of "完成".
    FaultySyscalls faulty;
    faulty.failAll(FaultySyscalls::Call::Write, ENOSPC);
    Bench full(faulty);
    full.rows.rows = bench.rows.rows;
    full.questioner.saveFileAnswer = tree.file("old.txt", "old list");
    full.actions.exportPathList();
    EXPECT_EQ(contentOf(tree.path("old.txt")), "old list");
    ASSERT_EQ(full.questioner.messages.size(), 1u);
    EXPECT_NE(full.questioner.messages[0].find("磁盘空间不足"), std::string::npos)
        << full.questioner.messages[0];
    EXPECT_NE(full.questioner.messages[0].find(tree.path("old.txt")), std::string::npos);
    EXPECT_EQ(full.window.captionHistory[ActionButton::Export], (std::vector<std::string>{"导出中", "导出"}));
}

TEST(ListActionsHandOffs, DeleteForGoodAsksAWarningThatCanKeepTheFiles) {
    TempTree tree;
    Bench bench;
    bench.rows.rows = {rowFor(tree.file("s/a", "x"))};
    bench.rows.selected = {0};
    bench.keyboard.ctrl = true;
    bench.questioner.destructiveAnswer = false;
    bench.deleteSelected();
    EXPECT_EQ(bench.questioner.destructiveQuestions,
              (std::vector<std::string>{"确定要彻底删除选择的 1 个文件吗？彻底删除的文件无法撤销。"}));
    EXPECT_TRUE(bench.questioner.okCancelQuestions.empty());
    EXPECT_TRUE(present(tree.path("s/a")));
    EXPECT_EQ(bench.rows.rows.size(), 1u);
}

TEST(ListActionsHandOffs, DeletingSizeOrNameMatchesSaysTheirContentsWereNotCompared) {
    TempTree tree;
    Bench bench;
    bench.rows.rows = {rowFor(tree.file("s/a", "x")), rowFor(tree.file("s/b", "y"))};
    bench.rows.rows[1].weakMatch = true;
    bench.questioner.okCancelAnswer = false;
    bench.questioner.destructiveAnswer = false;
    bench.rows.selected = {0};
    bench.deleteSelected();
    bench.rows.selected = {0, 1};
    bench.deleteSelected();
    bench.keyboard.ctrl = true;
    bench.deleteSelected();
    const std::string warning(kWeakMatchWarning);
    EXPECT_EQ(bench.questioner.okCancelQuestions,
              (std::vector<std::string>{"确定要将选择的 1 个文件移到回收站吗？",
                                        "确定要将选择的 2 个文件移到回收站吗？" + warning}));
    EXPECT_EQ(
        bench.questioner.destructiveQuestions,
        (std::vector<std::string>{"确定要彻底删除选择的 2 个文件吗？彻底删除的文件无法撤销。" + warning}));
    EXPECT_NE(warning.find("内容并未比较"), std::string::npos);
}

TEST(ListActionsHandOffs, CopiedPathsAndNamesShowDecodedTextAndNameTheExactFiles) {
    TempTree tree;
    Bench bench;
    const std::string gbk = tree.file("\xE4\xB8\xAD/\xB1\xA8.tar.gz", "x"); // UTF-8 folder, GBK name
    bench.rows.rows = {rowFor(gbk), rowFor(tree.file("\xE4\xB8\xAD/b c.txt", "y"))};
    bench.rows.selected = {0, 1};
    const std::string folder = tree.path("\xE4\xB8\xAD/");
    bench.actions.copySelectedPaths();
    EXPECT_EQ(bench.clipboard.content, folder + "\xE6\x8A\xA5.tar.gz\n" + folder + "b c.txt\n");
    const std::string url = "file://" + files::encodePathForUrl(tree.root()) + "/%E4%B8%AD/";
    EXPECT_EQ(bench.clipboard.uris, (std::vector<std::string>{url + "%B1%A8.tar.gz", url + "b%20c.txt"}));
    bench.actions.copySelectedNames();
    EXPECT_EQ(bench.clipboard.content, "\xE6\x8A\xA5.tar\nb c\n");
    EXPECT_EQ(bench.clipboard.uris.size(), 2u);
}
