// estimate.cpp - the space an installation needs: the sum of the package
// files that the script's copy lines would copy, read before anything is
// installed. Nothing on the device is changed.
//
// Depends on the reader, the copy commands' skip rule and source paths, and
// the support library's file lengths.
#include <windows.h>

#include "script/script.h"
#include "support/xfile.h"
#include "support/xstr.h"

// EstimateScript
BOOL EstimateScript(const char *pszScriptPath, const char *pszSourceFolder, DWORD *pdwTotal,
                    BOOL fCopyFiles)
{
    SCRIPT_SIZE size;

    size.pszSourceFolder = pszSourceFolder;
    size.dwTotal = 0;
    size.fCopyFiles = fCopyFiles;

    // Install mode and no "%P" text: a script without "exit" fails here,
    // before anything is copied.
    if (!ReadScript(pszScriptPath, 1, NULL, SizeScriptCommand, &size))
        return 0;
    if (pdwTotal)
        *pdwTotal = size.dwTotal;
    return 1;
}

// SizeScriptCommand
int SizeScriptCommand(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData)
{
    SCRIPT_SIZE *pSize = (SCRIPT_SIZE *)pData;
    char szSource[SCRIPT_PATH_SIZE];
    DWORD dwLength = 0;

    if (nCommand != SCRIPT_CMD_COPY && nCommand != SCRIPT_CMD_COPYSHARED)
        return 1;
    if (pSize == NULL || aTokens == NULL)
        return 0;
    if (!CopyLineWanted(pSize->fCopyFiles, aTokens[2], aTokens[3]))
        return 1;

    // A line whose package file cannot be named cannot be measured, and the
    // copy would refuse it too.
    if ((g_dwScriptTokensCut & 0x0a) != 0 || aTokens[3][0] == 0 ||
        !CopySourcePath(pSize->pszSourceFolder, aTokens[1], aTokens[3], szSource))
        return 0;
    if (XFile_FileLengthByName(szSource, &dwLength) != 0)
        return 0;

    // The sum is 32 bits wide; it stops at its largest value instead of
    // wrapping round to a small figure.
    if (dwLength > 0xFFFFFFFFu - pSize->dwTotal)
        pSize->dwTotal = 0xFFFFFFFFu;
    else
        pSize->dwTotal += dwLength;
    return 1;
}
