// file_paths_test.cpp - device paths: confinement, refused names, case and
// separators, host symbolic links.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "file_testutil.h"

namespace fs = std::filesystem;
using namespace filetest;
using cetest::HostExists;
using cetest::ReadHostFile;
using cetest::U16;
using cetest::U8;
using cetest::WriteHostFile;

namespace {

class FilePaths : public cetest::DeviceFixture {};

struct RefusedCase {
    std::u16string path;
    DWORD error;
};

TEST_F(FilePaths, RefusedNamesFailWithTheirErrorAndTouchNothingOutside)
{
    WriteHostFile(root.path + "/outside/keep.txt", "keep");
    auto before = HostNames(root.path);
    auto beforeOutside = HostNames(root.path + "/outside");
    const RefusedCase cases[] = {
        {u"\\..\\outside.txt", ERROR_INVALID_NAME},
        {u"\\Temp\\..\\..\\outside\\keep.txt", ERROR_INVALID_NAME},
        {u"..\\outside.txt", ERROR_INVALID_NAME},
        {u"\\.\\x.txt", ERROR_INVALID_NAME},
        {u"\\Temp\\.\\x.txt", ERROR_INVALID_NAME},
        {u"\\Storage Card\\..\\..\\outside\\keep.txt", ERROR_INVALID_NAME},
        {u"\\a<b.txt", ERROR_INVALID_NAME},
        {u"\\a>b.txt", ERROR_INVALID_NAME},
        {u"\\a:b.txt", ERROR_INVALID_NAME},
        {u"C:\\x.txt", ERROR_INVALID_NAME},
        {u"\\a\"b.txt", ERROR_INVALID_NAME},
        {u"\\a|b.txt", ERROR_INVALID_NAME},
        {u"\\a?b.txt", ERROR_INVALID_NAME},
        {u"\\a*b.txt", ERROR_INVALID_NAME},
        {std::u16string(u"\\a") + char16_t(1) + u"b.txt", ERROR_INVALID_NAME},
        {std::u16string(u"\\Temp\\a") + char16_t(0x1f), ERROR_INVALID_NAME},
        {std::u16string(u"\\lone") + char16_t(0xd800) + u".txt", ERROR_INVALID_NAME},
        {u"\\\\server\\share\\x.txt", ERROR_BAD_NETPATH},
        {u"//server/share/x.txt", ERROR_BAD_NETPATH},
        {u"\\/server/x.txt", ERROR_BAD_NETPATH},
    };
    for (const RefusedCase &c : cases) {
        std::string shown = U8(c.path);
        SetLastError(0);
        HANDLE h = Open(c.path, GENERIC_WRITE, 0, CREATE_ALWAYS);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << shown;
        EXPECT_EQ(GetLastError(), c.error) << "CreateFileW " << shown;
        SetLastError(0);
        EXPECT_FALSE(CreateDirectoryW(c.path.c_str(), nullptr)) << shown;
        EXPECT_EQ(GetLastError(), c.error) << "CreateDirectoryW " << shown;
        SetLastError(0);
        EXPECT_FALSE(DeleteFileW(c.path.c_str())) << shown;
        EXPECT_EQ(GetLastError(), c.error) << "DeleteFileW " << shown;
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesW(c.path.c_str()), INVALID_FILE_ATTRIBUTES) << shown;
        EXPECT_EQ(GetLastError(), c.error) << "GetFileAttributesW " << shown;
        SetLastError(0);
        EXPECT_FALSE(MoveFileW(u"\\Temp", c.path.c_str())) << shown;
        EXPECT_EQ(GetLastError(), c.error) << "MoveFileW to " << shown;
    }
    EXPECT_EQ(HostNames(root.path), before) << "the folder around the device changed";
    EXPECT_EQ(HostNames(root.path + "/outside"), beforeOutside) << "the outside folder changed";
    EXPECT_EQ(ReadHostFile(root.path + "/outside/keep.txt"), "keep");
    EXPECT_EQ(GetFileAttributesW(u"\\Temp"), FILE_ATTRIBUTE_DIRECTORY) << "\\Temp must not have moved";
}

TEST_F(FilePaths, WildcardsAreAllowedOnlyInTheLastComponentOfASearch)
{
    WIN32_FIND_DATAW fd;
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(u"\\Te*p\\x.txt", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << "wildcard in a folder name";
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(u"\\Temp\\a<*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << "refused character beside a wildcard";
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(u"\\..\\*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << "search above the root";
}

TEST_F(FilePaths, PathsOf260UnitsOrMoreAreRefused)
{
    // Folders of 50 characters keep every host name short.
    std::u16string folder = u"\\Temp";
    for (int i = 0; i < 4; ++i) {
        folder += u"\\" + std::u16string(50, char16_t(u'a' + i));
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    }
    ASSERT_EQ(folder.size(), 209u);
    std::u16string ok = folder + u"\\" + std::u16string(259 - folder.size() - 1, u'x');
    std::u16string tooLong = folder + u"\\" + std::u16string(260 - folder.size() - 1, u'y');
    ASSERT_EQ(ok.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);

    EXPECT_TRUE(Put(ok, "fits")) << "a path of 259 units, error " << GetLastError();
    EXPECT_EQ(Get(ok), "fits");
    SetLastError(0);
    HANDLE h = Open(tooLong, GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << "a path of 260 units";
    std::string hostFolder = StoreHost("Temp");
    for (int i = 0; i < 4; ++i)
        hostFolder += "/" + std::string(50, char('a' + i));
    EXPECT_FALSE(HostExists(hostFolder + "/" + std::string(50, 'y'))) << "nothing may be made for a refused path";
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW((tooLong + u"z").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FilePaths, SymbolicLinksInTheStoreAreNeverFollowed)
{
    std::string outside = root.path + "/outside";
    WriteHostFile(outside + "/secret.txt", "secret");
    ASSERT_EQ(symlink(outside.c_str(), StoreHost("Temp/dirlink").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/secret.txt").c_str(), StoreHost("Temp/filelink").c_str()), 0);
    auto beforeOutside = HostNames(outside);

    struct Case {
        const char16_t *path;
        DWORD access, disposition, error;
    } cases[] = {
        {u"\\Temp\\dirlink\\secret.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\DIRLINK\\secret.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\dirlink\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\filelink", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\Temp\\filelink", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Temp\\FileLink", GENERIC_WRITE, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Temp\\filelink", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_ACCESS_DENIED},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path, c.access, 0, c.disposition), INVALID_HANDLE_VALUE) << U8(c.path);
        EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
    }
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\filelink"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "deleting a link";
    SetLastError(0);
    EXPECT_FALSE(MoveFileW(u"\\Temp\\filelink", u"\\Temp\\moved"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "moving a link";
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Temp\\filelink", u"\\Temp\\copy", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "copying from a link";
    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryW(u"\\Temp\\dirlink"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY)) << "a link is not a folder";
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(u"\\Temp\\dirlink\\sub", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(SetFileAttributesW(u"\\Temp\\filelink", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(u"\\Temp\\*", &fd);
    EXPECT_EQ(f, INVALID_HANDLE_VALUE) << "links are not listed; found " << U8(fd.cFileName);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    if (f != INVALID_HANDLE_VALUE)
        FindClose(f);

    EXPECT_EQ(ReadHostFile(outside + "/secret.txt"), "secret");
    EXPECT_EQ(HostNames(outside), beforeOutside) << "a file appeared outside the device";
    struct stat st;
    ASSERT_EQ(lstat((outside + "/secret.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u) << "attributes were changed through a link";
}

TEST_F(FilePaths, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith)
{
    ASSERT_TRUE(Put(u"\\Temp\\Setup.LOAD", "abc"));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(u"\\temp\\*.load", &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(std::u16string(fd.cFileName), u"Setup.LOAD");
    EXPECT_FALSE(FindNextFileW(f, &fd));
    FindClose(f);

    EXPECT_EQ(Get(u"\\temp\\setup.load"), "abc");
    EXPECT_EQ(Get(u"\\TEMP\\SETUP.LOAD"), "abc");
    SetLastError(0);
    EXPECT_EQ(Open(u"\\Temp\\SETUP.load", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS)) << "another case of an existing name";
    ASSERT_TRUE(Put(u"\\temp\\SETUP.LOAD", "replaced"));
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", "..", "Setup.LOAD"}))
        << "one host file, in its first case";
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/Setup.LOAD")), "replaced");

    // Non-ASCII names are UTF-8 on the host and fold as well.
    ASSERT_TRUE(Put(u"\\Temp\\\u00dcber\u00c9t\u00e9.txt", "u"));
    EXPECT_TRUE(HostExists(StoreHost("Temp/\xc3\x9c" "ber\xc3\x89t\xc3\xa9.txt")));
    EXPECT_EQ(Get(u"\\TEMP\\\u00fcBER\u00e9T\u00c9.TXT"), "u");
}

TEST_F(FilePaths, SeparatorsRootsAndMountsResolveAlike)
{
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "A"));
    const char16_t *same[] = {u"/Temp/a.txt", u"\\TEMP\\A.TXT", u"\\Temp\\\\a.txt", u"Temp\\a.txt",
                              u"\\Temp//a.txt"};
    for (const char16_t *p : same)
        EXPECT_EQ(Get(p), "A") << U8(p);

    ASSERT_TRUE(Put(u"\\storage card\\\\Card.txt", "C"));
    EXPECT_EQ(ReadHostFile(CardHost("Card.txt")), "C") << "the card is the mounted host folder";
    EXPECT_EQ(Get(u"\\Storage Card\\card.TXT"), "C");

    EXPECT_EQ(GetFileAttributesW(u"\\"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\"), FILE_ATTRIBUTE_DIRECTORY) << "trailing separator";
    EXPECT_EQ(GetFileAttributesW(u"\\STORAGE CARD"), FILE_ATTRIBUTE_DIRECTORY);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\nothing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(u"\\NoFolder\\nothing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(u""), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "empty name";
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "null name";
}

TEST_F(FilePaths, NamesMadeOnTheHostAreFoundInAnyCase)
{
    // A lookup of a name that is not there looks through the folder...
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\LATER.TXT"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Put(u"\\Temp\\Mine.txt", "m"));
    // ...and a file made afterwards by something other than the device is
    // still found by a name in another case. (The pause only spares hosts
    // whose folder times are coarse.)
    Sleep(20);
    WriteHostFile(StoreHost("Temp/later.txt"), "host");
    EXPECT_EQ(Get(u"\\Temp\\LATER.TXT"), "host");
    EXPECT_EQ(Get(u"\\TEMP\\MINE.TXT"), "m");

    // A host file replaced by one in another case is followed too.
    Sleep(20);
    ASSERT_EQ(unlink(StoreHost("Temp/later.txt").c_str()), 0);
    WriteHostFile(StoreHost("Temp/LaTeR.TxT"), "again");
    EXPECT_EQ(Get(u"\\Temp\\later.txt"), "again");
    SetLastError(0);
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\LATER.txt"));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\later.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
