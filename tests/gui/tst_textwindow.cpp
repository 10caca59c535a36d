#include "gui/TextWindow.h"
#include "platform/QtDesktop.h"
#include "support/FakeDesktop.h"
#include "support/Overlaps.h"
#include "support/TempTree.h"

#include <memory>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace karv;

class TextWindowTest : public QObject {
    Q_OBJECT

    test::FakeQuestioner questioner;
    test::FakeClipboard clipboard;
    TextWindowDesktop desktop{questioner, clipboard};

    template <typename T> static T* child(QWidget& window, const char* name) {
        T* widget = window.findChild<T*>(QString::fromUtf8(name));
        if (widget == nullptr)
            qFatal("missing control %s", name);
        return widget;
    }

    std::unique_ptr<TextWindow> open(const QString& text, bool input,
                                     std::optional<QString> prompt = std::nullopt, int width = 0,
                                     int height = 0) {
        TextWindowCall call{text, std::move(prompt), std::nullopt, input, width, height};
        auto window = std::make_unique<TextWindow>(desktop, call);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("text window not shown");
        return window;
    }

    static QPlainTextEdit* body(TextWindow& window) { return child<QPlainTextEdit>(window, "编辑框正文"); }

private slots:
    void init() {
        questioner = test::FakeQuestioner();
        clipboard.content.clear();
    }

    void confirmingWithoutChangesReturnsTheStartingText() {
        QString result = "untouched";
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            TextWindow* window = TextWindow::current();
            QVERIFY(window != nullptr);
            shown = true;
            QCOMPARE(window->windowTitle(), QString::fromUtf8("输入："));
            child<QPushButton>(*window, "按钮确定")->click();
        });
        const bool confirmed =
            showTextWindow(desktop, "one\r\ntwo", std::nullopt, std::nullopt, nullptr, &result);
        QVERIFY(shown);
        QVERIFY(confirmed);
        QCOMPARE(result, QString("one\r\ntwo"));
        QVERIFY(questioner.questions.empty());
        QVERIFY(TextWindow::current() == nullptr);
    }

    void editedTextComesBackWithCrLf() {
        QString result;
        QTimer::singleShot(0, this, [&] {
            TextWindow* window = TextWindow::current();
            QTest::keyClicks(body(*window), "a");
            QTest::keyClick(body(*window), Qt::Key_Return);
            QTest::keyClicks(body(*window), "b");
            child<QPushButton>(*window, "按钮确定")->click();
        });
        QVERIFY(showTextWindow(desktop, "", std::nullopt, std::nullopt, nullptr, &result));
        QCOMPARE(result, QString("a\r\nb"));
    }

    void cancelReturnsFalseAndLeavesTheResultAlone() {
        QString result = "before";
        QTimer::singleShot(0, this, [&] {
            TextWindow* window = TextWindow::current();
            QTest::keyClicks(body(*window), "changed");
            child<QPushButton>(*window, "按钮取消")->click();
        });
        QVERIFY(!showTextWindow(desktop, "x", std::nullopt, std::nullopt, nullptr, &result));
        QCOMPARE(result, QString("before"));
        QVERIFY(questioner.questions.empty()); // the cancel button does not ask
    }

    void aSecondCallWhileOneIsOpenReturnsFalseAtOnce() {
        bool secondResult = true;
        QTimer::singleShot(0, this, [&] {
            QString other;
            secondResult = showTextWindow(desktop, "second", std::nullopt, std::nullopt, nullptr, &other);
            child<QPushButton>(*TextWindow::current(), "按钮取消")->click();
        });
        QVERIFY(!showTextWindow(desktop, "first"));
        QVERIFY(!secondResult);
    }

    void theCloseBoxAsksWhenTheTextChanged() {
        auto window = open("start", true);
        QTest::keyClicks(body(*window), "!");
        questioner.yesNoAnswer = false;
        QVERIFY(!window->close());
        QCOMPARE(questioner.questions, std::vector<std::string>{"内容已被改动，是否要放弃？"});
        QVERIFY(window->isVisible());
        QCOMPARE(window->text(), QString("!start"));

        questioner.yesNoAnswer = true;
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        QVERIFY(!window->confirmed());
        QCOMPARE(window->result(), int(QDialog::Rejected));
    }

    void escapeAsksLikeTheCloseBox() {
        auto window = open("start", true);
        QTest::keyClicks(body(*window), "?");
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QCOMPARE(questioner.questions.size(), size_t(1));
        QVERIFY(window->isVisible());
    }

    void theCloseBoxDoesNotAskWithoutChanges() {
        auto window = open("same", true);
        QTest::keyClicks(body(*window), "x");
        QTest::keyClick(body(*window), Qt::Key_Backspace);
        QVERIFY(window->close());
        QVERIFY(questioner.questions.empty());
    }

    void informationModeHasOnlyTheCloseButton() {
        auto window = open("info\r\ntext", false);
        QCOMPARE(window->windowTitle(), QString::fromUtf8("信息："));
        QVERIFY(!child<QPushButton>(*window, "按钮确定")->isVisible());
        QVERIFY(!child<QWidget>(*window, "外形框")->isVisible());
        auto* close = child<QPushButton>(*window, "按钮取消");
        QCOMPARE(close->text(), QString::fromUtf8("关闭"));
        QVERIFY(close->isDefault());
        QVERIFY(body(*window)->isReadOnly());
        QCOMPARE(window->text(), QString("info\r\ntext"));
        QTest::keyClicks(body(*window), "typed");
        QCOMPARE(window->text(), QString("info\r\ntext"));
        QVERIFY(window->close());
        QVERIFY(questioner.questions.empty());
    }

    void titlesAndPromptsFollowTheMode() {
        auto input = open("", true, QString());
        QCOMPARE(input->promptText(), QString::fromUtf8("请输入数据："));
        QCOMPARE(child<QTextEdit>(*input, "编辑框提示")->toPlainText(), QString::fromUtf8("请输入数据："));
        auto info = open("", false, QString());
        QCOMPARE(info->promptText(), QString::fromUtf8("以下为信息详情："));
        auto none = open("", true);
        QCOMPARE(none->promptText(), QString());
        auto given = open("", true, QString::fromUtf8("请给出名单："));
        QCOMPARE(given->promptText(), QString::fromUtf8("请给出名单："));

        TextWindowCall call{"", std::nullopt, QString::fromUtf8("批次名称"), true, 0, 0};
        TextWindow titled(desktop, call);
        QCOMPARE(titled.windowTitle(), QString::fromUtf8("批次名称"));
    }

    void theToolButtonsClearRestoreAndPaste() {
        auto window = open("one\r\ntwo", true);
        child<QPushButton>(*window, "按钮清空")->click();
        QCOMPARE(window->text(), QString());
        child<QPushButton>(*window, "按钮恢复")->click();
        QCOMPARE(window->text(), QString("one\r\ntwo"));
        QVERIFY(questioner.messages.empty());
        clipboard.content = "from\nclipboard";
        child<QPushButton>(*window, "按钮粘贴")->click();
        QCOMPARE(window->text(), QString("from\r\nclipboard"));
        QCOMPARE(child<QPushButton>(*window, "按钮文件")->text(), QString::fromUtf8("内容"));
        QCOMPARE(child<QPushButton>(*window, "按钮文件名")->text(), QString::fromUtf8("文件名"));
    }

    void restoringAnEmptyStartSaysSoAndKeepsTheText() {
        auto window = open("", true);
        QTest::keyClicks(body(*window), "kept");
        child<QPushButton>(*window, "按钮恢复")->click();
        QCOMPARE(questioner.messages, std::vector<std::string>{"启动值为空！"});
        QCOMPARE(window->text(), QString("kept"));
    }

    void importingPathsIntoAnEmptyBox() {
        auto window = open("", true);
        questioner.filesAnswer = {"/data/a.txt", "/data/b.txt"};
        child<QPushButton>(*window, "按钮文件名")->click();
        QCOMPARE(window->text(), QString("/data/a.txt\r\n/data/b.txt"));
        QCOMPARE(questioner.fileDialogTitles, std::vector<std::string>{"选择多个文件，将导入其文件路径"});
        QCOMPARE(questioner.lastFileFilter,
                 std::string("文本文本|*.txt;*.text;*.ini;*.htn;*.html|全部文件|*.*"));
    }

    void importingPathsIntoAFilledBoxStartsWithALineBreak() {
        auto window = open("x", true);
        questioner.filesAnswer = {"/data/a.txt", "/data/b.txt"};
        child<QPushButton>(*window, "按钮文件名")->click();
        QCOMPARE(window->text(), QString("x\r\n/data/a.txt\r\n/data/b.txt"));
        questioner.filesAnswer.clear(); // cancelled: nothing added
        child<QPushButton>(*window, "按钮文件名")->click();
        QCOMPARE(window->text(), QString("x\r\n/data/a.txt\r\n/data/b.txt"));
    }

    void importingContentsStopsAtTheFirstZeroByteAndDecodesTheText() {
        test::TempTree tree;
        questioner.filesAnswer = {tree.file("a.txt", std::string("中文\0hidden", 12)),
                                  tree.file("b.txt", "b\r\nc"), tree.path("missing.txt"),
                                  tree.file("gbk.txt", "\xd6\xd0\xce\xc4\xb2\xe2\xca\xd4")};
        auto window = open("", true);
        child<QPushButton>(*window, "按钮文件")->click();
        QCOMPARE(window->text(), QString::fromUtf8("中文\r\nb\r\nc\r\n\r\n中文测试"));
        QCOMPARE(questioner.fileDialogTitles, std::vector<std::string>{"选择多个文件，将导入其文件内容"});
    }

    void theFileFilterBecomesQtsForm() {
        QCOMPARE(qtFileFilter("文本文本|*.txt;*.text;*.ini;*.htn;*.html|全部文件|*.*"),
                 QString::fromUtf8("文本文本 (*.txt *.text *.ini *.htn *.html);;全部文件 (*.*)"));
        QCOMPARE(qtFileFilter("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*"),
                 QString::fromUtf8("文本文件(*.txt);;全部文件(*.*)"));
        QCOMPARE(qtFileFilter(""), QString());
        QCOMPARE(qtFileFilter("只有标题"), QString());
    }

    void thePromptHeightEstimateCountsRowsPerLine() {
        auto window = open("", true, QString::fromUtf8("第一行\r\n\r\n") + QString(300, 'a') + "\r\n");
        const QFontMetrics metrics(window->font());
        const int unit =
            (metrics.horizontalAdvance(QString::fromUtf8("中")) + metrics.horizontalAdvance('A')) / 3;
        QCOMPARE(window->unitWidth(), unit);
        const int lineHeight = window->lineHeight();
        QVERIFY(lineHeight >= metrics.lineSpacing());
        const int clientWidth = 400;
        const int perLine = (clientWidth - 2 * TextWindow::kMargin - 2) / unit;
        // Four lines: "第一行" (6 units), an empty one, 300 units, and the empty one after the last CR LF.
        const int rows = 1 + 1 + (300 + perLine - 1) / perLine + 1;
        QCOMPARE(window->promptHeightFor(clientWidth), rows * lineHeight);
        QCOMPARE(displayUnits(QString::fromUtf8("a中b")), 4);
    }

    void theLayoutFollowsTheMarginsAndTheAskedTextSize() {
        auto window = open("", true, QString::fromUtf8("提示"), 400, 200);
        auto* prompt = child<QTextEdit>(*window, "编辑框提示");
        auto* text = body(*window);
        auto* strip = child<QWidget>(*window, "外形框");
        auto* ok = child<QPushButton>(*window, "按钮确定");
        auto* cancel = child<QPushButton>(*window, "按钮取消");
        QCOMPARE(text->size(), QSize(400, 200));
        QCOMPARE(prompt->geometry().topLeft(), QPoint(5, 5));
        QCOMPARE(prompt->width(), window->width() - 10);
        QCOMPARE(text->y(), 5 + prompt->height() + 5);
        QCOMPARE(strip->geometry().topLeft(), QPoint(5, text->geometry().bottom() + 1));
        QCOMPARE(cancel->geometry().right() + 1, window->width() - 5);
        QCOMPARE(ok->geometry().right() + 1, cancel->x());
        QVERIFY(qAbs(cancel->geometry().center().y() - strip->geometry().center().y()) <= 1);

        // The estimate leaves room for the whole prompt: it needs no scrolling.
        QCoreApplication::processEvents();
        QCOMPARE(prompt->verticalScrollBar()->maximum(), 0);

        window->resize(600, 500);
        QCOMPARE(text->width(), 590);
        QCOMPARE(cancel->geometry().right() + 1, 595);
        QCOMPARE(strip->geometry().bottom() + 1, 500);
    }

    void noTwoControlsOverlapAtAnySize() {
        for (const bool input : {true, false}) {
            auto window = open("", input, QString::fromUtf8("提示"));
            for (const QSize size : {QSize(800, 600), QSize(200, 100), QSize(100, 60)}) {
                test::forceSize(window.get(), size);
                QCOMPARE(window->size(), size);
                QVERIFY2(test::overlappingControls(window.get()).isEmpty(),
                         qPrintable(test::overlappingControls(window.get()).join(", ")));
            }
        }
    }

    void noButtonCoversAnotherAtTheSmallestSize() {
        for (const bool input : {true, false}) {
            auto window =
                open("", input, QString::fromUtf8("一段相当长的提示文字，在窄窗口里要折成好几行才放得下"));
            window->resize(1, 1); // as small as the window lets itself be made
            QCOMPARE(window->size(), window->minimumSize());
            QList<QRect> shown;
            for (QPushButton* button : window->findChildren<QPushButton*>()) {
                if (!button->isVisibleTo(window.get()))
                    continue;
                const QRect rect(button->mapTo(window.get(), QPoint(0, 0)), button->size());
                QVERIFY2(window->rect().contains(rect), qPrintable(button->text()));
                QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(button->text()),
                         qPrintable(button->text()));
                for (const QRect& other : shown)
                    QVERIFY2(!rect.intersects(other), qPrintable(button->text()));
                shown << rect;
            }
            QCOMPARE(shown.size(), input ? 7 : 1);
            QVERIFY(body(*window)->height() > 0);
        }
    }
};

QTEST_MAIN(TextWindowTest)
#include "tst_textwindow.moc"
