#include "SettingsMessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace karv {

namespace {

// The second message carries the whole settings file; a message box cannot show megabytes.
constexpr qsizetype kMaxShownCharacters = 20000;

} // namespace

SettingsMessageSink settingsMessageBoxes(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    return [owner](const SettingsMessage& message) {
        QString text = QString::fromStdString(message.text);
        if (text.size() > kMaxShownCharacters)
            text = text.left(kMaxShownCharacters) + QStringLiteral("…");
        QMessageBox box(message.exclamationIcon ? QMessageBox::Warning : QMessageBox::NoIcon,
                        QString::fromStdString(message.caption), text, QMessageBox::Ok, owner.data());
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    };
}

EventPump qtEventPump() {
    return [] {
        QCoreApplication::processEvents();
    };
}

} // namespace karv
