// shortcut.cpp - SHCreateShortcut: the device's shortcut files.
//
// A shortcut is a small text file, "N#TARGET", where N is the number of
// UTF-16 units of TARGET, written in the system code page (1252) with no
// line end; characters outside the code page become '?'. It is written
// through the file calls, so the store's capacity and sharing rules hold,
// and a shortcut that cannot be written completely is not left behind.
#include <windows.h>
#include <shellapi.h>

#include <string>

// SHCreateShortcut
BOOL SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget)
{
    if (!szShortcut || !szTarget) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int units = lstrlenW(szTarget);
    std::string text = std::to_string(units) + "#";
    if (units > 0) {
        int n = WideCharToMultiByte(CP_ACP, 0, szTarget, units, nullptr, 0, nullptr, nullptr);
        if (n <= 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        size_t at = text.size();
        text.resize(at + static_cast<size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, szTarget, units, &text[at], n, nullptr, nullptr);
    }
    HANDLE h = CreateFileW(szShortcut, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    DWORD error = GetLastError();
    CloseHandle(h);
    if (!ok || written != text.size()) {
        DeleteFileW(szShortcut);
        SetLastError(ok ? ERROR_DISK_FULL : error);
        return FALSE;
    }
    return TRUE;
}
