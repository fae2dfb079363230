/* client.c - a small program of its own that uses the support library on an
 * emulated device: it copies a file with progress, reads the copy's first
 * line and asks whether a font is installed; a failure is reported with the
 * library's own error text.
 *
 * Build it against an installed library and run it on a device:
 *
 *     cc -std=c11 client.c $(pkg-config --cflags --libs cesupport) -o client
 *     cedevice init /tmp/dev
 *     cedevice run /tmp/dev --card samples/card ./client \
 *         '\Storage Card\Dravex.load' '\My Documents\Dravex.load'
 *
 * Device paths use backslashes; \Storage Card is the card given to
 * cedevice run. Exit code 0 when everything worked, 1 otherwise.
 */
#include <stdio.h>

#include <supp.h>
#include <xec.h>
#include <xfile.h>
#include <xstr.h>

/* Called before each block is written; prints each new percentage. */
static BOOL ShowProgress(DWORD dwBytesCopied, DWORD dwPercent, LPVOID pvUser)
{
    DWORD *pdwLast = (DWORD *)pvUser;
    if (dwPercent != *pdwLast) {
        printf("progress %lu%% (%lu bytes)\n", (unsigned long)dwPercent, (unsigned long)dwBytesCopied);
        *pdwLast = dwPercent;
    }
    return TRUE; /* go on; FALSE would cancel the copy */
}

/* Reports a failed operation with the library's text for its result code. */
static int Fail(const char *pszWhat, const char *pszName, DWORD dwCode)
{
    fprintf(stderr, "client: %s %s: %s (result code %lu)\n", pszWhat, pszName, Xec_ErrMsgPtr(dwCode),
            (unsigned long)dwCode);
    return 1;
}

int main(int argc, char **argv)
{
    char szLine[256];
    DWORD dwLast = (DWORD)-1, dwLength = 0, dwCode;
    HANDLE hFile = XFILE_NO_HANDLE;

    if (argc != 3) {
        fprintf(stderr, "usage: client SOURCE DEST  (device paths, e.g. '\\Storage Card\\a.txt')\n");
        return 1;
    }

    dwCode = XFile_CopyFileWithProgress(argv[1], argv[2], TRUE, ShowProgress, &dwLast);
    if (dwCode != XEC_OK)
        return Fail("cannot copy", argv[1], dwCode);
    dwCode = XFile_FileLengthByName(argv[2], &dwLength);
    if (dwCode != XEC_OK)
        return Fail("cannot measure", argv[2], dwCode);
    printf("copied %s to %s: %lu bytes\n", argv[1], argv[2], (unsigned long)dwLength);

    dwCode = XFile_Open(argv[2], XFILE_MODE_READ, &hFile);
    if (dwCode != XEC_OK)
        return Fail("cannot open", argv[2], dwCode);
    dwCode = XFile_ReadLine(hFile, szLine, sizeof szLine, NULL);
    XFile_Close(&hFile);
    if (dwCode == XEC_EOF)
        szLine[0] = '\0'; /* an empty file has no first line */
    else if (dwCode != XEC_OK)
        return Fail("cannot read", argv[2], dwCode);
    XStr_StripStringCRLFs(szLine); /* the line comes with its line end */
    printf("first line: %s\n", szLine);

    /* UTF-16 strings are written with TEXT(), as on the device. */
    printf("font Tahoma: %s\n", Supp_IsFontInstalled(0, TEXT("Tahoma")) ? "installed" : "not installed");
    return 0;
}
