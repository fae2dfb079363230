// file_paths_test.cpp - device paths: confinement, refused names, case and
// separators, host symbolic links.
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
    // One name per refusal of the path parser; every call parses alike, so
    // only the first (the escape to the folder beside the store) goes
    // through all of them.
    const struct {
        std::u16string path;
        DWORD error;
    } cases[] = {
        {u"\\Temp\\..\\..\\outside\\keep.txt", ERROR_INVALID_NAME},
        {u"\\Storage Card\\..\\..\\outside\\keep.txt", ERROR_INVALID_NAME},
        {u"\\Temp\\.\\x.txt", ERROR_INVALID_NAME},
        {u"C:\\x.txt", ERROR_INVALID_NAME},
        {u"\\a*b.txt", ERROR_INVALID_NAME},
        {std::u16string(u"\\Temp\\a") + char16_t(0x1f), ERROR_INVALID_NAME},
        {std::u16string(u"\\lone") + char16_t(0xd800) + u".txt", ERROR_INVALID_NAME},
        {u"\\/server/x.txt", ERROR_BAD_NETPATH},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_FAILS(Open(c.path, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, c.error);
    }
    const WCHAR *p = cases[0].path.c_str();
    EXPECT_FAILS(CreateDirectoryW(p, nullptr), FALSE, ERROR_INVALID_NAME);
    EXPECT_FAILS(DeleteFileW(p), FALSE, ERROR_INVALID_NAME);
    EXPECT_FAILS(GetFileAttributesW(p), INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME);
    EXPECT_FAILS(MoveFileW(u"\\Temp", p), FALSE, ERROR_INVALID_NAME);
    EXPECT_EQ(HostNames(root.path), before) << "the folder around the device changed";
    EXPECT_EQ(HostNames(root.path + "/outside"), beforeOutside) << "the outside folder changed";
    EXPECT_EQ(ReadHostFile(root.path + "/outside/keep.txt"), "keep");
    EXPECT_EQ(GetFileAttributesW(u"\\Temp"), FILE_ATTRIBUTE_DIRECTORY) << "\\Temp must not have moved";
}

TEST_F(FilePaths, PathsOf260UnitsOrMoreAreRefused)
{
    // Folders of 50 characters keep every host name short.
    std::u16string folder = u"\\Temp";
    std::string hostFolder = StoreHost("Temp");
    for (int i = 0; i < 4; ++i) {
        folder += u"\\" + std::u16string(50, char16_t(u'a' + i));
        hostFolder += "/" + std::string(50, char('a' + i));
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    }
    std::u16string ok = folder + u"\\" + std::u16string(49, u'x');
    std::u16string tooLong = folder + u"\\" + std::u16string(50, u'y');
    ASSERT_EQ(ok.size(), 259u);
    EXPECT_TRUE(Put(ok, "fits")) << "a path of 259 units, error " << GetLastError();
    EXPECT_EQ(Get(ok), "fits");
    EXPECT_FAILS(Open(tooLong, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_INVALID_NAME);
    EXPECT_FALSE(HostExists(hostFolder + "/" + std::string(50, 'y'))) << "nothing may be made for a refused path";
    EXPECT_FAILS(CreateDirectoryW((tooLong + u"z").c_str(), nullptr), FALSE, ERROR_INVALID_NAME);
}

TEST_F(FilePaths, SymbolicLinksInTheStoreAreNeverFollowed)
{
    std::string outside = root.path + "/outside";
    WriteHostFile(outside + "/secret.txt", "secret");
    ASSERT_EQ(symlink(outside.c_str(), StoreHost("Temp/dirlink").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/secret.txt").c_str(), StoreHost("Temp/filelink").c_str()), 0);
    auto beforeOutside = HostNames(outside);

    const struct {
        const char16_t *path;
        DWORD access, disposition, error;
    } cases[] = {
        {u"\\Temp\\DIRLINK\\secret.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\dirlink\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\filelink", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\Temp\\FileLink", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_FAILS(Open(c.path, c.access, 0, c.disposition), INVALID_HANDLE_VALUE, c.error);
    }
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\filelink"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(MoveFileW(u"\\Temp\\filelink", u"\\Temp\\moved"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CopyFileW(u"\\Temp\\filelink", u"\\Temp\\copy", FALSE), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(RemoveDirectoryW(u"\\Temp\\dirlink"), FALSE, ERROR_DIRECTORY);
    EXPECT_FAILS(CreateDirectoryW(u"\\Temp\\dirlink\\sub", nullptr), FALSE, ERROR_PATH_NOT_FOUND);
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
    EXPECT_EQ(Get(u"\\TEMP\\SETUP.LOAD"), "abc");
    EXPECT_FAILS(Open(u"\\Temp\\SETUP.load", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE, ERROR_FILE_EXISTS);
    ASSERT_TRUE(Put(u"\\temp\\SETUP.LOAD", "replaced"));
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", "..", "Setup.LOAD"}))
        << "one host file, in its first case";
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/Setup.LOAD")), "replaced");

    // Non-ASCII names are UTF-8 on the host and fold as well.
    ASSERT_TRUE(Put(u"\\Temp\\\u00dcber\u00c9t\u00e9.txt", "u"));
    EXPECT_TRUE(HostExists(StoreHost("Temp/\xc3\x9c" "ber\xc3\x89t\xc3\xa9.txt")));
    EXPECT_EQ(Get(u"\\TEMP\\\u00fcBER\u00e9T\u00c9.TXT"), "u");

    // A file made on the host after a lookup missed it is still found in
    // any case, also when replaced by one in another case. (The pauses only
    // spare hosts whose folder times are coarse.)
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\LATER.TXT"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Put(u"\\Temp\\Mine.txt", "m")) << "a write by the device between the two";
    Sleep(20);
    WriteHostFile(StoreHost("Temp/later.txt"), "host");
    EXPECT_EQ(Get(u"\\Temp\\LATER.TXT"), "host");
    Sleep(20);
    ASSERT_EQ(unlink(StoreHost("Temp/later.txt").c_str()), 0);
    WriteHostFile(StoreHost("Temp/LaTeR.TxT"), "again");
    EXPECT_EQ(Get(u"\\Temp\\later.txt"), "again");
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\LATER.txt"));
    EXPECT_FAILS(GetFileAttributesW(u"\\Temp\\later.TXT"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
}

TEST_F(FilePaths, SeparatorsRootsAndMountsResolveAlike)
{
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "A"));
    for (const char16_t *p : {u"/Temp/a.txt", u"Temp\\\\a.txt"})
        EXPECT_EQ(Get(p), "A") << U8(p);

    ASSERT_TRUE(Put(u"\\storage card\\\\Card.txt", "C"));
    EXPECT_EQ(ReadHostFile(CardHost("Card.txt")), "C") << "the card is the mounted host folder";
    EXPECT_EQ(Get(u"\\Storage Card\\card.TXT"), "C");

    for (const char16_t *p : {u"\\", u"\\STORAGE CARD"})
        EXPECT_EQ(GetFileAttributesW(p), FILE_ATTRIBUTE_DIRECTORY) << U8(p);
    EXPECT_FAILS(GetFileAttributesW(u"\\Temp\\nothing"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(GetFileAttributesW(u"\\NoFolder\\nothing"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
}

} // namespace
