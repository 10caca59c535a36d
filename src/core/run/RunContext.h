#pragma once

#include "files/FailureReasons.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace karv {

class Clock;

/// Asked between steps of long work: true to go on, false to stop there. The one form of "may I go
/// on" that every layer takes.
using KeepGoing = std::function<bool()>;

/// The one way to stop a run: whoever may stop it (a button, a signal, a closing window) asks, and
/// the run looks between steps. Safe to ask from another thread or a signal-driven callback.
class StopToken {
public:
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    /// A new run starts unstopped.
    void reset() { m_stop.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_stop{false};
};

/// What a run is doing; each front end words it (the windows as their captions and status texts,
/// the command line as its status line).
enum class RunStage {
    Starting,  ///< reading its options, preparing
    Walking,   ///< listing folders; `item` is the folder
    Filtering, ///< deciding a file; `item` is the file (or the folder whose files come next)
    Comparing, ///< duplicate search after the walk
    Placing,   ///< moving, copying, deleting or trashing; `item` is the file
    Finishing,
};

struct RunProgress {
    RunStage stage = RunStage::Starting;
    std::uint64_t done = 0;  ///< files (or folders) finished so far
    std::uint64_t total = 0; ///< 0 while unknown
    std::string item;        ///< the path in hand, exact bytes
    std::uint64_t bytes = 0; ///< the size of the file in hand, where its wording names it
};

/// Where a run reports its progress. Called often: keep it cheap.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void progress(const RunProgress& now) = 0;
};

/// A sink for runs whose progress nobody shows.
class NoProgress : public ProgressSink {
public:
    void progress(const RunProgress&) override {}
};

/// What every tool is given besides its request: one stop token, one progress sink, the event pump
/// (the window's event loop runs there; a no-op elsewhere) and the clock.
struct RunContext {
    StopToken& stop;
    ProgressSink& progress;
    std::function<void()> pump;
    Clock& clock;

    /// Lets pending events run, then says whether the run should go on.
    bool keepGoing() const {
        if (pump)
            pump();
        return !stop.stopRequested();
    }
    /// The same, for the layers that take a `KeepGoing`.
    KeepGoing keepGoingFn() const {
        return [this] {
            return keepGoing();
        };
    }
};

/// How a run ended: completed or stopped, what it counted and what failed with why.
struct RunOutcome {
    bool stopped = false;
    std::uint64_t processed = 0; ///< items taken in hand
    std::uint64_t succeeded = 0; ///< items whose act or check succeeded
    files::FailureTally failures;
};

} // namespace karv
