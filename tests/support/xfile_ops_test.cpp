// xfile_ops_test.cpp - system errors to result codes, deletion, folder
// creation and removal along a path, renaming, free space, and searches.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

class XFileOps : public cetest::DeviceFixture {};

// Every system error the translation names, with its code.
const struct MapRow {
    LONG error;
    DWORD code;
} kMapped[] = {
    {0, 0},     {38, 1},    {2, 3},     {3, 4},     {15, 4},    {20, 4},    {55, 4},
    {67, 4},    {123, 4},   {161, 4},   {206, 4},   {1203, 4},  {1214, 4},  {32, 5},
    {108, 5},   {4, 6},     {5, 7},     {19, 7},    {65, 7},    {1224, 7},  {50, 8},
    {53, 8},    {54, 8},    {58, 8},    {64, 8},    {70, 8},    {88, 8},    {1201, 8},
    {1204, 8},  {1206, 8},  {1222, 8},  {6118, 8},  {39, 9},    {112, 9},   {21, 10},
    {23, 10},   {25, 10},   {27, 10},   {30, 10},   {132, 10},  {267, 10},  {1006, 10},
    {1117, 10}, {1126, 10}, {1127, 10}, {1128, 10}, {1392, 10}, {1393, 10}, {8, 16},
    {14, 16},   {84, 16},   {1130, 16},
};

TEST(XecMap, ListedErrorsHaveTheirCodesEverythingElseIs18) {
    for (const MapRow &row : kMapped)
        EXPECT_EQ(Xec_MapErrorCodeEx(row.error), row.code) << "system error " << row.error;
    // Walk a range and make sure only the listed numbers leave 18.
    for (LONG e = -1; e < 7000; ++e) {
        bool listed = std::any_of(std::begin(kMapped), std::end(kMapped), [e](auto &r) { return r.error == e; });
        ASSERT_TRUE(listed || Xec_MapErrorCodeEx(e) == 18u) << "error " << e << " gives " << Xec_MapErrorCodeEx(e);
    }
    // Xec_MapErrorCode reads the last error.
    SetLastError(112);
    EXPECT_EQ(Xec_MapErrorCode(), 9u) << "ERROR_DISK_FULL is disk overflow";
}

TEST_F(XFileOps, DeleteFileTranslatesErrors)
{
    ASSERT_TRUE(PutFile("\\Temp\\gone.txt", "x"));
    ASSERT_TRUE(PutFile("\\Temp\\open.txt", "x"));
    HANDLE hOpen = CreateFileW(u"\\Temp\\open.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(hOpen, INVALID_HANDLE_VALUE);
    EXPECT_EQ(XFile_DeleteFile("\\Temp\\gone.txt"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeleteFile("\\Temp\\gone.txt"), (DWORD)XEC_NOT_FOUND) << "now missing (2)";
    EXPECT_EQ(XFile_DeleteFile("\\Temp"), (DWORD)XEC_WRITE_PROTECT) << "a folder (5)";
    EXPECT_EQ(XFile_DeleteFile("\\Temp\\open.txt"), (DWORD)XEC_IN_USE) << "open (32)";
    EXPECT_TRUE(FileThere("\\Temp\\open.txt"));
    CloseHandle(hOpen);
}

TEST_F(XFileOps, CreatePath)
{
    EXPECT_EQ(XFile_CreatePath("\\s/t\\\\u/"), (DWORD)XEC_OK) << "slashes and repeated delimiters";
    EXPECT_TRUE(FolderThere("\\s\\t\\u"));
    EXPECT_EQ(XFile_CreatePath("\\s\\t\\u"), (DWORD)XEC_OK) << "again: nothing to do";
    EXPECT_EQ(XFile_CreatePath("x\\y"), (DWORD)XEC_BAD_NAME) << "the part before the first delimiter is taken as existing";

    ASSERT_TRUE(PutFile("\\Temp\\plain", "not a folder"));
    EXPECT_NE(XFile_CreatePath("\\Temp\\plain"), (DWORD)XEC_OK) << "the last name is a file";
    EXPECT_NE(XFile_CreatePath("\\Temp\\plain\\sub"), (DWORD)XEC_OK) << "a file on the way";
    EXPECT_EQ(GetFile("\\Temp\\plain").value_or("<none>"), "not a folder");

    std::string deep = "\\Temp\\" + std::string(240, 'd') + "\\more\\and\\more";
    EXPECT_EQ(XFile_CreatePath(deep.c_str()), (DWORD)XEC_BAD_NAME) << "a path of 260 bytes or more";
    EXPECT_FALSE(FolderThere("\\Temp\\" + std::string(240, 'd')))
        << "nothing is made for a path the device cannot hold";

    EXPECT_EQ(XFile_CreateFilePath("\\Program Files\\Editor\\bin\\Editor.exe"), (DWORD)XEC_OK);
    EXPECT_TRUE(FolderThere("\\Program Files\\Editor\\bin"));
    EXPECT_EQ(Attributes("\\Program Files\\Editor\\bin\\Editor.exe"), INVALID_FILE_ATTRIBUTES)
        << "the file name itself is not a folder";
}

TEST_F(XFileOps, DeletePathRemovesEmptyFoldersDeepestFirst)
{
    ASSERT_EQ(XFile_CreatePath("\\a\\b\\c"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath("\\a\\b\\c\\d/"), (DWORD)XEC_OK) << "missing folders are passed over";
    EXPECT_FALSE(FolderThere("\\a"));

    // \a holds a file: \a\b goes, \a and the file stay, the failure is returned.
    ASSERT_EQ(XFile_CreatePath("\\a\\b\\"), (DWORD)XEC_OK);
    ASSERT_TRUE(PutFile("\\a\\keep.txt", "keep"));
    EXPECT_NE(XFile_DeletePath("\\a\\b\\"), (DWORD)XEC_OK);
    EXPECT_FALSE(FolderThere("\\a\\b"));
    EXPECT_EQ(GetFile("\\a\\keep.txt").value_or("<none>"), "keep");

    ASSERT_EQ(XFile_CreatePath("\\top\\sub"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath("top\\sub"), (DWORD)XEC_OK);
    EXPECT_TRUE(FolderThere("\\top")) << "the first part is never removed";
    EXPECT_TRUE(FolderThere("\\Windows")) << "standard folders are untouched";

    // The walk's copy holds 259 bytes; a longer path is no device path, and
    // a path with no delimiter names nothing to remove.
    const std::string d120(120, 'd'), folder = "\\" + d120 + "\\" + std::string(135, 'e');
    ASSERT_EQ(XFile_CreatePath(folder.c_str()), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath((folder + "\\xy").c_str()), (DWORD)XEC_BAD_NAME) << "a path of 260 bytes";
    EXPECT_TRUE(FolderThere(folder)) << "nothing removed for a path too long";
    EXPECT_EQ(XFile_DeletePath((folder + "\\x").c_str()), (DWORD)XEC_OK) << "a path of 259 bytes";
    EXPECT_FALSE(FolderThere("\\" + d120));
    ASSERT_EQ(XFile_CreatePath(("\\" + d120).c_str()), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath(d120.c_str()), (DWORD)XEC_OK);
    EXPECT_TRUE(FolderThere("\\" + d120)) << "no delimiter: nothing removed";
}

TEST_F(XFileOps, RenameNeverLosesAFile)
{
    ASSERT_TRUE(PutFile("\\Temp\\src.txt", "new"));
    ASSERT_TRUE(PutFile("\\Temp\\dst.txt", "old"));
    EXPECT_EQ(XFile_RenameFile("\\Temp\\src.txt", "\\Temp\\dst.txt", FALSE), (DWORD)XEC_EXISTS);
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "old");
    EXPECT_EQ(XFile_RenameFile("\\Temp\\src.txt", "\\Temp\\dst.txt", TRUE), (DWORD)XEC_OK);
    EXPECT_FALSE(FileThere("\\Temp\\src.txt"));
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "new");

    for (const char *other : {"\\Temp\\dst.txt", "\\TEMP\\Dst.TXT"}) {
        EXPECT_NE(XFile_RenameFile("\\Temp\\dst.txt", other, TRUE), (DWORD)XEC_OK) << other;
        EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "new") << "renamed onto " << other;
    }
    // Names of 260 bytes or more are refused, not cut to 259.
    std::string prefix = "\\Temp\\" + std::string(253, 'k');
    ASSERT_TRUE(PutFile(prefix, "keep"));
    std::string longName = prefix + "zz";
    EXPECT_NE(XFile_DeleteFile(longName.c_str()), (DWORD)XEC_OK);
    EXPECT_NE(XFile_RenameFile(longName.c_str(), prefix.c_str(), TRUE), (DWORD)XEC_OK);
    EXPECT_EQ(GetFile(prefix).value_or("<none>"), "keep") << "the file of the first 259 bytes";
}

TEST_F(XFileOps, FreeSpaceMatchesTheDeviceAndSaturates)
{
    const uint64_t capacity = plat::DeviceGetSettings().storageKb * 1024;
    DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\Program Files\\App", &spc, &bps, &freeClusters, &total), (DWORD)XEC_OK);
    EXPECT_EQ(spc * bps, 1u) << "clusters of one byte";
    EXPECT_EQ(total, (DWORD)capacity) << "total clusters are the capacity in bytes";
    EXPECT_EQ((uint64_t)freeClusters, FreeBytes("\\"));
    DWORD after = 0;
    ASSERT_TRUE(PutFile("\\Temp\\ten.bin", Pattern(10000)));
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Temp\\", &after), (DWORD)XEC_OK);
    EXPECT_EQ(freeClusters - after, 10000u) << "a 10000-byte file takes 10000 bytes";
    DWORD untouched = 4321;
    EXPECT_EQ(XFile_GetDiskFreeSpace("Nowhere", &untouched), (DWORD)XEC_BAD_NAME) << "missing folder (3)";
    EXPECT_EQ(untouched, 4321u);

    // A store of 4 GB and more: the 32-bit figures stay at their largest
    // instead of wrapping to what is left above 4 GB.
    plat::DeviceOverrides o;
    o.storageKb = "5000000";
    Reopen(o);
    DWORD freeBytes = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\", NULL, NULL, &freeClusters, &total), (DWORD)XEC_OK);
    EXPECT_EQ(total, 0xFFFFFFFFu);
    EXPECT_EQ(freeClusters, 0xFFFFFFFFu);
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Temp", &freeBytes), (DWORD)XEC_OK);
    EXPECT_EQ(freeBytes, 0xFFFFFFFFu);
}

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

// Searches find what matches, case aside, in folded name order; failures
// leave no search open and hand out no cut path or pattern.
TEST_F(XFileOps, Searches)
{
    ASSERT_TRUE(MakeFolder("\\Temp\\pkg"));
    ASSERT_TRUE(PutFile("\\Temp\\pkg\\Setup.LOAD", "12345"));
    ASSERT_TRUE(PutFile("\\Temp\\pkg\\c.load", ""));
    ASSERT_TRUE(MakeFolder("\\Temp\\pkg\\sub"));
    // Repeated delimiters count as one on the device, so the "\\\\\\" folders
    // find Setup.LOAD; with 245 of them the folder and the name do not fit
    // in the record's full path, and no cut path may be handed out.
    const std::string deep = "\\Temp" + std::string(200, '\\') + "pkg";
    const std::string tooDeep = "\\Temp" + std::string(245, '\\') + "pkg";
    const std::string longFolder = "\\Temp\\" + std::string(250, 'f'); // a pattern of 260 bytes or more
    const std::string setup = "Setup.LOAD|\\Temp\\pkg\\Setup.LOAD|5";
    struct Case {
        const char *folder, *mask;
        std::string pattern, entries;
    } cases[] = {
        {"\\Temp\\pkg", "*.load", "\\Temp\\pkg\\*.load", "c.load|\\Temp\\pkg\\c.load|0," + setup},
        {"\\Temp\\pkg", "*", "\\Temp\\pkg\\*", "c.load|\\Temp\\pkg\\c.load|0," + setup + ",sub|\\Temp\\pkg\\sub|0|d"},
        {NULL, "\\Temp\\pkg\\setup.*", "\\Temp\\pkg\\setup.*", setup},
        {deep.c_str(), "Setup.*", deep + "\\Setup.*", "Setup.LOAD|" + deep + "\\Setup.LOAD|5"},
    };
    for (const Case &c : cases) {
        XFILE_FIND rec;
        DWORD rcEnd = 0;
        EXPECT_EQ(Search(c.folder, c.mask, rcEnd, rec), c.entries) << c.mask;
        EXPECT_EQ(rcEnd, (DWORD)XEC_NOT_FOUND) << c.mask << ": FindNext after the last entry";
        EXPECT_EQ(rec.szPattern, c.pattern) << c.mask;
        EXPECT_EQ(XFile_FindClose(&rec), (DWORD)XEC_INTERNAL) << "closing twice";
    }
    struct Failure {
        const char *folder, *mask;
        DWORD rc;
        bool patternTooLong;
    } failures[] = {
        {"\\Temp\\pkg", "*.exe", XEC_NOT_FOUND, false}, // no match (2)
        {longFolder.c_str(), "*.load", XEC_BAD_NAME, true},
        {tooDeep.c_str(), "Setup.*", XEC_BAD_NAME, false},
    };
    for (const Failure &c : failures) {
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
}

} // namespace
