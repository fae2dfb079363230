// bench_shared_count.cpp - speed of the shared counts: 10,000 add+release
// pairs of SharedFileCount on one device, each call committed to the
// device's registry before it returns, against the floor of the same
// durability: 10,000 pairs of single-row UPDATEs straight through SQLite
// (WAL, synchronous=NORMAL, autocommit: one transaction each).
//
// BM_SharedCountVsSqlite measures both in the same run, alternating, and
// reports the SQLite time (sqlite_ms) and the ratio of the two.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "helpers/testdevice.h"
#include "device/device.h"
#include "registry/regpath.h"

namespace {

constexpr int kPairs = 10000;
// The two are measured in alternating slices of this many pairs, so that
// other work on the machine weighs on both alike.
constexpr int kSlice = 500;
const char *const kObject = "\\Program Files\\Dravex\\dravex.dll";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// N add+release pairs; false when a call failed.
bool CountPairs(int n)
{
    for (int i = 0; i < n; ++i) {
        DWORD count = 0;
        if (!SharedFileCount(1, kObject, &count) || !SharedFileCount(0, kObject, &count))
            return false;
        benchmark::DoNotOptimize(count);
    }
    return true;
}

// A database of one counter row, kept as the registry keeps its store.
struct SqliteCounter {
    sqlite3 *db = nullptr;
    sqlite3_stmt *add = nullptr, *release = nullptr;

    explicit SqliteCounter(const std::string &path)
    {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
            return;
        sqlite3_exec(db,
                     "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                     "CREATE TABLE counts(name BLOB PRIMARY KEY, n INTEGER NOT NULL) WITHOUT ROWID;"
                     "INSERT INTO counts VALUES(x'00', 1);",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, "UPDATE counts SET n = n + 1 WHERE name = x'00'", -1, &add, nullptr);
        sqlite3_prepare_v2(db, "UPDATE counts SET n = n - 1 WHERE name = x'00'", -1, &release, nullptr);
    }
    ~SqliteCounter()
    {
        sqlite3_finalize(add);
        sqlite3_finalize(release);
        sqlite3_close(db);
    }
    bool Step(sqlite3_stmt *st)
    {
        int rc = sqlite3_step(st);
        sqlite3_reset(st);
        return rc == SQLITE_DONE;
    }
    bool Pairs(int n)
    {
        if (!add || !release)
            return false;
        for (int i = 0; i < n; ++i)
            if (!Step(add) || !Step(release))
                return false;
        return true;
    }
};

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
    if (held && !SharedFileCount(1, kObject, nullptr)) {
        state.SkipWithError("cannot take the first count");
        plat::DeviceClose();
        return;
    }
    SqliteCounter sqlite(dir.path + "/plain.db");
    double countTotal = 0, sqliteTotal = 0;
    for (auto _ : state) {
        double count = 0;
        for (int done = 0; done < kPairs; done += kSlice) {
            auto t0 = Clock::now();
            if (!CountPairs(kSlice))
                return state.SkipWithError("a shared count failed");
            count += Seconds(t0);
            t0 = Clock::now();
            if (!sqlite.Pairs(kSlice))
                return state.SkipWithError("the plain SQLite updates failed");
            sqliteTotal += Seconds(t0);
        }
        state.SetIterationTime(count);
        countTotal += count;
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
    state.counters["us_per_pair"] = countTotal / (state.iterations() * kPairs) * 1e6;
    state.counters["sqlite_ms"] = sqliteTotal / state.iterations() * 1e3;
    state.counters["ratio"] = countTotal / sqliteTotal;
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

BENCHMARK(BM_SharedCountPairsHeld)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SharedCountPairsFresh)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
