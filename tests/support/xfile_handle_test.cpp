// xfile_handle_test.cpp - opening modes and their fixed failure codes,
// writes and the 65533-byte limit, typed reads, and XFile_ReadLine with the
// four line ends, short buffers and end of file.
#include <windows.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
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
        std::string after; // content afterwards, after writing "!" when the open succeeded
    } cases[] = {
        {"write, existing is truncated", XFILE_MODE_WRITE, true, XEC_OK, "!"},
        {"update, existing is kept", XFILE_MODE_UPDATE, true, XEC_OK, "!ello"},
        {"append, existing at its end", XFILE_MODE_APPEND, true, XEC_OK, "hello!"},
        {"append, missing fails", XFILE_MODE_APPEND, false, XEC_SYSTEM, "<none>"},
        {"mode 4", 4, true, XEC_INTERNAL, "hello"},
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
            EXPECT_EQ(XFile_Write(h, "!", 1, NULL), (DWORD)XEC_OK);
            EXPECT_EQ(XFile_Close(&h), (DWORD)XEC_OK);
            EXPECT_EQ(h, XFILE_NO_HANDLE);
        }
        EXPECT_EQ(GetFile(name).value_or("<none>"), c.after);
    }
}

TEST_F(XFileHandle, FailedOpensHaveFixedCodesAndTouchNothing)
{
    // Whatever the cause, a failed read-open gives 3 and other opens 18; a
    // name of 260 bytes or more must not open the file of its first 259.
    ASSERT_TRUE(PutFile("\\Temp\\locked.txt", "x"));
    HANDLE hLock = CreateFileW(u"\\Temp\\locked.txt", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
    const std::string prefix = "\\Temp\\" + std::string(253, 'n');
    ASSERT_TRUE(PutFile(prefix, "keep me"));
    const std::string longName = prefix + "tail";
    HANDLE h = kSentinel;
    EXPECT_EQ(XFile_Open("\\Temp\\locked.txt", XFILE_MODE_READ, &h), (DWORD)XEC_NOT_FOUND) << "sharing";
    EXPECT_EQ(XFile_Open("\\Temp\\locked.txt", XFILE_MODE_WRITE, &h), (DWORD)XEC_SYSTEM) << "sharing";
    EXPECT_EQ(XFile_Open(longName.c_str(), XFILE_MODE_WRITE, &h), (DWORD)XEC_SYSTEM) << "overlong name";
    EXPECT_EQ(h, kSentinel);
    EXPECT_EQ(XFile_Open("\\Temp\\x", XFILE_MODE_WRITE, NULL), (DWORD)XEC_INTERNAL) << "no handle variable";
    EXPECT_FALSE(FileThere("\\Temp\\x")) << "nothing may be created without a handle variable";
    CloseHandle(hLock);
    EXPECT_EQ(GetFile("\\Temp\\locked.txt").value_or("<none>"), "x") << "a refused open must not truncate";
    EXPECT_EQ(GetFile(prefix).value_or("<none>"), "keep me") << "the 259-byte name must be untouched";
}

TEST_F(XFileHandle, WriteLimitAndTypedReads)
{
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Create("\\Temp\\w.bin", &h), (DWORD)XEC_OK);
    std::string big = Pattern(65534);
    DWORD n = 12345;
    EXPECT_EQ(XFile_Write(h, big.data(), 65534, &n), (DWORD)XEC_INTERNAL) << "65534 bytes";
    EXPECT_EQ(n, 12345u) << "the count must not be touched on refusal";
    EXPECT_EQ(XFile_Write(h, big.data(), 65533, &n), (DWORD)XEC_OK) << "65533 bytes";
    EXPECT_EQ(n, 65533u);
    EXPECT_EQ(XFile_WriteWord(h, 0xABCDEF01u), (DWORD)XEC_OK) << "low two bytes, little-endian";
    XFile_Close(&h);
    EXPECT_EQ(GetFile("\\Temp\\w.bin").value_or("<none>"), big.substr(0, 65533) + "\x01\xEF");

    ASSERT_EQ(XFile_Open("\\Temp\\w.bin", XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    XFile_Seek(h, -2, XFILE_SEEK_END, NULL);
    DWORD d = 0xCAFEu;
    EXPECT_EQ(XFile_ReadDWord(h, &d), (DWORD)XEC_EOF) << "two bytes left for a DWORD";
    EXPECT_EQ(d, 0xCAFEu) << "a short read must not store a half value";
    EXPECT_EQ(XFile_Write(h, "z", 1, NULL), (DWORD)XEC_SYSTEM) << "write through a read-only handle";
    XFile_Close(&h);
}

class XFileLine : public cetest::DeviceFixture {};

const char *kFile = "\\Temp\\lines.txt";

// Reads every line of the file with the given buffer size, checking that
// the length returned is the text's and nothing is written past the size;
// the last result (which ends the loop) is returned through rcEnd.
std::vector<std::string> ReadAll(DWORD size, DWORD &rcEnd)
{
    std::vector<std::string> lines;
    HANDLE h = XFILE_NO_HANDLE;
    rcEnd = XFile_Open(kFile, XFILE_MODE_READ, &h);
    std::vector<char> buf(size + 8, 'Z');
    for (int guard = 0; rcEnd == XEC_OK && guard < 100000; ++guard) {
        DWORD len = 0xdead;
        rcEnd = XFile_ReadLine(h, buf.data(), size, &len);
        if (rcEnd == XEC_OK) {
            lines.push_back(buf.data());
            EXPECT_EQ(len, lines.back().size()) << "length of line " << lines.size();
            EXPECT_EQ(buf[size], 'Z') << "written past the size";
        }
    }
    XFile_Close(&h);
    return lines;
}

TEST_F(XFileLine, LineEndsAndBufferSizes)
{
    struct Case {
        const char *name;
        std::string content;
        DWORD size;
        std::vector<std::string> expected; // first line-end byte included
    } cases[] = {
        {"CR LF", "a\r\nb", 512, {"a\r", "b"}},
        {"LF CR", "a\n\rb", 512, {"a\n", "b"}},
        {"CR alone", "a\rb", 512, {"a\r", "b"}},
        {"LF alone", "a\nb", 512, {"a\n", "b"}},
        {"CR CR ends two lines", "a\r\rb", 512, {"a\r", "\r", "b"}},
        {"CR LF CR LF", "\r\n\r\n", 512, {"\r", "\r"}},
        {"size 4 splits a long line", "abcdef\r\n", 4, {"abc", "def", "\r"}},
        {"size 4 drops the end byte when full", "ab\r\ncd", 4, {"ab", "cd"}},
        {"size 2 one byte a call", "ab\r\n", 2, {"a", "b", ""}},
        {"long line in pieces", std::string(1200, 'q') + "\r\nend", 512,
         {std::string(511, 'q'), std::string(511, 'q'), std::string(178, 'q') + "\r", "end"}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(PutFile(kFile, c.content)) << c.name;
        DWORD rcEnd = 0;
        EXPECT_EQ(ReadAll(c.size, rcEnd), c.expected) << c.name;
        EXPECT_EQ(rcEnd, (DWORD)XEC_EOF) << c.name << ": the call after the last line";
    }
}

TEST_F(XFileLine, EndOfFileAndTooSmallBuffers)
{
    ASSERT_TRUE(PutFile(kFile, ""));
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Open(kFile, XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    char buf[16] = "untouched";
    DWORD len = 77;
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, &len), (DWORD)XEC_EOF);
    EXPECT_STREQ(buf, "untouched") << "the buffer at end of file";
    EXPECT_EQ(len, 77u) << "the length at end of file";
    XFile_Close(&h);

    ASSERT_TRUE(PutFile(kFile, "abc\r\n"));
    ASSERT_EQ(XFile_Open(kFile, XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    for (DWORD size : {0u, 1u}) {
        EXPECT_EQ(XFile_ReadLine(h, buf, size, NULL), (DWORD)XEC_NO_MEMORY) << "size " << size;
        DWORD pos = 99;
        XFile_Tell(h, &pos);
        EXPECT_EQ(pos, 0u) << "nothing may be read with size " << size;
    }
    EXPECT_STREQ(buf, "untouched");
    XFile_Close(&h);
}

} // namespace
