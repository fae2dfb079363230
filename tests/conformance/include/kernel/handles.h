// handles.h (Win32 build) - the device's handle table has no Win32
// counterpart: each call records a device-only check.
#ifndef CE_CONFORMANCE_HANDLES_H
#define CE_CONFORMANCE_HANDLES_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace plat {

enum class HandleKind { File, Find, RegKey, Window, Gdi, Icon, Module, Process };

struct HandleObject {
    virtual ~HandleObject() = default;
};

uint32_t HandleAlloc(HandleKind kind, std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> HandleGet(uint32_t handle, HandleKind kind);
bool HandleFree(uint32_t handle, HandleKind kind);
size_t HandleCount(HandleKind kind);

} // namespace plat

#endif
