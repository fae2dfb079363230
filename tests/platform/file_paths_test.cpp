// file_paths_test.cpp - device paths: confinement, refused names, case, and
// host symbolic links.
#include <sys/stat.h>
#include <unistd.h>

#include "file_testutil.h"

using namespace filetest;
using cetest::HostExists;
using cetest::ReadHostFile;
using cetest::U8;
using cetest::WriteHostFile;

namespace {

class FilePaths : public cetest::DeviceFixture {};

TEST_F(FilePaths, RefusedNamesFailWithTheirErrorAndTouchNothingOutside)
{
    WriteHostFile(root.path + "/outside/keep.txt", "keep");
    auto before = HostNames(root.path);
    auto beforeOutside = HostNames(root.path + "/outside");
    // One name per refusal of the path parser; the first escapes to the
    // folder beside the store and goes through every by-name call.
    const struct {
        std::u16string path;
        DWORD error;
    } cases[] = {
        {u"\\Temp\\..\\..\\outside\\keep.txt", ERROR_INVALID_NAME},
        {u"C:\\x.txt", ERROR_INVALID_NAME},
        {u"\\a*b.txt", ERROR_INVALID_NAME},
        // Both separators count, so this is a network name; the device has
        // no network (Windows says 53 too; Wine, without a redirector, 3).
        {u"\\/server/x.txt", ERROR_BAD_NETPATH},
        {u"\\Temp\\" + std::u16string(254, u'x'), ERROR_INVALID_NAME}, // 260 units
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(U8(c.path));
        SetLastError(0);
        HANDLE h = Open(c.path, GENERIC_WRITE, 0, CREATE_ALWAYS);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "opened";
        EXPECT_EQ(GetLastError(), c.error);
        // A system that opens it after all (Wine makes the 260-unit name)
        // must not hold it, unshared, into the next test.
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    const WCHAR *p = cases[0].path.c_str();
    EXPECT_FAILS(CreateDirectoryW(p, nullptr), FALSE, ERROR_INVALID_NAME);
    EXPECT_FAILS(DeleteFileW(p), FALSE, ERROR_INVALID_NAME);
    EXPECT_FAILS(MoveFileW(u"\\Temp", p), FALSE, ERROR_INVALID_NAME);
    EXPECT_FAILS(CopyFileW(u"\\Windows\\..\\..\\outside\\keep.txt", u"\\Temp\\k.txt", FALSE), FALSE,
                 ERROR_INVALID_NAME);
    EXPECT_EQ(HostNames(root.path), before) << "the folder around the device changed";
    EXPECT_EQ(HostNames(root.path + "/outside"), beforeOutside) << "the outside folder changed";
    EXPECT_EQ(ReadHostFile(root.path + "/outside/keep.txt"), "keep");
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", ".."})) << "nothing made for a refused path";
}

TEST_F(FilePaths, SymbolicLinksInTheStoreAreNeverFollowed)
{
    std::string outside = root.path + "/outside";
    WriteHostFile(outside + "/secret.txt", "secret");
    ASSERT_EQ(symlink(outside.c_str(), StoreHost("Temp/dirlink").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/secret.txt").c_str(), StoreHost("Temp/filelink").c_str()), 0);
    auto beforeOutside = HostNames(outside);

    EXPECT_FAILS(Open(u"\\Temp\\DIRLINK\\secret.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(Open(u"\\Temp\\dirlink\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE,
                 ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(Open(u"\\Temp\\FileLink", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE,
                 ERROR_ACCESS_DENIED);
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\filelink"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(SetFileAttributesW(u"\\Temp\\filelink", FILE_ATTRIBUTE_READONLY), FALSE, ERROR_ACCESS_DENIED);
    WIN32_FIND_DATAW fd;
    EXPECT_FAILS(FindFirstFileW(u"\\Temp\\*", &fd), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(ReadHostFile(outside + "/secret.txt"), "secret");
    EXPECT_EQ(HostNames(outside), beforeOutside) << "a file appeared outside the device";
    struct stat st;
    ASSERT_EQ(lstat((outside + "/secret.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u) << "attributes were changed through a link";
}

TEST_F(FilePaths, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith)
{
    ASSERT_TRUE(Put(u"\\Temp\\Setup.LOAD", "abc"));
    EXPECT_FAILS(Open(u"\\Temp\\SETUP.load", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE, ERROR_FILE_EXISTS);
    ASSERT_TRUE(Put(u"/temp/SETUP.LOAD", "replaced"));
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", "..", "Setup.LOAD"}))
        << "one host file, in its first case";
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/Setup.LOAD")), "replaced");

    // Non-ASCII names are UTF-8 on the host and fold as well.
    ASSERT_TRUE(Put(u"\\Temp\\\u00dcber\u00c9t\u00e9.txt", "u"));
    EXPECT_TRUE(HostExists(StoreHost("Temp/\xc3\x9c" "ber\xc3\x89t\xc3\xa9.txt")));
    EXPECT_EQ(Get(u"\\TEMP\\\u00fcBER\u00e9T\u00c9.TXT"), "u");
}

} // namespace
