#include "RunHarness.h"

#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"

namespace karv::test {

std::vector<std::string> rowPaths(const std::vector<ResultRow>& rows) {
    std::vector<std::string> paths;
    for (const ResultRow& row : rows)
        paths.push_back(row.path());
    return paths;
}

std::vector<ResultRow> runScan(const ScanSettings& settings, const std::string& root,
                               const DuplicateStageFactory& makeDuplicates, std::string* finalStatus) {
    TestHost host;
    host.opts.values = settings;
    FilterRun run{host.sink, host.context};
    host.run = &run;
    FilterPipeline pipeline(host.opts);
    const std::unique_ptr<DuplicateStage> duplicates =
        makeDuplicates ? makeDuplicates(run) : std::make_unique<DuplicateFinder>(host.opts);
    run.setFilterStage(&pipeline);
    run.setDuplicateStage(duplicates.get());
    host.runOn(run, root);
    if (finalStatus != nullptr)
        *finalStatus = host.status;
    return host.sink.rows;
}

} // namespace karv::test
