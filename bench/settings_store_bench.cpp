// Saving a window of about 60 controls: one atomic file replacement per key against one per save.

#include "settings/SettingsStore.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace karv;

namespace {

std::string freshFolder() {
    std::string pattern = "/tmp/karv-settings-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

void saveSixtyKeys(SettingsStore& store, int round) {
    store.setCurrentSection("主界面");
    for (int i = 0; i < 20; ++i) {
        store.writeFlag("选择框" + std::to_string(i), (i + round) % 2 == 0);
        store.writeText("编辑框" + std::to_string(i), std::to_string(i * round));
        store.writeFlag("单选框" + std::to_string(i), i == round % 20);
    }
}

void runSave(benchmark::State& state, bool batched) {
    const std::string folder = freshFolder();
    SettingsStore store;
    if (!store.openStore(folder + "/Karv·Tessil.ini"))
        std::abort();
    int round = 0;
    saveSixtyKeys(store, round); // the keys exist from here on, as on every save but the first
    for (auto _ : state) {
        ++round;
        if (batched) {
            SettingsBatch batch(store);
            saveSixtyKeys(store, round);
        } else {
            saveSixtyKeys(store, round);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void SaveSixtyKeys_ReplacePerKey(benchmark::State& state) {
    runSave(state, false);
}
void SaveSixtyKeys_OneReplacement(benchmark::State& state) {
    runSave(state, true);
}

} // namespace

BENCHMARK(SaveSixtyKeys_ReplacePerKey)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveSixtyKeys_OneReplacement)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
