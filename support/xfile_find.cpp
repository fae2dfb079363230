// xfile_find.cpp - file searches over a caller-owned find record.
//
// The record keeps the pattern (folder, backslash, mask), the current
// entry's name and full path, and a small heap holder for the system's
// search handle: a null holder means no search is open, so closing a
// cleared record is a clean error rather than a stray FindClose.
#include <windows.h>

#include "support/xec.h"
#include "support/xfile.h"

// Copies the current entry into the record. The full path is the pattern
// with its title (the part after the last backslash) replaced by the
// entry's name; FALSE when that does not fit in the record.
static BOOL FillEntry(XFILE_FIND *pFind, const WIN32_FIND_DATAW *pData)
{
    DWORD cchFolder, cchName;

    pFind->dwAttributes = pData->dwFileAttributes;
    pFind->dwSize = pData->nFileSizeLow;
    XStr_TString2String(pData->cFileName, pFind->szName, MAX_PATH);

    cchFolder = (DWORD)(XStr_GetFileTitlePtr(pFind->szPattern) - pFind->szPattern);
    for (cchName = 0; pFind->szName[cchName] != 0; cchName++)
        ;
    if (cchFolder + cchName >= MAX_PATH) {
        pFind->szFullPath[0] = 0;
        return FALSE;
    }
    XStr_ChangeFileTitle(pFind->szPattern, pFind->szName, pFind->szFullPath);
    return TRUE;
}

// The pattern: the folder, a backslash unless the folder is empty or
// already ends with one, and the mask. It must fit whole (a cut pattern
// would search somewhere else); FALSE and an empty pattern otherwise.
static BOOL BuildPattern(LPCSTR pszFolder, LPCSTR pszMask, char *pszPattern)
{
    DWORD cch = 0, i;

    if (pszFolder != NULL) {
        for (i = 0; pszFolder[i] != 0; i++) {
            if (cch >= MAX_PATH - 1)
                goto too_long;
            pszPattern[cch++] = pszFolder[i];
        }
        if (cch > 0 && pszPattern[cch - 1] != '\\') {
            if (cch >= MAX_PATH - 1)
                goto too_long;
            pszPattern[cch++] = '\\';
        }
    }
    for (i = 0; pszMask[i] != 0; i++) {
        if (cch >= MAX_PATH - 1)
            goto too_long;
        pszPattern[cch++] = pszMask[i];
    }
    pszPattern[cch] = 0;
    return TRUE;

too_long:
    pszPattern[0] = 0;
    return FALSE;
}

// XFile_FindFirstFileEx. The attribute filter is accepted and not used:
// every entry the system returns, folders included, is reported.
DWORD XFile_FindFirstFileEx(LPCSTR pszFolder, LPCSTR pszMask, DWORD dwAttrFilter, XFILE_FIND *pFind)
{
    WCHAR szWide[MAX_PATH];
    WIN32_FIND_DATAW data;
    HANDLE *phFind, hFind;
    DWORD i, dwErr;
    BYTE *pb;

    if (pFind == NULL)
        return XEC_INTERNAL;
    pb = (BYTE *)pFind;
    for (i = 0; i < sizeof(*pFind); i++)
        pb[i] = 0;
    if (pszMask == NULL)
        return XEC_INTERNAL;

    if (!BuildPattern(pszFolder, pszMask, pFind->szPattern))
        return XEC_BAD_NAME;

    phFind = (HANDLE *)LocalAlloc(LPTR, sizeof(HANDLE));
    if (phFind == NULL)
        return XEC_NO_MEMORY;

    XStr_String2TString(pFind->szPattern, szWide, MAX_PATH);
    hFind = FindFirstFileW(szWide, &data);
    if (hFind == INVALID_HANDLE_VALUE) {
        dwErr = GetLastError();
        LocalFree(phFind);
        if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND)
            return XEC_NOT_FOUND;
        return Xec_MapErrorCodeEx((LONG)dwErr);
    }
    if (!FillEntry(pFind, &data)) {
        FindClose(hFind);
        LocalFree(phFind);
        return XEC_BAD_NAME;
    }
    *phFind = hFind;
    pFind->phFind = phFind;
    return XEC_OK;
}

// XFile_FindFirstFile
DWORD XFile_FindFirstFile(LPCSTR pszMask, DWORD dwAttrFilter, XFILE_FIND *pFind)
{
    return XFile_FindFirstFileEx(NULL, pszMask, dwAttrFilter, pFind);
}

// XFile_FindNextFile
DWORD XFile_FindNextFile(XFILE_FIND *pFind)
{
    WIN32_FIND_DATAW data;
    DWORD dwErr;

    if (pFind == NULL || pFind->phFind == NULL)
        return XEC_INTERNAL;
    if (!FindNextFileW(*pFind->phFind, &data)) {
        dwErr = GetLastError();
        if (dwErr == ERROR_NO_MORE_FILES)
            return XEC_NOT_FOUND;
        return Xec_MapErrorCodeEx((LONG)dwErr);
    }
    if (!FillEntry(pFind, &data))
        return XEC_BAD_NAME;
    return XEC_OK;
}

// XFile_FindClose
DWORD XFile_FindClose(XFILE_FIND *pFind)
{
    if (pFind == NULL || pFind->phFind == NULL)
        return XEC_INTERNAL;
    FindClose(*pFind->phFind);
    LocalFree(pFind->phFind);
    pFind->phFind = NULL;
    return XEC_OK;
}
