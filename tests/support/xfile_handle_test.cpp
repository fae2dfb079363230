// xfile_handle_test.cpp - opening modes and their fixed failure codes,
// writes and the 65533-byte limit, typed reads, and XFile_ReadLine with the
// four line ends, short buffers and end of file.
#include <windows.h>

#include <ostream>
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

// One line as a call returned it: its bytes up to the terminator (a NUL
// inside the line included) and the file position after the call.
struct Got {
    std::string bytes;
    DWORD pos;
    bool operator==(const Got &o) const { return bytes == o.bytes && pos == o.pos; }
};

std::ostream &operator<<(std::ostream &os, const Got &g)
{
    std::string shown;
    for (char c : g.bytes)
        shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : c == 0 ? std::string("\\0") : std::string(1, c);
    return os << "{\"" << shown << "\" @" << g.pos << "}";
}

// Reads every line of the file with the given buffer size, checking that
// the length returned is where the terminator is and nothing is written
// past the size; the last result (which ends the loop) is returned
// through rcEnd.
std::vector<Got> ReadAllAt(DWORD size, DWORD &rcEnd)
{
    std::vector<Got> lines;
    HANDLE h = XFILE_NO_HANDLE;
    rcEnd = XFile_Open(kFile, XFILE_MODE_READ, &h);
    std::vector<char> buf(size + 8, 'Z');
    for (int guard = 0; rcEnd == XEC_OK && guard < 100000; ++guard) {
        DWORD len = 0xdead;
        rcEnd = XFile_ReadLine(h, buf.data(), size, &len);
        if (rcEnd == XEC_OK) {
            EXPECT_LT(len, size) << "length of line " << lines.size() + 1;
            if (len >= size)
                break;
            EXPECT_EQ(buf[len], 0) << "terminator of line " << lines.size() + 1;
            EXPECT_EQ(buf[size], 'Z') << "written past the size";
            DWORD pos = 0xdead;
            XFile_Tell(h, &pos);
            lines.push_back({std::string(buf.data(), len), pos});
        }
    }
    XFile_Close(&h);
    return lines;
}

// Every line of a file and where each call leaves the file: always at the
// first byte the line did not take, whether the line ended at a line end
// (CR LF, LF CR, CR or LF; the first byte is kept), a partner byte, a full
// buffer or the end of the file, and wherever the line lies against the
// reader's chunks of 256 bytes (a line end as a chunk's last byte, its
// partner the next chunk's first). Bytes other than CR and LF, a NUL among
// them, are the line's own.
TEST_F(XFileLine, LinesAndPositions)
{
    const std::string a253(253, 'a'), a254(254, 'a'), a255(255, 'a'), a256(256, 'a'), q511(511, 'q');
    struct Case {
        const char *name;
        std::string content;
        DWORD size;
        std::vector<Got> expected;
    } cases[] = {
        {"CR LF then a last line without end", "ab\r\ncd", 512, {{"ab\r", 4}, {"cd", 6}}},
        {"LF CR", "a\n\rb", 512, {{"a\n", 3}, {"b", 4}}},
        {"CR alone", "a\rb", 512, {{"a\r", 2}, {"b", 3}}},
        {"LF alone", "a\nb", 512, {{"a\n", 2}, {"b", 3}}},
        {"CR CR ends two lines", "a\r\rb", 512, {{"a\r", 2}, {"\r", 3}, {"b", 4}}},
        {"CR LF CR LF", "\r\n\r\n", 512, {{"\r", 2}, {"\r", 4}}},
        {"LF LF: an empty second line", "a\n\nb", 512, {{"a\n", 2}, {"\n", 3}, {"b", 4}}},
        {"a lone CR last in the file", "ab\r", 512, {{"ab\r", 3}}},
        {"a lone LF last in the file", "\n", 512, {{"\n", 1}}},
        {"CR then a byte that is not its partner", "a\rb\r\n", 512, {{"a\r", 2}, {"b\r", 5}}},
        {"LF CR LF: the LF CR pair, then a lone LF", "a\n\r\nb", 512, {{"a\n", 3}, {"\n", 4}, {"b", 5}}},
        {"a NUL inside a line", std::string("a\0b\r\nc", 6), 512, {{std::string("a\0b\r", 4), 5}, {"c", 6}}},
        {"a line of blanks and tabs", " \t \r\n", 512, {{" \t \r", 5}}},
        {"CR as the chunk's last byte, LF the next chunk's first", a255 + "\r\nz", 512,
         {{a255 + "\r", 257}, {"z", 258}}},
        {"CR as the chunk's last byte, a plain byte after", a255 + "\rz", 512, {{a255 + "\r", 256}, {"z", 257}}},
        {"CR LF as the chunk's last two bytes", a254 + "\r\nz", 512, {{a254 + "\r", 256}, {"z", 257}}},
        {"a line running over the first chunk", a256 + "bc\r\nz", 512, {{a256 + "bc\r", 260}, {"z", 261}}},
        {"a line of 511 bytes fills the buffer", std::string(511, 'x') + "\r\nz", 512,
         {{std::string(511, 'x'), 511}, {"\r", 513}, {"z", 514}}},
        {"a line of 510 bytes: no room for its end byte", std::string(510, 'x') + "\r\nz", 512,
         {{std::string(510, 'x'), 512}, {"z", 513}}},
        {"a line of 509 bytes keeps its end byte", std::string(509, 'x') + "\n\rz", 512,
         {{std::string(509, 'x') + "\n", 511}, {"z", 512}}},
        {"a long line in pieces", std::string(1200, 'q') + "\r\nend", 512,
         {{q511, 511}, {q511, 1022}, {std::string(178, 'q') + "\r", 1202}, {"end", 1205}}},
        {"size 8: a full buffer leaves the rest", "abcdefghij\r\n", 8, {{"abcdefg", 7}, {"hij\r", 12}}},
        {"size 4 splits a long line", "abcdef\r\n", 4, {{"abc", 3}, {"def", 6}, {"\r", 8}}},
        {"size 4 drops the end byte when full", "ab\r\ncd", 4, {{"ab", 4}, {"cd", 6}}},
        {"size 3 and a line end at the second byte", "a\r\nb", 3, {{"a", 3}, {"b", 4}}},
        {"size 2 one byte a call", "ab\r\n", 2, {{"a", 1}, {"b", 2}, {"", 4}}},
        {"two chunks of lines", a253 + "\r\n" + a253 + "\n" + a253, 512,
         {{a253 + "\r", 255}, {a253 + "\n", 509}, {a253, 762}}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(PutFile(kFile, c.content)) << c.name;
        DWORD rcEnd = 0;
        EXPECT_EQ(ReadAllAt(c.size, rcEnd), c.expected) << c.name;
        EXPECT_EQ(rcEnd, (DWORD)XEC_EOF) << c.name << ": the call after the last line";
    }
}

// A read that fails gives its code and moves nothing; end of file and a
// buffer too small for a byte leave buffer, length and position alone; and
// the reader keeps nothing between calls: a seek between two lines is where
// the next line starts.
TEST_F(XFileLine, FailuresEndOfFileAndSeparateCalls)
{
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Open(kFile, XFILE_MODE_WRITE, &h), (DWORD)XEC_OK);
    ASSERT_EQ(XFile_Write(h, "one\r\ntwo\r\n", 10, NULL), (DWORD)XEC_OK);
    XFile_Seek(h, 2, XFILE_SEEK_BEGIN, NULL);
    char buf[32] = "untouched";
    DWORD pos = 98, len = 77;
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, NULL), (DWORD)XEC_SYSTEM) << "a handle that cannot read";
    XFile_Tell(h, &pos);
    EXPECT_EQ(pos, 2u) << "a failed read moves nothing";
    XFile_Close(&h);

    ASSERT_EQ(XFile_Open(kFile, XFILE_MODE_READ, &h), (DWORD)XEC_OK);
    for (DWORD size : {0u, 1u}) {
        EXPECT_EQ(XFile_ReadLine(h, buf, size, NULL), (DWORD)XEC_NO_MEMORY) << "size " << size;
        XFile_Tell(h, &pos);
        EXPECT_EQ(pos, 0u) << "nothing may be read with size " << size;
    }
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, NULL), (DWORD)XEC_OK);
    EXPECT_STREQ(buf, "one\r");
    XFile_Seek(h, 1, XFILE_SEEK_BEGIN, NULL);
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, NULL), (DWORD)XEC_OK);
    EXPECT_STREQ(buf, "ne\r");
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, NULL), (DWORD)XEC_OK);
    EXPECT_STREQ(buf, "two\r");
    XFile_Seek(h, 0, XFILE_SEEK_END, NULL);
    strcpy(buf, "untouched");
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, &len), (DWORD)XEC_EOF);
    EXPECT_STREQ(buf, "untouched") << "the buffer at end of file";
    EXPECT_EQ(len, 77u) << "the length at end of file";
    XFile_Close(&h);
}

} // namespace
