// xfile_copy_test.cpp - XFile_CopyFileWithProgress and XFile_CopyFile: the
// progress calls, cancelling, overwriting, and that no failure (a failing
// write at any point, no memory, a copy onto itself) leaves a partial
// destination or loses the source.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/faults.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

class XFileCopy : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        cetest::DeviceFixture::TearDown();
    }
};

struct Recorder {
    std::vector<std::pair<DWORD, DWORD>> calls;
    int cancelAt = -1; // index of the call that answers 0
};

BOOL Record(DWORD done, DWORD percent, LPVOID user)
{
    Recorder *r = static_cast<Recorder *>(user);
    r->calls.push_back({done, percent});
    return (int)r->calls.size() - 1 == r->cancelAt ? FALSE : TRUE;
}

TEST_F(XFileCopy, ProgressCalls)
{
    struct Case {
        size_t size;
        bool noMemory; // the 32000-byte buffer cannot be had: blocks of 10000
        std::vector<std::pair<DWORD, DWORD>> calls; // (bytes done, percent)
    } cases[] = {
        {70000, false, {{0, 0}, {32000, 45}, {64000, 91}}},
        {32001, false, {{0, 0}, {32000, 99}}},
        {0, false, {}}, // no call for an empty source
        {25000, true, {{0, 0}, {10000, 40}, {20000, 80}}},
    };
    for (const Case &c : cases) {
        std::string data = Pattern(c.size, (unsigned)c.size);
        ASSERT_TRUE(PutFile("\\Temp\\src.bin", data));
        Recorder r;
        plat::FaultArm(plat::FaultKind::Alloc, c.noMemory ? 1 : 0);
        EXPECT_EQ(XFile_CopyFileWithProgress("\\Temp\\src.bin", "\\Temp\\dst.bin", TRUE, Record, &r), (DWORD)XEC_OK);
        EXPECT_EQ(plat::FaultFired(plat::FaultKind::Alloc), c.noMemory) << c.size;
        plat::FaultArm(plat::FaultKind::Alloc, 0);
        EXPECT_EQ(r.calls, c.calls) << c.size << " bytes";
        EXPECT_TRUE(GetFile("\\Temp\\dst.bin") == data) << c.size << " bytes: the copy differs";
    }
}

TEST_F(XFileCopy, CancelLeavesNoDestination)
{
    std::string data = Pattern(70000);
    ASSERT_TRUE(PutFile("\\Temp\\src.bin", data));
    for (int at = 0; at < 3; ++at) {
        Recorder r;
        r.cancelAt = at;
        EXPECT_EQ(XFile_CopyFileWithProgress("\\Temp\\src.bin", "\\Temp\\dst.bin", TRUE, Record, &r),
                  (DWORD)XEC_CANCELLED) << "cancel at call " << at;
        EXPECT_EQ(r.calls.size(), (size_t)at + 1) << "no call after the cancelling one";
        EXPECT_FALSE(FileThere("\\Temp\\dst.bin")) << "cancel at call " << at;
    }
    EXPECT_EQ(GetFile("\\Temp\\src.bin").value_or(""), data);
}

// Without overwrite an existing destination stays; with it, a longer one
// is truncated to the source, not patched. A failed copy destroys nothing
// it did not open: not a destination of a copy that never began, not a
// source copied onto itself, not a destination in use.
TEST_F(XFileCopy, OverwriteRulesAndFailuresKeepFiles)
{
    ASSERT_TRUE(PutFile("\\Temp\\src.bin", "new content"));
    ASSERT_TRUE(PutFile("\\Temp\\dst.bin", std::string(5000, 'z')));
    Recorder r;
    EXPECT_EQ(XFile_CopyFileWithProgress("\\Temp\\src.bin", "\\Temp\\dst.bin", FALSE, Record, &r), (DWORD)XEC_EXISTS);
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(GetFile("\\Temp\\dst.bin").value_or(""), std::string(5000, 'z'));
    EXPECT_EQ(XFile_CopyFile("\\Temp\\src.bin", "\\Temp\\dst.bin", TRUE), (DWORD)XEC_OK);
    EXPECT_EQ(GetFile("\\Temp\\dst.bin").value_or(""), "new content");

    EXPECT_EQ(XFile_CopyFile("\\Temp\\none.bin", "\\Temp\\dst.bin", TRUE), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(GetFile("\\Temp\\dst.bin").value_or("<none>"), "new content");
    std::string data = Pattern(70000);
    ASSERT_TRUE(PutFile("\\Temp\\self.bin", data));
    for (const char *dest : {"\\Temp\\self.bin", "\\TEMP\\SELF.BIN"}) {
        EXPECT_NE(XFile_CopyFile("\\Temp\\self.bin", dest, TRUE), (DWORD)XEC_OK) << dest;
        EXPECT_TRUE(GetFile("\\Temp\\self.bin") == data) << "source after a copy onto " << dest;
    }
    HANDLE busy = CreateFileW(u"\\Temp\\dst.bin", GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_NE(XFile_CopyFile("\\Temp\\self.bin", "\\Temp\\dst.bin", TRUE), (DWORD)XEC_OK);
    CloseHandle(busy);
    EXPECT_EQ(GetFile("\\Temp\\dst.bin").value_or("<none>"), "new content");
}

TEST_F(XFileCopy, EveryFailingWriteLeavesNothing)
{
    std::string data = Pattern(70000);
    ASSERT_TRUE(PutFile("\\Temp\\src.bin", data));
    const uint64_t freeBefore = FreeBytes("\\");
    int n = 1;
    DWORD rc = XEC_OK;
    for (; n < 50; ++n) {
        plat::FaultArm(plat::FaultKind::FileWrite, n);
        Recorder r;
        rc = XFile_CopyFileWithProgress("\\Temp\\src.bin", "\\Program Files\\dst.bin", TRUE, Record, &r);
        bool fired = plat::FaultFired(plat::FaultKind::FileWrite);
        plat::FaultArm(plat::FaultKind::FileWrite, 0);
        if (rc == XEC_OK) {
            EXPECT_FALSE(fired) << "write " << n << " failed but the copy reported success";
            break;
        }
        EXPECT_TRUE(fired) << "copy failed with " << rc << " without the injected fault";
        EXPECT_FALSE(FileThere("\\Program Files\\dst.bin")) << "partial destination after write " << n << " failed";
        EXPECT_EQ(FreeBytes("\\"), freeBefore) << "free space after write " << n << " failed";
        EXPECT_EQ(GetFile("\\Temp\\src.bin").value_or(""), data) << "source after write " << n << " failed";
    }
    EXPECT_EQ(rc, (DWORD)XEC_OK);
    EXPECT_EQ(n, 4) << "70000 bytes take three writes, so the fourth armed write is never reached";
    EXPECT_TRUE(GetFile("\\Program Files\\dst.bin") == data);
}

TEST_F(XFileCopy, PercentagesOfLargeFilesStayInRange)
{
    // 100 × bytes passes 32 bits after 42 949 672 bytes; the percentage must
    // still be exact and stay below 100.
    const size_t size = 45u * 1000 * 1000;
    cetest::WriteHostFile(CardHost("large.bin"), std::string(size, 'L'));
    Recorder r;
    EXPECT_EQ(XFile_CopyFileWithProgress("\\Storage Card\\large.bin", "\\Storage Card\\large2.bin", TRUE, Record, &r),
              (DWORD)XEC_OK);
    ASSERT_EQ(r.calls.size(), (size + 31999) / 32000);
    for (auto &c : r.calls)
        ASSERT_EQ(c.second, (DWORD)((uint64_t)c.first * 100 / size)) << "at " << c.first;
    EXPECT_EQ(r.calls.back().second, 99u);
    EXPECT_EQ(cetest::ReadHostFile(CardHost("large2.bin")).size(), size);
}

} // namespace
