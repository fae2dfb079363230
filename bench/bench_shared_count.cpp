// bench_shared_count.cpp - speed of the shared counts: 10,000 add+release
// pairs of SharedFileCount on one device, each call committed to the
// device's registry before it returns.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "registry/regpath.h"

namespace {

constexpr int kPairs = 10000;

// held: the object is counted once already, so each pair writes the value
// twice (1 -> 2 -> 1). fresh: each pair makes the value and deletes it
// again (0 -> 1 -> 0).
void SharedCountPairs(benchmark::State &state, bool held)
{
    cetest::TempDir dir;
    std::string error;
    if (!plat::DeviceOpen(dir.path + "/device", {}, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const char *path = "\\Program Files\\Dravex\\dravex.dll";
    if (held && !SharedFileCount(1, path, nullptr)) {
        state.SkipWithError("cannot take the first count");
        plat::DeviceClose();
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < kPairs; ++i) {
            DWORD count = 0;
            if (!SharedFileCount(1, path, &count) || !SharedFileCount(0, path, &count)) {
                state.SkipWithError("a shared count failed");
                break;
            }
            benchmark::DoNotOptimize(count);
        }
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
    state.counters["us_per_pair"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kPairs),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
    plat::DeviceClose();
}

void BM_SharedCountPairsHeld(benchmark::State &state)
{
    SharedCountPairs(state, true);
}
void BM_SharedCountPairsFresh(benchmark::State &state)
{
    SharedCountPairs(state, false);
}

BENCHMARK(BM_SharedCountPairsHeld)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SharedCountPairsFresh)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
