// folders.cpp - SHGetSpecialFolderPath: where the shell's special folders lie
// on the device.
#include <windows.h>
#include <shellapi.h>

namespace {

const WCHAR *FolderOf(int csidl)
{
    switch (csidl) {
    case CSIDL_PROGRAMS:
        return u"\\Windows\\Start Menu\\Programs";
    case CSIDL_STARTMENU:
        return u"\\Windows\\Start Menu";
    case CSIDL_DESKTOPDIRECTORY:
        return u"\\Windows\\Desktop";
    case CSIDL_PERSONAL:
        return u"\\My Documents";
    default:
        return nullptr;
    }
}

} // namespace

// SHGetSpecialFolderPath
BOOL SHGetSpecialFolderPath(HWND hwndOwner, LPWSTR lpszPath, int nFolder, BOOL fCreate)
{
    // The create flag is ignored: a new device already holds these folders.
    const WCHAR *path = FolderOf(nFolder);
    if (!lpszPath || !path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int i = 0;
    for (; path[i]; ++i)
        lpszPath[i] = path[i];
    lpszPath[i] = 0;
    return TRUE;
}
