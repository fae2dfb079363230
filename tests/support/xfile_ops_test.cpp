// xfile_ops_test.cpp - existence and length, deletion, folder creation
// and removal along a path, renaming, time stamps and free space.
#include <windows.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "support/xec.h"
#include "support/xfile.h"
#include "xfile_testutil.h"

using namespace xftest;

namespace {

class XFileOps : public cetest::DeviceFixture {};

TEST_F(XFileOps, ExistenceAndLength)
{
    ASSERT_TRUE(PutFile("\\Temp\\five.txt", "12345"));
    EXPECT_EQ(XFile_FileExists("\\Temp\\five.txt"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_FileExists("\\Temp\\none.txt"), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(XFile_FileExists("\\Temp"), (DWORD)XEC_NOT_FOUND) << "a folder is not a file";
    EXPECT_EQ(XFile_FileExists(NULL), (DWORD)XEC_INTERNAL);

    EXPECT_EQ(XFile_DirExists("\\Temp"), (DWORD)XEC_SYSTEM) << "folders cannot be tested";

    XFILE_INFO info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(XFile_GetFileInfo("\\Temp\\five.txt", &info), (DWORD)XEC_OK);
    EXPECT_EQ(info.dwLength, 5u);
    for (size_t i = 0; i < sizeof info.abReserved; ++i)
        EXPECT_EQ(info.abReserved[i], 0) << "reserved byte " << i;
    EXPECT_EQ(XFile_GetFileInfo("\\Temp\\none.txt", &info), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(XFile_GetFileInfo("\\Temp\\five.txt", NULL), (DWORD)XEC_INTERNAL);

    DWORD len = 99;
    EXPECT_EQ(XFile_FileLengthByName("\\Temp\\five.txt", &len), (DWORD)XEC_OK);
    EXPECT_EQ(len, 5u);
    len = 99;
    EXPECT_EQ(XFile_FileLengthByName("\\Temp\\none.txt", &len), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(len, 99u);

    // None of these left the file open: it can be deleted.
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\five.txt"));
}

TEST_F(XFileOps, DeleteFileTranslatesErrors)
{
    ASSERT_TRUE(PutFile("\\Temp\\gone.txt", "x"));
    ASSERT_TRUE(PutFile("\\Temp\\open.txt", "x"));
    ASSERT_TRUE(MakeFolder("\\Temp\\folder"));
    HANDLE hOpen = CreateFileW(u"\\Temp\\open.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(hOpen, INVALID_HANDLE_VALUE);
    struct Case {
        const char *path;
        DWORD rc;
    } cases[] = {
        {"\\Temp\\gone.txt", XEC_OK},
        {"\\Temp\\gone.txt", XEC_NOT_FOUND},        // now missing (2)
        {"\\Temp\\folder", XEC_WRITE_PROTECT},      // a folder (5)
        {"\\Temp\\open.txt", XEC_IN_USE},           // open (32)
        {NULL, XEC_INTERNAL},
    };
    for (const Case &c : cases)
        EXPECT_EQ(XFile_DeleteFile(c.path), c.rc) << (c.path ? c.path : "(null)");
    EXPECT_TRUE(FileThere("\\Temp\\open.txt"));
    EXPECT_TRUE(FolderThere("\\Temp\\folder"));
    CloseHandle(hOpen);
}

TEST_F(XFileOps, CreateAndDeleteDirectory)
{
    EXPECT_EQ(XFile_CreateDirectory("\\Temp\\new"), (DWORD)XEC_OK);
    EXPECT_TRUE(FolderThere("\\Temp\\new"));
    EXPECT_EQ(XFile_CreateDirectory("\\Temp\\new"), (DWORD)XEC_SYSTEM) << "existing folder";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS) << "callers tell an existing folder by 183";
    EXPECT_EQ(XFile_CreateDirectory("\\Temp\\no\\new"), (DWORD)XEC_BAD_NAME) << "parent missing";

    ASSERT_TRUE(PutFile("\\Temp\\new\\f.txt", "f"));
    EXPECT_EQ(XFile_DeleteDirectory("\\Temp\\new"), (DWORD)XEC_SYSTEM) << "not empty (145)";
    EXPECT_EQ(XFile_DeleteDirectory("\\Temp\\missing"), (DWORD)XEC_BAD_NAME) << "missing (3)";
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\new\\f.txt"));
    EXPECT_EQ(XFile_DeleteDirectory("\\Temp\\new"), (DWORD)XEC_OK);
    EXPECT_FALSE(FolderThere("\\Temp\\new"));
    EXPECT_EQ(XFile_CreateDirectory(NULL), (DWORD)XEC_INTERNAL);
    EXPECT_EQ(XFile_DeleteDirectory(NULL), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileOps, CreatePathAndFilePath)
{
    struct Case {
        const char *path;
        DWORD rc;
        std::vector<std::string> folders; // there afterwards
        std::vector<std::string> absent;  // not there afterwards
    } cases[] = {
        {"\\a\\b\\", XEC_OK, {"\\a", "\\a\\b"}, {}},
        {"\\a\\b\\", XEC_OK, {"\\a", "\\a\\b"}, {}}, // again: nothing to do
        {"\\a\\b\\c", XEC_OK, {"\\a\\b\\c"}, {}},     // no trailing delimiter
        {"\\s/t/u/", XEC_OK, {"\\s", "\\s\\t", "\\s\\t\\u"}, {}},
        {"\\m\\\\n", XEC_OK, {"\\m", "\\m\\n"}, {}},  // repeated delimiter
        {"nodelimiter", XEC_OK, {}, {"\\nodelimiter"}},
        {"\\", XEC_OK, {}, {}},
        // The part before the first delimiter is taken as existing.
        {"x\\y", XEC_BAD_NAME, {}, {"\\x", "\\x\\y"}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(XFile_CreatePath(c.path), c.rc) << c.path;
        for (const std::string &f : c.folders)
            EXPECT_TRUE(FolderThere(f)) << c.path << ": " << f;
        for (const std::string &f : c.absent)
            EXPECT_EQ(Attributes(f), INVALID_FILE_ATTRIBUTES) << c.path << ": " << f;
    }
    EXPECT_EQ(XFile_CreatePath(NULL), (DWORD)XEC_INTERNAL);

    ASSERT_TRUE(PutFile("\\Temp\\plain", "not a folder"));
    EXPECT_NE(XFile_CreatePath("\\Temp\\plain"), (DWORD)XEC_OK) << "the last name is a file";
    EXPECT_EQ(GetFile("\\Temp\\plain").value_or("<none>"), "not a folder");

    std::string deep = "\\Temp\\" + std::string(240, 'd') + "\\more\\and\\more";
    EXPECT_EQ(XFile_CreatePath(deep.c_str()), (DWORD)XEC_BAD_NAME) << "a path of 260 bytes or more";
    EXPECT_FALSE(FolderThere("\\Temp\\" + std::string(240, 'd')))
        << "nothing is made for a path the device cannot hold";

    EXPECT_EQ(XFile_CreateFilePath("\\Program Files\\Editor\\bin\\Editor.exe"), (DWORD)XEC_OK);
    EXPECT_TRUE(FolderThere("\\Program Files\\Editor\\bin"));
    EXPECT_EQ(Attributes("\\Program Files\\Editor\\bin\\Editor.exe"), INVALID_FILE_ATTRIBUTES)
        << "the file name itself is not a folder";
    std::string tooLong = "\\" + std::string(300, 'x') + "\\f.txt";
    EXPECT_EQ(XFile_CreateFilePath(tooLong.c_str()), (DWORD)XEC_INTERNAL) << "folder part does not fit";
    EXPECT_EQ(XFile_CreateFilePath(NULL), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileOps, DeletePathAndFilePath)
{
    struct Case {
        const char *made, *file; // folders made first, a file put into one of them
        const char *path;
        bool ok;
        const char *gone, *kept; // a folder removed, a folder kept
    } cases[] = {
        {"\\a\\b\\c", NULL, "\\a\\b\\c", true, "\\a", NULL}, // all empty: removed deepest first
        // \a holds another file: \a\b goes, \a stays, the failure is returned.
        {"\\a\\b\\", "\\a\\keep.txt", "\\a\\b\\", false, "\\a\\b", "\\a"},
        // Missing folders are passed over; slashes and repeated delimiters work.
        {"\\p\\q", NULL, "\\p\\q\\r\\s/", true, "\\p", NULL},
        {"\\p\\q", NULL, "\\p//q//", true, "\\p", NULL},
        {"\\u\\v", "\\u\\v\\f", "\\u\\v", false, NULL, "\\u\\v"}, // a file stops the walk at once
        {"\\top\\sub", NULL, "top\\sub", true, "\\top\\sub", "\\top"}, // the first part is never removed
    };
    for (const Case &c : cases) {
        ASSERT_EQ(XFile_CreatePath(c.made), (DWORD)XEC_OK) << c.made;
        if (c.file) {
            ASSERT_TRUE(PutFile(c.file, "keep"));
        }
        EXPECT_EQ(XFile_DeletePath(c.path) == XEC_OK, c.ok) << c.path;
        if (c.gone) {
            EXPECT_FALSE(FolderThere(c.gone)) << c.path;
        }
        if (c.kept) {
            EXPECT_TRUE(FolderThere(c.kept)) << c.path;
        }
        if (c.file) {
            EXPECT_EQ(GetFile(c.file).value_or("<none>"), "keep") << c.path;
        }
    }
    EXPECT_EQ(XFile_DeletePath("nodelimiter"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath("\\"), (DWORD)XEC_OK);
    EXPECT_EQ(XFile_DeletePath(NULL), (DWORD)XEC_INTERNAL);
    EXPECT_TRUE(FolderThere("\\Windows")) << "standard folders are untouched";

    ASSERT_EQ(XFile_CreatePath("\\Program Files\\Tool\\data"), (DWORD)XEC_OK);
    ASSERT_TRUE(PutFile("\\Program Files\\Tool\\data\\x.dat", "x"));
    ASSERT_TRUE(DeleteFileW(u"\\Program Files\\Tool\\data\\x.dat"));
    // \Program Files holds nothing else on a new device, but it is not
    // empty once \Program Files\Other exists.
    ASSERT_TRUE(MakeFolder("\\Program Files\\Other"));
    EXPECT_NE(XFile_DeleteFilePath("\\Program Files\\Tool\\data\\x.dat"), (DWORD)XEC_OK);
    EXPECT_FALSE(FolderThere("\\Program Files\\Tool"));
    EXPECT_TRUE(FolderThere("\\Program Files\\Other"));
    EXPECT_EQ(XFile_DeleteFilePath("file.txt"), (DWORD)XEC_OK) << "no folder part";
    EXPECT_EQ(XFile_DeleteFilePath(NULL), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileOps, RenameFile)
{
    ASSERT_TRUE(PutFile("\\Temp\\src.txt", "source"));
    EXPECT_EQ(XFile_RenameFile("\\Temp\\src.txt", "\\Temp\\dst.txt", FALSE), (DWORD)XEC_OK);
    EXPECT_FALSE(FileThere("\\Temp\\src.txt"));
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "source");

    // Existing destination without overwrite: 14, both untouched.
    ASSERT_TRUE(PutFile("\\Temp\\src.txt", "new"));
    EXPECT_EQ(XFile_RenameFile("\\Temp\\src.txt", "\\Temp\\dst.txt", FALSE), (DWORD)XEC_EXISTS);
    EXPECT_EQ(GetFile("\\Temp\\src.txt").value_or("<none>"), "new");
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "source");

    // With overwrite the destination is replaced.
    EXPECT_EQ(XFile_RenameFile("\\Temp\\src.txt", "\\Temp\\dst.txt", TRUE), (DWORD)XEC_OK);
    EXPECT_FALSE(FileThere("\\Temp\\src.txt"));
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "new");

    // A missing source: 3, and an existing destination survives.
    EXPECT_EQ(XFile_RenameFile("\\Temp\\none.txt", "\\Temp\\dst.txt", TRUE), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(GetFile("\\Temp\\dst.txt").value_or("<none>"), "new");

    // From the store to the card and back.
    EXPECT_EQ(XFile_RenameFile("\\Temp\\dst.txt", "\\Storage Card\\moved.txt", FALSE), (DWORD)XEC_OK);
    EXPECT_EQ(cetest::ReadHostFile(CardHost("moved.txt")), "new");
    EXPECT_FALSE(FileThere("\\Temp\\dst.txt"));

    // Into a missing folder: the move's error, and nothing left behind.
    EXPECT_NE(XFile_RenameFile("\\Storage Card\\moved.txt", "\\Nowhere\\x.txt", FALSE), (DWORD)XEC_OK);
    EXPECT_TRUE(FileThere("\\Storage Card\\moved.txt"));

    EXPECT_EQ(XFile_RenameFile("\\Temp\\x", NULL, FALSE), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileOps, RenameNeverLosesAFile)
{
    ASSERT_TRUE(PutFile("\\Temp\\self.txt", "precious"));
    for (const char *other : {"\\Temp\\self.txt", "\\TEMP\\Self.TXT"}) {
        EXPECT_EQ(XFile_RenameFile("\\Temp\\self.txt", other, FALSE), (DWORD)XEC_EXISTS) << other;
        EXPECT_NE(XFile_RenameFile("\\Temp\\self.txt", other, TRUE), (DWORD)XEC_OK) << other;
        EXPECT_EQ(GetFile("\\Temp\\self.txt").value_or("<none>"), "precious") << "renamed onto " << other;
    }
    // An open destination is refused.
    ASSERT_TRUE(PutFile("\\Temp\\a.txt", "a"));
    ASSERT_TRUE(PutFile("\\Temp\\b.txt", "b"));
    HANDLE h = CreateFileW(u"\\Temp\\b.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(XFile_RenameFile("\\Temp\\a.txt", "\\Temp\\b.txt", TRUE), (DWORD)XEC_IN_USE);
    CloseHandle(h);
    EXPECT_EQ(GetFile("\\Temp\\a.txt").value_or("<none>"), "a");
    EXPECT_EQ(GetFile("\\Temp\\b.txt").value_or("<none>"), "b");
    // Names of 260 bytes or more are refused, not cut to 259.
    std::string prefix = "\\Temp\\" + std::string(253, 'k');
    ASSERT_TRUE(PutFile(prefix, "keep"));
    std::string longName = prefix + "zz";
    EXPECT_NE(XFile_DeleteFile(longName.c_str()), (DWORD)XEC_OK);
    EXPECT_NE(XFile_RenameFile(longName.c_str(), prefix.c_str(), TRUE), (DWORD)XEC_OK);
    EXPECT_EQ(GetFile(prefix).value_or("<none>"), "keep") << "the file of the first 259 bytes";
}

TEST_F(XFileOps, CopyFileStamp)
{
    ASSERT_TRUE(PutFile("\\Temp\\old.txt", "old"));
    ASSERT_TRUE(PutFile("\\Temp\\new.txt", "new"));
    // Give the source three distinct times, long ago.
    FILETIME c{0x256d4000u, 0x01bf53ebu}, a = c, w = c; // 2000-01-01
    a.dwHighDateTime += 9;
    w.dwHighDateTime += 5;
    HANDLE h = CreateFileW(u"\\Temp\\old.txt", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, &c, &a, &w));
    CloseHandle(h);

    EXPECT_EQ(XFile_CopyFileStamp("\\Temp\\old.txt", "\\Temp\\new.txt"), (DWORD)XEC_OK);
    h = CreateFileW(u"\\Temp\\new.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME c2{}, a2{}, w2{};
    ASSERT_TRUE(GetFileTime(h, &c2, &a2, &w2));
    CloseHandle(h);
    auto v = [](const FILETIME &f) { return ((ULONGLONG)f.dwHighDateTime << 32) | f.dwLowDateTime; };
    EXPECT_EQ(v(c2), v(c)) << "creation time";
    EXPECT_EQ(v(a2), v(a)) << "access time";
    EXPECT_EQ(v(w2), v(w)) << "write time";
    EXPECT_EQ(GetFile("\\Temp\\new.txt").value_or("<none>"), "new") << "content untouched";

    EXPECT_EQ(XFile_CopyFileStamp("\\Temp\\none.txt", "\\Temp\\new.txt"), (DWORD)XEC_NOT_FOUND);
    EXPECT_EQ(XFile_CopyFileStamp("\\Temp\\old.txt", "\\Temp\\none.txt"), (DWORD)XEC_NOT_FOUND);
    EXPECT_FALSE(FileThere("\\Temp\\none.txt")) << "the destination is never created";
    // Both handles were closed: the files can be deleted.
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\old.txt"));
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\new.txt"));
    EXPECT_EQ(XFile_CopyFileStamp(NULL, "\\Temp\\x"), (DWORD)XEC_INTERNAL);
}

TEST_F(XFileOps, FreeSpaceMatchesTheDevice)
{
    const uint64_t capacity = plat::DeviceGetSettings().storageKb * 1024;
    DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\Program Files\\App", &spc, &bps, &freeClusters, &total), (DWORD)XEC_OK);
    EXPECT_EQ(spc, 1u);
    EXPECT_EQ(bps, 1u);
    EXPECT_EQ(total, (DWORD)capacity) << "total clusters are the capacity in bytes";
    EXPECT_EQ((uint64_t)freeClusters, FreeBytes("\\"));
    EXPECT_LE((uint64_t)freeClusters, capacity);

    DWORD before = 0, after = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Temp", &before), (DWORD)XEC_OK);
    EXPECT_EQ(before, freeClusters);
    ASSERT_TRUE(PutFile("\\Temp\\ten.bin", Pattern(10000)));
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Temp\\", &after), (DWORD)XEC_OK);
    EXPECT_EQ(before - after, 10000u) << "a 10000-byte file takes 10000 bytes";

    // Every path of this system starts at the root, so even a card path
    // reports the store; a path without a delimiter is used whole.
    DWORD card = 0, plain = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Storage Card\\Pkg", &card), (DWORD)XEC_OK);
    EXPECT_EQ(card, after);
    EXPECT_EQ(XFile_GetDiskFreeSpace("Temp", &plain), (DWORD)XEC_OK);
    EXPECT_EQ(plain, after);
    EXPECT_EQ(XFile_GetDiskFreeSpace("/Temp", &plain), (DWORD)XEC_OK) << "slash as delimiter";

    DWORD untouched = 4321;
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\\\x", &untouched, NULL, NULL, NULL), (DWORD)XEC_SYSTEM);
    EXPECT_EQ(untouched, 4321u);
    EXPECT_EQ(XFile_GetDiskFreeSpace("Nowhere", &untouched), (DWORD)XEC_BAD_NAME) << "missing folder (3)";
    EXPECT_EQ(XFile_GetDiskFreeSpace(NULL, &untouched), (DWORD)XEC_INTERNAL);

    plat::DeviceOverrides o;
    o.storageKb = "300";
    Reopen(o);
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\", NULL, NULL, NULL, &total), (DWORD)XEC_OK);
    EXPECT_EQ(total, 300u * 1024) << "another capacity";

    // A store of 4 GB and more: the 32-bit figures stay at their largest
    // instead of wrapping to what is left above 4 GB.
    o.storageKb = "5000000";
    Reopen(o);
    DWORD freeBytes = 0;
    EXPECT_EQ(XFile_GetDiskFreeSpaceEx("\\", NULL, NULL, &freeClusters, &total), (DWORD)XEC_OK);
    EXPECT_EQ(total, 0xFFFFFFFFu);
    EXPECT_EQ(freeClusters, 0xFFFFFFFFu);
    EXPECT_EQ(XFile_GetDiskFreeSpace("\\Temp", &freeBytes), (DWORD)XEC_OK);
    EXPECT_EQ(freeBytes, 0xFFFFFFFFu);
}

} // namespace
