#pragma once

#include "scan/FilterRun.h"

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

/// A front end without windows: fixed options, a scriptable pump.
class RecordingHost : public FilterRunHost {
public:
    FixedScanOptions opts;
    VectorSink sink;
    std::vector<std::string> statusTexts;
    std::string status; ///< the last status text
    FilterRun* run = nullptr;
    std::function<void()> onPump;
    std::int64_t now = 0;
    int pumps = 0;

    const ScanOptions& options() const override { return opts; }
    ResultSink& results() override { return sink; }
    void setStatusText(const std::string& text) override {
        statusTexts.push_back(text);
        status = text;
    }
    void scrollToLastRow() override {}
    void pump() override {
        ++pumps;
        if (onPump)
            onPump();
    }
    std::int64_t tickMs() override { return now; }

    /// Asks the running run to stop, as the running start button does.
    void clickStop() {
        if (run != nullptr)
            run->requestStop();
    }
};

} // namespace karv::test
