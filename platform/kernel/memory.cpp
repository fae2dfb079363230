// memory.cpp - the local heap: LocalAlloc, LocalFree, LocalReAlloc, LocalSize.
//
// Memory is always fixed: the "handle" is the block's address. Live blocks
// are kept in a table, so that freeing a block twice or freeing a pointer
// that never came from here is refused (ERROR_INVALID_HANDLE) instead of
// corrupting the host heap. Allocations can be made to fail for tests.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <unordered_map>

#include "kernel/faults.h"
#include "kernel/threadlock.h"

namespace {

// Never destroyed, so that blocks freed by destructors at exit are still
// recognised.
plat::ThreadLock &g_lock = *new plat::ThreadLock;
std::unordered_map<void *, size_t> &Blocks()
{
    static auto *blocks = new std::unordered_map<void *, size_t>;
    return *blocks;
}

// LMEM_MOVEABLE, LMEM_NOCOMPACT, LMEM_NODISCARD, LMEM_ZEROINIT and the
// discard level bits; anything else is refused.
constexpr UINT kKnownFlags = LMEM_MOVEABLE | 0x0010u | 0x0020u | LMEM_ZEROINIT | 0x0f00u;

} // namespace

// LocalAlloc
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    if (uFlags & ~kKnownFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (plat::FaultHit(plat::FaultKind::Alloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A zero-sized block is still a distinct, freeable block.
    void *p = (uFlags & LMEM_ZEROINIT) ? calloc(1, uBytes ? uBytes : 1) : malloc(uBytes ? uBytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<plat::ThreadLock> guard(g_lock);
    Blocks()[p] = uBytes;
    return p;
}

// LocalFree
HLOCAL LocalFree(HLOCAL hMem)
{
    if (!hMem)
        return nullptr;
    {
        std::lock_guard<plat::ThreadLock> guard(g_lock);
        auto it = Blocks().find(hMem);
        if (it == Blocks().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
        Blocks().erase(it);
    }
    free(hMem);
    return nullptr;
}

// LocalReAlloc
HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags)
{
    if (uFlags & ~kKnownFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<plat::ThreadLock> guard(g_lock);
    auto it = Blocks().find(hMem);
    if (!hMem || it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    size_t old = it->second;
    if (uBytes <= old) {
        // Shrinking never moves the block.
        it->second = uBytes;
        return hMem;
    }
    // Fixed memory grows only where it may move.
    if (!(uFlags & LMEM_MOVEABLE) || plat::FaultHit(plat::FaultKind::Alloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void *p = realloc(hMem, uBytes);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (uFlags & LMEM_ZEROINIT)
        memset(static_cast<char *>(p) + old, 0, uBytes - old);
    Blocks().erase(it);
    Blocks()[p] = uBytes;
    return p;
}

// LocalSize
SIZE_T LocalSize(HLOCAL hMem)
{
    std::lock_guard<plat::ThreadLock> guard(g_lock);
    auto it = Blocks().find(hMem);
    if (!hMem || it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second;
}
