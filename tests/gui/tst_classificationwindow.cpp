#include "gui/ClassificationWindow.h"
#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"
#include "gui/TextWindow.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"
#include "support/Overlaps.h"
#include "support/TempTree.h"

#include <filesystem>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

using namespace karv;
namespace fs = std::filesystem;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct Fixture {
    test::TempTree tree;
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    test::FakeOpener opener;
    test::FakeClipboard clipboard;
    ResultListModel mainList;
    SettingsStore store;
    std::vector<QString> warnings;
    std::unique_ptr<ClassificationWindow> window;

    Fixture() {
        state.dataFolder = tree.folder("data");
        store.openStore(tree.path("data/Karv·Tessil.ini"));
        make();
    }
    void make() {
        window.reset();
        window = std::make_unique<ClassificationWindow>(
            state, ClassificationDesktop{questioner, clipboard, opener, clock}, &mainList, &store);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setPumpIntervalMs(0);
        window->setWarningBox([this](const QString& text) { warnings.push_back(text); });
        window->show();
    }
    template <typename T = QPushButton> T* get(const char* name) const {
        T* widget = window->findChild<T*>(u8(name));
        if (widget == nullptr)
            qFatal("missing control %s", name);
        return widget;
    }
    /// Answers the next text window once it shows: its title and text are kept; `answer` confirms
    /// with that text, no answer cancels. (A run lets timers in before its summary window opens.)
    void answerTextWindow(QString* title, QString* text, std::optional<QString> answer = std::nullopt) {
        auto* poll = new QTimer(window.get());
        QObject::connect(poll, &QTimer::timeout, window.get(), [=] {
            TextWindow* shown = TextWindow::current();
            if (shown == nullptr)
                return;
            poll->deleteLater();
            poll->stop();
            if (title)
                *title = shown->windowTitle();
            if (text)
                *text = shown->text();
            if (answer) {
                shown->findChild<QPlainTextEdit*>(u8("编辑框正文"))->setPlainText(*answer);
                shown->findChild<QPushButton*>(u8("按钮确定"))->click();
            } else {
                shown->findChild<QPushButton*>(u8("按钮取消"))->click();
            }
        });
        poll->start(1);
    }
    void setUpMoveRun(const std::string& folder) {
        get<QLineEdit>("编辑框目录")->setText(QString::fromStdString(folder));
        get<QCheckBox>("选择框保留原文件")->setChecked(false);
        get<QCheckBox>("选择框随机排序")->setChecked(false);
    }
};

} // namespace

class ClassificationWindowTest : public QObject {
    Q_OBJECT

private slots:
    void firstOpeningShowsTheDefaultsAndTheEnableRules() {
        Fixture f;
        QCOMPARE(f.window->windowTitle(),
                 u8("文件归类 - 使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮"));
        QVERIFY(f.get<QRadioButton>("单选框指定目录")->isChecked());
        QVERIFY(!f.get<QRadioButton>("单选框主界面")->isChecked());
        QCOMPARE(f.get<QLineEdit>("编辑框过滤")->text(), u8("*.*"));
        QCOMPARE(f.get<QLineEdit>("编辑框归类到")->text(), u8("[父目录路径]/[批次名]/[文件名]"));
        QCOMPARE(f.get<QLineEdit>("编辑框每批次归类数量")->text(), u8("100"));
        QVERIFY(f.get<QRadioButton>("单选框使用数字")->isChecked());
        QVERIFY(!f.get("按钮输入批次名列表")->isEnabled());
        QVERIFY(!f.get<QCheckBox>("选择框关键词搜索")->isChecked());
        QVERIFY(!f.get("按钮输入关键词")->isEnabled());
        QVERIFY(f.get<QCheckBox>("选择框保留原文件")->isChecked());
        QVERIFY(f.get<QCheckBox>("选择框随机排序")->isChecked());
        QCOMPARE(f.get("按钮立即执行归类")->text(), u8("立即执行归类"));
        QVERIFY(f.get<QWidget>("图片框1")->isAncestorOf(f.get("按钮输入批次名列表")));

        f.get<QRadioButton>("单选框主界面")->click();
        for (const char* name : {"编辑框目录", "编辑框过滤", "按钮选择目录", "选择框遍历子目录"})
            QVERIFY2(!f.get<QWidget>(name)->isEnabled(), name);
        QVERIFY(f.get<QCheckBox>("选择框关键词搜索")->isEnabled());
        f.get<QRadioButton>("单选框使用指定")->click();
        QVERIFY(f.get("按钮输入批次名列表")->isEnabled());
        f.get<QCheckBox>("选择框关键词搜索")->click();
        QVERIFY(f.get("按钮输入关键词")->isEnabled());

        const QStringList items = ClassificationWindow::symbolMenuItems();
        QCOMPARE(items.size(), 34);
        QCOMPARE(items.mid(0, 6), (QStringList{u8("元符帮助"), "-", u8("[关键词]"), "-", u8("[父目录路径]"),
                                               u8("[父目录名]")}));
        QCOMPARE(items.mid(29), (QStringList{"-", u8("[2父目录名]"), u8("[3父目录名]"), u8("[4父目录名]"),
                                             u8("[5父目录名]")}));
        const QString help = ClassificationWindow::symbolHelpText();
        QVERIFY(help.startsWith(u8("归类到：是一个新的文件路径")));
        QVERIFY(
            help.contains(u8("\r\n文件路径：/1/2/3/4/5/6.txt\r\n\r\n\r\n[父目录路径]：/1/2/3/4/5\r\n\r\n")));
        QVERIFY(help.endsWith(u8("[年][月][日][时][分][秒]：文件的修改时间，可自由分拆，组合引用。\r\n")));
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

    void symbolsGoToTheCaretAndTheEditorsKeepTheirTags() {
        Fixture f;
        auto* box = f.get<QLineEdit>("编辑框归类到");
        box->setText("a/OLD/b");
        box->setSelection(2, 3);
        for (QAction* action : f.window->symbolMenu()->actions())
            if (action->text() == u8("[年]"))
                action->trigger();
        QCOMPARE(box->text(), u8("a/[年]/b"));

        f.questioner.folderAnswer = "/chosen";
        f.get<QLineEdit>("编辑框过滤")->setText("*.txt");
        f.get("按钮选择目录")->click();
        QCOMPARE(f.questioner.folderPrompts.at(0), std::string("请选择需要归类的文件所在文件夹(*.txt)："));
        QCOMPARE(f.get<QLineEdit>("编辑框目录")->text(), u8("/chosen"));

        f.get<QRadioButton>("单选框使用指定")->click();
        QString title;
        f.answerTextWindow(&title, nullptr, u8("红\n绿"));
        f.get("按钮输入批次名列表")->click();
        QCOMPARE(title, u8("输入批次名列表"));
        QCOMPARE(f.get("按钮输入批次名列表")->property("tag").toString(), u8("红\r\n绿"));
        f.answerTextWindow(nullptr, nullptr); // cancelled: the tag stays
        f.get("按钮输入批次名列表")->click();
        QCOMPARE(f.get("按钮输入批次名列表")->property("tag").toString(), u8("红\r\n绿"));

        // Closing saves the states; the next window restores the list and the template.
        f.window->close();
        f.make();
        QCOMPARE(f.get("按钮输入批次名列表")->property("tag").toString(), u8("红\r\n绿"));
        QCOMPARE(f.get<QLineEdit>("编辑框归类到")->text(), u8("a/[年]/b"));
        QVERIFY(f.get<QRadioButton>("单选框使用指定")->isChecked());
        QVERIFY(f.get("按钮输入批次名列表")->isEnabled());
    }

    void aSymbolReplacesTheSelectionTheBoxHadWhenTheButtonWasPressed() {
        Fixture f;
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        auto* box = f.get<QLineEdit>("编辑框归类到");
        box->setText("AAA[XX]BBB");
        box->setFocus();
        box->setSelection(7, 3);
        QPushButton* button = f.get("按钮元符");
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        QVERIFY(!box->hasFocus()); // the box lost its selection with the focus
        for (QAction* action : f.window->symbolMenu()->actions())
            if (action->text() == u8("[年]"))
                action->trigger();
        f.window->symbolMenu()->hide();
        QCOMPARE(box->text(), u8("AAA[XX][年]"));
    }

    void aRunMovesTheFilesShowsTheSummaryAndIsRemembered() {
        Fixture f;
        QVERIFY(!f.get("按钮撤销上次归类")->isEnabled()); // no run yet
        const std::string in = f.tree.folder("in");
        f.tree.file("in/a.txt", "a");
        f.tree.file("in/b.txt", "b");
        f.setUpMoveRun(in);
        QString title, shown;
        f.answerTextWindow(&title, &shown);
        f.get("按钮立即执行归类")->click();
        QCOMPARE(title, u8("归类完成！"));
        QCOMPARE(shown, QString::fromStdString(in + "/1/a.txt\r\n" + in + "/1/b.txt\r\n"));
        QVERIFY(fs::exists(in + "/1/a.txt") && !fs::exists(in + "/a.txt"));
        QCOMPARE(f.get("按钮立即执行归类")->text(), u8("立即执行归类"));
        QVERIFY(fs::exists(f.state.dataFolder + "/归类后文件路径.txt"));

        // The states were saved when the run started: a new window shows them.
        f.make();
        QCOMPARE(f.get<QLineEdit>("编辑框目录")->text(), QString::fromStdString(in));
        QVERIFY(!f.get<QCheckBox>("选择框保留原文件")->isChecked());

        // Undo asks first, then puts the files back; then there is nothing left to take back.
        QVERIFY(f.get("按钮撤销上次归类")->isEnabled());
        f.questioner.yesNoAnswer = true;
        f.get("按钮撤销上次归类")->click();
        QCOMPARE(f.questioner.questions.size(), size_t(1));
        QCOMPARE(f.questioner.messages.back(), std::string("撤销完成！共还原 2 个文件。"));
        QVERIFY(fs::exists(in + "/a.txt") && !fs::exists(in + "/1/a.txt"));
        QVERIFY(!f.get("按钮撤销上次归类")->isEnabled());
        f.make();
        QVERIFY(!f.get("按钮撤销上次归类")->isEnabled());
    }

    void aPreviewShowsWhatTheRunAfterItDoes() {
        Fixture f;
        const std::string in = f.tree.folder("in");
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
            f.tree.file("in/" + std::string(name), name);
        f.setUpMoveRun(in);
        // One file per batch in random order: each file's folder depends on the order drawn.
        f.get<QCheckBox>("选择框随机排序")->setChecked(true);
        f.get<QLineEdit>("编辑框每批次归类数量")->setText("1");
        f.get("按钮预览")->click();
        ClassificationPreviewDialog* dialog = f.window->previewDialog();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        QTreeWidget* list = dialog->list();
        QCOMPARE(list->headerItem()->text(0), u8("源文件"));
        QCOMPARE(list->topLevelItemCount(), 5);
        QStringList planned;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            QCOMPARE(item->text(2), u8("将移动"));
            QVERIFY(fs::exists(item->text(0).toStdString()));
            planned << item->text(1);
        }
        // Nothing touched: no folder made, no log, no journal.
        QVERIFY(!fs::exists(in + "/1"));
        QVERIFY(!fs::exists(f.state.dataFolder + "/归类记录.journal"));
        QVERIFY(!fs::exists(f.state.dataFolder + "/归类前文件路径.txt"));

        f.clock.now += 12345; // a run drawing its order from the clock would take another one
        QString shown;
        f.answerTextWindow(nullptr, &shown);
        bool previewDisabledDuringRun = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, f.window.get(), [&] {
            if (!f.get("按钮预览")->isEnabled())
                previewDisabledDuringRun = true;
        });
        probe.start(0);
        f.get("按钮立即执行归类")->click();
        probe.stop();
        QVERIFY(previewDisabledDuringRun); // a click there would stop the run
        QVERIFY(f.get("按钮预览")->isEnabled());
        QCOMPARE(shown, planned.join("\r\n") + "\r\n");
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            QVERIFY(fs::exists(list->topLevelItem(row)->text(1).toStdString()));
            QVERIFY(!fs::exists(list->topLevelItem(row)->text(0).toStdString()));
        }
    }

    void aClickOnPreviewDuringAPreviewStopsIt() {
        Fixture f;
        const std::string in = f.tree.folder("in");
        for (int i = 0; i < 10; ++i)
            f.tree.file("in/f" + std::to_string(i));
        f.setUpMoveRun(in);
        int pumps = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, f.window.get(), [&] {
            if (++pumps == 3)
                f.get("按钮预览")->click();
        });
        timer.start(0);
        f.get("按钮预览")->click();
        timer.stop();
        ClassificationPreviewDialog* dialog = f.window->previewDialog();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->summaryText().startsWith(u8("预览已停止！")));
        QVERIFY(dialog->list()->topLevelItemCount() < 10);
        QCOMPARE(f.get("按钮立即执行归类")->text(), u8("立即执行归类"));
    }

    void anEmptyFolderBoxIsRefusedWithAMessage() {
        Fixture f;
        f.setUpMoveRun("");
        // Should the refusal ever break, the run copies nothing out of "/".
        f.get<QCheckBox>("选择框保留原文件")->setChecked(true);
        f.get<QLineEdit>("编辑框过滤")->setText("karv-no-such-name-*.none");
        f.answerTextWindow(nullptr, nullptr); // a summary, were there one, would not wait
        f.get("按钮立即执行归类")->click();
        QCOMPARE(f.questioner.messages.size(), size_t(1));
        QCOMPARE(f.questioner.messages.back(), std::string("请先选择要归类的目录！"));
        QVERIFY(!fs::exists(f.state.dataFolder + "/归类前文件路径.txt"));
        QCOMPARE(f.get("按钮立即执行归类")->text(), u8("立即执行归类"));

        // Nothing was classified, so there is nothing to take back either.
        QVERIFY(!f.get("按钮撤销上次归类")->isEnabled());
    }

    void mainListModeReadsTheResultRowsAndReportsFailures() {
        Fixture f;
        const std::string present = f.tree.file("list/x.txt", "x");
        for (const char* name : {"x.txt", "gone.txt"}) {
            ResultRow row;
            row.name = name;
            row.folder = f.tree.path("list/");
            f.mainList.append(row);
        }
        f.get<QRadioButton>("单选框主界面")->click();
        f.get<QCheckBox>("选择框随机排序")->setChecked(false);
        f.get("按钮立即执行归类")->click();
        QVERIFY(fs::exists(f.tree.path("list/1/x.txt")));
        QVERIFY(fs::exists(present)); // copied: the source stays
        QCOMPARE(f.warnings.size(), size_t(1));
        QCOMPARE(f.warnings[0],
                 u8("归类完成，但有 1 个文件归类失败，具体请看已打开的【归类失败的文件路径.txt】\r\n"
                    "失败 1 个：已不存在 1 个（") +
                     QString::fromStdString(f.tree.path("list/gone.txt")) + u8("）"));
        QCOMPARE(f.opener.opened.size(), size_t(1));
        QCOMPARE(QUrl(QString::fromStdString(f.opener.opened[0])).toLocalFile(),
                 QString::fromStdString(f.state.dataFolder) + u8("/归类失败的文件路径.txt"));
    }

    void closingDuringARunStopsItFirst() {
        Fixture f;
        const std::string in = f.tree.folder("in");
        for (int i = 0; i < 10; ++i)
            f.tree.file("in/f" + std::to_string(i));
        f.setUpMoveRun(in);
        int pumps = 0;
        // Closing from inside the run, as a click on the close box would arrive.
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, f.window.get(), [&] {
            if (++pumps == 3)
                f.window->close();
        });
        timer.start(0);
        f.get("按钮立即执行归类")->click();
        timer.stop();
        QVERIFY(!f.window->isVisible());
        QCOMPARE(f.get("按钮立即执行归类")->text(), u8("立即执行归类"));
        QVERIFY(fs::exists(in + "/1/f0"));
        QVERIFY(fs::exists(in + "/f9")); // stopped before the end
        QVERIFY(TextWindow::current() == nullptr);
    }

    void theMainWindowButtonOpensOneWindow() {
        test::TempTree tree;
        AppState state;
        test::FakeQuestioner questioner;
        test::FakeClock clock;
        SettingsStore store;
        store.openStore(tree.path("Karv·Tessil.ini"));
        MainWindow main(state, questioner, clock, nullptr, &store);
        main.show();
        auto* button = main.findChild<QPushButton*>(u8("按钮归类"));
        button->click();
        button->click();
        const auto windows = main.findChildren<ClassificationWindow*>();
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0]->isVisible());
        QVERIFY(questioner.messages.empty());

        // Closing the main window saves the open classification window's states too.
        windows[0]->findChild<QLineEdit*>(u8("编辑框每批次归类数量"))->setText("37");
        main.close();
        QVERIFY(test::contentOf(tree.path("Karv·Tessil.ini")).find("编辑框每批次归类数量=37") !=
                std::string::npos);
    }
};

QTEST_MAIN(ClassificationWindowTest)
#include "tst_classificationwindow.moc"
