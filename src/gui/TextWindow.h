#pragma once

#include <optional>

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace karv {

class Clipboard;
class Questioner;

/// The desktop services the text window asks: its questions, its file dialog and the clipboard.
struct TextWindowDesktop {
    Questioner& questioner;
    Clipboard& clipboard;
};

/// What one call of `showTextWindow` asks for.
struct TextWindowCall {
    QString text;                  ///< the starting text; line breaks as CR LF or LF
    std::optional<QString> prompt; ///< not given: no prompt; given but empty: the mode's default
    std::optional<QString> title;  ///< empty or not given: the mode's default
    bool inputMode = false;
    int width = 0;  ///< of the text area, pixels; 0 keeps the default window size
    int height = 0; ///< of the text area, pixels; 0 keeps the default window size
};

/// The program's one window for showing a long text (information mode: read-only, only "关闭")
/// or editing a multi-line text (input mode: clear, import file names or contents, restore,
/// paste, confirm or cancel). Only one exists at a time.
class TextWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMargin = 5;

    TextWindow(const TextWindowDesktop& desktop, const TextWindowCall& call, QWidget* parent = nullptr);
    ~TextWindow() override;

    /// The open text window, if any.
    static TextWindow* current();

    bool confirmed() const { return m_confirmed; }
    /// The confirmed text, line breaks as CR LF.
    QString resultText() const { return m_resultText; }
    /// The text as it stands, line breaks as CR LF.
    QString text() const;
    QString promptText() const;
    /// The prompt height estimate for a client width, from the measurements taken at creation.
    int promptHeightFor(int clientWidth) const;
    int unitWidth() const { return m_unitWidth; }
    int lineHeight() const { return m_lineHeight; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void layOut();
    void finish(bool confirmed);
    void restore();
    void paste();

    TextWindowDesktop m_desktop;
    QString m_startText; // as the text box holds it (LF line breaks)
    QString m_prompt;
    bool m_inputMode = false;
    bool m_confirmed = false;
    bool m_finishing = false;
    QString m_resultText;
    int m_unitWidth = 1;
    int m_lineHeight = 1;
    QSize m_leastSize; ///< below it the controls keep their places and the window cuts them off

    QTextEdit* m_promptBox = nullptr;
    QPlainTextEdit* m_textBox = nullptr;
    QWidget* m_strip = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_ok = nullptr;
};

/// Shows the text window modally. With `result` the window runs in input mode and `result` receives
/// the edited text (line breaks CR LF) when the user confirms; without it, information mode.
/// Returns true only when the user pressed "确定"; returns false at once while another text window
/// is open.
bool showTextWindow(const TextWindowDesktop& desktop, const QString& text,
                    const std::optional<QString>& prompt = std::nullopt,
                    const std::optional<QString>& title = std::nullopt, QWidget* parent = nullptr,
                    QString* result = nullptr, int width = 0, int height = 0);

enum class ImportMode { Paths, Contents };

/// Appends the paths or the contents of files chosen in an open-files dialog to `textBox`, one per
/// line (the first without a line break when the box was empty).
void importFilesIntoText(ImportMode mode, QPlainTextEdit* textBox, Questioner& questioner);

/// The width of a text in the units of the prompt estimate: an ASCII character 1, any other 2.
int displayUnits(const QString& text);

} // namespace karv
