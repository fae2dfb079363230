// file_ops_test.cpp - folders, deleting, moving and copying by name, and
// file searches (order, attributes, patterns, errors).
#include <vector>

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
        {MakeDir, u"\\Temp\\NEW", nullptr, ERROR_ALREADY_EXISTS},
        {MakeDir, u"\\Temp\\Missing\\Sub", nullptr, ERROR_PATH_NOT_FOUND},
        {MakeDir, u"\\Temp\\Full", nullptr, 0},
        {Copy, u"\\Temp\\file.txt", u"\\Temp\\Full\\f.txt", 0},
        {RemoveDir, u"\\Temp\\Full", nullptr, ERROR_DIR_NOT_EMPTY},
        {RemoveDir, u"\\Storage Card\\", nullptr, ERROR_ACCESS_DENIED},
        {RemoveDir, u"\\TEMP\\New\\", nullptr, 0},
        {Delete, u"\\TEMP\\FILE.TXT", nullptr, 0},
        {Delete, u"\\Temp\\file.txt", nullptr, ERROR_FILE_NOT_FOUND},
        {Move, u"\\Temp\\a.txt", u"\\Temp\\B.TXT", ERROR_ALREADY_EXISTS},
        {Move, u"\\Temp\\a.txt", u"\\Storage Card\\a3.txt", 0},
        {Move, u"\\Storage Card\\a3.txt", u"\\Temp\\A.TXT", 0},
        {Move, u"\\Temp\\Full", u"\\My Documents\\Full2", 0},
        {Move, u"\\My Documents\\Full2", u"\\My Documents\\Full2\\Inner", ERROR_ACCESS_DENIED},
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

std::vector<std::u16string> FindAll(const std::u16string &pattern, std::vector<DWORD> *attrs = nullptr)
{
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(fd.cFileName);
        if (attrs)
            attrs->push_back(fd.dwFileAttributes);
    } while (FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
}

TEST_F(FileOps, SearchesComeInFoldedNameOrderWithAttributes)
{
    // Created out of order, with mixed case.
    for (const char16_t *f : {u"b.txt", u"_x", u"A.txt", u"a.bin", u"Zeta.TXT", u"\u00c4rger.txt"})
        ASSERT_TRUE(Put(std::u16string(u"\\Temp\\") + f, "12345"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\C", nullptr));
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\b.txt", FILE_ATTRIBUTE_READONLY));

    std::vector<DWORD> attrs;
    // Folded: "_x" (0x5f) before the letters; "a.bin" < "a.txt"; U+00E4 after 'z'.
    EXPECT_EQ(FindAll(u"\\Temp\\*", &attrs),
              (std::vector<std::u16string>{u"_x", u"a.bin", u"A.txt", u"b.txt", u"C", u"Zeta.TXT", u"\u00c4rger.txt"}));
    EXPECT_EQ(attrs, (std::vector<DWORD>{0x20, 0x20, 0x20, 0x21, 0x10, 0x20, 0x20}));

    EXPECT_EQ(FindAll(u"\\Temp\\?.txt"), (std::vector<std::u16string>{u"A.txt", u"b.txt"}));
    EXPECT_EQ(FindAll(u"\\Temp\\_X.*"), std::vector<std::u16string>{u"_x"}) << "\".*\" matches no extension";

    WIN32_FIND_DATAW fd;
    EXPECT_FAILS(FindFirstFileW(u"\\Temp\\*.none", &fd), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(FindFirstFileW(u"\\Missing\\*", &fd), INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(FindFirstFileW(u"\\Te*p\\x.txt", &fd), INVALID_HANDLE_VALUE, ERROR_INVALID_NAME);
    EXPECT_EQ(FindAll(u"\\*"),
              (std::vector<std::u16string>{u"My Documents", u"Program Files", u"Storage Card", u"Temp", u"Windows"}))
        << "a new device's root, with the card among its folders";
}

} // namespace
