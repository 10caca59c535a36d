#include "values/Numbers.h"

#include <charconv>
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
    // from_chars ignores the locale (the windows run with the user's, where "," may be the decimal
    // mark). Out of range: saturate, which is what a comparison with a bound wants.
    const char* first = text.data() + pos;
    const char* last = text.data() + end;
    if (*first == '+')
        ++first;
    double value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        const bool negative = *first == '-';
        // Too small to represent rounds to zero; too large saturates.
        std::size_t e = std::string_view(first, static_cast<std::size_t>(last - first)).find_first_of("eE");
        const bool tiny = e != std::string_view::npos && first[e + 1] == '-';
        if (tiny)
            return 0;
        return negative ? -HUGE_VAL : HUGE_VAL;
    }
    if (result.ec != std::errc())
        return 0;
    return std::isnan(value) ? 0 : value;
}

} // namespace karv
