#pragma once

#include "desktop/Desktop.h"

#include <functional>
#include <string>
#include <vector>

namespace karv::test {

/// Records the questions asked and answers them from presets.
class FakeQuestioner : public Questioner {
public:
    std::vector<std::string> messages;
    std::vector<std::string> folderPrompts;
    std::string folderAnswer;
    std::function<void()> onMessage;

    void showMessage(std::string_view text, std::string_view) override {
        messages.emplace_back(text);
        if (onMessage)
            onMessage();
    }
    std::string chooseFolder(std::string_view prompt, const std::string& initialFolder) override {
        folderPrompts.emplace_back(prompt);
        lastInitialFolder = initialFolder;
        return folderAnswer;
    }
    std::string lastInitialFolder;

    std::vector<std::string> questions;
    bool yesNoAnswer = false;
    std::function<void()> onQuestion;
    bool askYesNo(std::string_view text, std::string_view) override {
        questions.emplace_back(text);
        if (onQuestion)
            onQuestion();
        return yesNoAnswer;
    }

    std::vector<std::string> okCancelQuestions;
    bool okCancelAnswer = true;
    bool askOkCancel(std::string_view text, std::string_view) override {
        okCancelQuestions.emplace_back(text);
        return okCancelAnswer;
    }

    std::vector<std::string> destructiveQuestions;
    bool destructiveAnswer = true;
    bool askDestructive(std::string_view text, std::string_view) override {
        destructiveQuestions.emplace_back(text);
        return destructiveAnswer;
    }

    std::string saveFileAnswer;
    std::string lastSaveSuffix;
    std::string chooseSaveFile(std::string_view title, std::string_view filter,
                               std::string_view defaultSuffix) override {
        fileDialogTitles.emplace_back(title);
        lastFileFilter = filter;
        lastSaveSuffix = defaultSuffix;
        return saveFileAnswer;
    }

    std::vector<std::string> fileDialogTitles;
    std::string lastFileFilter;
    std::vector<std::string> filesAnswer;
    std::vector<std::string> chooseFilesToOpen(std::string_view title, std::string_view filter) override {
        fileDialogTitles.emplace_back(title);
        lastFileFilter = filter;
        return filesAnswer;
    }
};

/// A clipboard that lives in memory.
class FakeClipboard : public Clipboard {
public:
    std::string content;
    std::vector<std::string> uris;
    std::string text() override { return content; }
    void setText(std::string_view text, const std::vector<std::string>& list = {}) override {
        content = text;
        uris = list;
    }
};

/// Modifier keys as the test sets them.
class FakeKeyboard : public Keyboard {
public:
    bool ctrl = false;
    bool ctrlHeld() override { return ctrl; }
};

/// Records the addresses instead of starting a browser.
class FakeOpener : public Opener {
public:
    std::vector<std::string> opened;
    bool works = true; ///< false: as on a desktop without a browser
    bool openUrl(const std::string& url) override {
        opened.push_back(url);
        return works;
    }
};

/// Records what would have been opened or shown in the file manager, with the clock's time.
class FakeShell : public Shell {
public:
    struct Request {
        bool open;
        std::string path;
        std::int64_t at;
    };
    std::vector<Request> requests;
    Clock* clock = nullptr;
    void openFile(const std::string& path) override {
        requests.push_back({true, path, clock ? clock->tickMs() : 0});
    }
    void showInFileManager(const std::string& path) override {
        requests.push_back({false, path, clock ? clock->tickMs() : 0});
    }
};

/// A clock that moves only when told to.
class FakeClock : public Clock {
public:
    std::int64_t now = 1000;
    std::int64_t tickMs() override { return now; }
};

} // namespace karv::test
