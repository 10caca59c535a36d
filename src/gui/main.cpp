#include "app/AppState.h"
#include "gui/MainListFiles.h"
#include "gui/MainWindow.h"
#include "platform/QtDesktop.h"
#include "platform/SettingsMessageBox.h"
#include "settings/SettingsStore.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
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

int g_signalPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

/// SIGTERM (logout, shutdown, kill), SIGHUP and SIGINT close the windows as the user would, so the
/// control states are saved and a running batch stops after its current file. A second signal of
/// the same kind ends the process at once, for a program that no longer answers.
void closeWindowsOnSignals(QObject* owner) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool headlessPlatform = platform != nullptr && platform[0] != '\0';
    if (!headlessPlatform && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fputs("karv-tessil: no display found (set DISPLAY or WAYLAND_DISPLAY, or run it under Xvfb)\n",
                   stderr);
        return 1;
    }
    // The arguments read are a folder from "Open with" (Exec=karv-tessil %f) or "--load FILE", a
    // saved list; Qt sees none, so a folder whose name looks like a Qt option (-style, -platform …)
    // is still just a folder.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string listToLoad;
    if (arguments.size() >= 2 && arguments[0] == "--load") {
        listToLoad = arguments[1];
        arguments.clear();
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.karvtessil.KarvTessil"));
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
    // After the restore, so the folder handed over wins over the one remembered from last time.
    char* current = ::getcwd(nullptr, 0);
    const std::string opened = karv::commandLineFolder(arguments, current != nullptr ? current : "");
    std::free(current);
    if (!opened.empty())
        window.setStartTag(opened);
    questioner.setParent(&window);
    closeWindowsOnSignals(&app);
    window.show();
    if (!listToLoad.empty())
        if (auto* listFiles = window.findChild<karv::MainListFiles*>())
            listFiles->loadList(listToLoad);
    return app.exec();
}
