#pragma once

#include "scan/FilterRun.h"
#include "scan/FilterStatus.h"

#include <functional>
#include <string>
#include <vector>

namespace karv::test {

/// Collects rows in memory.
class VectorSink : public ResultSink {
public:
    std::vector<ResultRow> rows;
    void append(ResultRow row) override { rows.push_back(std::move(row)); }
    std::size_t count() const override { return rows.size(); }
    void clear() override { rows.clear(); }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (const auto& row : rows)
            out.push_back(row.path());
        return out;
    }
};

/// A front end without windows: fixed options, rows in memory, a scriptable pump and clock, and
/// the status line a run shows.
class RecordingHost : public Clock {
public:
    FixedScanOptions opts;
    VectorSink sink;
    std::vector<std::string> statusTexts;
    std::string status; ///< the last status text
    FilterRun* run = nullptr;
    std::function<void()> onPump;
    std::int64_t now = 0;
    int pumps = 0;
    StopToken stop;
    FilterStatus statusLine{*this, [this](const std::string& text) {
                                statusTexts.push_back(text);
                                status = text;
                            }};
    RunContext context{stop, statusLine,
                       [this] {
                           ++pumps;
                           if (onPump)
                               onPump();
                       },
                       *this};

    std::int64_t tickMs() override { return now; }

    /// Runs `filterRun` on `folder` with its status line, as the front ends do.
    FilterOutcome runOn(FilterRun& filterRun, const std::string& folder) {
        statusLine.start();
        FilterOutcome outcome = filterRun.run({opts, folder});
        statusLine.finish(outcome);
        return outcome;
    }

    /// Asks the running run to stop, as the running start button does.
    void clickStop() {
        if (run != nullptr)
            run->requestStop();
    }
};

} // namespace karv::test
