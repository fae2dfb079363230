// bench_script.cpp - speed of the installation scripts over a large
// package: the space estimate and an install run of a generated script of
// 20,000 lines copying 2,000 package files, against "cp -r" of the same
// files on the host in the same run.
//
// BM_InstallVsCopy reports the run's time as its own and, measured in the
// same iterations, the time of "cp -r" of the package folder and the ratio
// of the two (counters cp_r_s and ratio).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "helpers/testdevice.h"
#include "device/device.h"
#include "user/msgbox.h"

#include "script/script.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 2000;
constexpr int kLines = 20000;
constexpr size_t kFileSize = 4096;

const char *kScript = "\\Storage Card\\Pkg\\Bench.load";
const char *kSource = "\\Storage Card\\Pkg";

// One device with the package on its card, made once for all benchmarks.
struct BenchWorld {
    cetest::TempDir root;
    std::string card, device;
    int messages = 0;
    bool ok = false;

    BenchWorld()
    {
        card = root.path + "/card";
        device = root.path + "/device";
        fs::create_directories(card + "/Pkg/bin");
        std::string content(kFileSize, 'x');
        for (int i = 0; i < kFiles; ++i) {
            for (size_t k = 0; k < 16; ++k)
                content[k] = char('a' + (i + k) % 26);
            const char *ext = i % 4 == 0 ? ".exe.ARM" : (i % 4 == 1 ? ".dll.ARM" : ".dat");
            cetest::WriteHostFile(card + "/Pkg/bin/f" + std::to_string(i) + ext, content);
        }

        // 6 header lines, 2,000 copies, 500 registry values, and comments,
        // mkdir lines and skipped lines up to 20,000, then exit.
        std::string s = "// 'Bench 1.0'\r\n// HKEY_LOCAL_MACHINE Software\\Bench\r\n// Bench\r\n"
                        "// Setup.bmp=Bench.bmp\r\n// SelectAppLocation=Yes\r\n// 'Done.'\r\n";
        int lines = 6;
        s += "regKeyCreate HKEY_LOCAL_MACHINE Software\\Bench\r\n";
        ++lines;
        for (int i = 0; i < kFiles; ++i) {
            const char *ext = i % 4 == 0 ? ".exe" : (i % 4 == 1 ? ".dll" : ".dat");
            s += std::string(i % 2 ? "copy" : "COPY") + " bin sub" + std::to_string(i % 20) + " f" +
                 std::to_string(i) + ext + "\r\n";
            ++lines;
            if (i % 4 == 0) {
                s += "regString HKEY_LOCAL_MACHINE Software\\Bench x F" + std::to_string(i) + " %P\\f" +
                     std::to_string(i) + "\r\n";
                ++lines;
            }
        }
        for (int i = 0; lines < kLines - 1; ++i, ++lines) {
            switch (i % 3) {
            case 0: s += "// comment line " + std::to_string(i) + " with 'quoted text' and %P\r\n"; break;
            case 1: s += "mkdir %P\\unused\r\n"; break;
            default: s += "unknownKeyword a b c\r\n"; break;
            }
        }
        s += "exit\r\n";
        cetest::WriteHostFile(card + "/Pkg/Bench.load", s);

        plat::DeviceOverrides o;
        o.storageKb = "0"; // the host's own free space
        std::string err;
        if (!plat::DeviceOpen(device, o, err) || !plat::DeviceMount(u"Storage Card", card, err)) {
            std::fprintf(stderr, "bench_script: %s\n", err.c_str());
            return;
        }
        plat::SetMessageBoxHook([this](HWND, const std::u16string &, const std::u16string &, UINT) {
            ++messages;
            return 7;
        });
        ok = true;
    }
    ~BenchWorld()
    {
        plat::SetMessageBoxHook({});
        plat::DeviceClose();
    }
};

BenchWorld &World()
{
    static BenchWorld w;
    return w;
}

BOOL Install(const std::string &folder)
{
    char inst[264];
    std::snprintf(inst, sizeof inst, "%s", folder.c_str());
    std::string log = folder + "\\Bench.unload";
    DWORD done = 0;
    return RunScript(1, 1, 0, kScript, log.c_str(), 1, kSource, inst, 0, 0, kFiles * kFileSize, &done);
}

BOOL Remove(const std::string &folder)
{
    char inst[264];
    std::snprintf(inst, sizeof inst, "%s", folder.c_str());
    std::string log = folder + "\\Bench.unload";
    DWORD done = 0;
    BOOL ok = RunScript(0, 0, 0, kScript, log.c_str(), 1, kSource, inst, 0, 0, 0, &done);
    DeleteFileW(cetest::U16(log).c_str());
    RemoveDirectoryW(cetest::U16(folder).c_str());
    return ok;
}

double CpR(const std::string &to)
{
    std::string cmd = "cp -r '" + World().card + "/Pkg' '" + to + "'";
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    auto t1 = std::chrono::steady_clock::now();
    if (rc != 0)
        return -1;
    return std::chrono::duration<double>(t1 - t0).count();
}

void BM_EstimateScript(benchmark::State &state)
{
    if (!World().ok)
        return state.SkipWithError("no device");
    DWORD total = 0;
    for (auto _ : state) {
        if (!EstimateScript(kScript, kSource, &total, 1))
            return state.SkipWithError("the estimate failed");
    }
    if (total != kFiles * kFileSize)
        return state.SkipWithError("wrong total");
    state.SetItemsProcessed(state.iterations() * kLines);
    state.counters["lines"] = kLines;
    state.counters["files"] = kFiles;
}
BENCHMARK(BM_EstimateScript)->Unit(benchmark::kMillisecond);

// The same script read on the host with a plain buffered line reader
// (getline), alone and with a stat of each copied package file (the sizes
// the estimate adds up), measured in the same iterations as EstimateScript:
// counters plain_ms, plain_sizes_ms and the ratios to them.
double PlainRead(bool sizes, uint64_t &total)
{
    auto t0 = std::chrono::steady_clock::now();
    FILE *f = std::fopen((World().card + "/Pkg/Bench.load").c_str(), "rb");
    if (!f)
        return -1;
    char *line = nullptr;
    size_t cap = 0;
    total = 0;
    while (getline(&line, &cap, f) > 0) {
        if (!sizes || (std::strncmp(line, "copy ", 5) != 0 && std::strncmp(line, "COPY ", 5) != 0))
            continue;
        char dir[64], to[64], name[64];
        if (std::sscanf(line + 5, "%63s %63s %63s", dir, to, name) != 3)
            continue;
        std::string path = World().card + "/Pkg/" + dir + "/" + name;
        size_t n = std::strlen(name);
        if (n > 4 && (std::strcmp(name + n - 4, ".exe") == 0 || std::strcmp(name + n - 4, ".dll") == 0))
            path += ".ARM";
        struct stat st;
        if (stat(path.c_str(), &st) == 0)
            total += static_cast<uint64_t>(st.st_size);
    }
    std::free(line);
    std::fclose(f);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_EstimateVsPlainReader(benchmark::State &state)
{
    if (!World().ok)
        return state.SkipWithError("no device");
    double est = 0, plain = 0, plainSizes = 0;
    for (auto _ : state) {
        DWORD total = 0;
        auto t0 = std::chrono::steady_clock::now();
        if (!EstimateScript(kScript, kSource, &total, 1) || total != kFiles * kFileSize)
            return state.SkipWithError("the estimate failed");
        double e = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(e);
        est += e;
        uint64_t hostTotal = 0;
        double p = PlainRead(false, hostTotal), ps = PlainRead(true, hostTotal);
        if (p < 0 || ps < 0 || hostTotal != kFiles * kFileSize)
            return state.SkipWithError("the plain reader failed");
        plain += p;
        plainSizes += ps;
    }
    double n = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plain / n * 1e3;
    state.counters["plain_sizes_ms"] = plainSizes / n * 1e3;
    state.counters["ratio_lines"] = est / plain;
    state.counters["ratio_sizes"] = est / plainSizes;
}
BENCHMARK(BM_EstimateVsPlainReader)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_InstallVsCopy(benchmark::State &state)
{
    if (!World().ok)
        return state.SkipWithError("no device");
    double cpTotal = 0, runTotal = 0;
    int n = 0;
    for (auto _ : state) {
        std::string folder = "\\Program Files\\Bench" + std::to_string(n);
        auto t0 = std::chrono::steady_clock::now();
        BOOL ok = Install(folder);
        auto t1 = std::chrono::steady_clock::now();
        double run = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(run);
        if (!ok || World().messages)
            return state.SkipWithError("the install run failed");

        std::string cpTo = World().root.path + "/cp" + std::to_string(n);
        double cp = CpR(cpTo);
        if (cp < 0)
            return state.SkipWithError("cp -r failed");
        fs::remove_all(cpTo);
        if (!Remove(folder))
            return state.SkipWithError("the removal run failed");
        runTotal += run;
        cpTotal += cp;
        ++n;
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetBytesProcessed(state.iterations() * int64_t(kFiles * kFileSize));
    state.counters["cp_r_s"] = cpTotal / n;
    state.counters["ratio"] = runTotal / cpTotal;
}
BENCHMARK(BM_InstallVsCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The host copy alone, for reference.
void BM_CpR(benchmark::State &state)
{
    if (!World().ok)
        return state.SkipWithError("no device");
    int n = 0;
    for (auto _ : state) {
        std::string to = World().root.path + "/cponly" + std::to_string(n++);
        double cp = CpR(to);
        if (cp < 0)
            return state.SkipWithError("cp -r failed");
        state.SetIterationTime(cp);
        fs::remove_all(to);
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_CpR)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
