// The content search of a window's files on worker threads, ahead of the run's thread, which takes
// the answers in walk order. The workers only read and search: the options, the event pump and
// the result list stay with the run's thread.
#include "filter/FilterPipeline.h"
#include "run/Cores.h"
#include "text/NameText.h"
#include "text/StreamSearch.h"
#include "values/ValueText.h"

namespace karv {

namespace {

/// Jobs waiting for the run's thread at most; the run queues fewer files than this.
constexpr std::size_t kPoolCapacity = 4096;

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

unsigned FilterPipeline::aheadThreads() const {
    return m_aheadThreads > 0 ? m_aheadThreads : machineCores();
}

bool FilterPipeline::readsAhead() const {
    AheadSpec spec;
    return aheadThreads() >= 2 && aheadSpec(spec);
}

void FilterPipeline::lookAhead(const std::vector<std::string>& paths, int folder) {
    AheadSpec spec;
    if (!readsAhead() || !aheadSpec(spec))
        return;
    if (!m_ahead.pool) // the run's thread is one of them
        m_ahead.pool = std::make_unique<AheadPool>(aheadThreads() - 1, kPoolCapacity);
    const bool byName = m_options.contentFilter() && m_options.contentInName();
    for (const std::string& path : paths) {
        Queued& queued = m_ahead.files.emplace_back();
        queued.path = path;
        queued.result.spec = spec;
        // A name that already decides leaves the content unread; a full pool leaves the file to
        // the run's thread.
        if ((byName && plainTermMatch(displayText(fileNamePart(path)), m_run.contentTerms) != spec.include) ||
            m_ahead.pool->full())
            continue;
        queued.job = m_ahead.pool->add(aheadJob(folder, path, queued.result));
    }
    m_ahead.pool->wake();
}

bool FilterPipeline::nextReady() const {
    const std::size_t first = m_ahead.inHand ? 1 : 0;
    if (m_ahead.files.size() <= first)
        return true;
    const Queued& next = m_ahead.files[first];
    return next.job == AheadPool::kNone || m_ahead.pool->done(next.job);
}

void FilterPipeline::doneWithAhead() {
    // Its job is finished before the run goes on: the run may close the job's folder next.
    if (m_ahead.inHand)
        dropFirstAhead();
    m_ahead.inHand = false;
}

void FilterPipeline::dropFirstAhead() {
    Queued& first = m_ahead.files.front();
    // Its job may still be writing its result.
    if (first.job != AheadPool::kNone && !first.taken)
        m_ahead.pool->take(first.job, {});
    m_ahead.files.pop_front();
}

void FilterPipeline::endLookAhead() {
    if (m_ahead.pool)
        m_ahead.pool->end();
    m_ahead.files.clear();
    m_ahead.inHand = false;
}

void FilterPipeline::findAhead(const std::string& path) {
    while (!m_ahead.files.empty()) {
        if (m_ahead.files.front().path == path) {
            m_ahead.inHand = true;
            return;
        }
        dropFirstAhead();
    }
}

FilterPipeline::AheadText* FilterPipeline::aheadText() {
    if (!m_ahead.inHand)
        return nullptr;
    Queued& queued = m_ahead.files.front();
    if (queued.job == AheadPool::kNone)
        return nullptr;
    if (!queued.taken) {
        m_ahead.pool->take(queued.job, [this] {
            if (m_context != nullptr && m_context->pump)
                m_context->pump();
        });
        queued.taken = true;
    }
    return &queued.result;
}

} // namespace karv
