// xfile_copy.cpp - copying a file in blocks with a progress callback.
//
// The copy never leaves a partial destination: whatever fails once the
// destination has been created (a write, a read, the disk filling up, the
// callback cancelling, the final close), the destination is deleted. A
// destination that the copy never opened is left alone, so that a failed
// copy of a file onto itself cannot destroy its source.
#include <windows.h>

#include "support/xec.h"
#include "support/xfile.h"

#define COPY_BLOCK 32000       // preferred block size
#define COPY_BLOCK_SMALL 10000 // fallback when memory is short

// XFile_CopyFile
DWORD XFile_CopyFile(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite)
{
    return XFile_CopyFileWithProgress(pszSource, pszDest, bOverwrite, NULL, NULL);
}

// XFile_CopyFileWithProgress. The callback is called before each block is
// written, with the bytes written so far and the percentage of the
// source's length; never with 100, and not at all for an empty source.
DWORD XFile_CopyFileWithProgress(LPCSTR pszSource, LPCSTR pszDest, BOOL bOverwrite,
                                 XFILE_PROGRESS_PROC pfnProgress, LPVOID pvUser)
{
    HANDLE hSource = XFILE_NO_HANDLE, hDest = XFILE_NO_HANDLE;
    BYTE *pBuffer;
    DWORD cbBlock, cbCopied, dwLength = 0, dwDone = 0, dwPercent, rc, rcClose;
    BOOL bDestOpened = FALSE;

    if (pszSource == NULL || pszDest == NULL)
        return XEC_INTERNAL;
    if (!bOverwrite && XFile_FileExists(pszDest) == XEC_OK)
        return XEC_EXISTS;

    // The buffer carries a block only when the device cannot copy between
    // the two files itself; it is never read before being written, so it
    // is not cleared.
    cbBlock = COPY_BLOCK;
    pBuffer = (BYTE *)LocalAlloc(LMEM_FIXED, cbBlock);
    if (pBuffer == NULL) {
        cbBlock = COPY_BLOCK_SMALL;
        pBuffer = (BYTE *)LocalAlloc(LMEM_FIXED, cbBlock);
    }
    if (pBuffer == NULL)
        return XEC_NO_MEMORY;

    // The source is opened first: while it is open the device refuses to
    // open the same file for writing, so a copy onto itself fails here
    // instead of truncating its source.
    rc = XFile_Open(pszSource, XFILE_MODE_READ, &hSource);
    if (rc == XEC_OK) {
        rc = XFile_Open(pszDest, XFILE_MODE_WRITE, &hDest);
        bDestOpened = rc == XEC_OK;
    }
    if (rc == XEC_OK)
        rc = XFile_FileLengthByHandle(hSource, &dwLength);

    // Each block is read and written in one call, from file to file inside
    // the device where it can (a copy then costs the host one pass over the
    // bytes instead of two). The callback still comes before each block
    // that has bytes, with the bytes written so far.
    while (rc == XEC_OK) {
        if (pfnProgress != NULL && dwLength != 0 && dwDone < dwLength) {
            // 64-bit product: a 32-bit one wraps for files above 42 MB.
            dwPercent = (DWORD)(((ULONGLONG)dwDone * 100) / dwLength);
            if (!pfnProgress(dwDone, dwPercent, pvUser)) {
                rc = XEC_CANCELLED;
                break;
            }
        }
        cbCopied = 0;
        if (!CeCopyFileBlock(hSource, hDest, pBuffer, cbBlock, &cbCopied)) {
            rc = XEC_SYSTEM;
            break;
        }
        if (cbCopied == 0)
            break;
        dwDone += cbCopied;
    }

    XFile_Close(&hSource);
    rcClose = XFile_Close(&hDest);
    if (rc == XEC_OK)
        rc = rcClose;
    LocalFree(pBuffer);
    if (rc != XEC_OK && bDestOpened)
        XFile_DeleteFile(pszDest);
    return rc;
}
