// xfile_handle.cpp - opening, closing, reading, writing and seeking files,
// typed reads and writes, the "simple" wrappers and the lock stand-ins.
//
// A thin layer over CreateFileW/ReadFile/WriteFile/SetFilePointer that
// gives the rest of the program one calling style: byte-string names and
// result codes. Failed opens give fixed codes (the system error is not
// translated), because callers compare with those values.
#include <windows.h>

#include "support/xec.h"
#include "support/xfile.h"
#include "support/xfile_names.h"

static DWORD OpenFailureCode(int nMode)
{
    return nMode == XFILE_MODE_READ ? XEC_NOT_FOUND : XEC_SYSTEM;
}

// XFile_OpenW
DWORD XFile_OpenW(LPCWSTR pszFileName, int nMode, HANDLE *phFile)
{
    DWORD dwAccess, dwCreation;
    HANDLE hFile;

    switch (nMode) {
    case XFILE_MODE_READ:
        dwAccess = GENERIC_READ;
        dwCreation = OPEN_EXISTING;
        break;
    case XFILE_MODE_WRITE:
        dwAccess = GENERIC_WRITE;
        dwCreation = CREATE_ALWAYS;
        break;
    case XFILE_MODE_UPDATE:
        dwAccess = GENERIC_READ | GENERIC_WRITE;
        dwCreation = OPEN_ALWAYS;
        break;
    case XFILE_MODE_APPEND:
        dwAccess = GENERIC_READ | GENERIC_WRITE;
        dwCreation = OPEN_EXISTING;
        break;
    default:
        return XEC_INTERNAL;
    }
    // Without somewhere to put the handle an open file would be lost.
    if (pszFileName == NULL || phFile == NULL)
        return XEC_INTERNAL;

    hFile = CreateFileW(pszFileName, dwAccess, FILE_SHARE_READ, NULL, dwCreation, FILE_ATTRIBUTE_NORMAL, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return OpenFailureCode(nMode);

    if (nMode == XFILE_MODE_APPEND && SetFilePointer(hFile, 0, NULL, FILE_END) == INVALID_SET_FILE_POINTER) {
        CloseHandle(hFile);
        return XEC_SYSTEM;
    }
    *phFile = hFile;
    return XEC_OK;
}

// XFile_Open
DWORD XFile_Open(LPCSTR pszFileName, int nMode, HANDLE *phFile)
{
    WCHAR szWide[MAX_PATH];

    if (nMode < XFILE_MODE_READ || nMode > XFILE_MODE_APPEND || pszFileName == NULL || phFile == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszFileName, szWide))
        return OpenFailureCode(nMode);
    return XFile_OpenW(szWide, nMode, phFile);
}

// XFile_CreateW
DWORD XFile_CreateW(LPCWSTR pszFileName, HANDLE *phFile)
{
    HANDLE hFile;

    if (pszFileName == NULL || phFile == NULL)
        return XEC_INTERNAL;
    hFile = CreateFileW(pszFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return XEC_SYSTEM;
    *phFile = hFile;
    return XEC_OK;
}

// XFile_Create
DWORD XFile_Create(LPCSTR pszFileName, HANDLE *phFile)
{
    WCHAR szWide[MAX_PATH];

    if (pszFileName == NULL || phFile == NULL)
        return XEC_INTERNAL;
    if (!XFileNameToWide(pszFileName, szWide))
        return XEC_SYSTEM;
    return XFile_CreateW(szWide, phFile);
}

// XFile_Close: the variable becomes -1 even when the system refuses, since
// the handle cannot be used any more either way.
DWORD XFile_Close(HANDLE *phFile)
{
    HANDLE hFile;

    if (phFile == NULL)
        return XEC_INTERNAL;
    hFile = *phFile;
    if (hFile == XFILE_NO_HANDLE)
        return XEC_OK;
    *phFile = XFILE_NO_HANDLE;
    if (!CloseHandle(hFile))
        return XEC_INTERNAL;
    return XEC_OK;
}

// XFile_Read
DWORD XFile_Read(HANDLE hFile, LPVOID pBuffer, DWORD cbCount, DWORD *pcbRead)
{
    DWORD cbRead = 0;

    if (hFile == XFILE_NO_HANDLE || (pBuffer == NULL && cbCount != 0))
        return XEC_INTERNAL;
    if (!ReadFile(hFile, pBuffer, cbCount, &cbRead, NULL))
        return XEC_SYSTEM;
    if (pcbRead != NULL) {
        *pcbRead = cbRead;
        return XEC_OK;
    }
    return cbRead < cbCount ? XEC_EOF : XEC_OK;
}

// XFile_Write
DWORD XFile_Write(HANDLE hFile, LPCVOID pBuffer, DWORD cbCount, DWORD *pcbWritten)
{
    DWORD cbWritten = 0;

    if (hFile == XFILE_NO_HANDLE || cbCount > XFILE_MAX_WRITE || (pBuffer == NULL && cbCount != 0))
        return XEC_INTERNAL;
    if (!WriteFile(hFile, pBuffer, cbCount, &cbWritten, NULL))
        return XEC_SYSTEM;
    if (pcbWritten != NULL) {
        *pcbWritten = cbWritten;
        return XEC_OK;
    }
    return cbWritten < cbCount ? XEC_DISK_FULL : XEC_OK;
}

// XFile_Seek
DWORD XFile_Seek(HANDLE hFile, LONG lOffset, int nOrigin, DWORD *pdwNewPosition)
{
    DWORD dwMethod, dwPos;

    if (hFile == XFILE_NO_HANDLE)
        return XEC_INTERNAL;
    if (nOrigin == XFILE_SEEK_BEGIN)
        dwMethod = FILE_BEGIN;
    else if (nOrigin == XFILE_SEEK_CURRENT)
        dwMethod = FILE_CURRENT;
    else
        dwMethod = FILE_END;
    dwPos = SetFilePointer(hFile, lOffset, NULL, dwMethod);
    if (dwPos == INVALID_SET_FILE_POINTER)
        return XEC_SEEK;
    if (pdwNewPosition != NULL)
        *pdwNewPosition = dwPos;
    return XEC_OK;
}

// XFile_Tell
DWORD XFile_Tell(HANDLE hFile, DWORD *pdwPosition)
{
    return XFile_Seek(hFile, 0, XFILE_SEEK_CURRENT, pdwPosition);
}

// Reads exactly cb bytes into pb; the value is stored only when all came,
// so a short read at the end of the file leaves the caller's value alone.
static DWORD ReadExact(HANDLE hFile, BYTE *pb, DWORD cb)
{
    BYTE ab[8];
    DWORD cbRead = 0, rc, i;

    rc = XFile_Read(hFile, ab, cb, &cbRead);
    if (rc != XEC_OK)
        return rc;
    if (cbRead < cb)
        return XEC_EOF;
    for (i = 0; i < cb; i++)
        pb[i] = ab[i];
    return XEC_OK;
}

static DWORD WriteExact(HANDLE hFile, const BYTE *pb, DWORD cb)
{
    DWORD cbWritten = 0, rc;

    rc = XFile_Write(hFile, pb, cb, &cbWritten);
    if (rc != XEC_OK)
        return rc;
    return cbWritten < cb ? XEC_DISK_FULL : XEC_OK;
}

// Little-endian packing, whatever the host's byte order.
static ULONGLONG Unpack(const BYTE *pb, DWORD cb)
{
    ULONGLONG v = 0;
    while (cb-- > 0)
        v = (v << 8) | pb[cb];
    return v;
}

static void Pack(ULONGLONG v, BYTE *pb, DWORD cb)
{
    DWORD i;
    for (i = 0; i < cb; i++, v >>= 8)
        pb[i] = (BYTE)(v & 0xff);
}

// XFile_ReadByte
DWORD XFile_ReadByte(HANDLE hFile, BYTE *pbValue)
{
    BYTE ab[1];
    DWORD rc;

    if (pbValue == NULL)
        return XEC_INTERNAL;
    rc = ReadExact(hFile, ab, 1);
    if (rc == XEC_OK)
        *pbValue = ab[0];
    return rc;
}

// XFile_ReadWord
DWORD XFile_ReadWord(HANDLE hFile, WORD *pwValue)
{
    BYTE ab[2];
    DWORD rc;

    if (pwValue == NULL)
        return XEC_INTERNAL;
    rc = ReadExact(hFile, ab, 2);
    if (rc == XEC_OK)
        *pwValue = (WORD)Unpack(ab, 2);
    return rc;
}

// XFile_ReadDWord
DWORD XFile_ReadDWord(HANDLE hFile, DWORD *pdwValue)
{
    BYTE ab[4];
    DWORD rc;

    if (pdwValue == NULL)
        return XEC_INTERNAL;
    rc = ReadExact(hFile, ab, 4);
    if (rc == XEC_OK)
        *pdwValue = (DWORD)Unpack(ab, 4);
    return rc;
}

// XFile_ReadQWord
DWORD XFile_ReadQWord(HANDLE hFile, ULONGLONG *pqwValue)
{
    BYTE ab[8];
    DWORD rc;

    if (pqwValue == NULL)
        return XEC_INTERNAL;
    rc = ReadExact(hFile, ab, 8);
    if (rc == XEC_OK)
        *pqwValue = Unpack(ab, 8);
    return rc;
}

// XFile_WriteByte
DWORD XFile_WriteByte(HANDLE hFile, DWORD dwValue)
{
    BYTE ab[1];
    Pack(dwValue, ab, 1);
    return WriteExact(hFile, ab, 1);
}

// XFile_WriteWord
DWORD XFile_WriteWord(HANDLE hFile, DWORD dwValue)
{
    BYTE ab[2];
    Pack(dwValue, ab, 2);
    return WriteExact(hFile, ab, 2);
}

// XFile_WriteDWord
DWORD XFile_WriteDWord(HANDLE hFile, DWORD dwValue)
{
    BYTE ab[4];
    Pack(dwValue, ab, 4);
    return WriteExact(hFile, ab, 4);
}

// XFile_WriteQWord
DWORD XFile_WriteQWord(HANDLE hFile, const ULONGLONG *pqwValue)
{
    BYTE ab[8];

    if (pqwValue == NULL)
        return XEC_INTERNAL;
    Pack(*pqwValue, ab, 8);
    return WriteExact(hFile, ab, 8);
}

// XFile_SimpleOpen
HANDLE XFile_SimpleOpen(LPCSTR pszFileName, int nMode)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    if (XFile_Open(pszFileName, nMode, &hFile) != XEC_OK)
        return XFILE_NO_HANDLE;
    return hFile;
}

// XFile_SimpleCreate
HANDLE XFile_SimpleCreate(LPCSTR pszFileName)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    if (XFile_Create(pszFileName, &hFile) != XEC_OK)
        return XFILE_NO_HANDLE;
    return hFile;
}

// XFile_SimpleClose
int XFile_SimpleClose(HANDLE hFile)
{
    return XFile_Close(&hFile) == XEC_OK ? 0 : -1;
}

// XFile_SimpleRead
LONG XFile_SimpleRead(HANDLE hFile, LPVOID pBuffer, DWORD cbCount)
{
    DWORD cbRead = 0;
    if (XFile_Read(hFile, pBuffer, cbCount, &cbRead) != XEC_OK)
        return -1;
    return (LONG)cbRead;
}

// XFile_SimpleWrite
LONG XFile_SimpleWrite(HANDLE hFile, LPCVOID pBuffer, DWORD cbCount)
{
    DWORD cbWritten = 0;
    if (XFile_Write(hFile, pBuffer, cbCount, &cbWritten) != XEC_OK)
        return -1;
    return (LONG)cbWritten;
}

// XFile_SimpleSeek
LONG XFile_SimpleSeek(HANDLE hFile, LONG lOffset, int nOrigin)
{
    DWORD dwPos = 0;
    if (XFile_Seek(hFile, lOffset, nOrigin, &dwPos) != XEC_OK)
        return -1;
    return (LONG)dwPos;
}

// XFile_SimpleFileLengthByHandle
LONG XFile_SimpleFileLengthByHandle(HANDLE hFile)
{
    DWORD dwLength = 0;
    if (XFile_FileLengthByHandle(hFile, &dwLength) != XEC_OK)
        return -1;
    return (LONG)dwLength;
}

// XFile_LockFile: the device offers no byte-range locks.
DWORD XFile_LockFile(HANDLE hFile)
{
    return XEC_INTERNAL;
}

// XFile_UnlockFile
DWORD XFile_UnlockFile(HANDLE hFile)
{
    return XEC_INTERNAL;
}

// XFile_IsLocked: the number of locks held, always none.
DWORD XFile_IsLocked(HANDLE hFile)
{
    return 0;
}

// XFile_ClearFileLocks
DWORD XFile_ClearFileLocks(HANDLE hFile, DWORD *pdwPreviousCount)
{
    DWORD dwCount = XFile_IsLocked(hFile), i;

    for (i = 0; i < dwCount; i++)
        XFile_UnlockFile(hFile);
    if (pdwPreviousCount != NULL)
        *pdwPreviousCount = dwCount;
    return XEC_OK;
}

// XFile_SetFileLocks
DWORD XFile_SetFileLocks(HANDLE hFile, DWORD dwCount)
{
    DWORD i, rc;

    XFile_ClearFileLocks(hFile, NULL);
    for (i = 0; i < dwCount; i++) {
        rc = XFile_LockFile(hFile);
        if (rc != XEC_OK)
            return rc;
    }
    return XEC_OK;
}
