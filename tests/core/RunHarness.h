#pragma once

#include "scan/FilterRun.h"

#include <functional>
#include <string>
#include <vector>

namespace karv::test {

/// Rows kept in memory.
class VectorSink : public ResultSink {
public:
    std::vector<ResultRow> rows;
    void append(ResultRow row) override { rows.push_back(std::move(row)); }
    std::size_t rowCount() const override { return rows.size(); }
    void clear() override { rows.clear(); }
};

/// A front end without windows: fixed options, rows in memory, a scriptable event pump.
class TestHost : public FilterRunHost {
public:
    FixedScanOptions options_;
    VectorSink sink;
    std::string caption{kIdleCaption};
    std::string status;
    std::function<void()> onPump;
    int pumps = 0;
    FilterRun* run = nullptr;

    const ScanOptions& options() const override { return options_; }
    ResultSink& results() override { return sink; }
    std::string startCaption() const override { return caption; }
    void setStartCaption(std::string_view text) override { caption = text; }
    std::string startTag() const override { return {}; }
    void setStartTag(const std::string&) override {}
    void saveControlStates() override {}
    void updateEnabling() override {}
    void showMessage(std::string_view) override {}
    std::string chooseFolder(std::string_view, const std::string&) override { return {}; }
    void setStatusText(const std::string& text) override { status = text; }
    void scrollToLastRow() override {}
    void pump() override {
        ++pumps;
        if (onPump)
            onPump();
    }
    std::int64_t tickMs() override { return 0; }

    /// What a click on the running start button does.
    void clickStop() {
        if (run != nullptr)
            run->startOrStopRun();
    }
};

/// Full paths of the rows, in list order.
std::vector<std::string> rowPaths(const std::vector<ResultRow>& rows);

/// Runs the real pipeline and duplicate finder over `root` with `settings`; returns the rows.
std::vector<ResultRow> runScan(const ScanSettings& settings, const std::string& root);

} // namespace karv::test
