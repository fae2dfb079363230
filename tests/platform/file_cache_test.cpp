// file_cache_test.cpp - what the file layer remembers between calls stays
// true: the folders it has resolved (as folders are made, moved and removed
// by this process or by another one on the same device), and the block it
// has read ahead (across seeks, writes and truncation).
#include <windows.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "file_testutil.h"
#include "kernel/files.h"

namespace {

using namespace filetest;

class FileCache : public cetest::DeviceFixture {
protected:
    // 0 when the call succeeded, else its error.
    static DWORD Err(BOOL ok) { return ok ? 0 : GetLastError(); }
    DWORD CreateDir(const char16_t *path) { return Err(CreateDirectoryW(path, nullptr)); }
    DWORD RemoveDir(const char16_t *path) { return Err(RemoveDirectoryW(path)); }
    // 0 when a new file could be made at PATH, else the error.
    DWORD MakeFile(const char16_t *path)
    {
        HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError();
        CloseHandle(h);
        return 0;
    }
};

// Each row is a call made after \A\B\C (holding f.txt) was resolved and so
// remembered; the folders are changed by this process in between.
TEST_F(FileCache, ResolvedFoldersFollowThisProcessesChanges)
{
    struct Step {
        const char *what;
        std::function<DWORD()> call;
        DWORD expected;
    };
    const std::vector<Step> steps = {
        {"make \\A", [&] { return CreateDir(u"\\A"); }, 0},
        {"make \\A\\B", [&] { return CreateDir(u"\\a\\B"); }, 0},
        {"make \\A\\B\\C", [&] { return CreateDir(u"\\A\\b\\C"); }, 0},
        {"file in C", [&] { return MakeFile(u"\\A\\B\\C\\f.txt"); }, 0},
        {"C exists", [&] { return CreateDir(u"\\a\\b\\c"); }, ERROR_ALREADY_EXISTS},
        {"C holds a file", [&] { return RemoveDir(u"\\A\\B\\C"); }, ERROR_DIR_NOT_EMPTY},
        {"move B to D", [&] { return Err(MoveFileW(u"\\A\\B", u"\\A\\D")); }, 0},
        {"old path is gone", [&] { return MakeFile(u"\\A\\B\\C\\g.txt"); }, ERROR_PATH_NOT_FOUND},
        {"old folder can be made again", [&] { return CreateDir(u"\\A\\B"); }, 0},
        {"old C is not known any more", [&] { return CreateDir(u"\\A\\B\\C"); }, 0},
        {"new path holds the file", [&] { return MakeFile(u"\\A\\D\\C\\f.txt"); }, ERROR_FILE_EXISTS},
        {"delete the file", [&] { return Err(DeleteFileW(u"\\A\\D\\C\\F.TXT")); }, 0},
        {"C is empty now", [&] { return RemoveDir(u"\\A\\D\\C"); }, 0},
        {"C is gone", [&] { return MakeFile(u"\\A\\D\\C\\f.txt"); }, ERROR_PATH_NOT_FOUND},
        {"C can be made again", [&] { return CreateDir(u"\\A\\D\\C"); }, 0},
        {"D holds C", [&] { return RemoveDir(u"\\A\\D"); }, ERROR_DIR_NOT_EMPTY},
        {"remove C", [&] { return RemoveDir(u"\\A\\D\\C"); }, 0},
        {"remove D", [&] { return RemoveDir(u"\\A\\D"); }, 0},
        {"A still holds B", [&] { return RemoveDir(u"\\A"); }, ERROR_DIR_NOT_EMPTY},
    };
    for (const Step &s : steps)
        EXPECT_EQ(s.call(), s.expected) << s.what;
    EXPECT_TRUE(cetest::HostExists(StoreHost("A/B/C")));
    EXPECT_FALSE(cetest::HostExists(StoreHost("A/D")));
}

// The folders looked at last are found again by the same spelling without
// a look at the cache. Each row changes the tree (by this process, or by
// another one of the device) right after the previous row used \\R\\A, then
// makes a file or a folder through \\R\\A, spelt as in the row before, which
// must land in the folder that is there now (HOST), or fail (ERROR).
TEST_F(FileCache, RecentFoldersFollowChangesToTheTree)
{
    ASSERT_EQ(CreateDir(u"\\R"), 0u);
    ASSERT_EQ(CreateDir(u"\\R\\A"), 0u);
    auto move = [](const char16_t *from, const char16_t *to) { return Err(MoveFileW(from, to)); };
    struct Row {
        const char *what;
        std::function<void()> change;
        bool folder; // made with CreateDirectoryW, else as a new file
        const char16_t *path;
        DWORD error;
        const char *host;
    };
    const Row rows[] = {
        {"nothing", [] {}, false, u"\\R\\A\\1.txt", 0, "R/A/1.txt"},
        {"another spelling", [] {}, true, u"\\r\\A\\2", 0, "R/A/2"},
        {"moved away, made again in another case",
         [&] {
             EXPECT_EQ(move(u"\\R\\A", u"\\R\\B"), 0u);
             EXPECT_EQ(CreateDir(u"\\R\\a"), 0u);
         },
         true, u"\\r\\A\\3", 0, "R/a/3"},
        {"emptied and removed",
         [&] {
             EXPECT_EQ(RemoveDir(u"\\r\\A\\3"), 0u);
             EXPECT_EQ(RemoveDir(u"\\r\\A"), 0u);
         },
         false, u"\\r\\A\\4.txt", ERROR_PATH_NOT_FOUND, nullptr},
        {"made again, then moved and made again by another process",
         [&] {
             EXPECT_EQ(CreateDir(u"\\R\\A"), 0u);
             EXPECT_EQ(MakeFile(u"\\R\\A\\5.txt"), 0u);
             EXPECT_EQ(InChild([&] { return move(u"\\R\\A", u"\\R\\C") == 0 && CreateDir(u"\\R\\a") == 0 ? 0 : 1; }), 0);
         },
         false, u"\\R\\A\\6.txt", 0, "R/a/6.txt"},
        {"removed by another process",
         [&] { EXPECT_EQ(InChild([&] { return DeleteFileW(u"\\R\\A\\6.txt") && RemoveDir(u"\\R\\A") == 0 ? 0 : 1; }), 0); },
         false, u"\\R\\A\\7.txt", ERROR_PATH_NOT_FOUND, nullptr},
        {"made again and removed here, made again, then moved away by another process",
         [&] {
             EXPECT_EQ(CreateDir(u"\\R\\A"), 0u);
             EXPECT_EQ(RemoveDir(u"\\R\\A"), 0u) << "empty, whatever the old one held";
             EXPECT_EQ(CreateDir(u"\\R\\A"), 0u);
             EXPECT_EQ(MakeFile(u"\\R\\A\\8.txt"), 0u);
             EXPECT_EQ(InChild([&] { return static_cast<int>(move(u"\\R\\A", u"\\R\\D")); }), 0);
         },
         false, u"\\R\\A\\9.txt", ERROR_PATH_NOT_FOUND, nullptr},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        r.change();
        EXPECT_EQ(r.folder ? CreateDir(r.path) : MakeFile(r.path), r.error);
        if (r.host) {
            EXPECT_TRUE(cetest::HostExists(StoreHost(r.host)));
        }
    }
    EXPECT_TRUE(cetest::HostExists(StoreHost("R/B/1.txt")));
    EXPECT_TRUE(cetest::HostExists(StoreHost("R/B/2")));
    EXPECT_TRUE(cetest::HostExists(StoreHost("R/C/5.txt")));
    EXPECT_TRUE(cetest::HostExists(StoreHost("R/D/8.txt")));
    EXPECT_FALSE(cetest::HostExists(StoreHost("R/A")));
    EXPECT_FALSE(cetest::HostExists(StoreHost("R/a")));
}

// A folder resolved once answers "is it a folder" and "make it" without a
// look at the host. Each row changes the tree (or not), then asks for the
// attributes of PATH and to make it, spelt in the forms a caller may give.
TEST_F(FileCache, KnownFoldersAnswerAttributesAndMakesAsTheTreeIs)
{
    ASSERT_EQ(CreateDir(u"\\K"), 0u);
    ASSERT_EQ(CreateDir(u"\\K\\Sub"), 0u);
    auto attrs = [](const char16_t *path) -> DWORD {
        SetLastError(0);
        DWORD a = GetFileAttributesW(path);
        return a == INVALID_FILE_ATTRIBUTES ? 0x80000000u | GetLastError() : a;
    };
    const DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
    const DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;
    const DWORD kMissing = 0x80000000u | ERROR_FILE_NOT_FOUND;
    const DWORD kNoPath = 0x80000000u | ERROR_PATH_NOT_FOUND;
    const DWORD kBadName = 0x80000000u | ERROR_INVALID_NAME;
    struct Row {
        const char *what;
        std::function<void()> change;
        const char16_t *path;
        DWORD before; // attributes, or 0x80000000 | the error
        DWORD make;   // CreateDirectoryW's error, 0 when made
        DWORD after;  // attributes then
    };
    const Row rows[] = {
        {"as made", [] {}, u"\\K\\Sub", kDir, ERROR_ALREADY_EXISTS, kDir},
        {"in another case", [] {}, u"\\k\\SUB", kDir, ERROR_ALREADY_EXISTS, kDir},
        {"with a trailing separator", [] {}, u"\\K\\Sub\\", kDir, ERROR_ALREADY_EXISTS, kDir},
        {"with forward slashes, no leading one", [] {}, u"K/sub", kDir, ERROR_ALREADY_EXISTS, kDir},
        {"with doubled separators", [] {}, u"\\K\\\\Sub", kDir, ERROR_ALREADY_EXISTS, kDir},
        {"a wildcard is no name", [] {}, u"\\K\\S*", kBadName, ERROR_INVALID_NAME, kBadName},
        {"removed here", [&] { EXPECT_EQ(RemoveDir(u"\\K\\Sub"), 0u); }, u"\\k\\sub", kMissing, 0, kDir},
        {"moved away here", [&] { EXPECT_EQ(Err(MoveFileW(u"\\K\\sub", u"\\K\\Moved")), 0u); },
         u"\\K\\SUB", kMissing, 0, kDir},
        {"removed by another process", [&] { EXPECT_EQ(InChild([&] { return RemoveDir(u"\\K\\Sub"); }), 0); },
         u"\\K\\Sub", kMissing, 0, kDir},
        {"a file put in its place by another process",
         [&] {
             EXPECT_EQ(InChild([&] { return RemoveDir(u"\\K\\Sub") == 0 && MakeFile(u"\\K\\Sub") == 0 ? 0 : 1; }), 0);
         },
         u"\\K\\Sub", kFile, ERROR_ALREADY_EXISTS, kFile},
        {"a folder under that file", [] {}, u"\\K\\Sub\\In", kNoPath, ERROR_PATH_NOT_FOUND, kNoPath},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        r.change();
        EXPECT_EQ(attrs(r.path), r.before);
        EXPECT_EQ(CreateDir(r.path), r.make);
        EXPECT_EQ(attrs(r.path), r.after);
    }
    EXPECT_TRUE(cetest::HostExists(StoreHost("K/Moved")));
}

// Reads through a read-only handle, which reads ahead: small ones (a line
// reader's) and blocks (a copy's, which go straight to the caller with the
// block after them read ahead). Each row is a file of SIZE bytes read by the
// steps given (a seek, FILE_CURRENT 0 for none, then COUNT bytes); every read
// gets the file's bytes at its place, and the position follows.
TEST_F(FileCache, ReadsGetTheFilesBytesWhereverTheyStart)
{
    const DWORD B = FILE_BEGIN, E = FILE_END;
    struct Step {
        DWORD count;
        long move = 0;
        DWORD method = FILE_CURRENT;
    };
    struct Row {
        const char *what;
        size_t size;
        std::vector<Step> steps;
    };
    const size_t kAhead = 128 * 1024, kBig = 300 * 1024;
    const Step k32 = {32000};
    const Row rows[] = {
        {"seeks inside and outside the block read ahead", kBig,
         {{256}, {256, -100}, {10, 1000}, {256, 200000, B}, {5, -150000}, {10, -3, E}, {10},
          {4, 131070, B}, {200000, 0, B}}},
        {"one block", 32000, {k32, k32}},
        {"a block and a byte", 32001, {k32, k32, k32}},
        {"a package file", 104857, {k32, k32, k32, k32, k32}},
        {"the read-ahead's end", 32000 + kAhead, {k32, k32, k32, k32, k32}},
        {"past the read-ahead", 32000 + kAhead + 1, {k32, k32, k32, k32, k32, k32}},
        {"back into the block read", 300000, {k32, {4096, 100, B}, {8000, 31000, B}, k32}},
        {"small, then a block", 300000, {{100}, k32, {4096}, {32000, 200000, B}, {100000}}},
        {"a block from inside the read-ahead", 300000, {{4096}, {20000, 10, B}, k32, {200000}}},
        {"a small file read by lines", 300, {{256}, {256, 40, B}, {256, 290, B}, {256}, {4, 295, B}, {8000, 150, B}}},
        {"the last lines of a file", 10000, {{256, 9900, B}, {256, 9950, B}, {256, 9990, B}, {256, 9000, B}, {5, 9999, B}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        const std::string data = Pattern(r.size);
        ASSERT_TRUE(Put(u"\\Temp\\blocks.bin", data));
        HANDLE h = Open(u"\\Temp\\blocks.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        size_t pos = 0;
        for (const Step &s : r.steps) {
            if (s.method != FILE_CURRENT || s.move != 0) {
                pos = (s.method == B ? 0 : s.method == E ? r.size : pos) + s.move;
                ASSERT_EQ(SetFilePointer(h, s.move, nullptr, s.method), static_cast<DWORD>(pos));
            }
            std::string want = pos >= r.size ? std::string() : data.substr(pos, s.count);
            EXPECT_EQ(ReadSome(h, s.count), want) << "at " << pos;
            pos += want.size();
            EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), static_cast<DWORD>(pos));
        }
        CloseHandle(h);
    }
}

// A handle that reads and writes sees its own writes over what it read
// ahead, and its reads stop at an end it has moved; a handle that lets
// others write reads what another handle wrote.
TEST_F(FileCache, ReadAheadNeverServesOldBytes)
{
    std::string data = Pattern(20000);
    ASSERT_TRUE(Put(u"\\Temp\\rw.bin", data));
    HANDLE h = Open(u"\\Temp\\rw.bin", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadSome(h, 100), data.substr(0, 100)); // the block is read ahead
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "XYZ", 3, &n, nullptr));
    SetFilePointer(h, 98, nullptr, FILE_BEGIN);
    EXPECT_EQ(ReadSome(h, 7), data.substr(98, 2) + "XYZ" + data.substr(103, 2));
    // A write from inside the block past its end (and the file's).
    SetFilePointer(h, 19998, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(h, "ABCD", 4, &n, nullptr));
    SetFilePointer(h, 19990, nullptr, FILE_BEGIN);
    EXPECT_EQ(ReadSome(h, 100), data.substr(19990, 8) + "ABCD");
    SetFilePointer(h, 5000, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(h));
    SetFilePointer(h, 4990, nullptr, FILE_BEGIN);
    EXPECT_EQ(ReadSome(h, 100), data.substr(4990, 10));
    EXPECT_EQ(GetFileSize(h, nullptr), 5000u);
    SetFilePointer(h, 0, nullptr, FILE_END);
    ASSERT_TRUE(WriteFile(h, "END", 3, &n, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 5003u);
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\Temp\\rw.bin").substr(4998), data.substr(4998, 2) + "END");

    HANDLE reader = Open(u"\\Temp\\rw.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writer = Open(u"\\Temp\\rw.bin", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadSome(reader, 10), data.substr(0, 10));
    ASSERT_TRUE(WriteFile(writer, "0123456789abcdefghij", 20, &n, nullptr));
    ASSERT_TRUE(SetFilePointer(writer, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER);
    ASSERT_TRUE(WriteFile(writer, "MORE", 4, &n, nullptr));
    EXPECT_EQ(ReadSome(reader, 10), "abcdefghij") << "the other handle's bytes";
    EXPECT_EQ(GetFileSize(reader, nullptr), 5007u) << "the other handle's end";
    CloseHandle(writer);
    CloseHandle(reader);
}

// Opens and makes in a folder already resolved, named in every spelling a
// caller may give; each row changes the tree first (or not), by this
// process or by another one of the device, then opens PATH and gets what a
// full lookup gives: the error, or a handle on the host file HOST (read
// through it when it only reads, written through it otherwise), and the
// last error the call leaves.
TEST_F(FileCache, OpensNamedInThePlainFormAnswerAsAFullLookup)
{
    ASSERT_EQ(CreateDir(u"\\Q"), 0u);
    ASSERT_EQ(CreateDir(u"\\Q\\Sub"), 0u);
    ASSERT_EQ(CreateDir(u"\\Q\\Gone"), 0u);
    ASSERT_TRUE(Put(u"\\Q\\Sub\\a.txt", "a"));
    ASSERT_TRUE(Put(u"\\Q\\Sub\\ro.txt", "ro"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Q\\Sub\\ro.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Put(u"\\Q\\Gone\\g.txt", "g"));
    // Made behind the device's back after the folder was resolved.
    cetest::WriteHostFile(StoreHost("Q/Sub/host.txt"), "host");
    ASSERT_EQ(symlink(StoreHost("Q/Sub/a.txt").c_str(), StoreHost("Q/Sub/link.txt").c_str()), 0);
    HANDLE held = INVALID_HANDLE_VALUE;
    auto hold = [&](const char16_t *path, DWORD share) {
        held = Open(path, GENERIC_READ, share, OPEN_EXISTING);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
    };
    auto release = [&] {
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    const DWORD kNone = 0xFFFFFFFFu; // the last error is left as it was
    struct Row {
        const char *what;
        std::function<void()> change;
        const char16_t *path;
        DWORD disposition;
        DWORD access;
        DWORD error;      // on failure; after success, the last error left (or kNone)
        const char *host; // null: the call fails
    };
    const Row rows[] = {
        {"as made", [] {}, u"\\Q\\Sub\\a.txt", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"folders in another case", [] {}, u"\\q\\SUB\\a.txt", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"forward slashes, no leading one", [] {}, u"Q/Sub/a.txt", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"doubled separators", [] {}, u"\\Q\\\\Sub\\\\a.txt", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"the name in another case", [] {}, u"\\Q\\Sub\\A.TXT", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"a trailing separator", [] {}, u"\\Q\\Sub\\a.txt\\", OPEN_EXISTING, R, ERROR_INVALID_NAME, nullptr},
        {"a trailing separator, made", [] {}, u"\\Q\\Sub\\t.txt/", CREATE_ALWAYS, W, ERROR_INVALID_NAME, nullptr},
        {"a wildcard", [] {}, u"\\Q\\Sub\\*.txt", OPEN_EXISTING, R, ERROR_INVALID_NAME, nullptr},
        {"a wildcard, made", [] {}, u"\\Q\\Sub\\a?.txt", CREATE_ALWAYS, W, ERROR_INVALID_NAME, nullptr},
        {"a refused character", [] {}, u"\\Q\\Sub\\a|b.txt", CREATE_NEW, W, ERROR_INVALID_NAME, nullptr},
        {"a dot folder", [] {}, u"\\Q\\Sub\\.\\a.txt", OPEN_EXISTING, R, ERROR_INVALID_NAME, nullptr},
        {"a network name", [] {}, u"\\\\Q\\Sub\\a.txt", OPEN_EXISTING, R, ERROR_BAD_NETPATH, nullptr},
        {"no such disposition", [] {}, u"\\Q\\Sub\\a.txt", 0, R, ERROR_INVALID_PARAMETER, nullptr},
        {"a new name", [] {}, u"\\Q\\Sub\\n1.txt", CREATE_NEW, W, kNone, "Q/Sub/n1.txt"},
        {"a new name, always", [] {}, u"\\q\\sub\\n2.txt", CREATE_ALWAYS, W, 0, "Q/Sub/n2.txt"},
        {"an existing name, always", [] {}, u"\\Q\\Sub\\n2.txt", OPEN_ALWAYS, W, ERROR_ALREADY_EXISTS, "Q/Sub/n2.txt"},
        {"an existing name, new", [] {}, u"\\Q\\Sub\\n1.txt", CREATE_NEW, W, ERROR_FILE_EXISTS, nullptr},
        {"an existing name in another case, new", [] {}, u"Q/SUB/N1.TXT", CREATE_NEW, W, ERROR_FILE_EXISTS, nullptr},
        {"an existing name in another case, always", [] {}, u"\\Q\\Sub\\N2.txt", CREATE_ALWAYS, W,
         ERROR_ALREADY_EXISTS, "Q/Sub/n2.txt"},
        {"a missing name", [] {}, u"\\Q\\Sub\\none.txt", OPEN_EXISTING, R, ERROR_FILE_NOT_FOUND, nullptr},
        {"a missing name, truncated", [] {}, u"\\Q\\Sub\\none.txt", TRUNCATE_EXISTING, W, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"a missing folder", [] {}, u"\\Q\\None\\x.txt", CREATE_ALWAYS, W, ERROR_PATH_NOT_FOUND, nullptr},
        {"a folder named as a file", [] {}, u"\\Q\\Sub", OPEN_EXISTING, R, ERROR_ACCESS_DENIED, nullptr},
        {"a folder named as a file, made", [] {}, u"\\q\\sub", CREATE_ALWAYS, W, ERROR_ACCESS_DENIED, nullptr},
        {"a folder named as a file, new", [] {}, u"\\Q\\SUB", CREATE_NEW, W, ERROR_ACCESS_DENIED, nullptr},
        {"made behind its back", [] {}, u"\\Q\\Sub\\host.txt", OPEN_EXISTING, R, kNone, "Q/Sub/host.txt"},
        {"made behind its back, new", [] {}, u"\\Q\\Sub\\host.txt", CREATE_NEW, W, ERROR_FILE_EXISTS, nullptr},
        {"a link, never followed", [] {}, u"\\Q\\Sub\\link.txt", OPEN_EXISTING, R, ERROR_ACCESS_DENIED, nullptr},
        {"read-only, to write", [] {}, u"\\Q\\Sub\\ro.txt", OPEN_EXISTING, W, ERROR_ACCESS_DENIED, nullptr},
        {"read-only, to read", [] {}, u"\\Q\\Sub\\ro.txt", OPEN_EXISTING, R, kNone, "Q/Sub/ro.txt"},
        {"held without sharing", [&] { hold(u"\\Q\\Sub\\a.txt", 0); }, u"\\Q\\Sub\\a.txt", OPEN_EXISTING, R,
         ERROR_SHARING_VIOLATION, nullptr},
        {"held sharing reads, to write", [&] { release(), hold(u"\\Q\\Sub\\a.txt", FILE_SHARE_READ); },
         u"Q//Sub/a.txt", OPEN_ALWAYS, W, ERROR_SHARING_VIOLATION, nullptr},
        {"held sharing reads, to read", [] {}, u"\\Q\\Sub\\a.txt", OPEN_EXISTING, R, kNone, "Q/Sub/a.txt"},
        {"released", [&] { release(); }, u"\\Q\\Sub\\a.txt", OPEN_EXISTING, W, kNone, "Q/Sub/a.txt"},
        {"removed here",
         [&] {
             EXPECT_TRUE(DeleteFileW(u"\\Q\\Gone\\g.txt"));
             EXPECT_EQ(RemoveDir(u"\\Q\\Gone"), 0u);
         },
         u"\\Q\\Gone\\g2.txt", CREATE_ALWAYS, W, ERROR_PATH_NOT_FOUND, nullptr},
        {"moved here", [&] { EXPECT_TRUE(MoveFileW(u"\\Q\\Sub", u"\\Q\\Moved")); }, u"\\Q\\Sub\\a.txt",
         OPEN_EXISTING, R, ERROR_PATH_NOT_FOUND, nullptr},
        {"moved here, made again", [&] { EXPECT_EQ(CreateDir(u"\\Q\\sub"), 0u); }, u"\\Q\\Sub\\m.txt", CREATE_NEW,
         W, kNone, "Q/sub/m.txt"},
        {"the moved folder", [] {}, u"\\Q\\moved\\a.txt", OPEN_EXISTING, R, kNone, "Q/Moved/a.txt"},
        {"moved and made again by another process",
         [&] {
             EXPECT_EQ(InChild([&] {
                           return MoveFileW(u"\\Q\\Moved", u"\\Q\\Away") && CreateDir(u"\\Q\\MOVED") == 0 ? 0 : 1;
                       }),
                       0);
         },
         u"\\Q\\Moved\\a.txt", CREATE_NEW, W, kNone, "Q/MOVED/a.txt"},
        {"removed by another process",
         [&] {
             EXPECT_EQ(InChild([&] {
                           return DeleteFileW(u"\\Q\\Moved\\a.txt") && RemoveDir(u"\\Q\\Moved") == 0 ? 0 : 1;
                       }),
                       0);
         },
         u"\\Q\\Moved\\b.txt", CREATE_ALWAYS, W, ERROR_PATH_NOT_FOUND, nullptr},
        {"made here, then moved and made again by another process",
         [&] {
             EXPECT_EQ(CreateDir(u"\\Q\\Fresh"), 0u);
             EXPECT_TRUE(Put(u"\\Q\\Fresh\\f.txt", "mine"));
             EXPECT_EQ(InChild([&] {
                           return MoveFileW(u"\\Q\\Fresh", u"\\Q\\Stale") && CreateDir(u"\\Q\\Fresh") == 0 &&
                                          Put(u"\\Q\\Fresh\\f.txt", "child")
                                      ? 0
                                      : 1;
                       }),
                       0);
         },
         u"\\Q\\Fresh\\f.txt", OPEN_EXISTING, R, kNone, "Q/Fresh/f.txt"},
        {"made here, then moved and made again by another process, made",
         [&] {
             EXPECT_EQ(CreateDir(u"\\Q\\Fresh2"), 0u);
             EXPECT_EQ(InChild([&] {
                           return MoveFileW(u"\\Q\\Fresh2", u"\\Q\\Stale2") && CreateDir(u"\\Q\\Fresh2") == 0 ? 0 : 1;
                       }),
                       0);
         },
         u"\\Q\\Fresh2\\n.txt", CREATE_NEW, W, kNone, "Q/Fresh2/n.txt"},
        {"held by another process",
         [&] {
             Child child([] { return Open(u"\\Q\\Away\\a.txt", R, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE ? 'n' : 'y'; });
             ASSERT_EQ(child.Report(), 'y');
             EXPECT_FAILS(Open(u"\\q\\away\\a.txt", R, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                          ERROR_SHARING_VIOLATION);
         },
         u"\\Q\\Away\\a.txt", OPEN_EXISTING, R, kNone, "Q/Away/a.txt"},
    };
    int n = 0;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        r.change();
        SetLastError(kNone);
        HANDLE h = CreateFileW(r.path, r.access, FILE_SHARE_READ, nullptr, r.disposition, FILE_ATTRIBUTE_NORMAL, 0);
        if (!r.host) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), r.error);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_EQ(GetLastError(), r.error);
        const std::string host = StoreHost(r.host);
        if (r.access == R) {
            EXPECT_EQ(ReadSome(h, 100), cetest::ReadHostFile(host));
        } else {
            std::string mark = "row " + std::to_string(++n);
            DWORD written = 0;
            EXPECT_TRUE(WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &written, nullptr));
            CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
            EXPECT_EQ(cetest::ReadHostFile(host).substr(0, mark.size()), mark);
        }
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    // Nothing was made where a call failed, nor left in a folder moved away.
    for (const char *gone : {"Q/Sub/t.txt", "Q/Sub/a?.txt", "Q/Gone", "Q/Away/m.txt", "Q/Away/b.txt", "Q/Stale2/n.txt"})
        EXPECT_FALSE(cetest::HostExists(StoreHost(gone))) << gone;
    EXPECT_EQ(cetest::ReadHostFile(StoreHost("Q/Away/host.txt")), "host") << "never truncated";
    EXPECT_EQ(filetest::HostNames(StoreHost("Q")), (std::set<std::string>{".", "..", "Away", "Fresh", "Fresh2", "Stale", "Stale2", "sub"}));
}

// Each row opens a file after \\Known\\Deep was made by this process (so
// is known, with every name in it) and says whether its path had to be
// walked from the top: a folder known in any case of its name is not, a
// folder made behind the device's back is, once.
TEST_F(FileCache, OpensInAKnownFolderWalkNoPath)
{
    ASSERT_EQ(CreateDir(u"\\Known"), 0u);
    ASSERT_EQ(CreateDir(u"\\Known\\Deep"), 0u);
    ASSERT_TRUE(Put(u"\\Known\\Deep\\a.bin", "a"));
    cetest::WriteHostFile(StoreHost("Outside/o.bin"), "o");
    struct Row {
        const char16_t *path;
        DWORD disposition;
        bool walks;
    };
    const Row rows[] = {
        {u"\\Known\\Deep\\a.bin", OPEN_EXISTING, false},
        {u"\\KNOWN\\deep\\a.bin", OPEN_EXISTING, false}, // the folders in another case
        {u"\\known\\DeeP\\new.bin", CREATE_NEW, false},  // a name the folder lacks
        {u"\\Outside\\o.bin", OPEN_EXISTING, true},       // not known yet
        {u"\\outside\\o.bin", OPEN_EXISTING, false},      // known since
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(cetest::U8(r.path));
        uint64_t before = plat::PathWalks();
        HANDLE h = Open(r.path, GENERIC_READ | GENERIC_WRITE, 0, r.disposition);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
        CloseHandle(h);
        EXPECT_EQ(plat::PathWalks() != before, r.walks);
    }
    EXPECT_EQ(Get(u"\\Known\\Deep\\a.bin"), "a");
}

// Deletes by name in a folder already resolved (held open): each row is a
// delete made after \\D was resolved, with what the host shows afterwards;
// a folder made again from outside the device is looked at by its path.
TEST_F(FileCache, DeletesInAKnownFolderTakeTheNamedFile)
{
    ASSERT_EQ(CreateDir(u"\\D"), 0u);
    for (const char *n : {"a.bin", "b.bin", "c.bin", "ro.bin"})
        ASSERT_TRUE(Put((u"\\D\\" + cetest::U16(n)).c_str(), n));
    ASSERT_TRUE(SetFileAttributesW(u"\\D\\ro.bin", FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(symlink(StoreHost("D/a.bin").c_str(), StoreHost("D/link.bin").c_str()), 0);
    ASSERT_EQ(Get(u"\\D\\a.bin"), "a.bin"); // \D resolved and held
    struct Row {
        const char16_t *path;
        DWORD error;          // 0: deleted
        const char *hostGone; // the host file that must be gone (or kept, on error)
    };
    const Row rows[] = {
        {u"\\D\\a.bin", 0, "D/a.bin"},
        {u"\\d\\B.BIN", 0, "D/b.bin"}, // another case
        {u"\\D\\a.bin", ERROR_FILE_NOT_FOUND, nullptr},
        {u"\\D\\ro.bin", ERROR_ACCESS_DENIED, "D/ro.bin"},
        {u"\\D\\link.bin", ERROR_ACCESS_DENIED, "D/link.bin"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(cetest::U8(r.path));
        SetLastError(0);
        BOOL ok = DeleteFileW(r.path);
        EXPECT_EQ(ok ? 0u : GetLastError(), r.error);
        if (r.hostGone) {
            struct stat st;
            EXPECT_EQ(lstat(StoreHost(r.hostGone).c_str(), &st) == 0, r.error != 0);
        }
    }
    // The folder removed and made again behind the device's back: the name
    // is the new folder's file, deleted there.
    for (const char *n : {"D/c.bin", "D/ro.bin", "D/link.bin"})
        ASSERT_EQ(unlink(StoreHost(n).c_str()), 0) << n;
    std::string host = StoreHost("D");
    ASSERT_EQ(rmdir(host.c_str()), 0);
    ASSERT_EQ(mkdir(host.c_str(), 0755), 0);
    cetest::WriteHostFile(StoreHost("D/c.bin"), "new");
    EXPECT_TRUE(DeleteFileW(u"\\D\\c.bin")) << GetLastError();
    struct stat st;
    EXPECT_NE(lstat(StoreHost("D/c.bin").c_str(), &st), 0) << "the file now at the name is deleted";
}

// A handle that only reads a file nobody may write takes its host
// descriptor on its first read: until then it still holds the file, tells
// its size and times, and it reads the file it was opened on, also after
// the folder holding it was moved or another file of the folder deleted.
TEST_F(FileCache, AHandleOpenedOnlyToReadHoldsItsFileUntilItReads)
{
    // Named in another case, the file is found by a look at its folder and
    // kept by its host path; named as it is, it is kept by its name in its
    // folder held open.
    auto moveHere = [&] { EXPECT_EQ(Err(MoveFileW(u"\\D1", u"\\D2")), 0u); };
    auto moveThere = [&] { EXPECT_EQ(InChild([] { return MoveFileW(u"\\D1", u"\\D2") ? 0 : 1; }), 0); };
    struct Row {
        const char *what;
        const char16_t *openAs;
        std::function<void()> between; // done after the open, before the read
        const char16_t *readAs;         // where the file is afterwards
    };
    const Row rows[] = {
        {"nothing", u"\\D1\\F.TXT", [] {}, u"\\D1\\f.txt"},
        {"its folder moved", u"\\D1\\F.TXT", moveHere, u"\\D2\\f.txt"},
        {"its folder moved by another process", u"\\D1\\F.TXT", moveThere, u"\\D2\\f.txt"},
        {"another file deleted", u"\\D1\\F.TXT", [&] { EXPECT_TRUE(DeleteFileW(u"\\D1\\other.txt")); },
         u"\\D1\\f.txt"},
        {"nothing, in its folder", u"\\D1\\f.txt", [] {}, u"\\D1\\f.txt"},
        {"its folder moved, in its folder", u"\\D1\\f.txt", moveHere, u"\\D2\\f.txt"},
        {"its folder moved by another process, in its folder", u"D1/f.txt", moveThere, u"\\D2\\f.txt"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(CreateDir(u"\\D1"), 0u);
        ASSERT_TRUE(Put(u"\\D1\\f.txt", "the file's bytes"));
        ASSERT_TRUE(Put(u"\\D1\\other.txt", "x"));
        HANDLE h = Open(r.openAs, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetFileSize(h, nullptr), 16u);
        EXPECT_FAILS(DeleteFileW(u"\\D1\\f.txt"), FALSE, ERROR_SHARING_VIOLATION); // held before any read
        r.between();
        EXPECT_EQ(ReadSome(h, 100), "the file's bytes");
        CloseHandle(h);
        // The times, from a handle that has not read.
        h = Open(r.readAs, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        FILETIME w = {};
        EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
        EXPECT_NE(w.dwHighDateTime, 0u);
        CloseHandle(h);
        EXPECT_TRUE(DeleteFileW(r.readAs)) << GetLastError();
        DeleteFileW(u"\\D1\\other.txt");
        DeleteFileW(u"\\D2\\other.txt");
        RemoveDir(u"\\D1");
        RemoveDir(u"\\D2");
    }

    // Another process deletes the name and makes a new file there while a
    // handle of this one holds the old file: refused, the old file is read.
    ASSERT_TRUE(Put(u"\\Temp\\held.txt", "old"));
    HANDLE h = Open(u"\\Temp\\held.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(InChild([] { return DeleteFileW(u"\\Temp\\held.txt") ? 0 : static_cast<int>(GetLastError()); }),
              ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadSome(h, 10), "old");
    CloseHandle(h);
}

// Deletes by name in a folder already resolved keep the folder's count of
// names right, so that a removal of the folder after each delete answers
// as the host would: also when another process of the device added a name
// meanwhile, and never for the module's own file, which stays held.
TEST_F(FileCache, FolderCountsFollowDeletesInAKnownFolder)
{
    ASSERT_EQ(CreateDir(u"\\K"), 0u);
    ASSERT_EQ(CreateDir(u"\\K\\sub"), 0u);
    for (const char16_t *n : {u"\\K\\a.bin", u"\\K\\b.bin", u"\\K\\Setup.exe"})
        ASSERT_TRUE(Put(n, "x"));
    plat::DeviceSetModulePath(u"\\K\\Setup.exe");
    auto del = [](const char16_t *path) { return Err(DeleteFileW(path)); };
    struct Row {
        const char *what;
        std::function<DWORD()> call;
        DWORD expected;
    };
    const std::vector<Row> rows = {
        {"counted: four names", [&] { return RemoveDir(u"\\K"); }, ERROR_DIR_NOT_EMPTY},
        {"delete a", [&] { return del(u"\\K\\a.bin"); }, 0},
        {"a is gone", [&] { return del(u"\\K\\a.bin"); }, ERROR_FILE_NOT_FOUND},
        {"a folder is no file", [&] { return del(u"\\K\\sub"); }, ERROR_ACCESS_DENIED},
        {"the module stays", [&] { return del(u"\\K\\Setup.exe"); }, ERROR_SHARING_VIOLATION},
        {"remove sub", [&] { return RemoveDir(u"\\K\\sub"); }, 0},
        {"another process adds c",
         [&] { return static_cast<DWORD>(InChild([&] { return static_cast<int>(MakeFile(u"\\K\\c.bin")); })); }, 0},
        {"delete b, another case", [&] { return del(u"\\k\\B.bin"); }, 0},
        {"c and the module are left", [&] { return RemoveDir(u"\\K"); }, ERROR_DIR_NOT_EMPTY},
        {"delete c", [&] { return del(u"\\K\\c.bin"); }, 0},
        {"the module is left", [&] { return RemoveDir(u"\\K\\"); }, ERROR_DIR_NOT_EMPTY},
        {"another module", [&] {
             plat::DeviceSetModulePath(u"\\Storage Card\\Setup.exe");
             return del(u"\\K\\Setup.exe");
         }, 0},
        {"empty now", [&] { return RemoveDir(u"\\K"); }, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.call(), r.expected);
    }
    EXPECT_FALSE(cetest::HostExists(StoreHost("K")));
}

// Marks written again and again inside a file by the only handle that may
// write it (a removal marking its log line by line): each row is how the
// marking handle ends. Every mark is in the file for any reader at once,
// also when the process is killed, and the file's write time is that of
// the last mark.
TEST_F(FileCache, MarksWrittenInsideAFileStayAndDateIt)
{
    const std::string original = Pattern(20000);
    constexpr int kMarks = 100;
    auto marked = [&](int upTo) {
        std::string s = original;
        for (int i = 0; i < upTo; ++i)
            s.replace(static_cast<size_t>(i) * 157, 2, "//");
        return s;
    };
    // Writes the first COUNT marks through H, each read back through R.
    auto mark = [&](HANDLE h, HANDLE r, int count) {
        for (int i = 0; i < count; ++i) {
            DWORD n = 0;
            if (SetFilePointer(h, i * 157, nullptr, FILE_BEGIN) != static_cast<DWORD>(i * 157) ||
                !WriteFile(h, "//", 2, &n, nullptr) || n != 2)
                return false;
            if (SetFilePointer(r, i * 157, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
                ReadSome(r, 2) != "//")
                return false;
        }
        return true;
    };
    enum class End { Close, Killed, Cut, Sparse };
    const struct {
        const char *what;
        End end;
    } rows[] = {{"closed", End::Close}, {"killed", End::Killed}, {"cut short, then marked on", End::Cut},
                {"a file with a hole", End::Sparse}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const std::u16string path = u"\\marks.txt";
        ASSERT_TRUE(Put(path, original));
        if (row.end == End::Sparse) {
            // The same bytes with a hole after them: the file is longer.
            HANDLE h = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            ASSERT_NE(SetFilePointer(h, 1 << 20, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
            ASSERT_TRUE(SetEndOfFile(h));
            CloseHandle(h);
        }
        std::string expected = marked(kMarks);
        if (row.end == End::Sparse)
            expected.resize(1 << 20, '\0');
        if (row.end == End::Killed) {
            int rc = InChild([&] {
                HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
                HANDLE r = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
                if (h == INVALID_HANDLE_VALUE || r == INVALID_HANDLE_VALUE || !mark(h, r, kMarks))
                    return 1;
                raise(SIGKILL);
                return 2;
            });
            EXPECT_EQ(rc, -1) << "the child was killed";
            EXPECT_TRUE(Get(path) == expected) << "every mark made before the kill is kept";
            continue;
        }
        HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
        HANDLE r = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ASSERT_NE(r, INVALID_HANDLE_VALUE);
        if (row.end == End::Cut) {
            ASSERT_TRUE(mark(h, r, kMarks / 2));
            ASSERT_EQ(SetFilePointer(h, 10000, nullptr, FILE_BEGIN), 10000u);
            ASSERT_TRUE(SetEndOfFile(h));
            ASSERT_TRUE(mark(h, r, 10000 / 157));
            expected = marked(10000 / 157).substr(0, 10000);
        } else {
            ASSERT_TRUE(mark(h, r, kMarks - 1));
            // The time of the last mark, as the marking handle tells it (the
            // host's clock for file times moves in steps of a few ms).
            Sleep(100);
            uint64_t before = plat::FileTimeNow();
            ASSERT_TRUE(mark(h, r, kMarks));
            uint64_t after = plat::FileTimeNow();
            FILETIME w;
            ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
            uint64_t t = (static_cast<uint64_t>(w.dwHighDateTime) << 32) | w.dwLowDateTime;
            EXPECT_GE(t + 200000, before) << "dated by the last mark";
            EXPECT_LE(t, after + 200000);
        }
        CloseHandle(r);
        EXPECT_TRUE(CloseHandle(h));
        EXPECT_TRUE(Get(path) == expected);
    }
}

} // namespace
