// shell_test.cpp - shortcut files and special folders.
#include <shellapi.h>

#include "file_testutil.h"
#include "internal/faults.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::U8;

namespace {

class Shell : public cetest::DeviceFixture {};

struct ShortcutCase {
    std::u16string target;
    std::string bytes;
};

TEST_F(Shell, ShortcutFilesHoldTheCountAndTheTargetInCodePage1252)
{
    const ShortcutCase cases[] = {
        {u"\\Windows\\x.exe", "14#\\Windows\\x.exe"},
        {u"\"\\Program Files\\App\\App.exe\" -s", "31#\"\\Program Files\\App\\App.exe\" -s"},
        {u"\\Caf\u00e9\\\u20ac.exe", "11#\\Caf\xe9\\\x80.exe"},
        {u"\\\u0416\u4e2d.exe", "7#\\??.exe"},
        {u"", "0#"},
    };
    int row = 0;
    for (const ShortcutCase &c : cases) {
        ++row;
        std::u16string link = u"\\Windows\\Start Menu\\Programs\\Link" + std::u16string(1, char16_t(u'0' + row)) + u".lnk";
        std::u16string target = c.target;
        ASSERT_TRUE(SHCreateShortcut(link.data(), target.data())) << "row " << row << ": " << GetLastError();
        std::string host = ReadHostFile(StoreHost("Windows/Start Menu/Programs/" + U8(link.substr(link.rfind(u'\\') + 1))));
        EXPECT_EQ(host, c.bytes) << "row " << row;
    }
}

TEST_F(Shell, AShortcutReplacesAnExistingFile)
{
    ASSERT_TRUE(Put(u"\\Windows\\Desktop\\App.lnk", "a much longer old content than the new one"));
    std::u16string link = u"\\windows\\desktop\\APP.LNK", target = u"\\a.exe";
    ASSERT_TRUE(SHCreateShortcut(link.data(), target.data()));
    EXPECT_EQ(ReadHostFile(StoreHost("Windows/Desktop/App.lnk")), "6#\\a.exe") << "no bytes of the old file stay";
}

TEST_F(Shell, AShortcutFailsWhenItsFolderIsMissingOrItsNameRefused)
{
    struct Case {
        std::u16string link;
        DWORD error;
    } cases[] = {
        {u"\\Windows\\Nowhere\\a.lnk", ERROR_PATH_NOT_FOUND},
        {u"\\Windows\\a?.lnk", ERROR_INVALID_NAME},
        {u"\\..\\a.lnk", ERROR_INVALID_NAME},
        {u"\\Windows\\Desktop", ERROR_ACCESS_DENIED},
    };
    std::u16string target = u"\\x.exe";
    for (auto &c : cases) {
        SetLastError(0);
        EXPECT_FALSE(SHCreateShortcut(c.link.data(), target.data())) << U8(c.link);
        EXPECT_EQ(GetLastError(), c.error) << U8(c.link);
    }
    SetLastError(0);
    EXPECT_FALSE(SHCreateShortcut(nullptr, target.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\Desktop"), FILE_ATTRIBUTE_DIRECTORY) << "the folder is untouched";
}

TEST_F(Shell, SpecialFoldersExistOnANewDevice)
{
    struct Case {
        int id;
        const char16_t *path;
    } cases[] = {
        {CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs"},
        {CSIDL_STARTMENU, u"\\Windows\\Start Menu"},
        {CSIDL_DESKTOPDIRECTORY, u"\\Windows\\Desktop"},
        {CSIDL_PERSONAL, u"\\My Documents"},
    };
    for (const auto &c : cases) {
        WCHAR buf[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPath(0, buf, c.id, FALSE)) << c.id;
        EXPECT_EQ(std::u16string(buf), c.path) << c.id;
        EXPECT_EQ(GetFileAttributesW(buf), FILE_ATTRIBUTE_DIRECTORY) << U8(c.path);
        WCHAR again[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPath(0, again, c.id, TRUE)) << "the create flag is ignored";
        EXPECT_EQ(std::u16string(again), c.path);
    }
    const int others[] = {0, 1, 6, 7, 0x1a, -1};
    for (int id : others) {
        WCHAR buf[MAX_PATH] = {u'k', 0};
        EXPECT_FALSE(SHGetSpecialFolderPath(0, buf, id, FALSE)) << id;
        EXPECT_EQ(std::u16string(buf), u"k") << "the buffer is left alone for " << id;
    }
    EXPECT_FALSE(SHGetSpecialFolderPath(0, nullptr, CSIDL_PROGRAMS, FALSE));
}

TEST_F(Shell, AShortcutThatCannotBeWrittenIsNotLeftBehind)
{
    std::u16string link = u"\\Windows\\Desktop\\Fail.lnk", target = u"\\Windows\\x.exe";
    plat::FaultArm(plat::FaultKind::FileWrite, 1);
    SetLastError(0);
    EXPECT_FALSE(SHCreateShortcut(link.data(), target.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    plat::FaultResetAll();
    EXPECT_EQ(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES) << "no empty shortcut stays";
    EXPECT_TRUE(SHCreateShortcut(link.data(), target.data())) << "and the next try works";
    EXPECT_EQ(Get(link), "14#\\Windows\\x.exe");
}

} // namespace
