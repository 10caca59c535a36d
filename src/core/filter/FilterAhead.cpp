// The content search of a window's files on worker threads, ahead of the run's thread, which takes
// the answers in walk order. The workers only read and search: the options, the event pump and
// the result list stay with the run's thread.
#include "filter/FilterPipeline.h"
#include "text/NameText.h"
#include "text/StreamSearch.h"
#include "values/ValueText.h"

#include <thread>

namespace karv {

namespace {

/// Files read ahead of the one in hand, per thread: enough to keep every core busy while the run's
/// thread takes the answers, few enough that a stop wastes little.
constexpr std::size_t kLeadPerThread = 16;

} // namespace

AheadPool::Job FilterPipeline::aheadJob(int folder, const std::string& path, AheadText& result) const {
    const StopToken* stop = m_context != nullptr ? &m_context->stop : nullptr;
    // Opened in its open folder when there is one: no path is looked up again from the root.
    std::string name = folder >= 0 ? std::string(fileNamePart(path)) : path;
    return [this, folder, name = std::move(name), &result, stop](bool onRunThread) {
        const AheadSpec& spec = result.spec;
        TextStreamControl control;
        control.headBytes = m_headBytes;
        control.chunkBytes = m_chunkBytes;
        // The window's events are served by the run's thread alone.
        if (onRunThread && m_context != nullptr)
            control.pump = m_context->pump;
        control.keepGoing = [stop] {
            return stop == nullptr || !stop->stopRequested();
        };
        const auto read = [&](TextConsumer& consumer) {
            return folder >= 0 ? streamFileTextAt(folder, name, consumer, control)
                               : streamFileText(name, consumer, control);
        };
        std::string whole;
        bool kept = false;
        if (spec.search) {
            TermStreamSearch search(m_run.contentTerms);
            std::optional<EarlyTermAnswer> answer;
            if (spec.early)
                control.early = &answer.emplace(m_run.contentTerms);
            if (spec.count)
                control.wholeText = &whole; // the count needs the text again
            const StreamedText streamed = read(search);
            control.early = nullptr;
            control.wholeText = nullptr;
            result.searched = true;
            result.stopped = streamed.stopped;
            result.hit = streamed.early ? answer->hit() : search.found();
            kept = streamed.whole;
            if (result.stopped || result.hit != spec.include)
                return;
        }
        if (spec.count) {
            CharacterCount counter(spec.tags, spec.blanks);
            if (kept) {
                counter.begin();
                result.stopped = feedText(whole, counter, control);
            } else {
                result.stopped = read(counter).stopped;
            }
            if (!result.stopped)
                result.count = counter.count();
        }
    };
}

bool FilterPipeline::aheadSpec(AheadSpec& spec) const {
    // Read on this thread, now: the time filter looks at a file before its content is read, and
    // an expression's matcher is not shared between threads.
    const bool content = m_options.contentFilter();
    if (m_options.timeFilter() || (content && m_options.matchMode() != MatchMode::Plain))
        return false;
    spec.search = content && m_options.contentInText();
    spec.early = spec.search && m_run.early && earlyAnswerAllowed();
    spec.include = !m_options.contentExcludes();
    spec.count = m_options.lengthFilter() && m_options.lengthMeasure() == LengthMeasure::Characters;
    spec.tags = m_options.stripTags();
    spec.blanks = m_options.stripBlanks();
    return spec.search || spec.count;
}

void FilterPipeline::lookAhead(const std::vector<std::string>& paths, int folder) {
    AheadSpec spec;
    if (paths.size() < 2 || !aheadSpec(spec))
        return;
    const unsigned threads = m_aheadThreads > 0 ? m_aheadThreads : std::thread::hardware_concurrency();
    if (threads < 2)
        return;
    if (!m_ahead.pool) // the run's thread is one of them
        m_ahead.pool = std::make_unique<AheadPool>(threads - 1);
    const bool byName = m_options.contentFilter() && m_options.contentInName();
    m_ahead.paths = paths;
    m_ahead.job.assign(paths.size(), -1);
    m_ahead.results.clear();
    m_ahead.results.reserve(paths.size()); // the jobs hold their places
    std::vector<AheadPool::Job> jobs;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // A name that already decides leaves the content unread.
        if (byName && plainTermMatch(displayText(fileNamePart(paths[i])), m_run.contentTerms) != spec.include)
            continue;
        m_ahead.job[i] = static_cast<std::ptrdiff_t>(jobs.size());
        AheadText& result = m_ahead.results.emplace_back();
        result.spec = spec;
        jobs.push_back(aheadJob(folder, paths[i], result));
    }
    m_ahead.cursor = 0;
    m_ahead.pool->start(std::move(jobs), threads * kLeadPerThread);
}

void FilterPipeline::endLookAhead() {
    if (m_ahead.pool)
        m_ahead.pool->end();
    m_ahead.paths.clear();
    m_ahead.job.clear();
    m_ahead.results.clear();
    m_ahead.cursor = 0;
    m_ahead.current = -1;
    m_ahead.taken = nullptr;
}

void FilterPipeline::findAhead(const std::string& path) {
    m_ahead.current = -1;
    m_ahead.taken = nullptr;
    while (m_ahead.cursor < m_ahead.paths.size()) {
        const std::size_t at = m_ahead.cursor++;
        if (m_ahead.paths[at] == path) {
            m_ahead.current = m_ahead.job[at];
            return;
        }
    }
}

FilterPipeline::AheadText* FilterPipeline::aheadText() {
    if (m_ahead.current < 0)
        return m_ahead.taken;
    const auto index = static_cast<std::size_t>(m_ahead.current);
    m_ahead.current = -1;
    m_ahead.pool->wait(index, [this] {
        if (m_context != nullptr && m_context->pump)
            m_context->pump();
    });
    m_ahead.taken = &m_ahead.results[index];
    return m_ahead.taken;
}

} // namespace karv
