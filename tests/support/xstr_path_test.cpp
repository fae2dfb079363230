// xstr_path_test.cpp - file names taken apart (title, name, extension,
// folder) and put together, with the edge cases of each function.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/xstr.h"

namespace {

struct SplitRow {
    const char *path, *title, *name, *ext, *folder;
};

const SplitRow kSplit[] = {
    {"\\Windows\\Start Menu\\app.lnk", "app.lnk", "app", ".lnk", "\\Windows\\Start Menu\\"},
    {"readme", "readme", "readme", "", ""},
    {"\\a\\b.tar.gz", "b.tar.gz", "b.tar", ".gz", "\\a\\"},
    {"\\Temp\\", "", "", "", "\\Temp\\"},
    {"a/b.txt", "a/b.txt", "a/b", ".txt", ""}, // the slash is not a delimiter here
    {"\\x\\.profile", ".profile", "", ".profile", "\\x\\"},
};

TEST(XStrPathSplit, TitleNameExtensionFolder) {
    for (const SplitRow &r : kSplit) {
        char buf[MAX_PATH];
        EXPECT_STREQ(XStr_GetFileTitlePtr(r.path), r.title) << r.path;
        ASSERT_EQ(XStr_GetFileTitle(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.title) << r.path;
        ASSERT_EQ(XStr_GetFileTitleName(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.name) << r.path;
        const char *ext = XStr_GetFileExtPtr(r.path);
        EXPECT_STREQ(ext, r.ext) << r.path;
        ASSERT_EQ(XStr_GetFilePath(r.path, buf, sizeof buf), 1) << r.path;
        EXPECT_STREQ(buf, r.folder) << r.path;
    }
}

TEST(XStrPathSplit, SizeRules) {
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(XStr_GetFileTitle("\\x\\abcd.txt", buf, 8), 0) << "title of 8 bytes, size 8";
    EXPECT_EQ(buf[0], '#') << "nothing copied";
    EXPECT_EQ(XStr_GetFileTitle("\\x\\abcd.txt", buf, 9), 1) << "title of 8 bytes, size 9";
    EXPECT_STREQ(buf, "abcd.txt");
    EXPECT_EQ(XStr_GetFilePath("\\ab\\cd", buf, 6), 0) << "path of 6 bytes, size 6";
    EXPECT_EQ(XStr_GetFilePath("\\ab\\cd", buf, 7), 1) << "path of 6 bytes, size 7";
}

TEST(XStrPathJoin, ChangeExtTitleAndPath) {
    char buf[MAX_PATH];
    XStr_ChangeFileExt("setup.load", ".unload", buf);
    EXPECT_STREQ(buf, "setup.unload");
    XStr_ChangeFileExt("\\x\\name.", "txt", buf);
    EXPECT_STREQ(buf, "\\x\\name.txt");
    XStr_ChangeFilePath("\\Storage Card\\app.exe", "\\Program Files\\App", buf);
    EXPECT_STREQ(buf, "\\Program Files\\App\\app.exe");
    XStr_ChangeFilePath("app.exe", "\\Dir\\", buf);
    EXPECT_STREQ(buf, "\\Dir\\app.exe") << "no second backslash";

    // Folder, delimiter and title reaching 260 bytes: the folder only.
    for (size_t n : {246u, 247u}) {
        std::string folder = "\\" + std::string(n, 'f');
        XStr_ChangeFilePath("\\x\\title12.txt", folder.c_str(), buf);
        std::string want = folder + (n + 2 + 11 < 260 ? "\\title12.txt" : "\\");
        EXPECT_EQ(std::string(buf), want) << "folder of " << n + 1 << " bytes";
    }
}

TEST(XStrPathJoin, OverlongResultsNeverPassTheBuffer) {
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

TEST(XFileBuildFullFileName, JoinsOrKeeps) {
    char buf[MAX_PATH];
    EXPECT_EQ(XFile_BuildFullFileName("a.txt", "\\Storage", buf), 0u);
    EXPECT_STREQ(buf, "\\Storage\\a.txt");
    EXPECT_EQ(XFile_BuildFullFileName("\\\\host\\a.txt", "\\Storage", buf), 0u);
    EXPECT_STREQ(buf, "\\\\host\\a.txt") << "a network name is kept";
}

} // namespace
