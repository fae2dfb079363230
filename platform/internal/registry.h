// registry.h - what the device needs from the registry area.
#ifndef CE_PLATFORM_REGISTRY_H
#define CE_PLATFORM_REGISTRY_H

#include <string>

namespace plat {

// Opens (creating when missing) the registry database of the device whose
// folder is deviceDir. A damaged database is an error naming the file; it
// is never replaced.
bool RegistryOpen(const std::string &deviceDir, std::string &error);

// Closes the database; open key handles become stale.
void RegistryClose();

} // namespace plat

#endif
