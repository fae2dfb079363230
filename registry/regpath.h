// regpath.h - registry keys named by text: root names, key paths relative to
// a parent, deletion of a key with its whole subtree, and the reference
// counts of files and shortcuts shared by several installations.
//
// None of these shows a message; failures are returned to the caller.
#ifndef CESETUP_REGISTRY_REGPATH_H
#define CESETUP_REGISTRY_REGPATH_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Capacities of converted names in UTF-16 units, terminator included.
#define REGPATH_KEY_CCH 256
#define REGPATH_SHARED_CCH 260

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER" (any case) -> the root; 0 for
// any other name.
HKEY RegRootFromName(const char *pszName);

// Opens (fCreate 0) or opens and creates (fCreate 1, class
// "ParvellRegClass") hParent\pszPath. Returns the key, which the caller
// closes with RegCloseKey, or 0 on any failure (also for a path that does
// not fit in REGPATH_KEY_CCH units: it is refused, never cut).
HKEY RegOpenKeyPath(const char *pszPath, HKEY hParent, BOOL fCreate);

// Takes (fAdd 1) or releases (fAdd 0) one reference to the shared object
// pszPath (its full device path) under HKEY_LOCAL_MACHINE
// "Software\Apps\Shared". *pdwCount (optional) receives the count after the
// change, 0 when the value was removed. Returns 1 on success, 0 on failure
// (*pdwCount untouched). Releasing an object that was never counted
// succeeds with 0 and creates nothing.
BOOL SharedFileCount(BOOL fAdd, const char *pszPath, DWORD *pdwCount);

// Deletes hParent\pszPath (a byte string) with all its subkeys; see
// RegDeleteKeyTree.
LONG RegDeleteKeyPath(HKEY hParent, const char *pszPath);

// Deletes hParent\pszName with all its subkeys. Returns 0 on success (also
// when the key did not exist) or the platform's error. An empty or null
// name is refused with ERROR_INVALID_PARAMETER and deletes nothing.
LONG RegDeleteKeyTree(HKEY hParent, const WCHAR *pszName);

#ifdef __cplusplus
}
#endif

#endif
