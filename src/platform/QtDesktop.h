#pragma once

#include "desktop/Desktop.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

namespace karv {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string us(const QString& text) {
    return text.toStdString();
}

/// Paths are raw bytes; Qt sees them through the locale's file-name codec (UTF-8 here).
QString pathToQt(const std::string& rawPath);
std::string pathFromQt(const QString& path);

/// Real dialogs, parented to a window.
class QtQuestioner : public Questioner {
public:
    explicit QtQuestioner(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void showMessage(std::string_view text, std::string_view title) override;
    std::string chooseFolder(std::string_view prompt, const std::string& initialFolder) override;
    bool askYesNo(std::string_view text, std::string_view title) override;
    std::vector<std::string> chooseFilesToOpen(std::string_view title, std::string_view filter) override;
    bool askOkCancel(std::string_view text, std::string_view title) override;
    bool askDestructive(std::string_view text, std::string_view title) override;
    std::string chooseSaveFile(std::string_view title, std::string_view filter,
                               std::string_view defaultSuffix) override;

private:
    QPointer<QWidget> m_parent;
};

/// Turns a filter of "caption|patterns" pairs ("文本文件|*.txt;*.ini|全部文件|*.*") into Qt's form
/// ("文本文件 (*.txt *.ini);;全部文件 (*.*)").
QString qtFileFilter(std::string_view filter);

/// The folder a folder chooser opens on: `remembered`, or the nearest folder above it that still
/// exists; the home folder when nothing was remembered.
QString chooserStartFolder(const std::string& remembered);

/// The application clipboard.
class QtClipboard : public Clipboard {
public:
    std::string text() override;
    void setText(std::string_view text, const std::vector<std::string>& uris = {}) override;
};

/// Asks the window system for the modifier keys held right now.
class QtKeyboard : public Keyboard {
public:
    bool ctrlHeld() override;
};

/// Opens addresses in the desktop's default programs.
class QtOpener : public Opener {
public:
    bool openUrl(const std::string& url) override;
};

/// A local path as a file: URL, its bytes percent-encoded, so a name that is not UTF-8 survives.
QUrl fileUrl(const std::string& rawPath);

/// Opens files in their default programs, and shows them selected in the file manager through the
/// freedesktop.org FileManager1 service, or opens their folder where no file manager answers.
class QtShell : public Shell {
public:
    void openFile(const std::string& path) override;
    void showInFileManager(const std::string& path) override;
};

} // namespace karv
