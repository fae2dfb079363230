// xfile_handle_test.cpp - opening modes and their fixed failure codes,
// closing, reads, writes and the 65533-byte limit, seeking, typed values,
// the simple wrappers and the lock stand-ins.
#include <windows.h>

#include <string>

#include "helpers/testdevice.h"
#include "internal/faults.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

class XFileHandle : public cetest::DeviceFixture {};

const HANDLE kSentinel = 0x5a5a5a5au;

TEST_F(XFileHandle, OpenModes)
{
    struct Case {
        const char *name;
        int mode;
        bool exists;       // the file is there before the open
        DWORD rc;          // result of the open
        bool thereAfter;   // the file is there afterwards
        std::string after; // its content afterwards, after writing "!" when writable
        DWORD position;    // file position after a successful open
        bool canWrite, canRead;
    } cases[] = {
        {"read, existing", XFILE_MODE_READ, true, XEC_OK, true, "hello", 0, false, true},
        {"read, missing", XFILE_MODE_READ, false, XEC_NOT_FOUND, false, "", 0, false, false},
        {"write, existing is truncated", XFILE_MODE_WRITE, true, XEC_OK, true, "!", 0, true, false},
        {"write, missing is created", XFILE_MODE_WRITE, false, XEC_OK, true, "!", 0, true, false},
        {"update, existing is kept", XFILE_MODE_UPDATE, true, XEC_OK, true, "!ello", 0, true, true},
        {"update, missing is created", XFILE_MODE_UPDATE, false, XEC_OK, true, "!", 0, true, true},
        {"append, existing at its end", XFILE_MODE_APPEND, true, XEC_OK, true, "hello!", 5, true, true},
        {"append, missing fails", XFILE_MODE_APPEND, false, XEC_SYSTEM, false, "", 0, false, false},
        {"mode 4", 4, true, XEC_INTERNAL, true, "hello", 0, false, false},
    };
    const char *name = "\\Temp\\mode.bin";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((LPCWSTR)W(name).c_str());
        if (c.exists) {
            ASSERT_TRUE(PutFile(name, "hello"));
        }
        HANDLE h = kSentinel;
        EXPECT_EQ(XFile_Open(name, c.mode, &h), c.rc);
        if (c.rc != XEC_OK) {
            EXPECT_EQ(h, kSentinel) << "a failed open must leave the variable alone";
        } else {
            DWORD pos = 99, n = 0;
            char b[2];
            EXPECT_EQ(XFile_Tell(h, &pos), (DWORD)XEC_OK);
            EXPECT_EQ(pos, c.position);
            EXPECT_EQ(XFile_Write(h, "", 0, &n) == XEC_OK && XFile_Write(h, "!", 1, &n) == XEC_OK, c.canWrite)
                << "writing";
            if (c.canWrite)
                XFile_Seek(h, -1, XFILE_SEEK_CURRENT, NULL);
            EXPECT_EQ(XFile_Read(h, b, 1, &n) == XEC_OK, c.canRead) << "reading";
            EXPECT_EQ(XFile_Close(&h), (DWORD)XEC_OK);
            EXPECT_EQ(h, XFILE_NO_HANDLE);
        }
        EXPECT_EQ(FileThere(name), c.thereAfter);
        if (c.thereAfter) {
            EXPECT_EQ(GetFile(name).value_or("<none>"), c.after);
        }
    }
}

TEST_F(XFileHandle, FailedOpensHaveFixedCodesAndTouchNothing)
{
    // Whatever the cause, a failed read-open gives 3 and other opens 18.
    ASSERT_TRUE(PutFile("\\Temp\\locked.txt", "x"));
    HANDLE hLock = CreateFileW(u"\\Temp\\locked.txt", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
    // A name of 260 bytes or more must not open the file named by its
    // first 259 bytes.
    const std::string prefix = "\\Temp\\" + std::string(253, 'n');
    ASSERT_TRUE(PutFile(prefix, "keep me"));
    const std::string longName = prefix + "tail";
    struct Case {
        std::string path;
        int mode;
        DWORD rc;
    } cases[] = {
        {"\\Temp\\locked.txt", XFILE_MODE_READ, XEC_NOT_FOUND}, // sharing
        {"\\Temp\\locked.txt", XFILE_MODE_UPDATE, XEC_SYSTEM},
        {longName, XFILE_MODE_READ, XEC_NOT_FOUND},
        {longName, XFILE_MODE_WRITE, XEC_SYSTEM},
    };
    for (const Case &c : cases) {
        HANDLE h = kSentinel;
        EXPECT_EQ(XFile_Open(c.path.c_str(), c.mode, &h), c.rc) << c.path << " mode " << c.mode;
        EXPECT_EQ(h, kSentinel) << c.path;
    }
    HANDLE h = kSentinel;
    EXPECT_EQ(XFile_Create(longName.c_str(), &h), (DWORD)XEC_SYSTEM) << "create with an overlong name";
    EXPECT_EQ(XFile_Open(NULL, XFILE_MODE_READ, &h), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(h, kSentinel);
    EXPECT_EQ(XFile_Open("\\Temp\\x", XFILE_MODE_WRITE, NULL), (DWORD)XEC_INTERNAL) << "no handle variable";
    EXPECT_EQ(XFile_CreateW(u"\\Temp\\y", NULL), (DWORD)XEC_INTERNAL);
    EXPECT_FALSE(FileThere("\\Temp\\x")) << "nothing may be created without a handle variable";
    EXPECT_FALSE(FileThere("\\Temp\\y"));
    CloseHandle(hLock);
    EXPECT_EQ(GetFile("\\Temp\\locked.txt").value_or("<none>"), "x") << "a refused open must not truncate";
    EXPECT_EQ(GetFile(prefix).value_or("<none>"), "keep me") << "the 259-byte name must be untouched";
}

TEST_F(XFileHandle, WideNamesCreateAndClose)
{
    HANDLE h = XFILE_NO_HANDLE;
    const char16_t *name = u"\\Temp\\\u0416\u00e9.txt";
    ASSERT_EQ(XFile_CreateW(name, &h), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_Write(h, "abc", 3, NULL), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_Seek(h, 0, XFILE_SEEK_BEGIN, NULL), (DWORD)XEC_OK);
    char b[4] = {};
    EXPECT_EQ(XFile_Read(h, b, 3, NULL), (DWORD)XEC_OK) << "created for reading and writing";
    EXPECT_STREQ(b, "abc");
    XFile_Close(&h);
    ASSERT_EQ(XFile_CreateW(name, &h), (DWORD)XEC_OK);
    XFile_Close(&h);
    EXPECT_EQ(GetFile(cetest::U8(name)).value_or("<none>"), "") << "create truncates an existing file";

    ASSERT_EQ(XFile_Open("\\Temp\\c.txt", XFILE_MODE_WRITE, &h), (DWORD)XEC_OK);
    HANDLE copy = h;
    EXPECT_EQ(XFile_Close(&h), (DWORD)XEC_OK);
    EXPECT_EQ(h, XFILE_NO_HANDLE);
    EXPECT_EQ(XFile_Close(&h), (DWORD)XEC_OK) << "closing twice is harmless";
    EXPECT_EQ(XFile_Close(&copy), (DWORD)XEC_INTERNAL) << "the system refuses a stale handle";
    EXPECT_EQ(copy, XFILE_NO_HANDLE);
    EXPECT_EQ(XFile_Close(NULL), (DWORD)XEC_INTERNAL);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\c.txt")) << "nothing holds the file open";
}

TEST_F(XFileHandle, ReadAndWriteResults)
{
    ASSERT_TRUE(PutFile("\\Temp\\r.txt", "12345"));
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Open("\\Temp\\r.txt", XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    char b[16] = {};
    DWORD n = 99;
    EXPECT_EQ(XFile_Read(h, b, 3, NULL), (DWORD)XEC_OK) << "full read without out argument";
    EXPECT_EQ(XFile_Read(h, b, 3, NULL), (DWORD)XEC_EOF) << "short read without out argument";
    XFile_Seek(h, 3, XFILE_SEEK_BEGIN, NULL);
    EXPECT_EQ(XFile_Read(h, b, 10, &n), (DWORD)XEC_OK) << "short read with out argument";
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(XFile_Read(h, b, 10, &n), (DWORD)XEC_OK) << "read at end with out argument";
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(XFile_Read(h, NULL, 1, &n), (DWORD)XEC_INTERNAL) << "null buffer";
    EXPECT_EQ(XFile_Write(h, "z", 1, NULL), (DWORD)XEC_SYSTEM) << "write through a read-only handle";
    XFile_Close(&h);
    EXPECT_EQ(XFile_Read(0x7777u, b, 1, &n), (DWORD)XEC_SYSTEM) << "a handle the system does not know";

    ASSERT_EQ(XFile_Create("\\Temp\\w.bin", &h), (DWORD)XEC_OK);
    std::string big = Pattern(65534);
    n = 12345;
    EXPECT_EQ(XFile_Write(h, big.data(), 65534, &n), (DWORD)XEC_INTERNAL) << "65534 bytes";
    EXPECT_EQ(n, 12345u) << "the count must not be touched on refusal";
    DWORD len = 99;
    EXPECT_EQ(XFile_FileLengthByHandle(h, &len), (DWORD)XEC_OK);
    EXPECT_EQ(len, 0u) << "nothing written by refused writes";
    EXPECT_EQ(XFile_Write(h, big.data(), 65533, &n), (DWORD)XEC_OK) << "65533 bytes";
    EXPECT_EQ(n, 65533u);
    EXPECT_EQ(XFile_Write(h, "x", 1, NULL), (DWORD)XEC_OK);
    plat::FaultArm(plat::FaultKind::FileWrite, 1);
    EXPECT_EQ(XFile_Write(h, "y", 1, NULL), (DWORD)XEC_SYSTEM) << "failing system write";
    plat::FaultArm(plat::FaultKind::FileWrite, 0);
    XFile_Close(&h);
    EXPECT_EQ(GetFile("\\Temp\\w.bin").value_or("<none>"), big.substr(0, 65533) + "x");
}

TEST_F(XFileHandle, SeekTellAndLength)
{
    ASSERT_TRUE(PutFile("\\Temp\\s.bin", "0123456789"));
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Open("\\Temp\\s.bin", XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    struct Step {
        LONG offset;
        int origin;
        DWORD rc;
        DWORD position; // after the step
    } steps[] = {
        {4, XFILE_SEEK_BEGIN, XEC_OK, 4},     {3, XFILE_SEEK_CURRENT, XEC_OK, 7},
        {-2, XFILE_SEEK_CURRENT, XEC_OK, 5},  {-1, XFILE_SEEK_END, XEC_OK, 9},
        {-3, 7, XEC_OK, 7}, // any other origin is from the end
        {-1, XFILE_SEEK_BEGIN, XEC_SEEK, 7}, // before the start
        {0, XFILE_SEEK_BEGIN, XEC_OK, 0},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE("seek " + std::to_string(s.offset) + " from " + std::to_string(s.origin));
        DWORD pos = 1234, now = 1234, len = 0;
        DWORD rc = XFile_Seek(h, s.offset, s.origin, &pos);
        EXPECT_EQ(rc, s.rc);
        if (rc == XEC_OK) {
            EXPECT_EQ(pos, s.position);
        }
        EXPECT_EQ(XFile_FileLengthByHandle(h, &len), (DWORD)XEC_OK);
        EXPECT_EQ(len, 10u);
        EXPECT_EQ(XFile_Tell(h, &now), (DWORD)XEC_OK);
        EXPECT_EQ(now, s.position) << "position after the seek and taking the length";
    }
    XFile_Close(&h);
    DWORD len = 5;
    EXPECT_EQ(XFile_FileLengthByHandle(XFILE_NO_HANDLE, &len), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(XFile_Seek(XFILE_NO_HANDLE, 0, 0, NULL), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileHandle, TypedValuesAreLittleEndian)
{
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Create("\\Temp\\t.bin", &h), (DWORD)XEC_OK);
    ULONGLONG q = 0x0102030405060708ull;
    EXPECT_EQ(XFile_WriteByte(h, 0x1234), (DWORD)XEC_OK);      // low byte only
    EXPECT_EQ(XFile_WriteWord(h, 0xABCDEF01u), (DWORD)XEC_OK); // low two bytes
    EXPECT_EQ(XFile_WriteDWord(h, 0x11223344u), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteQWord(h, &q), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteQWord(h, NULL), (DWORD)XEC_INTERNAL);
    XFile_Close(&h);
    EXPECT_EQ(GetFile("\\Temp\\t.bin").value_or("<none>"),
              std::string("\x34\x01\xEF\x44\x33\x22\x11\x08\x07\x06\x05\x04\x03\x02\x01", 15));

    ASSERT_EQ(XFile_Open("\\Temp\\t.bin", XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    BYTE b = 0;
    WORD w = 0;
    DWORD d = 0;
    ULONGLONG r = 0;
    EXPECT_EQ(XFile_ReadByte(h, &b), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_ReadWord(h, &w), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_ReadDWord(h, &d), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_ReadQWord(h, &r), (DWORD)XEC_OK);
    EXPECT_EQ(b, 0x34);
    EXPECT_EQ(w, 0xEF01);
    EXPECT_EQ(d, 0x11223344u);
    EXPECT_EQ(r, q);
    XFile_Seek(h, -2, XFILE_SEEK_END, NULL);
    d = 0xCAFEu;
    EXPECT_EQ(XFile_ReadDWord(h, &d), (DWORD)XEC_EOF) << "two bytes left for a DWORD";
    EXPECT_EQ(d, 0xCAFEu) << "a short read must not store a half value";
    EXPECT_EQ(XFile_ReadWord(h, NULL), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_WriteDWord(h, 1), (DWORD)XEC_SYSTEM) << "write through a read handle";
    XFile_Close(&h);
    EXPECT_EQ(XFile_WriteByte(XFILE_NO_HANDLE, 1), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileHandle, SimpleWrappersAndLockStandIns)
{
    EXPECT_EQ(XFile_SimpleOpen("\\Temp\\none.txt", XFILE_MODE_READ), XFILE_NO_HANDLE);
    HANDLE h = XFile_SimpleCreate("\\Temp\\simple.txt");
    ASSERT_NE(h, XFILE_NO_HANDLE);
    EXPECT_EQ(XFile_SimpleWrite(h, "abcdef", 6), 6);
    EXPECT_EQ(XFile_SimpleSeek(h, 2, XFILE_SEEK_BEGIN), 2);
    char b[8] = {};
    EXPECT_EQ(XFile_SimpleRead(h, b, 8), 4);
    EXPECT_STREQ(b, "cdef");
    EXPECT_EQ(XFile_SimpleRead(h, b, 8), 0) << "end of file";
    EXPECT_EQ(XFile_SimpleFileLengthByHandle(h), 6);
    EXPECT_EQ(XFile_SimpleSeek(h, -1, XFILE_SEEK_BEGIN), -1);
    EXPECT_EQ(XFile_SimpleWrite(h, b, 70000), -1);
    EXPECT_EQ(XFile_SimpleClose(h), 0);
    EXPECT_EQ(XFile_SimpleClose(h), -1) << "already closed";
    EXPECT_EQ(XFile_SimpleRead(XFILE_NO_HANDLE, b, 1), -1);
    EXPECT_EQ(XFile_SimpleFileLengthByHandle(XFILE_NO_HANDLE), -1);

    h = XFile_SimpleOpen("\\Temp\\simple.txt", XFILE_MODE_READ);
    ASSERT_NE(h, XFILE_NO_HANDLE);
    EXPECT_EQ(XFile_SimpleRead(h, b, 3), 3);
    // There are no locks: locking fails, the counts are 0.
    DWORD prev = 77;
    EXPECT_EQ(XFile_LockFile(h), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_UnlockFile(h), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_IsLocked(h), 0u);
    EXPECT_EQ(XFile_ClearFileLocks(h, &prev), (DWORD)XEC_OK);
    EXPECT_EQ(prev, 0u);
    EXPECT_EQ(XFile_SetFileLocks(h, 0), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_SetFileLocks(h, 1), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_SimpleClose(h), 0);
}

} // namespace
