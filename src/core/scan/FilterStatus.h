#pragma once

#include "desktop/Desktop.h"
#include "run/RunContext.h"

#include <cstdint>
#include <functional>
#include <string>

namespace karv {

struct FilterOutcome;

/// The status line of a filter run as the front ends show it: the activity the run reports, after
/// the time since it started; and the summary once it ended. A progress sink for the run's context.
class FilterStatus : public ProgressSink {
public:
    /// `show` puts a text on the status line; `beforeShow`, when set, runs before each running
    /// text (the windows follow the list's end there).
    FilterStatus(Clock& clock, std::function<void(const std::string&)> show,
                 std::function<void()> beforeShow = {})
        : m_clock(clock), m_show(std::move(show)), m_beforeShow(std::move(beforeShow)) {}

    /// A run starts now.
    void start();
    void progress(const RunProgress& now) override;
    /// Shows the running text; nothing while no run goes.
    void refresh();
    /// The run ended: shows its summary.
    void finish(const FilterOutcome& outcome);
    bool running() const { return m_running; }

private:
    Clock& m_clock;
    std::function<void(const std::string&)> m_show;
    std::function<void()> m_beforeShow;
    bool m_running = false;
    std::int64_t m_startTick = 0;
    std::string m_activity; ///< what the status shows after the elapsed time
};

} // namespace karv
