#include "values/PathParts.h"

namespace karv {

std::string folderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string fileNamePart(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string mainNamePart(std::string_view path) {
    std::string name = fileNamePart(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string numberedName(std::string_view name, std::uint64_t k) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string(name) + std::to_string(k);
    return std::string(name.substr(0, dot)) + std::to_string(k) + std::string(name.substr(dot));
}

} // namespace karv
