#include "scan/ListTexts.h"

namespace karv {

std::string listLineError(std::size_t line, std::string_view why) {
    return "列表第 " + std::to_string(line) + " 行：" + std::string(why);
}

} // namespace karv
