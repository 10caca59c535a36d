#include "app/AppState.h"

#include "settings/SettingsFiles.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

namespace {

std::string replaceAll(std::string text, std::string_view what, std::string_view with) {
    if (what.empty())
        return text;
    std::size_t pos = 0;
    while ((pos = text.find(what, pos)) != std::string::npos) {
        text.replace(pos, what.size(), with);
        pos += with.size();
    }
    return text;
}

bool makeFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            const std::string prefix = path.substr(0, pos);
            // Private to the user, as the XDG base directories are.
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

} // namespace

BrandTexts parseBrandPayload(std::string_view payload) {
    static constexpr std::string_view marker = "[#Karv#]";
    std::string fields[7];
    std::size_t start = 0;
    for (int index = 0; index < 7; ++index) {
        const std::size_t end = payload.find(marker, start);
        fields[index] = std::string(payload.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + marker.size();
    }
    BrandTexts brand{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
    if (brand.homeUrl.empty())
        brand.homeUrl = "http://" + brand.siteName;
    if (brand.secondUrl.empty())
        brand.secondUrl = brand.homeUrl;
    return brand;
}

std::string brandedName(std::string_view name, const BrandTexts& brand) {
    if (brand.brandWord.empty())
        return std::string(name);
    return replaceAll(std::string(name), "Karv", brand.brandWord);
}

std::string executableFolder() {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0)
        return ".";
    buffer.resize(static_cast<std::size_t>(length));
    const auto slash = buffer.rfind('/');
    return slash == 0 ? std::string("/") : buffer.substr(0, slash);
}

std::string installedMarkerPath(const std::string& exeFolder) {
    return exeFolder + "/" + KARV_INSTALLED_MARKER;
}

std::string programDataFolder(const std::string& exeFolder) {
    struct stat marker {};
    const bool installed = ::stat(installedMarkerPath(exeFolder).c_str(), &marker) == 0;
    if (!installed && !exeFolder.empty() && ::access(exeFolder.c_str(), W_OK) == 0)
        return exeFolder;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    std::string folder = base + "/" + std::string(kDefaultProgramName);
    makeFolders(folder);
    return folder;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The path of a local file:// URL as bytes (names need not be UTF-8); empty for another host.
std::string pathOfFileUrl(std::string_view url) {
    std::string_view rest = url.substr(7); // after "file://"
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return {};
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return {};
    rest = rest.substr(slash);
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 &&
            hexDigit(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2])));
            i += 2;
        } else {
            path.push_back(rest[i]);
        }
    }
    return path;
}

} // namespace

std::string commandLineFolder(const std::vector<std::string>& arguments, const std::string& currentFolder) {
    if (arguments.empty() || arguments[0].empty())
        return {};
    const std::string& argument = arguments[0];
    std::string path;
    if (argument.size() >= 7 && argument.compare(0, 7, "file://") == 0)
        path = pathOfFileUrl(argument);
    else if (argument[0] == '/')
        path = argument;
    else if (!currentFolder.empty())
        path = currentFolder + (currentFolder.ends_with('/') ? "" : "/") + argument;
    // A NUL from "%00" would cut the name short and name another folder.
    if (path.empty() || path.find('\0') != std::string::npos)
        return {};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void initialiseAppState(AppState& state, const std::string& brandingFolder, const std::string& dataFolder) {
    state.programName = std::string(kDefaultProgramName);
    std::string payload;
    // A regular file only: a named pipe there must not hold up the start. The payload holds image
    // bytes, so it is taken as it is.
    if (settingsio::readWholeFile(brandingFolder + "/karv.rc", payload)) {
        state.brandTexts = parseBrandPayload(payload);
        state.programName = brandedName(state.programName, state.brandTexts);
    }
    state.dataFolder = dataFolder;
    state.settingsFilePath = dataFolder + "/" + state.programName + ".ini";
}

std::string windowTitle(const AppState& state) {
    return brandedName(std::string(kDefaultProgramName) + " v" + std::string(kProgramVersion),
                       state.brandTexts);
}

} // namespace karv
