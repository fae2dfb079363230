/* probe.c - a client program of the support library for the tests: it makes
 * the calls named on its command line, in order, and prints one line per
 * call, "OP ARG -> RESULT", so that a test can run it with and without a
 * device and compare.
 *
 *   exists PATH   XFile_FileExists
 *   mkdir PATH    XFile_CreateDirectory
 *   delete PATH   XFile_DeleteFile
 *   read PATH     XFile_Open for reading, closed again
 *   write PATH    XFile_Open for update (created when missing), closed again
 *   hold PATH     XFile_Open for writing; kept open until standard input ends
 *   free PATH     XFile_GetDiskFreeSpace (result code only)
 *   font NAME     Supp_IsFontInstalled (1 / 0)
 *   length TEXT   XStr_Length, which needs no device
 */
#include <stdio.h>
#include <string.h>

#include <supp.h>
#include <xec.h>
#include <xfile.h>
#include <xstr.h>

static DWORD OpenClose(const char *pszName, int nMode)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    DWORD dwCode = XFile_Open(pszName, nMode, &hFile);
    if (dwCode == XEC_OK)
        XFile_Close(&hFile);
    return dwCode;
}

int main(int argc, char **argv)
{
    int i;
    for (i = 1; i + 1 < argc; i += 2) {
        const char *op = argv[i], *arg = argv[i + 1];
        long result;
        if (!strcmp(op, "exists")) {
            result = (long)XFile_FileExists(arg);
        } else if (!strcmp(op, "mkdir")) {
            result = (long)XFile_CreateDirectory(arg);
        } else if (!strcmp(op, "delete")) {
            result = (long)XFile_DeleteFile(arg);
        } else if (!strcmp(op, "read")) {
            result = (long)OpenClose(arg, XFILE_MODE_READ);
        } else if (!strcmp(op, "write")) {
            result = (long)OpenClose(arg, XFILE_MODE_UPDATE);
        } else if (!strcmp(op, "hold")) {
            HANDLE hFile = XFILE_NO_HANDLE;
            int c;
            result = (long)XFile_Open(arg, XFILE_MODE_WRITE, &hFile);
            printf("%s %s -> %ld\n", op, arg, result);
            fflush(stdout);
            while ((c = getchar()) != EOF)
                ;
            if (result == XEC_OK)
                XFile_Close(&hFile);
            continue;
        } else if (!strcmp(op, "free")) {
            DWORD dwFree = 0;
            result = (long)XFile_GetDiskFreeSpace(arg, &dwFree);
        } else if (!strcmp(op, "font")) {
            WCHAR szFace[64];
            XStr_String2TString(arg, szFace, 64);
            result = (long)Supp_IsFontInstalled(0, szFace);
        } else if (!strcmp(op, "length")) {
            result = (long)XStr_Length(arg);
        } else {
            fprintf(stderr, "probe: unknown operation %s\n", op);
            return 2;
        }
        printf("%s %s -> %ld\n", op, arg, result);
    }
    return 0;
}
