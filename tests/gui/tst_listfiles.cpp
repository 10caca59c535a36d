#include "gui/MainListFiles.h"
#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"
#include "support/FakeDesktop.h"
#include "support/TempTree.h"

#include <cstdio>
#include <fstream>
#include <memory>

#include <QAbstractItemView>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

using namespace karv;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct Fixture {
    test::TempTree tree;
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    test::FakeClipboard clipboard;
    test::FakeKeyboard keyboard;
    test::FakeShell shell;
    std::unique_ptr<MainWindow> window;

    Fixture() {
        state.dataFolder = tree.folder("data");
        window = std::make_unique<MainWindow>(state, questioner, clock);
        window->setClipboard(clipboard);
        window->setKeyboard(keyboard);
        window->setShell(shell);
        window->setPumpIntervalMs(0);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("main window not shown");
    }
    QAbstractItemView* list() const { return window->findChild<QAbstractItemView*>(u8("超级列表框")); }
    void trigger(const char* name) const { window->findChild<QAction*>(u8(name))->trigger(); }
    bool struck(int row) const {
        auto& model = window->resultModel();
        return model.data(model.index(row, 0), Qt::FontRole).value<QFont>().strikeOut();
    }
    QString progressText() const { return window->progressText()->text(); }
};

} // namespace

class ListFilesTest : public QObject {
    Q_OBJECT
private slots:
    void aSavedListComesBackWithChangedAndVanishedFilesMarked() {
        Fixture f;
        f.window->dropPaths({f.tree.file("d/same.txt", "s"), f.tree.file("d/changed.txt", "c"),
                             f.tree.file("d/gone.txt", "g")});
        QCOMPARE(f.window->resultModel().count(), size_t(3));
        QVERIFY(f.window->findChild<QAction*>(u8("菜单撤销上次操作")) != nullptr);
        f.questioner.saveFileAnswer = f.tree.path("list.json");
        f.trigger("菜单保存列表");
        std::ofstream(f.tree.path("d/changed.txt"), std::ios::app) << " more";
        std::remove(f.tree.path("d/gone.txt").c_str());

        f.window->resultModel().clear();
        f.questioner.filesAnswer = {f.tree.path("list.json")};
        f.trigger("菜单载入列表");
        auto& model = f.window->resultModel();
        QCOMPARE(model.count(), size_t(3));
        QCOMPARE(model.rowPath(1), f.tree.path("d/changed.txt"));
        QVERIFY(!f.struck(0));
        QVERIFY(f.struck(1));
        QVERIFY(f.struck(2));
        QVERIFY(f.progressText().contains(u8("1 个文件列出后已改变、1 个已不存在")));

        // A file that is not a saved list leaves the list as it was, and says why.
        f.questioner.filesAnswer = {f.tree.file("notes.txt", "{\"path\":\n")};
        f.trigger("菜单载入列表");
        QCOMPARE(model.count(), size_t(3));
        QCOMPARE(f.questioner.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(f.questioner.messages[0]).contains(u8("第 1 行")));
    }

    void ctrlZTakesTheLastMoveBack() {
        Fixture f;
        f.window->dropPaths({f.tree.file("d/a.txt", "a"), f.tree.file("d/b.txt", "b")});
        f.list()->selectAll();
        f.questioner.folderAnswer = f.tree.folder("dest");
        auto* move = f.window->findChild<QPushButton*>(u8("按钮移动"));
        QTest::mouseClick(move, Qt::LeftButton, Qt::NoModifier, move->rect().center());
        QVERIFY(f.tree.has("dest/a.txt"));
        QVERIFY(!f.tree.has("d/a.txt"));

        f.list()->setFocus();
        QTest::keyClick(f.list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.tree.read("d/a.txt"), std::string("a"));
        QCOMPARE(f.tree.read("d/b.txt"), std::string("b"));
        QCOMPARE(f.window->resultModel().rowPath(0), f.tree.path("d/a.txt"));
        QCOMPARE(f.progressText(), u8("撤销完毕！撤销了 2 个文件"));
        QTest::keyClick(f.list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.progressText(), u8("没有可撤销的批量操作。"));
    }
};

QTEST_MAIN(ListFilesTest)
#include "tst_listfiles.moc"
