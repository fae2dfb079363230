// shell_ce.cpp (Windows build shim) - the Windows CE shell calls on the
// desktop: a shortcut is the CE text form, a bitmap loads from its file.
#include <windows.h>

#include "shellapi.h"

extern "C" BOOL SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget)
{
    char target[MAX_PATH * 2];
    int n = WideCharToMultiByte(CP_ACP, 0, szTarget, -1, target, sizeof target, nullptr, nullptr);
    if (n <= 0)
        return FALSE;
    char text[MAX_PATH * 2 + 16];
    int len = wsprintfA(text, "%d#%s", lstrlenW(szTarget), target);
    HANDLE h = CreateFileW(szShortcut, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text, static_cast<DWORD>(len), &written, nullptr) && written == static_cast<DWORD>(len);
    CloseHandle(h);
    return ok;
}

extern "C" HBITMAP SHLoadDIBitmap(LPCWSTR szFileName)
{
    return static_cast<HBITMAP>(LoadImageW(nullptr, szFileName, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}
