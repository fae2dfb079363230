// registry.h - what the device needs from the registry area.
#ifndef CE_PLATFORM_REGISTRY_H
#define CE_PLATFORM_REGISTRY_H

#include <ostream>
#include <string>

namespace plat {

// Opens (creating when missing) the registry database of the device whose
// folder is deviceDir. A damaged database is an error naming the file; it
// is never replaced.
// Opens the device's registry. create: a missing or empty database is made
// (a new device); otherwise it is an error naming the file, as are a
// read-only device, a full disk and a damaged file. Nothing is replaced.
bool RegistryOpen(const std::string &deviceDir, std::string &error, bool create = true);

// Opens an existing device's registry for reading only (tools that change
// nothing): a read-only device folder or file is no error; every change is
// then refused.
bool RegistryOpenForReading(const std::string &deviceDir, std::string &error);

// Closes the database; open key handles become stale.
void RegistryClose();

// Writes the open device's registry, or the tree under keyUtf8 ("ROOT\\path"
// with the root in full; "" for everything), as REGEDIT4 text.
bool RegistryExport(std::ostream &out, const std::string &keyUtf8, std::string &error);

// Writes every key of the open device's registry as one JSON object a line.
bool RegistryDump(std::ostream &out, std::string &error);

} // namespace plat

#endif
