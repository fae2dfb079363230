// file_io_test.cpp - file handles: creation dispositions, errors, reading,
// writing, positions, sizes, access rights, read-only files and times.
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
        {false, CREATE_NEW, true, 0, 0},
        {true, CREATE_NEW, false, ERROR_FILE_EXISTS, 3},
        {false, CREATE_ALWAYS, true, 0, 0},
        {true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, 0},
        {false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
        {true, OPEN_EXISTING, true, 0, 3},
        {false, OPEN_ALWAYS, true, 0, 0},
        {true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 3},
        {false, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
        {true, TRUNCATE_EXISTING, true, 0, 0},
        {true, 0, false, ERROR_INVALID_PARAMETER, 3},
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
    // Truncating needs write access.
    EXPECT_FAILS(Open(u"\\Temp\\dz.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0), INVALID_HANDLE_VALUE,
                 ERROR_INVALID_PARAMETER);

    const struct {
        const char16_t *path;
        DWORD disposition, error;
    } refused[] = {
        {u"\\NoSuchFolder\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Windows", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Storage Card", OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Temp\\db.txt\\", OPEN_EXISTING, ERROR_INVALID_NAME},
        {u"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_FAILS(Open(c.path, RW, 0, c.disposition), INVALID_HANDLE_VALUE, c.error);
    }
}

TEST_F(FileIo, ReadWriteSeekAndSize)
{
    HANDLE h = Open(u"\\Temp\\rw.bin", RW, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 99;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 11u) << "a write moves the position";

    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    char buf[32] = {};
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "hello");
    EXPECT_EQ(SetFilePointer(h, 1, nullptr, FILE_CURRENT), 6u);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "world") << "a read stops at the end";
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr)) << "reading at the end succeeds";
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
    EXPECT_FAILS(SetFilePointer(h, -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER, 131u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 6u) << "a refused move keeps the position";
    EXPECT_FAILS(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER);

    // Writing past the end fills the gap with zeros.
    EXPECT_EQ(SetFilePointer(h, 15, nullptr, FILE_BEGIN), 15u);
    ASSERT_TRUE(WriteFile(h, "!", 1, &n, nullptr));
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(h, &high), 16u);
    EXPECT_EQ(high, 0u);
    LONG moveHigh = 0;
    EXPECT_EQ(SetFilePointer(h, 0, &moveHigh, FILE_END), 16u);
    EXPECT_EQ(moveHigh, 0);

    // SetEndOfFile cuts or extends at the position.
    EXPECT_EQ(SetFilePointer(h, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    EXPECT_EQ(SetFilePointer(h, 8, nullptr, FILE_BEGIN), 8u);
    ASSERT_TRUE(SetEndOfFile(h));
    ASSERT_TRUE(WriteFile(h, "", 0, &n, nullptr)) << "an empty write";
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/rw.bin")), std::string("hello\0\0\0", 8));
}

TEST_F(FileIo, HandlesAreCheckedOnEveryCall)
{
    HANDLE h = Open(u"\\Temp\\h.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(h));
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(u"\\*", &fd);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);

    // Not in the table (any unknown number alike) or of another kind.
    const HANDLE bad[] = {h /* closed */, find};
    for (HANDLE b : bad) {
        SCOPED_TRACE(b);
        char buf[4];
        DWORD n = 5;
        FILETIME t;
        EXPECT_FAILS(ReadFile(b, buf, 4, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        EXPECT_FAILS(WriteFile(b, "x", 1, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
        EXPECT_FAILS(SetFilePointer(b, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER, ERROR_INVALID_HANDLE);
        EXPECT_FAILS(GetFileSize(b, nullptr), INVALID_FILE_SIZE, ERROR_INVALID_HANDLE);
        EXPECT_FAILS(GetFileTime(b, &t, &t, &t), FALSE, ERROR_INVALID_HANDLE);
        EXPECT_FAILS(SetEndOfFile(b), FALSE, ERROR_INVALID_HANDLE);
        if (b != find) {
            EXPECT_FAILS(CloseHandle(b), FALSE, ERROR_INVALID_HANDLE);
        }
    }
    EXPECT_TRUE(FindClose(find)) << "the search handle survived the misuse";
}

TEST_F(FileIo, AccessRightsAndReadOnlyFiles)
{
    ASSERT_TRUE(Put(u"\\Temp\\acc.txt", "data"));
    HANDLE r = Open(u"\\Temp\\acc.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE w = Open(u"\\Temp\\acc.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    DWORD n;
    char buf[8];
    FILETIME t = MakeFt(NowFt());
    EXPECT_FAILS(WriteFile(r, "x", 1, &n, nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(ReadFile(w, buf, 1, &n, nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(SetEndOfFile(r), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(SetFileTime(r, &t, &t, &t), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(SetFileTime(w, nullptr, nullptr, &t));
    CloseHandle(r);
    CloseHandle(w);
    EXPECT_EQ(Get(u"\\Temp\\acc.txt"), "data");

    // A read-only file refuses changes but can be read.
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\acc.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\acc.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_FAILS(Open(u"\\Temp\\acc.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(DeleteFileW(u"\\Temp\\acc.txt"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(u"\\Temp\\acc.txt"), "data");
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\acc.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\acc.txt"), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\acc.txt")) << GetLastError();
    EXPECT_FAILS(SetFileAttributesW(u"\\Temp\\acc.txt", FILE_ATTRIBUTE_READONLY), FALSE, ERROR_FILE_NOT_FOUND);

    // A file created read-only may still be written through its first handle.
    HANDLE h = CreateFileW(u"\\Temp\\made-ro.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\made-ro.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Get(u"\\Temp\\made-ro.txt"), "abc");
}

TEST_F(FileIo, TimesAreKeptAndSetThroughAWriteHandle)
{
    uint64_t before = NowFt() - 20000000; // the host clock's granularity, and then some
    ASSERT_TRUE(Put(u"\\Temp\\t.txt", "t"));
    uint64_t after = NowFt() + 20000000;
    HANDLE h = Open(u"\\Temp\\t.txt", RW, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME c, a, w;
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    for (uint64_t got : {Ft(c), Ft(w)}) {
        EXPECT_GE(got, before);
        EXPECT_LE(got, after);
    }

    // 1999-12-31 23:59:59.1234567, 2001-02-03 04:05:06, 2010-10-10 10:10:10.5
    const uint64_t setC = 125911583991234567ull, setA = 126256491060000000ull, setW = 129311922105000000ull;
    FILETIME fc = MakeFt(setC), fa = MakeFt(setA), fw = MakeFt(setW + 10000000);
    ASSERT_TRUE(SetFileTime(h, &fc, &fa, &fw)) << GetLastError();
    fw = MakeFt(setW);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &fw)) << "null pointers leave a time as it is";
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    EXPECT_EQ(Ft(c), setC);
    EXPECT_EQ(Ft(a), setA);
    EXPECT_EQ(Ft(w), setW);
    CloseHandle(h);

    // The times outlive the handle and show in searches, also after a move.
    ASSERT_TRUE(MoveFileW(u"\\Temp\\t.txt", u"\\Storage Card\\t.txt")) << GetLastError();
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(u"\\Storage Card\\t.txt", &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    FindClose(f);
    EXPECT_EQ(Ft(fd.ftCreationTime), setC) << "creation time after a move to the card";
    EXPECT_EQ(Ft(fd.ftLastWriteTime), setW);
    EXPECT_EQ(fd.nFileSizeLow, 1u);

    // A copy is a new file with the current time.
    ASSERT_TRUE(CopyFileW(u"\\Storage Card\\t.txt", u"\\Temp\\copy.txt", TRUE));
    h = Open(u"\\Temp\\copy.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_TRUE(GetFileTime(h, &c, nullptr, &w));
    CloseHandle(h);
    EXPECT_GE(Ft(c), before);
    EXPECT_GE(Ft(w), before);
}

TEST_F(FileIo, SmallReadsSeeTheHandlesOwnWritesAndPositions)
{
    ASSERT_TRUE(Put(u"\\Temp\\ra.txt", "abcdefghijklmnopqrstuvwxyz"));
    // Others may only read: the handle reads ahead for single bytes.
    HANDLE h = Open(u"\\Temp\\ra.txt", RW, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char c = 0;
    DWORD n = 0;
    auto readByte = [&] { return ReadFile(h, &c, 1, &n, nullptr) && n == 1 ? c : '\0'; };
    EXPECT_EQ(readByte(), 'a');
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 1u) << "the position counts what was read, not read ahead";
    EXPECT_EQ(readByte(), 'b');
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 1u);
    EXPECT_EQ(readByte(), 'b') << "stepping back reads the byte again";

    // A write through the same handle lands at its position and is read
    // back. (A large read leaves the block read ahead the same way.)
    ASSERT_TRUE(WriteFile(h, "XYZ", 3, &n, nullptr));
    EXPECT_EQ(readByte(), 'f');
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
    char three[3];
    ASSERT_TRUE(ReadFile(h, three, 3, &n, nullptr));
    EXPECT_EQ(std::string(three, 3), "XYZ") << "no stale read-ahead after a write";

    // Cutting the file under the read-ahead: reads stop at the new end.
    EXPECT_EQ(SetFilePointer(h, 10, nullptr, FILE_BEGIN), 10u);
    EXPECT_EQ(readByte(), 'k');
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(n, 0u) << "nothing after the new end";
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\Temp\\ra.txt"), "abXYZfghijk");
}

} // namespace
