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

/// The program's configuration, shared by every window: its name, branding, data folder and settings
/// file. Created before the main window and released at exit; what a run needs travels with the run.
struct AppState {
    std::string programName = std::string(kDefaultProgramName);
    std::string settingsFilePath;
    BrandTexts brandTexts;
    std::string dataFolder; ///< where the settings file, "inibin" and the logs live
};

/// The folder of the running executable (from /proc/self/exe), without a trailing "/".
std::string executableFolder();

/// The file that an install (cmake --install, the Debian package) puts at a fixed place relative to
/// the executables: the CLI's manual page, e.g. "<bin>/../share/man/man1/karv-tessil-cli.1.gz".
std::string installedMarkerPath(const std::string& executableFolder);

/// Where the program keeps its files: the executable's folder when it is writable and not an
/// installed one (a portable copy), otherwise $XDG_CONFIG_HOME/Karv·Tessil (default
/// ~/.config/Karv·Tessil), created when missing. An installed program never writes beside itself,
/// even where it may (root in /usr/bin, a user's own ~/.local/bin).
std::string programDataFolder(const std::string& executableFolder);

/// The folder handed to the window program on its command line, as "Open with" on a folder does
/// (a path, or a local file:// URL), made absolute against `currentFolder`. Only the first argument
/// is read; empty when it names no existing folder. The result becomes the start button's
/// remembered folder, so the folder chooser opens on it.
std::string commandLineFolder(const std::vector<std::string>& arguments, const std::string& currentFolder);

/// Start-up steps before the main window: the program name, the branding file read from
/// `brandingFolder`, the data folder and the settings file path.
void initialiseAppState(AppState& state, const std::string& brandingFolder, const std::string& dataFolder);

/// The main window's title: "Karv·Tessil v1.6.0.0", with the brand word in place of "Karv".
std::string windowTitle(const AppState& state);

} // namespace karv
