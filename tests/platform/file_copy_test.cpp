// file_copy_test.cpp - CeCopyFileBlock: a read and the write of what was
// read, in one call, whether the host copies between the files itself or
// the bytes go through the caller's buffer.
#include "file_testutil.h"
#include "kernel/device.h"
#include "kernel/faults.h"

#include <vector>

using namespace filetest;

namespace {

class FileCopy : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        DeviceFixture::TearDown();
    }
};

DWORD Where(HANDLE h)
{
    return SetFilePointer(h, 0, nullptr, FILE_CURRENT);
}

// Each row opens the source and the destination its way, moves both to a
// starting point, copies in blocks until the end and checks the bytes and
// both positions. The source's share mode decides whether the host copies
// (a source nobody else may write) or the buffer carries the bytes.
TEST_F(FileCopy, CopiesFromEachPositionAsAReadAndAWriteWould)
{
    struct Row {
        const char *what;
        size_t size;    // of the source
        DWORD block;    // bytes asked for a call
        DWORD skip;     // source bytes read before the copy (its read-ahead filled)
        DWORD destOld;  // bytes the destination holds already
        DWORD destAt;   // where its position is when the copy starts
        DWORD srcShare; // FILE_SHARE_WRITE: another handle may change it
        bool destRead;  // the destination read (and so read ahead) before
    };
    const DWORD SR = FILE_SHARE_READ;
    const Row rows[] = {
        {"whole file in blocks", 100000, 32000, 0, 0, 0, SR, false},
        {"after a small read", 70000, 32000, 100, 0, 0, SR, false},
        {"over old bytes, then past them", 50000, 10000, 0, 20000, 5000, SR, false},
        {"over old bytes read ahead", 4000, 4000, 0, 8000, 100, SR, true},
        {"a source others may write", 70000, 32000, 3, 0, 0, SR | FILE_SHARE_WRITE, false},
        {"one block larger than the file", 1000, 32000, 0, 0, 0, SR, false},
        {"an empty source", 0, 32000, 0, 0, 0, SR, false},
    };
    int n = 0;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        std::u16string src = u"\\Temp\\src" + std::u16string(1, char16_t(u'a' + n));
        std::u16string dst = u"\\Temp\\dst" + std::u16string(1, char16_t(u'a' + n++));
        const std::string data = Pattern(r.size, n), old = Pattern(r.destOld, n + 50);
        ASSERT_TRUE(Put(src, data));
        ASSERT_TRUE(Put(dst, old));
        HANDLE hs = Open(src, GENERIC_READ, r.srcShare, OPEN_EXISTING);
        HANDLE hd = Open(dst, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
        ASSERT_NE(hs, INVALID_HANDLE_VALUE);
        ASSERT_NE(hd, INVALID_HANDLE_VALUE);
        std::vector<char> head(r.skip + 1);
        DWORD got = 0;
        ASSERT_TRUE(ReadFile(hs, head.data(), r.skip, &got, nullptr));
        ASSERT_EQ(got, r.skip);
        if (r.destRead) {
            ASSERT_EQ(ReadSome(hd, 10), old.substr(0, 10));
        }
        ASSERT_EQ(SetFilePointer(hd, LONG(r.destAt), nullptr, FILE_BEGIN), r.destAt);

        std::vector<char> buf(r.block);
        DWORD total = 0, copied = 1;
        int calls = 0;
        while (copied != 0 && ++calls < 100) {
            ASSERT_TRUE(CeCopyFileBlock(hs, hd, buf.data(), r.block, &copied)) << GetLastError();
            ASSERT_LE(copied, r.block);
            total += copied;
        }
        EXPECT_EQ(total, r.size - r.skip);
        EXPECT_EQ(Where(hs), DWORD(r.size)) << "the source is at its end";
        EXPECT_EQ(Where(hd), r.destAt + total) << "the destination is past what was written";

        // The destination's own handle reads what was written, also where
        // it had read before (its read-ahead must not keep old bytes).
        std::string want = old.substr(0, r.destAt) + data.substr(r.skip);
        if (old.size() > want.size())
            want += old.substr(want.size());
        std::vector<char> back(want.size() + 1);
        ASSERT_EQ(SetFilePointer(hd, 0, nullptr, FILE_BEGIN), 0u);
        ASSERT_TRUE(ReadFile(hd, back.data(), DWORD(back.size()), &got, nullptr));
        EXPECT_EQ(std::string(back.data(), got), want);
        CloseHandle(hs);
        CloseHandle(hd);
        EXPECT_EQ(Get(dst), want);
    }
}

// One handle as both ends reads its block, then writes it after what it
// read, as the two calls on that handle would.
TEST_F(FileCopy, OneHandleAsBothEndsWritesAfterWhatItRead)
{
    ASSERT_TRUE(Put(u"\\Temp\\one.bin", "abcdefgh"));
    HANDLE h = Open(u"\\Temp\\one.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[3];
    DWORD copied = 0;
    ASSERT_TRUE(CeCopyFileBlock(h, h, buf, 3, &copied)) << GetLastError();
    EXPECT_EQ(copied, 3u);
    EXPECT_EQ(Where(h), 6u);
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\Temp\\one.bin"), "abcabcgh");
}

// Failures leave what a failed read or write leaves, with its error: a full
// store and an injected write failure keep the destination's old end and
// give the store's bytes back; bad handles and access refuse the call.
TEST_F(FileCopy, FailuresKeepNothingOfTheWrite)
{
    plat::DeviceOverrides o;
    o.storageKb = "40";
    Reopen(o);
    ASSERT_TRUE(Put(u"\\Storage Card\\big.bin", Pattern(40000, 1)));
    ASSERT_TRUE(Put(u"\\Temp\\d.bin", std::string(30000, 'd')));
    const uint64_t free0 = FreeBytes();
    struct Row {
        const char *what;
        bool fault;     // the next write fails
        DWORD block;    // bytes asked for
        DWORD error;    // expected
    };
    const Row rows[] = {
        {"past the store's capacity", false, 40000, ERROR_DISK_FULL},
        {"an injected write failure", true, 20000, ERROR_DISK_FULL},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        HANDLE hs = Open(u"\\Storage Card\\big.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        HANDLE hd = Open(u"\\Temp\\d.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
        ASSERT_EQ(SetFilePointer(hd, 20000, nullptr, FILE_BEGIN), 20000u);
        if (r.fault)
            plat::FaultArm(plat::FaultKind::FileWrite, 1);
        std::vector<char> buf(r.block);
        DWORD copied = 77;
        EXPECT_FAILS(CeCopyFileBlock(hs, hd, buf.data(), r.block, &copied), FALSE, r.error);
        EXPECT_EQ(copied, 0u);
        EXPECT_EQ(GetFileSize(hd, nullptr), 30000u) << "the old end stays";
        EXPECT_EQ(Where(hd), 20000u);
        CloseHandle(hs);
        CloseHandle(hd);
        EXPECT_EQ(FreeBytes(), free0) << "no store bytes kept";
        EXPECT_EQ(Get(u"\\Temp\\d.bin"), std::string(30000, 'd'));
    }

    HANDLE hs = Open(u"\\Storage Card\\big.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE hw = Open(u"\\Temp\\w.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
    HANDLE hr = Open(u"\\Temp\\d.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    char buf[16];
    DWORD copied = 0;
    EXPECT_FAILS(CeCopyFileBlock(hs, HANDLE(0x1234), buf, 16, &copied), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(CeCopyFileBlock(hs, hr, buf, 16, &copied), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CeCopyFileBlock(hw, hr, buf, 16, &copied), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CeCopyFileBlock(hs, hw, nullptr, 16, &copied), FALSE, ERROR_INVALID_PARAMETER);
    CloseHandle(hs);
    CloseHandle(hw);
    CloseHandle(hr);
}

} // namespace
