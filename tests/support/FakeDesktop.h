#pragma once

#include "platform/Desktop.h"

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
};

/// A clock that moves only when told to.
class FakeClock : public Clock {
public:
    std::int64_t now = 1000;
    std::int64_t tickMs() override { return now; }
};

} // namespace karv::test
