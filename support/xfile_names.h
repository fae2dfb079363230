// xfile_names.h - the byte-string to device name conversion shared by the
// file layer's units (not exported).
#ifndef CESETUP_SUPPORT_XFILE_NAMES_H
#define CESETUP_SUPPORT_XFILE_NAMES_H

#include <windows.h>

// FALSE for a name too long for the device: it is refused instead of being
// cut, since a cut name could open, delete or rename a different file.
BOOL XFileNameToWide(LPCSTR pszName, WCHAR *pszWide);

#endif
