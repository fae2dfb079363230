// copy.cpp - the "copy" and "copyShared" script commands: source and
// destination paths (the ARM variant of program files, the skip rule for
// applications that run from the card), the single-file copy or removal
// with retry and shared counts, and the progress display.
//
// Depends on the support library's paths, file copy and message boxes, the
// registry's shared-file counts and the progress page's controls.
#include <windows.h>
#include <commctrl.h>

#include <string.h>

#include "registry/regpath.h"
#include "script/script.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

#define IDC_PROGRESS_FILE 1007


// WindowsFolder
const char *WindowsFolder(void)
{
    return "\\Windows";
}

// Extensions compare without regard to case.
static BOOL ExtIs(const char *pszExt, const char *pszWanted)
{
    return ScriptICompare(pszExt, pszWanted) == 0;
}

// Whether a file of this name is kept in the package as its ARM variant.
static BOOL HasArmVariant(const char *pszFileName)
{
    const char *pszExt = XStr_GetFileExtPtr(pszFileName);
    return ExtIs(pszExt, ".exe") || ExtIs(pszExt, ".dll") || ExtIs(pszExt, ".cpl");
}

// Appends a "\" (unless the path is empty or ends with one) and a piece.
static void JoinPiece(char *pszPath, const char *pszPiece)
{
    XStr_AddDirDelim(pszPath);
    XStr_Join(pszPath, pszPiece);
}

// ScriptFolderPath
void ScriptFolderPath(const char *pszInstallFolder, const char *pszFolder, const char *pszName, char *pszOut)
{
    if (pszFolder[0] == '\\') {
        XStr_Copy(pszOut, pszFolder);
    } else {
        XStr_Copy(pszOut, pszInstallFolder ? pszInstallFolder : "");
        if (XStr_Compare(pszFolder, ".") != 0)
            JoinPiece(pszOut, pszFolder);
    }
    JoinPiece(pszOut, pszName);
}

// PathHasDotComponent
//
// Only a dot can start a "." or ".." part: the path is searched for dots
// and each one looked at with its neighbours.
BOOL PathHasDotComponent(const char *pszPath)
{
    const char *p = pszPath;
    while ((p = strchr(p, '.')) != NULL) {
        BOOL fAtStart = p == pszPath || p[-1] == '\\' || p[-1] == '/';
        const char *pAfter = p[1] == '.' ? p + 2 : p + 1;
        if (fAtStart && (*pAfter == 0 || *pAfter == '\\' || *pAfter == '/'))
            return 1;
        p = pAfter;
    }
    return 0;
}

// Writes a device path in one form for comparison: UTF-16, from the root,
// "/" taken as "\", repeated delimiters as one, no trailing delimiter.
static void NormalisePath(const char *pszPath, WCHAR *pwszOut /* MAX_PATH + 1 units */)
{
    WCHAR wszRaw[MAX_PATH];
    int i, n = 1;
    XStr_String2TString(pszPath, wszRaw, MAX_PATH);
    pwszOut[0] = '\\';
    for (i = 0; wszRaw[i] != 0; i++) {
        WCHAR c = wszRaw[i] == '/' ? (WCHAR)'\\' : wszRaw[i];
        if (c == '\\' && n > 0 && pwszOut[n - 1] == '\\')
            continue;
        pwszOut[n++] = c;
    }
    if (n > 1 && pwszOut[n - 1] == '\\')
        n--;
    pwszOut[n] = 0;
}

// PathsNameSameFile
BOOL PathsNameSameFile(const char *pszA, const char *pszB)
{
    WCHAR wszA[MAX_PATH + 1], wszB[MAX_PATH + 1]; // a leading "\\" may be added
    NormalisePath(pszA, wszA);
    NormalisePath(pszB, wszB);
    return XStr_ICompareW(wszA, wszB) == 0;
}

// CopyLineWanted
BOOL CopyLineWanted(BOOL fCopyFiles, const char *pszDestFolderToken, const char *pszFileName)
{
    const char *pszExt;
    if (fCopyFiles)
        return 1;
    if (XStr_FindString(pszDestFolderToken, WindowsFolder()) != NULL)
        return 1;
    pszExt = XStr_GetFileExtPtr(pszFileName);
    return ExtIs(pszExt, ".exe") || ExtIs(pszExt, ".dll");
}

// Builds the source path into a scratch buffer of COPY_SCRATCH_SIZE bytes.
static void BuildSourcePath(const char *pszSourceFolder, const char *pszSubFolder,
                            const char *pszFileName, char *pszOut)
{
    XStr_Copy(pszOut, pszSourceFolder ? pszSourceFolder : "");
    if (XStr_Compare(pszSubFolder, ".") != 0)
        JoinPiece(pszOut, pszSubFolder);
    JoinPiece(pszOut, pszFileName);
    if (HasArmVariant(pszFileName))
        XStr_Join(pszOut, ".ARM");
}

// CopySourcePath
BOOL CopySourcePath(const char *pszSourceFolder, const char *pszSubFolder, const char *pszFileName,
                    char *pszOut)
{
    char szPath[COPY_SCRATCH_SIZE];
    if (XStr_Length(pszSourceFolder ? pszSourceFolder : "") >= SCRIPT_PATH_SIZE ||
        XStr_Length(pszSubFolder) >= SCRIPT_TOKEN_SIZE || XStr_Length(pszFileName) >= SCRIPT_TOKEN_SIZE)
        return 0;
    BuildSourcePath(pszSourceFolder, pszSubFolder, pszFileName, szPath);
    if (XStr_Length(szPath) >= SCRIPT_PATH_SIZE)
        return 0;
    XStr_Copy(pszOut, szPath);
    return 1;
}

static void ShowCopyMessage(UINT uId, UINT uStyle, const char *pszSource, const char *pszDest,
                            int *pnAnswer)
{
    WCHAR wszSource[MAX_PATH], wszDest[MAX_PATH];
    int nAnswer;
    XStr_String2TString(pszSource, wszSource, MAX_PATH);
    XStr_String2TString(pszDest, wszDest, MAX_PATH);
    nAnswer = Supp_MsgBox(NULL, uId, uStyle, wszSource, wszDest);
    if (pnAnswer)
        *pnAnswer = nAnswer;
}

// CopyLinePaths
int CopyLinePaths(BOOL fCopyFiles, SCRIPT_TOKEN *aTokens, const char *pszSourceFolder,
                  const char *pszInstallFolder, char *pszSource, char *pszDest)
{
    const char *pszSub = aTokens[1];
    const char *pszDestFolder = aTokens[2];
    const char *pszName = aTokens[3];

    if (!CopyLineWanted(fCopyFiles, pszDestFolder, pszName))
        return COPY_LINE_SKIPPED;

    // The scratch buffers hold any folder of a valid length and three tokens.
    if (XStr_Length(pszSourceFolder ? pszSourceFolder : "") >= SCRIPT_PATH_SIZE ||
        XStr_Length(pszInstallFolder ? pszInstallFolder : "") >= SCRIPT_DEST_SIZE) {
        XStr_NCopyExact(pszSource, pszSourceFolder ? pszSourceFolder : "", COPY_SCRATCH_SIZE);
        XStr_NCopyExact(pszDest, pszInstallFolder ? pszInstallFolder : "", COPY_SCRATCH_SIZE);
        return COPY_LINE_REFUSED;
    }

    BuildSourcePath(pszSourceFolder, pszSub, pszName, pszSource);

    ScriptFolderPath(pszInstallFolder, pszDestFolder, pszName, pszDest);

    // Lines the copy cannot carry out safely are refused: a token that was
    // cut, a path over its buffer, no file name, or a path that would leave
    // its folder.
    if ((g_dwScriptTokensCut & 0x0e) != 0 || pszName[0] == 0 ||
        XStr_Length(pszSource) >= SCRIPT_PATH_SIZE || XStr_Length(pszDest) >= SCRIPT_DEST_SIZE ||
        PathHasDotComponent(pszSource) || PathHasDotComponent(pszDest))
        return COPY_LINE_REFUSED;
    return COPY_LINE_BUILT;
}

// CopyCommand
BOOL CopyCommand(BOOL fInstall, BOOL fCopyFiles, SCRIPT_TOKEN *aTokens, const char *pszSourceFolder,
                 const char *pszInstallFolder, BOOL fShared, COPY_PROGRESS *pcp)
{
    char szSource[COPY_SCRATCH_SIZE];
    char szDest[COPY_SCRATCH_SIZE];

    switch (CopyLinePaths(fCopyFiles, aTokens, pszSourceFolder, pszInstallFolder, szSource, szDest)) {
    case COPY_LINE_SKIPPED:
        return 1;
    case COPY_LINE_REFUSED:
        // A removal carries every line it can: a line that names no safe
        // path never copied anything, so it is passed over.
        if (!fInstall)
            return 1;
        ShowCopyFailed(szSource, szDest);
        return 0;
    }
    return InstallFile(fInstall, szSource, szDest, fShared, pcp);
}

// ShowCopyFailed
void ShowCopyFailed(const char *pszSource, const char *pszDest)
{
    ShowCopyMessage(IDS_COPY_FAILED, MB_ICONHAND, pszSource, pszDest, NULL);
}

// Repaints the progress page and the main window and lets the page handle
// its waiting messages.
static void RefreshProgress(COPY_PROGRESS *pcp)
{
    if (pcp->hwndPage)
        InvalidateRect(pcp->hwndPage, NULL, FALSE);
    if (pcp->hwndMain)
        InvalidateRect(pcp->hwndMain, NULL, FALSE);
    if (pcp->hwndPage)
        UpdateWindow(pcp->hwndPage);
    if (pcp->hwndMain)
        UpdateWindow(pcp->hwndMain);
    Supp_PeekMessages(pcp->hwndPage);
}

// InstallFile
BOOL InstallFile(BOOL fInstall, const char *pszSource, const char *pszDest, BOOL fShared,
                 COPY_PROGRESS *pcp)
{
    if (pszSource == NULL || pszDest == NULL)
        return 0;

    if (!fInstall) {
        if (fShared) {
            DWORD dwCount = 0;
            if (!SharedFileCount(0, pszDest, &dwCount)) {
                ShowCopyMessage(IDS_COPY_FAILED, MB_ICONHAND, pszSource, pszDest, NULL);
                return 0;
            }
            if (dwCount > 0)
                return 1; // still used by another installation
        }
        // A file or folder that is already gone is no error.
        XFile_DeleteFile(pszDest);
        XFile_DeleteFilePath(pszDest);
        return 1;
    }

    // A file copied onto itself would only be lost; no retry can help.
    if (PathsNameSameFile(pszSource, pszDest) || XFile_CreateFilePath(pszDest) != 0) {
        ShowCopyMessage(IDS_COPY_FAILED, MB_ICONHAND, pszSource, pszDest, NULL);
        return 0;
    }

    for (;;) {
        DWORD rc;
        int nAnswer = 0;
        if (pcp) {
            pcp->pszSourceFile = pszSource;
            RefreshProgress(pcp);
            rc = XFile_CopyFileWithProgress(pszSource, pszDest, 1, CopyProgress, pcp);
            pcp->pszSourceFile = NULL; // borrowed only for this copy
        } else {
            rc = XFile_CopyFile(pszSource, pszDest, 1);
        }
        if (rc == 0)
            break;
        // Only a Yes tries again: a box that could not be shown (0) must
        // not turn into an endless retry.
        ShowCopyMessage(IDS_COPY_RETRY, MB_YESNO | MB_ICONQUESTION, pszSource, pszDest, &nAnswer);
        if (nAnswer != IDYES)
            return 0;
    }

    if (pcp) {
        DWORD dwLength = 0;
        if (XFile_FileLengthByName(pszSource, &dwLength) == 0)
            pcp->dwBytesDone += dwLength;
    }

    if (fShared && !SharedFileCount(1, pszDest, NULL)) {
        ShowCopyMessage(IDS_COPY_FAILED, MB_ICONHAND, pszSource, pszDest, NULL);
        return 0;
    }
    return 1;
}

// CopyProgress
BOOL CopyProgress(DWORD dwBytesCopied, DWORD dwPercent, LPVOID pvUser)
{
    COPY_PROGRESS *pcp = (COPY_PROGRESS *)pvUser;
    WCHAR wszText[MAX_PATH];
    DWORD dwPos = 0;

    if (pcp == NULL)
        return 1;

    // In 64 bits, so that large totals cannot wrap; with no total the bar
    // stays at the start, and it never passes its end.
    if (pcp->dwTotalBytes != 0) {
        ULONGLONG qwDone = (ULONGLONG)pcp->dwBytesDone + dwBytesCopied;
        ULONGLONG qwPos = qwDone * 100 / pcp->dwTotalBytes;
        dwPos = qwPos > 100 ? 100 : (DWORD)qwPos;
    }

    XStr_CopyW(wszText, TEXT("Copying file: "));
    XStr_String2TStringCat(XStr_GetFileTitlePtr(pcp->pszSourceFile ? pcp->pszSourceFile : ""), wszText,
                           MAX_PATH);
    if (pcp->hwndPage)
        SetDlgItemTextW(pcp->hwndPage, IDC_PROGRESS_FILE, wszText);
    if (pcp->hwndBar)
        SendMessageW(pcp->hwndBar, PBM_SETPOS, (WPARAM)dwPos, 0);
    RefreshProgress(pcp);
    return 1;
}
