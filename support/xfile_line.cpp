// xfile_line.cpp - reading and writing text lines.
//
// Scripts and unload logs come from many editors, so the reader accepts
// all four line ends (CR LF, LF CR, CR, LF); the writer always ends lines
// with CR LF. The reader goes byte by byte and pushes back the one byte it
// looked at past a line end, so that the file position is always the start
// of the next line.
#include <windows.h>

#include "support/xec.h"
#include "support/xfile.h"

#define CH_CR 13
#define CH_LF 10

// XFile_ReadLine
DWORD XFile_ReadLine(HANDLE hFile, LPSTR pszBuffer, DWORD cbBuffer, DWORD *pcchLength)
{
    DWORD n = 0, cbRead, rc, dwEnd;
    BYTE ch, chEnd = 0, chNext;

    if (cbBuffer < 2)
        return XEC_NO_MEMORY;
    if (pszBuffer == NULL)
        return XEC_INTERNAL;

    while (n < cbBuffer - 1) {
        rc = XFile_Read(hFile, &ch, 1, &cbRead);
        if (rc != XEC_OK)
            return rc;
        if (cbRead == 0) {
            // End of the file: an empty line here means there is none.
            if (n == 0)
                return XEC_EOF;
            break;
        }
        if (ch == CH_CR || ch == CH_LF) {
            chEnd = ch;
            // A partner byte completes a two-byte line end; anything else
            // belongs to the next line and is pushed back. End of file or a
            // failing read here only means there is no partner.
            if (XFile_Read(hFile, &chNext, 1, &cbRead) == XEC_OK && cbRead == 1) {
                if (chNext != (chEnd == CH_CR ? CH_LF : CH_CR))
                    XFile_Seek(hFile, -1, XFILE_SEEK_CURRENT, NULL);
            }
            break;
        }
        pszBuffer[n++] = (char)ch;
    }

    // The first line-end byte stays with the line when there is room for it
    // and the terminator; callers strip it.
    if (chEnd != 0 && n < cbBuffer - 2) {
        pszBuffer[n] = (char)chEnd;
        dwEnd = n + 1;
    } else {
        dwEnd = n;
    }
    pszBuffer[dwEnd] = 0;
    if (pcchLength != NULL)
        *pcchLength = dwEnd;
    return XEC_OK;
}

// XFile_WriteLine
DWORD XFile_WriteLine(HANDLE hFile, LPCSTR pszLine)
{
    static const BYTE abCrLf[2] = {CH_CR, CH_LF};
    DWORD cbLine = 0, cbWritten, rc;

    if (pszLine == NULL)
        return XEC_INTERNAL;
    while (pszLine[cbLine] != 0)
        cbLine++;
    if (cbLine > 0) {
        rc = XFile_Write(hFile, pszLine, cbLine, &cbWritten);
        if (rc != XEC_OK)
            return rc;
        if (cbWritten < cbLine)
            return XEC_DISK_FULL;
    }
    rc = XFile_Write(hFile, abCrLf, 2, &cbWritten);
    if (rc != XEC_OK)
        return rc;
    return cbWritten < 2 ? XEC_DISK_FULL : XEC_OK;
}
