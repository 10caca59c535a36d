#include "gui/MainWindow.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"
#include "support/TempTree.h"

#include <fstream>
#include <sstream>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace karv;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

/// One program start: a store on the settings file and a main window over it.
struct Session {
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    SettingsStore store;
    std::unique_ptr<MainWindow> window;

    explicit Session(const std::string& settingsPath) {
        store.openStore(settingsPath);
        window = std::make_unique<MainWindow>(state, questioner, clock, nullptr, &store);
    }
    template <typename T> T* get(const char* name) const {
        T* widget = window->findChild<T*>(u8(name));
        if (widget == nullptr)
            qFatal("missing control %s", name);
        return widget;
    }
};

} // namespace

class MainWindowSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void choicesSurviveARestart() {
        test::TempTree tree;
        const std::string settingsPath = tree.path("Karv·Tessil.ini");
        {
            Session first(settingsPath);
            first.get<QCheckBox>("选择框按内容筛选")->setChecked(true);
            first.get<QPlainTextEdit>("编辑框筛选内容")->setPlainText("报告\n年度|Invoice");
            first.get<QComboBox>("组合框匹配模式")->setCurrentIndex(2);
            first.get<QRadioButton>("单选框遍历层次")->setChecked(true);
            first.get<QLineEdit>("编辑框层次")->setText("4");
            first.get<QLineEdit>("编辑框过滤")->setText("*.txt|*.log");
            first.get<QCheckBox>("选择框按重复筛选")->setChecked(true);
            first.get<QRadioButton>("单选框MD5")->setChecked(true);
            first.window->close();
        }
        const std::string saved = test::contentOf(settingsPath);
        QVERIFY(saved.rfind("[主界面]\r\n", 0) == 0);
        QVERIFY(saved.find("编辑框过滤=*.txt|*.log") != std::string::npos);
        // The multi-line box goes to its byte-value file, not into the settings file.
        QVERIFY(saved.find("编辑框筛选内容=") == std::string::npos);

        Session second(settingsPath);
        QVERIFY(second.get<QCheckBox>("选择框按内容筛选")->isChecked());
        QCOMPARE(second.get<QPlainTextEdit>("编辑框筛选内容")->toPlainText(), u8("报告\n年度|Invoice"));
        QCOMPARE(second.get<QComboBox>("组合框匹配模式")->currentIndex(), 2);
        QVERIFY(second.get<QRadioButton>("单选框遍历层次")->isChecked());
        QVERIFY(!second.get<QRadioButton>("单选框遍历子目录")->isChecked());
        QCOMPARE(second.get<QLineEdit>("编辑框层次")->text(), u8("4"));
        QCOMPARE(second.get<QLineEdit>("编辑框过滤")->text(), u8("*.txt|*.log"));
        QVERIFY(second.get<QRadioButton>("单选框MD5")->isChecked());
        // The enabling rules follow the restored states.
        QVERIFY(second.get<QComboBox>("组合框匹配模式")->isEnabled());
        QVERIFY(second.get<QRadioButton>("单选框MD5")->isEnabled());
    }

    void aRunSavesBeforeItStarts() {
        test::TempTree tree;
        const std::string settingsPath = tree.path("Karv·Tessil.ini");
        Session session(settingsPath);
        session.get<QLineEdit>("编辑框过滤")->setText("*.doc");
        // The chooser is cancelled: nothing runs, but the states were saved first.
        session.get<QPushButton>("按钮开始筛选")->click();
        QCOMPARE(session.questioner.folderPrompts.size(), size_t(1));
        QVERIFY(test::contentOf(settingsPath).find("编辑框过滤=*.doc") != std::string::npos);
        // Refused because another operation runs: saved all the same.
        session.window->busy().idle = false;
        session.get<QLineEdit>("编辑框过滤")->setText("*.xls");
        session.get<QPushButton>("按钮开始筛选")->click();
        QCOMPARE(session.questioner.messages.size(), size_t(1));
        QVERIFY(test::contentOf(settingsPath).find("编辑框过滤=*.xls") != std::string::npos);
        session.window->busy().idle = true;

        // The folder of a run is kept with the start button and offered again after a restart.
        session.questioner.folderAnswer = tree.root();
        session.get<QPushButton>("按钮开始筛选")->click();
        session.window->close();
        session.window.reset();
        session.store.openStore(""); // let go of the file as the process exit would
        Session next(settingsPath);
        next.get<QPushButton>("按钮开始筛选")->click();
        QCOMPARE(next.questioner.lastInitialFolder, tree.root());
    }
};

QTEST_MAIN(MainWindowSettingsTest)
#include "tst_mainwindowsettings.moc"
