#include "platform/QtDesktop.h"

#include "files/FileOps.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace karv {

QString pathToQt(const std::string& rawPath) {
    return QFile::decodeName(QByteArray::fromStdString(rawPath));
}

std::string pathFromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString chooserStartFolder(const std::string& remembered) {
    // The folder remembered, or the nearest one above it that is still there.
    QString folder = pathToQt(remembered);
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).path();
        if (up == folder)
            break;
        folder = up;
    }
    // Never the folder the program happened to be started in.
    return !remembered.empty() && QFileInfo(folder).isDir() ? QFileInfo(folder).absoluteFilePath()
                                                            : QDir::homePath();
}

void QtQuestioner::showMessage(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::Ok, m_parent);
    box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string QtQuestioner::chooseFolder(std::string_view prompt, const std::string& initialFolder) {
    const QString folder =
        QFileDialog::getExistingDirectory(m_parent, qs(prompt), chooserStartFolder(initialFolder));
    return folder.isEmpty() ? std::string() : pathFromQt(folder);
}

bool QtQuestioner::askYesNo(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    // The buttons speak the interface's language even where Qt's translations are not installed.
    box.button(QMessageBox::Yes)->setText(QString::fromUtf8("是"));
    box.button(QMessageBox::No)->setText(QString::fromUtf8("否"));
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

std::vector<std::string> QtQuestioner::chooseFilesToOpen(std::string_view title, std::string_view filter) {
    const QStringList files =
        QFileDialog::getOpenFileNames(m_parent, qs(title), QString(), qtFileFilter(filter));
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(files.size()));
    for (const QString& file : files)
        paths.push_back(pathFromQt(file));
    return paths;
}

bool QtQuestioner::askOkCancel(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
    box.button(QMessageBox::Cancel)->setText(QString::fromUtf8("取消"));
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

bool QtQuestioner::askDestructive(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Warning, qs(title), qs(text), QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
    box.button(QMessageBox::Cancel)->setText(QString::fromUtf8("取消"));
    // Enter and Esc both keep the files; only a deliberate click on 确定 goes ahead.
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

std::string QtQuestioner::chooseSaveFile(std::string_view title, std::string_view filter,
                                         std::string_view defaultSuffix) {
    QFileDialog dialog(m_parent, qs(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(qtFileFilter(filter));
    dialog.setDefaultSuffix(qs(defaultSuffix));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return pathFromQt(dialog.selectedFiles().front());
}

QString qtFileFilter(std::string_view filter) {
    const QStringList parts = qs(filter).split('|');
    QStringList entries;
    for (qsizetype index = 0; index + 1 < parts.size(); index += 2) {
        const QString patterns = "(" + parts[index + 1].split(';', Qt::SkipEmptyParts).join(' ') + ")";
        // A caption that already names its patterns, as "文本文件(*.txt)", is shown as it is.
        const QString caption = parts[index].trimmed();
        entries << (caption.endsWith(patterns) ? caption : caption + " " + patterns);
    }
    return entries.join(";;");
}

std::string QtClipboard::text() {
    return us(QGuiApplication::clipboard()->text());
}

void QtClipboard::setText(std::string_view text, const std::vector<std::string>& uris) {
    auto* data = new QMimeData;
    data->setText(qs(text));
    if (!uris.empty()) {
        // Set as bytes, so the percent-encoding of names that are not UTF-8 reaches the reader as is.
        QByteArray list;
        for (const std::string& uri : uris)
            list.append(uri.data(), static_cast<qsizetype>(uri.size())).append("\r\n");
        data->setData(QStringLiteral("text/uri-list"), list);
    }
    QGuiApplication::clipboard()->setMimeData(data);
}

bool QtKeyboard::ctrlHeld() {
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

QUrl fileUrl(const std::string& rawPath) {
    return QUrl::fromEncoded(QByteArray::fromStdString("file://" + files::encodePathForUrl(rawPath)));
}

void QtShell::openFile(const std::string& path) {
    QDesktopServices::openUrl(fileUrl(path));
}

void QtShell::showInFileManager(const std::string& path) {
    QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"),
                           QStringLiteral("/org/freedesktop/FileManager1"),
                           QStringLiteral("org.freedesktop.FileManager1"), QDBusConnection::sessionBus());
    if (manager.isValid()) {
        const QDBusMessage reply =
            manager.call(QStringLiteral("ShowItems"),
                         QStringList{QString::fromLatin1(fileUrl(path).toEncoded())}, QString());
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    QDesktopServices::openUrl(fileUrl(files::folderOf(path)));
}

bool QtOpener::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(qs(url)));
}

} // namespace karv
