#include "gui/MainListActions.h"
#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"
#include "gui/TargetExistsDialog.h"
#include "gui/ViewerWindow.h"
#include "platform/QtDesktop.h"
#include "support/FakeDesktop.h"
#include "support/TempTree.h"

#include <fstream>
#include <memory>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace karv;
using karv::test::present;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct Fixture {
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    test::FakeClipboard clipboard;
    test::FakeKeyboard keyboard;
    test::FakeShell shell;
    std::unique_ptr<MainWindow> window;

    Fixture() {
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
    void click(const char* name) const {
        auto* button = window->findChild<QPushButton*>(u8(name));
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    }
    void select(std::initializer_list<int> rows) const {
        list()->clearSelection();
        for (const int row : rows)
            list()->selectionModel()->select(window->resultModel().index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList column(int column) const {
        QStringList out;
        auto& model = window->resultModel();
        for (int row = 0; row < model.rowCount({}); ++row)
            out << model.data(model.index(row, column), Qt::DisplayRole).toString();
        return out;
    }
    QString progressText() const { return window->progressText()->text(); }
};

/// Answers the next target-exists dialog once it is shown.
void whenDialogShows(std::function<void(TargetExistsDialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TargetExistsDialog*>(widget);
            if (dialog != nullptr && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
                return;
            }
        }
    });
    timer->start(10);
}

/// Runs `act` on the next top-level widget of type W once it is shown.
template <typename W> void whenShown(std::function<void(W*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<W*>(widget);
            if (shown != nullptr && shown->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(shown);
                return;
            }
        }
    });
    timer->start(10);
}

} // namespace

class ListActionsTest : public QObject {
    Q_OBJECT
private slots:
    void gesturesAndButtonsReachTheDesktop() {
        test::TempTree tree;
        Fixture f;
        f.window->dropPaths({tree.file("d/a.tar.gz", "x"), tree.file("d/README", "y"),
                             tree.file("d/wide.txt", std::string("\xFF\xFEh\0i\0", 6))});
        auto* list = f.list();
        const QRect row = list->visualRect(f.window->resultModel().index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(f.shell.requests.size(), size_t(1));
        QVERIFY(f.shell.requests[0].open);
        QCOMPARE(f.shell.requests[0].path, tree.path("d/a.tar.gz"));
        // A right click beside the rows is no gesture on a file; on a row it locates. With Shift
        // held it opens the list's menu instead, whose 定位 has no file beside the rows.
        auto* menu = f.window->findChild<QMenu*>(u8("菜单结果列表"));
        const QPoint empty(5, list->viewport()->height() - 5);
        QContextMenuEvent outside(QContextMenuEvent::Mouse, empty, list->viewport()->mapToGlobal(empty));
        QCoreApplication::sendEvent(list->viewport(), &outside);
        QVERIFY(!menu->isVisible());
        QContextMenuEvent shifted(QContextMenuEvent::Mouse, empty, list->viewport()->mapToGlobal(empty),
                                  Qt::ShiftModifier);
        QCoreApplication::sendEvent(list->viewport(), &shifted);
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(!menu->defaultAction()->isEnabled());
        menu->hide();
        QCOMPARE(f.shell.requests.size(), size_t(1));
        QContextMenuEvent onRow(QContextMenuEvent::Mouse, row.center(),
                                list->viewport()->mapToGlobal(row.center()));
        QCoreApplication::sendEvent(list->viewport(), &onRow);
        QVERIFY(!menu->isVisible());
        QCOMPARE(f.shell.requests.size(), size_t(2));
        QVERIFY(!f.shell.requests[1].open);

        f.select({0, 1});
        f.click("按钮复制名称");
        QCOMPARE(f.clipboard.content, std::string("a.tar\nREADME\n"));
        QCOMPARE(f.window->findChild<QPushButton*>(u8("按钮复制名称"))->text(), u8("复制名称"));

        // The viewer follows the current row while it is open.
        f.select({2});
        f.click("按钮查看");
        ViewerWindow* viewer = f.window->listActions().viewer();
        QVERIFY(viewer != nullptr && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), u8("(编码:Unicode) wide.txt"));
        QCOMPARE(viewer->textBox()->toPlainText(), u8("hi"));
        f.list()->setCurrentIndex(f.window->resultModel().index(1, 0));
        QTRY_COMPARE(viewer->windowTitle(), u8("(编码:ANSI) README"));
        // A click makes the row current before it selects it: the viewer still follows.
        const QRect rowRect = f.list()->visualRect(f.window->resultModel().index(2, 0));
        QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, {}, rowRect.center());
        QTRY_COMPARE(viewer->windowTitle(), u8("(编码:Unicode) wide.txt"));
        viewer->resize(300, 200);
        QCOMPARE(viewer->textBox()->geometry(), QRect(0, 0, viewer->width(), viewer->height()));
    }

    void theViewerShowsPicturesAndNamesOtherBinaries() {
        test::TempTree tree;
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const std::string png = tree.path("photo.png");
        QVERIFY(picture.save(QString::fromStdString(png), "PNG"));
        Fixture f;
        f.window->dropPaths({png, tree.file("data.bin", std::string("\x01\x02\0\0\xFF", 5))});
        f.select({0});
        f.click("按钮查看");
        ViewerWindow* viewer = f.window->listActions().viewer();
        QVERIFY(viewer != nullptr);
        QCOMPARE(viewer->windowTitle(), u8("(PNG 图像) photo.png"));
        QVERIFY(viewer->imageBox()->isVisible());
        QVERIFY(!viewer->textBox()->isVisible());
        QVERIFY(viewer->captionBox()->text().startsWith(u8("二进制文件：PNG 图像，")));
        viewer->resize(200, 200); // scaled to fit, the proportions kept
        const QPixmap shown = viewer->imageBox()->pixmap();
        QVERIFY(shown.width() <= viewer->imageBox()->width() &&
                shown.height() <= viewer->imageBox()->height());
        QCOMPARE(shown.width() * 3, shown.height() * 4);

        f.list()->setCurrentIndex(f.window->resultModel().index(1, 0));
        QTRY_COMPARE(viewer->windowTitle(), u8("(类型未知) data.bin"));
        QVERIFY(viewer->textBox()->isVisible());
        QVERIFY(!viewer->imageBox()->isVisible());
        QCOMPARE(viewer->textBox()->toPlainText(), u8("二进制文件：类型未知，5 字节"));
    }

    void fileAddressesKeepEveryByte() {
        // Spaces and quotes, and a name that is not UTF-8, reach the desktop as the same bytes.
        QCOMPARE(fileUrl("/a b/\"q\".txt").toLocalFile(), u8("/a b/\"q\".txt"));
        QCOMPARE(fileUrl("/x/\xB1\xA8.txt").toEncoded(), QByteArray("file:///x/%B1%A8.txt"));
    }

    void moveAsksThroughTheDialogAndDeleteRemovesRows() {
        test::TempTree tree;
        Fixture f;
        const std::string target = tree.folder("target");
        tree.file("target/two.txt", "theirs");
        tree.file("target/three.txt", "theirs");
        f.window->dropPaths(
            {tree.file("s/one.txt", "1"), tree.file("s/two.txt", "2"), tree.file("s/three.txt", "3")});
        f.select({0, 1, 2});
        f.questioner.folderAnswer = target;
        QString shownTarget;
        whenDialogShows([&](TargetExistsDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), u8("目标文件已存在"));
            shownTarget = dialog->findChild<QLineEdit*>(u8("编辑框1"))->text();
            dialog->findChild<QCheckBox*>(u8("选择框1"))->click();
            dialog->findChild<QPushButton*>(u8("按钮2"))->click();
        });
        f.click("按钮移动");
        QCOMPARE(shownTarget, QString::fromStdString(target + "/two.txt"));
        QVERIFY2(f.progressText().startsWith(u8("移动完毕！共 3 个文件，成功移动 1 个文件，耗时 ")),
                 qPrintable(f.progressText()));
        QCOMPARE(f.column(4),
                 (QStringList{QString::fromStdString(target + "/"), QString::fromStdString(tree.path("s/")),
                              QString::fromStdString(tree.path("s/"))}));
        QCOMPARE(f.window->findChild<QPushButton*>(u8("按钮移动"))->property("tag").toString(),
                 QString::fromStdString(target + "/"));

        // Closing the dialog with its close box ends the batch at that file.
        f.select({1, 2});
        whenDialogShows([](TargetExistsDialog* dialog) { dialog->close(); });
        f.click("按钮复制");
        QVERIFY2(f.progressText().contains(u8("成功复制 0 个文件")), qPrintable(f.progressText()));

        // Delete for good with Ctrl: rows go from the bottom up and the summary counts them.
        f.keyboard.ctrl = true;
        f.select({0, 2});
        f.click("按钮删除");
        QCOMPARE(f.questioner.destructiveQuestions.back(),
                 std::string("确定要彻底删除选择的 2 个文件吗？彻底删除的文件无法撤销。"));
        QCOMPARE(f.column(0), QStringList{u8("two.txt")});
        QVERIFY(!present(target + "/one.txt") && !present(tree.path("s/three.txt")));
        QVERIFY2(f.progressText().startsWith(u8("删除完毕！共 2 个文件，成功删除 2 个文件，耗时(")),
                 qPrintable(f.progressText()));
        QCOMPARE(f.window->findChild<QPushButton*>(u8("按钮删除"))->text(), u8("删除"));
        QVERIFY(f.window->busy().idle);
    }

    void theListsKeysActAsItsButtonsWhileItHasTheFocus() {
        test::TempTree tree;
        Fixture f;
        const std::string one = tree.file("s/one.txt", "1");
        const std::string two = tree.file("s/two.txt", "2");
        f.window->dropPaths({one, two, tree.file("s/three.txt", "3")});
        auto& model = f.window->resultModel();
        QCOMPARE(model.data(model.index(1, 2), Qt::ToolTipRole).toString(), QString::fromStdString(two));
        QAbstractItemView* list = f.list();
        list->setFocus();
        f.select({0});

        // Delete asks the trash question and leaves the file when it is declined; Ctrl held or not.
        f.keyboard.ctrl = true;
        f.questioner.okCancelAnswer = false;
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(f.questioner.okCancelQuestions,
                 std::vector<std::string>{"确定要将选择的 1 个文件移到回收站吗？"});
        QVERIFY(f.questioner.destructiveQuestions.empty());
        // Shift+Delete deletes for good after its own question.
        f.keyboard.ctrl = false;
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(f.questioner.destructiveQuestions,
                 std::vector<std::string>{"确定要彻底删除选择的 1 个文件吗？彻底删除的文件无法撤销。"});
        QVERIFY(!present(one));
        QCOMPARE(f.column(0), (QStringList{u8("two.txt"), u8("three.txt")}));

        // While another operation runs, the keys start none and stop none.
        f.select({0});
        f.window->busy().idle = false;
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(f.questioner.messages, std::vector<std::string>{"在开始新操作之前请先停止正在执行的操作！"});
        QCOMPARE(f.questioner.destructiveQuestions.size(), size_t(1));
        f.window->busy().idle = true;

        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(f.shell.requests.size(), size_t(1));
        QVERIFY(f.shell.requests[0].open);
        QCOMPARE(f.shell.requests[0].path, two);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 2);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(f.clipboard.content, tree.path("s/two.txt") + "\n" + tree.path("s/three.txt") + "\n");

        // Elsewhere the keys are the box's own: Delete there edits text, it deletes no file.
        auto* pattern = f.window->findChild<QLineEdit*>(u8("编辑框过滤"));
        pattern->setFocus();
        pattern->setCursorPosition(0);
        QTest::keyClick(pattern, Qt::Key_Delete, Qt::ShiftModifier);
        QTest::keyClick(pattern, Qt::Key_Delete);
        QCOMPARE(pattern->text(), u8(".*"));
        QCOMPARE(f.questioner.destructiveQuestions.size(), size_t(1));
        QCOMPARE(f.questioner.okCancelQuestions.size(), size_t(1));
    }

    void aNewFilterRunClearsTheLastBatchSummary() {
        test::TempTree tree;
        Fixture f;
        f.window->dropPaths({tree.file("s/one.txt", "1"), tree.file("s/two.txt", "2")});
        f.keyboard.ctrl = true;
        f.select({0});
        f.click("按钮删除");
        QVERIFY(f.progressText().startsWith(u8("删除完毕！")));
        f.questioner.folderAnswer = tree.path("s");
        f.window->findChild<QPushButton*>(u8("按钮开始筛选"))->click();
        QCOMPARE(f.column(0), QStringList{u8("two.txt")});
        QCOMPARE(f.progressText(), QString());
        QVERIFY(f.window->progressBar()->isHidden());
    }

    void aRunningBatchStopsOnItsOwnButtonAndRefusesTheOthers() {
        test::TempTree tree;
        Fixture f;
        const std::string target = tree.folder("target");
        tree.file("target/two.txt", "theirs");
        f.window->dropPaths(
            {tree.file("s/one.txt", "1"), tree.file("s/two.txt", "2"), tree.file("s/three.txt", "3")});
        f.select({0, 1, 2});
        f.questioner.folderAnswer = target;
        auto* move = f.window->findChild<QPushButton*>(u8("按钮移动"));
        QString running, stopping;
        whenDialogShows([&](TargetExistsDialog* dialog) {
            running = move->text();
            f.click("按钮删除");
            f.click("按钮复制");
            f.click("按钮移动");
            stopping = move->text();
            dialog->findChild<QPushButton*>(u8("按钮1"))->click();
        });
        f.click("按钮移动");
        QCOMPARE(running, u8("停止"));
        QCOMPARE(f.questioner.messages,
                 std::vector<std::string>(2, "在开始新操作之前请先停止正在执行的操作！"));
        QCOMPARE(stopping, u8("停止中"));
        // The stop ends the batch at the file asked about: it and the rest stay where they were.
        QVERIFY2(f.progressText().startsWith(u8("移动完毕！共 3 个文件，成功移动 1 个文件，耗时 ")),
                 qPrintable(f.progressText()));
        QCOMPARE(test::contentOf(target + "/two.txt"), std::string("theirs"));
        QVERIFY(present(tree.path("s/two.txt")) && present(tree.path("s/three.txt")));
        QCOMPARE(move->text(), u8("移动"));
        QVERIFY(f.window->busy().idle);
    }

    // Window questions and hand-offs.

    void destructiveQuestionsWarnAndEnterKeepsTheFiles() {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString defaultCaption;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            icon = box->icon();
            defaultCaption = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QtQuestioner dialogs;
        Questioner& questioner = dialogs;
        QVERIFY(!questioner.askDestructive("确定要彻底删除选择的 1 个文件吗？"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(defaultCaption, u8("取消"));

        // Overwriting every later target is confirmed first; declining leaves the dialog open.
        test::TempTree tree;
        Fixture f;
        const std::string target = tree.folder("t");
        tree.file("t/a.txt", "theirs");
        f.window->dropPaths({tree.file("s/a.txt", "mine")});
        f.questioner.folderAnswer = target;
        f.questioner.destructiveAnswer = false;
        bool stayedOpen = false;
        whenDialogShows([&](TargetExistsDialog* dialog) {
            dialog->findChild<QCheckBox*>(u8("选择框1"))->click();
            dialog->findChild<QPushButton*>(u8("按钮1"))->click();
            stayedOpen = dialog->isVisible();
            dialog->findChild<QPushButton*>(u8("按钮2"))->click();
        });
        f.select({0});
        f.click("按钮复制");
        QCOMPARE(f.questioner.destructiveQuestions.size(), size_t(1));
        QVERIFY(stayedOpen);
        QCOMPARE(test::contentOf(target + "/a.txt"), std::string("theirs"));
        f.questioner.destructiveAnswer = true;
        whenDialogShows([&](TargetExistsDialog* dialog) {
            dialog->findChild<QCheckBox*>(u8("选择框1"))->click();
            dialog->findChild<QPushButton*>(u8("按钮1"))->click();
        });
        f.select({0});
        f.click("按钮复制");
        QCOMPARE(test::contentOf(target + "/a.txt"), std::string("mine"));
    }

    void folderChoosersOpenInTheHomeFolderWhenNothingWasRemembered() {
        test::TempTree tree;
        const QString started = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(tree.root()));
        QString opened;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            opened = dialog->directory().absolutePath();
            dialog->reject();
        });
        QtQuestioner dialogs;
        const std::string chosen = dialogs.chooseFolder("选择目录", "");
        QDir::setCurrent(started);
        QCOMPARE(chosen, std::string());
        QCOMPARE(opened, QDir::homePath());
        // A remembered folder opens as it is, or where it was while it is gone.
        const std::string kept = tree.folder("kept");
        QCOMPARE(chooserStartFolder(kept), QString::fromStdString(kept));
        QCOMPARE(chooserStartFolder(kept + "/gone/deeper"), QString::fromStdString(kept));
    }

    void clipboardOffersTheShownTextAndTheExactFiles() {
        QtClipboard clipboard;
        clipboard.setText("/x/\xE6\x8A\xA5.txt\n", {"file:///x/%B1%A8.txt"});
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data != nullptr);
        QCOMPARE(data->text(), u8("/x/报.txt\n"));
        QCOMPARE(data->data(QStringLiteral("text/uri-list")), QByteArray("file:///x/%B1%A8.txt\r\n"));
        QCOMPARE(clipboard.text(), std::string("/x/\xE6\x8A\xA5.txt\n"));
    }
};

QTEST_MAIN(ListActionsTest)
#include "tst_listactions.moc"
