// xfile_ops.cpp - whole-file and folder operations: existence and length,
// deletion, folder creation and removal along a path, renaming, time
// stamps and free space.
//
// All take byte-string names and return result codes. Folder walks accept
// both the backslash and the slash as delimiters, as the device does.
#include <windows.h>

#include <string.h>

#include "support/xec.h"
#include "support/xfile.h"
#include "support/xfile_names.h"

// XFileNameToWide
BOOL XFileNameToWide(LPCSTR pszName, WCHAR *pszWide)
{
    if (strnlen(pszName, MAX_PATH) >= MAX_PATH)
        return FALSE;
    XStr_String2TString(pszName, pszWide, MAX_PATH);
    return TRUE;
}

static BOOL IsDelim(char ch)
{
    return ch == '\\' || ch == '/';
}

// XFile_FileExists
DWORD XFile_FileExists(LPCSTR pszFileName)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    DWORD rc = XFile_Open(pszFileName, XFILE_MODE_READ, &hFile);

    if (rc == XEC_OK)
        XFile_Close(&hFile);
    return rc;
}

// XFile_DirExists: folders cannot be tested this way; callers go ahead as
// if the folder were missing.
DWORD XFile_DirExists(LPCSTR pszDirName)
{
    return XEC_SYSTEM;
}

// XFile_GetFileInfo
DWORD XFile_GetFileInfo(LPCSTR pszFileName, XFILE_INFO *pInfo)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    DWORD rc, dwLength = 0, i;

    if (pInfo == NULL)
        return XEC_INTERNAL;
    rc = XFile_Open(pszFileName, XFILE_MODE_READ, &hFile);
    if (rc != XEC_OK)
        return rc;
    rc = XFile_FileLengthByHandle(hFile, &dwLength);
    XFile_Close(&hFile);
    if (rc != XEC_OK)
        return rc;
    pInfo->dwLength = dwLength;
    for (i = 0; i < sizeof(pInfo->abReserved); i++)
        pInfo->abReserved[i] = 0;
    return XEC_OK;
}

// XFile_FileLengthByName
DWORD XFile_FileLengthByName(LPCSTR pszFileName, DWORD *pdwLength)
{
    XFILE_INFO info;
    DWORD rc = XFile_GetFileInfo(pszFileName, &info);

    if (rc == XEC_OK && pdwLength != NULL)
        *pdwLength = info.dwLength;
    return rc;
}

// XFile_FileLengthByHandle: the end position is the length; the position
// the caller had is restored.
DWORD XFile_FileLengthByHandle(HANDLE hFile, DWORD *pdwLength)
{
    DWORD dwPos, dwEnd, rc;

    rc = XFile_Tell(hFile, &dwPos);
    if (rc != XEC_OK)
        return rc;
    rc = XFile_Seek(hFile, 0, XFILE_SEEK_END, &dwEnd);
    if (rc != XEC_OK)
        return rc;
    rc = XFile_Seek(hFile, (LONG)dwPos, XFILE_SEEK_BEGIN, NULL);
    if (rc == XEC_OK && pdwLength != NULL)
        *pdwLength = dwEnd;
    return rc;
}

// XFile_DeleteFile
DWORD XFile_DeleteFile(LPCSTR pszFileName)
{
    WCHAR szWide[MAX_PATH];

    if (pszFileName == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszFileName, szWide))
        return XEC_BAD_NAME;
    if (!DeleteFileW(szWide))
        return Xec_MapErrorCode();
    return XEC_OK;
}

// Makes the folder pszDirName, leaving its UTF-16 form in szWide
// (MAX_PATH units) for a caller that asks about it next.
static DWORD MakeFolder(LPCSTR pszDirName, WCHAR *szWide)
{
    if (!XFileNameToWide(pszDirName, szWide)) {
        SetLastError(ERROR_INVALID_NAME);
        return XEC_BAD_NAME;
    }
    if (!CreateDirectoryW(szWide, NULL))
        return Xec_MapErrorCode();
    return XEC_OK;
}

// XFile_CreateDirectory: an existing folder fails (18); callers that need
// to tell it apart read GetLastError (183).
DWORD XFile_CreateDirectory(LPCSTR pszDirName)
{
    WCHAR szWide[MAX_PATH];

    if (pszDirName == NULL)
        return XEC_INTERNAL;
    return MakeFolder(pszDirName, szWide);
}

// XFile_DeleteDirectory
DWORD XFile_DeleteDirectory(LPCSTR pszDirName)
{
    WCHAR szWide[MAX_PATH];

    if (pszDirName == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszDirName, szWide))
        return XEC_BAD_NAME;
    if (!RemoveDirectoryW(szWide))
        return Xec_MapErrorCode();
    return XEC_OK;
}

// Copies a folder path for a walk; FALSE when it cannot be a device path.
static BOOL CopyWalkPath(LPCSTR pszPath, char *pszCopy, DWORD *pcch)
{
    size_t n = strnlen(pszPath, MAX_PATH);
    if (n >= MAX_PATH)
        return FALSE;
    memcpy(pszCopy, pszPath, n + 1);
    *pcch = (DWORD)n;
    return TRUE;
}

// Makes one folder of a walk, as XFile_CreateDirectory: XEC_OK when it is
// made, or when it exists as a folder (an existing file of that name is
// not, since the folder can never be made). The name is converted once for
// both calls.
static DWORD MakeWalkFolder(LPCSTR pszDirName)
{
    WCHAR szWide[MAX_PATH];
    DWORD dwAttr, rc;

    rc = MakeFolder(pszDirName, szWide);
    if (rc == XEC_OK || GetLastError() != ERROR_ALREADY_EXISTS)
        return rc;
    dwAttr = GetFileAttributesW(szWide);
    if (dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return XEC_OK;
    return rc;
}

// XFile_CreatePath: the part before the first delimiter (a root, or empty
// for a path from the root) is taken as existing; every folder after it is
// created in turn, and folders that already exist are passed over.
DWORD XFile_CreatePath(LPCSTR pszDirPath)
{
    char szPath[MAX_PATH];
    DWORD cch, i, first, rc;
    char chSaved;

    if (pszDirPath == NULL)
        return XEC_INTERNAL;
    first = (DWORD)strcspn(pszDirPath, "\\/");
    if (pszDirPath[first] == 0)
        return XEC_OK;
    if (!CopyWalkPath(pszDirPath, szPath, &cch))
        return XEC_BAD_NAME;

    for (i = first + 1; i <= cch; i++) {
        if (i < cch && !IsDelim(szPath[i]))
            continue;
        // Nothing follows a final delimiter.
        if (i == cch && IsDelim(szPath[cch - 1]))
            break;
        chSaved = szPath[i];
        szPath[i] = 0;
        rc = MakeWalkFolder(szPath);
        if (rc != XEC_OK)
            return rc;
        szPath[i] = chSaved;
    }
    return XEC_OK;
}

// XFile_CreateFilePath
DWORD XFile_CreateFilePath(LPCSTR pszFilePath)
{
    char szFolder[MAX_PATH];

    if (pszFilePath == NULL)
        return XEC_INTERNAL;
    if (!XStr_GetFilePath(pszFilePath, szFolder, MAX_PATH))
        return XEC_INTERNAL;
    return XFile_CreatePath(szFolder);
}

// XFile_DeletePath: removes the folders of the path from the deepest up to
// (not including) the part before the first delimiter. Missing folders are
// passed over; the first real failure (a folder that is not empty, for
// one) stops the walk.
DWORD XFile_DeletePath(LPCSTR pszDirPath)
{
    char szPath[MAX_PATH];
    DWORD cch, cur, first, rc;
    char chSaved;

    if (pszDirPath == NULL)
        return XEC_INTERNAL;
    first = (DWORD)strcspn(pszDirPath, "\\/");
    if (pszDirPath[first] == 0)
        return XEC_OK;
    if (!CopyWalkPath(pszDirPath, szPath, &cch))
        return XEC_BAD_NAME;

    cur = IsDelim(szPath[cch - 1]) ? cch - 1 : cch;
    while (cur != first) {
        chSaved = szPath[cur];
        szPath[cur] = 0;
        rc = XFile_DeleteDirectory(szPath);
        szPath[cur] = chSaved;
        if (rc != XEC_OK && rc != XEC_BAD_NAME)
            return rc;
        do
            cur--;
        while (!IsDelim(szPath[cur]));
    }
    return XEC_OK;
}

// XFile_DeleteFilePath
DWORD XFile_DeleteFilePath(LPCSTR pszFilePath)
{
    char szFolder[MAX_PATH];

    if (pszFilePath == NULL)
        return XEC_INTERNAL;
    if (!XStr_GetFilePath(pszFilePath, szFolder, MAX_PATH))
        return XEC_INTERNAL;
    return XFile_DeletePath(szFolder);
}

// XFile_RenameFile. The source is held open while an existing destination
// is deleted: when both names are the same file (another spelling of it),
// the delete then fails as "in use" instead of destroying the source.
DWORD XFile_RenameFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite)
{
    WCHAR szSource[MAX_PATH], szDest[MAX_PATH];
    HANDLE hSource = XFILE_NO_HANDLE;
    BOOL bDestExists;
    DWORD rc;

    if (pszSource == NULL || pszDest == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszSource, szSource) || !XFileNameToWide(pszDest, szDest))
        return XEC_BAD_NAME;

    bDestExists = XFile_FileExists(pszDest) == XEC_OK;
    if (bDestExists && !bOverwrite)
        return XEC_EXISTS;
    rc = XFile_Open(pszSource, XFILE_MODE_READ, &hSource);
    if (rc != XEC_OK)
        return rc;
    if (bDestExists) {
        rc = XFile_DeleteFile(pszDest);
        if (rc != XEC_OK) {
            XFile_Close(&hSource);
            return rc;
        }
    }
    XFile_Close(&hSource);

    if (!MoveFileW(szSource, szDest)) {
        rc = Xec_MapErrorCode();
        // A move between volumes may have left part of the destination.
        DeleteFileW(szDest);
        return rc;
    }
    return XEC_OK;
}

// XFile_CopyFileStamp: the destination gets the source's creation, access
// and write times.
DWORD XFile_CopyFileStamp(LPCSTR pszSource, LPCSTR pszDest)
{
    WCHAR szWide[MAX_PATH];
    HANDLE hSource, hDest;
    FILETIME ftCreation, ftAccess, ftWrite;
    DWORD rc = XEC_OK;

    if (pszSource == NULL || pszDest == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszSource, szWide))
        return XEC_NOT_FOUND;
    hSource = CreateFileW(szWide, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (hSource == INVALID_HANDLE_VALUE)
        return XEC_NOT_FOUND;
    hDest = INVALID_HANDLE_VALUE;
    if (XFileNameToWide(pszDest, szWide))
        hDest = CreateFileW(szWide, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (hDest == INVALID_HANDLE_VALUE) {
        CloseHandle(hSource);
        return XEC_NOT_FOUND;
    }
    if (!GetFileTime(hSource, &ftCreation, &ftAccess, &ftWrite) ||
        !SetFileTime(hDest, &ftCreation, &ftAccess, &ftWrite))
        rc = XEC_SYSTEM;
    CloseHandle(hDest);
    CloseHandle(hSource);
    return rc;
}

// A byte count as a 32-bit figure: 4 GB or more reads as the largest
// figure, never as what is left above a multiple of 4 GB (a roomy store
// would otherwise look nearly full).
static DWORD Figure32(ULARGE_INTEGER v)
{
    return v.HighPart != 0 ? 0xFFFFFFFF : v.LowPart;
}

// XFile_GetDiskFreeSpaceEx: the figures of the volume that holds the
// path's root, reported as clusters of one one-byte sector so that the
// counts are byte counts.
DWORD XFile_GetDiskFreeSpaceEx(LPCSTR pszPath, DWORD *pdwSectorsPerCluster, DWORD *pdwBytesPerSector,
                               DWORD *pdwFreeClusters, DWORD *pdwTotalClusters)
{
    char szRoot[MAX_PATH];
    WCHAR szWide[MAX_PATH];
    ULARGE_INTEGER avail, total, free;
    DWORD n;

    if (pszPath == NULL)
        return XEC_INTERNAL;
    if (pszPath[0] == '\\' && pszPath[1] == '\\')
        return XEC_SYSTEM;
    for (n = 0; pszPath[n] != 0; n++) {
        if (n >= MAX_PATH - 1)
            return XEC_BAD_NAME;
        szRoot[n] = pszPath[n];
        if (IsDelim(pszPath[n])) {
            n++;
            break;
        }
    }
    szRoot[n] = 0;
    if (!XFileNameToWide(szRoot, szWide))
        return XEC_BAD_NAME;
    if (!GetDiskFreeSpaceExW(szWide, &avail, &total, &free))
        return Xec_MapErrorCode();

    if (pdwSectorsPerCluster != NULL)
        *pdwSectorsPerCluster = 1;
    if (pdwBytesPerSector != NULL)
        *pdwBytesPerSector = 1;
    if (pdwFreeClusters != NULL)
        *pdwFreeClusters = Figure32(avail);
    if (pdwTotalClusters != NULL)
        *pdwTotalClusters = Figure32(total);
    return XEC_OK;
}

// XFile_GetDiskFreeSpace: the bytes available to the caller.
DWORD XFile_GetDiskFreeSpace(LPCSTR pszPath, DWORD *pdwFreeBytes)
{
    DWORD dwSectors = 0, dwBytes = 0, dwFree = 0, rc;

    rc = XFile_GetDiskFreeSpaceEx(pszPath, &dwSectors, &dwBytes, &dwFree, NULL);
    if (rc == XEC_OK && pdwFreeBytes != NULL)
        *pdwFreeBytes = dwSectors * dwBytes * dwFree;
    return rc;
}
