#pragma once

#include "scan/FilterRun.h"
#include "support/RecordingHost.h"

#include <functional>
#include <string>
#include <vector>

namespace karv::test {

/// A front end without windows (fixed options, rows in memory, a scriptable pump).
using TestHost = RecordingHost;

/// Full paths of the rows, in list order.
std::vector<std::string> rowPaths(const std::vector<ResultRow>& rows);

/// Runs the real pipeline and duplicate finder over `root` with `settings`; returns the rows.
std::vector<ResultRow> runScan(const ScanSettings& settings, const std::string& root);

} // namespace karv::test
