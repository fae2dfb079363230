// xfile.h - file handles, typed I/O, text lines and file system operations
// of the support library.
//
// Every operation takes byte-string names (converted to UTF-16 only at the
// system call) and returns a result code: 0 success, 1 end of data, 2
// cancelled, 3 not found, 14 destination exists, 16 out of memory, 17 bad
// argument or handle, 18 any other system failure (the full set is in
// xec.h). Values come back through out arguments, which may be null.
// The "Simple" wrappers return the value itself, or -1 on any failure.
#ifndef CESETUP_SUPPORT_XFILE_H
#define CESETUP_SUPPORT_XFILE_H

#include <windows.h>

#include "xstr.h"

#ifdef __cplusplus
extern "C" {
#endif

// Open modes of XFile_Open / XFile_OpenW.
#define XFILE_MODE_READ 0   // read; the file must exist
#define XFILE_MODE_WRITE 1  // write; created, or truncated if it exists
#define XFILE_MODE_UPDATE 2 // read and write; opened, or created if missing
#define XFILE_MODE_APPEND 3 // read and write; must exist; positioned at the end

// Origins of XFile_Seek (any value other than 0 and 1 seeks from the end).
#define XFILE_SEEK_BEGIN 0
#define XFILE_SEEK_CURRENT 1
#define XFILE_SEEK_END 2

// Largest count XFile_Write accepts in one call.
#define XFILE_MAX_WRITE 65533

// The handle value that means "no file open".
#define XFILE_NO_HANDLE ((HANDLE)-1)

// One file search and its current entry. The caller owns the record; a
// search started with XFile_FindFirstFile(Ex) always ends with
// XFile_FindClose.
typedef struct tagXFILE_FIND {
    DWORD dwAttributes;     // attribute bits of the current entry
    DWORD dwSize;           // low 32 bits of the current entry's size
    char szName[MAX_PATH];  // name of the current entry
    char szFullPath[MAX_PATH]; // folder of the search followed by the entry's name
    HANDLE *phFind;         // the system's search handle; null when no search is open
    char szPattern[MAX_PATH];  // folder, backslash and mask
} XFILE_FIND, *PXFILE_FIND;

// Filled by XFile_GetFileInfo: the length, then 28 bytes that are zero.
typedef struct tagXFILE_INFO {
    DWORD dwLength;
    BYTE abReserved[28];
} XFILE_INFO, *PXFILE_INFO;

// Progress callback of XFile_CopyFileWithProgress: called before each
// block is written with the bytes copied so far and the percentage done;
// returns nonzero to go on, 0 to cancel the copy.
typedef BOOL (*XFILE_PROGRESS_PROC)(DWORD dwBytesCopied, DWORD dwPercent, LPVOID pvUser);

// ------------------------------------------------------------ handles
DWORD XFile_Open(LPCSTR pszFileName, int nMode, HANDLE *phFile);
DWORD XFile_OpenW(LPCWSTR pszFileName, int nMode, HANDLE *phFile);
DWORD XFile_Create(LPCSTR pszFileName, HANDLE *phFile);
DWORD XFile_CreateW(LPCWSTR pszFileName, HANDLE *phFile);
DWORD XFile_Close(HANDLE *phFile);

DWORD XFile_Read(HANDLE hFile, LPVOID pBuffer, DWORD cbCount, DWORD *pcbRead);
DWORD XFile_Write(HANDLE hFile, LPCVOID pBuffer, DWORD cbCount, DWORD *pcbWritten);
DWORD XFile_Seek(HANDLE hFile, LONG lOffset, int nOrigin, DWORD *pdwNewPosition);
DWORD XFile_Tell(HANDLE hFile, DWORD *pdwPosition);

// Typed I/O: values lie in the file least significant byte first.
DWORD XFile_ReadByte(HANDLE hFile, BYTE *pbValue);
DWORD XFile_ReadWord(HANDLE hFile, WORD *pwValue);
DWORD XFile_ReadDWord(HANDLE hFile, DWORD *pdwValue);
DWORD XFile_ReadQWord(HANDLE hFile, ULONGLONG *pqwValue);
DWORD XFile_WriteByte(HANDLE hFile, DWORD dwValue);  // low byte written
DWORD XFile_WriteWord(HANDLE hFile, DWORD dwValue);  // low 2 bytes written
DWORD XFile_WriteDWord(HANDLE hFile, DWORD dwValue);
DWORD XFile_WriteQWord(HANDLE hFile, const ULONGLONG *pqwValue);

// Text lines: any of CR LF, LF CR, CR, LF ends a line; lines are written
// with CR LF.
DWORD XFile_ReadLine(HANDLE hFile, LPSTR pszBuffer, DWORD cbBuffer, DWORD *pcchLength);
DWORD XFile_WriteLine(HANDLE hFile, LPCSTR pszLine);

// Simple wrappers: the value on success, -1 on any failure.
HANDLE XFile_SimpleOpen(LPCSTR pszFileName, int nMode);
HANDLE XFile_SimpleCreate(LPCSTR pszFileName);
int XFile_SimpleClose(HANDLE hFile);
LONG XFile_SimpleRead(HANDLE hFile, LPVOID pBuffer, DWORD cbCount);
LONG XFile_SimpleWrite(HANDLE hFile, LPCVOID pBuffer, DWORD cbCount);
LONG XFile_SimpleSeek(HANDLE hFile, LONG lOffset, int nOrigin);
LONG XFile_SimpleFileLengthByHandle(HANDLE hFile);

// Byte-range locks: the device has none, and these say so.
DWORD XFile_LockFile(HANDLE hFile);
DWORD XFile_UnlockFile(HANDLE hFile);
DWORD XFile_IsLocked(HANDLE hFile);
DWORD XFile_ClearFileLocks(HANDLE hFile, DWORD *pdwPreviousCount);
DWORD XFile_SetFileLocks(HANDLE hFile, DWORD dwCount);

// ------------------------------------------------------------ file system
DWORD XFile_FileExists(LPCSTR pszFileName);
DWORD XFile_DirExists(LPCSTR pszDirName);
DWORD XFile_GetFileInfo(LPCSTR pszFileName, XFILE_INFO *pInfo);
DWORD XFile_FileLengthByName(LPCSTR pszFileName, DWORD *pdwLength);
DWORD XFile_FileLengthByHandle(HANDLE hFile, DWORD *pdwLength);

DWORD XFile_DeleteFile(LPCSTR pszFileName);
DWORD XFile_CreateDirectory(LPCSTR pszDirName);
DWORD XFile_DeleteDirectory(LPCSTR pszDirName);
DWORD XFile_CreatePath(LPCSTR pszDirPath);
DWORD XFile_CreateFilePath(LPCSTR pszFilePath);
DWORD XFile_DeletePath(LPCSTR pszDirPath);
DWORD XFile_DeleteFilePath(LPCSTR pszFilePath);

DWORD XFile_FindFirstFileEx(LPCSTR pszFolder, LPCSTR pszMask, DWORD dwAttrFilter, XFILE_FIND *pFind);
DWORD XFile_FindFirstFile(LPCSTR pszMask, DWORD dwAttrFilter, XFILE_FIND *pFind);
DWORD XFile_FindNextFile(XFILE_FIND *pFind);
DWORD XFile_FindClose(XFILE_FIND *pFind);

DWORD XFile_CopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite);
DWORD XFile_CopyFileWithProgress(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite,
                                 XFILE_PROGRESS_PROC pfnProgress, LPVOID pvUser);
DWORD XFile_CopyFileStamp(LPCSTR pszSource, LPCSTR pszDest);
DWORD XFile_RenameFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite);

DWORD XFile_GetDiskFreeSpaceEx(LPCSTR pszPath, DWORD *pdwSectorsPerCluster, DWORD *pdwBytesPerSector,
                               DWORD *pdwFreeClusters, DWORD *pdwTotalClusters);
DWORD XFile_GetDiskFreeSpace(LPCSTR pszPath, DWORD *pdwFreeBytes);

#ifdef __cplusplus
}
#endif

#endif
