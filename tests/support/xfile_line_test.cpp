// xfile_line_test.cpp - XFile_ReadLine and XFile_WriteLine: the four line
// ends, short buffers, the pushed-back byte, end of file and write faults.
#include <windows.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/faults.h"
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
std::vector<Line> ReadAll(DWORD size, DWORD &rcEnd, std::vector<DWORD> *positions = nullptr)
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
        if (positions) {
            DWORD pos = 0;
            XFile_Tell(h, &pos);
            positions->push_back(pos);
        }
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
        {"line end at end of file", "x\r", 512, {{"x\r", 2}}},
        {"last line without end", "one\r\ntwo", 512, {{"one\r", 4}, {"two", 3}}},
        {"size 4 splits a long line", "abcdef\r\n", 4, {{"abc", 3}, {"def", 3}, {"\r", 1}}},
        {"size 4 drops the end byte when full", "ab\r\ncd", 4, {{"ab", 2}, {"cd", 2}}},
        {"size 4 short line keeps end byte", "a\r\n", 4, {{"a\r", 2}}},
        {"size 2 one byte a call", "ab\r\n", 2, {{"a", 1}, {"b", 1}, {"", 0}}},
        {"bytes above 127 pass", "\xe9t\xe9\r\n", 512, {{"\xe9t\xe9\r", 4}}},
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

TEST_F(XFileLine, EndOfFileShortBuffersAndBadArguments)
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
    EXPECT_EQ(XFile_ReadLine(h, NULL, 16, NULL), (DWORD)XEC_INTERNAL) << "null buffer";
    EXPECT_EQ(XFile_ReadLine(h, buf, sizeof buf, NULL), (DWORD)XEC_OK) << "no length wanted";
    EXPECT_STREQ(buf, "abc\r");
    EXPECT_EQ(XFile_WriteLine(h, NULL), (DWORD)XEC_INTERNAL) << "null line";
    XFile_Close(&h);
    EXPECT_EQ(XFile_ReadLine(XFILE_NO_HANDLE, buf, sizeof buf, NULL), (DWORD)XEC_INTERNAL) << "handle -1";
    EXPECT_EQ(XFile_WriteLine(XFILE_NO_HANDLE, "x"), (DWORD)XEC_INTERNAL) << "write to handle -1";
    EXPECT_EQ(XFile_WriteLine(XFILE_NO_HANDLE, ""), (DWORD)XEC_INTERNAL) << "empty line to handle -1";
}

TEST_F(XFileLine, WriteLineEndsWithCrLfAndReportsFailures)
{
    HANDLE h = XFILE_NO_HANDLE;
    ASSERT_EQ(XFile_Create(kFile, &h), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, "copy . . a.txt"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, ""), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_WriteLine(h, "lf\ninside"), (DWORD)XEC_OK);
    XFile_Close(&h);
    EXPECT_EQ(GetFile(kFile).value_or("<none>"), std::string("copy . . a.txt\r\n\r\nlf\ninside\r\n"));

    // And what was written reads back line by line.
    DWORD rcEnd = 0;
    std::vector<Line> got = ReadAll(512, rcEnd);
    EXPECT_EQ(Show(got), "[copy . . a.txt<CR>/15][<CR>/1][lf<LF>/3][inside<CR>/7]");

    // The first write (the text) and then the second (CR LF) fail in turn.
    for (int n = 1; n <= 2; ++n) {
        ASSERT_EQ(XFile_Create(kFile, &h), (DWORD)XEC_OK);
        plat::FaultArm(plat::FaultKind::FileWrite, n);
        EXPECT_NE(XFile_WriteLine(h, "text"), (DWORD)XEC_OK) << "write " << n << " failing";
        plat::FaultArm(plat::FaultKind::FileWrite, 0);
        XFile_Close(&h);
    }
}

// The line rules applied to a string, one byte at a time: the reference
// the reader (which reads ahead in chunks) must agree with.
std::vector<Line> ModelLines(const std::string &f, DWORD size, std::vector<DWORD> &positions)
{
    std::vector<Line> out;
    size_t p = 0;
    for (;;) {
        std::string text;
        char end = 0;
        if (p >= f.size())
            break;
        while (text.size() < size - 1 && p < f.size()) {
            char c = f[p++];
            if (c == '\r' || c == '\n') {
                end = c;
                if (p < f.size() && f[p] == (c == '\r' ? '\n' : '\r'))
                    p++;
                break;
            }
            text += c;
        }
        if (end != 0 && text.size() < size - 2)
            text += end;
        out.push_back({text, (DWORD)text.size()});
        positions.push_back((DWORD)p);
    }
    return out;
}

TEST_F(XFileLine, AgreesWithByteByByteRulesOnRandomText)
{
    // Line ends fall on every position of the read-ahead chunks, with
    // buffer sizes around the chunk size and tiny ones; after each line the
    // file position must be at the start of the next (a byte looked at
    // after a lone line end is given back).
    uint32_t x = 12345;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    const DWORD sizes[] = {2, 3, 4, 5, 17, 255, 256, 257, 258, 512, 700};
    for (int round = 0; round < 15; ++round) {
        std::string f;
        size_t n = next() % 1500;
        for (size_t i = 0; i < n; ++i) {
            uint32_t r = next() % 16;
            f += r < 2 ? '\r' : r < 4 ? '\n' : char('a' + r);
        }
        ASSERT_TRUE(PutFile(kFile, f));
        for (DWORD size : sizes) {
            std::vector<DWORD> wantPos, gotPos;
            std::vector<Line> want = ModelLines(f, size, wantPos);
            DWORD rcEnd = 0;
            std::vector<Line> got = ReadAll(size, rcEnd, &gotPos);
            ASSERT_EQ(Show(got), Show(want)) << "round " << round << ", size " << size;
            ASSERT_EQ(gotPos, wantPos) << "round " << round << ", size " << size;
            ASSERT_EQ(rcEnd, (DWORD)XEC_EOF);
        }
    }
}

} // namespace
