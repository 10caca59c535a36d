#include "values/ValueText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace karv {

namespace {

// Comparisons are made with a small tolerance so that a value equal to a limit moves on.
bool lessThan(double x, double limit) {
    return x - limit < -0.0000001;
}

// %.13g, but never in exponent form, and never "-0".
std::string shortNumber(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    if (std::strchr(buffer, 'e') != nullptr) {
        std::snprintf(buffer, sizeof buffer, "%.2f", value);
        std::string text = buffer;
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        return text;
    }
    if (std::strcmp(buffer, "-0") == 0)
        return "0";
    return buffer;
}

std::string twoDigits(int value) {
    std::string text = std::to_string(value);
    if (text.size() == 1)
        text.insert(text.begin(), '0');
    return text;
}

void replaceFirst(std::string& text, std::string_view what, const std::string& with) {
    auto pos = text.find(what);
    if (pos != std::string::npos)
        text.replace(pos, what.size(), with);
}

} // namespace

std::string twoDecimalText(double value) {
    // round() rounds half away from zero.
    return shortNumber(std::round(value * 100.0) / 100.0);
}

std::string sizeText(std::uint64_t size) {
    double value = static_cast<double>(size);
    if (lessThan(value, 1024))
        return std::to_string(size) + " B";
    static const char* const units[] = {" KB", " MB", " GB", " TB", " PB", " EB"};
    value /= 1024;
    std::size_t unit = 0;
    while (!lessThan(value, 1024) && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    return twoDecimalText(value + 0.000000000001) + units[unit];
}

std::string dateTimeText(const DateTime& value, DateTimeMode mode) {
    std::string text = mode == DateTimeMode::Both       ? "#1-#2-#3 #4:#5:#6"
                       : mode == DateTimeMode::DateOnly ? "#1-#2-#3"
                                                        : "#4:#5:#6";
    replaceFirst(text, "#1", twoDigits(value.year));
    replaceFirst(text, "#2", twoDigits(value.month));
    replaceFirst(text, "#3", twoDigits(value.day));
    replaceFirst(text, "#4", twoDigits(value.hour));
    replaceFirst(text, "#5", twoDigits(value.minute));
    replaceFirst(text, "#6", twoDigits(value.second));
    return text;
}

std::string groupedCountText(std::uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string text;
    text.reserve(digits.size() + digits.size() / 4);
    std::size_t head = digits.size() % 4;
    if (head == 0)
        head = 4;
    text.append(digits, 0, head);
    for (std::size_t pos = head; pos < digits.size(); pos += 4) {
        text.push_back(',');
        text.append(digits, pos, 4);
    }
    return text;
}

std::string elapsedText(std::int64_t milliseconds) {
    double x = static_cast<double>(milliseconds);
    if (lessThan(x, 1000))
        return twoDecimalText(x) + " 毫秒";
    x /= 1000;
    if (lessThan(x, 60))
        return twoDecimalText(x) + " 秒";
    x /= 60;
    if (lessThan(x, 60))
        return twoDecimalText(x) + " 分";
    x /= 60;
    if (lessThan(x, 24))
        return twoDecimalText(x) + " 时";
    x /= 24;
    if (lessThan(x, 30))
        return twoDecimalText(x) + " 天";
    x /= 30;
    if (lessThan(x, 12))
        return twoDecimalText(x) + " 月";
    return twoDecimalText(x / 12) + " 年";
}

int utf8SequenceLength(const unsigned char* bytes, std::size_t size, std::size_t pos) {
    const unsigned char lead = bytes[pos];
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        const std::size_t at = pos + static_cast<std::size_t>(i);
        if (at >= size)
            return -1;
        const unsigned char b = bytes[at];
        if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF))
            return 0;
    }
    return length;
}

std::size_t characterElementLength(std::string_view text, std::size_t pos) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (bytes[pos] == '\r' && pos + 1 < text.size() && bytes[pos + 1] == '\n')
        return 2;
    const int length = utf8SequenceLength(bytes, text.size(), pos);
    // A sequence cut off by the end of the text is not an element; a stray byte is one of its own.
    return length < 0 ? 0 : length == 0 ? 1 : static_cast<std::size_t>(length);
}

std::uint64_t countCharacters(std::string_view text) {
    std::uint64_t count = 0;
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80 && byte != '\r') {
            ++count;
            ++pos;
            continue;
        }
        const std::size_t length = characterElementLength(text, pos);
        if (length == 0)
            break;
        ++count;
        pos += length;
    }
    return count;
}

std::vector<std::string> splitCharacters(std::string_view text, const std::function<void()>& pump) {
    std::vector<std::string> elements;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = characterElementLength(text, pos);
        if (length == 0)
            break;
        elements.emplace_back(text.substr(pos, length));
        pos += length;
        if (pump)
            pump();
    }
    return elements;
}

} // namespace karv
