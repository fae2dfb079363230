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

// Calls fn with the object behind a live handle of the given kind, while
// the handle cannot be freed; fn must not use the table. Nothing is called
// for a stale or foreign handle.
void HandleVisit(uint32_t handle, HandleKind kind, void (*fn)(const std::shared_ptr<HandleObject> &, void *),
                 void *context);

// The object behind a live handle of the given kind, or null.
std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind);

template <class T> std::shared_ptr<T> HandleGetAs(uint32_t handle, HandleKind kind)
{
    // Made straight from the table's pointer: one count taken, none given back.
    std::shared_ptr<T> out;
    HandleVisit(
        handle, kind,
        [](const std::shared_ptr<HandleObject> &object, void *context) {
            *static_cast<std::shared_ptr<T> *>(context) =
                std::shared_ptr<T>(object, static_cast<T *>(object.get()));
        },
        &out);
    return out;
}

// Removes a live handle of the given kind; false when it is stale or foreign.
bool HandleFree(uint32_t handle, HandleKind kind);

// Number of live handles of a kind (tests use it to find leaks).
size_t HandleCount(HandleKind kind);

// Drops every handle (a device is closed, or a test starts afresh).
void HandleReset();

// How many times HandleReset has run: lists of handles kept elsewhere need
// looking over only when it moved.
uint64_t HandleResetCount();

} // namespace plat

#endif
