#include "classify/TargetPath.h"

#include "files/FileFacts.h"
#include "text/NameText.h"
#include "values/ValueText.h"

namespace karv {

namespace {

constexpr std::array<std::string_view, kMetaSymbolCount> kSymbolTexts = {
    "[子目录段]",  "[父目录路径]",  "[父目录段]",  "[父目录名]",  "[2父目录路径]", "[2父目录段]",
    "[2父目录名]", "[3父目录路径]", "[3父目录段]", "[3父目录名]", "[4父目录路径]", "[4父目录段]",
    "[4父目录名]", "[5父目录路径]", "[5父目录段]", "[5父目录名]", "[文件名]",      "[主名]",
    "[扩展名]",    "[大小]",        "[关键词]",    "[年]",        "[月]",          "[日]",
    "[时]",        "[分]",          "[秒]",        "[批次名]",
};

std::size_t index(MetaSymbol symbol) {
    return static_cast<std::size_t>(symbol);
}

/// Everything after the first "/" of a parent path: the path without its root.
std::string withoutRoot(std::string_view path) {
    const auto slash = path.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(slash + 1));
}

/// The full-width form of the eight characters a name part may not hold, or empty.
std::string_view fullWidthOf(char c) {
    switch (c) {
    case '\\':
        return "＼";
    case '/':
        return "／";
    case ':':
        return "：";
    case '*':
        return "＊";
    case '?':
        return "？";
    case '|':
        return "｜";
    case '<':
        return "＜";
    case '>':
        return "＞";
    default:
        return {};
    }
}

// Marks the text a file's or folder's own name put into a target while the path is built; a name
// never holds a NUL, so the mark cannot be confused with the name.
constexpr char kNameMark = '\0';

std::string marked(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out.push_back(kNameMark);
    out.append(name);
    out.push_back(kNameMark);
    return out;
}

/// Removes the marks. A segment that is exactly "." or ".." and got a dot from a name would lead to
/// the folder itself or the one above it: those dots become the full-width "．" (U+FF0E), so the
/// name stays a plain name below the chosen place. The template's own text is never changed.
std::string settleNameSegments(std::string_view text) {
    if (text.find(kNameMark) == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (from <= text.size()) {
        auto slash = text.find('/', from);
        if (slash == std::string_view::npos)
            slash = text.size();
        const std::string_view segment = text.substr(from, slash - from);
        std::string plain;
        bool fromName = false;
        for (const char c : segment) {
            if (c == kNameMark)
                fromName = true;
            else
                plain.push_back(c);
        }
        if (fromName && (plain == "." || plain == "..")) {
            bool inName = false;
            for (const char c : segment) {
                if (c == kNameMark)
                    inName = !inName;
                else if (inName && c == '.')
                    out += "．";
                else
                    out.push_back(c);
            }
        } else {
            out += plain;
        }
        if (slash < text.size())
            out.push_back('/');
        from = slash + 1;
    }
    return out;
}

} // namespace

std::string_view metaSymbolText(MetaSymbol symbol) {
    return kSymbolTexts[index(symbol)];
}

SymbolPresence symbolPresence(std::string_view templateText) {
    SymbolPresence presence{};
    for (std::size_t i = 0; i < kMetaSymbolCount; ++i)
        presence[i] = templateText.find(kSymbolTexts[i]) != std::string_view::npos;
    return presence;
}

void TargetTemplate::setTemplate(std::string text) {
    templateText = std::move(text);
    presence = symbolPresence(templateText);
}

std::string replaceEvery(std::string_view text, std::string_view needle, std::string_view value) {
    if (needle.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (;;) {
        const auto hit = text.find(needle, from);
        if (hit == std::string_view::npos)
            break;
        out.append(text, from, hit - from);
        out.append(value);
        from = hit + needle.size();
    }
    out.append(text, from, std::string_view::npos);
    return out;
}

std::string parentPath(std::string_view text) {
    return folderPart(text);
}

std::string letterName(std::int64_t number) {
    std::string name;
    while (number > 0) {
        std::int64_t rest = number % 26;
        if (rest == 0) {
            rest = 26;
            --number;
        }
        name.insert(name.begin(), static_cast<char>('A' + rest - 1));
        number /= 26;
    }
    return name;
}

std::string nameStem(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

std::string nameExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot + 1));
}

std::string cleanNamePart(std::string_view text) {
    // A name that is not UTF-8 is taken as GBK: its double-byte characters are stepped over whole,
    // so a trail byte that happens to equal "\" or "|" stays part of its character. Only a byte that
    // can be a trail byte is stepped over: a "/" after a lead byte still ends the name part.
    const bool legacy = !isValidUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (legacy && static_cast<unsigned char>(c) >= 0x81 && next >= 0x40 && next != 0x7F && next != 0xFF) {
            out.push_back(c);
            out.push_back(text[++i]);
            continue;
        }
        if (const auto wide = fullWidthOf(c); !wide.empty())
            out.append(wide);
        else if (c != '"' && c != '\r' && c != '\n' && c != '\t')
            out.push_back(c);
    }
    return out;
}

std::string batchName(TargetTemplate& context) {
    switch (context.batchMode) {
    case BatchMode::Numbers:
        return std::to_string(context.batchNumber);
    case BatchMode::Letters:
        return letterName(context.batchNumber);
    case BatchMode::List:
        break;
    }
    if (context.batchNumber > static_cast<std::int64_t>(context.batchNames.size()) || context.batchNumber < 1)
        context.batchNumber = 1;
    if (context.batchNames.empty())
        return {};
    return context.batchNames[static_cast<std::size_t>(context.batchNumber - 1)];
}

std::string buildTargetPath(TargetTemplate& context, std::string_view filePath,
                            std::string_view keywordLine) {
    const SymbolPresence& present = context.presence;
    std::string text = context.templateText;
    auto substitute = [&](MetaSymbol symbol, auto&& valueOf) {
        if (present[index(symbol)])
            text = replaceEvery(text, metaSymbolText(symbol), valueOf());
    };
    const std::string fileName = fileNamePart(filePath);

    substitute(MetaSymbol::SubfolderSegment, [&] {
        std::string segment = replaceEvery(filePath, context.entryFolder, "");
        segment = replaceEvery(segment, "/" + fileName, "");
        return replaceEvery(segment, fileName, "");
    });

    std::string parent(filePath);
    for (int level = 0; level < 5; ++level) {
        const auto first = static_cast<MetaSymbol>(index(MetaSymbol::ParentPath1) + 3 * level);
        const auto symbolAt = [first](int offset) {
            return static_cast<MetaSymbol>(index(first) + offset);
        };
        parent = parentPath(parent);
        substitute(symbolAt(0), [&] { return parent; });
        substitute(symbolAt(1), [&] { return withoutRoot(parent); });
        substitute(symbolAt(2), [&] { return marked(cleanNamePart(fileNamePart(parent))); });
    }

    substitute(MetaSymbol::FileName, [&] { return marked(fileName); });
    substitute(MetaSymbol::MainName, [&] { return marked(nameStem(fileName)); });
    substitute(MetaSymbol::Extension, [&] { return marked(nameExtension(fileName)); });

    bool datesWanted = false;
    for (std::size_t i = index(MetaSymbol::Year); i <= index(MetaSymbol::Second); ++i)
        datesWanted = datesWanted || present[i];
    std::optional<FileStat> stat;
    if (present[index(MetaSymbol::Size)] || datesWanted)
        stat = statFile(std::string(filePath));

    substitute(MetaSymbol::Size, [&] { return sizeText(stat ? stat->size : 0); });
    substitute(MetaSymbol::Keyword, [&] { return cleanNamePart(keywordLine); });

    if (datesWanted) {
        // An unreadable time reads as the earliest date the old file-time conversion gave.
        const DateTime when = stat ? localDateTime(stat->modified) : DateTime{100, 1, 1, 0, 0, 0};
        substitute(MetaSymbol::Year, [&] { return std::to_string(when.year); });
        substitute(MetaSymbol::Month, [&] { return std::to_string(when.month); });
        substitute(MetaSymbol::Day, [&] { return std::to_string(when.day); });
        substitute(MetaSymbol::Hour, [&] { return std::to_string(when.hour); });
        substitute(MetaSymbol::Minute, [&] { return std::to_string(when.minute); });
        substitute(MetaSymbol::Second, [&] { return std::to_string(when.second); });
    }

    substitute(MetaSymbol::BatchName, [&] { return batchName(context); });

    return replaceEvery(settleNameSegments(text), "//", "/");
}

} // namespace karv
