#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace karv {

inline constexpr std::string_view kDefaultMessageTitle = "信息：";

/// The modal questions the logic asks. The windows answer with real dialogs; the tests with a fake
/// that records the question and returns a preset answer.
class Questioner {
public:
    virtual ~Questioner() = default;
    /// An application-modal message box.
    virtual void showMessage(std::string_view text, std::string_view title = kDefaultMessageTitle) = 0;
    /// The folder chooser: `prompt` as its title, opened on `initialFolder`. Empty when cancelled.
    virtual std::string chooseFolder(std::string_view prompt, const std::string& initialFolder) = 0;
};

/// A steady millisecond clock, replaceable in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t tickMs() = 0;
};

/// The system's steady clock.
class SteadyClock : public Clock {
public:
    std::int64_t tickMs() override;
};

/// What the program opens through the desktop: files, folders and web addresses.
class Opener {
public:
    virtual ~Opener() = default;
    virtual bool openUrl(const std::string& url) = 0;
};

} // namespace karv
