// shell_test.cpp - shortcut files: their format, and no file left by a
// failed write.
#include <shellapi.h>

#include "file_testutil.h"
#include "kernel/faults.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::U8;

namespace {

class Shell : public cetest::DeviceFixture {};

TEST_F(Shell, ShortcutFilesHoldTheCountAndTheTargetInCodePage1252)
{
    ASSERT_TRUE(Put(u"\\Windows\\Desktop\\App.lnk", "a much longer old content than any new one"));
    struct Case {
        std::u16string link, target;
        std::string host, bytes;
    } cases[] = {
        {u"\\Windows\\Start Menu\\Programs\\A.lnk", u"\\Windows\\x.exe", "Windows/Start Menu/Programs/A.lnk",
         "14#\\Windows\\x.exe"},
        {u"\\Windows\\Desktop\\C.lnk", u"\\Caf\u00e9\\\u20ac.exe", "Windows/Desktop/C.lnk", "11#\\Caf\xe9\\\x80.exe"},
        {u"\\Windows\\Desktop\\D.lnk", u"\\\u0416\u4e2d.exe", "Windows/Desktop/D.lnk", "7#\\??.exe"},
        // An existing file is replaced whole (names compare without case).
        {u"\\windows\\desktop\\APP.LNK", u"\\a.exe", "Windows/Desktop/App.lnk", "6#\\a.exe"},
    };
    for (Case &c : cases) {
        ASSERT_TRUE(SHCreateShortcut(c.link.data(), c.target.data())) << U8(c.link) << ": " << GetLastError();
        EXPECT_EQ(ReadHostFile(StoreHost(c.host)), c.bytes) << U8(c.link);
    }
}

TEST_F(Shell, AShortcutThatCannotBeMadeLeavesNothing)
{
    struct Case {
        std::u16string link;
        DWORD error;
    } cases[] = {
        {u"\\Windows\\Nowhere\\a.lnk", ERROR_PATH_NOT_FOUND},
        {u"\\..\\a.lnk", ERROR_INVALID_NAME},
    };
    std::u16string target = u"\\Windows\\x.exe";
    for (auto &c : cases)
        EXPECT_FAILS(SHCreateShortcut(c.link.data(), target.data()), FALSE, c.error);

    std::u16string link = u"\\Windows\\Desktop\\Fail.lnk";
    plat::FaultArm(plat::FaultKind::FileWrite, 1);
    EXPECT_FAILS(SHCreateShortcut(link.data(), target.data()), FALSE, ERROR_DISK_FULL);
    plat::FaultResetAll();
    EXPECT_EQ(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES) << "no empty shortcut stays";
    EXPECT_TRUE(SHCreateShortcut(link.data(), target.data())) << "and the next try works";
    EXPECT_EQ(Get(link), "14#\\Windows\\x.exe");
}

} // namespace
