#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"
#include "support/FakeDesktop.h"
#include "support/TempTree.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace karv;

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    template <typename T> static T* child(QWidget& window, const char* name) {
        T* widget = window.findChild<T*>(QString::fromUtf8(name));
        if (widget == nullptr)
            qFatal("missing control %s", name);
        return widget;
    }

private slots:
    void controlsHaveTheirNamesAndDefaults() {
        AppState state;
        test::FakeQuestioner questioner;
        test::FakeClock clock;
        MainWindow window(state, questioner, clock);
        QCOMPARE(window.windowTitle(), QString::fromUtf8("Karv·Tessil v1.6.0.0"));
        QCOMPARE(child<QPushButton>(window, "按钮开始筛选")->text(), QString::fromUtf8("  选择目录开始筛选"));
        QVERIFY(child<QRadioButton>(window, "单选框遍历子目录")->isChecked());
        QVERIFY(!child<QRadioButton>(window, "单选框仅该目录")->isChecked());
        QCOMPARE(child<QLineEdit>(window, "编辑框层次")->text(), QString("2"));
        QCOMPARE(child<QLineEdit>(window, "编辑框过滤")->text(), QString("*.*"));
        QVERIFY(window.findChild<QStatusBar*>(QString::fromUtf8("状态条")));
        auto* timer = window.findChild<QTimer*>(QString::fromUtf8("时钟筛选提示"));
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        auto* list = child<QTreeView>(window, "超级列表框");
        QStringList headers;
        for (int column = 0; column < list->model()->columnCount(); ++column)
            headers << list->model()->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, QString::fromUtf8("文件名,文件大小,文件时间,内容字数,所在目录").split(','));
        QVERIFY(state.operationIdle);
    }

    void runFillsTheListAndReportsTheCount() {
        test::TempTree tree;
        tree.file("a.txt", "hello");
        tree.file("b.log", "");
        tree.file("sub/c.txt", std::string(2048, 'x'));
        AppState state;
        test::FakeQuestioner questioner;
        questioner.folderAnswer = tree.root();
        test::FakeClock clock;
        MainWindow window(state, questioner, clock);
        child<QLineEdit>(window, "编辑框过滤")->setText("*.txt");
        clock.now = 1000;
        QTest::mouseClick(child<QPushButton>(window, "按钮开始筛选"), Qt::LeftButton);

        QCOMPARE(questioner.folderPrompts.size(), size_t(1));
        QCOMPARE(questioner.folderPrompts[0],
                 std::string("选择一个目录，确定后将根据设置，扫描该目录中符合条件的文件，输出到右侧列表："));
        auto& model = window.resultModel();
        QCOMPARE(model.rowCount(QModelIndex()), 2);
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QString("a.txt"));
        QCOMPARE(model.data(model.index(0, 1), Qt::DisplayRole).toString(), QString("5 B"));
        QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QString("c.txt"));
        QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QString("2 KB"));
        QCOMPARE(model.data(model.index(1, 4), Qt::DisplayRole).toString(),
                 QString::fromStdString(tree.root() + "/sub/"));
        QCOMPARE(window.statusText(),
                 QString::fromUtf8("筛选完毕！共筛选出 2 个文件，耗时 0 毫秒。请单击按钮操作列表！"));
        QCOMPARE(child<QPushButton>(window, "按钮开始筛选")->text(), QString::fromUtf8("  选择目录开始筛选"));
        QVERIFY(state.operationIdle);

        // The next chooser opens on the folder of the last run.
        questioner.folderAnswer.clear();
        QTest::mouseClick(child<QPushButton>(window, "按钮开始筛选"), Qt::LeftButton);
        QCOMPARE(questioner.lastInitialFolder, tree.root());
        // Cancelling changes nothing.
        QCOMPARE(model.rowCount(QModelIndex()), 2);
    }

    void aClickDuringARunStopsIt() {
        test::TempTree tree;
        for (int i = 0; i < 300; ++i)
            tree.file("d" + std::to_string(i % 30) + "/f" + std::to_string(i) + ".txt", "x");
        AppState state;
        test::FakeQuestioner questioner;
        questioner.folderAnswer = tree.root();
        test::FakeClock clock;
        MainWindow window(state, questioner, clock);
        auto* start = child<QPushButton>(window, "按钮开始筛选");
        // The pump lets this click in while the walk goes on, as a person's second click would.
        QTimer::singleShot(0, &window, [&] {
            QCOMPARE(start->text(), QString::fromUtf8("  立即停止筛选！"));
            start->click();
            QCOMPARE(start->text(), QString::fromUtf8("  正在停止筛选.."));
        });
        window.setPumpIntervalMs(0);
        start->click();
        const int listed = window.resultModel().rowCount(QModelIndex());
        QVERIFY2(listed < 300, qPrintable(QString::number(listed)));
        QCOMPARE(
            window.statusText(),
            QString::fromUtf8("筛选完毕！共筛选出 %1 个文件，耗时 0 毫秒。请单击按钮操作列表！").arg(listed));
        QCOMPARE(start->text(), QString::fromUtf8("  选择目录开始筛选"));
        QVERIFY(state.operationIdle);
    }

    void anotherOperationRefusesTheRun() {
        AppState state;
        test::FakeQuestioner questioner;
        test::FakeClock clock;
        MainWindow window(state, questioner, clock);
        state.operationIdle = false; // a batch operation is running
        child<QPushButton>(window, "按钮开始筛选")->click();
        QCOMPARE(questioner.messages.size(), size_t(1));
        QCOMPARE(questioner.messages[0], std::string("在开始新操作之前请先停止正在执行的操作！"));
        QVERIFY(questioner.folderPrompts.empty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
