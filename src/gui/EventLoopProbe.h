#pragma once

#include <functional>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

namespace karv {

/// Measures how promptly the event loop of the window's thread is served while long work runs in
/// an event handler: every pass of the event dispatcher (and a zero-interval timer, for the passes
/// of an idle loop) marks a moment at which events were handled, so the longest time between two
/// marks is the longest stretch in which clicks, timers and repaints had to wait. A watched timer (the status
/// timer) gets the longest time between two of its own firings.
class EventLoopProbe : public QObject {
public:
    explicit EventLoopProbe(QObject* parent = nullptr);

    /// Resets the figures and starts measuring.
    void start();
    void stop();

    /// What was going on at a moment (the status text, say); kept for the two ends of the longest
    /// gap so that its cause can be looked up.
    void setContext(std::function<QString()> context) { m_context = std::move(context); }
    /// Also records the longest interval between two timeouts of `timer`.
    void watchTimer(QTimer* timer);

    double longestGapMs() const { return m_longestNs / 1e6; }
    /// The longest gap counted in the thread's own processor time: on a loaded machine the wall
    /// clock also counts the time the scheduler gave to other processes, which no code here causes.
    double longestBusyGapMs() const { return m_longestBusyNs / 1e6; }
    /// When the longest gap ended, in milliseconds since `start`.
    double longestGapEndMs() const { return m_longestEndNs / 1e6; }
    QString contextBeforeLongestGap() const { return m_longestBefore; }
    QString contextAfterLongestGap() const { return m_longestAfter; }
    /// Gaps longer than `thresholdMs` (set before `start`; 100 ms by default).
    void setThresholdMs(int thresholdMs) { m_thresholdNs = qint64{thresholdMs} * 1000000; }
    int gapsOverThreshold() const { return static_cast<int>(m_gaps.size()); }
    struct Gap {
        double endMs = 0;
        double lengthMs = 0;
        double busyMs = 0; ///< of it, the thread's own processor time
        QString before;
        QString after;
    };
    /// The gaps longer than the threshold, in the order they happened.
    const std::vector<Gap>& gaps() const { return m_gaps; }
    long long iterations() const { return m_iterations; }

    double longestTimerIntervalMs() const { return m_timerLongestNs / 1e6; }
    int timerFirings() const { return m_timerFirings; }

    double elapsedMs() const { return m_clock.nsecsElapsed() / 1e6; }

private:
    void tick();
    void timerFired();

    QTimer* m_ticker = nullptr;
    QElapsedTimer m_clock;
    std::function<QString()> m_context;
    qint64 m_lastNs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_longestBusyNs = 0;
    QString m_lastContext;
    qint64 m_longestNs = 0;
    qint64 m_longestEndNs = 0;
    QString m_longestBefore;
    QString m_longestAfter;
    qint64 m_thresholdNs = 100000000;
    std::vector<Gap> m_gaps;
    long long m_iterations = 0;
    qint64 m_timerLastNs = -1;
    qint64 m_timerLongestNs = 0;
    int m_timerFirings = 0;
};

} // namespace karv
