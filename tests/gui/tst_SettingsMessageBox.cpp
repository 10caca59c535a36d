#include "platform/SettingsMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace karv;

class SettingsMessageBoxTest : public QObject {
    Q_OBJECT

private:
    struct Seen {
        bool shown = false;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool modal = false;
    };

    // Answers the next message box as soon as it is up and records what it showed.
    static void answerNextBox(Seen& seen) {
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen.shown = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.modal = box->windowModality() == Qt::ApplicationModal;
            box->accept();
        });
    }

private slots:
    void showsTextCaptionAndIcon() {
        Seen seen;
        answerNextBox(seen);
        settingsMessageBoxes()(SettingsMessage{std::string(kSettingsFailureText), "信息：", true});
        QVERIFY(seen.shown);
        QCOMPARE(seen.title, QString::fromUtf8("信息："));
        QCOMPARE(seen.text, QString::fromUtf8("配置模块出现意外，可能导致无法正常保存！详情请咨询Karv。"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QVERIFY(seen.modal);

        Seen plain;
        answerNextBox(plain);
        settingsMessageBoxes()(SettingsMessage{"[主界面]\r\n选择框=真", "信息：", false});
        QVERIFY(plain.shown);
        QCOMPARE(plain.icon, QMessageBox::NoIcon);
        QVERIFY(plain.text.startsWith(QString::fromUtf8("[主界面]")));
    }

    void hugeFileTextIsCut() {
        Seen seen;
        answerNextBox(seen);
        settingsMessageBoxes()(SettingsMessage{std::string(1 << 20, 'x'), "信息：", false});
        QVERIFY(seen.shown);
        QVERIFY(seen.text.size() < 30000);
        QVERIFY(seen.text.endsWith(QStringLiteral("…")));
    }

    void pumpProcessesPostedEvents() {
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        qtEventPump()();
        QVERIFY(ran);
    }
};

QTEST_MAIN(SettingsMessageBoxTest)
#include "tst_SettingsMessageBox.moc"
