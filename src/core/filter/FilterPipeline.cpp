#include "filter/FilterPipeline.h"

#include "files/FileFacts.h"
#include "filter/FilterValues.h"
#include "text/NameText.h"
#include "text/StreamSearch.h"
#include "text/TextBuffers.h"
#include "text/TextLoader.h"
#include "values/ValueText.h"

namespace karv {

/// What the filters learnt about one file so far.
struct FilterPipeline::FileWork {
    explicit FileWork(const std::string& file) : path(file) {}

    const std::string& path;
    FileVerdict verdict;
    bool statRead = false;
    // A text that fitted in one piece, kept for the count after the content filter; a longer one
    // is read again.
    std::optional<std::string> text;
    bool expressionGaveUp = false;
    bool stopped = false; ///< a stop ended a read or a search before the file was judged

    const std::optional<FileStat>& stat() {
        if (!statRead) {
            verdict.stat = statFile(path);
            statRead = true;
        }
        return verdict.stat;
    }
};

FilterPipeline::FilterPipeline(const ScanOptions& options) : m_options(options) {}

void FilterPipeline::beginRun() {
    m_run = RunValues{};
    m_run.contentText = m_options.contentText();
    if (m_options.contentFilter() && m_options.matchMode() == MatchMode::Plain)
        m_run.contentTerms = splitContentTerms(m_run.contentText); // empty terms stay
    if (EarlyTermAnswer early(m_run.contentTerms); early.usable())
        m_run.early = std::move(early);
}

void FilterPipeline::endRun(FilterOutcome& outcome) {
    outcome.expressionLimitFiles = m_run.expressionLimitFiles;
    outcome.expressionLimitFirst = m_run.expressionLimitFirst;
}

FilterPipeline::~FilterPipeline() {
    m_ahead.pool.reset(); // its threads end before the rest goes
    releaseSpareBuffers();
}

KeepGoing FilterPipeline::stopPoll() const {
    if (m_context == nullptr)
        return {};
    return [this] {
        return m_context->keepGoing();
    };
}

void FilterPipeline::beginFolder(const std::string& /*folder*/) {
    if (!m_matchersBuilt || m_matchersText != m_run.contentText) {
        m_matchersText = m_run.contentText;
        m_wildcard = ContentMatcher(MatchMode::Wildcard, m_matchersText);
        m_expression = ContentMatcher(MatchMode::Regex, m_matchersText);
    }
    m_matchersBuilt = true;
}

void FilterPipeline::readText(FileWork& work, TextConsumer& consumer, EarlyTermAnswer* early) {
    TextStreamControl control;
    control.headBytes = m_headBytes;
    control.chunkBytes = m_chunkBytes;
    if (m_context != nullptr)
        control.pump = m_context->pump;
    control.keepGoing = [this] {
        return !stopRequested();
    };
    if (work.text) {
        consumer.begin();
        work.stopped = feedText(*work.text, consumer, control) || work.stopped;
        return;
    }
    std::string whole;
    control.wholeText = &whole;
    control.early = early;
    const StreamedText streamed = streamFileText(work.path, consumer, control);
    work.stopped = streamed.stopped || work.stopped;
    if (streamed.whole)
        work.text = std::move(whole);
}

bool FilterPipeline::textHit(MatchMode mode, FileWork& work) {
    if (mode == MatchMode::Plain) {
        if (const AheadText* ahead = aheadText(); ahead != nullptr && ahead->searched) {
            work.stopped = work.stopped || ahead->stopped;
            return ahead->hit;
        }
        TermStreamSearch search(m_run.contentTerms);
        EarlyTermAnswer* early = nullptr;
        if (m_run.early && earlyAnswerAllowed()) {
            early = &*m_run.early;
            early->restart();
        }
        readText(work, search, early);
        return early != nullptr && early->decided() ? early->hit() : search.found();
    }
    ExpressionStreamSearch search(mode == MatchMode::Wildcard ? m_wildcard : m_expression);
    search.setPoll(stopPoll());
    readText(work, search);
    const bool hit = search.finish();
    work.expressionGaveUp = work.expressionGaveUp || search.limitReached();
    work.stopped = work.stopped || search.stopped();
    return hit;
}

bool FilterPipeline::earlyAnswerAllowed() const {
    return !m_options.contentExcludes() &&
           !(m_options.lengthFilter() && m_options.lengthMeasure() == LengthMeasure::Characters);
}

bool FilterPipeline::subjectHit(MatchMode mode, std::string_view subject, FileWork& work) {
    if (mode == MatchMode::Plain)
        return plainTermMatch(subject, m_run.contentTerms);
    ContentMatcher& matcher = mode == MatchMode::Wildcard ? m_wildcard : m_expression;
    const bool hit = matcher.matches(subject, stopPoll());
    work.expressionGaveUp = work.expressionGaveUp || matcher.limitReached();
    work.stopped = work.stopped || matcher.stopped();
    return hit;
}

FileVerdict FilterPipeline::filterFile(const std::string& path) {
    findAhead(path);
    FileWork work(path);
    // The times as the run found the file, before any filter reads its content.
    if (m_options.timeFilter())
        work.stat();
    if (m_options.contentFilter() && !contentPasses(work))
        work.verdict.pass = false;
    if (work.stopped) {
        work.verdict.pass = false;
        work.verdict.decided = false;
    } else if (work.expressionGaveUp && m_run.expressionLimitFiles++ == 0) {
        m_run.expressionLimitFirst = path;
    }
    if (work.verdict.pass && m_options.lengthFilter() && !lengthPasses(work))
        work.verdict.pass = false;
    if (work.verdict.pass && m_options.timeFilter() && !timePasses(work))
        work.verdict.pass = false;
    // A file whose reading was cut short by a stop was not judged, so it is not listed.
    if (work.stopped)
        work.verdict.pass = false;
    // The next file's load reuses this text's memory.
    if (work.text)
        keepSpareBuffer(std::move(*work.text));
    doneWithAhead();
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
    if (m_options.contentInText() && textHit(mode, work) != include)
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
        const AheadText* ahead = aheadText();
        if (ahead != nullptr && ahead->count && ahead->spec.tags == tags && ahead->spec.blanks == blanks) {
            work.verdict.contentCount = *ahead->count;
        } else {
            CharacterCount counter(tags, blanks);
            readText(work, counter);
            work.verdict.contentCount = counter.count();
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
