#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
    /// A Yes/No question with the information icon; true for Yes. The default answers No, so a
    /// front end that cannot ask never confirms anything by accident.
    virtual bool askYesNo(std::string_view text, std::string_view title = kDefaultMessageTitle);
    /// An OK/Cancel question; true for OK. The default cancels.
    virtual bool askOkCancel(std::string_view text, std::string_view title = kDefaultMessageTitle);
    /// An OK/Cancel question before something that cannot be undone: the warning icon, and Cancel
    /// as the button Enter presses. True for OK; the default cancels.
    virtual bool askDestructive(std::string_view text, std::string_view title = kDefaultMessageTitle);
    /// The open-files dialog with several files selectable. `filter` lists "caption|patterns"
    /// pairs joined by "|" (patterns separated by ";"). Empty when cancelled; the default chooses
    /// nothing.
    virtual std::vector<std::string> chooseFilesToOpen(std::string_view title, std::string_view filter);
    /// The save-file dialog; `defaultSuffix` is added to a typed name without one. Empty when
    /// cancelled; the default chooses nothing.
    virtual std::string chooseSaveFile(std::string_view title, std::string_view filter,
                                       std::string_view defaultSuffix);
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

/// The desktop's clipboard.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    /// Empty when the clipboard holds no text.
    virtual std::string text() = 0;
    /// Replaces the content by `text`, and when `uris` is not empty also by that list of file URLs
    /// (offered as text/uri-list, for programs that take files rather than text).
    virtual void setText(std::string_view text, const std::vector<std::string>& uris = {}) = 0;
};

/// The keyboard state at the moment of asking (not at the moment an event was queued).
class Keyboard {
public:
    virtual ~Keyboard() = default;
    virtual bool ctrlHeld() = 0;
};

/// What the program opens through the desktop: files, folders and web addresses.
class Opener {
public:
    virtual ~Opener() = default;
    virtual bool openUrl(const std::string& url) = 0;
};

/// Files handed to the desktop: opened in their default programs, or shown selected in the file
/// manager. Failures are the desktop's to show; the program reports none.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void openFile(const std::string& path) = 0;
    virtual void showInFileManager(const std::string& path) = 0;
};

} // namespace karv
