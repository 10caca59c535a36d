#include "gui/ControlStateSync.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <memory>
#include <string>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace karv;

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

template <class T> T* make(QWidget* parent, const char* name) {
    auto* widget = new T(parent);
    widget->setObjectName(u(name));
    return widget;
}

const QString kMain = u("主界面");

// Shaped like the program's windows: top-level controls, a group box with a radio pair and a
// nested picture box with a radio triple, a label, a list view and a no-save edit box.
struct TestWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QCheckBox* check = make<QCheckBox>(window.get(), "选择框按内容筛选");
    QLineEdit* edit = make<QLineEdit>(window.get(), "编辑框层次");
    QPushButton* button = make<QPushButton>(window.get(), "按钮开始筛选");
    QGroupBox* group = make<QGroupBox>(window.get(), "分组框内容");
    QRadioButton* radioA = make<QRadioButton>(group, "单选框包含内容");
    QRadioButton* radioB = make<QRadioButton>(group, "单选框不含内容");
    QWidget* picture = make<QWidget>(group, "图片框1");
    QRadioButton* radioX = make<QRadioButton>(picture, "单选框MD5");
    QRadioButton* radioY = make<QRadioButton>(picture, "单选框长度");
    QRadioButton* radioZ = make<QRadioButton>(picture, "单选框文件名");
    QComboBox* dropDown = make<QComboBox>(window.get(), "组合框匹配模式");
    QComboBox* editable = make<QComboBox>(window.get(), "组合框历史");
    QLabel* label = make<QLabel>(window.get(), "标签1");
    QTreeWidget* listView = make<QTreeWidget>(window.get(), "超级列表框");
    QLineEdit* noSave = make<QLineEdit>(window.get(), "编辑框过滤");
    QPushButton* untagged = make<QPushButton>(window.get(), "按钮粘贴");

    TestWindow() {
        edit->setText(QStringLiteral("2"));
        button->setProperty("tag", QStringLiteral("idle"));
        radioA->setChecked(true);
        radioY->setChecked(true);
        dropDown->addItems({u("默认"), u("通配"), u("正则")});
        editable->setEditable(true);
        editable->addItems({QStringLiteral("a"), QStringLiteral("b")});
        editable->setEditText(QStringLiteral("typed"));
        noSave->setText(QStringLiteral("*.*"));
        noSave->setProperty("tag", u("禁止保存"));
    }
};

const std::string kTestWindowSaved =
    "[主界面]\r\n选择框按内容筛选=假\r\n编辑框层次=2\r\n按钮开始筛选.标记=idle\r\n"
    "单选框包含内容=真\r\n单选框不含内容=假\r\n单选框MD5=假\r\n单选框长度=真\r\n"
    "单选框文件名=假\r\n组合框匹配模式=0\r\n组合框历史.内容=typed\r\n按钮粘贴.标记=";

} // namespace

class ControlStateSyncTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString settingsPath() const { return m_dir.filePath(QStringLiteral("Karv·Tessil.ini")); }
    std::string disk(const QString& relative) const {
        std::string content;
        settingsio::readWholeFile(m_dir.filePath(relative).toStdString(), content);
        return content;
    }
    std::unique_ptr<SettingsStore> openStore(const char* content = nullptr) {
        if (content) {
            QFile file(settingsPath());
            file.open(QIODevice::WriteOnly);
            file.write(content);
        }
        auto store = std::make_unique<SettingsStore>();
        store->openStore(settingsPath().toStdString());
        return store;
    }

private slots:
    void init() {
        QFile::remove(settingsPath());
        QDir(m_dir.filePath(QStringLiteral("inibin"))).removeRecursively();
    }

    void designOrderAndOwnedWindows() {
        QWidget main;
        auto* group = make<QGroupBox>(&main, "分组框");
        auto* inGroup = make<QCheckBox>(group, "选择框组内");
        auto* after = make<QCheckBox>(&main, "选择框主");
        // A tool window owned by this one, as the classification window is, keeps its controls.
        auto* tool = make<QWidget>(&main, "文件归类窗口");
        tool->setWindowFlags(Qt::Window);
        make<QCheckBox>(tool, "选择框归类");
        auto* dialog = make<QFileDialog>(&main, "通用对话框打开");
        dialog->setProperty("fileName", QStringLiteral("a.txt"));
        QCOMPARE(windowControls(&main), (QList<QWidget*>{group, inGroup, after, tool, dialog}));
        QVERIFY(windowControls(nullptr).isEmpty());
        auto store = openStore();
        syncControls(*store, &main, false, kMain);
        QCOMPARE(store->fileImage(),
                 std::string("[主界面]\r\n选择框组内=假\r\n选择框主=假\r\n通用对话框打开=a.txt"));
    }

    void saveWritesOneLinePerStoredControlInDesignOrder() {
        TestWindow w;
        auto store = openStore();
        syncControls(*store, w.window.get(), false, kMain);
        QCOMPARE(store->fileImage(), kTestWindowSaved);
        QCOMPARE(disk(u("Karv·Tessil.ini")), kTestWindowSaved);
        QCOMPARE(store->currentSection(), std::string("主界面"));
        // Saving again (run start, then closing) rewrites the values in place.
        w.edit->setText(QStringLiteral("10"));
        syncControls(*store, w.window.get(), false, kMain);
        std::string changed = kTestWindowSaved;
        changed.insert(changed.find("编辑框层次=2") + std::string("编辑框层次=").size(), "1");
        changed.replace(changed.find("=12"), 3, "=10");
        QCOMPARE(disk(u("Karv·Tessil.ini")), changed);
    }

    void restoreBringsBackWhatWasSaved() {
        {
            TestWindow w;
            w.check->setChecked(true);
            w.edit->setText(QStringLiteral("7"));
            w.button->setProperty("tag", QStringLiteral("running"));
            w.radioB->setChecked(true);
            w.radioZ->setChecked(true);
            w.dropDown->setCurrentIndex(2);
            w.editable->setEditText(QStringLiteral("other"));
            w.noSave->setText(QStringLiteral("*.txt"));
            syncControls(*openStore(), w.window.get(), false, kMain);
        }
        TestWindow fresh;
        auto store = openStore();
        syncControls(*store, fresh.window.get(), true, kMain);
        QVERIFY(fresh.check->isChecked());
        QCOMPARE(fresh.edit->text(), QStringLiteral("7"));
        QCOMPARE(fresh.button->property("tag").toString(), QStringLiteral("running"));
        QVERIFY(!fresh.radioA->isChecked() && fresh.radioB->isChecked());
        QVERIFY(!fresh.radioY->isChecked() && fresh.radioZ->isChecked());
        QCOMPARE(fresh.dropDown->currentIndex(), 2);
        QCOMPARE(fresh.editable->currentText(), QStringLiteral("other"));
        QCOMPARE(fresh.noSave->text(), QStringLiteral("*.*")); // whatever was typed before
        for (const char* never : {"编辑框过滤", "标签1", "超级列表框", "分组框内容"})
            QVERIFY(store->fileImage().find(never) == std::string::npos);
    }

    void restoreWithoutStoredStateKeepsTheDesign() {
        TestWindow w;
        auto store = openStore();
        syncControls(*store, w.window.get(), true, kMain);
        syncControls(*store, w.window.get(), false, kMain);
        QCOMPARE(store->fileImage(), kTestWindowSaved);
    }

    void emptyAndOutOfRangeStoredValues() {
        auto store = openStore(
            "[主界面]\r\n选择框按内容筛选=\r\n编辑框层次=\r\n组合框匹配模式=\r\n按钮开始筛选.标记=");
        TestWindow w;
        w.check->setChecked(true);
        w.dropDown->setCurrentIndex(2);
        syncControls(*store, w.window.get(), true, kMain);
        QVERIFY(!w.check->isChecked());
        QCOMPARE(w.edit->text(), QString());
        QCOMPARE(w.dropDown->currentIndex(), 0);
        QCOMPARE(w.button->property("tag").toString(), QString());
        QVERIFY(store->writeValue("主界面", "组合框匹配模式", "1e300"));
        syncControls(*store, w.window.get(), true, kMain);
        QCOMPARE(w.dropDown->currentIndex(), -1);
    }

    void dropDownWithoutSelectionIsMinusOne() {
        TestWindow w;
        w.dropDown->setCurrentIndex(-1);
        auto store = openStore();
        syncControls(*store, w.window.get(), false, kMain);
        QVERIFY(store->fileImage().find("组合框匹配模式=-1\r\n") != std::string::npos);
        TestWindow fresh;
        syncControls(*store, fresh.window.get(), true, kMain);
        QCOMPARE(fresh.dropDown->currentIndex(), -1);
    }

    void byteModeEditBoxKeepsLineBreaksInItsOwnFile() {
        QWidget window;
        auto* filter = make<QPlainTextEdit>(&window, "编辑框筛选内容");
        filter->setProperty("tag", u("字节集方式"));
        make<QCheckBox>(&window, "选择框文件名");
        filter->setPlainText(u("甲|乙\n第二行\n\n┊*┊"));
        auto store = openStore();
        syncControls(*store, &window, false, kMain);
        QCOMPARE(store->fileImage(), std::string("[主界面]\r\n选择框文件名=假"));
        QCOMPARE(disk(u("inibin/主界面-编辑框筛选内容.ibn")), std::string("甲|乙\r\n第二行\r\n\r\n┊*┊"));
        filter->setPlainText(QStringLiteral("design"));
        syncControls(*store, &window, true, kMain);
        QCOMPARE(filter->toPlainText(), u("甲|乙\n第二行\n\n┊*┊"));
        // Saved empty, the byte value reads as missing and the box keeps its design text.
        filter->clear();
        syncControls(*store, &window, false, kMain);
        filter->setPlainText(QStringLiteral("design"));
        syncControls(*store, &window, true, kMain);
        QCOMPARE(filter->toPlainText(), QStringLiteral("design"));
    }

    void otherEditBoxesAndByteModeButton() {
        QWidget window;
        auto* memo = make<QPlainTextEdit>(&window, "编辑框备注");
        memo->setPlainText(QStringLiteral("l1\nl2"));
        auto* spin = make<QSpinBox>(&window, "编辑框层次");
        spin->setValue(42);
        auto* time = make<QDateTimeEdit>(&window, "编辑框时间起始");
        time->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const QDateTime stored(QDate(2014, 3, 31), QTime(23, 55, 0));
        time->setDateTime(stored);
        auto* button = make<QPushButton>(&window, "按钮归类");
        button->setProperty("tag", u("字节集方式"));
        auto store = openStore();
        syncControls(*store, &window, false, u("文件归类"));
        QCOMPARE(
            store->fileImage(),
            std::string(
                "[文件归类]\r\n编辑框备注=l1┊*┊l2\r\n编辑框层次=42\r\n编辑框时间起始=2014-03-31 23:55:00"));
        QCOMPARE(disk(u("inibin/文件归类-按钮归类.标记.ibn")), std::string("字节集方式"));
        memo->clear();
        spin->setValue(3);
        time->setDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
        button->setProperty("tag", QString());
        syncControls(*store, &window, true, u("文件归类"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("l1\nl2"));
        QCOMPARE(spin->value(), 42);
        QCOMPARE(time->dateTime(), stored);
        QCOMPARE(button->property("tag").toString(), QString()); // an empty tag is not byte mode
    }

    void listBoxAndCheckListBox() {
        QWidget window;
        auto* list = make<QListWidget>(&window, "列表框文件");
        for (auto [text, value] : {std::pair{"甲", 1}, std::pair{"乙", -2}})
            (new QListWidgetItem(u(text), list))->setData(Qt::UserRole, value);
        auto* checks = make<QListWidget>(&window, "选择列表框类型");
        for (const char* text : {"x", "y"}) {
            auto* item = new QListWidgetItem(u(text), checks);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
        checks->item(0)->setCheckState(Qt::Checked);
        checks->item(0)->setData(Qt::UserRole, 5);
        auto store = openStore();
        // With nothing stored, a restore refills the lists with the same items.
        syncControls(*store, &window, true, u("文件统计"));
        syncControls(*store, &window, false, u("文件统计"));
        QCOMPARE(store->fileImage(),
                 std::string(
                     "[文件统计]\r\n列表框文件=甲{G}1{H}乙{G}-2\r\n选择列表框类型=x{G}5{G}真{H}y{G}0{G}假"));
        list->clear();
        checks->clear();
        syncControls(*store, &window, true, u("文件统计"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), u("乙"));
        QCOMPARE(list->item(1)->data(Qt::UserRole).toInt(), -2);
        QCOMPARE(checks->count(), 2);
        QCOMPARE(checks->item(0)->checkState(), Qt::Checked);
        QCOMPARE(checks->item(0)->data(Qt::UserRole).toInt(), 5);
        QCOMPARE(checks->item(1)->checkState(), Qt::Unchecked);
        QVERIFY(store->writeValue("文件统计", "列表框文件", ""));
        syncControls(*store, &window, true, u("文件统计"));
        QCOMPARE(list->count(), 0);
    }

    void colourPickerAndCommonDialog() {
        QWidget window;
        auto* picker = make<QColorDialog>(&window, "颜色选择器背景");
        picker->setOption(QColorDialog::DontUseNativeDialog);
        picker->setCurrentColor(QColor(255, 255, 255));
        auto* dialog = make<QFileDialog>(&window, "通用对话框导出");
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setProperty("fileName", QStringLiteral("/tmp/list.txt"));
        make<QFileDialog>(&window, "对话框")->setProperty("fileName", QStringLiteral("/tmp/no.txt"));
        auto store = openStore();
        syncControls(*store, &window, false, kMain);
        QCOMPARE(store->fileImage(),
                 std::string("[主界面]\r\n颜色选择器背景=16777215\r\n通用对话框导出=/tmp/list.txt"));
        picker->setCurrentColor(QColor(1, 2, 3));
        syncControls(*store, &window, false, kMain);
        QVERIFY(store->fileImage().find("颜色选择器背景=197121\r\n") != std::string::npos);
        picker->setCurrentColor(QColor(9, 9, 9));
        dialog->setProperty("fileName", QString());
        syncControls(*store, &window, true, kMain);
        QCOMPARE(picker->currentColor(), QColor(1, 2, 3));
        QCOMPARE(dialog->property("fileName").toString(), QStringLiteral("/tmp/list.txt"));
        QVERIFY(store->writeValue("主界面", "颜色选择器背景", "-5"));
        syncControls(*store, &window, true, kMain);
        QCOMPARE(picker->currentColor(), QColor(0, 0, 0));
    }

    void wrongWidgetsAndEmptySectionName() {
        QWidget window;
        for (const char* name : {"选择框假的", "组合框假的", "列表框假的", "编辑框假的", "颜色选择器假的"})
            make<QLabel>(&window, name);
        make<QCheckBox>(&window, "选择框甲");
        auto store = openStore();
        store->setCurrentSection("文件统计");
        syncControls(*store, &window, false, QString());
        syncControls(*store, &window, true, QString());
        QCOMPARE(store->fileImage(), std::string("[文件统计]\r\n选择框甲=假"));
    }

    void anotherWindowTransferredMeanwhileDoesNotStealTheKeys() {
        TestWindow main;
        QWidget stats;
        make<QCheckBox>(&stats, "选择框统计");
        auto store = openStore();
        int pumps = 0;
        store->setEventPump([&] {
            if (++pumps == 5) { // the statistics window opens while the main window is half saved
                syncControls(*store, &stats, true, u("文件统计"));
                syncControls(*store, &stats, false, u("文件统计"));
            }
        });
        syncControls(*store, main.window.get(), false, kMain);
        QVERIFY(pumps > 5);
        QCOMPARE(store->currentSection(), std::string("主界面"));
        QCOMPARE(store->readValue("文件统计", "选择框统计", "<none>"), std::string("假"));
        for (const char* key : {"选择框按内容筛选", "单选框文件名", "组合框匹配模式", "按钮粘贴.标记"}) {
            QVERIFY2(store->readValue("主界面", key, "<none>") != "<none>", key);
            QCOMPARE(store->readValue("文件统计", key, "<none>"), std::string("<none>"));
        }
        QCOMPARE(disk(u("Karv·Tessil.ini")), store->fileImage());
    }

    void controlsDeletedWhileEventsArePumped() {
        TestWindow w;
        QPointer<QLineEdit> edit = w.edit;
        auto store = openStore();
        int pumps = 0;
        store->setEventPump([&] {
            if (++pumps == 4 && edit) // while its value is being read
                delete edit.data();
        });
        syncControls(*store, w.window.get(), true, kMain);
        QVERIFY(edit.isNull());
        syncControls(*store, w.window.get(), false, kMain);
        QVERIFY(store->fileImage().find("编辑框层次") == std::string::npos);
        QVERIFY(store->fileImage().find("组合框匹配模式=0") != std::string::npos);
        TestWindow other;
        QWidget* raw = other.window.get();
        store->setEventPump([&] { other.window.reset(); }); // even the whole window may go
        syncControls(*store, raw, false, kMain);
        QVERIFY(!other.window);
    }

    void saveOfSixtyControls() {
        QWidget window;
        for (int i = 0; i < 20; ++i) {
            make<QCheckBox>(&window, ("选择框" + std::to_string(i)).c_str())->setChecked(i % 2 == 0);
            make<QLineEdit>(&window, ("编辑框" + std::to_string(i)).c_str())->setText(QString::number(i * 7));
            make<QRadioButton>(&window, ("单选框" + std::to_string(i)).c_str());
        }
        auto store = openStore();
        QElapsedTimer timer;
        timer.start();
        syncControls(*store, &window, false, kMain);
        const qint64 first = timer.nsecsElapsed();
        timer.restart();
        syncControls(*store, &window, false, kMain);
        qInfo("saving 60 controls: first %.2f ms, again %.2f ms", first / 1e6, timer.nsecsElapsed() / 1e6);
        const std::string image = disk(u("Karv·Tessil.ini"));
        QCOMPARE(image, store->fileImage());
        QCOMPARE(std::count(image.begin(), image.end(), '\n'), 60);
        QVERIFY(image.find("编辑框19=133") != std::string::npos);
    }
};

QTEST_MAIN(ControlStateSyncTest)
#include "tst_ControlStateSync.moc"
