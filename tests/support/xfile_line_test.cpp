// xfile_line_test.cpp - XFile_ReadLine: the four line ends, short buffers
// and end of file.
#include <windows.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

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
