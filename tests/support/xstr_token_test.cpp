// xstr_token_test.cpp - the command-line splitter's capacity and bounds
// (its quoting is seen through the script line splitter's table), the field
// readers' size rule, in-place replacement, and file names taken apart and
// put together.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/xstr.h"

namespace {

TEST(XStrParseCmdLine, Capacity)
{
    char line[64] = "w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11";
    char *tokens[16] = {};
    int count = -1;
    EXPECT_EQ(XStr_ParseCmdLine(line, tokens, 10, &count, 0), 0) << "eleven words, capacity 10";
    EXPECT_EQ(count, 10) << "count stored although the result is 0";
    EXPECT_STREQ(tokens[9], "w10") << "tokens stored so far stay valid";
    char ten[64] = "w1 w2 w3 w4 w5 w6 w7 w8 w9 w10";
    EXPECT_EQ(XStr_ParseCmdLine(ten, tokens, 10, &count, 0), 1) << "ten words fit";
}

// Random lines of blanks, quotes, backslashes and letters: the splitter
// writes nothing outside the line, and the count never passes the capacity.
TEST(XStrParseCmdLine, RandomLinesStayInsideTheLine)
{
    const char alphabet[] = " \t\"'\\ab";
    unsigned seed = 12345;
    auto next = [&seed]() { return (seed = seed * 1103515245u + 12345u) >> 16 & 0x7FFF; };
    for (int iter = 0; iter < 500; ++iter) {
        char buf[64 + 2];
        memset(buf, ' ', sizeof buf); // blanks around: a scan past the end would take them for delimiters
        int len = next() % 40, capacity = next() % 12, count = -1;
        char *line = buf + 1, *tokens[12];
        for (int i = 0; i < len; ++i)
            line[i] = alphabet[next() % (sizeof alphabet - 1)];
        line[len] = 0;
        std::string original(line);
        XStr_ParseCmdLine(line, tokens, capacity, &count, next() % 2);
        ASSERT_TRUE(count >= 0 && count <= capacity) << "count " << count << " for [" << original << "]";
        for (int t = 0; t < count; ++t)
            ASSERT_LE(tokens[t] + strlen(tokens[t]), line + len) << "token runs past [" << original << "]";
        ASSERT_EQ(buf[0], ' ') << "byte before the line written for [" << original << "]";
        for (int i = 1 + len + 1; i < (int)sizeof buf; ++i)
            ASSERT_EQ(buf[i], ' ') << "byte past the line's terminator written for [" << original << "]";
    }
}

TEST(XStrFields, SizeRule)
{
    // A field of size - 1 bytes would fit with its terminator, yet is refused.
    char text[] = "abcd efg";
    char *cursor = text;
    char field[8];
    memset(field, '#', sizeof field);
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, field, 5), 0) << "4 bytes, size 5";
    EXPECT_EQ(cursor, text) << "cursor left alone";
    EXPECT_EQ(field[0], '#') << "nothing copied";
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, field, 6), 1) << "4 bytes, size 6";
    EXPECT_STREQ(field, "abcd");

    char ctext[] = "efg";
    cursor = ctext;
    EXPECT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, 4), 0) << "comma reader: 3 bytes, size 4";
    EXPECT_EQ(cursor, ctext) << "cursor left alone";
}

TEST(XStrReplace, FitsOrRefuses)
{
    char buf[16];
    memset(buf, '#', sizeof buf);
    strcpy(buf, "a%1b");
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 5, buf + 1, buf + 2, "XYZ"), 0) << "5 bytes fill size 5 exactly";
    EXPECT_EQ(std::string(buf, 8), std::string("a%1b\0###", 8)) << "refused: buffer unchanged";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 6, buf + 1, buf + 2, "XYZ"), 1) << "5 bytes and terminator in 6";
    EXPECT_EQ(std::string(buf, 8), std::string("aXYZb\0##", 8)) << "nothing past the size";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 6, buf + 1, buf + 3, ""), 1) << "the last byte is inclusive";
    EXPECT_STREQ(buf, "ab") << "shrinks";

    char abc[32] = "abc", other[8] = "xyz";
    EXPECT_EQ(XStr_ReplaceSubstring(abc, 0, abc, abc, "x"), 0) << "size 0";
    EXPECT_EQ(XStr_ReplaceSubstring(abc, 32, other, other, "x"), 0) << "first outside the buffer";
    EXPECT_EQ(XStr_ReplaceSubstring(abc, 32, abc + 2, abc, "x"), 0) << "last before first";
    EXPECT_EQ(XStr_ReplaceSubstring(abc, 32, abc, abc + 5, "x"), 0) << "last past the string";
    EXPECT_STREQ(abc, "abc");

    char same[32] = "%1|value";
    EXPECT_EQ(XStr_ReplaceSubstring(same, sizeof same, same, same + 1, same + 3), 1);
    EXPECT_STREQ(same, "value|value") << "a replacement from the same buffer";
}

TEST(XStrPathSplit, TitleNameExtensionFolder)
{
    const struct {
        const char *path, *title, *name, *ext, *folder;
    } rows[] = {
        {"\\Windows\\Start Menu\\app.lnk", "app.lnk", "app", ".lnk", "\\Windows\\Start Menu\\"},
        {"readme", "readme", "readme", "", ""},
        {"\\a\\b.tar.gz", "b.tar.gz", "b.tar", ".gz", "\\a\\"},
        {"\\Temp\\", "", "", "", "\\Temp\\"},
        {"a/b.txt", "a/b.txt", "a/b", ".txt", ""}, // the slash is not a delimiter here
        {"\\x\\.profile", ".profile", "", ".profile", "\\x\\"},
    };
    for (const auto &r : rows) {
        char buf[MAX_PATH];
        EXPECT_STREQ(XStr_GetFileTitlePtr(r.path), r.title) << r.path;
        ASSERT_EQ(XStr_GetFileTitle(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.title) << r.path;
        ASSERT_EQ(XStr_GetFileTitleName(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.name) << r.path;
        EXPECT_STREQ(XStr_GetFileExtPtr(r.path), r.ext) << r.path;
        ASSERT_EQ(XStr_GetFilePath(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.folder) << r.path;
    }
    // Sizes: a part of n bytes needs n + 1.
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(XStr_GetFileTitle("\\x\\abcd.txt", buf, 8), 0) << "title of 8 bytes, size 8";
    EXPECT_EQ(buf[0], '#') << "nothing copied";
    EXPECT_EQ(XStr_GetFileTitle("\\x\\abcd.txt", buf, 9), 1) << "title of 8 bytes, size 9";
    EXPECT_STREQ(buf, "abcd.txt");
    EXPECT_EQ(XStr_GetFilePath("\\ab\\cd", buf, 6), 0) << "path of 6 bytes, size 6";
    EXPECT_EQ(XStr_GetFilePath("\\ab\\cd", buf, 7), 1) << "path of 6 bytes, size 7";
}

TEST(XStrPathJoin, ChangeExtTitleAndPath)
{
    char buf[MAX_PATH];
    XStr_ChangeFileExt("setup.load", ".unload", buf);
    EXPECT_STREQ(buf, "setup.unload");
    XStr_ChangeFileExt("\\x\\name.", "txt", buf);
    EXPECT_STREQ(buf, "\\x\\name.txt");
    XStr_ChangeFilePath("\\Storage Card\\app.exe", "\\Program Files\\App", buf);
    EXPECT_STREQ(buf, "\\Program Files\\App\\app.exe");
    XStr_ChangeFilePath("app.exe", "\\Dir\\", buf);
    EXPECT_STREQ(buf, "\\Dir\\app.exe") << "no second backslash";
    EXPECT_EQ(XFile_BuildFullFileName("a.txt", "\\Storage", buf), 0u);
    EXPECT_STREQ(buf, "\\Storage\\a.txt");
    EXPECT_EQ(XFile_BuildFullFileName("\\\\host\\a.txt", "\\Storage", buf), 0u);
    EXPECT_STREQ(buf, "\\\\host\\a.txt") << "a network name is kept";

    // Folder, delimiter and title reaching 260 bytes: the folder only.
    for (size_t n : {246u, 247u}) {
        std::string folder = "\\" + std::string(n, 'f');
        XStr_ChangeFilePath("\\x\\title12.txt", folder.c_str(), buf);
        std::string want = folder + (n + 2 + 11 < 260 ? "\\title12.txt" : "\\");
        EXPECT_EQ(std::string(buf), want) << "folder of " << n + 1 << " bytes";
    }
}

TEST(XStrPathJoin, OverlongResultsNeverPassTheBuffer)
{
    // Each join gives an empty string instead of a cut path, and writes
    // nothing past 260 bytes.
    char buf[MAX_PATH + 64];
    const std::string longFolder = "\\" + std::string(300, 'f'), longTitle(300, 't');
    const std::string longName = std::string(258, 'n') + ".load";
    auto check = [&buf](const char *what, auto join) {
        memset(buf, '#', sizeof buf);
        join();
        EXPECT_STREQ(buf, "") << what;
        EXPECT_EQ(buf[MAX_PATH], '#') << what << ": written past 260 bytes";
    };
    check("folder alone too long", [&] { XStr_ChangeFilePath("\\a.txt", longFolder.c_str(), buf); });
    check("title", [&] { XStr_ChangeFileTitle("\\dir\\x", longTitle.c_str(), buf); });
    check("extension", [&] { XStr_ChangeFileExt(longName.c_str(), "unload", buf); });
    check("full name", [&] { EXPECT_EQ(XFile_BuildFullFileName(longTitle.c_str(), "\\Dir", buf), 4u); });
}

} // namespace
