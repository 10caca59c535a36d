#include "values/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
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

std::string halfWidthText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead == 0xEF && i + 2 < text.size()) {
            // U+FF01..U+FF3F is EF BC 81..BF, U+FF40..U+FF5E is EF BD 80..9E.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            const auto third = static_cast<unsigned char>(text[i + 2]);
            unsigned code = 0;
            if (second == 0xBC && third >= 0x81 && third <= 0xBF)
                code = 0xFF00u + (third - 0x80u);
            else if (second == 0xBD && third >= 0x80 && third <= 0x9E)
                code = 0xFF40u + (third - 0x80u);
            if (code != 0) {
                out.push_back(static_cast<char>(code - 0xFEE0u));
                i += 2;
                continue;
            }
        }
        if (lead == 0xE3 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            static_cast<unsigned char>(text[i + 2]) == 0x80) {
            out.push_back(' ');
            i += 2;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::int64_t leadingInteger(std::string_view text) {
    const std::string ascii = halfWidthText(text);
    std::size_t pos = 0;
    while (pos < ascii.size() && (ascii[pos] == ' ' || ascii[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < ascii.size() && (ascii[pos] == '+' || ascii[pos] == '-'))
        negative = ascii[pos++] == '-';
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; pos < ascii.size() && ascii[pos] >= '0' && ascii[pos] <= '9'; ++pos) {
        const int digit = ascii[pos] - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace karv
