// kernel_system_test.cpp - version, last error, local heap, time conversions
// and program starts.
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "file_testutil.h"
#include "internal/device.h"
#include "internal/faults.h"
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

TEST_F(KernelSystem, VersionTimesAndThreadLastError)
{
    plat::DeviceOverrides o;
    o.osVersion = "2.10";
    Reopen(o);
    OSVERSIONINFOW v;
    v.dwOSVersionInfoSize = 276;
    ASSERT_TRUE(GetVersionExW(&v));
    EXPECT_EQ(v.dwMajorVersion * 100 + v.dwMinorVersion, 210u) << "from the device settings";
    v.dwOSVersionInfoSize = 100;
    EXPECT_FAILS(GetVersionExW(&v), FALSE, ERROR_INSUFFICIENT_BUFFER);

    const SYSTEMTIME leap = {2000, 2, 2, 29, 12, 34, 56, 789}, notLeap = {2001, 2, 0, 29, 0, 0, 0, 0};
    FILETIME f;
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &f));
    EXPECT_EQ(Ft(f), 125963012967890000ull);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
    EXPECT_EQ(memcmp(&back, &leap, sizeof back), 0) << "round trip: day of week " << back.wDayOfWeek;
    EXPECT_FAILS(SystemTimeToFileTime(&notLeap, &f), FALSE, ERROR_INVALID_PARAMETER);

    SetLastError(1234);
    std::thread([] { SetLastError(99); }).join();
    EXPECT_EQ(GetLastError(), 1234u) << "another thread's error does not leak";
}

TEST_F(KernelSystem, LocalHeap)
{
    BYTE *p = static_cast<BYTE *>(LocalAlloc(LPTR, 64));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0] | p[63], 0) << "LPTR memory is zeroed";
    memset(p, 0xab, 64);
    // A fixed block grows only when it may move; growing keeps the content.
    EXPECT_FAILS(LocalReAlloc(p, 128, LMEM_ZEROINIT), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalSize(p), 64u) << "a refused growth keeps the block";
    BYTE *q = static_cast<BYTE *>(LocalReAlloc(p, 128, LMEM_MOVEABLE | LMEM_ZEROINIT));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[63] * 1000 + q[64], 0xab * 1000) << "content kept, the new part zeroed";
    EXPECT_EQ(LocalFree(q), nullptr);
    EXPECT_FAILS(LocalFree(q), q, ERROR_INVALID_HANDLE); // freeing twice is refused
    plat::FaultArm(plat::FaultKind::Alloc, 1);
    EXPECT_FAILS(LocalAlloc(LPTR, 8), nullptr, ERROR_NOT_ENOUGH_MEMORY); // an injected failure
}

TEST_F(KernelSystem, CreateProcessLooksProgramsUpAndRecordsEveryStart)
{
    std::string transcript = root.path + "/transcript.jsonl";
    std::string error;
    ASSERT_TRUE(plat::TranscriptOpen(transcript, error)) << error;
    for (const char16_t *f : {u"\\Windows\\Both.exe", u"\\Both.exe", u"\\RootOnly.exe"})
        ASSERT_TRUE(Put(f, "MZ"));
    const struct {
        const char16_t *program;
        const char *recorded; // nullptr: not started, recorded as given
    } cases[] = {
        {u"\\Windows\\ctlpnl.exe", nullptr},
        {u"BOTH", "\\Windows\\Both.exe"}, // \Windows first, then the root
        {u"rootonly", "\\RootOnly.exe"},
        {u"..\\evil.exe", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(U8(c.program));
        std::u16string cmd = u"a b";
        PROCESS_INFORMATION pi = {};
        SetLastError(0);
        BOOL ok = CreateProcessW(c.program, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi);
        EXPECT_EQ(ok, c.recorded ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.recorded ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        if (ok) {
            EXPECT_TRUE(CloseHandle(pi.hProcess) && CloseHandle(pi.hThread));
        }
    }
    plat::TranscriptClose();

    std::vector<nlohmann::json> events;
    std::ifstream in(transcript);
    for (std::string line; std::getline(in, line);) {
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_discarded() && j.value("event", "") == "launch")
            events.push_back(j);
    }
    ASSERT_EQ(events.size(), std::size(cases)) << "one launch event per start";
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(U8(cases[i].program));
        bool started = cases[i].recorded != nullptr;
        EXPECT_EQ(events[i].value("program", ""), started ? cases[i].recorded : U8(cases[i].program));
        EXPECT_EQ(events[i].value("started", !started), started);
        EXPECT_EQ(events[i].value("cmdline", "?"), "a b");
    }
}

} // namespace
