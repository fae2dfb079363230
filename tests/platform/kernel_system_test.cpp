// kernel_system_test.cpp - version, module handle, last error, local heap,
// time conversions and program starts.
#include <time.h>

#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "file_testutil.h"
#include "internal/device.h"
#include "internal/faults.h"
#include "internal/files.h"
#include "internal/transcript.h"

using namespace filetest;
using cetest::U8;

namespace {

class KernelSystem : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        DeviceFixture::TearDown();
    }
};

TEST_F(KernelSystem, VersionComesFromTheDeviceSettings)
{
    struct Case {
        const char *version;
        DWORD major, minor;
    } cases[] = {{nullptr, 4, 20}, {"2.10", 2, 10}}; // the parsing itself: device tests
    OSVERSIONINFOW v;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version ? c.version : "default");
        plat::DeviceOverrides o;
        if (c.version)
            o.osVersion = c.version;
        Reopen(o);
        memset(&v, 0xcc, sizeof v);
        v.dwOSVersionInfoSize = 276;
        ASSERT_TRUE(GetVersionExW(&v));
        EXPECT_EQ(v.dwMajorVersion, c.major);
        EXPECT_EQ(v.dwMinorVersion, c.minor);
        EXPECT_EQ(v.dwPlatformId, 3u);
        EXPECT_EQ(v.szCSDVersion[0], 0);
    }
    v.dwOSVersionInfoSize = 100;
    EXPECT_FAILS(GetVersionExW(&v), FALSE, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FAILS(GetVersionExW(nullptr), FALSE, ERROR_INVALID_PARAMETER);
}

TEST_F(KernelSystem, ModuleHandleAndThreadLastError)
{
    EXPECT_EQ(GetModuleHandleW(nullptr), plat::ProgramInstance());
    EXPECT_EQ(plat::ProgramInstance(), plat::kProgramInstance);
    EXPECT_EQ(GetModuleHandleW(u"SETUP.EXE"), plat::kProgramInstance) << "its own file name";
    EXPECT_EQ(GetModuleHandleW(u"\\Storage Card\\setup.exe"), plat::kProgramInstance);
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(u"coredll.dll"), 0u);
    EXPECT_NE(GetLastError(), 0u);

    SetLastError(1234);
    DWORD seen = 1;
    std::thread([&] { seen = GetLastError(); SetLastError(99); }).join();
    EXPECT_EQ(seen, 0u) << "a new thread starts without an error";
    EXPECT_EQ(GetLastError(), 1234u) << "another thread's error does not leak";
}

TEST_F(KernelSystem, LocalHeap)
{
    BYTE *p = static_cast<BYTE *>(LocalAlloc(LPTR, 64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(p[i], 0) << "LPTR memory is zeroed, byte " << i;
    EXPECT_EQ(LocalSize(p), 64u);
    memset(p, 0xab, 64);

    // A fixed block grows only when it may move; growing keeps the content.
    EXPECT_FAILS(LocalReAlloc(p, 128, LMEM_ZEROINIT), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalSize(p), 64u) << "a refused growth keeps the block";
    BYTE *q = static_cast<BYTE *>(LocalReAlloc(p, 128, LMEM_MOVEABLE | LMEM_ZEROINIT));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(LocalSize(q), 128u);
    EXPECT_EQ(q[63], 0xab);
    EXPECT_EQ(q[64], 0) << "the new part is zeroed";
    EXPECT_EQ(LocalReAlloc(q, 16, 0), q) << "shrinking stays in place";
    EXPECT_EQ(LocalSize(q), 16u);
    EXPECT_EQ(LocalFree(q), nullptr);

    // Freeing twice, or a pointer from elsewhere, is refused without harm.
    EXPECT_FAILS(LocalFree(q), q, ERROR_INVALID_HANDLE);
    int local = 0;
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(LocalSize(&local), 0u);

    void *zero = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(zero, nullptr) << "a zero-sized block is still a block";
    EXPECT_EQ(LocalSize(zero), 0u);
    LocalFree(zero);

    EXPECT_FAILS(LocalAlloc(0x8000, 8), nullptr, ERROR_INVALID_PARAMETER);

    // Injected failures hit exactly the armed allocation.
    plat::FaultArm(plat::FaultKind::Alloc, 2);
    for (int i = 1; i <= 3; ++i) {
        SetLastError(0);
        void *b = LocalAlloc(LPTR, 8);
        EXPECT_EQ(b == nullptr, i == 2) << "fault armed for 2, allocation " << i;
        EXPECT_EQ(GetLastError(), i == 2 ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : 0u);
        LocalFree(b);
    }
}

TEST_F(KernelSystem, SystemTimesAndFileTimesConvertBothWays)
{
    const struct {
        SYSTEMTIME st;
        uint64_t ft;
    } cases[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
        {{2000, 2, 2, 29, 12, 34, 56, 789}, 125963012967890000ull},
        {{2038, 1, 2, 19, 3, 14, 8, 0}, 137919572480000000ull},
    };
    FILETIME f;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.st.wYear);
        ASSERT_TRUE(SystemTimeToFileTime(&c.st, &f));
        EXPECT_EQ(Ft(f), c.ft);
        SYSTEMTIME back;
        ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
        EXPECT_EQ(memcmp(&back, &c.st, sizeof back), 0) << "round trip: day of week " << back.wDayOfWeek;
    }
    const SYSTEMTIME bad[] = {
        {2001, 2, 0, 29, 0, 0, 0, 0},  // not a leap year
        {1900, 2, 0, 29, 0, 0, 0, 0},  // before 1601 and not leap
        {2000, 13, 0, 1, 0, 0, 0, 0},
        {2000, 1, 0, 0, 0, 0, 0, 0},
        {2000, 1, 0, 1, 24, 0, 0, 0},
        {2000, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const SYSTEMTIME &s : bad) {
        SCOPED_TRACE(std::to_string(s.wYear) + "-" + std::to_string(s.wMonth) + "-" + std::to_string(s.wDay));
        EXPECT_FAILS(SystemTimeToFileTime(&s, &f), FALSE, ERROR_INVALID_PARAMETER);
    }
    FILETIME a = MakeFt(5), b = MakeFt(7);
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);

    // The clock calls agree with the host.
    uint64_t host = static_cast<uint64_t>(time(nullptr)) * 10000000ull + 116444736000000000ull;
    uint64_t mine = NowFt();
    uint64_t diff = mine > host ? mine - host : host - mine;
    EXPECT_LT(diff, 50000000ull) << "GetSystemTime is within 5 s of the host clock";
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_GE(local.wYear, 2020);
    GetSystemTime(nullptr); // tolerated
    DWORD t0 = GetTickCount();
    Sleep(30);
    DWORD t1 = GetTickCount();
    EXPECT_GE(t1 - t0, 30u) << "Sleep waits at least as long as asked";
}

TEST_F(KernelSystem, CreateProcessLooksProgramsUpAndRecordsEveryStart)
{
    std::string transcript = root.path + "/transcript.jsonl";
    std::string error;
    ASSERT_TRUE(plat::TranscriptOpen(transcript, error)) << error;
    for (const char16_t *f : {u"\\Windows\\Tool.exe", u"\\Both.exe", u"\\Windows\\Both.exe", u"\\RootOnly.exe",
                              u"\\Windows\\Data"})
        ASSERT_TRUE(Put(f, "MZ"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows\\Folder.exe", nullptr));

    const struct {
        const char16_t *program;
        const char16_t *cmdline;
        bool started;
        const char *recorded;
    } cases[] = {
        {u"\\Windows\\ctlpnl.exe", u"cplmain.cpl,2", false, "\\Windows\\ctlpnl.exe"},
        {u"tool", u"-x", true, "\\Windows\\Tool.exe"},
        {u"TOOL.EXE", nullptr, true, "\\Windows\\Tool.exe"},
        {u"both", u"", true, "\\Windows\\Both.exe"},
        {u"rootonly", u"a b", true, "\\RootOnly.exe"},
        {u"\\windows\\tool.exe", u"", true, "\\Windows\\Tool.exe"},
        {u"data", u"", false, "data"}, // "data.exe"; the file without an extension is no program
        {u"Folder.exe", u"", false, "Folder.exe"},
        {u"..\\evil.exe", u"", false, "..\\evil.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(U8(c.program));
        std::u16string cmd = c.cmdline ? c.cmdline : u"";
        PROCESS_INFORMATION pi = {};
        SetLastError(0);
        BOOL ok = CreateProcessW(c.program, c.cmdline ? cmd.data() : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, nullptr, &pi);
        EXPECT_EQ(ok, c.started ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.started ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        if (ok) {
            EXPECT_NE(pi.hThread, pi.hProcess);
            EXPECT_TRUE(CloseHandle(pi.hProcess));
            EXPECT_TRUE(CloseHandle(pi.hThread));
            EXPECT_FALSE(CloseHandle(pi.hThread)) << "closed twice";
        }
    }
    EXPECT_TRUE(CreateProcessW(u"tool", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr))
        << "no process information wanted";
    std::u16string line = u"\"\\Windows\\Tool.exe\" /s";
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr))
        << "the program taken from the command line";
    plat::TranscriptClose();

    std::vector<nlohmann::json> events;
    std::ifstream in(transcript);
    for (std::string line; std::getline(in, line);) {
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_discarded() && j.value("event", "") == "launch")
            events.push_back(j);
    }
    size_t n = sizeof cases / sizeof cases[0];
    ASSERT_EQ(events.size(), n + 2) << "one launch event per start";
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(U8(cases[i].program));
        EXPECT_EQ(events[i].value("program", ""), cases[i].recorded);
        EXPECT_EQ(events[i].value("started", !cases[i].started), cases[i].started);
        EXPECT_EQ(events[i].value("cmdline", "?"), U8(cases[i].cmdline ? cases[i].cmdline : u""));
    }
    EXPECT_EQ(events[n + 1].value("program", ""), "\\Windows\\Tool.exe");
    EXPECT_EQ(events[n + 1].value("cmdline", ""), "/s");
}

} // namespace
