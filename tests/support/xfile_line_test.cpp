// xfile_line_test.cpp - XFile_ReadLine and XFile_WriteLine: the four line
// ends, short buffers and end of file.
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

struct Line {
    std::string text; // as returned, first line-end byte included
    DWORD length;
};

// Reads every line of the file with the given buffer size; the last result
// (which ends the loop) is returned through rcEnd.
std::vector<Line> ReadAll(DWORD size, DWORD &rcEnd)
{
    std::vector<Line> lines;
    HANDLE h = XFILE_NO_HANDLE;
    rcEnd = XFile_Open(kFile, XFILE_MODE_READ, &h);
    if (rcEnd != XEC_OK)
        return lines;
    std::vector<char> buf(size + 8, 'Z');
    for (int guard = 0; guard < 100000; ++guard) {
        DWORD len = 0xdead;
        rcEnd = XFile_ReadLine(h, buf.data(), size, &len);
        if (rcEnd != XEC_OK)
            break;
        lines.push_back({std::string(buf.data()), len});
    }
    XFile_Close(&h);
    return lines;
}

std::string Show(const std::vector<Line> &lines)
{
    std::string out;
    for (const Line &l : lines) {
        out += "[";
        for (char c : l.text)
            out += c == '\r' ? std::string("<CR>") : c == '\n' ? std::string("<LF>") : std::string(1, c);
        out += "/" + std::to_string(l.length) + "]";
    }
    return out;
}

TEST_F(XFileLine, LineEndsAndBufferSizes)
{
    struct Case {
        const char *name;
        std::string content;
        DWORD size;
        std::vector<Line> expected;
    } cases[] = {
        {"CR LF", "a\r\nb", 512, {{"a\r", 2}, {"b", 1}}},
        {"LF CR", "a\n\rb", 512, {{"a\n", 2}, {"b", 1}}},
        {"CR alone", "a\rb", 512, {{"a\r", 2}, {"b", 1}}},
        {"LF alone", "a\nb", 512, {{"a\n", 2}, {"b", 1}}},
        {"CR CR ends two lines", "a\r\rb", 512, {{"a\r", 2}, {"\r", 1}, {"b", 1}}},
        {"CR LF CR LF", "\r\n\r\n", 512, {{"\r", 1}, {"\r", 1}}},
        {"size 4 splits a long line", "abcdef\r\n", 4, {{"abc", 3}, {"def", 3}, {"\r", 1}}},
        {"size 4 drops the end byte when full", "ab\r\ncd", 4, {{"ab", 2}, {"cd", 2}}},
        {"size 2 one byte a call", "ab\r\n", 2, {{"a", 1}, {"b", 1}, {"", 0}}},
        {"long line in pieces", std::string(1200, 'q') + "\r\nend", 512,
         {{std::string(511, 'q'), 511},
          {std::string(511, 'q'), 511},
          {std::string(178, 'q') + "\r", 179},
          {"end", 3}}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(PutFile(kFile, c.content)) << c.name;
        DWORD rcEnd = 0;
        std::vector<Line> got = ReadAll(c.size, rcEnd);
        EXPECT_EQ(Show(got), Show(c.expected)) << c.name;
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

TEST_F(XFileLine, WriteLineEndsWithCrLf)
{
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Create(kFile, &h), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, "copy . . a.txt"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, ""), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, "lf\ninside"), (DWORD)XEC_OK);
    XFile_Close(&h);
    EXPECT_EQ(GetFile(kFile).value_or("<none>"), std::string("copy . . a.txt\r\n\r\nlf\ninside\r\n"));
}

} // namespace
