#include "values/Numbers.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace karv {

double leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    std::size_t end = pos;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    const std::size_t digitsStart = end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
    }
    if (end == digitsStart || (end == digitsStart + 1 && text[digitsStart] == '.'))
        return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exp = end + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        if (exp < text.size() && text[exp] >= '0' && text[exp] <= '9') {
            while (exp < text.size() && text[exp] >= '0' && text[exp] <= '9')
                ++exp;
            end = exp;
        }
    }
    // strtod saturates to ±HUGE_VAL on overflow, which is what a comparison with a bound wants.
    const std::string number(text.substr(pos, end - pos));
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isnan(value) ? 0 : value;
}

} // namespace karv
