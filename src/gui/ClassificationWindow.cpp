#include "gui/ClassificationWindow.h"

#include "classify/ClassificationJournal.h"
#include "classify/ClassificationUndo.h"
#include "files/FileOps.h"
#include "gui/ControlStateSync.h"
#include "gui/FitScrollArea.h"
#include "gui/ResultListModel.h"
#include "gui/TextWindow.h"
#include "gui/WidgetBuilder.h"
#include "platform/QtDesktop.h"
#include "text/NameText.h"

#include <algorithm>
#include <random>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

namespace karv {

using namespace ui;

namespace {

constexpr const char* kWindowTitle =
    "文件归类 - 使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮";
constexpr const char* kBatchNamesTitle = "输入批次名列表";
constexpr const char* kBatchNamesPrompt = "这个批次名列表在每换一个批次（比如100个文件的归类数量为一个批次）"
                                          "时按顺序循环使用，你可以在【归类到】编辑框"
                                          "中引用[批次名]以构建文件将归类到的一个新路径：";
constexpr const char* kKeywordPrompt =
    "一行一个，每行多个关键词使用|隔开。使用关键词搜索后，归类路径可使用[关键词]元符";
constexpr const char* kUndoQuestion =
    "确定要撤销上次归类吗？\r\n上次归类移动的文件将移回原位置；原位置已有文件的不会被覆盖。"
    "\r\n上次归类复制出的文件，未改动的将移到回收站。";

QString tagOf(const QWidget* widget) {
    return widget->property("tag").toString();
}

/// Whether the last run left anything to take back: a journal with files not yet undone. A journal
/// that cannot be read counts, so that 撤销上次归类 can say why it does nothing.
bool somethingToUndo(const std::string& logFolder) {
    Journal journal;
    std::string problem;
    switch (readJournal(logFolder, journal, problem)) {
    case JournalState::Missing:
        return false;
    case JournalState::Refused:
        return true;
    case JournalState::Read:
        break;
    }
    return std::find(journal.undone.begin(), journal.undone.end(), false) != journal.undone.end();
}

} // namespace

QStringList ClassificationWindow::symbolMenuItems() {
    QStringList items{u8("元符帮助"), "-", u8("[关键词]"), "-"};
    for (const char* name : {"父目录路径", "父目录名", "文件名", "主名", "扩展名", "大小", "批次名",
                             "父目录段", "子目录段", "年", "月", "日", "时", "分", "秒"})
        items << "[" + u8(name) + "]";
    for (const char* kind : {"父目录路径", "父目录段", "父目录名"}) {
        items << "-";
        for (int level = 2; level <= 5; ++level)
            items << "[" + QString::number(level) + u8(kind) + "]";
    }
    return items;
}

QString ClassificationWindow::symbolHelpText() {
    QStringList lines{
        u8("归类到：是一个新的文件路径，即原文件路径将归类到这个新路径。"),
        "",
        u8("新路径可以自由引用元符来构建一个动态的归类路径（点击菜单列表中的元符可以插入），元符意义如下："),
        "",
        u8("例子："),
        "",
        u8("入口目录路径：/1/2/3/"),
        u8("文件路径：/1/2/3/4/5/6.txt"),
        "",
        ""};
    for (const char* line : {"[父目录路径]：/1/2/3/4/5", "[2父目录路径]：/1/2/3/4", "[3父目录路径]：/1/2/3",
                             "[4父目录路径]：/1/2", "[5父目录路径]：/1", "[父目录名]：5", "[2父目录名]：4",
                             "[3父目录名]：3", "[4父目录名]：2", "[5父目录名]：1"})
        lines << u8(line) << "";
    lines << "";
    for (const char* line :
         {"[父目录段]：1/2/3/4/5（也就是[父目录路径]但不包含开头的/）", "[2父目录段]：1/2/3/4",
          "[3父目录段]：1/2/3", "[4父目录段]：1/2", "[5父目录段]：1"})
        lines << u8(line);
    lines << "";
    for (const char* line :
         {"[子目录段]：4/5（从文件路径中，删去入口目录路径，再删去[文件名]，就是[子目录段]）",
          "[文件名]：6.txt", "[主名]：6", "[扩展名]：txt",
          "[大小]：XX KB （该文件的大小，软件会自动转换为一个合适的显示单位）",
          "[批次名]"
          "：每换一个批次（比如100个文件的归类数量为一个批次）时的名称。使用数字或字母都是递进的，使用指定名"
          "称"
          "列表则按顺序取用。"})
        lines << u8(line);
    lines << "" << u8("[年][月][日][时][分][秒]：文件的修改时间，可自由分拆，组合引用。");
    return lines.join("\r\n") + "\r\n";
}

ClassificationWindow::ClassificationWindow(AppState& state, const ClassificationDesktop& desktop,
                                           ResultListModel* mainList, SettingsStore* settings,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), m_state(state), m_desktop(desktop), m_mainList(mainList),
      m_settings(settings), m_files(diskPlacementFiles()),
      m_run(std::make_unique<ClassificationRun>(*m_files, state.dataFolder)) {
    setObjectName(u8(kSettingsSection));
    setWindowTitle(u8(kWindowTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    m_warningBox = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, u8("信息："), text, QMessageBox::Ok, this);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    };
    buildControls();
    scrollWhenSmall(this);

    // Creation: the saved states, then the rules that depend on them.
    if (m_settings != nullptr)
        syncControls(*m_settings, this, true, u8(kSettingsSection));
    updateEnabling();
    m_undo->setEnabled(somethingToUndo(m_state.dataFolder));
}

ClassificationWindow::~ClassificationWindow() {
    // A run still going when the window is destroyed ends at its next check.
    m_stop.requestStop();
}

void ClassificationWindow::buildControls() {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    // In the order of the rows, which is also the order the keyboard's focus goes through them.
    buildSourceRows(grid);
    buildTargetRows(grid);
    buildStartRows(grid);
    buildSymbolMenu();
    connectControls();
    resize(640, sizeHint().height());
}

void ClassificationWindow::buildSourceRows(QGridLayout* grid) {
    grid->addWidget(label("标签1", "归类目标：", this), 0, 0);
    m_fromMainList = radio("单选框主界面", "主界面文件列表", this);
    m_fromFolder = radio("单选框指定目录", "指定目录下的文件", this);
    m_fromFolder->setChecked(true);
    grid->addLayout(radioSet({m_fromMainList, m_fromFolder}, this), 0, 1, 1, 2);

    m_folder = lineEdit("编辑框目录", "", this);
    m_chooseFolder = button("按钮选择目录", "..", this);
    m_chooseFolder->setFixedWidth(32);
    grid->addWidget(m_folder, 1, 1);
    grid->addWidget(m_chooseFolder, 1, 2);
    auto* filterRow = new QHBoxLayout;
    m_filter = lineEdit("编辑框过滤", "*.*", this);
    m_recurse = check("选择框遍历子目录", "遍历子目录", this);
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_recurse);
    grid->addLayout(filterRow, 2, 1, 1, 2);
}

void ClassificationWindow::buildTargetRows(QGridLayout* grid) {
    grid->addWidget(label("标签2", "归类路径：", this), 3, 0);
    m_template = lineEdit("编辑框归类到", "[父目录路径]/[批次名]/[文件名]", this);
    m_symbolButton = button("按钮元符", "显示元符", this);
    m_template->installEventFilter(this);
    grid->addWidget(m_template, 3, 1);
    grid->addWidget(m_symbolButton, 3, 2);

    grid->addWidget(label("标签4", "每批次的归类数量：", this), 4, 0);
    m_batchSize = lineEdit("编辑框每批次归类数量", "100", this);
    m_batchSize->setMaximumWidth(120);
    grid->addWidget(m_batchSize, 4, 1, Qt::AlignLeft);

    grid->addWidget(label("标签3", "批次名称：", this), 5, 0);
    m_numbers = radio("单选框使用数字", "使用数字", this);
    m_letters = radio("单选框使用字母", "使用字母", this);
    m_named = radio("单选框使用指定", "使用指定", this);
    m_numbers->setChecked(true);
    QWidget* batchBox = radioRow("图片框1", {m_numbers, m_letters, m_named}, this);
    m_batchNames = button("按钮输入批次名列表", "输入..", batchBox);
    static_cast<QHBoxLayout*>(batchBox->layout())->insertWidget(3, m_batchNames);
    grid->addWidget(batchBox, 5, 1, 1, 2);
}

void ClassificationWindow::buildStartRows(QGridLayout* grid) {
    auto* optionRow = new QHBoxLayout;
    m_keepOriginal = check("选择框保留原文件", "保留原文件", this);
    m_keepOriginal->setChecked(true);
    m_random = check("选择框随机排序", "随机排序", this);
    m_random->setChecked(true);
    m_keywordSearch = check("选择框关键词搜索", "关键词搜索", this);
    m_keywords = button("按钮输入关键词", "输入关键词", this);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_keepOriginal, m_random, m_keywordSearch, m_keywords})
        optionRow->addWidget(widget);
    optionRow->addStretch(1);
    grid->addLayout(optionRow, 6, 0, 1, 3);

    auto* startRow = new QHBoxLayout;
    m_undo = button("按钮撤销上次归类", "撤销上次归类", this);
    m_undo->setProperty("tag", u8("禁止保存"));
    m_start = button("按钮立即执行归类", "立即执行归类", this);
    m_start->setMinimumHeight(36);
    m_undo->setMinimumHeight(36);
    m_undo->setMinimumWidth(m_undo->sizeHint().width() + 12);
    m_start->installEventFilter(this);
    if (parentWidget() != nullptr)
        parentWidget()->installEventFilter(this);
    m_preview = button("按钮预览", "预览", this);
    m_preview->setProperty("tag", u8("禁止保存"));
    m_preview->setMinimumHeight(36);
    m_preview->setMinimumWidth(m_preview->sizeHint().width() + 12);
    startRow->addWidget(m_undo);
    startRow->addWidget(m_preview);
    startRow->addWidget(m_start, 1);
    // Extra height goes below the options, not between the rows.
    grid->setRowStretch(7, 1);
    grid->addLayout(startRow, 8, 0, 1, 3);
}

void ClassificationWindow::buildSymbolMenu() {
    m_symbolMenu = named(new QMenu(this), "元符");
    for (const QString& item : symbolMenuItems()) {
        if (item == "-") {
            m_symbolMenu->addSeparator();
        } else if (item == u8("元符帮助")) {
            m_symbolMenu->addAction(item, this, &ClassificationWindow::showSymbolHelp);
        } else {
            m_symbolMenu->addAction(item, this, [this, item] { insertSymbol(item); });
        }
    }
}

void ClassificationWindow::connectControls() {
    for (QRadioButton* source : {m_fromMainList, m_fromFolder, m_numbers, m_letters, m_named})
        connect(source, &QAbstractButton::toggled, this, &ClassificationWindow::updateEnabling);
    connect(m_keywordSearch, &QAbstractButton::toggled, this, &ClassificationWindow::updateEnabling);
    connect(m_chooseFolder, &QPushButton::clicked, this, &ClassificationWindow::chooseFolder);
    connect(m_batchNames, &QPushButton::clicked, this, &ClassificationWindow::editBatchNames);
    connect(m_keywords, &QPushButton::clicked, this, &ClassificationWindow::editKeywords);
    connect(m_symbolButton, &QPushButton::clicked, this, [this] { m_symbolMenu->popup(QCursor::pos()); });
    connect(m_start, &QPushButton::clicked, this, &ClassificationWindow::startOrStop);
    connect(m_undo, &QPushButton::clicked, this, &ClassificationWindow::undoLastRun);
    connect(m_preview, &QPushButton::clicked, this, &ClassificationWindow::previewRun);
}

void ClassificationWindow::updateEnabling() {
    const bool folderMode = m_fromFolder->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_folder, m_filter, m_chooseFolder, m_recurse})
        widget->setEnabled(folderMode);
    m_batchNames->setEnabled(m_named->isChecked());
    m_keywords->setEnabled(m_keywordSearch->isChecked());
}

void ClassificationWindow::chooseFolder() {
    const std::string prompt = "请选择需要归类的文件所在文件夹(" + us(m_filter->text()) + ")：";
    const std::string chosen = m_desktop.questioner.chooseFolder(prompt, pathFromQt(m_folder->text()));
    if (!chosen.empty())
        m_folder->setText(pathToQt(chosen));
}

void ClassificationWindow::editBatchNames() {
    QString result;
    if (showTextWindow({m_desktop.questioner, m_desktop.clipboard}, tagOf(m_batchNames),
                       u8(kBatchNamesPrompt), u8(kBatchNamesTitle), this, &result))
        m_batchNames->setProperty("tag", result);
}

void ClassificationWindow::editKeywords() {
    QString result;
    if (showTextWindow({m_desktop.questioner, m_desktop.clipboard}, tagOf(m_keywords), u8(kKeywordPrompt),
                       QString(), parentWidget() != nullptr ? parentWidget() : this, &result))
        m_keywords->setProperty("tag", result);
}

void ClassificationWindow::insertSymbol(const QString& symbol) {
    if (!m_template->hasFocus() && !m_template->hasSelectedText()) {
        // The button took the focus, and the box dropped its selection then: the symbol replaces
        // the selection the box had before.
        const int size = static_cast<int>(m_template->text().size());
        const int start = std::min(m_templateSelection.first, size);
        const int length = std::min(m_templateSelection.second, size - start);
        if (length > 0)
            m_template->setSelection(start, length);
        else
            m_template->setCursorPosition(start);
    }
    m_template->insert(symbol);
    m_template->setFocus();
}

void ClassificationWindow::showSymbolHelp() {
    showTextWindow({m_desktop.questioner, m_desktop.clipboard}, symbolHelpText(), std::nullopt,
                   u8("元符帮助"), this);
}

void ClassificationWindow::undoLastRun() {
    if (m_running) {
        m_desktop.questioner.showMessage("请先停止正在执行的归类！");
        return;
    }
    if (!m_desktop.questioner.askYesNo(kUndoQuestion))
        return;
    // The undo runs to its end, as it always has: its own token, which nothing here stops.
    StopToken stop;
    NoProgress quiet;
    const UndoResult result =
        undoLastClassification(m_state.dataFolder, *m_files, {stop, quiet, {}, m_desktop.clock});
    m_undo->setEnabled(somethingToUndo(m_state.dataFolder));
    if (result.nothingToUndo) {
        m_desktop.questioner.showMessage(std::string(kNothingToUndo));
        return;
    }
    if (!result.journalRead) {
        m_desktop.questioner.showMessage(result.problem);
        return;
    }
    QString text = qs(undoDoneText(result.undone.size()));
    if (result.notRestored.empty()) {
        m_desktop.questioner.showMessage(us(text + u8("。")));
        return;
    }
    text += qs(undoNotRestoredText(result.notRestored.size())) + u8("：\r\n");
    for (const UndoProblem& problem : result.notRestored)
        text += qs(displayText(problem.target)) + u8(" → ") + qs(displayText(problem.source)) + u8("（") +
                qs(problem.reason) + u8("）\r\n");
    showTextWindow({m_desktop.questioner, m_desktop.clipboard}, text, std::nullopt, u8("撤销上次归类"), this);
}

ClassificationSettings ClassificationWindow::settings() {
    ClassificationSettings s;
    s.mainListMode = m_fromMainList->isChecked();
    s.folder = pathFromQt(m_folder->text());
    s.recurse = m_recurse->isChecked();
    s.templateText = pathFromQt(m_template->text());
    s.batchSizeText = us(m_batchSize->text());
    s.batchMode = m_numbers->isChecked() ? BatchMode::Numbers
                                         : (m_letters->isChecked() ? BatchMode::Letters : BatchMode::List);
    s.batchNamesText = us(tagOf(m_batchNames));
    s.keepOriginal = m_keepOriginal->isChecked();
    s.keywordSearch = m_keywordSearch->isChecked();
    s.keywordText = us(tagOf(m_keywords));
    return s;
}

void ClassificationWindow::saveControlStates() {
    if (m_settings != nullptr)
        syncControls(*m_settings, this, false, u8(kSettingsSection));
}

void ClassificationWindow::setCaption(std::string_view caption) {
    m_start->setText(qs(caption));
}

void ClassificationWindow::setCaptionLeftAligned(bool left) {
    m_start->setStyleSheet(left ? QStringLiteral("text-align: left; padding-left: 6px;") : QString());
}

std::string ClassificationWindow::patternList() {
    return us(m_filter->text());
}

bool ClassificationWindow::keywordSearch() {
    return m_keywordSearch->isChecked();
}

std::size_t ClassificationWindow::listRowCount() {
    return m_mainList != nullptr ? m_mainList->count() : 0;
}

std::optional<std::string> ClassificationWindow::listRowPath(std::size_t row) {
    // The list stays usable during the run: a row removed meanwhile is skipped.
    if (m_mainList == nullptr || row >= m_mainList->count())
        return std::nullopt;
    return m_mainList->rowPath(row);
}

bool ClassificationWindow::randomOrder() {
    return m_random->isChecked();
}

void ClassificationWindow::progress(const RunProgress& now) {
    if (now.stage == RunStage::Starting)
        setCaptionLeftAligned(true);
    setCaption(classificationProgressText(now));
}

void ClassificationWindow::finished(const ClassificationSummary& summary) {
    m_undo->setEnabled(somethingToUndo(m_state.dataFolder));
    if (!summary.problem.empty())
        m_desktop.questioner.showMessage(summary.problem);
    if (summary.failures > 0) {
        // Encoded from the path's bytes, so a data folder whose name is not UTF-8 still opens.
        m_desktop.opener.openUrl("file://" + files::encodePathForUrl(summary.failureLogPath));
        const auto shown = [](const std::string& path) {
            return displayText(path);
        };
        m_warningBox(qs(classificationEndedText(summary.stopped)) + u8("但有 ") +
                     QString::number(summary.failures) +
                     u8(" 个文件归类失败，具体请看已打开的【归类失败的文件路径.txt】\r\n") +
                     qs(summary.reasons.summary(+shown)));
        return;
    }
    if (m_closeRequested)
        return; // the user closed the window: no summary over nothing
    showTextWindow({m_desktop.questioner, m_desktop.clipboard}, qs(summary.shownText), qs(kSummaryPrompt),
                   qs(summary.stopped ? kStoppedSummaryTitle : kSummaryTitle), this);
}

void ClassificationWindow::startOrStop() {
    if (m_running) {
        m_stop.requestStop();
        return;
    }
    runOnce();
    if (m_closeRequested)
        close();
}

void ClassificationWindow::runOnce() {
    saveControlStates();
    std::optional<std::uint64_t> seed;
    if (m_previewSeed && m_previewedSettings == runSettingsText())
        seed = m_previewSeed;
    m_previewSeed.reset();
    m_stop.reset();
    m_running = true;
    // A click on 预览 stops a preview; during a run it would stop the run, not preview anything.
    m_preview->setEnabled(false);
    const RunContext context{m_stop, *this, [this] { m_pumpThrottle.pump(); }, m_desktop.clock};
    const ClassificationSummary summary = m_run->run({settings(), *this, seed}, context, *this);
    m_running = false;
    m_preview->setEnabled(true);
    if (!summary.refusal.empty()) {
        m_desktop.questioner.showMessage(summary.refusal);
        return;
    }
    finished(summary);
    setCaptionLeftAligned(false);
    setCaption(kClassifyIdleCaption);
}

void ClassificationWindow::previewRun() {
    if (m_running) {
        m_stop.requestStop();
        return;
    }
    // No logs, no journal, no folder made: the preview files answer from the disk as it stands
    // plus what the run would have done so far.
    PreviewFiles files;
    ClassificationRun run(files, std::string());
    const std::uint64_t seed = std::random_device{}();
    const QString settingsText = runSettingsText();
    const ClassificationSettings current = settings();
    PreviewRows rows;
    m_stop.reset();
    m_running = true;
    const RunContext context{m_stop, *this, [this] { m_pumpThrottle.pump(); }, m_desktop.clock};
    const ClassificationSummary summary = run.run({current, *this, seed}, context, rows);
    m_running = false;
    setCaptionLeftAligned(false);
    setCaption(kClassifyIdleCaption);
    if (!summary.refusal.empty()) {
        m_desktop.questioner.showMessage(summary.refusal);
        return;
    }
    if (m_closeRequested) {
        close();
        return;
    }
    m_previewSeed = seed;
    m_previewedSettings = settingsText;
    if (m_previewDialog)
        m_previewDialog->close();
    m_previewDialog = new ClassificationPreviewDialog(rows, summary, current.keepOriginal, this);
    m_previewDialog->show();
}

QString ClassificationWindow::runSettingsText() {
    const ClassificationSettings s = settings();
    const QStringList parts{QString::number(s.mainListMode),
                            qs(s.folder),
                            QString::number(s.recurse),
                            qs(s.templateText),
                            qs(s.batchSizeText),
                            QString::number(static_cast<int>(s.batchMode)),
                            qs(s.batchNamesText),
                            QString::number(s.keepOriginal),
                            QString::number(s.keywordSearch),
                            qs(s.keywordText),
                            m_filter->text(),
                            QString::number(m_random->isChecked())};
    return parts.join(QChar(0x1F));
}

void ClassificationWindow::closeEvent(QCloseEvent* event) {
    saveControlStates();
    if (m_running) {
        // The run's loop is still on the stack: stop it, and close once it has unwound.
        m_closeRequested = true;
        m_stop.requestStop();
        event->ignore();
        return;
    }
    event->accept();
}

bool ClassificationWindow::eventFilter(QObject* watched, QEvent* event) {
    // Seen before the box handles its focus-out, which drops the selection.
    if (watched == m_template && event->type() == QEvent::FocusOut) {
        const bool selected = m_template->hasSelectedText();
        m_templateSelection = {selected ? m_template->selectionStart() : m_template->cursorPosition(),
                               selected ? m_template->selectionLength() : 0};
    }
    // A right-button press on the start button does what a click does.
    if (watched == m_start && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        startOrStop();
        return true;
    }
    // Closing the main window ends the program without closing this one: save the states then too.
    if (watched == parent() && event->type() == QEvent::Close && isVisible()) {
        saveControlStates();
        m_stop.requestStop();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace karv
