#include "gui/MainListActions.h"
#include "gui/MainWindow.h"
#include "gui/ResultListMenu.h"
#include "gui/ResultListModel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"
#include "support/TempTree.h"

#include <memory>

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace karv;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

/// A main window over a settings file, with fake desktop services.
struct Fixture {
    AppState state;
    test::FakeQuestioner questioner;
    test::FakeClock clock;
    test::FakeShell shell;
    SettingsStore store;
    std::unique_ptr<MainWindow> window;

    explicit Fixture(const std::string& settingsPath) {
        store.openStore(settingsPath);
        window = std::make_unique<MainWindow>(state, questioner, clock, nullptr, &store);
        window->setShell(shell);
        window->setPumpIntervalMs(0);
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
    QAbstractItemView* list() const { return get<QAbstractItemView>("超级列表框"); }
    void scan(const std::string& folder) {
        questioner.folderAnswer = folder;
        get<QPushButton>("按钮开始筛选")->click();
    }
    QStringList paths() const {
        QStringList out;
        for (std::size_t row = 0; row < window->resultModel().count(); ++row)
            out << QString::fromStdString(window->resultModel().rowPath(row));
        return out;
    }
    QList<int> selectedRows() const {
        QList<int> out;
        for (const QModelIndex& index : list()->selectionModel()->selectedRows())
            out << index.row();
        std::sort(out.begin(), out.end());
        return out;
    }
    void trigger(const char* item) const {
        auto* menu = get<QMenu>("菜单结果列表");
        for (QAction* action : menu->actions())
            if (action->objectName() == u8(item))
                return action->trigger();
        qFatal("missing menu item %s", item);
    }
};

} // namespace

class KeepRuleTest : public QObject {
    Q_OBJECT
private slots:
    void theDropDownDecidesWhichCopyStaysAndIsSaved() {
        test::TempTree tree;
        const QString a = QString::fromStdString(tree.file("a/p.jpg", "same"));
        const QString b = QString::fromStdString(tree.file("b/p.jpg", "same"));
        const QString c = QString::fromStdString(tree.file("c/p.jpg", "same"));
        tree.setTimes("a/p.jpg", 300, 300);
        tree.setTimes("b/p.jpg", 100, 100);
        tree.setTimes("c/p.jpg", 200, 200);
        test::TempTree home; // the settings stay out of the scanned tree
        const std::string settings = home.path("Karv·Tessil.ini");
        {
            Fixture f(settings);
            auto* keep = f.get<QComboBox>("组合框保留规则");
            QCOMPARE(keep->accessibleName(), u8("保留"));
            QCOMPARE(keep->currentText(), u8("最后找到"));
            QVERIFY(!keep->isEnabled());
            f.get<QCheckBox>("选择框按重复筛选")->setChecked(true);
            f.get<QRadioButton>("单选框MD5")->setChecked(true);
            QVERIFY(keep->isEnabled());
            QVERIFY(!f.get<QLineEdit>("编辑框参考目录")->isEnabled());

            keep->setCurrentText(u8("最旧"));
            f.scan(tree.root());
            QCOMPARE(f.paths(), QStringList({a, c}));
            // 参考目录: the folders are asked for; each one chosen is added.
            keep->setCurrentText(u8("参考目录"));
            QVERIFY(f.get<QLineEdit>("编辑框参考目录")->isEnabled());
            f.questioner.folderAnswer = tree.path("a");
            f.get<QPushButton>("按钮参考目录")->click();
            f.questioner.folderAnswer = tree.path("c");
            f.get<QPushButton>("按钮参考目录")->click();
            QCOMPARE(f.get<QLineEdit>("编辑框参考目录")->text(),
                     QString::fromStdString(tree.path("a") + "|" + tree.path("c")));
            f.scan(tree.root());
            QCOMPARE(f.paths(), QStringList({b}));
            f.window->close();
        }
        Fixture again(settings);
        QCOMPARE(again.get<QComboBox>("组合框保留规则")->currentText(), u8("参考目录"));
        QCOMPARE(again.get<QLineEdit>("编辑框参考目录")->text(),
                 QString::fromStdString(tree.path("a") + "|" + tree.path("c")));
    }

    void groupsAreShadedTheKeptCopyIsBoldAndTheMenuSelects() {
        test::TempTree tree;
        const std::string one = tree.file("x/1.txt", "one"), oneCopy = tree.file("y/1.txt", "one");
        const std::string two = tree.file("x/2.txt", "two!"), twoCopy = tree.file("y/2.txt", "two!");
        test::TempTree home;
        Fixture f(home.path("Karv·Tessil.ini"));
        f.get<QCheckBox>("选择框按重复筛选")->setChecked(true);
        f.get<QRadioButton>("单选框MD5")->setChecked(true);
        f.get<QRadioButton>("单选框全部重复文件")->setChecked(true);
        f.scan(tree.root());
        QCOMPARE(f.paths(), QStringList({QString::fromStdString(one), QString::fromStdString(oneCopy),
                                         QString::fromStdString(two), QString::fromStdString(twoCopy)}));
        ResultListModel& model = f.window->resultModel();
        QCOMPARE(model.rowGroup(0), 1u);
        QCOMPARE(model.rowGroup(3), 2u);
        // The two groups differ in shade; the copy met last in each is the kept one, in bold.
        QVERIFY(model.data(model.index(0, 0), Qt::BackgroundRole) !=
                model.data(model.index(2, 0), Qt::BackgroundRole));
        QCOMPARE(model.data(model.index(1, 2), Qt::BackgroundRole),
                 model.data(model.index(0, 2), Qt::BackgroundRole));
        QVERIFY(!model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
        QVERIFY(model.data(model.index(1, 0), Qt::FontRole).value<QFont>().bold());

        f.trigger("菜单选择除保留外");
        QCOMPARE(f.selectedRows(), QList<int>({0, 2}));
        f.trigger("菜单反向选择");
        QCOMPARE(f.selectedRows(), QList<int>({1, 3}));
        f.questioner.folderAnswer = tree.path("x");
        f.trigger("菜单选择目录下");
        QCOMPARE(f.selectedRows(), QList<int>({0, 2}));

        // Shift + right click opens the menu; its first item locates the file under the pointer.
        const QRect row = f.list()->visualRect(model.index(3, 0));
        QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QContextMenuEvent onRow(QContextMenuEvent::Mouse, row.center(),
                                f.list()->viewport()->mapToGlobal(row.center()), Qt::ShiftModifier);
        QCoreApplication::sendEvent(f.list()->viewport(), &onRow);
        auto* menu = f.get<QMenu>("菜单结果列表");
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(menu->defaultAction()->isEnabled());
        menu->defaultAction()->trigger();
        menu->hide();
        QCOMPARE(f.shell.requests.size(), size_t(1));
        QCOMPARE(f.shell.requests[0].path, twoCopy);
    }
};

QTEST_MAIN(KeepRuleTest)
#include "tst_keeprule.moc"
