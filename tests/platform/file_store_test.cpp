// file_store_test.cpp - the object store's capacity: free space, a full
// store, storage_kb, injected write failures, and the card's own figures.
#include <sys/statvfs.h>

#include "file_testutil.h"
#include "internal/device.h"
#include "internal/faults.h"

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

TEST_F(FileStore, FreeSpaceIsCapacityLessTheHeldBytes)
{
    ULARGE_INTEGER avail, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &avail, &total, &free));
    EXPECT_EQ(total.QuadPart, 65536ull * 1024) << "default capacity";
    EXPECT_EQ(avail.QuadPart, total.QuadPart) << "a new store holds no file bytes";
    EXPECT_EQ(free.QuadPart, avail.QuadPart);

    ASSERT_TRUE(Put(u"\\Temp\\a.bin", std::string(1000, 'a')));
    EXPECT_EQ(FreeBytes(), total.QuadPart - 1000);
    ASSERT_TRUE(Put(u"\\Temp\\a.bin", std::string(300, 'a'))) << "replacing";
    EXPECT_EQ(FreeBytes(), total.QuadPart - 300);
    ASSERT_TRUE(CopyFileW(u"\\Temp\\a.bin", u"\\Temp\\b.bin", TRUE));
    EXPECT_EQ(FreeBytes(), total.QuadPart - 600);
    ASSERT_TRUE(MoveFileW(u"\\Temp\\b.bin", u"\\Storage Card\\b.bin"));
    EXPECT_EQ(FreeBytes(), total.QuadPart - 300) << "moved to the card";
    ASSERT_TRUE(MoveFileW(u"\\Storage Card\\b.bin", u"\\My Documents\\b.bin"));
    EXPECT_EQ(FreeBytes(), total.QuadPart - 600) << "moved back";
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\a.bin"));
    ASSERT_TRUE(DeleteFileW(u"\\My Documents\\b.bin"));
    EXPECT_EQ(FreeBytes(), total.QuadPart);

    EXPECT_FAILS(GetDiskFreeSpaceExW(u"\\NoSuchFolder", &avail, &total, &free), FALSE, ERROR_PATH_NOT_FOUND);
    ASSERT_TRUE(Put(u"\\Temp\\f.txt", "x"));
    EXPECT_FAILS(GetDiskFreeSpaceExW(u"\\Temp\\f.txt", &avail, &total, &free), FALSE, ERROR_DIRECTORY);
    EXPECT_TRUE(GetDiskFreeSpaceExW(nullptr, &avail, nullptr, nullptr)) << "no name is the root";

    // Files made on the host are counted when the device opens.
    WriteHostFile(StoreHost("Temp/pre1.bin"), std::string(5000, 'x'));
    WriteHostFile(StoreHost("Windows/deep/pre2.bin"), std::string(1234, 'y'));
    WithCapacityKb("64");
    EXPECT_EQ(FreeBytes(), 64u * 1024 - 6235);
}

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

    // Overwriting inside the file needs no space; filling it exactly works.
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_TRUE(WriteFile(h, "zz", 2, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), 1000u);
    EXPECT_TRUE(WriteFile(h, std::string(24, 'c').data(), 24, &n, nullptr)) << GetLastError();
    EXPECT_EQ(FreeBytes(), 0u);
    EXPECT_FAILS(WriteFile(h, "d", 1, &n, nullptr), FALSE, ERROR_DISK_FULL);

    // Seeking past the end and writing counts the gap; so does SetEndOfFile.
    EXPECT_EQ(SetFilePointer(h, 2000, nullptr, FILE_BEGIN), 2000u);
    EXPECT_FAILS(SetEndOfFile(h), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileSize(h, nullptr), 1024u);
    CloseHandle(h);

    EXPECT_FAILS(Open(u"\\Temp\\new.bin", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE, ERROR_DISK_FULL);
    EXPECT_TRUE(Put(u"\\Storage Card\\new.bin", "the card has its own space"));

    std::string host = ReadHostFile(StoreHost("Temp/fill.bin"));
    EXPECT_EQ(host.size(), 1024u);
    EXPECT_EQ(host.substr(0, 3), "zza");

    // Copying or moving into the full store fails and leaves no partial file.
    EXPECT_FAILS(CopyFileW(u"\\Storage Card\\new.bin", u"\\Temp\\c.bin", FALSE), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\c.bin"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Put(u"\\Temp\\fill.bin", std::string(1000, 'a')));
    EXPECT_FAILS(MoveFileW(u"\\Storage Card\\new.bin", u"\\Temp\\m.bin"), FALSE, ERROR_DISK_FULL);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\m.bin"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadHostFile(CardHost("new.bin")), "the card has its own space") << "the source stays";
    EXPECT_EQ(FreeBytes(), 24u);
}

TEST_F(FileStore, TheCardAndStorageKbZeroReportTheHostsFigures)
{
    ULARGE_INTEGER avail, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\Storage Card\\", &avail, &total, &free));
    struct statvfs vfs;
    ASSERT_EQ(statvfs(cardDir.c_str(), &vfs), 0);
    EXPECT_EQ(total.QuadPart, static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize) << "the card's own figures";

    // storage_kb = 0: the host's free space, capped for a 32-bit reader.
    WithCapacityKb("0");
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &avail, &total, &free));
    ASSERT_EQ(statvfs(StoreHost("").c_str(), &vfs), 0);
    uint64_t host = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    uint64_t expected = host < 0x7fffffffull ? host : 0x7fffffffull;
    // The host's free space moves with other work on the machine.
    uint64_t diff = avail.QuadPart > expected ? avail.QuadPart - expected : expected - avail.QuadPart;
    EXPECT_LT(diff, 64ull << 20) << "reported " << avail.QuadPart << ", host " << expected;
    EXPECT_LE(avail.QuadPart, 0x7fffffffull);
    EXPECT_LE(total.QuadPart, 0x7fffffffull);
    EXPECT_TRUE(Put(u"\\Temp\\a.bin", std::string(4096, 'a')));
}

TEST_F(FileStore, InjectedWriteFailuresWriteNothing)
{
    HANDLE h = Open(u"\\Temp\\f.bin", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    uint64_t free0 = FreeBytes();
    plat::FaultArm(plat::FaultKind::FileWrite, 2);
    DWORD n;
    EXPECT_TRUE(WriteFile(h, "one", 3, &n, nullptr));
    EXPECT_FAILS(WriteFile(h, "two", 3, &n, nullptr), FALSE, ERROR_DISK_FULL);
    EXPECT_TRUE(plat::FaultFired(plat::FaultKind::FileWrite));
    EXPECT_EQ(GetFileSize(h, nullptr), 3u);
    EXPECT_EQ(FreeBytes(), free0 - 3);
    EXPECT_TRUE(WriteFile(h, "three", 5, &n, nullptr)) << "the fault fires once";
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\Temp\\f.bin"), "onethree");

    // A copy that meets the fault leaves no destination.
    for (int k = 1; k <= 2; ++k) {
        ASSERT_TRUE(Put(u"\\Temp\\big.bin", std::string(200000, 'b')));
        plat::FaultArm(plat::FaultKind::FileWrite, k);
        SCOPED_TRACE("fault at write " + std::to_string(k));
        EXPECT_FAILS(CopyFileW(u"\\Temp\\big.bin", u"\\Temp\\big2.bin", FALSE), FALSE, ERROR_DISK_FULL);
        EXPECT_EQ(GetFileAttributesW(u"\\Temp\\big2.bin"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(FreeBytes(), free0 - 8 - 200000);
    }
    plat::FaultArm(plat::FaultKind::FileWrite, 0);
}

TEST_F(FileStore, AStandInModuleInTheStoreHoldsItsBytes)
{
    uint64_t before = FreeBytes();
    ASSERT_TRUE(CreateDirectoryW(u"\\Program Files\\App", nullptr));
    plat::DeviceSetModulePath(u"\\Program Files\\App\\Setup.exe");
    EXPECT_EQ(FreeBytes(), before - 65536) << "the stand-in counts as held";
    EXPECT_FAILS(RemoveDirectoryW(u"\\Program Files\\App"), FALSE, ERROR_DIR_NOT_EMPTY);
    plat::DeviceSetModulePath(u"\\Storage Card\\Setup.exe");
    EXPECT_EQ(FreeBytes(), before);
}

} // namespace
