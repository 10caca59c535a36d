#include "gui/EventLoopProbe.h"

#include <algorithm>
#include <ctime>

#include <QAbstractEventDispatcher>
#include <QTimer>

namespace karv {

namespace {

qint64 threadCpuNs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64{now.tv_sec} * 1000000000 + now.tv_nsec;
}

} // namespace

EventLoopProbe::EventLoopProbe(QObject* parent) : QObject(parent) {
    m_ticker = new QTimer(this);
    m_ticker->setInterval(0);
    m_ticker->setTimerType(Qt::PreciseTimer);
    connect(m_ticker, &QTimer::timeout, this, &EventLoopProbe::tick);
    // Every pass of the dispatcher counts too: while events keep arriving, Qt serves timers after
    // them, so the ticker alone could report a wait where clicks were in fact handled.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
            if (m_ticker->isActive())
                tick();
        });
}

void EventLoopProbe::start() {
    m_clock.start();
    m_lastNs = 0;
    m_lastCpuNs = threadCpuNs();
    m_longestBusyNs = 0;
    m_lastContext = m_context ? m_context() : QString();
    m_longestNs = 0;
    m_longestEndNs = 0;
    m_longestBefore.clear();
    m_longestAfter.clear();
    m_gaps.clear();
    m_iterations = 0;
    m_timerLastNs = -1;
    m_timerLongestNs = 0;
    m_timerFirings = 0;
    m_ticker->start();
}

void EventLoopProbe::stop() {
    m_ticker->stop();
    tick(); // the stretch since the last firing counts too
}

void EventLoopProbe::watchTimer(QTimer* timer) {
    connect(timer, &QTimer::timeout, this, &EventLoopProbe::timerFired);
}

void EventLoopProbe::tick() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 gap = now - m_lastNs;
    const qint64 cpuNow = threadCpuNs();
    const qint64 busy = cpuNow - m_lastCpuNs;
    m_lastCpuNs = cpuNow;
    m_longestBusyNs = std::max(m_longestBusyNs, busy);
    ++m_iterations;
    if (gap > m_longestNs || gap > m_thresholdNs) {
        const QString after = m_context ? m_context() : QString();
        if (gap > m_longestNs) {
            m_longestNs = gap;
            m_longestEndNs = now;
            m_longestBefore = m_lastContext;
            m_longestAfter = after;
        }
        if (gap > m_thresholdNs)
            m_gaps.push_back({now / 1e6, gap / 1e6, busy / 1e6, m_lastContext, after});
    }
    m_lastNs = now;
    if (m_context)
        m_lastContext = m_context();
}

void EventLoopProbe::timerFired() {
    if (!m_clock.isValid())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    ++m_timerFirings;
    if (m_timerLastNs >= 0 && now - m_timerLastNs > m_timerLongestNs)
        m_timerLongestNs = now - m_timerLastNs;
    m_timerLastNs = now;
}

} // namespace karv
