// kernel_ce.cpp (Windows build shim) - the device's own file call on the
// desktop: the read and the write it stands for.
#include <windows.h>

extern "C" BOOL CeCopyFileBlock(HANDLE hSource, HANDLE hDest, LPVOID lpBuffer, DWORD nNumberOfBytes,
                                LPDWORD lpNumberOfBytesCopied)
{
    DWORD got = 0, written = 0;
    if (lpNumberOfBytesCopied)
        *lpNumberOfBytesCopied = 0;
    if (!ReadFile(hSource, lpBuffer, nNumberOfBytes, &got, nullptr))
        return FALSE;
    if (got && !WriteFile(hDest, lpBuffer, got, &written, nullptr))
        return FALSE;
    if (lpNumberOfBytesCopied)
        *lpNumberOfBytesCopied = written;
    return TRUE;
}
