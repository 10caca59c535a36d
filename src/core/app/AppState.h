#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

inline constexpr std::string_view kDefaultProgramName = "Karv·Tessil";
inline constexpr std::string_view kProgramVersion = "1.6.0.0";

/// The seven fields of the optional branding file "karv.rc"; all empty without one.
struct BrandTexts {
    std::string brandWord;
    std::string contactId;
    std::string siteName;
    std::string homeUrl;
    std::string secondUrl;
    std::string bannerImage; ///< image file bytes
    std::string logoImage;   ///< image file bytes
};

/// Splits a branding payload at "[#Karv#]" into the seven fields (extra fields ignored, missing ones
/// empty) and applies the fall-backs: an empty home URL becomes "http://" + site name, an empty
/// second URL the home URL.
BrandTexts parseBrandPayload(std::string_view payload);

/// The program's display name with every "Karv" replaced by the brand word, when there is one.
std::string brandedName(std::string_view name, const BrandTexts& brand);

/// The state the whole application shares, created before the main window and released at exit.
/// Only the user-interface thread touches it, so there is no locking.
struct AppState {
    std::string programName = std::string(kDefaultProgramName);
    std::string settingsFilePath;
    BrandTexts brandTexts;
    std::string dataFolder; ///< where the settings file, "inibin" and the logs live

    /// True when no long operation runs, or when the running one was asked to stop.
    bool operationIdle = false;
    std::string scanRoot;
    std::int64_t scanStartTick = 0;
    std::string statusActivity;
    std::string contentFilterText;
    std::vector<std::string> contentTerms;
    /// Files of the current run for which a wildcard or regular expression gave up at its limit
    /// (and so counted as no match), and the first of them.
    std::uint64_t expressionLimitFiles = 0;
    std::string expressionLimitFirst;
    std::vector<std::string> droppedPaths;
};

/// The folder of the running executable (from /proc/self/exe), without a trailing "/".
std::string executableFolder();

/// Where the program keeps its files: the executable's folder when it is writable (a portable
/// install), otherwise $XDG_CONFIG_HOME/Karv·Tessil (default ~/.config/Karv·Tessil), created when
/// missing.
std::string programDataFolder(const std::string& executableFolder);

/// Start-up steps before the main window: the program name, the branding file read from
/// `brandingFolder`, the data folder and the settings file path.
void initialiseAppState(AppState& state, const std::string& brandingFolder, const std::string& dataFolder);

/// The main window's title: "Karv·Tessil v1.6.0.0", with the brand word in place of "Karv".
std::string windowTitle(const AppState& state);

} // namespace karv
