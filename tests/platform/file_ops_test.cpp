// file_ops_test.cpp - folders, deleting, moving and copying by name, and
// file searches (order, attributes, patterns, errors).
#include <sys/stat.h>

#include <vector>

#include "file_testutil.h"

using namespace filetest;
using cetest::HostExists;
using cetest::ReadHostFile;
using cetest::U8;
using cetest::WriteHostFile;

namespace {

class FileOps : public cetest::DeviceFixture {};

struct NameCase {
    const char16_t *path;
    bool ok;
    DWORD error;
};

TEST_F(FileOps, CreateDirectoryResults)
{
    ASSERT_TRUE(Put(u"\\Temp\\file.txt", "x"));
    const NameCase cases[] = {
        {u"\\Temp\\New", true, 0},
        {u"\\Temp\\new", false, ERROR_ALREADY_EXISTS},
        {u"\\Temp\\Trailing\\", true, 0},
        {u"\\Temp\\file.txt", false, ERROR_ALREADY_EXISTS},
        {u"\\Temp\\Missing\\Sub", false, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\file.txt\\Sub", false, ERROR_PATH_NOT_FOUND},
        {u"\\", false, ERROR_ALREADY_EXISTS},
        {u"\\Storage Card", false, ERROR_ALREADY_EXISTS},
        {u"\\Storage Card\\Folder", true, 0},
        {u"\\Storage Card\\Storage Card", true, 0},
    };
    for (const NameCase &c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateDirectoryW(c.path, nullptr), c.ok ? TRUE : FALSE) << U8(c.path);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
        }
    }
    EXPECT_TRUE(HostExists(StoreHost("Temp/New")));
    EXPECT_TRUE(HostExists(StoreHost("Temp/Trailing")));
    EXPECT_TRUE(HostExists(CardHost("Folder")));
    EXPECT_TRUE(HostExists(CardHost("Storage Card"))) << "only the first component names a mount";
}

TEST_F(FileOps, RemoveDirectoryResults)
{
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Empty", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Full", nullptr));
    ASSERT_TRUE(Put(u"\\Temp\\Full\\f.txt", "x"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\HasFolder", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\HasFolder\\Sub", nullptr));
    const NameCase cases[] = {
        {u"\\Temp\\Missing", false, ERROR_PATH_NOT_FOUND},
        {u"\\Nowhere\\Missing", false, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\Full", false, ERROR_DIR_NOT_EMPTY},
        {u"\\Temp\\HasFolder", false, ERROR_DIR_NOT_EMPTY},
        {u"\\Temp\\Full\\f.txt", false, ERROR_DIRECTORY},
        {u"\\", false, ERROR_ACCESS_DENIED},
        {u"\\Storage Card\\", false, ERROR_ACCESS_DENIED},
        {u"\\temp\\EMPTY\\", true, 0},
        {u"\\Temp\\Empty", false, ERROR_PATH_NOT_FOUND},
    };
    for (const NameCase &c : cases) {
        SetLastError(0);
        EXPECT_EQ(RemoveDirectoryW(c.path), c.ok ? TRUE : FALSE) << U8(c.path);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
        }
    }
    EXPECT_TRUE(HostExists(StoreHost("Temp/Full/f.txt")));
    EXPECT_TRUE(HostExists(cardDir));
}

TEST_F(FileOps, DeleteFileResults)
{
    ASSERT_TRUE(Put(u"\\Temp\\gone.txt", "x"));
    ASSERT_TRUE(Put(u"\\Temp\\ro.txt", "x"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_READONLY));
    const NameCase cases[] = {
        {u"\\Temp\\missing.txt", false, ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\x.txt", false, ERROR_PATH_NOT_FOUND},
        {u"\\Temp", false, ERROR_ACCESS_DENIED},
        {u"\\Storage Card", false, ERROR_ACCESS_DENIED},
        {u"\\Temp\\ro.txt", false, ERROR_ACCESS_DENIED},
        {u"\\TEMP\\GONE.TXT", true, 0},
        {u"\\Temp\\gone.txt", false, ERROR_FILE_NOT_FOUND},
    };
    for (const NameCase &c : cases) {
        SetLastError(0);
        EXPECT_EQ(DeleteFileW(c.path), c.ok ? TRUE : FALSE) << U8(c.path);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
        }
    }
    EXPECT_FALSE(HostExists(StoreHost("Temp/gone.txt")));
    EXPECT_TRUE(HostExists(StoreHost("Temp/ro.txt")));
}

TEST_F(FileOps, MoveFileResults)
{
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "A"));
    ASSERT_TRUE(Put(u"\\Temp\\b.txt", "B"));
    struct Case {
        const char16_t *from, *to;
        bool ok;
        DWORD error;
    } cases[] = {
        {u"\\Temp\\missing.txt", u"\\Temp\\x.txt", false, ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\a.txt", u"\\Temp\\x.txt", false, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\a.txt", u"\\Temp\\B.TXT", false, ERROR_ALREADY_EXISTS},
        {u"\\Temp\\a.txt", u"\\Missing\\a.txt", false, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\a.txt", u"\\Windows", false, ERROR_ALREADY_EXISTS},
        {u"\\Temp\\a.txt", u"\\", false, ERROR_ALREADY_EXISTS},
        {u"\\", u"\\Temp\\root", false, ERROR_ACCESS_DENIED},
        {u"\\Storage Card", u"\\Temp\\card", false, ERROR_ACCESS_DENIED},
        {u"\\Temp\\a.txt", u"\\My Documents\\a2.txt", true, 0},
        {u"\\My Documents\\a2.txt", u"\\Storage Card\\a3.txt", true, 0},
        {u"\\Storage Card\\a3.txt", u"\\Temp\\a.txt", true, 0},
        {u"\\Temp\\a.txt", u"\\Temp\\A.TXT", true, 0},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(MoveFileW(c.from, c.to), c.ok ? TRUE : FALSE) << U8(c.from) << " -> " << U8(c.to);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error) << U8(c.from) << " -> " << U8(c.to);
        }
    }
    EXPECT_EQ(HostNames(StoreHost("Temp")), (std::set<std::string>{".", "..", "A.TXT", "b.txt"}))
        << "the move to another case renamed the host file";
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/A.TXT")), "A");
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/b.txt")), "B");
    EXPECT_FALSE(HostExists(CardHost("a3.txt")));
    EXPECT_FALSE(HostExists(StoreHost("My Documents/a2.txt")));

    // Folders move within one volume, with what they hold.
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Dir", nullptr));
    ASSERT_TRUE(Put(u"\\Temp\\Dir\\in.txt", "in"));
    EXPECT_TRUE(MoveFileW(u"\\Temp\\Dir", u"\\My Documents\\Dir2")) << GetLastError();
    EXPECT_EQ(Get(u"\\My Documents\\Dir2\\in.txt"), "in");
    SetLastError(0);
    EXPECT_FALSE(MoveFileW(u"\\My Documents\\Dir2", u"\\My Documents\\Dir2\\Inner"));
    EXPECT_NE(GetLastError(), 0u) << "a folder cannot move into itself";
    EXPECT_EQ(Get(u"\\My Documents\\Dir2\\in.txt"), "in");
}

TEST_F(FileOps, CopyFileResults)
{
    ASSERT_TRUE(Put(u"\\Temp\\src.txt", "source"));
    ASSERT_TRUE(Put(u"\\Temp\\dst.txt", "old destination, longer"));
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Temp\\src.txt", u"\\Temp\\dst.txt", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Get(u"\\Temp\\dst.txt"), "old destination, longer") << "kept when it may not be replaced";
    EXPECT_TRUE(CopyFileW(u"\\Temp\\src.txt", u"\\Temp\\dst.txt", FALSE));
    EXPECT_EQ(Get(u"\\Temp\\dst.txt"), "source");
    EXPECT_TRUE(CopyFileW(u"\\Temp\\src.txt", u"\\Storage Card\\c.txt", TRUE));
    EXPECT_EQ(ReadHostFile(CardHost("c.txt")), "source");
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Temp\\none.txt", u"\\Temp\\x.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Temp\\src.txt", u"\\Missing\\x.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Temp\\src.txt", u"\\Windows", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(u"\\Windows", u"\\Temp\\w", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
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
    const char16_t *files[] = {u"b.txt", u"_x", u"A.txt", u"a.bin", u"Zeta.TXT", u"\u00c4rger.txt"};
    for (const char16_t *f : files)
        ASSERT_TRUE(Put(std::u16string(u"\\Temp\\") + f, "12345"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\C", nullptr));
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\b.txt", FILE_ATTRIBUTE_READONLY));

    std::vector<DWORD> attrs;
    std::vector<std::u16string> all = FindAll(u"\\Temp\\*", &attrs);
    // Folded: "_x" (0x5f) before the letters; "a.bin" < "a.txt"; U+00E4 after 'z'.
    std::vector<std::u16string> expected = {u"_x", u"a.bin", u"A.txt", u"b.txt", u"C", u"Zeta.TXT", u"\u00c4rger.txt"};
    EXPECT_EQ(all, expected);
    std::vector<DWORD> expectedAttrs = {0x20, 0x20, 0x20, 0x21, 0x10, 0x20, 0x20};
    EXPECT_EQ(attrs, expectedAttrs);

    struct Case {
        const char16_t *pattern;
        std::vector<std::u16string> names;
    } cases[] = {
        {u"\\Temp\\*.txt", {u"A.txt", u"b.txt", u"Zeta.TXT", u"\u00c4rger.txt"}},
        {u"\\Temp\\?.txt", {u"A.txt", u"b.txt"}},
        {u"\\Temp\\*.*", {u"a.bin", u"A.txt", u"b.txt", u"Zeta.TXT", u"\u00c4rger.txt"}},
        {u"\\Temp\\A*", {u"a.bin", u"A.txt"}},
        {u"\\Temp\\*T", {u"A.txt", u"b.txt", u"Zeta.TXT", u"\u00c4rger.txt"}},
        {u"\\Temp\\\u00e4*", {u"\u00c4rger.txt"}},
        {u"\\Temp\\a.t?t", {u"A.txt"}},
        {u"\\Temp\\*a*t*", {u"A.txt", u"Zeta.TXT"}},
        {u"\\Temp\\c", {u"C"}},
        {u"\\TEMP\\ZETA.txt", {u"Zeta.TXT"}},
        {u"\\Temp\\**", expected},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FindAll(c.pattern), c.names) << U8(c.pattern);

    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Temp\\A.txt", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fd.nFileSizeLow, 5u);
    EXPECT_EQ(fd.nFileSizeHigh, 0u);
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(FindNextFileW(h, &fd)) << "and stays at the end";
    EXPECT_TRUE(FindClose(h));
    SetLastError(0);
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "closing twice";
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileOps, SearchErrorsAndTheRoot)
{
    WIN32_FIND_DATAW fd;
    struct Case {
        const char16_t *pattern;
        DWORD error;
    } cases[] = {
        {u"\\Temp\\*.none", ERROR_FILE_NOT_FOUND},
        {u"\\Temp\\*", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\*", ERROR_PATH_NOT_FOUND},
        {u"\\Missing\\Deeper\\*.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\x.txt", ERROR_FILE_NOT_FOUND},
        {u"\\\\net\\*", ERROR_BAD_NETPATH},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindFirstFileW(c.pattern, &fd), INVALID_HANDLE_VALUE) << U8(c.pattern);
        EXPECT_EQ(GetLastError(), c.error) << U8(c.pattern);
    }
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(u"\\*", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A new device's root, with the card among its folders; a host folder
    // of the same name in the store is hidden by the mount.
    ASSERT_EQ(mkdir(StoreHost("storage card").c_str(), 0777), 0);
    std::vector<DWORD> attrs;
    std::vector<std::u16string> root = FindAll(u"\\*", &attrs);
    std::vector<std::u16string> expected = {u"My Documents", u"Program Files", u"Storage Card", u"Temp", u"Windows"};
    EXPECT_EQ(root, expected);
    EXPECT_EQ(attrs, std::vector<DWORD>(5, FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(FindAll(u"\\Windows\\*"), (std::vector<std::u16string>{u"Desktop", u"Start Menu"}));
}

} // namespace
