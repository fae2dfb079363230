// xfile_find_test.cpp - file searches: patterns, full paths, the order and
// attributes of entries, the end of a search, failures and closing.
#include <windows.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

class XFileFind : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        cetest::DeviceFixture::SetUp();
        ASSERT_TRUE(MakeFolder("\\Temp\\pkg"));
        ASSERT_TRUE(PutFile("\\Temp\\pkg\\Setup.LOAD", "12345"));
        ASSERT_TRUE(PutFile("\\Temp\\pkg\\c.load", ""));
        ASSERT_TRUE(MakeFolder("\\Temp\\pkg\\sub"));
    }
};

// Runs a whole search and closes it. Each entry is shown as
// "name|full path|size|d" (d for a folder); rcEnd is the result of the
// call that ended the search (the first call's when nothing was found).
std::string Search(const char *folder, const char *mask, DWORD &rcEnd, XFILE_FIND &rec)
{
    std::string out;
    rcEnd = XFile_FindFirstFileEx(folder, mask, FILE_ATTRIBUTE_NORMAL, &rec);
    for (int guard = 0; rcEnd == XEC_OK && guard < 100; ++guard) {
        out += (out.empty() ? "" : ",") + std::string(rec.szName) + "|" + rec.szFullPath + "|" +
               std::to_string(rec.dwSize) + ((rec.dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "|d" : "");
        rcEnd = XFile_FindNextFile(&rec);
    }
    if (rec.phFind) {
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK) << mask;
        EXPECT_EQ(rec.phFind, nullptr) << "the record is marked closed";
    }
    return out;
}

TEST_F(XFileFind, PatternsFoldersAndEntries)
{
    struct Case {
        const char *folder, *mask, *pattern, *entries;
    } cases[] = {
        {"\\Temp\\pkg", "*.load", "\\Temp\\pkg\\*.load", // case ignored, in folded name order
         "c.load|\\Temp\\pkg\\c.load|0,Setup.LOAD|\\Temp\\pkg\\Setup.LOAD|5"},
        {"\\Temp\\pkg", "*", "\\Temp\\pkg\\*",
         "c.load|\\Temp\\pkg\\c.load|0,Setup.LOAD|\\Temp\\pkg\\Setup.LOAD|5,"
         "sub|\\Temp\\pkg\\sub|0|d"},
        {NULL, "\\Temp\\pkg\\setup.*", "\\Temp\\pkg\\setup.*", "Setup.LOAD|\\Temp\\pkg\\Setup.LOAD|5"},
    };
    for (const Case &c : cases) {
        XFILE_FIND rec;
        DWORD rcEnd = 0;
        EXPECT_EQ(Search(c.folder, c.mask, rcEnd, rec), c.entries) << c.mask;
        EXPECT_EQ(rcEnd, (DWORD)XEC_NOT_FOUND) << c.mask << ": FindNext after the last entry";
        EXPECT_STREQ(rec.szPattern, c.pattern) << c.mask;
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL) << "closing twice";
    }
}

TEST_F(XFileFind, FailuresLeaveNoSearchOpen)
{
    // Repeated delimiters count as one on the device, so the "\\\\\\" folders
    // find Setup.LOAD; with 245 of them the folder and the name do not fit
    // in the record's full path, and no cut path may be handed out.
    const std::string tooDeep = "\\Temp" + std::string(245, '\\') + "pkg";
    const std::string deep = "\\Temp" + std::string(200, '\\') + "pkg";
    // Patterns of 260 bytes or more.
    const std::string longFolder = "\\Temp\\" + std::string(250, 'f');
    struct Case {
        const char *folder, *mask;
        DWORD rc;
        bool patternTooLong;
    } cases[] = {
        {"\\Temp\\pkg", "*.exe", XEC_NOT_FOUND, false}, // no match (2)
        {longFolder.c_str(), "*.load", XEC_BAD_NAME, true},
        {tooDeep.c_str(), "Setup.*", XEC_BAD_NAME, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder).substr(0, 20) + " mask " + c.mask);
        XFILE_FIND rec;
        memset(&rec, 0xCC, sizeof rec);
        EXPECT_EQ(XFile_FindFirstFileEx(c.folder, c.mask, 0, &rec), c.rc);
        EXPECT_EQ(rec.phFind, nullptr) << "no search may stay open";
        EXPECT_STREQ(rec.szFullPath, "") << "no cut path";
        if (c.patternTooLong) {
            EXPECT_STREQ(rec.szPattern, "") << "no cut pattern is kept";
        }
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL);
        EXPECT_EQ(XFile_FindNextFile(&rec), (DWORD)XEC_INTERNAL);
    }
    XFILE_FIND rec;
    // With fewer delimiters the full path fits and is found.
    ASSERT_EQ(XFile_FindFirstFileEx(deep.c_str(), "Setup.*", 0, &rec), (DWORD)XEC_OK);
    EXPECT_STREQ(rec.szName, "Setup.LOAD");
    EXPECT_EQ(std::string(rec.szFullPath), deep + "\\Setup.LOAD");
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
}

} // namespace
