// handles.cpp - the device's handle table (see internal/handles.h).
#include "kernel/handles.h"

#include <cassert>

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace plat {
namespace {

struct Entry {
    HandleKind kind;
    std::shared_ptr<HandleObject> object;
};

std::mutex g_lock;
std::unordered_map<uint32_t, Entry> g_table;
uint32_t g_next = 0x100;

// Each thread remembers the last handle it looked up, so that the calls a
// loop makes on one handle (a line reader reading and seeking) skip the
// table; any handle freed makes every thread look again.
std::atomic<uint64_t> g_frees{0};
struct LastLookup {
    uint32_t handle = 0;
    HandleKind kind = HandleKind::File;
    uint64_t frees = 0;
    std::weak_ptr<HandleObject> object;
};
thread_local LastLookup t_last;

} // namespace

uint32_t HandleAlloc(HandleKind kind, std::shared_ptr<HandleObject> object)
{
    assert(object && "a handle always names an object");
    assert(kind >= HandleKind::File && kind <= HandleKind::Process);
    std::lock_guard<std::mutex> guard(g_lock);
    // Handles are not reused soon after they are freed, so that a stale
    // handle is refused instead of reaching a new object.
    for (uint32_t tries = 0; tries < 0x1fffff00u / 4; ++tries) {
        uint32_t h = g_next;
        g_next += 4;
        if (g_next >= 0x7ffffff0u)
            g_next = 0x100;
        if (g_table.find(h) == g_table.end()) {
            // Never a predefined registry root, never -1, never 0.
            assert(h >= 0x100 && h % 4 == 0 && h < 0x80000000u);
            g_table.emplace(h, Entry{kind, std::move(object)});
            return h;
        }
    }
    return 0;
}

std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind)
{
    LastLookup &last = t_last;
    if (last.handle == handle && last.kind == kind && last.frees == g_frees.load(std::memory_order_acquire)) {
        if (auto object = last.object.lock())
            return object;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_table.find(handle);
    if (it == g_table.end() || it->second.kind != kind)
        return nullptr;
    last.handle = handle;
    last.kind = kind;
    last.frees = g_frees.load(std::memory_order_acquire);
    last.object = it->second.object;
    return it->second.object;
}

bool HandleFree(uint32_t handle, HandleKind kind)
{
    std::shared_ptr<HandleObject> dying;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_table.find(handle);
        if (it == g_table.end() || it->second.kind != kind)
            return false;
        dying = std::move(it->second.object);
        g_table.erase(it);
        g_frees.fetch_add(1, std::memory_order_acq_rel);
    }
    // The object is destroyed outside the lock: its destructor may close
    // other handles.
    dying.reset();
    return true;
}

size_t HandleCount(HandleKind kind)
{
    std::lock_guard<std::mutex> guard(g_lock);
    size_t n = 0;
    for (const auto &e : g_table)
        if (e.second.kind == kind)
            ++n;
    return n;
}

void HandleReset()
{
    std::unordered_map<uint32_t, Entry> old;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        old.swap(g_table);
        g_next = 0x100;
        g_frees.fetch_add(1, std::memory_order_acq_rel);
    }
}

} // namespace plat
