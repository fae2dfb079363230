// file_io_test.cpp - file handles: creation dispositions, errors, reading,
// writing, positions, sizes, access rights, read-only files and times.
#include "file_testutil.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::U8;

namespace {

class FileIo : public cetest::DeviceFixture {};

struct DispositionCase {
    bool exists;
    DWORD disposition;
    bool opens;
    DWORD error;      // after the call (0 when the call leaves none)
    int sizeAfter;    // -1: no file afterwards
};

TEST_F(FileIo, CreationDispositionsFollowWin32)
{
    const DispositionCase cases[] = {
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
    for (const DispositionCase &c : cases) {
        ++row;
        std::u16string path = u"\\Temp\\d" + std::u16string(1, char16_t(u'a' + row)) + u".txt";
        if (c.exists) {
            ASSERT_TRUE(Put(path, "abc"));
        }
        SetLastError(0);
        HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << "row " << row;
        EXPECT_EQ(GetLastError(), c.error) << "row " << row;
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(h));
        }
        DWORD attrs = GetFileAttributesW(path.c_str());
        if (c.sizeAfter < 0) {
            EXPECT_EQ(attrs, INVALID_FILE_ATTRIBUTES) << "row " << row << ": no file may be made";
        } else {
            EXPECT_EQ(Get(path).size(), static_cast<size_t>(c.sizeAfter)) << "row " << row;
        }
    }
    SetLastError(0);
    EXPECT_EQ(Open(u"\\Temp\\dz.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "truncating without write access";
}

TEST_F(FileIo, OpenErrorsNameTheCase)
{
    ASSERT_TRUE(Put(u"\\Temp\\file.txt", "x"));
    struct Case {
        const char16_t *path;
        DWORD disposition, error;
    } cases[] = {
        {u"\\Temp\\missing.txt", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"\\NoSuchFolder\\x.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\NoSuchFolder\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\file.txt\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Windows", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\Windows", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\Storage Card", OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Temp\\file.txt\\", OPEN_EXISTING, ERROR_INVALID_NAME},
        {u"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition), INVALID_HANDLE_VALUE) << U8(c.path);
        EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
    }
    SetLastError(0);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileIo, ReadWriteSeekAndSize)
{
    HANDLE h = Open(u"\\Temp\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
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
    SetLastError(0);
    EXPECT_EQ(SetFilePointer(h, -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u) << "a position before the start";
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 6u) << "a refused move keeps the position";
    SetLastError(0);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

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
    EXPECT_EQ(GetFileSize(h, nullptr), 8u);
    ASSERT_TRUE(WriteFile(h, "", 0, &n, nullptr)) << "an empty write";
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CloseHandle(h));

    std::string host = ReadHostFile(StoreHost("Temp/rw.bin"));
    EXPECT_EQ(host, std::string("hello\0\0\0", 8));
}

TEST_F(FileIo, HandlesAreCheckedOnEveryCall)
{
    HANDLE h = Open(u"\\Temp\\h.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(h));
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(u"\\*", &fd);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);

    const HANDLE bad[] = {0, INVALID_HANDLE_VALUE, h /* closed */, find /* another kind */, 0x12345678u};
    for (HANDLE b : bad) {
        char buf[4];
        DWORD n = 5;
        SetLastError(0);
        EXPECT_FALSE(ReadFile(b, buf, 4, &n, nullptr)) << b;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "ReadFile " << b;
        EXPECT_EQ(n, 0u);
        SetLastError(0);
        EXPECT_FALSE(WriteFile(b, "x", 1, &n, nullptr)) << b;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "WriteFile " << b;
        SetLastError(0);
        EXPECT_EQ(SetFilePointer(b, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "SetFilePointer " << b;
        SetLastError(0);
        EXPECT_EQ(GetFileSize(b, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "GetFileSize " << b;
        FILETIME t;
        SetLastError(0);
        EXPECT_FALSE(GetFileTime(b, &t, &t, &t));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "GetFileTime " << b;
        SetLastError(0);
        EXPECT_FALSE(SetEndOfFile(b));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "SetEndOfFile " << b;
        if (b != find) {
            SetLastError(0);
            EXPECT_FALSE(CloseHandle(b));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "CloseHandle " << b;
        }
    }
    EXPECT_TRUE(FindClose(find)) << "the search handle survived the misuse";
}

TEST_F(FileIo, AccessRightsAreEnforced)
{
    ASSERT_TRUE(Put(u"\\Temp\\acc.txt", "data"));
    HANDLE r = Open(u"\\Temp\\acc.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE w = Open(u"\\Temp\\acc.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    DWORD n;
    char buf[8];
    SetLastError(0);
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "writing through a read handle";
    SetLastError(0);
    EXPECT_FALSE(ReadFile(w, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "reading through a write handle";
    SetLastError(0);
    EXPECT_FALSE(SetEndOfFile(r));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    FILETIME t = MakeFt(NowFt());
    SetLastError(0);
    EXPECT_FALSE(SetFileTime(r, &t, &t, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "SetFileTime needs write access";
    EXPECT_TRUE(SetFileTime(w, nullptr, nullptr, &t));
    CloseHandle(r);
    CloseHandle(w);
    EXPECT_EQ(Get(u"\\Temp\\acc.txt"), "data");
}

TEST_F(FileIo, ReadOnlyFilesRefuseChangesButCanBeRead)
{
    ASSERT_TRUE(Put(u"\\Temp\\ro.txt", "keep"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\ro.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    const DWORD dispositions[] = {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING};
    for (DWORD d : dispositions) {
        SetLastError(0);
        EXPECT_EQ(Open(u"\\Temp\\ro.txt", GENERIC_WRITE, 0, d), INVALID_HANDLE_VALUE) << d;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "disposition " << d;
    }
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\ro.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(u"\\Temp\\ro.txt"), "keep");

    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\ro.txt"), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\ro.txt")) << GetLastError();

    // A file created read-only may still be written through its first handle.
    HANDLE h = CreateFileW(u"\\Temp\\made-ro.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\made-ro.txt"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Get(u"\\Temp\\made-ro.txt"), "abc");

    SetLastError(0);
    EXPECT_FALSE(SetFileAttributesW(u"\\Temp\\none.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileIo, TimesAreKeptAndSetThroughAWriteHandle)
{
    uint64_t before = NowFt() - 20000000; // the host clock's granularity, and then some
    ASSERT_TRUE(Put(u"\\Temp\\t.txt", "t"));
    uint64_t after = NowFt() + 20000000;
    HANDLE h = Open(u"\\Temp\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME c, a, w;
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    EXPECT_GE(Ft(c), before);
    EXPECT_LE(Ft(c), after);
    EXPECT_GE(Ft(w), before);
    EXPECT_LE(Ft(w), after);

    // 1999-12-31 23:59:59.1234567, 2001-02-03 04:05:06, 2010-10-10 10:10:10.5
    const uint64_t setC = 125911583991234567ull, setA = 126256491060000000ull, setW = 129311922105000000ull;
    FILETIME fc = MakeFt(setC), fa = MakeFt(setA), fw = MakeFt(setW);
    ASSERT_TRUE(SetFileTime(h, &fc, &fa, &fw)) << GetLastError();
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    EXPECT_EQ(Ft(c), setC);
    EXPECT_EQ(Ft(a), setA);
    EXPECT_EQ(Ft(w), setW);
    // Null pointers leave a time as it is.
    FILETIME w2 = MakeFt(setW + 10000000);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &w2));
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    EXPECT_EQ(Ft(c), setC);
    EXPECT_EQ(Ft(a), setA);
    EXPECT_EQ(Ft(w), setW + 10000000);
    CloseHandle(h);

    // The times outlive the handle and show in searches, also after a move.
    ASSERT_TRUE(MoveFileW(u"\\Temp\\t.txt", u"\\Storage Card\\t.txt")) << GetLastError();
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(u"\\Storage Card\\t.txt", &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    FindClose(f);
    EXPECT_EQ(Ft(fd.ftCreationTime), setC) << "creation time after a move to the card";
    EXPECT_EQ(Ft(fd.ftLastWriteTime), setW + 10000000);
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
    std::string data;
    for (int i = 0; i < 100000; ++i)
        data += char('a' + i % 26);
    ASSERT_TRUE(Put(u"\\Temp\\ra.txt", data));
    // Others may only read: the handle reads ahead for single bytes.
    HANDLE h = Open(u"\\Temp\\ra.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char c = 0;
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 1u) << "the position counts what was read, not read ahead";
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, 'b');
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 1u) << "stepping back one byte";
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, 'b') << "the byte is read again";

    // A write through the same handle lands at its position and is read back.
    ASSERT_TRUE(WriteFile(h, "XYZ", 3, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 5u);
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, 'f');
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
    char three[3];
    ASSERT_TRUE(ReadFile(h, three, 3, &n, nullptr));
    EXPECT_EQ(std::string(three, 3), "XYZ") << "no stale read-ahead after a write";

    // A large read after small ones goes on from the right place, across
    // the end of the block read ahead.
    EXPECT_EQ(SetFilePointer(h, 70000, nullptr, FILE_BEGIN), 70000u);
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, data[70000]);
    std::string big(40000, '\0');
    ASSERT_TRUE(ReadFile(h, &big[0], 40000, &n, nullptr));
    EXPECT_EQ(n, 29999u);
    EXPECT_EQ(big.substr(0, n), data.substr(70001));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 100000u);

    // Cutting the file under the read-ahead: reads stop at the new end.
    EXPECT_EQ(SetFilePointer(h, 10, nullptr, FILE_BEGIN), 10u);
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(n, 0u) << "nothing after the new end";
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\Temp\\ra.txt"), "abXYZfghijk");
}

} // namespace
