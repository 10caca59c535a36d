#include "app/AppState.h"
#include "gui/MainWindow.h"
#include "platform/QtDesktop.h"
#include "platform/SettingsMessageBox.h"
#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

/// The few texts of Qt's file dialogs that its own Chinese catalogue lacks (the file-type column).
class MissingQtTexts : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        static const char* const texts[][2] = {
            {"Folder", "文件夹"},     {"Drive", "驱动器"}, {"Unknown", "未知"},
            {"Shortcut", "快捷方式"}, {"Alias", "替身"},
        };
        for (const auto& [english, chinese] : texts)
            if (qstrcmp(sourceText, english) == 0)
                return QString::fromUtf8(chinese);
        return QString();
    }
};

} // namespace

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool headlessPlatform = platform != nullptr && platform[0] != '\0';
    if (!headlessPlatform && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fputs("karv-tessil: no display found (set DISPLAY or WAYLAND_DISPLAY, or run it under Xvfb)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // Qt's own texts (file dialogs, edit menus) in the interface's language.
    // File types in those dialogs follow the default locale.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    QTranslator qtTexts;
    if (qtTexts.load(chinese, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    MissingQtTexts missingQtTexts;
    QApplication::installTranslator(&missingQtTexts);

    karv::AppState state;
    const std::string exeFolder = karv::executableFolder();
    karv::initialiseAppState(state, exeFolder, karv::programDataFolder(exeFolder));
    QApplication::setApplicationName(karv::qs(state.programName));

    // The store outlives every window; its lock on the settings file is held until exit.
    karv::SettingsStore settings(karv::qtEventPump(), karv::settingsMessageBoxes());
    settings.openStore(state.settingsFilePath);

    karv::QtQuestioner questioner;
    karv::SteadyClock clock;
    karv::MainWindow window(state, questioner, clock, nullptr, &settings);
    questioner.setParent(&window);
    window.show();
    return app.exec();
}
