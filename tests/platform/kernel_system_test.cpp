// kernel_system_test.cpp - the local heap: zeroing, growth, double free and
// injected allocation failures.
#include <cstring>

#include "file_testutil.h"
#include "kernel/faults.h"

namespace {

class KernelSystem : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        DeviceFixture::TearDown();
    }
};

TEST_F(KernelSystem, LocalHeap)
{
    BYTE *p = static_cast<BYTE *>(LocalAlloc(LPTR, 64));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0] | p[63], 0) << "LPTR memory is zeroed";
    memset(p, 0xab, 64);
    // A fixed block grows only when it may move; growing keeps the content.
    EXPECT_FAILS(LocalReAlloc(p, 128, LMEM_ZEROINIT), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalSize(p), 64u) << "a refused growth keeps the block";
    BYTE *q = static_cast<BYTE *>(LocalReAlloc(p, 128, LMEM_MOVEABLE | LMEM_ZEROINIT));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[63] * 1000 + q[64], 0xab * 1000) << "content kept, the new part zeroed";
    EXPECT_EQ(LocalFree(q), nullptr);
    EXPECT_FAILS(LocalFree(q), q, ERROR_INVALID_HANDLE); // freeing twice is refused
    plat::FaultArm(plat::FaultKind::Alloc, 1);
    EXPECT_FAILS(LocalAlloc(LPTR, 8), nullptr, ERROR_NOT_ENOUGH_MEMORY); // an injected failure
}

} // namespace
