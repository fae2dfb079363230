// file_store_test.cpp - the object store's capacity: a full store and
// injected write failures.
#include "file_testutil.h"
#include "kernel/device.h"
#include "kernel/faults.h"

using namespace filetest;
using cetest::ReadHostFile;
using cetest::WriteHostFile;

namespace {

class FileStore : public cetest::DeviceFixture {
protected:
    void WithCapacityKb(const char *kb)
    {
        plat::DeviceOverrides o;
        o.storageKb = kb;
        Reopen(o);
    }
    void TearDown() override
    {
        plat::FaultResetAll();
        DeviceFixture::TearDown();
    }
};

TEST_F(FileStore, AWritePastCapacityWritesNothingAndFailsWithDiskFull)
{
    WithCapacityKb("1");
    HANDLE h = Open(u"\\Temp\\fill.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, std::string(1000, 'a').data(), 1000, &n, nullptr));
    EXPECT_EQ(FreeBytes(), 24u);

    n = 77;
    EXPECT_FAILS(WriteFile(h, std::string(100, 'b').data(), 100, &n, nullptr), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(n, 0u) << "nothing written";
    EXPECT_EQ(GetFileSize(h, nullptr), 1000u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 1000u) << "the position stays";
    EXPECT_EQ(FreeBytes(), 24u) << "free space as before";
    EXPECT_TRUE(WriteFile(h, std::string(24, 'c').data(), 24, &n, nullptr)) << "filling it exactly works";
    EXPECT_EQ(SetFilePointer(h, 2000, nullptr, FILE_BEGIN), 2000u);
    EXPECT_FAILS(SetEndOfFile(h), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileSize(h, nullptr), 1024u);
    CloseHandle(h);
    EXPECT_EQ(ReadHostFile(StoreHost("Temp/fill.bin")).size(), 1024u);

    // Moving into the full store fails and leaves no partial file.
    EXPECT_TRUE(Put(u"\\Storage Card\\new.bin", "the card has its own space"));
    ASSERT_TRUE(Put(u"\\Temp\\fill.bin", std::string(1000, 'a')));
    EXPECT_FAILS(MoveFileW(u"\\Storage Card\\new.bin", u"\\Temp\\m.bin"), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\m.bin"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadHostFile(CardHost("new.bin")), "the card has its own space") << "the source stays";
    EXPECT_EQ(FreeBytes(), 24u);
}

TEST_F(FileStore, TheFirstCountTakesEveryFileAndFollowsNoLink)
{
    // Made on the host before the device opens: files at every depth count
    // by their size; links (to a file or to a folder) count nothing and are
    // not followed; an empty folder counts nothing.
    const struct {
        const char *path;
        size_t size;
    } files[] = {{"top.bin", 100}, {"Temp/a.bin", 10}, {"Temp/deep/er/b.bin", 7},
                 {"Temp/deep/c.bin", 3}, {"My Documents/d.bin", 0}};
    uint64_t sum = 0;
    for (const auto &f : files) {
        WriteHostFile(StoreHost(f.path), std::string(f.size, 'x'));
        sum += f.size;
    }
    WriteHostFile(root.path + "/outside/big.bin", std::string(500, 'o'));
    ASSERT_EQ(symlink((root.path + "/outside/big.bin").c_str(), StoreHost("Temp/link.bin").c_str()), 0);
    ASSERT_EQ(symlink((root.path + "/outside").c_str(), StoreHost("Temp/linkdir").c_str()), 0);
    ASSERT_EQ(mkdir(StoreHost("Temp/empty").c_str(), 0755), 0);
    WithCapacityKb("4");
    EXPECT_EQ(FreeBytes(), 4096u - sum);
}

// The store is counted when a figure is first wanted: deletes, moves and
// truncations made before then are in that count exactly once.
TEST_F(FileStore, BytesGivenBackBeforeTheFirstCountAreNotTakenTwice)
{
    WriteHostFile(StoreHost("Temp/a.bin"), std::string(300, 'a'));
    WriteHostFile(StoreHost("Temp/b.bin"), std::string(200, 'b'));
    WriteHostFile(StoreHost("Temp/c.bin"), std::string(100, 'c'));
    WriteHostFile(StoreHost("Temp/d.bin"), std::string(50, 'd'));
    WithCapacityKb("1");
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\a.bin")) << GetLastError();
    EXPECT_TRUE(MoveFileW(u"\\Temp\\b.bin", u"\\Storage Card\\b.bin")) << GetLastError();
    HANDLE h = Open(u"\\Temp\\c.bin", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(FreeBytes(), 1024u - 50u);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\d.bin")) << GetLastError();
    EXPECT_EQ(FreeBytes(), 1024u) << "a release after the count is taken from it";
}

TEST_F(FileStore, ACopyThatMeetsAWriteFailureLeavesNoDestination)
{
    uint64_t free0 = FreeBytes();
    ASSERT_TRUE(Put(u"\\Temp\\big.bin", std::string(200000, 'b')));
    plat::FaultArm(plat::FaultKind::FileWrite, 2);
    EXPECT_FAILS(CopyFileW(u"\\Temp\\big.bin", u"\\Temp\\big2.bin", FALSE), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\big2.bin"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FreeBytes(), free0 - 200000) << "only the source is held";
}


// Files made, written and deleted by name in folders already resolved (no
// lookup of the path) count against the volume they are on: the store's
// free space moves by their bytes, a card's file leaves it as it was.
TEST_F(FileStore, FilesInKnownFoldersCountOnTheirOwnVolume)
{
    WithCapacityKb("64");
    struct Row {
        const char16_t *folder;
        const char16_t *named; // the file named through the folder in this spelling
        bool inStore;
    };
    const Row rows[] = {
        {u"\\Kept", u"\\Kept\\f.bin", true},
        {u"\\Storage Card\\Kept", u"\\Storage Card\\Kept\\f.bin", false},
        {u"\\Storage Card\\Other", u"/storage card//OTHER/f.bin", false},
        {u"\\Storage Cards", u"\\Storage Cards\\f.bin", true}, // a store folder, named like the card
    };
    const std::string bytes(5000, 'x');
    for (const Row &r : rows) {
        SCOPED_TRACE(cetest::U8(r.named));
        ASSERT_TRUE(CreateDirectoryW(r.folder, nullptr)) << GetLastError();
        const uint64_t before = FreeBytes();
        ASSERT_TRUE(Put(r.named, bytes));
        EXPECT_EQ(FreeBytes(), r.inStore ? before - bytes.size() : before);
        EXPECT_EQ(Get(r.named), bytes);
        EXPECT_TRUE(DeleteFileW(r.named)) << GetLastError();
        EXPECT_EQ(FreeBytes(), before);
        EXPECT_TRUE(RemoveDirectoryW(r.folder)) << GetLastError();
    }
}

} // namespace
