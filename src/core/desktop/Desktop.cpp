#include "desktop/Desktop.h"

#include <chrono>

namespace karv {

bool Questioner::askYesNo(std::string_view, std::string_view) {
    return false;
}

bool Questioner::askOkCancel(std::string_view, std::string_view) {
    return false;
}

bool Questioner::askDestructive(std::string_view, std::string_view) {
    return false;
}

std::vector<std::string> Questioner::chooseFilesToOpen(std::string_view, std::string_view) {
    return {};
}

std::string Questioner::chooseSaveFile(std::string_view, std::string_view, std::string_view) {
    return {};
}

std::int64_t SteadyClock::tickMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace karv
