// winbase.h (Windows build shim) - the desktop header plus the device's own
// file call that the system uses and the desktop lacks.
#ifndef CE_SHIM_WINBASE_H
#define CE_SHIM_WINBASE_H

#include_next <winbase.h>

#ifdef __cplusplus
extern "C" {
#endif

// Device: ReadFile into lpBuffer and WriteFile of what was read, in one call.
BOOL CeCopyFileBlock(HANDLE hSource, HANDLE hDest, LPVOID lpBuffer, DWORD nNumberOfBytes,
                     LPDWORD lpNumberOfBytesCopied);

#ifdef __cplusplus
}
#endif

#endif
