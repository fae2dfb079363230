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

// Registers the object and returns its new handle (0 when the table is full).
uint32_t HandleAlloc(HandleKind kind, std::shared_ptr<HandleObject> object);

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

struct Slot {
    std::atomic<bool> busy{false}; // the slot's own lock, held only to copy or change it
    uint32_t handle = 0;           // 0 while free
    uint32_t generation = 0;
    HandleKind kind = HandleKind::File;
    std::shared_ptr<HandleObject> object;

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

inline Slot *SlotAt(uint32_t index)
{
    Slot *chunk = g_chunks[index >> kChunkBits].load(std::memory_order_acquire);
    return chunk ? &chunk[index & (kChunkSize - 1)] : nullptr;
}

// The slot a handle value would name, or null when no slot can hold it.
// Only 0 needs refusing here: a free slot's handle is 0, and every other
// value that is not a live handle (out of range, not a multiple of 4, of a
// slot not yet used) differs from the handle of the slot it lands on.
inline Slot *SlotOf(uint32_t handle)
{
    if (handle == 0)
        return nullptr;
    return SlotAt(((handle - kFirst) / 4) & kIndexMask);
}
} // namespace handle_table

// Calls fn with the object behind a live handle of the given kind, while
// the handle cannot be freed; fn must not use the table. Nothing is called
// for a stale or foreign handle.
template <class F> inline void HandleVisit(uint32_t handle, HandleKind kind, F &&fn)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return;
    s->Lock();
    if (s->handle == handle && s->kind == kind)
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
    HandleRef(const std::shared_ptr<HandleObject> &owner, bool alone) : p_(static_cast<T *>(owner.get()))
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

// The object behind a live handle of the given kind for which fits(object)
// holds, borrowed (see HandleRef), or null.
template <class T, class Fits> inline HandleRef<T> HandlePeekIf(uint32_t handle, HandleKind kind, Fits fits)
{
    handle_table::Slot *s = handle_table::SlotOf(handle);
    if (!s)
        return nullptr;
    auto live = [&] { return s->handle == handle && s->kind == kind && fits(*s->object); };
    if (ProcessAlone())
        return live() ? HandleRef<T>(s->object, true) : nullptr;
    s->Lock();
    HandleRef<T> out = live() ? HandleRef<T>(s->object, false) : nullptr;
    s->Unlock();
    return out;
}

// The object behind a live handle of the given kind, borrowed, or null.
template <class T> inline HandleRef<T> HandlePeek(uint32_t handle, HandleKind kind)
{
    return HandlePeekIf<T>(handle, kind, [](const HandleObject &) { return true; });
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
bool HandleTakeInto(uint32_t handle, HandleKind kind, std::shared_ptr<HandleObject> &into);

// Number of live handles of a kind (tests use it to find leaks).
size_t HandleCount(HandleKind kind);

// Drops every handle (a device is closed, or a test starts afresh).
void HandleReset();

// How many times HandleReset has run: lists of handles kept elsewhere need
// looking over only when it moved.
uint64_t HandleResetCount();

} // namespace plat

#endif
