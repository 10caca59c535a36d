#include "gui/MainWindow.h"
#include "gui/StatisticsWindow.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"
#include "support/Overlaps.h"
#include "support/TempTree.h"

#include <fstream>
#include <memory>
#include <sstream>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

using namespace karv;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

template <typename T = QWidget> T* child(QWidget* window, const char* name) {
    T* widget = window->findChild<T*>(u8(name));
    if (widget == nullptr)
        qFatal("missing control %s", name);
    return widget;
}

/// A statistics window over fake desktop services, letting every click in during a run.
struct Fixture {
    test::FakeQuestioner questioner;
    test::FakeOpener opener;
    test::FakeClipboard clipboard;
    std::unique_ptr<StatisticsWindow> window;

    Fixture() {
        window =
            std::make_unique<StatisticsWindow>(StatisticsDesktop{questioner, opener, clipboard}, nullptr);
        window->setPumpIntervalMs(0);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("statistics window not shown");
    }
    template <typename T = QWidget> T* get(const char* name) const { return child<T>(window.get(), name); }
    QTreeView* list() const { return get<QTreeView>("超级列表框1"); }
    QString cell(int row, int column) const {
        auto* model = list()->model();
        return model->data(model->index(row, column)).toString();
    }
    QString header(int column) const {
        return list()->model()->headerData(column, Qt::Horizontal).toString();
    }
    int rows() const { return list()->model()->rowCount(); }
    void run(const std::string& folder) {
        get<QLineEdit>("编辑框目录")->setText(QString::fromStdString(folder));
        get<QPushButton>("按钮立即执行统计")->click();
    }
};

} // namespace

class StatisticsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void controlsCaptionsAndDefaults() {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), u8("文件统计 - 统计文件夹下各个子文件夹的文件数量和目录数量"));
        QVERIFY(f.window->isWindow());
        QCOMPARE(f.get<QLabel>("标签1")->text(), u8("要统计的文件夹："));
        QCOMPARE(f.get<QLineEdit>("编辑框目录")->text(), QString());
        QCOMPARE(f.get<QPushButton>("按钮选择目录")->text(), u8(".."));
        QCOMPARE(f.get<QLineEdit>("编辑框过滤")->text(), u8("*.*"));
        const std::pair<const char*, const char*> checks[] = {{"选择框遍历", "遍历"},
                                                              {"选择框文件数量大于", "文件数量大于："},
                                                              {"选择框目录数量大于", "目录数量大于："}};
        for (const auto& [name, caption] : checks) {
            QCOMPARE(f.get<QCheckBox>(name)->text(), u8(caption));
            QVERIFY(!f.get<QCheckBox>(name)->isChecked());
        }
        QCOMPARE(f.get<QLineEdit>("编辑框文件数量大于")->text(), u8("100"));
        QCOMPARE(f.get<QLineEdit>("编辑框目录数量大于")->text(), u8("10"));
        QCOMPARE(f.get<QPushButton>("按钮立即执行统计")->text(), u8("立即执行统计"));
        QCOMPARE(f.get<QPushButton>("按钮1")->text(), u8("打开"));
        QCOMPARE(f.get<QPushButton>("按钮2")->text(), u8("复制结果"));
        QCOMPARE(f.header(0), u8("文件夹路径"));
        QCOMPARE(f.header(1), u8("文件数量"));
        QCOMPARE(f.header(2), u8("目录数量"));
    }

    void noTwoControlsOverlapAtAnySize() {
        Fixture f;
        for (const QSize size : {QSize(800, 600), QSize(400, 200), QSize(200, 100)}) {
            test::forceSize(f.window.get(), size);
            QCOMPARE(f.window->size(), size);
            QVERIFY2(test::overlappingControls(f.window.get()).isEmpty(),
                     qPrintable(test::overlappingControls(f.window.get()).join(", ")));
            QVERIFY2(test::crushedControls(f.window.get()).isEmpty(),
                     qPrintable(test::crushedControls(f.window.get()).join(", ")));
        }
    }

    void runListsRowsAndASecondClickStopsIt() {
        test::TempTree tree;
        tree.file("a/one.txt");
        tree.file("a/two.doc");
        tree.folder("b");
        Fixture f;
        f.get<QCheckBox>("选择框遍历")->setChecked(true);
        f.get<QLineEdit>("编辑框过滤")->setText("*.txt");
        f.run(tree.root());
        QCOMPARE(f.rows(), 3);
        QCOMPARE(f.cell(0, 0), QString::fromStdString(tree.root() + "/"));
        QCOMPARE(f.cell(1, 0), QString::fromStdString(tree.root() + "/a/"));
        QCOMPARE(f.cell(1, 1), u8("1"));
        QCOMPARE(f.cell(0, 2), u8("2"));
        QCOMPARE(f.header(0), u8("文件夹路径(3)"));

        auto* start = f.get<QPushButton>("按钮立即执行统计");
        QString captionDuringRun;
        QString styleDuringRun;
        // Clicked again while the second folder is read: it is finished, nothing after it.
        QTimer::singleShot(0, f.window.get(), [&] {
            QCOMPARE(start->text(), u8("正在初始化中.."));
            QTimer::singleShot(0, f.window.get(), [&] {
                captionDuringRun = start->text();
                styleDuringRun = start->styleSheet();
                start->click();
            });
        });
        f.run(tree.root());
        QCOMPARE(captionDuringRun, u8("正在读取目录：") + QString::fromStdString(tree.root()));
        QVERIFY(styleDuringRun.contains("left"));
        QCOMPARE(f.rows(), 2);
        QCOMPARE(f.header(0), u8("文件夹路径(2)"));
        QCOMPARE(start->text(), u8("立即执行统计"));
        QVERIFY(start->styleSheet().isEmpty());

        // Nothing qualifies: the list empties, the header keeps the last count.
        f.get<QCheckBox>("选择框文件数量大于")->setChecked(true);
        f.run(tree.root());
        QCOMPARE(f.rows(), 0);
        QCOMPARE(f.header(0), u8("文件夹路径(2)"));
    }

    void openCopyAndChooseFolder() {
        test::TempTree tree;
        tree.file("a b/x.txt");
        Fixture f;
        f.get<QCheckBox>("选择框遍历")->setChecked(true);
        auto* open = f.get<QPushButton>("按钮1");
        open->click(); // no current row: a message, nothing opened
        QCOMPARE(f.questioner.messages.size(), size_t(1));
        QVERIFY(f.opener.opened.empty());

        f.run(tree.root());
        QCOMPARE(f.rows(), 2);
        f.list()->setCurrentIndex(f.list()->model()->index(1, 0));
        open->click();
        QCOMPARE(f.opener.opened, std::vector<std::string>{"file://" + tree.root() + "/a%20b/"});
        const QRect row = f.list()->visualRect(f.list()->model()->index(0, 1));
        QTest::mousePress(f.list()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseRelease(f.list()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseDClick(f.list()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(f.opener.opened.size(), size_t(2));
        QCOMPARE(f.opener.opened.back(), "file://" + tree.root() + "/");

        auto* copy = f.get<QPushButton>("按钮2");
        copy->click();
        QCOMPARE(f.clipboard.content, tree.root() + "/,0,1\n" + tree.root() + "/a b/,1,0\n");
        QCOMPARE(copy->text(), u8("已复制"));
        QTRY_COMPARE_WITH_TIMEOUT(copy->text(), u8("复制结果"), 2000);

        f.get<QLineEdit>("编辑框过滤")->setText("*.txt");
        f.questioner.folderAnswer = "/srv/data";
        f.get<QPushButton>("按钮选择目录")->click();
        QCOMPARE(f.questioner.folderPrompts.back(), std::string("请选择需要统计的文件所在文件夹(*.txt)："));
        QCOMPARE(f.questioner.lastInitialFolder, tree.root());
        QCOMPARE(f.get<QLineEdit>("编辑框目录")->text(), u8("/srv/data"));
        f.questioner.folderAnswer.clear(); // cancelled: the box keeps its folder
        f.get<QPushButton>("按钮选择目录")->click();
        QCOMPARE(f.get<QLineEdit>("编辑框目录")->text(), u8("/srv/data"));
    }

    void mainWindowOpensItAndItsStatesAreRemembered() {
        test::TempTree tree;
        const std::string settingsPath = tree.path("Karv·Tessil.ini");
        AppState state;
        test::FakeQuestioner questioner;
        test::FakeClock clock;
        SettingsStore store;
        store.openStore(settingsPath);
        MainWindow main(state, questioner, clock, nullptr, &store);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));

        auto* opener = child<QPushButton>(&main, "按钮统计");
        opener->click();
        auto* first = main.findChild<StatisticsWindow*>();
        QVERIFY(first != nullptr);
        const QPointer<StatisticsWindow> firstWindow(first);
        QVERIFY(first->isWindow() && first->isVisible());
        QVERIFY(!first->isModal());
        opener->click(); // a second click brings the same window forward
        QCOMPARE(main.findChildren<StatisticsWindow*>().size(), 1);

        child<QCheckBox>(first, "选择框遍历")->setChecked(true);
        child<QLineEdit>(first, "编辑框过滤")->setText("*.txt|*.doc");
        child<QLineEdit>(first, "编辑框目录")->setText(QString::fromStdString(tree.root()));
        child<QPushButton>(first, "按钮立即执行统计")->click(); // a run saves the states first
        QVERIFY(test::contentOf(settingsPath).find("[文件统计]") != std::string::npos);
        QVERIFY(test::contentOf(settingsPath).find("编辑框过滤=*.txt|*.doc") != std::string::npos);
        child<QLineEdit>(first, "编辑框文件数量大于")->setText("７");
        first->close();
        QTRY_VERIFY(main.findChild<StatisticsWindow*>() == nullptr);
        QVERIFY(test::contentOf(settingsPath).find("编辑框文件数量大于=７") != std::string::npos);

        opener->click();
        auto* second = main.findChild<StatisticsWindow*>();
        // A new window: the first is gone (its memory may well hold the second).
        QVERIFY(second != nullptr && firstWindow.isNull());
        QVERIFY(child<QCheckBox>(second, "选择框遍历")->isChecked());
        QCOMPARE(child<QLineEdit>(second, "编辑框过滤")->text(), u8("*.txt|*.doc"));
        QCOMPARE(child<QLineEdit>(second, "编辑框文件数量大于")->text(), u8("７"));
        QCOMPARE(child<QTreeView>(second, "超级列表框1")->model()->rowCount(), 0);

        // Closed in the middle of a run: the run ends, then the window goes.
        tree.folder("x/y/z");
        second->setPumpIntervalMs(0);
        QPointer<StatisticsWindow> closing(second);
        QTimer::singleShot(0, second, [&] { second->close(); });
        child<QPushButton>(second, "按钮立即执行统计")->click();
        QVERIFY(!closing.isNull());
        QCOMPARE(child<QTreeView>(second, "超级列表框1")->model()->rowCount(), 1);
        QTRY_VERIFY(closing.isNull());

        // Closing the main window saves the open statistics window too.
        opener->click();
        QTRY_VERIFY(main.findChild<StatisticsWindow*>() != nullptr);
        child<QCheckBox>(main.findChild<StatisticsWindow*>(), "选择框目录数量大于")->setChecked(true);
        main.close();
        QVERIFY(test::contentOf(settingsPath).find("选择框目录数量大于=真") != std::string::npos);
    }
};

QTEST_MAIN(StatisticsWindowTest)
#include "tst_statisticswindow.moc"
