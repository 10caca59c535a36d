#include "gui/ControlStateSync.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsStore.h"

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
#include <QWidget>

using namespace karv;

namespace {

std::string fileContent(const QString& path) {
    std::string content;
    settingsio::readWholeFile(path.toStdString(), content);
    return content;
}

template <class T> T* make(QWidget* parent, const char* name) {
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

// A small window shaped like the program's: a few controls at the top level, a group box with a
// radio pair and a nested picture box, a label, a list view and a no-save edit box.
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
        dropDown->addItems({QStringLiteral("默认"), QStringLiteral("通配"), QStringLiteral("正则")});
        editable->setEditable(true);
        editable->addItems({QStringLiteral("a"), QStringLiteral("b")});
        editable->setEditText(QStringLiteral("typed"));
        label->setText(QStringLiteral("筛选类型："));
        noSave->setText(QStringLiteral("*.*"));
        noSave->setProperty("tag", QString::fromUtf8("禁止保存"));
    }
};

} // namespace

class ControlStateSyncTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString settingsPath() const { return m_dir.filePath(QStringLiteral("Karv·Tessil.ini")); }
    std::unique_ptr<SettingsStore> openStore() {
        auto store = std::make_unique<SettingsStore>();
        store->openStore(settingsPath().toStdString());
        return store;
    }

private slots:
    void init() {
        QFile::remove(settingsPath());
        QDir(m_dir.filePath(QStringLiteral("inibin"))).removeRecursively();
    }

    void designOrderIsCreationOrderDepthFirst() {
        TestWindow w;
        const QList<QWidget*> controls = windowControls(w.window.get());
        QStringList names;
        for (QWidget* control : controls) {
            if (!control->objectName().isEmpty() && !control->objectName().startsWith(QLatin1String("qt_")))
                names << control->objectName();
        }
        const int group = names.indexOf(QString::fromUtf8("分组框内容"));
        QCOMPARE(names.indexOf(QString::fromUtf8("单选框包含内容")), group + 1);
        QCOMPARE(names.indexOf(QString::fromUtf8("单选框MD5")),
                 names.indexOf(QString::fromUtf8("图片框1")) + 1);
        QVERIFY(names.indexOf(QString::fromUtf8("单选框文件名")) <
                names.indexOf(QString::fromUtf8("组合框匹配模式")));
        QVERIFY(windowControls(nullptr).isEmpty());
    }

    void ownedWindowsKeepTheirControlsToThemselves() {
        QWidget main;
        make<QCheckBox>(&main, "选择框主");
        // A tool window owned by the main window, as the classification window is.
        auto* tool = make<QWidget>(&main, "文件归类窗口");
        tool->setWindowFlags(Qt::Window);
        make<QCheckBox>(tool, "选择框归类");
        auto* dialog = make<QFileDialog>(&main, "通用对话框打开");
        dialog->setProperty("fileName", QStringLiteral("a.txt"));
        QVERIFY(windowControls(&main).contains(tool));
        QVERIFY(windowControls(&main).contains(dialog));
        QVERIFY(!windowControls(&main).contains(tool->findChild<QCheckBox*>()));
        auto store = openStore();
        syncControls(*store, &main, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string("[主界面]\r\n选择框主=假\r\n通用对话框打开=a.txt"));
        syncControls(*store, tool, false, QString::fromUtf8("文件归类"));
        QCOMPARE(store->readValue("文件归类", "选择框归类", "<none>"), std::string("假"));
    }

    void saveWritesOneLinePerStoredControlInDesignOrder() {
        TestWindow w;
        w.check->setChecked(true);
        auto store = openStore();
        syncControls(*store, w.window.get(), false, QString::fromUtf8("主界面"));
        const std::string expected = "[主界面]\r\n"
                                     "选择框按内容筛选=真\r\n"
                                     "编辑框层次=2\r\n"
                                     "按钮开始筛选.标记=idle\r\n"
                                     "单选框包含内容=真\r\n"
                                     "单选框不含内容=假\r\n"
                                     "单选框MD5=假\r\n"
                                     "单选框长度=真\r\n"
                                     "单选框文件名=假\r\n"
                                     "组合框匹配模式=0\r\n"
                                     "组合框历史.内容=typed\r\n"
                                     "按钮粘贴.标记=";
        QCOMPARE(store->fileImage(), expected);
        QCOMPARE(fileContent(settingsPath()), expected);
        QCOMPARE(store->currentSection(), std::string("主界面"));
        // Saving again (run start, then closing) rewrites the values in place.
        w.edit->setText(QStringLiteral("10"));
        syncControls(*store, w.window.get(), false, QString::fromUtf8("主界面"));
        std::string changed = expected;
        changed.replace(changed.find("编辑框层次=2"), std::string("编辑框层次=2").size(), "编辑框层次=10");
        QCOMPARE(fileContent(settingsPath()), changed);
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
            auto store = openStore();
            syncControls(*store, w.window.get(), false, QString::fromUtf8("主界面"));
        }
        TestWindow fresh;
        auto store = openStore();
        syncControls(*store, fresh.window.get(), true, QString::fromUtf8("主界面"));
        QVERIFY(fresh.check->isChecked());
        QCOMPARE(fresh.edit->text(), QStringLiteral("7"));
        QCOMPARE(fresh.button->property("tag").toString(), QStringLiteral("running"));
        QVERIFY(!fresh.radioA->isChecked());
        QVERIFY(fresh.radioB->isChecked());
        QVERIFY(fresh.radioZ->isChecked());
        QVERIFY(!fresh.radioY->isChecked());
        QCOMPARE(fresh.dropDown->currentIndex(), 2);
        QCOMPARE(fresh.editable->currentText(), QStringLiteral("other"));
        // The no-save box keeps its design text whatever was typed before.
        QCOMPARE(fresh.noSave->text(), QStringLiteral("*.*"));
        QVERIFY(store->fileImage().find("编辑框过滤") == std::string::npos);
        QVERIFY(store->fileImage().find("标签1") == std::string::npos);
        QVERIFY(store->fileImage().find("超级列表框") == std::string::npos);
    }

    void restoreWithoutStoredStateKeepsTheDesign() {
        TestWindow w;
        auto store = openStore();
        syncControls(*store, w.window.get(), true, QString::fromUtf8("主界面"));
        QVERIFY(!w.check->isChecked());
        QCOMPARE(w.edit->text(), QStringLiteral("2"));
        QCOMPARE(w.button->property("tag").toString(), QStringLiteral("idle"));
        QVERIFY(w.radioA->isChecked());
        QVERIFY(w.radioY->isChecked());
        QCOMPARE(w.dropDown->currentIndex(), 0);
        QCOMPARE(w.editable->currentText(), QStringLiteral("typed"));
        QCOMPARE(store->fileImage(), std::string());
    }

    void emptyStoredValuesAreValuesToo() {
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[主界面]\r\n选择框按内容筛选=\r\n编辑框层次=\r\n组合框匹配模式=\r\n按钮开始筛选.标记=");
        file.close();
        TestWindow w;
        w.check->setChecked(true);
        w.dropDown->setCurrentIndex(2);
        auto store = openStore();
        syncControls(*store, w.window.get(), true, QString::fromUtf8("主界面"));
        QVERIFY(!w.check->isChecked());
        QCOMPARE(w.edit->text(), QString());
        QCOMPARE(w.dropDown->currentIndex(), 0);
        QCOMPARE(w.button->property("tag").toString(), QString());
    }

    void dropDownWithoutSelectionIsMinusOne() {
        TestWindow w;
        w.dropDown->setCurrentIndex(-1);
        {
            auto store = openStore();
            syncControls(*store, w.window.get(), false, QString::fromUtf8("主界面"));
            QVERIFY(store->fileImage().find("组合框匹配模式=-1\r\n") != std::string::npos);
        }
        TestWindow fresh;
        QCOMPARE(fresh.dropDown->currentIndex(), 0);
        auto store = openStore();
        syncControls(*store, fresh.window.get(), true, QString::fromUtf8("主界面"));
        QCOMPARE(fresh.dropDown->currentIndex(), -1);
    }

    void outOfRangeIndexSelectsNothing() {
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[主界面]\r\n组合框匹配模式=1e300");
        file.close();
        TestWindow w;
        auto store = openStore();
        syncControls(*store, w.window.get(), true, QString::fromUtf8("主界面"));
        QCOMPARE(w.dropDown->currentIndex(), -1);
    }

    void byteModeEditBoxKeepsLineBreaksInItsOwnFile() {
        auto makeWindow = [] {
            auto window = std::make_unique<QWidget>();
            auto* filter = make<QPlainTextEdit>(window.get(), "编辑框筛选内容");
            filter->setProperty("tag", QString::fromUtf8("字节集方式"));
            make<QCheckBox>(window.get(), "选择框文件名");
            return window;
        };
        auto window = makeWindow();
        auto* filter = window->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框筛选内容"));
        filter->setPlainText(QString::fromUtf8("甲|乙\n第二行\n\n┊*┊"));
        {
            auto store = openStore();
            syncControls(*store, window.get(), false, QString::fromUtf8("主界面"));
            QCOMPARE(store->fileImage(), std::string("[主界面]\r\n选择框文件名=假"));
        }
        QCOMPARE(fileContent(m_dir.filePath(QString::fromUtf8("inibin/主界面-编辑框筛选内容.ibn"))),
                 std::string("甲|乙\r\n第二行\r\n\r\n┊*┊"));
        auto fresh = makeWindow();
        auto store = openStore();
        syncControls(*store, fresh.get(), true, QString::fromUtf8("主界面"));
        QCOMPARE(fresh->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框筛选内容"))->toPlainText(),
                 QString::fromUtf8("甲|乙\n第二行\n\n┊*┊"));
        // Saved empty, the byte value reads as missing and the box keeps its design text.
        fresh->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框筛选内容"))->clear();
        syncControls(*store, fresh.get(), false, QString::fromUtf8("主界面"));
        auto third = makeWindow();
        third->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框筛选内容"))
            ->setPlainText(QStringLiteral("design"));
        syncControls(*store, third.get(), true, QString::fromUtf8("主界面"));
        QCOMPARE(third->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框筛选内容"))->toPlainText(),
                 QStringLiteral("design"));
    }

    void multiLineTextInTheSettingsFileUsesTheMark() {
        QWidget window;
        auto* memo = make<QPlainTextEdit>(&window, "编辑框备注");
        memo->setPlainText(QStringLiteral("l1\nl2"));
        auto store = openStore();
        syncControls(*store, &window, false, QString::fromUtf8("文件归类"));
        QCOMPARE(store->fileImage(), std::string("[文件归类]\r\n编辑框备注=l1┊*┊l2"));
        memo->clear();
        syncControls(*store, &window, true, QString::fromUtf8("文件归类"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("l1\nl2"));
    }

    void spinAndDateTimeBoxesStoreTheirText() {
        QWidget window;
        auto* spin = make<QSpinBox>(&window, "编辑框层次");
        spin->setRange(0, 100);
        spin->setValue(2);
        auto* time = make<QDateTimeEdit>(&window, "编辑框时间起始");
        time->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        time->setDateTime(QDateTime(QDate(2012, 12, 21), QTime(12, 12, 12)));
        auto store = openStore();
        spin->setValue(42);
        time->setDateTime(QDateTime(QDate(2014, 3, 31), QTime(23, 55, 0)));
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(),
                 std::string("[主界面]\r\n编辑框层次=42\r\n编辑框时间起始=2014-03-31 23:55:00"));
        spin->setValue(3);
        time->setDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)));
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(spin->value(), 42);
        QCOMPARE(time->dateTime(), QDateTime(QDate(2014, 3, 31), QTime(23, 55, 0)));
    }

    void byteModeButtonStoresItsTag() {
        QWidget window;
        auto* button = make<QPushButton>(&window, "按钮归类");
        button->setProperty("tag", QString::fromUtf8("字节集方式"));
        auto store = openStore();
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string());
        QCOMPARE(fileContent(m_dir.filePath(QString::fromUtf8("inibin/主界面-按钮归类.标记.ibn"))),
                 std::string("字节集方式"));
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(button->property("tag").toString(), QString::fromUtf8("字节集方式"));
    }

    void listBoxAndCheckListBox() {
        auto makeWindow = [] {
            auto window = std::make_unique<QWidget>();
            auto* list = make<QListWidget>(window.get(), "列表框文件");
            auto* first = new QListWidgetItem(QString::fromUtf8("甲"), list);
            first->setData(Qt::UserRole, 1);
            auto* second = new QListWidgetItem(QString::fromUtf8("乙"), list);
            second->setData(Qt::UserRole, -2);
            auto* checks = make<QListWidget>(window.get(), "选择列表框类型");
            for (const char* text : {"x", "y"}) {
                auto* item = new QListWidgetItem(QString::fromUtf8(text), checks);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Unchecked);
            }
            return window;
        };
        auto window = makeWindow();
        auto* checks = window->findChild<QListWidget*>(QString::fromUtf8("选择列表框类型"));
        checks->item(0)->setCheckState(Qt::Checked);
        checks->item(0)->setData(Qt::UserRole, 5);
        auto store = openStore();
        // A restore with nothing stored refills the lists with the same items.
        syncControls(*store, window.get(), true, QString::fromUtf8("文件统计"));
        QCOMPARE(window->findChild<QListWidget*>(QString::fromUtf8("列表框文件"))->count(), 2);
        syncControls(*store, window.get(), false, QString::fromUtf8("文件统计"));
        QCOMPARE(store->fileImage(), std::string("[文件统计]\r\n列表框文件=甲{G}1{H}乙{G}-2\r\n"
                                                 "选择列表框类型=x{G}5{G}真{H}y{G}0{G}假"));
        auto fresh = makeWindow();
        auto* freshList = fresh->findChild<QListWidget*>(QString::fromUtf8("列表框文件"));
        freshList->clear();
        syncControls(*store, fresh.get(), true, QString::fromUtf8("文件统计"));
        QCOMPARE(freshList->count(), 2);
        QCOMPARE(freshList->item(1)->text(), QString::fromUtf8("乙"));
        QCOMPARE(freshList->item(1)->data(Qt::UserRole).toInt(), -2);
        auto* freshChecks = fresh->findChild<QListWidget*>(QString::fromUtf8("选择列表框类型"));
        QCOMPARE(freshChecks->count(), 2);
        QCOMPARE(freshChecks->item(0)->checkState(), Qt::Checked);
        QCOMPARE(freshChecks->item(0)->data(Qt::UserRole).toInt(), 5);
        QCOMPARE(freshChecks->item(1)->checkState(), Qt::Unchecked);
        // An empty stored list empties the control.
        QVERIFY(store->writeValue("文件统计", "列表框文件", ""));
        syncControls(*store, fresh.get(), true, QString::fromUtf8("文件统计"));
        QCOMPARE(freshList->count(), 0);
    }

    void colourPickerStoresTheColourAsAnInteger() {
        QWidget window;
        auto* picker = make<QColorDialog>(&window, "颜色选择器背景");
        picker->setOption(QColorDialog::DontUseNativeDialog);
        picker->setCurrentColor(QColor(255, 255, 255));
        auto store = openStore();
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string("[主界面]\r\n颜色选择器背景=16777215"));
        picker->setCurrentColor(QColor(1, 2, 3));
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string("[主界面]\r\n颜色选择器背景=197121"));
        picker->setCurrentColor(QColor(9, 9, 9));
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(picker->currentColor(), QColor(1, 2, 3));
        QVERIFY(store->writeValue("主界面", "颜色选择器背景", "-5"));
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(picker->currentColor(), QColor(0, 0, 0));
    }

    void commonDialogStoresItsFileName() {
        QWidget window;
        auto* dialog = make<QFileDialog>(&window, "通用对话框导出");
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setProperty("fileName", QStringLiteral("/tmp/list.txt"));
        auto* unnamedKind = make<QFileDialog>(&window, "对话框");
        unnamedKind->setProperty("fileName", QStringLiteral("/tmp/other.txt"));
        auto store = openStore();
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string("[主界面]\r\n通用对话框导出=/tmp/list.txt"));
        dialog->setProperty("fileName", QString());
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(dialog->property("fileName").toString(), QStringLiteral("/tmp/list.txt"));
    }

    void prefixOnTheWrongWidgetIsSkipped() {
        QWidget window;
        make<QLabel>(&window, "选择框假的");
        make<QLabel>(&window, "组合框假的");
        make<QLabel>(&window, "列表框假的");
        make<QLabel>(&window, "编辑框假的");
        auto store = openStore();
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        syncControls(*store, &window, true, QString::fromUtf8("主界面"));
        QCOMPARE(store->fileImage(), std::string());
    }

    void emptySectionNameKeepsTheCurrentSection() {
        QWidget window;
        make<QCheckBox>(&window, "选择框甲");
        auto store = openStore();
        store->setCurrentSection("文件统计");
        syncControls(*store, &window, false, QString());
        QCOMPARE(store->fileImage(), std::string("[文件统计]\r\n选择框甲=假"));
    }

    void anotherWindowTransferredMeanwhileDoesNotStealTheKeys() {
        TestWindow main;
        QWidget stats;
        make<QCheckBox>(&stats, "选择框统计");
        auto store = openStore();
        int pumps = 0;
        store->setEventPump([&] {
            if (++pumps == 5) {
                // Like the statistics window being opened (restored, then saved) by a click that
                // arrives while the main window is half saved.
                syncControls(*store, &stats, true, QString::fromUtf8("文件统计"));
                syncControls(*store, &stats, false, QString::fromUtf8("文件统计"));
            }
        });
        syncControls(*store, main.window.get(), false, QString::fromUtf8("主界面"));
        store->setEventPump({});
        QVERIFY(pumps > 5);
        QCOMPARE(store->currentSection(), std::string("主界面"));
        const std::string image = store->fileImage();
        QCOMPARE(store->readValue("文件统计", "选择框统计", "<none>"), std::string("假"));
        QCOMPARE(store->readValue("主界面", "选择框统计", "<none>"), std::string("<none>"));
        // Controls saved before and after the interruption all sit in the main window's section.
        for (const char* key : {"选择框按内容筛选", "单选框文件名", "组合框匹配模式", "按钮粘贴.标记"}) {
            QVERIFY2(store->readValue("主界面", key, "<none>") != "<none>", key);
            QCOMPARE(store->readValue("文件统计", key, "<none>"), std::string("<none>"));
        }
        QCOMPARE(fileContent(settingsPath()), image);
    }

    void controlDeletedWhileEventsArePumped() {
        TestWindow w;
        QPointer<QLineEdit> edit = w.edit;
        auto store = openStore();
        int pumps = 0;
        store->setEventPump([&] {
            // The edit box goes away while the store is reading its value.
            if (++pumps == 4 && edit)
                delete edit.data();
        });
        syncControls(*store, w.window.get(), true, QString::fromUtf8("主界面"));
        QVERIFY(edit.isNull());
        pumps = 0;
        syncControls(*store, w.window.get(), false, QString::fromUtf8("主界面"));
        QVERIFY(store->fileImage().find("编辑框层次") == std::string::npos);
        QVERIFY(store->fileImage().find("组合框匹配模式=0") != std::string::npos);
        // Even the whole window may go.
        TestWindow other;
        QWidget* raw = other.window.get();
        store->setEventPump([&] { other.window.reset(); });
        syncControls(*store, raw, false, QString::fromUtf8("主界面"));
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
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        const qint64 firstSave = timer.nsecsElapsed();
        timer.restart();
        syncControls(*store, &window, false, QString::fromUtf8("主界面"));
        const qint64 secondSave = timer.nsecsElapsed();
        qInfo("saving 60 controls: first %.2f ms, again %.2f ms", firstSave / 1e6, secondSave / 1e6);
        const std::string image = fileContent(settingsPath());
        QCOMPARE(image, store->fileImage());
        int lines = 1;
        for (std::size_t pos = image.find("\r\n"); pos != std::string::npos;
             pos = image.find("\r\n", pos + 2))
            ++lines;
        QCOMPARE(lines, 61);
        QVERIFY(image.find("编辑框19=133") != std::string::npos);
    }
};

QTEST_MAIN(ControlStateSyncTest)
#include "tst_ControlStateSync.moc"
