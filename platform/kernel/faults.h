// faults.h - fault injection for tests.
//
// A test arms a counter: the n-th following operation of that kind fails as
// the device would fail it (a file write with ERROR_DISK_FULL, a registry
// commit with ERROR_REGISTRY_IO_FAILED, an allocation with no memory). Tests
// loop over n = 1, 2, 3, ... until the operation under test succeeds and
// check that every failure left a consistent state.
#ifndef CE_PLATFORM_FAULTS_H
#define CE_PLATFORM_FAULTS_H

namespace plat {

enum class FaultKind {
    FileWrite,      // WriteFile
    RegistryCommit, // every registry change
    Alloc,          // LocalAlloc and the platform's own system-code allocations
    // The process is killed in the middle of a change to the device's table
    // of open files (a handle's entry being removed), holding its mutex.
    ShareTableKill,
    Count
};

// Makes the n-th following operation of the kind fail (n >= 1); 0 disarms.
void FaultArm(FaultKind kind, int n);

// Called by the operation; true when this call must fail. Once the armed
// call has failed the counter is disarmed.
bool FaultHit(FaultKind kind);

// Whether the armed fault has fired since it was armed.
bool FaultFired(FaultKind kind);

void FaultResetAll();

} // namespace plat

#endif
