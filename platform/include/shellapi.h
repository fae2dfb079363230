// shellapi.h - shell services of the emulated device: shortcuts, special
// folders and bitmap loading.
#ifndef CE_SHELLAPI_H
#define CE_SHELLAPI_H

#include "windef.h"

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010

CE_BEGIN_DECLS

// Writes the shortcut file LINK pointing at TARGET ("N#TARGET", code page 1252).
BOOL SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget);
// Device path of a special folder; the create flag is ignored.
BOOL SHGetSpecialFolderPath(HWND hwndOwner, LPWSTR lpszPath, int nFolder, BOOL fCreate);
// Loads a Windows BMP file as a bitmap; none when missing or not a bitmap.
HBITMAP SHLoadDIBitmap(LPCWSTR szFileName);

CE_END_DECLS

#define SHGetSpecialFolderPathW SHGetSpecialFolderPath

#endif
