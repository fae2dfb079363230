// file_share_test.cpp - sharing between handles and between processes, open
// files that cannot be deleted or moved, copying onto itself, and the
// module file that stays open for the whole run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_testutil.h"
#include "kernel/device.h"
#include "kernel/faults.h"

using namespace filetest;
using cetest::ReadHostFile;

namespace {

class FileShare : public cetest::DeviceFixture {};

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;

TEST_F(FileShare, ASecondOpenFollowsTheWindowsRule)
{
    const struct {
        DWORD access1, share1, access2, share2;
        bool secondOpens;
    } cases[] = {
        {R, SR, W, SR, false},        // the first does not share writing
        {R, SR | SW, W, SR, true},
        {W, SR, R, SR, false},        // the second must share the first's writing
        // No access, but denying everything: Windows CE refuses every later
        // open while a handle with share mode 0 is open, whatever its access
        // (desktop Win32 lets handles without data access share freely).
        {0, 0, R, SR | SW, false},
        {0, SR | SW, R | W, 0, true}, // no access to deny
    };
    int row = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE("row " + std::to_string(++row));
        ASSERT_TRUE(Put(u"\\Temp\\s.txt", "shared"));
        HANDLE a = Open(u"\\Temp\\s.txt", c.access1, c.share1, OPEN_EXISTING);
        ASSERT_NE(a, INVALID_HANDLE_VALUE);
        SetLastError(0);
        HANDLE b = Open(u"\\Temp\\s.txt", c.access2, c.share2, OPEN_EXISTING);
        EXPECT_EQ(b != INVALID_HANDLE_VALUE, c.secondOpens);
        EXPECT_EQ(GetLastError(), c.secondOpens ? 0u : static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        CloseHandle(b);
        CloseHandle(a);
    }

    // An open file is not truncated, deleted or moved; nor copied onto itself.
    HANDLE a = Open(u"\\Temp\\s.txt", R, SR, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(Open(u"\\Temp\\s.txt", W, SR, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\S.txt"), FALSE, ERROR_SHARING_VIOLATION);
    EXPECT_FAILS(MoveFileW(u"\\Temp\\s.txt", u"\\Storage Card\\moved.txt"), FALSE, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(cetest::HostExists(CardHost("moved.txt"))) << "a refused move left a copy";
    CloseHandle(a);
    EXPECT_FAILS(CopyFileW(u"\\Temp\\s.txt", u"/temp/S.TXT", FALSE), FALSE, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/s.txt")), "shared") << "a refused call truncated";
}

// The rule of the first test, with the first handle held by another
// process of the device.
TEST_F(FileShare, TheRuleIsTheSameAcrossProcesses)
{
    const struct {
        DWORD access1, share1, access2, share2;
        bool secondOpens;
    } cases[] = {
        {R, SR, R, SR, true},
        {R, SR, W, SR | SW, false},
        {R, SR | SW, W, SR | SW, true},
        {W, SR, R, SR, false},
        {W, SR, R, SR | SW, true},
        {0, 0, R, SR | SW, false},
        {R, 0, R, SR | SW, false},
    };
    int row = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE("row " + std::to_string(++row));
        ASSERT_TRUE(Put(u"\\Temp\\x.txt", "x"));
        Child child([&] { return Open(u"\\Temp\\x.txt", c.access1, c.share1, OPEN_EXISTING) == INVALID_HANDLE_VALUE ? 'F' : 'K'; });
        ASSERT_EQ(child.Report(), 'K');
        SetLastError(0);
        HANDLE b = Open(u"\\Temp\\x.txt", c.access2, c.share2, OPEN_EXISTING);
        EXPECT_EQ(b != INVALID_HANDLE_VALUE, c.secondOpens);
        EXPECT_EQ(GetLastError(), c.secondOpens ? 0u : static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        CloseHandle(b);
        // Never deleted while the other process has it open.
        EXPECT_FAILS(DeleteFileW(u"\\Temp\\x.txt"), FALSE, ERROR_SHARING_VIOLATION);
        child.Finish();
    }
}

// A process killed with files open holds nothing once it is gone; the one
// that made the device's table of open files is no different.
TEST_F(FileShare, AKilledProcessLetsGoOfItsFiles)
{
    ASSERT_TRUE(Put(u"\\Temp\\k.txt", "kept"));
    Child child([] {
        bool ok = Open(u"\\Temp\\k.txt", R | W, 0, OPEN_EXISTING) != INVALID_HANDLE_VALUE &&
                  Open(u"\\Temp\\new.txt", W, 0, CREATE_NEW) != INVALID_HANDLE_VALUE;
        return ok ? 'K' : 'F';
    });
    ASSERT_EQ(child.Report(), 'K');
    EXPECT_FAILS(Open(u"\\Temp\\k.txt", R, SR | SW, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    HANDLE h = Open(u"\\Temp\\k.txt", R, 0, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\new.txt")) << GetLastError();
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\k.txt")) << GetLastError();
    // A new process takes the dead one's place in the table.
    Child next([] { return Open(u"\\Temp\\n.txt", W, 0, CREATE_NEW) == INVALID_HANDLE_VALUE ? 'F' : 'K'; });
    ASSERT_EQ(next.Report(), 'K');
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\n.txt"), FALSE, ERROR_SHARING_VIOLATION);
}

// A process killed in the middle of a change to the table of open files,
// holding its mutex: the others go on (the change is undone, the dead
// process's entries dropped) and their own entries stay.
TEST_F(FileShare, AProcessKilledChangingTheTableLeavesItWhole)
{
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "a"));
    ASSERT_TRUE(Put(u"\\Temp\\b.txt", "b"));
    ASSERT_TRUE(Put(u"\\Temp\\mine.txt", "mine"));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        HANDLE a = Open(u"\\Temp\\a.txt", R, 0, OPEN_EXISTING);
        HANDLE b = Open(u"\\Temp\\b.txt", R, 0, OPEN_EXISTING);
        if (a == INVALID_HANDLE_VALUE || b == INVALID_HANDLE_VALUE)
            _exit(3);
        plat::FaultArm(plat::FaultKind::ShareTableKill, 1);
        CloseHandle(a); // moves b's entry into a's place and dies there
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    HANDLE mine = Open(u"\\Temp\\mine.txt", R, 0, OPEN_EXISTING);
    ASSERT_NE(mine, INVALID_HANDLE_VALUE) << GetLastError();
    for (const char16_t *name : {u"\\Temp\\a.txt", u"\\Temp\\b.txt"}) {
        HANDLE h = Open(name, R | W, 0, OPEN_EXISTING);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << "the dead process's entry is gone: " << GetLastError();
        CloseHandle(h);
    }
    EXPECT_FAILS(Open(u"\\Temp\\mine.txt", R, SR | SW, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_SHARING_VIOLATION);
    CloseHandle(mine);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\mine.txt")) << GetLastError();
}

// The table of open files written over from outside (a damaged device
// folder) is made again when the device opens, and the rule holds.
TEST_F(FileShare, ADamagedTableOfOpenFilesIsMadeAgain)
{
    for (size_t size : {size_t(100), size_t(200000)}) {
        SCOPED_TRACE(size);
        std::string junk(size, '\xff');
        cetest::WriteHostFile(deviceDir + "/open-files", junk);
        Reopen(plat::DeviceOverrides());
        ASSERT_TRUE(Put(u"\\Temp\\t.txt", "t"));
        HANDLE a = Open(u"\\Temp\\t.txt", R, 0, OPEN_EXISTING);
        ASSERT_NE(a, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_FAILS(Open(u"\\Temp\\t.txt", R, SR | SW, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                     ERROR_SHARING_VIOLATION);
        CloseHandle(a);
        EXPECT_TRUE(DeleteFileW(u"\\Temp\\t.txt")) << GetLastError();
    }
}

TEST_F(FileShare, TheModuleFileIsHeldOpen)
{
    // A real module file is held open until another module path releases it.
    cetest::WriteHostFile(CardHost("SETUP.EXE"), "real program");
    plat::DeviceSetModulePath(u"\\storage card\\setup.exe");
    WCHAR name[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(0, name, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(name), u"\\Storage Card\\SETUP.EXE") << "each component in its stored case";
    EXPECT_FAILS(Open(name, W, SR | SW, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    EXPECT_FAILS(DeleteFileW(name), FALSE, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadHostFile(CardHost("SETUP.EXE")), "real program");
    plat::DeviceSetModulePath(u"\\Storage Card\\App.exe");
    EXPECT_TRUE(DeleteFileW(name)) << GetLastError();
}

TEST_F(FileShare, TheStandInReadsTheSameInAnyPieces)
{
    // The stand-in's filler is made a block at a time: pieces that start,
    // end or cross inside a block read as the whole file does.
    std::string whole = Get(u"\\storage card\\setup.EXE"); // found in any case
    ASSERT_EQ(whole.size(), 64u * 1024u);
    for (size_t i = 0; i < whole.size(); ++i) {
        uint8_t want = i == 0 ? 'M' : i == 1 ? 'Z' : static_cast<uint8_t>(i * 131u + (i >> 9));
        ASSERT_EQ(static_cast<uint8_t>(whole[i]), want) << "byte " << i;
    }
    const struct {
        DWORD at, count;
    } pieces[] = {{0, 1}, {1, 1}, {1, 17}, {2, 510}, {15, 33}, {511, 2}, {500, 1100}, {1024, 512},
                  {65535, 1}, {65530, 6}, {4097, 40000}, {0, 65536}};
    HANDLE h = Open(u"\\Storage Card\\Setup.exe", R, SR, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    for (const auto &p : pieces) {
        std::string got(p.count, '\0');
        DWORD n = 0;
        ASSERT_EQ(SetFilePointer(h, static_cast<LONG>(p.at), nullptr, FILE_BEGIN), p.at);
        ASSERT_TRUE(ReadFile(h, &got[0], p.count, &n, nullptr)) << GetLastError();
        EXPECT_EQ(n, p.count);
        EXPECT_TRUE(got == whole.substr(p.at, p.count)) << p.count << " bytes at " << p.at;
    }
    CloseHandle(h);
}

} // namespace
