// xfile_find_test.cpp - file searches: patterns, full paths, the order and
// attributes of entries, the end of a search and closing.
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

class XFileFind : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        cetest::DeviceFixture::SetUp();
        ASSERT_TRUE(MakeFolder("\\Temp\\pkg"));
        ASSERT_TRUE(PutFile("\\Temp\\pkg\\Setup.LOAD", "12345"));
        ASSERT_TRUE(PutFile("\\Temp\\pkg\\b.txt", "bb"));
        ASSERT_TRUE(PutFile("\\Temp\\pkg\\c.load", ""));
        ASSERT_TRUE(MakeFolder("\\Temp\\pkg\\sub"));
    }
};

struct Entry {
    std::string name, fullPath;
    DWORD attributes, size;
};

// Runs a whole search; the result of the call that ended it is returned in
// rcEnd (the first call's result when nothing was found).
std::vector<Entry> Search(const char *folder, const char *mask, DWORD &rcEnd, XFILE_FIND &rec)
{
    std::vector<Entry> out;
    rcEnd = XFile_FindFirstFileEx(folder, mask, FILE_ATTRIBUTE_NORMAL, &rec);
    for (int guard = 0; rcEnd == XEC_OK && guard < 100; ++guard) {
        out.push_back({rec.szName, rec.szFullPath, rec.dwAttributes, rec.dwSize});
        rcEnd = XFile_FindNextFile(&rec);
    }
    return out;
}

std::string Names(const std::vector<Entry> &v)
{
    std::string s;
    for (const Entry &e : v)
        s += (s.empty() ? "" : ",") + e.name;
    return s;
}

TEST_F(XFileFind, MaskMatchesIgnoringCase)
{
    XFILE_FIND rec;
    DWORD rcEnd = 0;
    std::vector<Entry> got = Search("\\Temp\\pkg", "*.load", rcEnd, rec);
    EXPECT_EQ(Names(got), "c.load,Setup.LOAD") << "Setup.LOAD is found by *.load, in folded name order";
    EXPECT_EQ(rcEnd, (DWORD)XEC_NOT_FOUND) << "FindNext after the last entry";
    EXPECT_STREQ(rec.szPattern, "\\Temp\\pkg\\*.load");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].fullPath, "\\Temp\\pkg\\Setup.LOAD");
    EXPECT_EQ(got[1].size, 5u);
    EXPECT_EQ(got[1].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(got[0].fullPath, "\\Temp\\pkg\\c.load");
    EXPECT_EQ(got[0].size, 0u);
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
    EXPECT_EQ(rec.phFind, nullptr) << "the record is marked closed";
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL) << "closing twice";
    EXPECT_EQ(XFile_FindNextFile(&rec), (DWORD)XEC_INTERNAL) << "next on a closed record";
}

TEST_F(XFileFind, PatternsAndFolders)
{
    struct Case {
        const char *folder;
        const char *mask;
        const char *pattern;
        const char *names;
        const char *firstFullPath;
    } cases[] = {
        {"\\Temp\\pkg", "*", "\\Temp\\pkg\\*", "b.txt,c.load,Setup.LOAD,sub", "\\Temp\\pkg\\b.txt"},
        {"\\Temp\\pkg\\", "*.TXT", "\\Temp\\pkg\\*.TXT", "b.txt", "\\Temp\\pkg\\b.txt"},
        {"\\temp\\PKG", "?.*", "\\temp\\PKG\\?.*", "b.txt,c.load", "\\temp\\PKG\\b.txt"},
        {NULL, "\\Temp\\pkg\\setup.*", "\\Temp\\pkg\\setup.*", "Setup.LOAD", "\\Temp\\pkg\\Setup.LOAD"},
        {"", "\\Temp\\pkg\\s*", "\\Temp\\pkg\\s*", "Setup.LOAD,sub", "\\Temp\\pkg\\Setup.LOAD"},
        {"\\Temp", "pkg\\*.load", "\\Temp\\pkg\\*.load", "c.load,Setup.LOAD", "\\Temp\\pkg\\c.load"},
    };
    for (const Case &c : cases) {
        XFILE_FIND rec;
        DWORD rcEnd = 0;
        std::vector<Entry> got = Search(c.folder, c.mask, rcEnd, rec);
        EXPECT_EQ(Names(got), c.names) << c.mask;
        EXPECT_EQ(rcEnd, (DWORD)XEC_NOT_FOUND) << c.mask;
        EXPECT_STREQ(rec.szPattern, c.pattern) << c.mask;
        if (!got.empty()) {
            EXPECT_EQ(got[0].fullPath, c.firstFullPath) << c.mask;
        }
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK) << c.mask;
    }
    // XFile_FindFirstFile is the same without a folder.
    XFILE_FIND rec;
    ASSERT_EQ(XFile_FindFirstFile("\\Temp\\pkg\\*.txt", FILE_ATTRIBUTE_NORMAL, &rec), (DWORD)XEC_OK);
    EXPECT_STREQ(rec.szName, "b.txt");
    EXPECT_STREQ(rec.szFullPath, "\\Temp\\pkg\\b.txt");
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
}

TEST_F(XFileFind, FoldersAreReportedWhateverTheFilter)
{
    XFILE_FIND rec;
    ASSERT_EQ(XFile_FindFirstFileEx("\\Temp\\pkg", "su*", FILE_ATTRIBUTE_NORMAL, &rec), (DWORD)XEC_OK);
    EXPECT_STREQ(rec.szName, "sub");
    EXPECT_NE(rec.dwAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << "folder attribute";
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
    ASSERT_EQ(XFile_FindFirstFileEx("\\Temp\\pkg", "b.txt", 0x10, &rec), (DWORD)XEC_OK);
    EXPECT_STREQ(rec.szName, "b.txt") << "the filter is not applied";
    EXPECT_EQ(rec.dwAttributes, (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
}

TEST_F(XFileFind, FailuresLeaveNoSearchOpen)
{
    struct Case {
        const char *folder;
        const char *mask;
        DWORD rc;
    } cases[] = {
        {"\\Temp\\pkg", "*.exe", XEC_NOT_FOUND},     // no match (2)
        {"\\Temp\\none", "*", XEC_NOT_FOUND},        // folder missing (3)
        {"\\Temp\\bad|dir", "*", XEC_BAD_NAME},      // refused name (123)
        {"\\\\server\\share", "*", XEC_NETWORK},     // network name (53)
        {"\\Temp\\pkg", NULL, XEC_INTERNAL},
    };
    for (const Case &c : cases) {
        XFILE_FIND rec;
        memset(&rec, 0xCC, sizeof rec);
        EXPECT_EQ(XFile_FindFirstFileEx(c.folder, c.mask, FILE_ATTRIBUTE_NORMAL, &rec), c.rc) << c.folder;
        EXPECT_EQ(rec.phFind, nullptr) << c.folder << ": no search may stay open";
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL) << c.folder;
        EXPECT_EQ(XFile_FindNextFile(&rec), (DWORD)XEC_INTERNAL) << c.folder;
    }
    EXPECT_EQ(XFile_FindFirstFileEx("\\Temp", "*", 0, NULL), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_FindClose(NULL), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_FindNextFile(NULL), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileFind, ClearedRecordCannotBeClosed)
{
    XFILE_FIND rec;
    memset(&rec, 0, sizeof rec);
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_FindNextFile(&rec), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileFind, OutOfMemoryGives16)
{
    XFILE_FIND rec;
    plat::FaultArm(plat::FaultKind::Alloc, 1);
    EXPECT_EQ(XFile_FindFirstFileEx("\\Temp\\pkg", "*", FILE_ATTRIBUTE_NORMAL, &rec), (DWORD)XEC_NO_MEMORY);
    plat::FaultArm(plat::FaultKind::Alloc, 0);
    EXPECT_EQ(rec.phFind, nullptr);
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileFind, OverlongPatternIsRefused)
{
    XFILE_FIND rec;
    std::string folder = "\\Temp\\" + std::string(250, 'f');
    EXPECT_EQ(XFile_FindFirstFileEx(folder.c_str(), "*.load", 0, &rec), (DWORD)XEC_BAD_NAME);
    EXPECT_EQ(rec.phFind, nullptr);
    EXPECT_STREQ(rec.szPattern, "") << "no cut pattern is kept";
    std::string mask(300, '*');
    EXPECT_EQ(XFile_FindFirstFileEx("\\Temp", mask.c_str(), 0, &rec), (DWORD)XEC_BAD_NAME);
    EXPECT_EQ(rec.phFind, nullptr);
    std::string longFolder(300, 'g');
    EXPECT_EQ(XFile_FindFirstFileEx(longFolder.c_str(), "*", 0, &rec), (DWORD)XEC_BAD_NAME);
    EXPECT_EQ(rec.phFind, nullptr);
}

TEST_F(XFileFind, SearchSeesTheCard)
{
    cetest::WriteHostFile(CardHost("Dravex.load"), "x");
    cetest::WriteHostFile(CardHost("Dravex/Other.load"), "y");
    XFILE_FIND rec;
    DWORD rcEnd = 0;
    std::vector<Entry> got = Search("\\Storage Card", "*.load", rcEnd, rec);
    EXPECT_EQ(Names(got), "Dravex.load");
    if (!got.empty()) {
        EXPECT_EQ(got[0].fullPath, "\\Storage Card\\Dravex.load");
    }
    XFile_FindClose(&rec);
    got = Search("\\Storage Card\\dravex", "*.LOAD", rcEnd, rec);
    EXPECT_EQ(Names(got), "Other.load");
    XFile_FindClose(&rec);
}

TEST_F(XFileFind, FullPathThatCannotFitIsAnError)
{
    // Repeated delimiters count as one on the device, so this pattern finds
    // Setup.LOAD, but the pattern's folder and the name together do not fit
    // in the record's full path: no cut path may be handed out.
    std::string folder = "\\Temp" + std::string(245, '\\') + "pkg";
    XFILE_FIND rec;
    EXPECT_EQ(XFile_FindFirstFileEx(folder.c_str(), "Setup.*", 0, &rec), (DWORD)XEC_BAD_NAME);
    EXPECT_EQ(rec.phFind, nullptr);
    EXPECT_STREQ(rec.szFullPath, "");
    // With fewer delimiters it fits and is found.
    folder = "\\Temp" + std::string(200, '\\') + "pkg";
    ASSERT_EQ(XFile_FindFirstFileEx(folder.c_str(), "Setup.*", 0, &rec), (DWORD)XEC_OK);
    EXPECT_STREQ(rec.szName, "Setup.LOAD");
    EXPECT_EQ(std::string(rec.szFullPath), folder + "\\Setup.LOAD");
    EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_OK);
}

} // namespace
