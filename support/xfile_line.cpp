// xfile_line.cpp - reading and writing text lines.
//
// Scripts and unload logs come from many editors, so the reader accepts
// all four line ends (CR LF, LF CR, CR, LF); the writer always ends lines
// with CR LF. The reader behaves as if it went byte by byte, looking at
// one byte past a lone line end and pushing it back, so that the file
// position is always the start of the next line. It reads ahead in small
// chunks and seeks back over what the line did not use, which saves one
// system call per byte.
#include <windows.h>

#include <string.h>

#include "support/xec.h"
#include "support/xfile.h"

#define CH_CR 13
#define CH_LF 10
#define LINE_CHUNK 256

// Bytes read ahead of the line being built.
typedef struct tagLINE_READER {
    HANDLE hFile;
    BYTE ab[LINE_CHUNK];
    DWORD cbHave; // bytes in ab
    DWORD iNext;  // next unused byte of ab
} LINE_READER;

// Makes sure unused bytes are at hand: XEC_OK with *pcb the number of
// them (0 at the end of the file), or the read's failure code. When none
// are left, at most cbWant bytes are read ahead.
static DWORD Fill(LINE_READER *pr, DWORD cbWant, DWORD *pcb)
{
    DWORD rc;

    if (pr->iNext == pr->cbHave) {
        pr->iNext = pr->cbHave = 0;
        rc = XFile_Read(pr->hFile, pr->ab, cbWant < LINE_CHUNK ? cbWant : LINE_CHUNK, &pr->cbHave);
        if (rc != XEC_OK) {
            pr->cbHave = 0;
            return rc;
        }
    }
    *pcb = pr->cbHave - pr->iNext;
    return XEC_OK;
}

// The first CR or LF of the cb bytes at pb, or NULL.
static const BYTE *FindLineEnd(const BYTE *pb, DWORD cb)
{
    const BYTE *pLf = (const BYTE *)memchr(pb, CH_LF, cb);
    const BYTE *pCr = (const BYTE *)memchr(pb, CH_CR, pLf ? (size_t)(pLf - pb) : cb);
    return pCr ? pCr : pLf;
}

// Gives back the bytes read ahead and not used, so that the file position
// is right after the last byte the line took.
static DWORD GiveBack(LINE_READER *pr)
{
    DWORD cbUnused = pr->cbHave - pr->iNext;

    if (cbUnused == 0)
        return XEC_OK;
    return XFile_Seek(pr->hFile, -(LONG)cbUnused, XFILE_SEEK_CURRENT, NULL);
}

// XFile_ReadLine
//
// The line is taken a run of bytes at a time out of what was read ahead,
// but the reads and the seek back are those of a byte-by-byte reader.
DWORD XFile_ReadLine(HANDLE hFile, LPSTR pszBuffer, DWORD cbBuffer, DWORD *pcchLength)
{
    LINE_READER reader;
    DWORD n = 0, cb, rc, dwEnd;
    BYTE chEnd = 0;

    if (cbBuffer < 2)
        return XEC_NO_MEMORY;
    if (pszBuffer == NULL)
        return XEC_INTERNAL;
    reader.hFile = hFile;
    reader.cbHave = reader.iNext = 0;

    while (n < cbBuffer - 1) {
        const BYTE *pFrom, *pEnd;
        DWORD cbTake;

        // The rest of this line can take at most cbBuffer - n more bytes:
        // its text, a line end and the partner byte.
        rc = Fill(&reader, cbBuffer - n, &cb);
        if (rc != XEC_OK) {
            GiveBack(&reader);
            return rc;
        }
        if (cb == 0) {
            // End of the file: an empty line here means there is none.
            if (n == 0)
                return XEC_EOF;
            break;
        }
        pFrom = reader.ab + reader.iNext;
        cbTake = cb < cbBuffer - 1 - n ? cb : cbBuffer - 1 - n;
        pEnd = FindLineEnd(pFrom, cbTake);
        if (pEnd == NULL) {
            memcpy(pszBuffer + n, pFrom, cbTake);
            n += cbTake;
            reader.iNext += cbTake;
            continue;
        }
        cbTake = (DWORD)(pEnd - pFrom);
        memcpy(pszBuffer + n, pFrom, cbTake);
        n += cbTake;
        reader.iNext += cbTake + 1;
        chEnd = *pEnd;
        // A partner byte completes a two-byte line end; anything else
        // belongs to the next line and stays unread. End of file or a
        // failing read here only means there is no partner.
        if (Fill(&reader, 1, &cb) == XEC_OK && cb > 0 &&
            reader.ab[reader.iNext] == (chEnd == CH_CR ? CH_LF : CH_CR))
            reader.iNext++;
        break;
    }
    rc = GiveBack(&reader);
    if (rc != XEC_OK)
        return rc;

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
