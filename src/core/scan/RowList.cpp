#include "scan/RowList.h"

#include "scan/ListTexts.h"
#include "text/NameText.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <optional>

namespace karv {

namespace {

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/// A value of a list line: text, or a whole number kept as written until its key says its range.
struct Value {
    bool number = false;
    std::string text;
};

/// One flat JSON object of strings and whole numbers; anything else is refused, never guessed.
class LineParser {
public:
    explicit LineParser(std::string_view line) : m_s(line) {}

    bool object(std::map<std::string, Value>& fields, std::string_view& why) {
        blanks();
        if (!take('{'))
            return fail(kListNotAnObject, why);
        blanks();
        if (take('}'))
            return end(why);
        for (;;) {
            std::string key;
            Value value;
            blanks();
            if (!text(key, why))
                return false;
            blanks();
            if (!take(':'))
                return fail(kListBadSyntax, why);
            blanks();
            if (!this->value(value, why))
                return false;
            if (!fields.emplace(std::move(key), std::move(value)).second)
                return fail(kListBadSyntax, why); // a key given twice: which one would count?
            blanks();
            if (take('}'))
                return end(why);
            if (!take(','))
                return fail(kListBadSyntax, why);
        }
    }

private:
    bool fail(std::string_view reason, std::string_view& why) {
        why = reason;
        return false;
    }
    bool end(std::string_view& why) {
        blanks();
        return m_i == m_s.size() || fail(kListBadSyntax, why);
    }
    void blanks() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\r'))
            ++m_i;
    }
    bool take(char c) {
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }

    bool value(Value& value, std::string_view& why) {
        if (m_i < m_s.size() && m_s[m_i] == '"')
            return text(value.text, why);
        const std::size_t from = m_i;
        take('-');
        const std::size_t digits = m_i;
        while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
            ++m_i;
        if (m_i == digits)
            return fail(kListBadSyntax, why);
        // Whole numbers only, written as JSON writes them: no leading zero, fraction or exponent.
        if ((m_s[digits] == '0' && m_i - digits > 1) ||
            (m_i < m_s.size() && (m_s[m_i] == '.' || m_s[m_i] == 'e' || m_s[m_i] == 'E')))
            return fail(kListBadNumber, why);
        value.number = true;
        value.text = std::string(m_s.substr(from, m_i - from));
        return true;
    }

    bool hex4(unsigned& code) {
        if (m_s.size() - m_i < 4)
            return false;
        const auto [end, error] = std::from_chars(m_s.data() + m_i, m_s.data() + m_i + 4, code, 16);
        if (error != std::errc() || end != m_s.data() + m_i + 4)
            return false;
        m_i += 4;
        return true;
    }

    bool escape(std::string& out) {
        if (m_i >= m_s.size())
            return false;
        const char c = m_s[m_i++];
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const auto at = kFrom.find(c); at != std::string_view::npos && c != 'u') {
            out.push_back(kTo[at]);
            return true;
        }
        unsigned code = 0;
        if (c != 'u' || !hex4(code))
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
        }
        appendUtf8(out, code);
        return true;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    bool text(std::string& out, std::string_view& why) {
        if (!take('"'))
            return fail(kListBadSyntax, why);
        for (;;) {
            if (m_i >= m_s.size())
                return fail(kListBadSyntax, why);
            const char c = m_s[m_i++];
            if (c == '"')
                break;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail(kListBadSyntax, why);
            if (c != '\\')
                out.push_back(c);
            else if (!escape(out))
                return fail(kListBadSyntax, why);
        }
        return isValidUtf8(out) || fail(kListBadText, why);
    }

    std::string_view m_s;
    std::size_t m_i = 0;
};

template <typename Number>
bool numberOf(const std::map<std::string, Value>& fields, const char* key, Number& out, bool& present) {
    const auto found = fields.find(key);
    present = found != fields.end();
    if (!present)
        return true;
    const std::string& t = found->second.text;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), out);
    return found->second.number && error == std::errc() && end == t.data() + t.size();
}

bool textOf(const std::map<std::string, Value>& fields, const char* key, std::string& out) {
    const auto found = fields.find(key);
    if (found == fields.end())
        return true;
    out = found->second.text;
    return !found->second.number;
}

/// The identity stamp of a line: all five numbers or none, the folder's two only with them.
bool readStamp(const std::map<std::string, Value>& fields, RowStamp& stamp, std::string_view& why) {
    bool has[7] = {};
    if (!numberOf(fields, "dev", stamp.device, has[0]) || !numberOf(fields, "ino", stamp.inode, has[1]) ||
        !numberOf(fields, "size", stamp.size, has[2]) ||
        !numberOf(fields, "mtime_ns", stamp.modifiedNs, has[3]) ||
        !numberOf(fields, "ctime_ns", stamp.changedNs, has[4]) ||
        !numberOf(fields, "dir_dev", stamp.folderDevice, has[5]) ||
        !numberOf(fields, "dir_ino", stamp.folderInode, has[6])) {
        why = kListBadNumber;
        return false;
    }
    stamp.known = has[0];
    stamp.folderKnown = has[5];
    if (has[1] != has[0] || has[2] != has[0] || has[3] != has[0] || has[4] != has[0] || has[6] != has[5] ||
        (has[5] && !has[0])) {
        why = kListPartialStamp;
        return false;
    }
    return true;
}

bool readPath(const std::map<std::string, Value>& fields, ResultRow& row, std::string_view& why) {
    std::string path;
    if (const auto bytes = fields.find("path_bytes"); bytes != fields.end()) {
        if (bytes->second.number || !base64Decode(bytes->second.text, path) || path.empty() ||
            path.find('\0') != std::string::npos) {
            why = kListBadPathBytes;
            return false;
        }
    } else if (!textOf(fields, "path", path) || path.empty() || path.find('\0') != std::string::npos ||
               path.back() == '/') {
        why = kListNoPath;
        return false;
    }
    const auto slash = path.rfind('/');
    row.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    row.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (row.name.empty()) {
        why = kListBadPathBytes;
        return false;
    }
    return true;
}

} // namespace

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                out += buffer;
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
    return out;
}

std::string base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t chunk = 0;
        for (std::size_t k = 0; k < 3; ++k)
            chunk = (chunk << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out.push_back(k <= n ? kBase64[(chunk >> (18 - 6 * k)) & 0x3F] : '=');
    }
    return out;
}

bool base64Decode(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        // Padding only at the very end: "xx==" or "xxx=".
        std::size_t padding = 0;
        if (i + 4 == text.size() && text[i + 3] == '=')
            padding = text[i + 2] == '=' ? 2 : 1;
        std::uint32_t chunk = 0;
        for (std::size_t k = 0; k < 4 - padding; ++k) {
            const auto at = kBase64.find(text[i + k]);
            if (at == std::string_view::npos)
                return false;
            chunk = (chunk << 6) | static_cast<std::uint32_t>(at);
        }
        chunk <<= 6 * padding;
        // One spelling per byte sequence: the bits after the last byte must be zero.
        if ((chunk & ((1u << (8 * padding)) - 1)) != 0)
            return false;
        for (std::size_t k = 0; k < 3 - padding; ++k)
            bytes.push_back(static_cast<char>((chunk >> (16 - 8 * k)) & 0xFF));
    }
    return true;
}

std::string rowListLine(const ResultRow& row) {
    const std::string path = row.path();
    std::string line =
        "{\"文件名\":" + jsonQuoted(displayText(row.name)) + ",\"文件大小\":" + jsonQuoted(row.sizeText) +
        ",\"文件时间\":" + jsonQuoted(row.timeText) + ",\"内容字数\":" + jsonQuoted(row.countText) +
        ",\"所在目录\":" + jsonQuoted(displayText(row.folder)) + ",\"path\":" + jsonQuoted(displayText(path));
    if (row.group != 0)
        line += ",\"group\":" + std::to_string(row.group);
    // Which copy stays and whether the contents were compared: the delete question warns by them.
    if (row.kept)
        line += ",\"kept\":1";
    if (row.weakMatch)
        line += ",\"weak_match\":1";
    const RowStamp& s = row.stamp;
    if (s.known)
        line += ",\"dev\":" + std::to_string(s.device) + ",\"ino\":" + std::to_string(s.inode) +
                ",\"size\":" + std::to_string(s.size) + ",\"mtime_ns\":" + std::to_string(s.modifiedNs) +
                ",\"ctime_ns\":" + std::to_string(s.changedNs);
    if (s.known && s.folderKnown)
        line += ",\"dir_dev\":" + std::to_string(s.folderDevice) +
                ",\"dir_ino\":" + std::to_string(s.folderInode);
    // The shown path of a GBK name is not the file's name: the exact bytes go along.
    if (!isValidUtf8(path))
        line += ",\"path_bytes\":\"" + base64Encode(path) + "\"";
    return line + "}\n";
}

bool readRowLine(std::string_view line, ResultRow& row, std::string& message) {
    row = ResultRow{};
    std::map<std::string, Value> fields;
    std::string_view why;
    bool present = false;
    if (!LineParser(line).object(fields, why) || !readPath(fields, row, why) ||
        !readStamp(fields, row.stamp, why)) {
        message = why;
        return false;
    }
    if (!textOf(fields, "文件大小", row.sizeText) || !textOf(fields, "文件时间", row.timeText) ||
        !textOf(fields, "内容字数", row.countText)) {
        message = kListBadSyntax;
        return false;
    }
    std::uint32_t kept = 0, weak = 0;
    if (!numberOf(fields, "group", row.group, present) || !numberOf(fields, "kept", kept, present) ||
        !numberOf(fields, "weak_match", weak, present) || kept > 1 || weak > 1) {
        message = kListBadNumber;
        return false;
    }
    row.kept = kept == 1;
    row.weakMatch = weak == 1;
    row.itemValue = static_cast<std::uint32_t>(row.stamp.size);
    return true;
}

bool readRowList(std::string_view content, std::vector<ResultRow>& rows, RowListError& error) {
    rows.clear();
    if (readRowList(
            content, [&rows](ResultRow&& row) { rows.push_back(std::move(row)); }, error))
        return true;
    rows.clear();
    return false;
}

bool readRowList(std::string_view content, const std::function<void(ResultRow&&)>& each,
                 RowListError& error) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    std::size_t number = 0;
    std::size_t from = 0;
    while (from < content.size()) {
        const auto end = content.find('\n', from);
        std::string_view line =
            content.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
        from = end == std::string_view::npos ? content.size() : end + 1;
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        ResultRow row;
        std::string why;
        if (!readRowLine(line, row, why)) {
            error = {number, listLineError(number, why)};
            return false;
        }
        each(std::move(row));
    }
    return true;
}

bool looksLikeRowList(std::string_view content) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    const auto first = content.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && content[first] == '{';
}

files::Listed listedFile(const ResultRow& row) {
    files::Listed listed{row.path(), {}};
    const RowStamp& stamp = row.stamp;
    listed.identity = {stamp.device, stamp.inode, stamp.size, stamp.modifiedNs, stamp.changedNs, false};
    listed.folderKnown = stamp.folderKnown;
    listed.folderDevice = stamp.folderDevice;
    listed.folderInode = stamp.folderInode;
    return listed;
}

} // namespace karv
