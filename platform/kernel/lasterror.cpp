// lasterror.cpp - the calling thread's last error (GetLastError/SetLastError).
#include <windows.h>

namespace {
thread_local DWORD t_lastError = 0;
}

// GetLastError
DWORD GetLastError(void)
{
    return t_lastError;
}

// SetLastError
void SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}
