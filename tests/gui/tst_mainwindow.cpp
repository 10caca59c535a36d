#include "filter/FilterPipeline.h"
#include "gui/Branding.h"
#include "gui/DateTimeBox.h"
#include "gui/DateTimeFieldEditor.h"
#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"
#include "gui/TextWindow.h"
#include "support/FakeDesktop.h"
#include "support/Overlaps.h"
#include "support/TempTree.h"

#include <memory>

#include <QAbstractItemView>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

using namespace karv;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

/// A main window with fake desktop services.
struct Fixture {
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    test::FakeOpener opener;
    test::FakeClipboard clipboard;
    test::FakeKeyboard keyboard;
    std::unique_ptr<MainWindow> window;

    Fixture() { make(); }
    void make() {
        window.reset();
        window = std::make_unique<MainWindow>(state, questioner, clock);
        window->setOpener(opener);
        window->setClipboard(clipboard);
        window->setKeyboard(keyboard);
        // Shown, so that the layouts have placed every control where a click would find it.
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("main window not shown");
    }

    template <typename T = QWidget> T* get(const char* name) const {
        T* widget = window->findChild<T*>(u8(name));
        if (widget == nullptr)
            qFatal("missing control %s", name);
        return widget;
    }
    /// Clicks a button where a person would: a check box or radio on its indicator, which is at its
    /// left even when the layout has made the control wider than its caption.
    void click(const char* name) const {
        auto* target = get<QAbstractButton>(name);
        const bool indicator = qobject_cast<QCheckBox*>(target) || qobject_cast<QRadioButton*>(target);
        const QPoint at = indicator ? QPoint(7, target->height() / 2) : target->rect().center();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    }
    bool enabled(const char* name) const { return get<QWidget>(name)->isEnabled(); }
    int rows() const { return window->resultModel().rowCount(QModelIndex()); }
    QString cell(int row, int column) const {
        auto& model = window->resultModel();
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
    }
    QStringList names() const {
        QStringList out;
        for (int row = 0; row < rows(); ++row)
            out << cell(row, 0);
        return out;
    }
    QStringList unitCaptions() const {
        QStringList out;
        for (const char* name : {"单选框B", "单选框KB", "单选框MB", "单选框GB", "单选框TB"})
            out << get<QRadioButton>(name)->text();
        return out;
    }
    const ScanOptions& options() const { return window->options(); }

    void drop(const std::vector<std::string>& paths) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        mime->setUrls(urls);
        QWidget* target = get<QAbstractItemView>("超级列表框")->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent dropEvent(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &dropEvent);
        lastDropAccepted = enter.isAccepted() && dropEvent.isAccepted();
        delete mime;
    }
    bool lastDropAccepted = false;
};

const char* const kContentControls[] = {"单选框包含内容", "单选框不含内容", "编辑框筛选内容",
                                        "选择框文件内容", "选择框文件名",   "组合框匹配模式",
                                        "按钮粘贴"};
const char* const kLengthControls[] = {
    "单选框文件名长度", "单选框文件大小", "单选框内容字数", "编辑框长度起始", "编辑框长度终止",
    "单选框B",          "单选框KB",       "单选框MB",       "单选框GB",       "单选框TB"};
const char* const kTimeControls[] = {"单选框创建",   "单选框修改", "单选框访问",     "单选框年月日",
                                     "单选框时分秒", "单选框两者", "编辑框时间终止", "编辑框时间起始"};
const char* const kDuplicateRadios[] = {"单选框MD5",        "单选框长度",         "单选框文件名",
                                        "单选框一重复文件", "单选框全部重复文件", "单选框全部减一重复文件"};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // ---- Controls, captions and form defaults ----

    void everyControlHasItsNameCaptionAndDefault() {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), u8("Karv·Tessil v1.6.0.0"));
        struct Expect {
            const char* name;
            const char* caption;
            bool checked;
        };
        const Expect buttons[] = {
            {"选择框按内容筛选", "按内容筛选", false},
            {"单选框包含内容", "包含内容", true},
            {"单选框不含内容", "不含内容", false},
            {"选择框文件名", "文件名", true},
            {"选择框文件内容", "文件内容", false},
            {"选择框按长度筛选", "按长度筛选", false},
            {"单选框文件大小", "大小", true},
            {"单选框内容字数", "字数", false},
            {"单选框文件名长度", "文件名长度", false},
            {"选择框清除网页标签", "清除网页标签", false},
            {"选择框清除空行空格", "清除空行空格", false},
            {"单选框B", "B", false},
            {"单选框KB", "KB", true},
            {"单选框MB", "MB", false},
            {"单选框GB", "GB", false},
            {"单选框TB", "TB", false},
            {"选择框按时间筛选", "按时间筛选", false},
            {"单选框创建", "创建", false},
            {"单选框修改", "修改", true},
            {"单选框访问", "访问", false},
            {"单选框年月日", "年月日", false},
            {"单选框时分秒", "时分秒", false},
            {"单选框两者", "两者", true},
            {"选择框按重复筛选", "按重复筛选", false},
            {"单选框MD5", "MD5", false},
            {"单选框长度", "长度", true},
            {"单选框文件名", "文件名", false},
            {"选择框相似度", "相似度大于", false},
            {"选择框判内容", "判内容", false},
            {"单选框一重复文件", "一", false},
            {"单选框全部重复文件", "全部", false},
            {"单选框全部减一重复文件", "全部减一", true},
            {"单选框仅该目录", "仅该目录", false},
            {"单选框遍历子目录", "遍历子目录", true},
            {"单选框遍历层次", "遍历层次", false},
        };
        for (const Expect& expect : buttons) {
            auto* control = f.get<QAbstractButton>(expect.name);
            QVERIFY2(control->text() == u8(expect.caption), expect.name);
            QVERIFY2(control->isChecked() == expect.checked, expect.name);
        }
        const std::pair<const char*, const char*> labels[] = {
            {"标签1", "筛选类型："},
            {"标签2", "筛选对象："},
            {"标签3", "筛选对象："},
            {"标签4", "筛选预备："},
            {"标签5", "筛选内容："},
            {"标签6", "输出重复："},
            {"标签7", "筛选类型："},
            {"标签8", "长度范围："},
            {"标签9", "长度单位："},
            {"标签10", "到"},
            {"标签11", "到"},
            {"标签12", "筛选对象："},
            {"标签13", "时间范围："},
            {"标签14", "时间类型："},
            {"标签15", "从"},
            {"标签16", "辅助参数："},
            {"标签17", "%"},
            {"链接软件主页", "软件主页"},
            {"链接疑点说明", "疑点说明"},
        };
        for (const auto& [name, caption] : labels)
            QVERIFY2(f.get<QLabel>(name)->text() == u8(caption), name);
        const std::pair<const char*, const char*> pushButtons[] = {
            {"按钮粘贴", "粘贴"},         {"按钮开始筛选", "  选择目录开始筛选"},
            {"按钮打开", "打开"},         {"按钮定位", "定位"},
            {"按钮查看", "查看"},         {"按钮复制路径", "复制路径"},
            {"按钮复制名称", "复制名称"}, {"按钮导出", "导出"},
            {"按钮复制", "复制"},         {"按钮移动", "移动"},
            {"按钮删除", "删除"},         {"按钮全选", "全选"},
            {"按钮归类", "文件归类.."},   {"按钮统计", "文件统计.."},
        };
        for (const auto& [name, caption] : pushButtons)
            QVERIFY2(f.get<QPushButton>(name)->text() == u8(caption), name);
        const std::pair<const char*, const char*> edits[] = {
            {"编辑框长度起始", "5"}, {"编辑框长度终止", "10"}, {"编辑框相似比例", "90"},
            {"编辑框层次", "2"},     {"编辑框过滤", "*.*"},
        };
        for (const auto& [name, text] : edits)
            QVERIFY2(f.get<QLineEdit>(name)->text() == u8(text), name);
        QCOMPARE(f.get<DateTimeBox>("编辑框时间起始")->text(), u8("2012-12-21 12:12:12"));
        QCOMPARE(f.get<DateTimeBox>("编辑框时间终止")->text(), u8("2014-03-31 23:55:00"));
        auto* filterText = f.get<QPlainTextEdit>("编辑框筛选内容");
        QCOMPARE(filterText->toPlainText(), QString());
        QCOMPARE(filterText->placeholderText(), u8("多组内容以|隔开，或一行一个"));
        auto* mode = f.get<QComboBox>("组合框匹配模式");
        QCOMPARE(mode->count(), 3);
        QCOMPARE(mode->itemText(0), u8("默认"));
        QCOMPARE(mode->itemText(1), u8("通配"));
        QCOMPARE(mode->itemText(2), u8("正则"));
        QCOMPARE(mode->currentIndex(), 0);
        for (const char* name : {"分组框内容", "分组框长度", "分组框长度1", "分组框重复"})
            QVERIFY2(f.window->findChild<QGroupBox*>(u8(name)) != nullptr, name);
        for (const char* name : {"图片框1", "图片框2", "图片框3", "图片框4", "图片框列表操作", "图片框横幅",
                                 "标签横幅", "图片Karv软件", "图片软件主页", "图片疑点说明"})
            QVERIFY2(f.window->findChild<QWidget*>(u8(name)) != nullptr, name);
        // The radio picture boxes hold their radios.
        QCOMPARE(f.get<QRadioButton>("单选框MD5")->parent(), f.get("图片框1"));
        QCOMPARE(f.get<QRadioButton>("单选框全部减一重复文件")->parent(), f.get("图片框2"));
        QCOMPARE(f.get<QRadioButton>("单选框TB")->parent(), f.get("图片框3"));
        QCOMPARE(f.get<QRadioButton>("单选框时分秒")->parent(), f.get("图片框4"));
        QCOMPARE(f.get<QPushButton>("按钮删除")->parent(), f.get("图片框列表操作"));
    }

    void timersStatusAndProgressAreInPlace() {
        Fixture f;
        auto* status = f.window->findChild<QTimer*>(u8("时钟筛选提示"));
        QVERIFY(status && status->isActive());
        QCOMPARE(status->interval(), 1000);
        auto* banner = f.window->findChild<QTimer*>(u8("时钟官网"));
        QVERIFY(banner && banner->isActive());
        QCOMPARE(banner->interval(), 20);
        QVERIFY(f.window->findChild<QStatusBar*>(u8("状态条")));
        auto* progress = f.get<QProgressBar>("进度条");
        auto* progressText = f.get<QLabel>("进度提示");
        QCOMPARE(progressText->parent(), progress);
        progress->show();
        progress->resize(300, 24);
        QCOMPARE(progressText->geometry(), QRect(10, 0, 280, 24));
        QStringList headers;
        auto* list = f.get<QAbstractItemView>("超级列表框");
        for (int column = 0; column < list->model()->columnCount(); ++column)
            headers << list->model()->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, u8("文件名,文件大小,文件时间,内容字数,所在目录").split(','));
        QVERIFY(f.window->busy().idle);
    }

    // ---- Enabling rules ----

    void optionsStartDisabledButTheirSwitches() {
        Fixture f;
        for (const char* name : kContentControls)
            QVERIFY2(!f.enabled(name), name);
        for (const char* name : kLengthControls)
            QVERIFY2(!f.enabled(name), name);
        for (const char* name : kTimeControls)
            QVERIFY2(!f.enabled(name), name);
        for (const char* name : kDuplicateRadios)
            QVERIFY2(!f.enabled(name), name);
        for (const char* name :
             {"选择框清除网页标签", "选择框清除空行空格", "选择框相似度", "编辑框相似比例", "选择框判内容"})
            QVERIFY2(!f.enabled(name), name);
        for (const char* name : {"选择框按内容筛选", "选择框按长度筛选", "选择框按时间筛选",
                                 "选择框按重复筛选", "编辑框层次", "编辑框过滤", "按钮开始筛选"})
            QVERIFY2(f.enabled(name), name);
    }

    void theContentSwitchEnablesItsControlsAndKeepsTheirValues() {
        Fixture f;
        f.click("选择框按内容筛选");
        for (const char* name : kContentControls)
            QVERIFY2(f.enabled(name), name);
        f.click("单选框不含内容");
        f.click("选择框按内容筛选");
        for (const char* name : kContentControls)
            QVERIFY2(!f.enabled(name), name);
        QVERIFY(f.get<QRadioButton>("单选框不含内容")->isChecked());
    }

    void theLengthSwitchAndMeasuresDecideTheStripOptions() {
        Fixture f;
        f.click("选择框按长度筛选");
        for (const char* name : kLengthControls)
            QVERIFY2(f.enabled(name), name);
        // File size: tags and blanks mean nothing.
        QVERIFY(!f.enabled("选择框清除网页标签"));
        QVERIFY(!f.enabled("选择框清除空行空格"));
        f.click("单选框内容字数");
        QVERIFY(f.enabled("选择框清除网页标签"));
        QVERIFY(f.enabled("选择框清除空行空格"));
        f.click("单选框文件名长度");
        QVERIFY(!f.enabled("选择框清除网页标签"));
        QVERIFY(!f.enabled("选择框清除空行空格"));
        f.click("单选框内容字数");
        f.click("选择框按长度筛选");
        for (const char* name : kLengthControls)
            QVERIFY2(!f.enabled(name), name);
        QVERIFY(!f.enabled("选择框清除网页标签"));
        QVERIFY(!f.enabled("选择框清除空行空格"));
    }

    void theTimeSwitchEnablesItsControls() {
        Fixture f;
        f.click("选择框按时间筛选");
        for (const char* name : kTimeControls)
            QVERIFY2(f.enabled(name), name);
        f.click("选择框按时间筛选");
        for (const char* name : kTimeControls)
            QVERIFY2(!f.enabled(name), name);
    }

    void theDuplicateOptionsDependOnEachOther() {
        Fixture f;
        f.click("选择框按重复筛选");
        for (const char* name : kDuplicateRadios)
            QVERIFY2(f.enabled(name), name);
        QVERIFY(!f.enabled("选择框相似度")); // only for names
        f.click("单选框文件名");
        QVERIFY(f.enabled("选择框相似度"));
        QVERIFY(f.enabled("编辑框相似比例"));
        QVERIFY(!f.enabled("选择框判内容"));
        f.click("选择框相似度");
        QVERIFY(f.enabled("选择框判内容"));
        f.click("单选框MD5");
        QVERIFY(!f.enabled("选择框相似度"));
        QVERIFY(!f.enabled("编辑框相似比例"));
        QVERIFY(!f.enabled("选择框判内容")); // its switch is checked but disabled
        f.click("单选框文件名");
        QVERIFY(f.enabled("选择框判内容"));
        f.click("选择框按重复筛选"); // off: 文件名 stays checked but is disabled
        QVERIFY(!f.enabled("选择框相似度"));
        QVERIFY(!f.enabled("选择框判内容"));
        QVERIFY(f.get<QCheckBox>("选择框相似度")->isChecked());
    }

    void theDuplicateOptionsLockDuringARun() {
        test::TempTree tree;
        for (int i = 0; i < 20; ++i)
            tree.file("f" + std::to_string(i) + ".txt", "x");
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        f.click("选择框按重复筛选");
        f.click("单选框文件名");
        bool checked = false;
        QTimer::singleShot(0, f.window.get(), [&] {
            checked = true;
            for (const char* name : kDuplicateRadios)
                QVERIFY2(!f.enabled(name), name);
            QVERIFY(!f.enabled("选择框按重复筛选"));
            QVERIFY(!f.enabled("选择框相似度"));
            QVERIFY(f.enabled("按钮开始筛选"));
        });
        f.window->setPumpIntervalMs(0);
        f.click("按钮开始筛选");
        QVERIFY(checked);
        for (const char* name : kDuplicateRadios)
            QVERIFY2(f.enabled(name), name);
        QVERIFY(f.enabled("选择框按重复筛选"));
        QVERIFY(f.enabled("选择框相似度"));
    }

    // ---- Unit captions ----

    void unitCaptionsFollowTheMeasure() {
        Fixture f;
        QCOMPARE(f.unitCaptions(), QStringList({"B", "KB", "MB", "GB", "TB"}));
        f.click("选择框按长度筛选");
        f.click("单选框内容字数");
        QCOMPARE(f.unitCaptions(), u8("个,十,百,千,万").split(','));
        QVERIFY(f.get("图片框3")->isVisibleTo(f.window.get()));
        f.click("单选框文件名长度");
        QVERIFY(!f.get("图片框3")->isVisibleTo(f.window.get()));
        f.click("单选框文件大小");
        QVERIFY(f.get("图片框3")->isVisibleTo(f.window.get()));
        QCOMPARE(f.unitCaptions(), QStringList({"B", "KB", "MB", "GB", "TB"}));
    }

    void optionChangesNeverMoveAGroupOrTheList() {
        Fixture f;
        const char* const blocks[] = {"分组框内容", "分组框长度", "分组框长度1", "分组框重复", "超级列表框"};
        auto places = [&] {
            QCoreApplication::processEvents();
            QList<QRect> out;
            for (const char* name : blocks) {
                QWidget* block = f.get(name);
                out << QRect(block->mapTo(f.window.get(), QPoint(0, 0)), block->size());
            }
            return out;
        };
        const QList<QRect> before = places();
        for (const char* name :
             {"选择框按内容筛选", "选择框按长度筛选", "单选框内容字数", "选择框清除空行空格",
              "单选框文件名长度", "单选框文件大小", "选择框按时间筛选", "单选框时分秒", "选择框按重复筛选",
              "单选框文件名", "选择框相似度", "选择框判内容", "单选框内容字数", "选择框按长度筛选"}) {
            f.click(name);
            QVERIFY2(places() == before, name);
        }
    }

    void aMeasureSetWhileTheLengthFilterIsOffStillChangesTheCaptions() {
        Fixture f;
        QVERIFY(!f.enabled("单选框内容字数"));
        // As a restored setting would: the radio is disabled, so a click cannot reach it.
        f.get<QRadioButton>("单选框内容字数")->setChecked(true);
        QCOMPARE(f.unitCaptions(), u8("个,十,百,千,万").split(','));
        QVERIFY(!f.enabled("选择框清除网页标签"));
        QVERIFY(!f.enabled("选择框清除空行空格"));
    }

    // ---- Live options ----

    void theOptionsAreReadFromTheControls() {
        Fixture f;
        const ScanOptions& o = f.options();
        QVERIFY(!o.contentFilter() && !o.lengthFilter() && !o.timeFilter() && !o.duplicateFilter());
        QCOMPARE(o.scope(), TraversalScope::AllSubfolders);
        QVERIFY(!o.contentExcludes() && o.contentInName() && !o.contentInText());
        QCOMPARE(o.matchMode(), MatchMode::Plain);
        QCOMPARE(o.lengthMeasure(), LengthMeasure::Size);
        QCOMPARE(o.lengthUnit(), 1);
        QCOMPARE(o.lengthFromText(), std::string("5"));
        QCOMPARE(o.lengthToText(), std::string("10"));
        QCOMPARE(o.timeKind(), TimeKind::Modified);
        QCOMPARE(o.timePart(), DateTimeMode::Both);
        QCOMPARE(o.timeFromText(), std::string("2012-12-21 12:12:12"));
        QCOMPARE(o.timeToText(), std::string("2014-03-31 23:55:00"));
        QCOMPARE(o.duplicateKind(), DuplicateKind::Size);
        QCOMPARE(o.duplicateOutput(), DuplicateOutput::AllButOne);
        QCOMPARE(o.similarityText(), std::string("90"));

        f.click("选择框按内容筛选");
        f.click("单选框不含内容");
        f.click("选择框文件名");
        f.click("选择框文件内容");
        f.get<QComboBox>("组合框匹配模式")->setCurrentIndex(2);
        QTest::keyClicks(f.get("编辑框筛选内容"), "alpha");
        QTest::keyClick(f.get("编辑框筛选内容"), Qt::Key_Return);
        QTest::keyClicks(f.get("编辑框筛选内容"), "beta|gamma");
        QVERIFY(o.contentFilter() && o.contentExcludes() && !o.contentInName() && o.contentInText());
        QCOMPARE(o.matchMode(), MatchMode::Regex);
        QCOMPARE(o.contentText(), std::string("alpha\r\nbeta|gamma"));

        f.click("选择框按长度筛选");
        f.click("单选框内容字数");
        f.click("选择框清除网页标签");
        f.click("选择框清除空行空格");
        f.click("单选框TB");
        f.get<QLineEdit>("编辑框长度起始")->setText("1.5");
        f.get<QLineEdit>("编辑框长度终止")->setText("abc");
        QVERIFY(o.lengthFilter() && o.stripTags() && o.stripBlanks());
        QCOMPARE(o.lengthMeasure(), LengthMeasure::Characters);
        QCOMPARE(o.lengthUnit(), 4);
        QCOMPARE(o.lengthFromText(), std::string("1.5"));
        QCOMPARE(o.lengthToText(), std::string("abc"));
        f.click("单选框文件名长度");
        QCOMPARE(o.lengthMeasure(), LengthMeasure::NameLength);

        f.click("选择框按时间筛选");
        f.click("单选框访问");
        f.click("单选框时分秒");
        QVERIFY(o.timeFilter());
        QCOMPARE(o.timeKind(), TimeKind::Accessed);
        QCOMPARE(o.timePart(), DateTimeMode::TimeOnly);
        f.click("单选框创建");
        f.click("单选框年月日");
        QCOMPARE(o.timeKind(), TimeKind::Created);
        QCOMPARE(o.timePart(), DateTimeMode::DateOnly);

        f.click("选择框按重复筛选");
        f.click("单选框文件名");
        f.click("选择框相似度");
        f.click("选择框判内容");
        f.click("单选框一重复文件");
        f.get<QLineEdit>("编辑框相似比例")->setText("75");
        QVERIFY(o.duplicateFilter() && o.similarity() && o.judgeContent());
        QCOMPARE(o.duplicateKind(), DuplicateKind::Name);
        QCOMPARE(o.duplicateOutput(), DuplicateOutput::One);
        QCOMPARE(o.similarityText(), std::string("75"));
        f.click("单选框MD5");
        f.click("单选框全部重复文件");
        QCOMPARE(o.duplicateKind(), DuplicateKind::Md5);
        QCOMPARE(o.duplicateOutput(), DuplicateOutput::All);

        f.click("单选框遍历层次");
        f.get<QLineEdit>("编辑框层次")->setText("3");
        QCOMPARE(o.scope(), TraversalScope::Levels);
        QCOMPARE(o.levelsText(), std::string("3"));
        f.click("单选框仅该目录");
        QCOMPARE(o.scope(), TraversalScope::ThisFolder);
    }

    void theTimeBoxesAreEditedPartByPart() {
        Fixture f;
        f.click("选择框按时间筛选");
        auto* box = f.get<DateTimeBox>("编辑框时间终止");
        QCOMPARE(f.window->timeToEditor().box(), box);
        QCOMPARE(f.window->timeFromEditor().box(), f.get<DateTimeBox>("编辑框时间起始"));
        box->setFocus();
        box->edit()->setCursorPosition(6);
        QTest::keyClick(box, Qt::Key_Right); // month -> day
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), u8("2014-03-01 23:55:00"));
        QCOMPARE(f.options().timeToText(), std::string("2014-03-01 23:55:00"));
    }

    void aDateTimeTypedAsItReadsIsThatDateTime() {
        Fixture f;
        f.click("选择框按时间筛选");
        auto* box = f.get<DateTimeBox>("编辑框时间起始");
        QLineEdit* edit = box->edit();
        const int y = edit->height() / 2;
        int x = 0;
        while (x < edit->width() && edit->cursorPositionAt(QPoint(x, y)) != 1)
            ++x;
        QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(x, y)); // into the year
        QTest::keyClicks(box, "2026-01-01 00:00:00");
        QCOMPARE(box->text(), u8("2026-01-01 00:00:00"));
    }

    // ---- Runs ----

    void runFillsTheListAndReportsTheCount() {
        test::TempTree tree;
        tree.file("a.txt", "hello");
        tree.file("b.log", "");
        tree.file("sub/c.txt", std::string(2048, 'x'));
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        f.get<QLineEdit>("编辑框过滤")->setText("*.txt");
        f.click("按钮开始筛选");

        QCOMPARE(f.questioner.folderPrompts.size(), size_t(1));
        QCOMPARE(f.questioner.folderPrompts[0],
                 std::string("选择一个目录，确定后将根据设置，扫描该目录中符合条件的文件，输出到右侧列表："));
        QCOMPARE(f.names(), QStringList({"a.txt", "c.txt"}));
        QCOMPARE(f.cell(0, 1), QString("5 B"));
        QCOMPARE(f.cell(1, 1), QString("2 KB"));
        QCOMPARE(f.cell(1, 4), QString::fromStdString(tree.root() + "/sub/"));
        QCOMPARE(f.window->statusText(),
                 u8("筛选完毕！共筛选出 2 个文件，耗时 0 毫秒。请单击按钮操作列表！"));
        QCOMPARE(f.get<QPushButton>("按钮开始筛选")->text(), u8("  选择目录开始筛选"));
        QVERIFY(f.window->busy().idle);

        // The next chooser opens on the folder of the last run; cancelling changes nothing.
        f.questioner.folderAnswer.clear();
        f.click("按钮开始筛选");
        QCOMPARE(f.questioner.lastInitialFolder, tree.root());
        QCOMPARE(f.rows(), 2);
    }

    void theTraversalControlsShapeARun() {
        test::TempTree tree;
        tree.file("top.txt");
        tree.file("a/mid.txt");
        tree.file("a/b/deep.txt");
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        f.click("单选框仅该目录");
        f.click("按钮开始筛选");
        QCOMPARE(f.names(), QStringList({"top.txt"}));
        f.click("单选框遍历层次");
        f.get<QLineEdit>("编辑框层次")->setText("2");
        f.click("按钮开始筛选");
        QCOMPARE(f.names(), QStringList({"top.txt", "mid.txt"}));
        f.click("单选框遍历子目录");
        f.click("按钮开始筛选");
        QCOMPARE(f.names(), QStringList({"top.txt", "mid.txt", "deep.txt"}));
        // With the time filter on, the time column follows the date/time radios (the time lies
        // inside the boxes' default range).
        tree.setTimes("top.txt", 1380000000, 1380000000);
        f.click("选择框按时间筛选");
        f.click("单选框年月日");
        f.click("单选框仅该目录");
        f.click("按钮开始筛选");
        QCOMPARE(f.cell(0, 2).size(), 10); // "yyyy-MM-dd"
    }

    void aRunTakesTheFilterTextFromTheBoxWithCrLfBreaks() {
        test::TempTree tree;
        tree.file("alpha.txt", std::string(60, 'x'));
        tree.file("other.txt", std::string(60, 'x'));
        tree.file("beta-short.txt", "x");
        for (const char* name : {"alpha.txt", "other.txt", "beta-short.txt"})
            tree.setTimes(name, 1380000000, 1380000000); // inside the default time range
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        f.click("选择框按内容筛选");
        f.click("选择框按长度筛选");
        f.click("单选框内容字数");
        f.click("选择框按时间筛选");
        f.get<QPlainTextEdit>("编辑框筛选内容")->setPlainText("alpha\nbeta|");
        f.click("按钮开始筛选");
        QCOMPARE(f.window->filterPipeline().contentText(), std::string("alpha\r\nbeta|"));
        QCOMPARE(f.window->filterPipeline().contentTerms(), (std::vector<std::string>{"alpha", "beta", ""}));
        // Name holds a term; 60 characters lie within 5..10 tens; the time is inside the range.
        QCOMPARE(f.names(), QStringList({"alpha.txt"}));
        QCOMPARE(f.cell(0, 3), QString("60"));
        // The options stay as they were set, and the enabling after the run matches them.
        QVERIFY(f.enabled("选择框清除网页标签") && f.enabled("选择框清除空行空格"));
        QVERIFY(f.enabled("编辑框时间起始") && f.enabled("按钮粘贴"));
        // Other match modes keep the text whole.
        f.get<QComboBox>("组合框匹配模式")->setCurrentIndex(1);
        f.click("按钮开始筛选");
        QVERIFY(f.window->filterPipeline().contentTerms().empty());
    }

    void aChangeDuringARunAppliesToTheFollowingFolders() {
        test::TempTree tree;
        tree.file("a.txt");
        tree.file("b.log");
        for (int i = 0; i < 5; ++i) {
            tree.file("d" + std::to_string(i) + "/x.txt");
            tree.file("d" + std::to_string(i) + "/y.log");
        }
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        bool changed = false;
        QTimer::singleShot(0, f.window.get(), [&] {
            // The top folder's files were listed before this change; its sub-folders come after.
            f.get<QLineEdit>("编辑框过滤")->setText("*.log");
            changed = true;
        });
        f.window->setPumpIntervalMs(0);
        f.click("按钮开始筛选");
        QVERIFY(changed);
        QCOMPARE(f.names(), QStringList({"a.txt", "b.log", "y.log", "y.log", "y.log", "y.log", "y.log"}));
    }

    void aClickDuringARunStopsIt() {
        test::TempTree tree;
        for (int i = 0; i < 300; ++i)
            tree.file("d" + std::to_string(i % 30) + "/f" + std::to_string(i) + ".txt", "x");
        Fixture f;
        f.questioner.folderAnswer = tree.root();
        auto* start = f.get<QPushButton>("按钮开始筛选");
        QTimer::singleShot(0, f.window.get(), [&] {
            QCOMPARE(start->text(), u8("  立即停止筛选！"));
            start->click();
            QCOMPARE(start->text(), u8("  正在停止筛选.."));
        });
        f.window->setPumpIntervalMs(0);
        start->click();
        const int listed = f.rows();
        QVERIFY2(listed < 300, qPrintable(QString::number(listed)));
        QCOMPARE(f.window->statusText(),
                 u8("筛选完毕！共筛选出 %1 个文件，耗时 0 毫秒。请单击按钮操作列表！").arg(listed));
        QCOMPARE(start->text(), u8("  选择目录开始筛选"));
        QVERIFY(f.window->busy().idle);
    }

    void anotherOperationRefusesTheRun() {
        Fixture f;
        f.window->busy().idle = false; // a batch operation is running
        f.click("按钮开始筛选");
        QCOMPARE(f.questioner.messages, std::vector<std::string>{"在开始新操作之前请先停止正在执行的操作！"});
        QVERIFY(f.questioner.folderPrompts.empty());
    }

    // ---- Drag-and-drop ----

    void droppedFilesReplaceTheListWithoutCtrl() {
        test::TempTree tree;
        const std::string one = tree.file("one.txt", "12345");
        const std::string two = tree.file("two.txt");
        const std::string three = tree.file("three.txt");
        const std::string four = tree.file("four.txt");
        const std::string folder = tree.folder("folder");
        Fixture f;
        f.drop({one});
        QVERIFY(f.lastDropAccepted);
        QCOMPARE(f.names(), QStringList({"one.txt"}));
        QCOMPARE(f.cell(0, 1), QString("5 B"));
        QCOMPARE(f.cell(0, 3), QString("0"));
        QCOMPARE(f.cell(0, 2).size(), 19); // the last-write time
        QCOMPARE(f.cell(0, 4), QString::fromStdString(tree.root() + "/"));

        f.keyboard.ctrl = true;
        f.drop({two, three, four});
        QCOMPARE(f.names(), QStringList({"one.txt", "two.txt", "three.txt", "four.txt"}));
        f.drop({folder, one}); // folders are skipped
        QCOMPARE(f.rows(), 5);
        f.keyboard.ctrl = false;
        f.drop({three, two});
        QCOMPARE(f.names(), QStringList({"three.txt", "two.txt"}));
        // Only folders: the list empties and nothing is added.
        f.drop({folder});
        QCOMPARE(f.rows(), 0);
    }

    void dropsWaitUntilALongOperationHasEnded() {
        test::TempTree tree;
        const std::string one = tree.file("one.txt");
        Fixture f;
        f.drop({one});
        f.window->busy().idle = false;
        f.drop({tree.file("two.txt")});
        QVERIFY(!f.lastDropAccepted);
        QCOMPARE(f.names(), QStringList({"one.txt"}));
    }

    // ---- Buttons and links ----

    void pasteReplacesTheFilterText() {
        Fixture f;
        f.click("选择框按内容筛选");
        f.get<QPlainTextEdit>("编辑框筛选内容")->setPlainText("old");
        f.clipboard.content = "new|text";
        f.click("按钮粘贴");
        QCOMPARE(f.get<QPlainTextEdit>("编辑框筛选内容")->toPlainText(), QString("new|text"));
        f.clipboard.content.clear();
        f.click("按钮粘贴");
        QCOMPARE(f.get<QPlainTextEdit>("编辑框筛选内容")->toPlainText(), QString());
    }

    void selectAllSelectsEveryRowAndFocusesTheList() {
        test::TempTree tree;
        Fixture f;
        f.drop({tree.file("a"), tree.file("b"), tree.file("c")});
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        f.click("按钮全选");
        auto* list = f.get<QAbstractItemView>("超级列表框");
        QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
        QVERIFY(list->hasFocus());
    }

    void aBrandedBannerImageIsShown() {
        QPixmap image(30, 20);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        Fixture f;
        f.state.brandTexts.brandWord = "Zed";
        f.state.brandTexts.bannerImage = bytes.toStdString();
        f.make();
        auto* picture = f.get<QLabel>("图片Karv软件");
        QVERIFY(picture->isVisible());
        QCOMPARE(picture->pixmap().size(), QSize(30, 20));
        QVERIFY(f.window->findChild<QTimer*>(u8("时钟官网"))->isActive());
    }

    void linksOpenTheirTargetsInTheBrowser() {
        Fixture f;
        QTest::mouseClick(f.get("链接软件主页"), Qt::LeftButton);
        QTest::mouseClick(f.get("图片软件主页"), Qt::LeftButton);
        QTest::mouseClick(f.get("链接联系"), Qt::LeftButton);
        QTest::mouseClick(f.get("图片联系"), Qt::LeftButton);
        QTest::mouseClick(f.get("图片Karv软件"), Qt::LeftButton);
        const std::string home(kDefaultHomeUrl);
        const std::string contact(kDefaultContactUrl);
        QCOMPARE(f.opener.opened, (std::vector<std::string>{home, home, contact, contact, home}));
        QCOMPARE(f.get<QLabel>("链接联系")->text(),
                 u8("联系：") + QString::fromUtf8(kDefaultContactId.data()));
        // Without a browser the click says so instead of doing nothing.
        f.opener.works = false;
        QTest::mouseClick(f.get("链接软件主页"), Qt::LeftButton);
        QCOMPARE(f.questioner.messages.size(), 1u);
        QVERIFY(QString::fromStdString(f.questioner.messages[0]).contains(QString::fromStdString(home)));
    }

    void brandingReplacesTitleLinksAndPicture() {
        Fixture f;
        f.state.brandTexts = parseBrandPayload("Zed[#Karv#]zed-42[#Karv#]zed.example[#Karv#][#Karv#]"
                                               "https://zed.example/b[#Karv#][#Karv#]");
        f.state.programName = brandedName(f.state.programName, f.state.brandTexts);
        f.make();
        QCOMPARE(f.window->windowTitle(), u8("Zed·Tessil v1.6.0.0"));
        QCOMPARE(f.get<QLabel>("链接联系")->text(), u8("联系：zed-42"));
        QVERIFY(!f.get("图片Karv软件")->isVisibleTo(f.window.get())); // no banner image
        QTest::mouseClick(f.get("链接软件主页"), Qt::LeftButton);
        QTest::mouseClick(f.get("链接联系"), Qt::LeftButton);
        QCOMPARE(f.opener.opened,
                 (std::vector<std::string>{"http://zed.example", "https://karv.example/contact?id=zed-42"}));
        const QString help = helpText(f.state.brandTexts);
        QVERIFY(help.contains(u8("Zed软件出品")));
        QVERIFY(help.contains("zed.example") && help.contains("zed-42"));
        QVERIFY(!help.contains("Karv") && !help.contains("karvsoft"));
    }

    void theHelpTextHasFourSections() {
        const QString help = helpText(BrandTexts{});
        const QString rule = QString(38, '-');
        QCOMPARE(help.count(rule), 3);
        QVERIFY(!help.contains(QString(39, '-')));
        QVERIFY(
            help.startsWith(u8("Karv软件出品的一款可以从大量文件中多条件筛选出指定文件的软件。\r\n\r\n")));
        QVERIFY(help.contains(u8("鼠标双击文件可以打开，右击可定位")));
        for (const char* mark :
             {"【一】", "【全部】", "【全部减一】", "【默认】", "【通配】", "【正则】", "1.2.0.0"})
            QVERIFY2(help.contains(u8(mark)), mark);
        QVERIFY(!help.contains(QRegularExpression("[^\r]\n")));
    }

    void theHelpLinkShowsTheInformationWindow() {
        Fixture f;
        QString title, shown;
        bool readOnly = false;
        QTimer::singleShot(0, f.window.get(), [&] {
            TextWindow* window = TextWindow::current();
            QVERIFY(window != nullptr);
            title = window->windowTitle();
            shown = window->text();
            readOnly = window->findChild<QPlainTextEdit*>(u8("编辑框正文"))->isReadOnly();
            window->findChild<QPushButton*>(u8("按钮取消"))->click();
        });
        QTest::mouseClick(f.get("链接疑点说明"), Qt::LeftButton);
        QCOMPARE(title, u8("疑点说明"));
        QCOMPARE(shown, helpText(f.state.brandTexts));
        QVERIFY(readOnly);
        QVERIFY(TextWindow::current() == nullptr);
        QVERIFY(f.opener.opened.empty());
    }

    // ---- Banner and layout ----

    void theBannerPictureBouncesAndStopsOnHover() {
        Fixture f;
        f.window->resize(1280, 720);
        QCoreApplication::processEvents();
        auto* picture = f.get<QLabel>("图片Karv软件");
        auto* timer = f.window->findChild<QTimer*>(u8("时钟官网"));
        timer->stop(); // the test steps it
        const int homeRight = f.get("图片软件主页")->geometry().right() + 1;
        const int classifyLeft = f.get("按钮归类")->x();
        const int start = picture->x();
        f.window->bannerStep();
        QCOMPARE(picture->x(), start + 1);
        int rightmost = start, leftmost = start + 1;
        for (int step = 0; step < 4000; ++step) {
            f.window->bannerStep();
            rightmost = std::max(rightmost, picture->geometry().right() + 1);
            leftmost = std::min(leftmost, picture->x());
        }
        QVERIFY(rightmost > classifyLeft - 20 && rightmost <= classifyLeft - 19);
        QVERIFY(leftmost - homeRight < 20 && leftmost - homeRight >= 19);

        timer->start();
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(picture, &enter);
        QVERIFY(!timer->isActive());
        QCOMPARE(f.get("标签横幅")->width(), f.get("图片框横幅")->width() + 1);
        QCOMPARE(f.get("图片框横幅")->width(), f.window->width());
    }

    void noTwoVisibleControlsOverlapAtAnySize() {
        Fixture f;
        for (const char* name :
             {"选择框按内容筛选", "选择框按长度筛选", "选择框按时间筛选", "选择框按重复筛选"})
            f.click(name);
        f.window->findChild<QTimer*>(u8("时钟官网"))->stop();
        // The banner's background lies under everything by design.
        const QStringList background{u8("标签横幅")};
        for (const QSize size : {f.window->minimumSize(), QSize(1240, 740)}) {
            f.window->resize(size);
            QCOMPARE(f.window->size(), size);
            QVERIFY2(test::overlappingControls(f.window.get(), background).isEmpty(),
                     qPrintable(test::overlappingControls(f.window.get(), background).join(", ")));
            const QList<QWidget*> controls = test::visibleControls(f.window.get(), background);
            for (QWidget* control : controls) {
                const QByteArray what =
                    (control->objectName() + " at " + QString::number(size.width())).toUtf8();
                // Every caption whole: no control narrower than its caption needs.
                if (auto* push = qobject_cast<QPushButton*>(control))
                    QVERIFY2(push->width() >= push->fontMetrics().horizontalAdvance(push->text()) + 8,
                             what.constData());
                else if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QLabel*>(control))
                    QVERIFY2(control->width() >= control->minimumSizeHint().width(), what.constData());
            }
            QVERIFY(controls.size() > 80);
        }
        // Sizes below the minimum, as a tiling window manager or a display without one gives them.
        for (const QSize size : {QSize(800, 600), QSize(1024, 600), QSize(1000, 500), QSize(400, 300)}) {
            test::forceSize(f.window.get(), size);
            QCOMPARE(f.window->size(), size);
            QVERIFY2(test::overlappingControls(f.window.get(), background).isEmpty(),
                     qPrintable(test::overlappingControls(f.window.get(), background).join(", ")));
            QVERIFY2(test::crushedControls(f.window.get(), background).isEmpty(),
                     qPrintable(test::crushedControls(f.window.get(), background).join(", ")));
        }
        // Back at the usual size every control shows whole again.
        f.window->resize(1240, 740);
        test::settle();
        for (QWidget* control : test::visibleControls(f.window.get(), background))
            QVERIFY2(test::shownRect(control).size() == control->size(), qPrintable(control->objectName()));
    }

    void filesDroppedOnABoxAreTheWindowsDropNeverItsText() {
        test::TempTree tree;
        const std::string file = tree.file("one.txt");
        Fixture f;
        f.click("选择框按内容筛选");
        f.click("选择框按时间筛选");
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        mime->setText(QUrl::fromLocalFile(QString::fromStdString(file)).toString());
        for (const char* name : {"编辑框筛选内容", "编辑框过滤", "编辑框时间终止", "编辑框层次"}) {
            QWidget* inner = f.get(name);
            if (auto* area = qobject_cast<QAbstractScrollArea*>(inner))
                inner = area->viewport();
            // Where the desktop delivers it: the innermost widget there that takes drops.
            QWidget* target = inner;
            while (!target->acceptDrops() && !target->isWindow())
                target = target->parentWidget();
            auto textOf = [&] {
                if (auto* edit = qobject_cast<QPlainTextEdit*>(f.get(name)))
                    return edit->toPlainText();
                if (auto* box = qobject_cast<DateTimeBox*>(f.get(name)))
                    return box->text();
                return f.get<QLineEdit>(name)->text();
            };
            const QString before = textOf();
            f.window->resultModel().clear();
            const QPoint at = target->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &enter);
            QVERIFY2(enter.isAccepted(), name);
            QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &drop);
            QCOMPARE(textOf(), before);
            QCOMPARE(f.names(), QStringList({"one.txt"}));
        }
        delete mime;
    }

    void theListKeepsItsRulesWhenResized() {
        Fixture f;
        auto* list = f.get<QAbstractItemView>("超级列表框");
        auto* strip = f.get("图片框列表操作");
        auto* duplicates = f.get("分组框重复");
        auto* status = f.get("状态条");
        for (const QSize size : {QSize(1280, 720), QSize(1600, 1000), QSize(1240, 740)}) {
            f.window->resize(size);
            QCoreApplication::processEvents();
            const QWidget* central = f.window->centralWidget();
            const QRect listRect(list->mapTo(central, QPoint(0, 0)), list->size());
            const QRect stripRect(strip->mapTo(central, QPoint(0, 0)), strip->size());
            const QRect dupRect(duplicates->mapTo(central, QPoint(0, 0)), duplicates->size());
            QCOMPARE(central->width() - (listRect.right() + 1), 10);
            QCOMPARE(stripRect.top() - (listRect.bottom() + 1), 10);
            QCOMPARE(stripRect.left(), listRect.left());
            QCOMPARE(central->height() - (stripRect.bottom() + 1), 10);
            QCOMPARE(central->height() - (dupRect.bottom() + 1), 10);
            QCOMPARE(central->geometry().bottom() + 1, status->y());
            for (QAbstractButton* action : strip->findChildren<QAbstractButton*>())
                QVERIFY2(action->width() >= action->fontMetrics().horizontalAdvance(action->text()) + 12,
                         qPrintable(action->text()));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
