// regpath.cpp - registry keys by root name and text path, deletion of whole
// subtrees, and the shared counts of files and shortcuts.
//
// Paths that do not fit their buffers are refused rather than cut: a cut
// path names another key (deleting it would delete the wrong tree) and a
// cut file path would share its count with another file.
#include <windows.h>

#include "registry/records.h"
#include "registry/regpath.h"
#include "support/xstr.h"

// The access mask of a key opened for reading (KEY_READ).
#define REGPATH_OPEN_ACCESS 0x20019
// The access mask of a key opened for deleting its subkeys (KEY_WRITE).
#define REGPATH_DELETE_ACCESS 0x20006

HKEY RegRootFromName(const char *pszName)
{
    if (!pszName)
        return 0;
    if (XStr_ICompare(pszName, "HKEY_LOCAL_MACHINE") == 0)
        return HKEY_LOCAL_MACHINE;
    if (XStr_ICompare(pszName, "HKEY_CURRENT_USER") == 0)
        return HKEY_CURRENT_USER;
    return 0;
}

HKEY RegOpenKeyPath(const char *pszPath, HKEY hParent, BOOL fCreate)
{
    WCHAR szPath[REGPATH_KEY_CCH];
    WCHAR szClass[32];
    HKEY hKey = 0;
    DWORD dwDisposition = 0;
    LONG lResult;

    if (!pszPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (XStr_Length(pszPath) >= REGPATH_KEY_CCH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    XStr_String2TString(pszPath, szPath, REGPATH_KEY_CCH);
    if (fCreate) {
        XStr_CopyW(szClass, g_RegNames.pszClass);
        lResult = RegCreateKeyExW(hParent, szPath, 0, szClass, 0, 0, NULL, &hKey, &dwDisposition);
    } else {
        lResult = RegOpenKeyExW(hParent, szPath, 0, REGPATH_OPEN_ACCESS, &hKey);
    }
    if (lResult != ERROR_SUCCESS)
        return 0;
    return hKey;
}

// Results of a value deletion that mean "the value is gone".
static BOOL IsGone(LONG lResult)
{
    return lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND ||
           lResult == ERROR_PATH_NOT_FOUND || lResult == ERROR_INVALID_PARAMETER;
}

BOOL SharedFileCount(BOOL fAdd, const char *pszPath, DWORD *pdwCount)
{
    WCHAR szName[REGPATH_SHARED_CCH];
    HKEY hKey;
    DWORD dwCount = 0;
    DWORD dwType = 0;
    DWORD cbData = sizeof(dwCount);
    LONG lResult;

    // The unnamed value is not an object's count.
    if (!pszPath || pszPath[0] == 0 || XStr_Length(pszPath) >= REGPATH_SHARED_CCH)
        return 0;
    XStr_String2TString(pszPath, szName, REGPATH_SHARED_CCH);

    hKey = RegOpenKeyPath(g_RegNames.pszSharedKey, HKEY_LOCAL_MACHINE, fAdd);
    if (!hKey) {
        if (fAdd)
            return 0;
        // Only a shared key that does not exist means "never counted"; any
        // other failure must not let the caller delete a file still in use.
        lResult = (LONG)GetLastError();
        if (lResult != ERROR_FILE_NOT_FOUND && lResult != ERROR_PATH_NOT_FOUND)
            return 0;
        if (pdwCount)
            *pdwCount = 0;
        return 1;
    }

    lResult = RegQueryValueExW(hKey, szName, NULL, &dwType, (LPBYTE)&dwCount, &cbData);
    if (lResult == ERROR_SUCCESS) {
        if (dwType != REG_DWORD || cbData != sizeof(dwCount)) {
            RegCloseKey(hKey);
            return 0;
        }
    } else if (lResult == ERROR_FILE_NOT_FOUND) {
        dwCount = 0;
    } else {
        // Unreadable (too long, registry failure): not "absent", so it is
        // neither overwritten nor deleted.
        RegCloseKey(hKey);
        return 0;
    }

    if (fAdd) {
        if (dwCount == 0xFFFFFFFFu) {
            RegCloseKey(hKey);
            return 0;
        }
        dwCount++;
        lResult = RegSetValueExW(hKey, szName, 0, REG_DWORD, (const BYTE *)&dwCount,
                                 sizeof(dwCount));
        if (lResult != ERROR_SUCCESS) {
            RegCloseKey(hKey);
            return 0;
        }
    } else {
        if (dwCount > 0)
            dwCount--;
        if (dwCount > 0) {
            lResult = RegSetValueExW(hKey, szName, 0, REG_DWORD, (const BYTE *)&dwCount,
                                     sizeof(dwCount));
            if (lResult != ERROR_SUCCESS) {
                RegCloseKey(hKey);
                return 0;
            }
        } else {
            // A count of 0 is never stored.
            lResult = RegDeleteValueW(hKey, szName);
            if (!IsGone(lResult)) {
                RegCloseKey(hKey);
                return 0;
            }
        }
    }
    if (pdwCount)
        *pdwCount = dwCount;
    RegCloseKey(hKey);
    return 1;
}

LONG RegDeleteKeyPath(HKEY hParent, const char *pszPath)
{
    WCHAR szPath[REGPATH_KEY_CCH];

    if (!pszPath)
        return ERROR_INVALID_PARAMETER;
    if (XStr_Length(pszPath) >= REGPATH_KEY_CCH)
        return ERROR_FILENAME_EXCED_RANGE;
    XStr_String2TString(pszPath, szPath, REGPATH_KEY_CCH);
    return RegDeleteKeyTree(hParent, szPath);
}

LONG RegDeleteKeyTree(HKEY hParent, const WCHAR *pszName)
{
    WCHAR szSubKey[REGPATH_KEY_CCH];
    WCHAR szPrevious[REGPATH_KEY_CCH];
    HKEY hKey = 0;
    DWORD cchSubKey;
    LONG lResult;

    // An empty name would name hParent itself and empty it of every subkey.
    if (!pszName || pszName[0] == 0)
        return ERROR_INVALID_PARAMETER;

    lResult = RegOpenKeyExW(hParent, pszName, 0, REGPATH_DELETE_ACCESS, &hKey);
    if (lResult == ERROR_SUCCESS) {
        szPrevious[0] = 0;
        for (;;) {
            // Always index 0: each subkey is gone before the next look.
            cchSubKey = REGPATH_KEY_CCH;
            lResult = RegEnumKeyExW(hKey, 0, szSubKey, &cchSubKey, NULL, NULL, NULL, NULL);
            if (lResult != ERROR_SUCCESS)
                break;
            // A subkey reported deleted but still there would loop forever.
            if (szPrevious[0] != 0 && XStr_CompareW(szSubKey, szPrevious) == 0) {
                lResult = ERROR_CANTWRITE;
                break;
            }
            lResult = RegDeleteKeyTree(hKey, szSubKey);
            if (lResult != ERROR_SUCCESS)
                break;
            XStr_CopyW(szPrevious, szSubKey);
        }
        RegCloseKey(hKey);
        if (lResult == ERROR_NO_MORE_ITEMS || lResult == ERROR_BADKEY)
            lResult = RegDeleteKeyW(hParent, pszName);
    }
    if (lResult == ERROR_FILE_NOT_FOUND || lResult == ERROR_PATH_NOT_FOUND ||
        lResult == ERROR_INVALID_PARAMETER)
        lResult = ERROR_SUCCESS;
    return lResult;
}
