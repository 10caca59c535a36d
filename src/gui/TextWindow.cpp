#include "gui/TextWindow.h"

#include "platform/QtDesktop.h"
#include "text/TextLoader.h"

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

namespace karv {

namespace {

TextWindow* s_current = nullptr;

QString toBoxText(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
QString fromBoxText(QString text) {
    return text.replace('\n', QStringLiteral("\r\n"));
}

QPushButton* makeButton(const char* caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setAutoDefault(false);
    return button;
}

// As wide as the caption needs, not the style's wide default: seven buttons share one row.
int buttonWidth(const QPushButton* button) {
    return std::max(48, button->fontMetrics().horizontalAdvance(button->text()) + 16);
}

// The text area never shrinks below a few lines.
constexpr int kMinimumTextHeight = 60;
// Between the tool strip and 确定.
constexpr int kButtonGap = 10;

} // namespace

int displayUnits(const QString& text) {
    int units = 0;
    for (const char32_t codePoint : text.toUcs4())
        units += codePoint < 0x80 ? 1 : 2;
    return units;
}

TextWindow::TextWindow(const TextWindowDesktop& desktop, const TextWindowCall& call, QWidget* parent)
    : QDialog(parent), m_desktop(desktop), m_startText(toBoxText(call.text)), m_inputMode(call.inputMode) {
    setObjectName("文本窗口");
    s_current = this;
    if (call.prompt)
        m_prompt = !call.prompt->isEmpty() ? *call.prompt : m_inputMode ? "请输入数据：" : "以下为信息详情：";
    const QString title = call.title && !call.title->isEmpty() ? *call.title
                          : m_inputMode                        ? "输入："
                                                               : "信息：";
    setWindowTitle(title);

    m_promptBox = new QTextEdit(this);
    m_promptBox->setObjectName("编辑框提示");
    m_promptBox->setReadOnly(true);
    m_promptBox->setAcceptRichText(false);
    m_promptBox->setFrameShape(QFrame::NoFrame);
    m_promptBox->document()->setDocumentMargin(0);
    m_promptBox->setFocusPolicy(Qt::NoFocus);
    m_promptBox->viewport()->setAutoFillBackground(false);
    m_promptBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_promptBox->setWordWrapMode(QTextOption::WrapAnywhere);
    m_promptBox->setPlainText(toBoxText(m_prompt));

    m_textBox = new QPlainTextEdit(this);
    m_textBox->setObjectName("编辑框正文");
    m_textBox->setPlainText(m_startText);
    // The default style draws the handle barely darker than its groove; in a long text one must
    // see at a glance where one is.
    const QString bars = QStringLiteral(
        "QScrollBar { background: #ececec; border: none; }"
        "QScrollBar:vertical { width: 14px; } QScrollBar:horizontal { height: 14px; }"
        "QScrollBar::handle { background: #a6a6a6; border-radius: 4px; margin: 2px; }"
        "QScrollBar::handle:hover { background: #8c8c8c; }"
        "QScrollBar::handle:vertical { min-height: 28px; } QScrollBar::handle:horizontal { min-width: 28px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }");
    m_textBox->verticalScrollBar()->setStyleSheet(bars);
    m_textBox->horizontalScrollBar()->setStyleSheet(bars);

    m_strip = new QWidget(this);
    m_strip->setObjectName("外形框");
    auto* clear = makeButton("清空", "按钮清空", m_strip);
    auto* names = makeButton("文件名", "按钮文件名", m_strip);
    auto* contents = makeButton("内容", "按钮文件", m_strip);
    auto* restoreButton = makeButton("恢复", "按钮恢复", m_strip);
    auto* pasteButton = makeButton("粘贴", "按钮粘贴", m_strip);
    m_cancel = makeButton("取消", "按钮取消", this);
    m_ok = makeButton("确定", "按钮确定", this);

    connect(clear, &QPushButton::clicked, this, [this] { m_textBox->setPlainText(QString()); });
    connect(names, &QPushButton::clicked, this,
            [this] { importFilesIntoText(ImportMode::Paths, m_textBox, m_desktop.questioner); });
    connect(contents, &QPushButton::clicked, this,
            [this] { importFilesIntoText(ImportMode::Contents, m_textBox, m_desktop.questioner); });
    connect(restoreButton, &QPushButton::clicked, this, &TextWindow::restore);
    connect(pasteButton, &QPushButton::clicked, this, &TextWindow::paste);
    connect(m_cancel, &QPushButton::clicked, this, [this] { finish(false); });
    connect(m_ok, &QPushButton::clicked, this, [this] { finish(true); });

    // The strip's buttons sit side by side at its left; the strip is as tall as a button plus room
    // above and below, so that the text area gets exactly the height asked for.
    int x = 0;
    const int buttonHeight = m_ok->sizeHint().height();
    const int stripHeight = buttonHeight + 3 * kMargin;
    for (QPushButton* button : {clear, names, contents, restoreButton, pasteButton}) {
        const int width = buttonWidth(button);
        button->setGeometry(x, (stripHeight - buttonHeight) / 2, width, buttonHeight);
        x += width + 2;
    }
    m_strip->resize(x - 2, stripHeight);

    if (!m_inputMode) {
        m_ok->hide();
        m_strip->hide();
        m_textBox->setReadOnly(true);
        m_cancel->setText("关闭");
        m_cancel->setDefault(true);
    }
    for (QPushButton* button : {m_cancel, m_ok})
        button->resize(buttonWidth(button), buttonHeight);

    // Measured once, in the window's font.
    const QFontMetrics metrics(font());
    m_unitWidth = std::max(
        1, (metrics.horizontalAdvance(QString::fromUtf8("中")) + metrics.horizontalAdvance('A')) / 3);
    // The height of a line holding a CJK character: its glyphs may come from a fallback font that
    // is taller than the window's own font.
    QTextLayout probe(QString::fromUtf8("中A"), font());
    probe.beginLayout();
    const QTextLine probeLine = probe.createLine();
    probe.endLayout();
    m_lineHeight = std::max({1, metrics.lineSpacing(), static_cast<int>(std::ceil(probeLine.height()))});

    // Small enough for any screen, large enough that no button covers another.
    const int buttonsWidth =
        m_inputMode ? m_strip->width() + kButtonGap + m_ok->width() + m_cancel->width() : m_cancel->width();
    const int minimumWidth = 2 * kMargin + buttonsWidth;
    m_leastSize =
        QSize(minimumWidth, promptHeightFor(minimumWidth) + 2 * kMargin + kMinimumTextHeight + stripHeight);
    setMinimumSize(m_leastSize);

    const int clientWidth = call.width != 0 ? call.width + 2 * kMargin : 560;
    const int clientHeight = call.height != 0 ? promptHeightFor(clientWidth) + 2 * kMargin + call.height +
                                                    3 * kMargin + buttonHeight
                                              : 380;
    resize(clientWidth, clientHeight);
    if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + area.width() / 2 - width() / 2, area.y() + (area.height() - 30) / 2 - height() / 2);
    }
    layOut();
    m_textBox->setFocus();
}

TextWindow::~TextWindow() {
    if (s_current == this)
        s_current = nullptr;
}

TextWindow* TextWindow::current() {
    return s_current;
}

QString TextWindow::text() const {
    return fromBoxText(m_textBox->toPlainText());
}

QString TextWindow::promptText() const {
    return m_prompt;
}

int TextWindow::promptHeightFor(int clientWidth) const {
    const int charsPerLine = std::max(1, (clientWidth - 2 * kMargin - 2) / m_unitWidth);
    // A prompt ending in a line break has one more, empty, line; split() keeps it.
    const QStringList lines =
        QString(m_prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n');
    int rows = 0;
    for (const QString& line : lines)
        rows += std::max(1, (displayUnits(line) + charsPerLine - 1) / charsPerLine);
    return rows * m_lineHeight;
}

void TextWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOut();
}

void TextWindow::layOut() {
    const int m = kMargin;
    // A window manager may give less than the minimum; then the controls keep the places they have
    // at the minimum, and the window's edge cuts them, rather than covering one another.
    const int clientWidth = std::max(width(), m_leastSize.width());
    const int clientHeight = std::max(height(), m_leastSize.height());
    const int promptHeight = promptHeightFor(clientWidth);
    m_promptBox->setGeometry(m, m, clientWidth - 2 * m, promptHeight);
    const int textTop = m + promptHeight + m;
    const int textHeight = std::max(0, clientHeight - textTop - m_strip->height());
    m_textBox->setGeometry(m, textTop, clientWidth - 2 * m, textHeight);
    m_strip->move(m, textTop + textHeight);
    // Centred on the strip the way the strip centres its own buttons, so that all stand in line.
    const int top = m_strip->y() + (m_strip->height() - m_cancel->height()) / 2;
    m_cancel->move(clientWidth - m - m_cancel->width(), top);
    m_ok->move(m_cancel->x() - m_ok->width(), top);
}

void TextWindow::finish(bool confirmed) {
    m_finishing = true;
    if (confirmed) {
        m_resultText = text();
        m_confirmed = true;
    }
    QDialog::done(confirmed ? QDialog::Accepted : QDialog::Rejected);
}

void TextWindow::reject() {
    // Escape behaves like the window's close box, question included.
    close();
}

void TextWindow::closeEvent(QCloseEvent* event) {
    if (m_finishing) {
        event->accept();
        return;
    }
    if (m_inputMode && m_textBox->toPlainText() != m_startText &&
        !m_desktop.questioner.askYesNo("内容已被改动，是否要放弃？")) {
        event->ignore();
        return;
    }
    event->accept();
    finish(false);
}

void TextWindow::restore() {
    if (m_startText.isEmpty()) {
        m_desktop.questioner.showMessage("启动值为空！");
        return;
    }
    m_textBox->setPlainText(m_startText);
}

void TextWindow::paste() {
    m_textBox->setPlainText(toBoxText(qs(m_desktop.clipboard.text())));
}

bool showTextWindow(const TextWindowDesktop& desktop, const QString& text,
                    const std::optional<QString>& prompt, const std::optional<QString>& title,
                    QWidget* parent, QString* result, int width, int height) {
    if (TextWindow::current() != nullptr)
        return false;
    TextWindowCall call{text, prompt, title, result != nullptr, width, height};
    TextWindow window(desktop, call, parent != nullptr ? parent->window() : nullptr);
    window.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    window.exec();
    if (!window.confirmed())
        return false;
    if (result != nullptr)
        *result = window.resultText();
    return true;
}

void importFilesIntoText(ImportMode mode, QPlainTextEdit* textBox, Questioner& questioner) {
    const std::vector<std::string> files = questioner.chooseFilesToOpen(
        mode == ImportMode::Paths ? "选择多个文件，将导入其文件路径" : "选择多个文件，将导入其文件内容",
        "文本文本|*.txt;*.text;*.ini;*.htn;*.html|全部文件|*.*");
    const bool wasEmpty = textBox->document()->isEmpty();
    bool first = true;
    for (const std::string& path : files) {
        QString piece;
        if (mode == ImportMode::Paths) {
            piece = pathToQt(path);
        } else {
            // Decoded as the viewer decodes it (a GBK file shows as Chinese, not as mojibake). The
            // text ends at its first zero character; an unreadable file adds an empty line.
            piece = toBoxText(QString::fromStdString(loadFileText(path).text));
        }
        const QString separator = first && wasEmpty ? QString() : QStringLiteral("\n");
        first = false;
        QTextCursor cursor(textBox->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(separator + piece);
        QCoreApplication::processEvents();
    }
}

} // namespace karv
