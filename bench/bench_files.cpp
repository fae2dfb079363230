// bench_files.cpp - speed of the device's file calls against the same work
// done with the host's own calls: creating many files in one folder (the
// shape of an installation folder), opening existing files by a path in
// another case, reading a script a byte at a time, and listing a large
// folder.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "device/device.h"

namespace {

constexpr int kFiles = 2000;
constexpr size_t kFileSize = 4096;

struct BenchDevice {
    cetest::TempDir root;
    std::string cardDir;
    int folders = 0;

    BenchDevice()
    {
        std::string error;
        cardDir = root.path + "/card";
        cetest::WriteHostFile(cardDir + "/keep", "");
        plat::DeviceOverrides o;
        o.storageKb = "16777216"; // 16 GiB: the benchmarks fill folders again and again
        if (!plat::DeviceOpen(root.path + "/device", o, error) || !plat::DeviceMount(u"Storage Card", cardDir, error))
            abort();
        plat::DeviceSetModulePath(u"\\Storage Card\\Setup.exe");
    }
    ~BenchDevice() { plat::DeviceClose(); }

    std::u16string NewFolder()
    {
        std::u16string path = u"\\Program Files\\Bench" + cetest::U16(std::to_string(++folders));
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }
};

BenchDevice &Device()
{
    static BenchDevice device;
    return device;
}

// kFiles new files of kFileSize bytes in one new folder, through the device.
void BM_CreateFilesInOneFolder(benchmark::State &state)
{
    BenchDevice &dev = Device();
    std::string content(kFileSize, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        std::u16string folder = dev.NewFolder();
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            std::u16string name = folder + u"\\File" + cetest::U16(std::to_string(i)) + u".DLL";
            HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
            DWORD n;
            if (h == INVALID_HANDLE_VALUE || !WriteFile(h, content.data(), kFileSize, &n, nullptr)) {
                state.SkipWithError("create failed");
                return;
            }
            CloseHandle(h);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_CreateFilesInOneFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same files made with the host's calls: the floor for the above.
void BM_CreateFilesInOneFolderHost(benchmark::State &state)
{
    BenchDevice &dev = Device();
    std::string content(kFileSize, 'x');
    static int round = 0; // new folders also across repetitions
    for (auto _ : state) {
        state.PauseTiming();
        std::string folder = dev.root.path + "/host" + std::to_string(++round);
        mkdir(folder.c_str(), 0777);
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            std::string name = folder + "/File" + std::to_string(i) + ".DLL";
            int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (fd < 0 || write(fd, content.data(), kFileSize) != (ssize_t)kFileSize) {
                state.SkipWithError("host create failed");
                return;
            }
            close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_CreateFilesInOneFolderHost)->Unit(benchmark::kMillisecond)->Iterations(3);

// A removal's calls over an installed tree of kFiles files in 40 folders
// (made with the host's calls, so that no folder is known at the start, as
// in a new process): each file deleted by name, then its folder removed,
// which fails while the folder holds other files.
constexpr int kRemoveFolders = 40;

std::string MakeHostTree(const std::string &top)
{
    std::string content(kFileSize, 'd');
    mkdir(top.c_str(), 0777);
    for (int d = 0; d < kRemoveFolders; ++d)
        mkdir((top + "/d" + std::to_string(d)).c_str(), 0777);
    for (int i = 0; i < kFiles; ++i) {
        std::string name = top + "/d" + std::to_string(i % kRemoveFolders) + "/f" + std::to_string(i) + ".bin";
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || write(fd, content.data(), kFileSize) != (ssize_t)kFileSize)
            abort();
        close(fd);
    }
    return top;
}

void BM_RemoveTreeAsARemoval(benchmark::State &state)
{
    BenchDevice &dev = Device();
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string name = "Removal" + std::to_string(++round);
        MakeHostTree(dev.root.path + "/device/store/Program Files/" + name);
        std::u16string top = u"\\Program Files\\" + cetest::U16(name);
        std::vector<std::u16string> files, folders;
        for (int i = 0; i < kFiles; ++i) {
            std::u16string folder = top + u"\\d" + cetest::U16(std::to_string(i % kRemoveFolders));
            files.push_back(folder + u"\\f" + cetest::U16(std::to_string(i)) + u".bin");
            folders.push_back(folder);
        }
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            if (!DeleteFileW(files[i].c_str())) {
                state.SkipWithError("delete failed");
                return;
            }
            RemoveDirectoryW(folders[i].c_str());
        }
        if (!RemoveDirectoryW(top.c_str())) {
            state.SkipWithError("the tree is not empty");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_RemoveTreeAsARemoval)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same tree removed with the host's calls as rm -rf does: the floor.
void BM_RemoveTreeAsARemovalHost(benchmark::State &state)
{
    BenchDevice &dev = Device();
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string top = MakeHostTree(dev.root.path + "/hostremoval" + std::to_string(++round));
        std::vector<std::string> files;
        for (int i = 0; i < kFiles; ++i)
            files.push_back("f" + std::to_string(i) + ".bin");
        state.ResumeTiming();
        for (int d = 0; d < kRemoveFolders; ++d) {
            std::string folder = top + "/d" + std::to_string(d);
            int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
            for (int i = d; i < kFiles; i += kRemoveFolders)
                unlinkat(fd, files[i].c_str(), 0);
            close(fd);
            rmdir(folder.c_str());
        }
        rmdir(top.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_RemoveTreeAsARemovalHost)->Unit(benchmark::kMillisecond)->Iterations(5);

// Each file of a full folder opened by its own name, read whole and closed,
// as a copy opens its source: the device's per-open cost (the name parsed,
// the folder found, the sharing rule, the handle) over the host's work.
std::u16string &ReadFolder()
{
    static std::u16string folder;
    if (folder.empty()) {
        folder = Device().NewFolder();
        std::string content(kFileSize, 'r');
        for (int i = 0; i < kFiles; ++i) {
            std::u16string name = folder + u"\\File" + cetest::U16(std::to_string(i)) + u".DLL";
            HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0);
            DWORD n;
            WriteFile(h, content.data(), kFileSize, &n, nullptr);
            CloseHandle(h);
        }
    }
    return folder;
}

void BM_OpenReadClose(benchmark::State &state)
{
    const std::u16string &folder = ReadFolder();
    std::vector<std::u16string> names;
    for (int i = 0; i < kFiles; ++i)
        names.push_back(folder + u"\\File" + cetest::U16(std::to_string(i)) + u".DLL");
    std::vector<char> buf(32000);
    for (auto _ : state) {
        for (const auto &name : names) {
            HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
            DWORD n = 0;
            if (h == INVALID_HANDLE_VALUE || !ReadFile(h, buf.data(), DWORD(buf.size()), &n, nullptr) ||
                n != kFileSize) {
                state.SkipWithError("open or read failed");
                return;
            }
            CloseHandle(h);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenReadClose)->Unit(benchmark::kMillisecond);

// The same with the host's calls in the folder held open: the floor.
void BM_OpenReadCloseHost(benchmark::State &state)
{
    ReadFolder();
    std::string host = Device().root.path + "/device/store/Program Files/Bench" +
                       std::to_string(Device().folders);
    int dir = open(host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i)
        names.push_back("File" + std::to_string(i) + ".DLL");
    std::vector<char> buf(32000);
    for (auto _ : state) {
        for (const auto &name : names) {
            int fd = openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st;
            if (fd < 0 || fstat(fd, &st) != 0 || read(fd, buf.data(), buf.size()) != ssize_t(kFileSize)) {
                state.SkipWithError("host open or read failed");
                return;
            }
            close(fd);
        }
    }
    close(dir);
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenReadCloseHost)->Unit(benchmark::kMillisecond);

// Opening existing files of a full folder by names in another case, and
// checking for names that are not there (both need the folded lookup).
void BM_OpenFoldedAndMissing(benchmark::State &state)
{
    BenchDevice &dev = Device();
    static std::u16string folder;
    if (folder.empty()) {
        folder = dev.NewFolder();
        for (int i = 0; i < kFiles; ++i) {
            std::u16string name = folder + u"\\File" + cetest::U16(std::to_string(i)) + u".DLL";
            CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0));
        }
    }
    int64_t ops = 0;
    int i = 0;
    for (auto _ : state) {
        std::u16string name = folder + u"\\file" + cetest::U16(std::to_string(i++ % kFiles)) + u".dll";
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
        if (h == INVALID_HANDLE_VALUE) {
            state.SkipWithError("open failed");
            return;
        }
        CloseHandle(h);
        std::u16string missing = folder + u"\\none" + cetest::U16(std::to_string(i)) + u".dll";
        if (GetFileAttributesW(missing.c_str()) != INVALID_FILE_ATTRIBUTES) {
            state.SkipWithError("found a missing file");
            return;
        }
        ops += 2;
    }
    state.SetItemsProcessed(ops);
}
BENCHMARK(BM_OpenFoldedAndMissing)->Unit(benchmark::kMicrosecond);

// A 20,000-line script read one byte per ReadFile, as the line reader does.
void BM_ReadByteByByte(benchmark::State &state)
{
    BenchDevice &dev = Device();
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "copy bin . file" + std::to_string(i) + ".dll\r\n";
    cetest::WriteHostFile(dev.cardDir + "/script.load", text);
    int64_t bytes = 0;
    for (auto _ : state) {
        HANDLE h = CreateFileW(u"\\Storage Card\\script.load", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, 0);
        char c;
        DWORD n;
        while (ReadFile(h, &c, 1, &n, nullptr) && n == 1)
            ++bytes;
        CloseHandle(h);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadByteByByte)->Unit(benchmark::kMillisecond);

// Listing a folder of kFiles files.
void BM_ListFolder(benchmark::State &state)
{
    BenchDevice &dev = Device();
    static std::u16string folder;
    if (folder.empty()) {
        folder = dev.NewFolder();
        for (int i = 0; i < kFiles; ++i) {
            std::u16string name = folder + u"\\F" + cetest::U16(std::to_string(i)) + u".load";
            CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0));
        }
    }
    std::u16string pattern = folder + u"\\*.load";
    for (auto _ : state) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
        int n = h != INVALID_HANDLE_VALUE;
        while (FindNextFileW(h, &fd))
            ++n;
        FindClose(h);
        if (n != kFiles) {
            state.SkipWithError("wrong count");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
