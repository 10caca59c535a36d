#include "platform/QtDesktop.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace karv {

QString pathToQt(const std::string& rawPath) {
    return QFile::decodeName(QByteArray::fromStdString(rawPath));
}

std::string pathFromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void QtQuestioner::showMessage(std::string_view text, std::string_view title) {
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::Ok, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string QtQuestioner::chooseFolder(std::string_view prompt, const std::string& initialFolder) {
    const QString folder = QFileDialog::getExistingDirectory(m_parent, qs(prompt), pathToQt(initialFolder));
    return folder.isEmpty() ? std::string() : pathFromQt(folder);
}

bool QtOpener::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(qs(url)));
}

} // namespace karv
