// handles.cpp - the device's handle table (see handles.h).
//
// A handle names a slot of the table and the slot's generation, so that a
// look-up is an index, not a search: painting looks up a few hundred
// window and GDI handles a frame. Slots live in chunks that are never moved
// or freed, so a look-up takes only its slot's lock, never the table's; the
// table's lock guards the free list and the growing of the table.
#include "kernel/handles.h"
#include "kernel/threadlock.h"

#include <cassert>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace plat {

std::atomic<uint64_t> g_handleResets{0};

namespace handle_table {
std::atomic<Slot *> g_chunks[kChunks];
std::atomic<uint32_t> g_slots{0};
FreeRing g_free;

void FreeRing::Grow()
{
    size_t grown = capacity_ ? capacity_ * 2 : 1024;
    uint32_t *ring = new uint32_t[grown];
    for (size_t i = 0, n = size(); i < n; ++i)
        ring[i] = ring_[(head_ + i) & mask_];
    tail_ = size();
    head_ = 0;
    delete[] ring_;
    ring_ = ring;
    capacity_ = grown;
    mask_ = grown - 1;
}
} // namespace handle_table

namespace {

using namespace handle_table;

// The free list and the growing of the table. Held for a few instructions
// at a time, twice for every handle made and freed (a paint makes and frees
// several): a spin lock, yielding when it has to wait long (a reset holds it
// over the whole table). Not taken while the process has one thread.
struct TableLock {
    std::atomic<bool> held{false};
    void lock()
    {
        if (ProcessAlone())
            return;
        for (int spins = 0; held.exchange(true, std::memory_order_acquire);)
            while (held.load(std::memory_order_relaxed))
                if (++spins > 64)
                    std::this_thread::yield();
    }
    void unlock() { held.store(false, std::memory_order_release); }
};
TableLock g_lock;


// A slot for a new handle (table lock held): an old free one once enough
// wait, else a new one; UINT32_MAX when the table is full.
uint32_t TakeSlot()
{
    if (g_free.size() > kReuseDelay || (g_slots.load() > kIndexMask && !g_free.empty())) {
        uint32_t index = g_free.front();
        g_free.pop_front();
        // The next handle takes the next slot, long out of the cache (a
        // paint makes several handles within microseconds): fetched now.
        if (Slot *next = g_free.empty() ? nullptr : SlotAt(g_free.front()))
            __builtin_prefetch(next, 1);
        return index;
    }
    uint32_t index = g_slots.load();
    if (index > kIndexMask)
        return UINT32_MAX;
    uint32_t chunk = index >> kChunkBits;
    if (!g_chunks[chunk].load()) {
        Slot *made = new (std::nothrow) Slot[kChunkSize];
        if (!made)
            return UINT32_MAX;
        g_chunks[chunk].store(made, std::memory_order_release);
    }
    g_slots.store(index + 1, std::memory_order_release);
    return index;
}

} // namespace

// The general case of HandleAlloc: under the locks, the table grown when
// no freed slot has waited long enough.
__attribute__((noinline)) uint32_t handle_table::AllocLocked(HandleKind kind, std::shared_ptr<HandleObject> &object,
                                                           uint8_t sub)
{
    std::lock_guard<TableLock> guard(g_lock);
    uint32_t index = TakeSlot();
    if (index == UINT32_MAX)
        return 0;
    Slot &s = *SlotAt(index);
    s.Lock();
    uint32_t h = kFirst + 4 * ((s.generation << kIndexBits) | index);
    // Never a predefined registry root, never -1, never 0.
    assert(h >= kFirst && h % 4 == 0 && h < 0x80000000u);
    s.id = SlotId(h, kind, sub);
    s.object = std::move(object);
    s.Unlock();
    return h;
}

std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind)
{
    return HandleGetAs<HandleObject>(handle, kind);
}

namespace {

inline std::shared_ptr<HandleObject> Release(Slot &s, uint32_t handle)
{
    std::shared_ptr<HandleObject> taken;
    ReleaseInto(s, handle, taken);
    return taken;
}

__attribute__((noinline)) std::shared_ptr<HandleObject> TakeLocked(Slot &s, uint32_t handle, HandleKind kind)
{
    std::lock_guard<TableLock> guard(g_lock);
    s.Lock();
    if (!s.Is(handle, kind)) {
        s.Unlock();
        return nullptr;
    }
    std::shared_ptr<HandleObject> taken = Release(s, handle);
    s.Unlock();
    return taken;
}

} // namespace

std::shared_ptr<HandleObject> HandleTake(uint32_t handle, HandleKind kind)
{
    Slot *s = SlotOf(handle);
    if (!s)
        return nullptr;
    // While the process is alone no lock can be wanted by another thread.
    if (!ProcessAlone())
        return TakeLocked(*s, handle, kind);
    if (!s->Is(handle, kind))
        return nullptr;
    return Release(*s, handle);
}

bool handle_table::TakeIntoLocked(Slot &s, uint32_t handle, HandleKind kind, std::shared_ptr<HandleObject> &into)
{
    into = TakeLocked(s, handle, kind);
    return into != nullptr;
}

bool HandleFree(uint32_t handle, HandleKind kind)
{
    // The object is destroyed outside the locks: its destructor may close
    // other handles.
    return HandleTake(handle, kind) != nullptr;
}

size_t HandleCount(HandleKind kind)
{
    std::lock_guard<TableLock> guard(g_lock);
    size_t n = 0;
    uint32_t slots = g_slots.load();
    for (uint32_t i = 0; i < slots; ++i) {
        Slot &s = *SlotAt(i);
        s.Lock();
        if (s.Handle() && s.Is(s.Handle(), kind))
            ++n;
        s.Unlock();
    }
    return n;
}

void HandleReset()
{
    std::vector<std::shared_ptr<HandleObject>> old;
    {
        std::lock_guard<TableLock> guard(g_lock);
        uint32_t slots = g_slots.load();
        for (uint32_t i = 0; i < slots; ++i) {
            Slot &s = *SlotAt(i);
            s.Lock();
            if (s.Handle()) {
                old.push_back(std::move(s.object));
                s.object.reset();
                s.id = 0;
                s.generation = (s.generation + 1) % kGenerations;
                g_free.push_back(i);
            }
            s.Unlock();
        }
    }
    g_handleResets.fetch_add(1, std::memory_order_acq_rel);
    // Destroyed outside the locks, as in HandleFree.
    old.clear();
}


} // namespace plat
