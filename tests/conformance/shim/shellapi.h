// shellapi.h (Windows build shim) - the desktop shell header plus the
// Windows CE shell calls that the system uses and the desktop lacks.
#ifndef CE_SHIM_SHELLAPI_H
#define CE_SHIM_SHELLAPI_H

#include_next <shellapi.h>
#include <shlobj.h>

#ifdef __cplusplus
extern "C" {
#endif

// Windows CE: writes the shortcut file szShortcut ("N#target").
BOOL SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget);
// Windows CE: loads a BMP file as a bitmap.
HBITMAP SHLoadDIBitmap(LPCWSTR szFileName);

#ifdef __cplusplus
}
#endif

#endif
