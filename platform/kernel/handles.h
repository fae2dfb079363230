// handles.h - the device's one handle table.
//
// Every kernel, registry, window and GDI object is reached through a 32-bit
// handle from this table, so that a stale handle, or a handle of another kind
// (a file handle passed as a window), is recognised and refused instead of
// being dereferenced. Values are multiples of 4 from 0x100 up; they never
// reach 0x80000000 (the predefined registry roots) nor -1.
#ifndef CE_PLATFORM_HANDLES_H
#define CE_PLATFORM_HANDLES_H

#include <cstdint>
#include <memory>

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

// The object behind a live handle of the given kind, or null.
std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind);

template <class T> std::shared_ptr<T> HandleGetAs(uint32_t handle, HandleKind kind)
{
    return std::static_pointer_cast<T>(HandleGet(handle, kind));
}

// Removes a live handle of the given kind; false when it is stale or foreign.
bool HandleFree(uint32_t handle, HandleKind kind);

// Number of live handles of a kind (tests use it to find leaks).
size_t HandleCount(HandleKind kind);

// Drops every handle (a device is closed, or a test starts afresh).
void HandleReset();

} // namespace plat

#endif
