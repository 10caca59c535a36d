#include "settings/SettingsFormat.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace karv {

namespace {

std::string replaceAll(std::string_view text, std::string_view what, std::string_view with) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(what, start);
        if (pos == std::string_view::npos)
            break;
        out.append(text.substr(start, pos - start));
        out.append(with);
        start = pos + what.size();
    }
    out.append(text.substr(start));
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Power of ten of the first significant digit of a plain decimal number ("0.005e3" -> 0). Out of
// range, its sign tells an overflow from an underflow.
long long decimalExponent(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t pos = e + 1;
        bool negative = false;
        if (pos < number.size() && (number[pos] == '+' || number[pos] == '-'))
            negative = number[pos++] == '-';
        for (; pos < number.size() && isDigit(number[pos]); ++pos) {
            if (exponent < 1000000000000LL) // far beyond any double; stop before overflowing
                exponent = exponent * 10 + (number[pos] - '0');
        }
        if (negative)
            exponent = -exponent;
    }
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t dot = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : mantissa.substr(dot + 1);
    if (const std::size_t first = whole.find_first_not_of('0'); first != std::string_view::npos)
        return exponent + static_cast<long long>(whole.size() - first - 1);
    const std::size_t first = fraction.find_first_not_of('0');
    if (first == std::string_view::npos)
        return 0;
    return exponent - static_cast<long long>(first + 1);
}

std::int32_t itemValueFromText(std::string_view text) {
    const double number = settingsNumberFromText(text);
    // Stored values are 32-bit; anything else is clamped rather than overflowing the conversion.
    if (number >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (number <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(number);
}

} // namespace

std::string escapeLineBreaks(std::string_view text) {
    return replaceAll(text, kLineBreak, kLineBreakMark);
}

std::string unescapeLineBreaks(std::string_view text) {
    return replaceAll(text, kLineBreakMark, kLineBreak);
}

std::string settingsFlagText(bool value) {
    return std::string(value ? kTrueText : kFalseText);
}

bool settingsFlagFromText(std::string_view text) {
    return text == kTrueText;
}

std::string settingsNumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    if (result.ec != std::errc())
        return "0";
    return std::string(buffer, result.ptr);
}

double settingsNumberFromText(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t start = pos;
    std::size_t end = pos;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    std::size_t digits = end - start;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fraction = end + 1;
        std::size_t fractionEnd = fraction;
        while (fractionEnd < text.size() && isDigit(text[fractionEnd]))
            ++fractionEnd;
        if (digits > 0 || fractionEnd > fraction) {
            digits += fractionEnd - fraction;
            end = fractionEnd;
        }
    }
    if (digits == 0)
        return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exp = end + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        if (exp < text.size() && isDigit(text[exp])) {
            while (exp < text.size() && isDigit(text[exp]))
                ++exp;
            end = exp;
        }
    }
    std::string number(text.substr(start, end - start));
    // from_chars wants "0.5", not ".5".
    if (!number.empty() && number.front() == '.')
        number.insert(number.begin(), '0');
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = decimalExponent(number) < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    else if (result.ec != std::errc())
        value = 0;
    return negative ? -value : value;
}

std::vector<std::string> splitItemPieces(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(separator, start);
        if (pos == std::string_view::npos)
            break;
        pieces.emplace_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
    if (start < text.size())
        pieces.emplace_back(text.substr(start));
    return pieces;
}

std::string itemListText(const std::vector<SettingsListItem>& items, bool withCheckedState) {
    std::string out;
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (index > 0)
            out.append(kItemSeparator);
        out.append(items[index].text);
        out.append(kFieldSeparator);
        out.append(std::to_string(items[index].value));
        if (withCheckedState) {
            out.append(kFieldSeparator);
            out.append(settingsFlagText(items[index].checked));
        }
    }
    return out;
}

std::vector<SettingsListItem> parseItemList(std::string_view text) {
    std::vector<SettingsListItem> items;
    for (const std::string& piece : splitItemPieces(text, kItemSeparator)) {
        const std::vector<std::string> fields = splitItemPieces(piece, kFieldSeparator);
        SettingsListItem item;
        if (!fields.empty())
            item.text = fields[0];
        if (fields.size() > 1)
            item.value = itemValueFromText(fields[1]);
        if (fields.size() > 2)
            item.checked = settingsFlagFromText(fields[2]);
        items.push_back(std::move(item));
    }
    return items;
}

bool headerStartsLine(std::string_view image, std::size_t pos) {
    if (pos == 0)
        return true;
    return pos >= 2 && image[pos - 2] == '\r' && image[pos - 1] == '\n';
}

std::optional<std::size_t> headerBetween(std::string_view image, std::size_t from, std::size_t to) {
    static constexpr std::string_view lineStart = "\r\n[";
    static constexpr std::string_view lineEnd = "]\r\n";
    std::size_t closing = std::string_view::npos; // first "]" CR LF at or after the current "["
    bool closingKnown = false;
    std::size_t searchFrom = from;
    while (searchFrom <= image.size()) {
        const std::size_t crlf = image.find(lineStart, searchFrom);
        if (crlf == std::string_view::npos || crlf >= to)
            return std::nullopt;
        const std::size_t h = crlf + 2;
        // Remembering the last "]" CR LF keeps a file full of "[" lines linear instead of quadratic.
        if (!closingKnown || closing == std::string_view::npos || closing < h) {
            closing = image.find(lineEnd, h);
            closingKnown = true;
        }
        if (closing == std::string_view::npos)
            return std::nullopt; // no later "[" can have a closing either
        if (closing > to)
            return std::nullopt;
        const std::size_t inner = image.find(kLineBreak, h);
        if (inner == std::string_view::npos || inner >= closing)
            return h;
        searchFrom = h;
    }
    return std::nullopt;
}

std::optional<ValueSpan> findKeyValue(std::string_view image, std::size_t headerEnd, std::string_view key) {
    std::string pattern;
    pattern.reserve(key.size() + 3);
    pattern.append(kLineBreak).append(key).push_back('=');
    const std::size_t found = image.find(pattern, headerEnd);
    if (found == std::string_view::npos)
        return std::nullopt;
    const std::size_t keyStart = found + 2;
    if (headerBetween(image, headerEnd + 1, keyStart - 1))
        return std::nullopt;
    const std::size_t valueStart = keyStart + key.size() + 1;
    const std::size_t end = image.find(kLineBreak, valueStart);
    const std::size_t valueEnd = end == std::string_view::npos ? image.size() : end;
    return ValueSpan{valueStart, valueEnd - valueStart};
}

std::size_t keyInsertionPoint(std::string_view image, std::size_t headerEnd) {
    const std::size_t next = image.find("\r\n[", headerEnd);
    return next == std::string_view::npos ? image.size() : next;
}

bool isStorableSectionName(std::string_view name) {
    return name.find_first_of("\r\n]") == std::string_view::npos;
}

bool isStorableKey(std::string_view key) {
    return key.find_first_of("\r\n=") == std::string_view::npos && (key.empty() || key.front() != '[');
}

bool isByteValueName(std::string_view name) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

ControlKind controlKindOf(std::string_view name) {
    struct Prefix {
        std::string_view text;
        ControlKind kind;
    };
    // First matching row wins, in this order.
    static constexpr Prefix table[] = {
        {"按钮", ControlKind::Button},
        {"编辑框", ControlKind::EditBox},
        {"选择框", ControlKind::CheckBox},
        {"单选框", ControlKind::RadioButton},
        {"组合框", ControlKind::ComboBox},
        {"列表框", ControlKind::ListBox},
        {"选择列表框", ControlKind::CheckListBox},
        {"颜色选择器", ControlKind::ColourPicker},
        {"通用对话框", ControlKind::CommonDialog},
    };
    for (const Prefix& prefix : table) {
        if (name.substr(0, prefix.text.size()) == prefix.text)
            return prefix.kind;
    }
    return ControlKind::None;
}

} // namespace karv
