// handles.h - the device's one handle table.
//
// Every kernel, registry, window and GDI object is reached through a 32-bit
// handle from this table, so that a stale handle, or a handle of another kind
// (a file handle passed as a window), is recognised and refused instead of
// being dereferenced. Values are multiples of 4 from 0x100 up; they never
// reach 0x80000000 (the predefined registry roots) nor -1. A freed value is
// not given again until thousands of other handles have been made.
#ifndef CE_PLATFORM_HANDLES_H
#define CE_PLATFORM_HANDLES_H

#include <atomic>
#include <cassert>
#include <cstdint>
#include <memory>

#include "kernel/threadlock.h"

namespace plat {

enum class HandleKind {
    File,
    Find,
    RegKey,
    Window,
    Gdi,
    Icon,
    Module,
    Process,
};

struct HandleObject {
    virtual ~HandleObject() = default;
};

// The table's slots, looked up inline: painting looks up about sixty
// window and GDI handles a progress step.
namespace handle_table {
constexpr uint32_t kFirst = 0x100; // handles start here, in steps of 4
constexpr int kIndexBits = 17;     // at most 128K live handles; the rest of a value is the generation
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
// Small chunks: a short run that makes a few hundred handles touches a few
// pages of slots, not a 128 KB chunk made whole at its first handle.
constexpr int kChunkBits = 8;
constexpr uint32_t kChunkSize = 1u << kChunkBits;
constexpr uint32_t kChunks = (kIndexMask + 1) / kChunkSize;

// What a slot holds, as one word that a look-up compares at once: the
// live handle (0 while free), its kind, and a subtype the kind's area may
// give (a GDI object's type), so that a look-up for one type need not read
// the object.
constexpr uint64_t SlotId(uint32_t handle, HandleKind kind, uint8_t sub = 0)
{
    return uint64_t(sub) << 40 | uint64_t(uint8_t(kind)) << 32 | handle;
}
constexpr uint64_t kIdAnySub = (uint64_t(1) << 40) - 1; // the handle and kind, without the subtype

struct Slot {
    std::atomic<bool> busy{false}; // the slot's own lock, held only to copy or change it
    uint32_t generation = 0;
    uint64_t id = 0; // SlotId; 0 while free
    std::shared_ptr<HandleObject> object;

    uint32_t Handle() const { return uint32_t(id); }
    // Live with this handle and kind, of any subtype.
    bool Is(uint32_t handle, HandleKind kind) const { return (id & kIdAnySub) == SlotId(handle, kind); }

    // Not taken while the process has one thread (see threadlock.h): its
    // atomic exchange was the larger part of a look-up. Releasing stays
    // unconditional, a plain store either way.
    void Lock()
    {
        if (ProcessAlone())
            return;
        while (busy.exchange(true, std::memory_order_acquire))
            while (busy.load(std::memory_order_relaxed)) {
            }
    }
    void Unlock() { busy.store(false, std::memory_order_release); }
};

extern std::atomic<Slot *> g_chunks[kChunks]; // made on demand, kept for the process
extern std::atomic<uint32_t> g_slots;         // slots made so far

__attribute__((always_inline)) inline Slot *SlotAt(uint32_t index)
{
    Slot *chunk = g_chunks[index >> kChunkBits].load(std::memory_order_acquire);
    return chunk ? &chunk[index & (kChunkSize - 1)] : nullptr;
}

// The slot a handle value would name, or null when no slot can hold it.
// Only 0 needs refusing here: a free slot's handle is 0, and every other
// value that is not a live handle (out of range, not a multiple of 4, of a
// slot not yet used) differs from the handle of the slot it lands on.
__attribute__((always_inline)) inline Slot *SlotOf(uint32_t handle)
{
    if (handle == 0)
        return nullptr;
    return SlotAt(((handle - kFirst) / 4) & kIndexMask);
}
// Generations of a slot; the largest handle stays below 0x80000000 (the
// predefined registry roots) and -1.
constexpr uint32_t kGenerations = ((0x80000000u - kFirst) / 4) >> kIndexBits;
static_assert(kFirst + 4ull * (((kGenerations - 1) << kIndexBits) | kIndexMask) < 0x80000000u,
              "the largest handle must stay below the registry roots");
// A freed slot waits behind at least this many others before it is used
// again, and comes back with the next generation: a value comes back only
// after kReuseDelay * kGenerations (two million) handles were made, so a
// stale handle is refused for a long while instead of reaching a new
// object. Few slots go round (painting makes and frees several handles a
// step), so the slot a new handle takes is still in the cache: with 4,096
// of them its first touch was a miss, 1.5% of an install's CPU.
constexpr size_t kReuseDelay = 512;
static_assert(kReuseDelay * kGenerations >= 2000000, "values come back only after millions of handles");

// Freed slots, oldest first: a ring whose size is a power of two, grown
// when full. Two slots go round it a paint step; a deque's block
// book-keeping cost more than the rest of making a handle. Guarded by the
// table's lock (not taken while the process is alone); constant-initialised
// and never freed, so that it is there before and after any other code.
class FreeRing {
public:
    size_t size() const { return size_t(tail_ - head_); }
    bool empty() const { return tail_ == head_; }
    uint32_t front() const { return ring_[head_ & mask_]; }
    void pop_front() { ++head_; }
    void push_back(uint32_t index)
    {
        if (size() == capacity_)
            Grow();
        ring_[tail_++ & mask_] = index;
    }

private:
    void Grow();
    uint32_t *ring_ = nullptr;
    size_t capacity_ = 0;
    size_t mask_ = 0;
    size_t head_ = 0, tail_ = 0; // counts: the ring holds [head_, tail_)
};
extern FreeRing g_free;

// A live slot's handle removed (its locks held, or the process alone):
// the slot goes to the back of the free list with its next generation,
// its object moved into `into`.
inline void ReleaseInto(Slot &s, uint32_t handle, std::shared_ptr<HandleObject> &into)
{
    into = std::move(s.object);
    s.id = 0;
    // The next generation, round to 0 after the last (a division here
    // was a tenth of freeing a handle).
    if (++s.generation == kGenerations)
        s.generation = 0;
    g_free.push_back(uint32_t((handle - kFirst) / 4) & kIndexMask);
}

// The general cases of HandleAlloc and HandleTakeInto, under the locks.
uint32_t AllocLocked(HandleKind kind, std::shared_ptr<HandleObject> &object, uint8_t sub);
bool TakeIntoLocked(Slot &s, uint32_t handle, HandleKind kind, std::shared_ptr<HandleObject> &into);
} // namespace handle_table

// Registers the object and returns its new handle (0 when the table is full);
// sub: the subtype a look-up may ask for (see SlotId). Inline: painting
// makes and frees several handles a step, and the usual case (the process
// alone, a freed slot that has waited long enough) is a few instructions.
__attribute__((always_inline)) inline uint32_t HandleAlloc(HandleKind kind, std::shared_ptr<HandleObject> object,
                                                           uint8_t sub = 0)
{
    using namespace handle_table;
    assert(object && "a handle always names an object");
    assert(kind >= HandleKind::File && kind <= HandleKind::Process);
    if (!ProcessAlone() || g_free.size() <= kReuseDelay)
        return AllocLocked(kind, object, sub);
    uint32_t index = g_free.front();
    g_free.pop_front();
    // The next handle takes the next slot, long out of the cache: fetched now.
    if (Slot *next = g_free.empty() ? nullptr : SlotAt(g_free.front()))
        __builtin_prefetch(next, 1);
    Slot &s = *SlotAt(index);
    uint32_t h = kFirst + 4 * ((s.generation << kIndexBits) | index);
    assert(h >= kFirst && h % 4 == 0 && h < 0x80000000u);
    s.id = SlotId(h, kind, sub);
    s.object = std::move(object);
    return h;
}

// Calls fn with the object behind a live handle of the given kind, while
// the handle cannot be freed; fn must not use the table. Nothing is called
// for a stale or foreign handle.
template <class F> inline void HandleVisit(uint32_t handle, HandleKind kind, F &&fn)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return;
    s->Lock();
    if (s->Is(handle, kind))
        fn(s->object);
    s->Unlock();
}

// The object behind a live handle of the given kind, or null.
std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind);

template <class T> std::shared_ptr<T> HandleGetAs(uint32_t handle, HandleKind kind)
{
    // Made straight from the table's pointer: one count taken, none given back.
    std::shared_ptr<T> out;
    HandleVisit(handle, kind, [&](const std::shared_ptr<HandleObject> &object) {
        out = std::shared_ptr<T>(object, static_cast<T *>(object.get()));
    });
    return out;
}

// An object looked up for the length of one call that frees nothing and
// calls nothing back. While the process has one thread nothing can free
// it meanwhile, so no count is taken (a paint looks up some sixty objects);
// with other threads it is held. Not to be kept past a call that may free
// it.
template <class T> class HandleRef {
public:
    HandleRef() = default;
    HandleRef(std::nullptr_t) {}
    // From the table's pointer to a live object of type T; held when other
    // threads may free it meanwhile.
    __attribute__((always_inline)) HandleRef(const std::shared_ptr<HandleObject> &owner, bool alone) : p_(static_cast<T *>(owner.get()))
    {
        if (alone)
            owner_ = &owner;
        else
            hold_ = owner;
    }
    T *operator->() const { return p_; }
    T &operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T *get() const { return p_; }
    // Shared ownership of the object (or of a part it is), to keep it.
    template <class U = T> std::shared_ptr<U> Share() const
    {
        if (!p_)
            return nullptr;
        return std::shared_ptr<U>(owner_ ? *owner_ : hold_, static_cast<U *>(p_));
    }

private:
    T *p_ = nullptr;
    const std::shared_ptr<HandleObject> *owner_ = nullptr; // the table's own, while alone
    std::shared_ptr<HandleObject> hold_;
};

// The object behind a live handle of the given kind and subtype (see
// SlotId), borrowed (see HandleRef), or null. Inline at every call: a call
// and a returned record cost as much as the look-up itself.
template <class T>
__attribute__((always_inline)) inline HandleRef<T> HandlePeekSub(uint32_t handle, HandleKind kind, uint8_t sub)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return nullptr;
    uint64_t id = handle_table::SlotId(handle, kind, sub);
    if (ProcessAlone())
        return s->id == id ? HandleRef<T>(s->object, true) : nullptr;
    s->Lock();
    HandleRef<T> out = s->id == id ? HandleRef<T>(s->object, false) : nullptr;
    s->Unlock();
    return out;
}

// The object behind a live handle of the given kind (of any subtype),
// borrowed, or null.
template <class T> __attribute__((always_inline)) inline HandleRef<T> HandlePeek(uint32_t handle, HandleKind kind)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return nullptr;
    if (ProcessAlone())
        return s->Is(handle, kind) ? HandleRef<T>(s->object, true) : nullptr;
    s->Lock();
    HandleRef<T> out = s->Is(handle, kind) ? HandleRef<T>(s->object, false) : nullptr;
    s->Unlock();
    return out;
}

// Removes a live handle of the given kind; false when it is stale or foreign.
bool HandleFree(uint32_t handle, HandleKind kind);

// The same, handing the object to the caller instead of dropping it (null
// when the handle is stale or foreign): an object nothing else holds may
// then serve the next handle of its kind.
std::shared_ptr<HandleObject> HandleTake(uint32_t handle, HandleKind kind);

// The same, moving the object straight into `into` (which must be empty;
// left so when the handle is stale or foreign): false when nothing was
// taken. Spares no shared pointer passed along on the way to where a
// freed object is kept.
inline bool HandleTakeInto(uint32_t handle, HandleKind kind, std::shared_ptr<HandleObject> &into)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return false;
    if (!ProcessAlone())
        return handle_table::TakeIntoLocked(*s, handle, kind, into);
    if (!s->Is(handle, kind))
        return false;
    handle_table::ReleaseInto(*s, handle, into);
    return true;
}

// Number of live handles of a kind (tests use it to find leaks).
size_t HandleCount(HandleKind kind);

// Drops every handle (a device is closed, or a test starts afresh).
void HandleReset();

// How many times HandleReset has run: lists of handles kept elsewhere need
// looking over only when it moved.
extern std::atomic<uint64_t> g_handleResets;
inline uint64_t HandleResetCount()
{
    return g_handleResets.load(std::memory_order_acquire);
}

} // namespace plat

#endif
