// file_ops_test.cpp - folders, deleting, moving and copying by name.
#include "file_testutil.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::U8;

namespace {

class FileOps : public cetest::DeviceFixture {};

enum Op { MakeDir, RemoveDir, Delete, Move, Copy, CopyNew };

// Runs one by-name call; the cases below run in order on one device.
BOOL Call(Op op, const char16_t *a, const char16_t *b)
{
    switch (op) {
    case MakeDir: return CreateDirectoryW(a, nullptr);
    case RemoveDir: return RemoveDirectoryW(a);
    case Delete: return DeleteFileW(a);
    case Move: return MoveFileW(a, b);
    case Copy: return CopyFileW(a, b, FALSE);
    case CopyNew: return CopyFileW(a, b, TRUE);
    }
    return FALSE;
}

TEST_F(FileOps, ByNameCallsFollowWin32)
{
    ASSERT_TRUE(Put(u"\\Temp\\file.txt", "x"));
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "A"));
    ASSERT_TRUE(Put(u"\\Temp\\b.txt", "B"));
    ASSERT_TRUE(Put(u"\\Temp\\dst.txt", "old destination, longer"));
    const struct {
        Op op;
        const char16_t *a, *b;
        DWORD error; // 0: the call succeeds
    } cases[] = {
        {MakeDir, u"\\Temp\\new", nullptr, 0},
        {MakeDir, u"\\Temp\\Missing\\Sub", nullptr, ERROR_PATH_NOT_FOUND},
        {MakeDir, u"\\Temp\\Full", nullptr, 0},
        {Copy, u"\\Temp\\file.txt", u"\\Temp\\Full\\f.txt", 0},
        {RemoveDir, u"\\Temp\\Full", nullptr, ERROR_DIR_NOT_EMPTY},
        {RemoveDir, u"\\TEMP\\New\\", nullptr, 0},
        {Delete, u"\\TEMP\\FILE.TXT", nullptr, 0},
        {Delete, u"\\Temp\\file.txt", nullptr, ERROR_FILE_NOT_FOUND},
        {Move, u"\\Temp\\a.txt", u"\\Temp\\B.TXT", ERROR_ALREADY_EXISTS},
        {Move, u"\\Temp\\a.txt", u"\\Storage Card\\a3.txt", 0},
        {Move, u"\\Storage Card\\a3.txt", u"\\Temp\\A.TXT", 0},
        {Move, u"\\Temp\\Full", u"\\My Documents\\Full2", 0},
        // Into its own subfolder: Windows CE documents no error; 87 as desktop Win32 gives.
        {Move, u"\\My Documents\\Full2", u"\\My Documents\\Full2\\Inner", ERROR_INVALID_PARAMETER},
        {Move, u"\\My Documents\\Full2", u"\\my documents\\FULL2\\Inner\\Deeper", ERROR_PATH_NOT_FOUND},
        {CopyNew, u"\\Temp\\b.txt", u"\\Temp\\dst.txt", ERROR_FILE_EXISTS},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("call " + std::to_string(c.op) + " " + U8(c.a) + (c.b ? " -> " + U8(c.b) : ""));
        SetLastError(0);
        EXPECT_EQ(Call(c.op, c.a, c.b), c.error ? FALSE : TRUE);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", "..", "A.TXT", "b.txt", "dst.txt"}));
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/A.TXT")), "A");
    EXPECT_EQ(Get(u"\\My Documents\\Full2\\f.txt"), "x") << "a folder moves with what it holds";
    EXPECT_EQ(Get(u"\\Temp\\dst.txt"), "old destination, longer") << "kept when it may not be replaced";
    EXPECT_TRUE(CopyFileW(u"\\Temp\\b.txt", u"\\Temp\\dst.txt", FALSE));
    EXPECT_EQ(Get(u"\\Temp\\dst.txt"), "B");
}

} // namespace
