#include "filter/FilterPipeline.h"

#include "filter/FilterValues.h"
#include "text/NameText.h"
#include "text/Removers.h"
#include "text/TextBuffers.h"
#include "text/TextLoader.h"
#include "values/FileFacts.h"
#include "values/ValueText.h"

namespace karv {

/// What the filters learnt about one file so far.
struct FilterPipeline::FileWork {
    explicit FileWork(const std::string& file) : path(file) {}

    const std::string& path;
    FileVerdict verdict;
    bool statRead = false;
    std::optional<std::string> text; // loaded once, shared by the content filter and the count
    bool expressionGaveUp = false;
    bool stopped = false; // a stop ended an expression search: no verdict

    const std::optional<FileStat>& stat() {
        if (!statRead) {
            verdict.stat = statFile(path);
            statRead = true;
        }
        return verdict.stat;
    }
};

FilterPipeline::FilterPipeline(AppState& state, const ScanOptions& options)
    : m_state(state), m_options(options) {}

FilterPipeline::~FilterPipeline() {
    releaseSpareBuffers();
}

void FilterPipeline::beginFolder(const std::string& /*folder*/) {
    if (!m_matchersBuilt || m_matchersText != m_state.contentFilterText) {
        m_matchersText = m_state.contentFilterText;
        m_wildcard = ContentMatcher(MatchMode::Wildcard, m_matchersText);
        m_expression = ContentMatcher(MatchMode::Regex, m_matchersText);
    }
    m_matchersBuilt = true;
}

const std::string& FilterPipeline::fileText(FileWork& work) {
    if (!work.text)
        work.text = loadFileText(work.path).text;
    return *work.text;
}

bool FilterPipeline::subjectHit(MatchMode mode, std::string_view subject, FileWork& work) {
    if (mode == MatchMode::Plain)
        return plainTermMatch(subject, m_state.contentTerms);
    ContentMatcher& matcher = mode == MatchMode::Wildcard ? m_wildcard : m_expression;
    const bool hit = matcher.matches(subject, m_poll);
    work.expressionGaveUp = work.expressionGaveUp || matcher.limitReached();
    work.stopped = work.stopped || matcher.stopped();
    return hit;
}

FileVerdict FilterPipeline::filterFile(const std::string& path) {
    FileWork work(path);
    // The times as the run found the file, before any filter reads its content.
    if (m_options.timeFilter())
        work.stat();
    if (m_options.contentFilter() && !contentPasses(work))
        work.verdict.pass = false;
    if (work.stopped) {
        work.verdict.pass = false;
        work.verdict.decided = false;
    } else if (work.expressionGaveUp && m_state.expressionLimitFiles++ == 0) {
        m_state.expressionLimitFirst = path;
    }
    if (work.verdict.pass && m_options.lengthFilter() && !lengthPasses(work))
        work.verdict.pass = false;
    if (work.verdict.pass && m_options.timeFilter() && !timePasses(work))
        work.verdict.pass = false;
    // The next file's load reuses this text's memory.
    if (work.text)
        keepSpareBuffer(std::move(*work.text));
    return std::move(work.verdict);
}

bool FilterPipeline::contentPasses(FileWork& work) {
    if (!m_matchersBuilt)
        beginFolder(folderPart(work.path));
    const bool include = !m_options.contentExcludes();
    const MatchMode mode = m_options.matchMode();
    // Include: every checked target must hit; exclude: none may. Once the name has decided, the
    // content cannot change the verdict and is not read.
    if (m_options.contentInName() && subjectHit(mode, displayText(fileNamePart(work.path)), work) != include)
        return false;
    if (work.stopped)
        return false;
    if (m_options.contentInText() && subjectHit(mode, fileText(work), work) != include)
        return false;
    return true;
}

bool FilterPipeline::lengthPasses(FileWork& work) {
    const float from = lengthBound(m_options.lengthFromText());
    const float to = lengthBound(m_options.lengthToText());
    double value = 0;
    double factor = 1;
    switch (m_options.lengthMeasure()) {
    case LengthMeasure::Size: {
        const auto& stat = work.stat();
        work.verdict.size = stat ? stat->size : 0;
        value = static_cast<double>(work.verdict.size);
        factor = lengthFactor(false, m_options.lengthUnit());
        break;
    }
    case LengthMeasure::NameLength:
        work.verdict.contentCount = countCharacters(mainNamePart(displayText(fileNamePart(work.path))));
        value = static_cast<double>(work.verdict.contentCount);
        break;
    case LengthMeasure::Characters: {
        const bool tags = m_options.stripTags();
        const bool blanks = m_options.stripBlanks();
        const std::string& text = fileText(work);
        if (!tags && !blanks) {
            work.verdict.contentCount = countCharacters(text);
        } else {
            std::string stripped = tags ? removeTags(text) : text;
            if (blanks)
                stripped = removeBlanks(stripped);
            work.verdict.contentCount = countCharacters(stripped);
        }
        value = static_cast<double>(work.verdict.contentCount);
        factor = lengthFactor(true, m_options.lengthUnit());
        break;
    }
    }
    return lengthInRange(value, from, to, factor);
}

bool FilterPipeline::timePasses(FileWork& work) {
    const auto& stat = work.stat();
    const TimeKind kind = m_options.timeKind();
    if (!stat) {
        // No time could be read: the file lies outside every range, whichever parts are compared.
        return false;
    }
    const FileTimes times = fileTimesText(*stat);
    const std::int64_t seconds = kind == TimeKind::Created    ? stat->created
                                 : kind == TimeKind::Accessed ? stat->accessed
                                                              : stat->modified;
    work.verdict.timeText = kind == TimeKind::Created    ? times.created
                            : kind == TimeKind::Accessed ? times.accessed
                                                         : times.modified;
    const DateTimeMode mode = m_options.timePart();
    const DateTimeSeconds value = comparableTime(localDateTime(seconds), mode);
    const DateTimeSeconds from = comparableBoxTime(m_options.timeFromText(), mode);
    const DateTimeSeconds to = comparableBoxTime(m_options.timeToText(), mode);
    return from <= value && value <= to;
}

} // namespace karv
