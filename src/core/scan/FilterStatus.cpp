#include "scan/FilterStatus.h"

#include "scan/FilterRun.h"
#include "scan/FilterTexts.h"

namespace karv {

void FilterStatus::start() {
    m_startTick = m_clock.tickMs();
    m_running = true;
}

void FilterStatus::progress(const RunProgress& now) {
    if (now.stage == RunStage::Walking) {
        // Named before the folder is read, so the status shows it while a huge folder is listed.
        m_activity = walkingText(now.item);
    } else if (now.stage == RunStage::Filtering) {
        refresh();
    } else if (now.stage == RunStage::Comparing) {
        m_activity = readingDigestText(now.bytes, now.item);
        refresh();
    }
}

void FilterStatus::refresh() {
    const std::int64_t elapsed = m_clock.tickMs() - m_startTick;
    if (!m_running)
        return;
    if (m_beforeShow)
        m_beforeShow();
    m_show(runningStatusText(elapsed, m_activity));
}

void FilterStatus::finish(const FilterOutcome& outcome) {
    m_show(finishedStatusText(outcome.succeeded, m_clock.tickMs() - m_startTick, outcome.expressionLimitFiles,
                              outcome.expressionLimitFirst));
    m_running = false;
}

} // namespace karv
