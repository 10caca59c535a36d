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
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

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
