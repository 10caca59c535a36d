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

/// Files read ahead of the one in hand, per worker: enough to keep every core busy while one
/// file is taken, few enough that the texts kept for a count stay small.
constexpr std::size_t kLeadPerThread = 4;

} // namespace

AheadPool::Job FilterPipeline::aheadJob(int folder, const std::string& path, AheadText& result, bool early,
                                        bool keepText) const {
    const StopToken* stop = m_context != nullptr ? &m_context->stop : nullptr;
    // Opened in its open folder when there is one: no path is looked up again from the root.
    std::string name = folder >= 0 ? std::string(fileNamePart(path)) : path;
    return [this, folder, name = std::move(name), &result, early, keepText, stop](bool onRunThread) {
        TermStreamSearch search(m_run.contentTerms);
        std::optional<EarlyTermAnswer> answer;
        TextStreamControl control;
        control.headBytes = m_headBytes;
        control.chunkBytes = m_chunkBytes;
        // The window's events are served by the run's thread alone.
        if (onRunThread && m_context != nullptr)
            control.pump = m_context->pump;
        control.keepGoing = [stop] {
            return stop == nullptr || !stop->stopRequested();
        };
        if (early) {
            answer.emplace(m_run.contentTerms);
            control.early = &*answer;
        }
        std::string whole;
        if (keepText)
            control.wholeText = &whole;
        const StreamedText streamed = folder >= 0 ? streamFileTextAt(folder, name, search, control)
                                                  : streamFileText(name, search, control);
        result.stopped = streamed.stopped;
        result.hit = streamed.early ? answer->hit() : search.found();
        if (keepText && streamed.whole)
            result.text = std::move(whole);
    };
}

void FilterPipeline::lookAhead(const std::vector<std::string>& paths, int folder) {
    // Read on this thread, now: the time filter looks at a file before its content is read, and
    // an expression's matcher is not shared between threads.
    if (paths.size() < 2 || !m_options.contentFilter() || !m_options.contentInText() ||
        m_options.matchMode() != MatchMode::Plain || m_options.timeFilter())
        return;
    const unsigned threads = m_aheadThreads > 0 ? m_aheadThreads : std::thread::hardware_concurrency();
    if (threads < 2)
        return;
    if (!m_ahead.pool) // the run's thread is one of them
        m_ahead.pool = std::make_unique<AheadPool>(threads - 1);
    const bool include = !m_options.contentExcludes();
    const bool byName = m_options.contentInName();
    const bool early = m_run.early && earlyAnswerAllowed();
    const bool keepText = m_options.lengthFilter() && m_options.lengthMeasure() == LengthMeasure::Characters;
    m_ahead.paths = paths;
    m_ahead.job.assign(paths.size(), -1);
    m_ahead.results.clear();
    m_ahead.results.reserve(paths.size()); // the jobs hold their places
    std::vector<AheadPool::Job> jobs;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // A name that already decides leaves the content unread.
        if (byName && plainTermMatch(displayText(fileNamePart(paths[i])), m_run.contentTerms) != include)
            continue;
        m_ahead.job[i] = static_cast<std::ptrdiff_t>(jobs.size());
        jobs.push_back(aheadJob(folder, paths[i], m_ahead.results.emplace_back(), early, keepText));
    }
    m_ahead.cursor = 0;
    // A search leaves a yes or no; a count needs the text, held until the file is taken.
    m_ahead.pool->start(std::move(jobs), keepText ? threads * kLeadPerThread : paths.size());
}

void FilterPipeline::endLookAhead() {
    if (m_ahead.pool)
        m_ahead.pool->end();
    m_ahead.paths.clear();
    m_ahead.job.clear();
    m_ahead.results.clear();
    m_ahead.cursor = 0;
    m_ahead.current = -1;
}

void FilterPipeline::findAhead(const std::string& path) {
    m_ahead.current = -1;
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
        return nullptr;
    const auto index = static_cast<std::size_t>(m_ahead.current);
    m_ahead.current = -1;
    m_ahead.pool->wait(index, [this] {
        if (m_context != nullptr && m_context->pump)
            m_context->pump();
    });
    return &m_ahead.results[index];
}

} // namespace karv
