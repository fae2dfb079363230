// bench_copy.cpp - speed of XFile_CopyFileWithProgress (4 MB, card to
// store and within the store) and of XFile_ReadLine over a script-sized
// text file, on a fresh temporary device.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "helpers/testdevice.h"
#include "support/xec.h"
#include "support/xfile.h"

namespace {

struct BenchDevice {
    cetest::TempDir root;
    std::string cardDir;

    BenchDevice()
    {
        std::string error;
        cardDir = root.path + "/card";
        if (!plat::DeviceOpen(root.path + "/device", {}, error))
            abort();
        cetest::WriteHostFile(cardDir + "/keep", "");
        if (!plat::DeviceMount(u"Storage Card", cardDir, error))
            abort();
        plat::DeviceSetModulePath(u"\\Storage Card\\Setup.exe");
    }
    ~BenchDevice() { plat::DeviceClose(); }
};

BenchDevice &Device()
{
    static BenchDevice device;
    return device;
}

std::string Data(size_t n)
{
    std::string s(n, '\0');
    uint32_t x = 88172645u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x);
    }
    return s;
}

BOOL CountCalls(DWORD, DWORD, LPVOID user)
{
    ++*static_cast<int *>(user);
    return TRUE;
}

void BM_CopyCardToStore(benchmark::State &state)
{
    BenchDevice &dev = Device();
    const size_t size = (size_t)state.range(0);
    cetest::WriteHostFile(dev.cardDir + "/src.bin", Data(size));
    int calls = 0;
    for (auto _ : state) {
        DWORD rc = XFile_CopyFileWithProgress("\\Storage Card\\src.bin", "\\Program Files\\dst.bin", TRUE,
                                              CountCalls, &calls);
        if (rc != XEC_OK) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)size);
    XFile_DeleteFile("\\Program Files\\dst.bin");
}
BENCHMARK(BM_CopyCardToStore)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_CopyWithinStore(benchmark::State &state)
{
    Device();
    const size_t size = (size_t)state.range(0);
    std::string data = Data(size);
    HANDLE h = XFILE_NO_HANDLE;
    if (XFile_Create("\\Temp\\src.bin", &h) != XEC_OK) {
        state.SkipWithError("cannot create the source");
        return;
    }
    for (size_t done = 0; done < size; done += 32000)
        XFile_Write(h, data.data() + done, (DWORD)std::min<size_t>(32000, size - done), NULL);
    XFile_Close(&h);
    for (auto _ : state) {
        if (XFile_CopyFile("\\Temp\\src.bin", "\\Temp\\dst.bin", TRUE) != XEC_OK) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)size);
    XFile_DeleteFile("\\Temp\\dst.bin");
    XFile_DeleteFile("\\Temp\\src.bin");
}
BENCHMARK(BM_CopyWithinStore)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_ReadLines(benchmark::State &state)
{
    BenchDevice &dev = Device();
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "copy bin . file" + std::to_string(i) + ".dll\r\n";
    cetest::WriteHostFile(dev.cardDir + "/script.load", text);
    char line[512];
    int64_t lines = 0;
    for (auto _ : state) {
        HANDLE h = XFILE_NO_HANDLE;
        if (XFile_Open("\\Storage Card\\script.load", XFILE_MODE_READ, &h) != XEC_OK) {
            state.SkipWithError("cannot open the script");
            break;
        }
        int64_t n = 0;
        while (XFile_ReadLine(h, line, sizeof line, NULL) == XEC_OK)
            ++n;
        XFile_Close(&h);
        if (n != 2000) {
            state.SkipWithError("wrong number of lines");
            break;
        }
        lines += n;
    }
    state.SetItemsProcessed(lines);
}
BENCHMARK(BM_ReadLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
