// file_io_test.cpp - file handles: creation dispositions, errors, reading,
// writing, positions, sizes, read-only files and handle checks.
#include "file_testutil.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::U8;

namespace {

class FileIo : public cetest::DeviceFixture {};

constexpr DWORD RW = GENERIC_READ | GENERIC_WRITE;

TEST_F(FileIo, CreationDispositionsAndOpenErrorsFollowWin32)
{
    const struct {
        bool exists;
        DWORD disposition;
        bool opens;
        DWORD error;   // after the call (0 when the call leaves none)
        int sizeAfter; // -1: no file afterwards
    } cases[] = {
        {true, CREATE_NEW, false, ERROR_FILE_EXISTS, 3},
        {false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
        {true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 3},
        {true, TRUNCATE_EXISTING, true, 0, 0},
        {true, 6, false, ERROR_INVALID_PARAMETER, 3},
    };
    int row = 0;
    for (const auto &c : cases) {
        std::u16string path = u"\\Temp\\d" + std::u16string(1, char16_t(u'a' + ++row)) + u".txt";
        if (c.exists) {
            ASSERT_TRUE(Put(path, "abc"));
        }
        SetLastError(0);
        HANDLE h = Open(path, RW, 0, c.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << "row " << row;
        EXPECT_EQ(GetLastError(), c.error) << "row " << row;
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(h));
        }
        if (c.sizeAfter < 0) {
            EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "row " << row << ": no file";
        } else {
            EXPECT_EQ(Get(path).size(), static_cast<size_t>(c.sizeAfter)) << "row " << row;
        }
    }
    const struct {
        const char16_t *path;
        DWORD disposition, error;
    } refused[] = {
        {u"\\NoSuchFolder\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Storage Card", OPEN_ALWAYS, ERROR_ACCESS_DENIED},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_FAILS(Open(c.path, RW, 0, c.disposition), INVALID_HANDLE_VALUE, c.error);
    }

    // A read handle cannot write; a read-only file refuses changes but can be read.
    HANDLE r = Open(u"\\Temp\\db.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    DWORD n;
    EXPECT_FAILS(WriteFile(r, "x", 1, &n, nullptr), FALSE, ERROR_ACCESS_DENIED);
    CloseHandle(r);
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\db.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\db.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_FAILS(Open(u"\\Temp\\db.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\db.txt"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(u"\\Temp\\db.txt"), "abc");
}

TEST_F(FileIo, ReadWriteSeekAndSize)
{
    HANDLE h = Open(u"\\Temp\\rw.bin", RW, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 99;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    char buf[32] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "world") << "a read stops at the end";
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr)) << "reading at the end succeeds";
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
    EXPECT_FAILS(SetFilePointer(h, -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER, 131u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 6u) << "a refused move keeps the position";

    // Writing past the end fills the gap with zeros; SetEndOfFile cuts at the position.
    EXPECT_EQ(SetFilePointer(h, 15, nullptr, FILE_BEGIN), 15u);
    ASSERT_TRUE(WriteFile(h, "!", 1, &n, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 16u);
    EXPECT_EQ(SetFilePointer(h, 8, nullptr, FILE_BEGIN), 8u);
    ASSERT_TRUE(SetEndOfFile(h));
    // Handle values may be reused once closed (Win32 does), so the search
    // handle is made before the file handle is closed.
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(u"\\*", &fd);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/rw.bin")), std::string("hello wo", 8));

    // Stale or foreign handles are refused on every call, and nothing breaks.
    // A search handle is not a file handle: Windows CE keeps the two apart
    // (desktop Win32, where a search is an open folder, fails the read with
    // 1 and the write with 5).
    for (HANDLE b : {h /* closed */, find}) {
        SCOPED_TRACE(b);
        EXPECT_FAILS(ReadFile(b, buf, 4, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        EXPECT_FAILS(WriteFile(b, "x", 1, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
    }
    EXPECT_FAILS(CloseHandle(h), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(FindClose(find)) << "the search handle survived the misuse";
}

} // namespace
