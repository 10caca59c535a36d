#pragma once

#include "values/Options.h"
#include "values/ValueText.h"

#include <string>
#include <vector>

namespace karv {

/// The options of one filter run, read at the moment the engine needs them. The windows answer from
/// their live controls (so a change during a run applies to the following files); the command line
/// and the tests answer from fixed values. Texts are returned as typed; the engine reads numbers
/// leniently.
class ScanOptions {
public:
    virtual ~ScanOptions() = default;

    // Traversal: 单选框仅该目录 / 单选框遍历子目录 / 单选框遍历层次, 编辑框层次, 编辑框过滤.
    virtual TraversalScope scope() const = 0;
    virtual std::string levelsText() const = 0;
    virtual std::string patternList() const = 0;
    /// Whether symbolic links to folders are walked (the command line's --follow; the windows never).
    virtual bool followFolderLinks() const { return false; }

    // Content: 选择框按内容筛选, 单选框不含内容, 选择框文件名, 选择框文件内容, 组合框匹配模式,
    // 编辑框筛选内容 (line breaks as CR LF).
    virtual bool contentFilter() const = 0;
    virtual bool contentExcludes() const = 0;
    virtual bool contentInName() const = 0;
    virtual bool contentInText() const = 0;
    virtual MatchMode matchMode() const = 0;
    virtual std::string contentText() const = 0;

    // Length: 选择框按长度筛选, the measure radios, the unit radio (0..4), the two bounds,
    // 选择框清除网页标签, 选择框清除空行空格.
    virtual bool lengthFilter() const = 0;
    virtual LengthMeasure lengthMeasure() const = 0;
    virtual int lengthUnit() const = 0;
    virtual std::string lengthFromText() const = 0;
    virtual std::string lengthToText() const = 0;
    virtual bool stripTags() const = 0;
    virtual bool stripBlanks() const = 0;

    // Time: 选择框按时间筛选, the kind and part radios, 编辑框时间起始, 编辑框时间终止.
    virtual bool timeFilter() const = 0;
    virtual TimeKind timeKind() const = 0;
    virtual DateTimeMode timePart() const = 0;
    virtual std::string timeFromText() const = 0;
    virtual std::string timeToText() const = 0;

    // Duplicates: 选择框按重复筛选, the kind radios, 选择框相似度, 编辑框相似比例, 选择框判内容,
    // the output radios.
    virtual bool duplicateFilter() const = 0;
    virtual DuplicateKind duplicateKind() const = 0;
    virtual bool similarity() const = 0;
    virtual std::string similarityText() const = 0;
    virtual bool judgeContent() const = 0;
    virtual DuplicateOutput duplicateOutput() const = 0;
    /// The member of each group that is kept, and the folders whose files are never offered (a
    /// member under one is kept, whatever the rule).
    virtual KeepRule keepRule() const { return KeepRule::Last; }
    virtual std::vector<std::string> referenceFolders() const { return {}; }
};

/// Plain option values; the defaults are the main window's form defaults.
struct ScanSettings {
    TraversalScope scope = TraversalScope::AllSubfolders;
    std::string levels = "2";
    std::string patterns = "*.*";
    bool followLinks = false;

    bool contentFilter = false;
    bool contentExcludes = false;
    bool contentInName = true;
    bool contentInText = false;
    MatchMode matchMode = MatchMode::Plain;
    std::string contentText;

    bool lengthFilter = false;
    LengthMeasure lengthMeasure = LengthMeasure::Size;
    int lengthUnit = 1;
    std::string lengthFrom = "5";
    std::string lengthTo = "10";
    bool stripTags = false;
    bool stripBlanks = false;

    bool timeFilter = false;
    TimeKind timeKind = TimeKind::Modified;
    DateTimeMode timePart = DateTimeMode::Both;
    std::string timeFrom = "2012-12-21 12:12:12";
    std::string timeTo = "2014-03-31 23:55:00";

    bool duplicateFilter = false;
    DuplicateKind duplicateKind = DuplicateKind::Size;
    bool similarity = false;
    std::string similarityPercent = "90";
    bool judgeContent = false;
    DuplicateOutput duplicateOutput = DuplicateOutput::AllButOne;
    KeepRule keepRule = KeepRule::Last;
    std::vector<std::string> referenceFolders;
};

/// Options answered from a `ScanSettings` value that the caller may change between files.
class FixedScanOptions : public ScanOptions {
public:
    FixedScanOptions() = default;
    explicit FixedScanOptions(ScanSettings settings) : values(std::move(settings)) {}

    ScanSettings values;

    TraversalScope scope() const override { return values.scope; }
    std::string levelsText() const override { return values.levels; }
    std::string patternList() const override { return values.patterns; }
    bool followFolderLinks() const override { return values.followLinks; }
    bool contentFilter() const override { return values.contentFilter; }
    bool contentExcludes() const override { return values.contentExcludes; }
    bool contentInName() const override { return values.contentInName; }
    bool contentInText() const override { return values.contentInText; }
    MatchMode matchMode() const override { return values.matchMode; }
    std::string contentText() const override { return values.contentText; }
    bool lengthFilter() const override { return values.lengthFilter; }
    LengthMeasure lengthMeasure() const override { return values.lengthMeasure; }
    int lengthUnit() const override { return values.lengthUnit; }
    std::string lengthFromText() const override { return values.lengthFrom; }
    std::string lengthToText() const override { return values.lengthTo; }
    bool stripTags() const override { return values.stripTags; }
    bool stripBlanks() const override { return values.stripBlanks; }
    bool timeFilter() const override { return values.timeFilter; }
    TimeKind timeKind() const override { return values.timeKind; }
    DateTimeMode timePart() const override { return values.timePart; }
    std::string timeFromText() const override { return values.timeFrom; }
    std::string timeToText() const override { return values.timeTo; }
    bool duplicateFilter() const override { return values.duplicateFilter; }
    DuplicateKind duplicateKind() const override { return values.duplicateKind; }
    bool similarity() const override { return values.similarity; }
    std::string similarityText() const override { return values.similarityPercent; }
    bool judgeContent() const override { return values.judgeContent; }
    DuplicateOutput duplicateOutput() const override { return values.duplicateOutput; }
    KeepRule keepRule() const override { return values.keepRule; }
    std::vector<std::string> referenceFolders() const override { return values.referenceFolders; }
};

} // namespace karv
