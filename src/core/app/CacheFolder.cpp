#include "app/CacheFolder.h"

#include "app/AppState.h"

#include <cstdlib>

namespace karv {

std::string cacheFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        base = std::string(home) + "/.cache";
    else
        return {};
    return base + "/" + std::string(kDefaultProgramName);
}

} // namespace karv
