#include "gui/MainWindow.h"

#include "app/CacheFolder.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"
#include "gui/ClassificationWindow.h"
#include "gui/ControlStateSync.h"
#include "gui/DateTimeBox.h"
#include "gui/DateTimeFieldEditor.h"
#include "gui/DigestCacheButton.h"
#include "gui/FitScrollArea.h"
#include "gui/KeepRuleControls.h"
#include "gui/ListKeys.h"
#include "gui/MainListActions.h"
#include "gui/MainListFiles.h"
#include "gui/ResultListMenu.h"
#include "gui/ResultListModel.h"
#include "gui/StatisticsWindow.h"
#include "gui/TextWindow.h"
#include "gui/WidgetBuilder.h"
#include "platform/QtDesktop.h"
#include "scan/FilterTexts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace karv {

using namespace ui;

/// Answers the engine's option questions from the live controls, so a change during a run applies
/// to the following files.
class MainWindow::LiveOptions : public ScanOptions {
public:
    explicit LiveOptions(const MainWindow& window) : w(window) {}

    TraversalScope scope() const override {
        if (w.m_thisFolder->isChecked())
            return TraversalScope::ThisFolder;
        if (w.m_levels->isChecked())
            return TraversalScope::Levels;
        return TraversalScope::AllSubfolders;
    }
    std::string levelsText() const override { return us(w.m_levelsEdit->text()); }
    std::string patternList() const override { return us(w.m_patternEdit->text()); }

    bool contentFilter() const override { return w.m_contentFilter->isChecked(); }
    bool contentExcludes() const override { return w.m_contentExcludes->isChecked(); }
    bool contentInName() const override { return w.m_contentInName->isChecked(); }
    bool contentInText() const override { return w.m_contentInText->isChecked(); }
    MatchMode matchMode() const override {
        switch (w.m_matchMode->currentIndex()) {
        case 1:
            return MatchMode::Wildcard;
        case 2:
            return MatchMode::Regex;
        default:
            return MatchMode::Plain;
        }
    }
    std::string contentText() const override { return us(withCrLf(w.m_contentText->toPlainText())); }

    bool lengthFilter() const override { return w.m_lengthFilter->isChecked(); }
    LengthMeasure lengthMeasure() const override {
        if (w.m_byCount->isChecked())
            return LengthMeasure::Characters;
        if (w.m_byNameLength->isChecked())
            return LengthMeasure::NameLength;
        return LengthMeasure::Size;
    }
    int lengthUnit() const override {
        const int unit = w.m_units->checkedId();
        return unit < 0 ? 0 : unit;
    }
    std::string lengthFromText() const override { return us(w.m_lengthFrom->text()); }
    std::string lengthToText() const override { return us(w.m_lengthTo->text()); }
    bool stripTags() const override { return w.m_stripTags->isChecked(); }
    bool stripBlanks() const override { return w.m_stripBlanks->isChecked(); }

    bool timeFilter() const override { return w.m_timeFilter->isChecked(); }
    TimeKind timeKind() const override {
        if (w.m_created->isChecked())
            return TimeKind::Created;
        if (w.m_accessed->isChecked())
            return TimeKind::Accessed;
        return TimeKind::Modified;
    }
    DateTimeMode timePart() const override {
        if (w.m_dateOnly->isChecked())
            return DateTimeMode::DateOnly;
        if (w.m_timeOnly->isChecked())
            return DateTimeMode::TimeOnly;
        return DateTimeMode::Both;
    }
    std::string timeFromText() const override { return us(w.m_timeFrom->text()); }
    std::string timeToText() const override { return us(w.m_timeTo->text()); }

    bool duplicateFilter() const override { return w.m_duplicateFilter->isChecked(); }
    DuplicateKind duplicateKind() const override {
        if (w.m_byMd5->isChecked())
            return DuplicateKind::Md5;
        if (w.m_byName->isChecked())
            return DuplicateKind::Name;
        return DuplicateKind::Size;
    }
    bool similarity() const override { return w.m_similarity->isChecked(); }
    std::string similarityText() const override { return us(w.m_similarityPercent->text()); }
    bool judgeContent() const override { return w.m_judgeContent->isChecked(); }
    DuplicateOutput duplicateOutput() const override {
        if (w.m_outputOne->isChecked())
            return DuplicateOutput::One;
        if (w.m_outputAll->isChecked())
            return DuplicateOutput::All;
        return DuplicateOutput::AllButOne;
    }
    KeepRule keepRule() const override { return w.m_keepRule->rule(); }
    std::vector<std::string> referenceFolders() const override { return w.m_keepRule->referenceFolders(); }

private:
    const MainWindow& w;
};

MainWindow::MainWindow(AppState& state, Questioner& questioner, Clock& clock, QWidget* parent,
                       SettingsStore* settings)
    : QMainWindow(parent), m_state(state), m_questioner(questioner), m_clock(clock), m_settings(settings),
      m_ownOpener(std::make_unique<QtOpener>()), m_ownClipboard(std::make_unique<QtClipboard>()),
      m_ownKeyboard(std::make_unique<QtKeyboard>()), m_opener(m_ownOpener.get()),
      m_clipboard(m_ownClipboard.get()), m_keyboard(m_ownKeyboard.get()),
      m_ownShell(std::make_unique<QtShell>()), m_shell(m_ownShell.get()) {
    setObjectName("主界面");
    setWindowTitle(qs(karv::windowTitle(state)));
    setWindowIcon(applicationIcon());
    m_model = new ResultListModel(this);
    m_options = std::make_unique<LiveOptions>(*this);
    m_runStatus = std::make_unique<FilterStatus>(
        m_clock, [this](const std::string& text) { setStatusText(text); }, [this] { scrollToLastRow(); });
    m_runContext =
        std::make_unique<RunContext>(RunContext{m_stop, *m_runStatus, [this] { pump(); }, m_clock});
    m_run = std::make_unique<FilterRun>(*m_model, *m_runContext);
    m_pipeline = std::make_unique<FilterPipeline>(*m_options);
    m_duplicates = std::make_unique<DuplicateFinder>(*m_options);
    m_duplicates->setDigestCacheFolder(cacheFolder());
    m_run->setFilterStage(m_pipeline.get());
    m_run->setDuplicateStage(m_duplicates.get());
    m_links = brandLinks(state.brandTexts);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildBanner());
    auto* body = new QHBoxLayout;
    body->setContentsMargins(10, 10, 10, 10);
    body->setSpacing(10);
    QWidget* optionsPanel = buildOptionsPanel();
    // Where the window is narrower than the options and the list need, the options scroll and the
    // list keeps its room; below even that, the whole window scrolls.
    auto* optionsArea = named(new FitScrollArea(optionsPanel, this, false), "选项滚动区");
    optionsArea->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    body->addWidget(optionsArea);
    body->addWidget(buildResultPanel(), 1);
    column->addLayout(body, 1);
    setCentralWidget(named(new FitScrollArea(central, this, true), "窗口滚动区"));

    auto* statusBar = named(new QStatusBar(this), "状态条");
    m_statusLabel = new QLabel(statusBar);
    // A long folder path in the status must not widen the window.
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_statusLabel->setMinimumWidth(1);
    statusBar->addWidget(m_statusLabel, 1);
    setStatusBar(statusBar);

    m_statusTimer = named(new QTimer(this), "时钟筛选提示");
    m_statusTimer->setInterval(1000);
    // A coarse timer may fire up to 5 % late: the elapsed time would then skip a second now and then.
    m_statusTimer->setTimerType(Qt::PreciseTimer);
    connect(m_statusTimer, &QTimer::timeout, this, [this] { m_runStatus->refresh(); });
    m_statusTimer->start();

    m_bannerTimer = named(new QTimer(this), "时钟官网");
    m_bannerTimer->setInterval(20);
    connect(m_bannerTimer, &QTimer::timeout, this, &MainWindow::bannerStep);
    m_bannerTimer->start();

    // Option changes recompute the dependent states. Toggles (rather than clicks) also catch states
    // set by code, such as restored settings.
    for (QAbstractButton* source : std::initializer_list<QAbstractButton*>{
             m_contentFilter, m_lengthFilter, m_timeFilter, m_duplicateFilter, m_similarity, m_byMd5,
             m_byLength, m_byName, m_bySize, m_byCount, m_byNameLength})
        connect(source, &QAbstractButton::toggled, this, &MainWindow::updateEnabling);

    fixOptionColumns(optionsPanel);

    // No fixed minimum: the layouts' own minimum is the size at which the banner, the list and its
    // buttons still have their room, whatever the font; the options scroll.
    resize(1240, 740);

    // Creation complete: the saved control states, enabling rules, the time boxes' editors, drops,
    // then the window accepts operations; branding and unit captions last.
    if (m_settings != nullptr)
        syncControls(*m_settings, this, true, QString::fromUtf8(kSettingsSection));
    updateEnabling();
    m_timeFromEditor = new DateTimeFieldEditor(m_clock, this);
    m_timeFromEditor->attach(m_timeFrom);
    m_timeToEditor = new DateTimeFieldEditor(m_clock, this);
    m_timeToEditor->attach(m_timeTo);
    setAcceptDrops(true);
    guardDropTargets();
    // The list's buttons, double-click and right-click; services are looked up at each action.
    m_listActions = new MainListActions(
        m_busy, {this, m_list, m_model, m_progressBar, m_progressText},
        [this] {
            return ActionServices{m_questioner, m_clock, *m_clipboard, *m_keyboard, *m_shell};
        },
        [this] { pump(); });
    new ListKeys(m_list, *m_listActions, findChild<QPushButton*>(QStringLiteral("按钮全选")));
    // Saving and loading the list, and undoing its last batch, on the list's menu; batches journal
    // in the data folder for that undo.
    m_listActions->setJournalFolder(m_state.dataFolder);
    new MainListFiles(m_busy, m_state.dataFolder, {this, m_list, m_model, m_progressBar, m_progressText},
                      m_listActions->listMenu().menu(), [this] {
                          return ActionServices{m_questioner, m_clock, *m_clipboard, *m_keyboard, *m_shell};
                      });
    applyBranding();
    updateUnitCaptions();
    layOutBanner();
    // The links and the buttons always have their room side by side.
    m_banner->setMinimumWidth(m_homeIcon->geometry().right() + 1 + 20 + m_banner->width() -
                              m_classifyButton->x());
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildBanner() {
    m_banner = named(new QWidget(this), "图片框横幅");
    m_banner->setFixedHeight(56);
    m_banner->installEventFilter(this);
    m_bannerLabel = label("标签横幅", "", m_banner);
    m_bannerLabel->setScaledContents(true);
    m_bannerLabel->lower();

    m_contactIcon = named(new QLabel(m_banner), "图片联系");
    m_contactIcon->setPixmap(linkIcon(LinkIcon::Contact));
    m_contactLink = label("链接联系", "", m_banner);
    m_helpIcon = named(new QLabel(m_banner), "图片疑点说明");
    m_helpIcon->setPixmap(linkIcon(LinkIcon::Help));
    m_helpLink = label("链接疑点说明", "疑点说明", m_banner);
    m_homeLink = label("链接软件主页", "软件主页", m_banner);
    m_homeIcon = named(new QLabel(m_banner), "图片软件主页");
    m_homeIcon->setPixmap(linkIcon(LinkIcon::Home));
    for (QLabel* link : {m_contactLink, m_helpLink, m_homeLink}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        link->setPalette(palette);
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
    }
    m_brandPicture = named(new QLabel(m_banner), "图片Karv软件");
    m_brandPicture->setPixmap(brandPicture(qs(kDefaultBrandWord)));
    m_brandPicture->setMouseTracking(true);
    m_brandPicture->installEventFilter(this);

    m_classifyButton = button("按钮归类", "文件归类..", m_banner);
    m_statsButton = button("按钮统计", "文件统计..", m_banner);
    connect(m_classifyButton, &QPushButton::clicked, this, [this] {
        // One classification window at a time; a click while it is open brings it forward.
        auto* window = findChild<ClassificationWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (window == nullptr || !window->isVisible())
            window = new ClassificationWindow(m_state, {m_questioner, *m_clipboard, *m_opener, m_clock},
                                              m_model, m_settings, this);
        window->show();
        window->raise();
        window->activateWindow();
    });
    connect(m_statsButton, &QPushButton::clicked, this, [this] {
        StatisticsWindow::open(this, {m_questioner, *m_opener, *m_clipboard}, m_settings);
    });

    makeClickable(m_contactIcon, [this] { openLink(m_links.contactUrl); });
    makeClickable(m_contactLink, [this] { openLink(m_links.contactUrl); });
    makeClickable(m_homeIcon, [this] { openLink(m_links.homeUrl); });
    makeClickable(m_homeLink, [this] { openLink(m_links.homeUrl); });
    makeClickable(m_helpIcon, [this] { showHelp(); });
    makeClickable(m_helpLink, [this] { showHelp(); });
    makeClickable(m_brandPicture, [this] { openLink(m_links.pictureUrl); });
    return m_banner;
}

QWidget* MainWindow::buildOptionsPanel() {
    auto* panel = named(new QWidget(this), "选项区");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(buildContentGroup(panel), 0, 0);
    grid->addWidget(buildTimeGroup(panel), 1, 0);
    grid->addWidget(buildTraversal(panel), 2, 0, 2, 1);
    grid->addWidget(buildLengthGroup(panel), 0, 1);
    // The duplicate group reaches down to the bottom margin, above the status bar.
    grid->addWidget(buildDuplicateGroup(panel), 1, 1, 3, 1);
    grid->setRowStretch(3, 1);
    return panel;
}

QGroupBox* MainWindow::buildContentGroup(QWidget* parent) {
    auto* group = named(new QGroupBox(parent), "分组框内容");
    auto* grid = groupGrid(group);
    m_contentFilter = check("选择框按内容筛选", "按内容筛选", group);
    m_contentIncludes = radio("单选框包含内容", "包含内容", group);
    m_contentExcludes = radio("单选框不含内容", "不含内容", group);
    m_contentInName = check("选择框文件名", "文件名", group);
    m_contentInName->setChecked(true);
    m_contentInText = check("选择框文件内容", "文件内容", group);
    m_matchMode = named(new QComboBox(group), "组合框匹配模式");
    m_matchMode->addItems({u8("默认"), u8("通配"), u8("正则")});
    m_matchMode->setCurrentIndex(0);
    m_contentText = named(new QPlainTextEdit(group), "编辑框筛选内容");
    // Multi-line text is kept whole, line breaks included, in a byte-value file of its own.
    m_contentText->setProperty("tag", QString::fromUtf8("字节集方式"));
    m_contentText->setPlaceholderText(u8("多组内容以|隔开，或一行一个"));
    m_contentText->setTabChangesFocus(true);
    m_contentText->setMinimumHeight(56);
    m_contentText->setMaximumHeight(110);
    m_pasteButton = button("按钮粘贴", "粘贴", group);
    connect(m_pasteButton, &QPushButton::clicked, this, &MainWindow::pasteFilterText);

    grid->addWidget(m_contentFilter, 0, 0, 1, 2);
    grid->addWidget(label("标签1", "筛选类型：", group), 1, 0);
    grid->addLayout(radioSet({m_contentIncludes, m_contentExcludes}, group), 1, 1);
    grid->addWidget(label("标签2", "筛选对象：", group), 2, 0);
    auto* targets = new QHBoxLayout;
    targets->addWidget(m_contentInName);
    targets->addWidget(m_contentInText);
    targets->addStretch(1);
    targets->addWidget(m_matchMode);
    grid->addLayout(targets, 2, 1);
    grid->addWidget(label("标签5", "筛选内容：", group), 3, 0);
    auto* pasteRow = new QHBoxLayout;
    pasteRow->addStretch(1);
    pasteRow->addWidget(m_pasteButton);
    grid->addLayout(pasteRow, 3, 1);
    grid->addWidget(m_contentText, 4, 0, 1, 2);
    grid->setRowStretch(4, 1);
    m_contentIncludes->setChecked(true);
    return group;
}

QGroupBox* MainWindow::buildLengthGroup(QWidget* parent) {
    auto* group = named(new QGroupBox(parent), "分组框长度");
    auto* grid = groupGrid(group);
    m_lengthFilter = check("选择框按长度筛选", "按长度筛选", group);
    m_bySize = radio("单选框文件大小", "大小", group);
    m_byCount = radio("单选框内容字数", "字数", group);
    m_byNameLength = radio("单选框文件名长度", "文件名长度", group);
    m_stripTags = check("选择框清除网页标签", "清除网页标签", group);
    m_stripBlanks = check("选择框清除空行空格", "清除空行空格", group);
    m_lengthFrom = lineEdit("编辑框长度起始", "5", group);
    m_lengthTo = lineEdit("编辑框长度终止", "10", group);
    for (QLineEdit* bound : {m_lengthFrom, m_lengthTo})
        bound->setMaximumWidth(90);
    m_unitRadios[0] = radio("单选框B", "B", group);
    m_unitRadios[1] = radio("单选框KB", "KB", group);
    m_unitRadios[2] = radio("单选框MB", "MB", group);
    m_unitRadios[3] = radio("单选框GB", "GB", group);
    m_unitRadios[4] = radio("单选框TB", "TB", group);
    m_unitRow = radioRow(
        "图片框3", {m_unitRadios[0], m_unitRadios[1], m_unitRadios[2], m_unitRadios[3], m_unitRadios[4]},
        group, &m_units);
    // Hiding the unit row must not make the group jump.
    QSizePolicy keep = m_unitRow->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_unitRow->setSizePolicy(keep);

    grid->addWidget(m_lengthFilter, 0, 0, 1, 2);
    grid->addWidget(label("标签3", "筛选对象：", group), 1, 0);
    grid->addLayout(radioSet({m_bySize, m_byCount, m_byNameLength}, group), 1, 1);
    grid->addWidget(label("标签4", "筛选预备：", group), 2, 0);
    auto* strips = new QHBoxLayout;
    strips->addWidget(m_stripTags);
    strips->addWidget(m_stripBlanks);
    strips->addStretch(1);
    grid->addLayout(strips, 2, 1);
    grid->addWidget(label("标签8", "长度范围：", group), 3, 0);
    auto* bounds = new QHBoxLayout;
    bounds->setSpacing(6);
    bounds->addWidget(m_lengthFrom);
    bounds->addWidget(label("标签10", "到", group));
    bounds->addWidget(m_lengthTo);
    bounds->addStretch(1);
    grid->addLayout(bounds, 3, 1);
    // The caption goes with its row, and like the row keeps its room while hidden.
    m_unitLabel = label("标签9", "长度单位：", group);
    m_unitLabel->setSizePolicy(keep);
    grid->addWidget(m_unitLabel, 4, 0);
    grid->addWidget(m_unitRow, 4, 1);
    grid->setRowStretch(5, 1);
    // Checked only now: before the radio sets had their groups, one would have unchecked another.
    m_bySize->setChecked(true);
    m_unitRadios[1]->setChecked(true);
    return group;
}

QGroupBox* MainWindow::buildTimeGroup(QWidget* parent) {
    auto* group = named(new QGroupBox(parent), "分组框长度1");
    auto* grid = groupGrid(group);
    m_timeFilter = check("选择框按时间筛选", "按时间筛选", group);
    m_created = radio("单选框创建", "创建", group);
    m_modified = radio("单选框修改", "修改", group);
    m_accessed = radio("单选框访问", "访问", group);
    m_dateOnly = radio("单选框年月日", "年月日", group);
    m_timeOnly = radio("单选框时分秒", "时分秒", group);
    m_both = radio("单选框两者", "两者", group);
    m_timeFrom = named(new DateTimeBox(u8("2012-12-21 12:12:12"), group), "编辑框时间起始");
    m_timeTo = named(new DateTimeBox(u8("2014-03-31 23:55:00"), group), "编辑框时间终止");
    for (DateTimeBox* box : {m_timeFrom, m_timeTo})
        box->setToolTip(
            u8("单击或用左右键、滚轮选择年、月、日、时、分、秒；上下键或右侧按钮增减；也可直接输入数字"));

    grid->addWidget(m_timeFilter, 0, 0, 1, 2);
    grid->addWidget(label("标签14", "时间类型：", group), 1, 0);
    grid->addLayout(radioSet({m_created, m_modified, m_accessed}, group), 1, 1);
    grid->addWidget(label("标签12", "筛选对象：", group), 2, 0);
    grid->addWidget(radioRow("图片框4", {m_dateOnly, m_timeOnly, m_both}, group), 2, 1);
    grid->addWidget(label("标签13", "时间范围：", group), 3, 0);
    auto* from = new QHBoxLayout;
    from->setSpacing(6);
    from->addWidget(label("标签15", "从", group));
    from->addWidget(m_timeFrom);
    from->addStretch(1);
    grid->addLayout(from, 3, 1);
    auto* to = new QHBoxLayout;
    to->setSpacing(6);
    to->addWidget(label("标签11", "到", group));
    to->addWidget(m_timeTo);
    to->addStretch(1);
    grid->addLayout(to, 4, 1);
    grid->setRowStretch(5, 1);
    m_modified->setChecked(true);
    m_both->setChecked(true);
    return group;
}

QGroupBox* MainWindow::buildDuplicateGroup(QWidget* parent) {
    auto* group = named(new QGroupBox(parent), "分组框重复");
    auto* grid = groupGrid(group);
    m_duplicateFilter = check("选择框按重复筛选", "按重复筛选", group);
    m_byMd5 = radio("单选框MD5", "MD5", group);
    m_byLength = radio("单选框长度", "长度", group);
    m_byName = radio("单选框文件名", "文件名", group);
    m_similarity = check("选择框相似度", "相似度大于", group);
    m_similarityPercent = lineEdit("编辑框相似比例", "90", group);
    m_similarityPercent->setMaximumWidth(50);
    m_judgeContent = check("选择框判内容", "判内容", group);
    m_outputOne = radio("单选框一重复文件", "一", group);
    m_outputAll = radio("单选框全部重复文件", "全部", group);
    m_outputAllButOne = radio("单选框全部减一重复文件", "全部减一", group);

    grid->addWidget(m_duplicateFilter, 0, 0, 1, 2);
    grid->addWidget(label("标签7", "筛选类型：", group), 1, 0);
    grid->addWidget(radioRow("图片框1", {m_byMd5, m_byLength, m_byName}, group), 1, 1);
    grid->addWidget(label("标签16", "辅助参数：", group), 2, 0);
    auto* similarity = new QHBoxLayout;
    similarity->addWidget(m_similarity);
    similarity->addWidget(m_similarityPercent);
    similarity->addWidget(label("标签17", "%", group));
    similarity->addStretch(1);
    grid->addLayout(similarity, 2, 1);
    auto* judgeRow = new QHBoxLayout;
    judgeRow->addWidget(m_judgeContent);
    judgeRow->addStretch(1);
    judgeRow->addWidget(digestCacheButton(
        group, cacheFolder(), [this] { return m_run->running(); },
        [this](const std::string& text) { setStatusText(text); }));
    grid->addLayout(judgeRow, 3, 1);
    grid->addWidget(label("标签6", "输出重复：", group), 4, 0);
    grid->addWidget(radioRow("图片框2", {m_outputOne, m_outputAll, m_outputAllButOne}, group), 4, 1);
    m_keepRule =
        new KeepRuleControls(group, grid, 5, [this](std::string_view prompt, const std::string& initial) {
            return m_questioner.chooseFolder(prompt, initial);
        });
    grid->setRowStretch(7, 1);
    m_byLength->setChecked(true);
    m_outputAllButOne->setChecked(true);
    return group;
}

QWidget* MainWindow::buildTraversal(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* row = new QHBoxLayout;
    m_thisFolder = radio("单选框仅该目录", "仅该目录", box);
    m_allSubfolders = radio("单选框遍历子目录", "遍历子目录", box);
    m_levels = radio("单选框遍历层次", "遍历层次", box);
    m_levelsEdit = lineEdit("编辑框层次", "2", box);
    m_levelsEdit->setMaximumWidth(40);
    auto* scopes = radioSet({m_thisFolder, m_allSubfolders, m_levels}, box);
    scopes->insertWidget(3, m_levelsEdit);
    row->addLayout(scopes);
    m_allSubfolders->setChecked(true);
    column->addLayout(row);

    m_patternEdit = lineEdit("编辑框过滤", "*.*", box);
    m_patternEdit->setToolTip(u8("文件名过滤，多个以|隔开，如 *.txt|*.log"));
    column->addWidget(m_patternEdit);

    m_startButton = button("按钮开始筛选", "  选择目录开始筛选", box);
    m_startButton->setMinimumHeight(40);
    QFont bold = m_startButton->font();
    bold.setBold(true);
    m_startButton->setFont(bold);
    connect(m_startButton, &QPushButton::clicked, this, &MainWindow::onStartClicked);
    column->addWidget(m_startButton);
    column->addStretch(1);
    return box;
}

QWidget* MainWindow::buildResultPanel() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    // A table view, not a tree view: a tree lays out every row again at each batch of appended
    // rows, which takes a tenth of a second once a million rows are listed; a table only extends
    // its row header.
    m_list = named(new QTableView(panel), "超级列表框");
    m_list->setModel(m_model);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setTabKeyNavigation(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAlternatingRowColors(true);
    m_list->setContextMenuPolicy(Qt::DefaultContextMenu);
    // The folder column takes what is left; the value columns get what their texts need.
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    const QFontMetrics metrics = m_list->fontMetrics();
    // One line per row, all of one height, as in a report list.
    m_list->verticalHeader()->setMinimumSectionSize(1);
    m_list->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const int padding = 16;
    m_list->setColumnWidth(ResultListModel::SizeColumn,
                           std::max(metrics.horizontalAdvance(QStringLiteral("1023.99 MB")),
                                    metrics.horizontalAdvance(u8("文件大小"))) +
                               padding);
    m_list->setColumnWidth(ResultListModel::TimeColumn,
                           metrics.horizontalAdvance(QStringLiteral("2014-03-31 23:55:00")) + padding);
    m_list->setColumnWidth(ResultListModel::CountColumn, metrics.horizontalAdvance(u8("内容字数")) + padding);
    m_list->viewport()->installEventFilter(this);
    // A width the user gave the name column by hand is his; until then it follows the list.
    connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section == ResultListModel::NameColumn && !m_sizingNameColumn)
            m_nameColumnByHand = true;
    });
    column->addWidget(m_list, 1);

    m_progressBar = named(new QProgressBar(panel), "进度条");
    m_progressBar->setTextVisible(false);
    m_progressBar->hide(); // shown by the batch operations
    m_progressBar->installEventFilter(this);
    m_progressText = label("进度提示", "", m_progressBar);
    column->addWidget(m_progressBar);

    auto* strip = named(new QWidget(panel), "图片框列表操作");
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const std::pair<const char*, const char*> actions[] = {
        {"按钮打开", "打开"},         {"按钮定位", "定位"},         {"按钮查看", "查看"},
        {"按钮复制路径", "复制路径"}, {"按钮复制名称", "复制名称"}, {"按钮导出", "导出"},
        {"按钮复制", "复制"},         {"按钮移动", "移动"},         {"按钮删除", "删除"},
    };
    for (const auto& [name, caption] : actions) {
        QPushButton* action = button(name, caption, strip);
        // Narrow windows squeeze the strip, but never below a readable caption.
        action->setMinimumWidth(action->fontMetrics().horizontalAdvance(action->text()) + 20);
        row->addWidget(action);
    }
    row->addStretch(1);
    QPushButton* selectAll = button("按钮全选", "全选", strip);
    selectAll->setMinimumWidth(selectAll->fontMetrics().horizontalAdvance(selectAll->text()) + 20);
    connect(selectAll, &QPushButton::clicked, this, &MainWindow::selectAllRows);
    row->addWidget(selectAll);
    column->addWidget(strip);

    return panel;
}

void MainWindow::applyBranding() {
    const BrandTexts& brand = m_state.brandTexts;
    m_contactLink->setText(m_links.contactCaption);
    if (brand.brandWord.empty())
        return;
    // The title already carries the brand word (windowTitle); the picture gets the brand's images.
    QPixmap banner;
    if (!brand.bannerImage.empty() &&
        banner.loadFromData(reinterpret_cast<const uchar*>(brand.bannerImage.data()),
                            static_cast<uint>(brand.bannerImage.size())))
        m_brandPicture->setPixmap(banner);
    else if (!brand.bannerImage.empty())
        m_brandPicture->setPixmap(brandPicture(qs(brand.brandWord)));
    QPixmap logo;
    if (!brand.logoImage.empty() && logo.loadFromData(reinterpret_cast<const uchar*>(brand.logoImage.data()),
                                                      static_cast<uint>(brand.logoImage.size())))
        setWindowIcon(logo);
    if (brand.bannerImage.empty()) {
        m_brandPicture->hide();
        m_bannerTimer->stop();
    }
}

void MainWindow::layOutBanner() {
    const int width = m_banner->width();
    const int height = m_banner->height();
    m_bannerLabel->setGeometry(0, 0, width + 1, height);
    m_bannerLabel->setPixmap(bannerBackground(QSize(width + 1, height)));

    const int centre = height / 2;
    int x = 12;
    auto place = [&](QLabel* item) {
        item->adjustSize();
        item->move(x, centre - item->height() / 2);
        x += item->width() + 4;
    };
    place(m_contactIcon);
    place(m_contactLink);
    x += 12;
    place(m_helpIcon);
    place(m_helpLink);
    x += 12;
    place(m_homeLink);
    place(m_homeIcon);

    int right = width - 10;
    for (QPushButton* action : {m_statsButton, m_classifyButton}) {
        action->resize(action->sizeHint());
        right -= action->width();
        action->move(right, centre - action->height() / 2);
        right -= 8;
    }
    m_brandPicture->adjustSize();
    const int top = centre - m_brandPicture->height() / 2;
    const int low = m_homeIcon->geometry().right() + 1 + 20;
    const int high = m_classifyButton->x() - 20 - m_brandPicture->width();
    int pictureX = m_brandPicture->x();
    if (pictureX < low || high < low)
        pictureX = low;
    else if (pictureX > high)
        pictureX = high;
    m_brandPicture->move(pictureX, top);
    m_brandPicture->raise();
    // Where the links and the buttons leave it no room, the picture gives way rather than cover them.
    const BrandTexts& brand = m_state.brandTexts;
    m_brandPicture->setVisible((brand.brandWord.empty() || !brand.bannerImage.empty()) && high >= low);
}

void MainWindow::bannerStep() {
    const int homeRight = m_homeIcon->geometry().right() + 1;
    const int classifyLeft = m_classifyButton->x();
    QRect picture = m_brandPicture->geometry();
    if (m_bannerDirection > 0 && picture.right() + 1 > classifyLeft - 20)
        m_bannerDirection = -1;
    else if (m_bannerDirection < 0 && picture.left() - homeRight < 20)
        m_bannerDirection = 1;
    // Without room to move in, the picture stays where it is.
    if (classifyLeft - 20 - homeRight - 20 < picture.width())
        return;
    m_brandPicture->move(picture.x() + m_bannerDirection, picture.y());
}

void MainWindow::makeClickable(QWidget* widget, std::function<void()> action) {
    widget->setCursor(Qt::PointingHandCursor);
    widget->installEventFilter(this);
    m_clickActions[widget] = std::move(action);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_brandPicture && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove))
        m_bannerTimer->stop(); // for good: the picture holds still once the mouse has found it
    if (watched == m_banner && event->type() == QEvent::Resize)
        layOutBanner();
    if (m_list != nullptr && watched == m_list->viewport() && event->type() == QEvent::Resize)
        sizeNameColumn();
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
        event->type() == QEvent::Drop) {
        // Files dropped on a box are the window's drop; only other drags reach the box.
        auto* drag = static_cast<QDropEvent*>(event);
        if (watched != this && !droppedLocalFiles(drag->mimeData()).empty()) {
            if (event->type() == QEvent::Drop)
                dropEvent(drag);
            else
                dragMoveEvent(static_cast<QDragMoveEvent*>(event));
            return true;
        }
    }
    if (watched == m_progressBar && event->type() == QEvent::Resize)
        m_progressText->setGeometry(10, 0, std::max(0, m_progressBar->width() - 20), m_progressBar->height());
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto found = m_clickActions.find(watched);
        if (found != m_clickActions.end() && mouse->button() == Qt::LeftButton &&
            static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint())) {
            // A copy: the action may open a modal window, during which the map must stay usable.
            const std::function<void()> action = found->second;
            action();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openLink(const QString& url) {
    if (!url.isEmpty() && !m_opener->openUrl(us(url)))
        m_questioner.showMessage(
            us(u8("无法打开网页“%1”：系统中没有可用的浏览器。请设置默认浏览器后再试。").arg(url)));
}

void MainWindow::fixOptionColumns(QWidget* panel) {
    // Every block of a column (group boxes, the traversal block) gets one width, the most any of
    // them needs under either set of unit captions: no option change can then move a group or
    // the list.
    auto* grid = static_cast<QGridLayout*>(panel->layout());
    QList<QWidget*> blocks[2];
    for (int index = 0; index < grid->count(); ++index) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        if (QWidget* block = grid->itemAt(index)->widget(); block != nullptr && column < 2)
            blocks[column] << block;
    }
    int widths[2] = {0, 0};
    auto measure = [&] {
        for (int column = 0; column < 2; ++column)
            for (const QWidget* block : blocks[column])
                widths[column] = std::max(widths[column], block->sizeHint().width());
    };
    const bool bySize = m_bySize->isChecked();
    measure();
    (bySize ? m_byCount : m_bySize)->setChecked(true);
    updateUnitCaptions();
    measure();
    (bySize ? m_bySize : m_byCount)->setChecked(true);
    updateUnitCaptions();
    for (int column = 0; column < 2; ++column)
        for (QWidget* block : blocks[column])
            block->setFixedWidth(widths[column]);
    // A cell wider than its block would centre it; the panel holds exactly the two columns.
    panel->setFixedWidth(widths[0] + grid->horizontalSpacing() + widths[1]);
}

void MainWindow::guardDropTargets() {
    for (QWidget* child : findChildren<QWidget*>())
        if (child->acceptDrops())
            child->installEventFilter(this);
}

void MainWindow::sizeNameColumn() {
    if (m_nameColumnByHand)
        return;
    const int fixed = m_list->columnWidth(ResultListModel::SizeColumn) +
                      m_list->columnWidth(ResultListModel::TimeColumn) +
                      m_list->columnWidth(ResultListModel::CountColumn);
    // The name gets two fifths of the room beside the value columns, the folder the rest.
    const int share = std::max(80, (m_list->viewport()->width() - fixed) * 2 / 5);
    m_sizingNameColumn = true;
    m_list->setColumnWidth(ResultListModel::NameColumn, share);
    m_sizingNameColumn = false;
}

void MainWindow::showHelp() {
    showTextWindow({m_questioner, *m_clipboard}, helpText(m_state.brandTexts), QString(), u8("疑点说明"),
                   this, nullptr, 640, 420);
}

void MainWindow::pasteFilterText() {
    m_contentText->setPlainText(qs(m_clipboard->text()));
}

void MainWindow::selectAllRows() {
    m_model->flush();
    // One selection of the whole range: selecting a million rows one by one would take minutes.
    m_list->selectAll();
    m_list->setFocus();
}

bool MainWindow::runInProgress() const {
    return m_startButton->text() != qs(kIdleCaption);
}

void MainWindow::updateEnabling() {
    const bool content = m_contentFilter->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_contentIncludes, m_contentExcludes, m_contentText, m_contentInText,
                                         m_contentInName, m_matchMode, m_pasteButton})
        control->setEnabled(content);

    const bool length = m_lengthFilter->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{m_byNameLength, m_stripTags, m_bySize, m_byCount,
                                                            m_lengthFrom, m_lengthTo})
        control->setEnabled(length);
    for (QRadioButton* unit : m_unitRadios)
        unit->setEnabled(length);

    const bool time = m_timeFilter->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{m_created, m_modified, m_accessed, m_dateOnly,
                                                            m_timeOnly, m_both, m_timeTo, m_timeFrom})
        control->setEnabled(time);

    const bool running = runInProgress();
    const bool duplicates = m_duplicateFilter->isChecked() && !running;
    for (QWidget* control : std::initializer_list<QWidget*>{m_byMd5, m_byLength, m_byName, m_outputOne,
                                                            m_outputAll, m_outputAllButOne})
        control->setEnabled(duplicates);
    m_keepRule->setEnabled(duplicates);
    m_duplicateFilter->setEnabled(!running);

    const bool byName = m_byName->isChecked() && m_byName->isEnabled();
    m_similarity->setEnabled(byName);
    m_similarityPercent->setEnabled(byName);
    m_judgeContent->setEnabled(m_similarity->isChecked() && m_similarity->isEnabled());

    updateUnitCaptions();
}

void MainWindow::updateUnitCaptions() {
    static const char* const sizeUnits[5] = {"B", "KB", "MB", "GB", "TB"};
    static const char* const countUnits[5] = {"个", "十", "百", "千", "万"};
    const bool bySize = m_bySize->isChecked();
    for (int unit = 0; unit < 5; ++unit)
        m_unitRadios[unit]->setText(u8(bySize ? sizeUnits[unit] : countUnits[unit]));
    // The strip options mean something only for the content count. Applied after the enabling
    // rules so that neither undoes the other.
    if (bySize || !m_bySize->isEnabled() || m_byNameLength->isChecked()) {
        m_stripTags->setEnabled(false);
        m_stripBlanks->setEnabled(false);
    } else {
        m_stripTags->setEnabled(m_lengthFilter->isChecked());
        m_stripBlanks->setEnabled(true);
    }
    m_unitRow->setVisible(!m_byNameLength->isChecked());
    m_unitLabel->setVisible(!m_byNameLength->isChecked());
}

std::vector<std::string> MainWindow::droppedLocalFiles(const QMimeData* mime) const {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths.push_back(pathFromQt(url.toLocalFile()));
    return paths;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // While a long operation works on the list, a drop would pull the rows from under it.
    if (m_busy.idle && !droppedLocalFiles(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (m_busy.idle && !droppedLocalFiles(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = droppedLocalFiles(event->mimeData());
    if (!m_busy.idle || paths.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dropPaths(paths);
}

void MainWindow::dropPaths(const std::vector<std::string>& paths) {
    m_droppedPaths.insert(m_droppedPaths.end(), paths.begin(), paths.end());
    if (!m_keyboard->ctrlHeld())
        m_model->clear();
    // Taken out of the pending list first: the events handled between paths may bring another drop.
    const std::vector<std::string> collected = std::move(m_droppedPaths);
    m_droppedPaths.clear();
    // Listed as a run lists its own files; a maker per drop, so each drop looks at its folders anew.
    RowMaker rows(*m_options, *m_model);
    for (const std::string& path : collected) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error))
            rows.add(path, 0, 0, std::string());
        m_model->flush();
        QCoreApplication::processEvents();
    }
}

void MainWindow::onStartClicked() {
    if (m_run->running()) {
        setStartCaption(kStoppingCaption);
        m_run->requestStop();
        return;
    }
    saveControlStates();
    if (!m_busy.idle) {
        showMessage(kBusyMessage);
        return;
    }
    const std::string folder = chooseFolder(kChooseFolderPrompt);
    if (folder.empty())
        return;
    // Remembered for the next folder chooser.
    setStartTag(FilterRun::rootOf(folder));
    setStartCaption(kRunningCaption);
    // The last batch's summary spoke of the list this run replaces.
    m_progressText->clear();
    m_progressBar->hide();
    // The list actions and drops refuse to start while any long operation runs.
    m_busy.idle = false;
    updateEnabling();
    m_runStatus->start();
    const FilterOutcome outcome = m_run->run({*m_options, folder});
    m_runStatus->finish(outcome);
    setStartCaption(kIdleCaption);
    updateEnabling();
    m_busy.idle = true;
}

QString MainWindow::statusText() const {
    return m_statusLabel->text();
}

const ScanOptions& MainWindow::options() const {
    return *m_options;
}

ResultSink& MainWindow::results() {
    return *m_model;
}

void MainWindow::setStartCaption(std::string_view caption) {
    m_startButton->setText(qs(caption));
    if (caption == kIdleCaption)
        m_model->flush();
}

std::string MainWindow::startTag() const {
    return pathFromQt(m_startButton->property("tag").toString());
}

void MainWindow::setStartTag(const std::string& folder) {
    m_startButton->setProperty("tag", pathToQt(folder));
}

void MainWindow::saveControlStates() {
    if (m_settings != nullptr)
        syncControls(*m_settings, this, false, QString::fromUtf8(kSettingsSection));
}

void MainWindow::showMessage(std::string_view text) {
    m_questioner.showMessage(text);
}

std::string MainWindow::chooseFolder(std::string_view prompt) {
    return m_questioner.chooseFolder(prompt, startTag());
}

void MainWindow::setStatusText(const std::string& text) {
    m_statusLabel->setText(qs(text));
}

void MainWindow::scrollToLastRow() {
    m_model->flush();
    // The run also refreshes the status at every folder; scrolling a long list costs time in
    // proportion to its length, so the list follows its end once per second.
    if (m_sinceLastScroll.isValid() && m_sinceLastScroll.elapsed() < 1000)
        return;
    m_list->scrollToBottom();
    m_sinceLastScroll.start();
}

void MainWindow::pump() {
    m_pumpThrottle.pump([this] { m_model->flush(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveControlStates();
    setAcceptDrops(false);
    // A run in progress unwinds at its next check.
    m_busy.idle = true;
    m_run->requestStop();
    event->accept();
}

} // namespace karv
