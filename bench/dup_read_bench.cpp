// Runs the duplicate search by content over the tree named by KARV_BENCH_TREE and reports how many
// bytes it opened, read, hashed and compared. The timing comparison with peer tools is done by
// dup_md5_bench.sh on the command line; this program answers "how much was read".
#include "desktop/Desktop.h"
#include "duplicates/DuplicateFinder.h"
#include "filter/FilterPipeline.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

class CountingSink : public karv::ResultSink {
public:
    void append(karv::ResultRow) override { ++m_rows; }
    std::size_t count() const override { return m_rows; }
    void clear() override { m_rows = 0; }

private:
    std::size_t m_rows = 0;
};

/// A run nobody watches: no progress shown, no events to let in.
struct BenchHost {
    karv::FixedScanOptions options_;
    CountingSink sink;
    karv::StopToken stop;
    karv::NoProgress progress;
    karv::SteadyClock clock;
    karv::RunContext context{stop, progress, {}, clock};
};

void DuplicatesByContent(benchmark::State& state) {
    const char* tree = std::getenv("KARV_BENCH_TREE");
    if (tree == nullptr) {
        state.SkipWithError("set KARV_BENCH_TREE to the tree to search");
        return;
    }
    for (auto _ : state) {
        BenchHost host;
        host.options_.values.duplicateFilter = true;
        host.options_.values.duplicateKind = karv::DuplicateKind::Md5;
        host.options_.values.duplicateOutput = karv::DuplicateOutput::All;
        karv::FilterRun run(host.sink, host.context);
        karv::FilterPipeline pipeline(host.options_);
        karv::DuplicateFinder finder(host.options_);
        run.setFilterStage(&pipeline);
        run.setDuplicateStage(&finder);
        run.run({host.options_, tree});
        const karv::ReadStats& stats = finder.readStats();
        state.counters["rows"] = static_cast<double>(host.sink.count());
        state.counters["files_opened"] = static_cast<double>(stats.filesOpened);
        state.counters["bytes_read"] = static_cast<double>(stats.bytesRead);
        state.counters["bytes_hashed"] = static_cast<double>(stats.bytesDigested);
        state.counters["bytes_compared"] = static_cast<double>(stats.bytesCompared);
    }
}
BENCHMARK(DuplicatesByContent)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
