#pragma once

#include "scan/FilterRun.h"
#include "support/RecordingHost.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace karv::test {

/// A front end without windows (fixed options, rows in memory, a scriptable pump).
using TestHost = RecordingHost;

/// Full paths of the rows, in list order.
std::vector<std::string> rowPaths(const std::vector<ResultRow>& rows);

/// Builds the duplicate stage a run uses.
using DuplicateStageFactory = std::function<std::unique_ptr<DuplicateStage>(FilterRun&)>;

/// Runs the real pipeline and a duplicate stage (the real finder unless `makeDuplicates` gives
/// another) over `root` with `settings`; returns the rows, and the final status text when asked.
std::vector<ResultRow> runScan(const ScanSettings& settings, const std::string& root,
                               const DuplicateStageFactory& makeDuplicates = {},
                               std::string* finalStatus = nullptr);

} // namespace karv::test
