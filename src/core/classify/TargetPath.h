#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// The meta-symbols of a classification template, in the order the builder substitutes them.
enum class MetaSymbol {
    SubfolderSegment,
    ParentPath1,
    ParentSegment1,
    ParentName1,
    ParentPath2,
    ParentSegment2,
    ParentName2,
    ParentPath3,
    ParentSegment3,
    ParentName3,
    ParentPath4,
    ParentSegment4,
    ParentName4,
    ParentPath5,
    ParentSegment5,
    ParentName5,
    FileName,
    MainName,
    Extension,
    Size,
    Keyword,
    Year,
    Month,
    Day,
    Hour,
    Minute,
    Second,
    BatchName,
};

inline constexpr std::size_t kMetaSymbolCount = 28;

/// The symbol's text as written in a template, e.g. "[文件名]".
std::string_view metaSymbolText(MetaSymbol symbol);

/// One flag per symbol: whether the template holds its exact text.
using SymbolPresence = std::array<bool, kMetaSymbolCount>;
SymbolPresence symbolPresence(std::string_view templateText);

/// How batches are named: 1, 2, 3 …; A, B … Z, AA …; or from a list, used cyclically.
enum class BatchMode { Numbers = 0, Letters = 1, List = 2 };

/// What the builder needs of a run: fixed at the start, except the batch number, which the run
/// advances and list mode may set back to 1.
struct TargetTemplate {
    std::string templateText;
    std::string entryFolder; ///< with a trailing "/" in folder mode; empty in main-list mode
    SymbolPresence presence{};
    BatchMode batchMode = BatchMode::Numbers;
    std::vector<std::string> batchNames;
    std::int64_t batchNumber = 1;

    /// Sets the template text and its presence flags together.
    void setTemplate(std::string text);
};

/// The target path of one file: every present symbol replaced by its value for this file, then "//"
/// reduced to "/". A segment that a file's or folder's name made exactly "." or ".." gets those
/// dots as full-width "．", so a name never leads out of the place the template chose. `keywordLine` is the
/// keyword line that selected the file (empty without keyword search). Never fails: a value that does not
/// exist for this file is empty.
std::string buildTargetPath(TargetTemplate& context, std::string_view filePath, std::string_view keywordLine);

/// The current batch name; in list mode a batch number past the list's end is set back to 1 first.
std::string batchName(TargetTemplate& context);

/// A name part made safe for one path component: \ / : * ? | < > become their full-width forms,
/// double quotes, line breaks and tabs are removed.
std::string cleanNamePart(std::string_view text);

/// The text before the last "/" ("" when there is none).
std::string parentPath(std::string_view text);

/// Bijective base 26 in capitals: 1 "A", 26 "Z", 27 "AA", 703 "AAA"; 0 and below give "".
std::string letterName(std::int64_t number);

/// Every occurrence of `needle` replaced by `value`, left to right, without rescanning what was put
/// in. An empty needle changes nothing.
std::string replaceEvery(std::string_view text, std::string_view needle, std::string_view value);

/// The name part before its last "." (the whole name without a dot) and the part after it.
std::string nameStem(std::string_view fileName);
std::string nameExtension(std::string_view fileName);

} // namespace karv
