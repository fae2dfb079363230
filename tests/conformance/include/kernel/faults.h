// faults.h (Win32 build) - fault injection exists only on the emulated
// device: arming records a device-only check; resetting has nothing to undo.
#ifndef CE_CONFORMANCE_FAULTS_H
#define CE_CONFORMANCE_FAULTS_H

namespace plat {

enum class FaultKind { FileWrite, RegistryCommit, Alloc, ShareTableKill, Count };

void FaultArm(FaultKind kind, int n);
inline void FaultResetAll() {}

} // namespace plat

#endif
