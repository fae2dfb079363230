// registry.h (Win32 build) - opening the device's registry database is a
// device-only check here.
#ifndef CE_CONFORMANCE_REGISTRY_H
#define CE_CONFORMANCE_REGISTRY_H

#include <string>

namespace plat {

bool RegistryOpen(const std::string &deviceDir, std::string &error);
inline void RegistryClose() {}

} // namespace plat

#endif
