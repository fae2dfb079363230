// commands.cpp - carrying out a script or undoing an installation from its
// unload log: the run, the line dispatcher that writes the log, and the
// registry, shortcut and program-start commands.
//
// Install mode appends every line that succeeded to the unload log, so the
// log is the exact list of what was done; removal mode reads the log back
// and each command undoes its own work. Depends on the reader, the copy
// commands, the registry key paths and shared counts, the support library's
// files and message boxes, and the shell's shortcuts.
#include <windows.h>
#include <shellapi.h>

#include "registry/regpath.h"
#include "script/script.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

#define LINK_PATH_SIZE 256
#define TARGET_SIZE 264
#define SCRATCH_SIZE 1100
#define WIDE_ARG_SIZE 256

// A token that the reader had to cut.
static BOOL TokensCut(DWORD dwMask)
{
    return (g_dwScriptTokensCut & dwMask) != 0;
}

// RunScript
BOOL RunScript(BOOL fInstall, BOOL fCreateLog, BOOL fReinstall, const char *pszScriptPath,
               const char *pszUnloadLogPath, BOOL fCopyFiles, const char *pszSourceFolder,
               char *pszInstallFolder, HWND hwndPage, HWND hwndBar, DWORD dwTotalBytes,
               DWORD *pdwBytesDone)
{
    SCRIPT_RUN run;
    BOOL fResult = 1;

    run.fInstall = fInstall;
    run.fReinstall = fReinstall;
    run.fCopyFiles = fCopyFiles;
    run.pszSourceFolder = pszSourceFolder;
    run.pszInstallFolder = pszInstallFolder;
    run.hUnloadLog = XFILE_NO_HANDLE;
    run.cp.pfnProgress = CopyProgress;
    run.cp.hwndMain = hwndPage ? GetParent(hwndPage) : 0;
    run.cp.hwndPage = hwndPage;
    run.cp.hwndBar = hwndBar;
    run.cp.pszSourceFile = NULL;
    run.cp.dwTotalBytes = dwTotalBytes;
    run.cp.dwBytesDone = 0;

    if (fInstall && fCreateLog) {
        // Creating the log empties its file: when it is the script itself
        // (an installation run from an unload log into the log's own
        // folder) the only record would be lost before it is read.
        if (pszUnloadLogPath == NULL || pszScriptPath == NULL ||
            PathsNameSameFile(pszScriptPath, pszUnloadLogPath) || XFile_CreateFilePath(pszUnloadLogPath) != 0 ||
            XFile_Create(pszUnloadLogPath, &run.hUnloadLog) != 0)
            fResult = 0;
    }

    if (fResult) {
        if (pszInstallFolder)
            XStr_RemoveTrailingDirDelim(pszInstallFolder);
        if (!ReadScript(fInstall ? pszScriptPath : pszUnloadLogPath, fInstall, pszInstallFolder,
                        ExecScriptCommand, &run))
            fResult = 0;
    }

    if (run.hUnloadLog != XFILE_NO_HANDLE && XFile_Close(&run.hUnloadLog) != 0)
        fResult = 0;

    if (pdwBytesDone)
        *pdwBytesDone = run.cp.dwBytesDone;
    return fResult;
}

// Appends one line and its CR LF to the unload log in a single write, so a
// failed write never leaves half a line behind.
static BOOL AppendLogLine(HANDLE hLog, const char *pszLine)
{
    char szBuf[SCRIPT_LINE_SIZE + 2];
    DWORD cch = (DWORD)XStr_Length(pszLine);
    if (cch >= SCRIPT_LINE_SIZE)
        return XFile_WriteLine(hLog, pszLine) == 0;
    XStr_Copy(szBuf, pszLine);
    szBuf[cch] = '\r';
    szBuf[cch + 1] = '\n';
    return XFile_Write(hLog, szBuf, cch + 2, NULL) == 0;
}

// ExecScriptCommand
int ExecScriptCommand(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData)
{
    SCRIPT_RUN *pRun = (SCRIPT_RUN *)pData;
    BOOL fOk;

    if (pRun == NULL || pszLine == NULL || aTokens == NULL)
        return 0;

    switch (nCommand) {
    case SCRIPT_CMD_REGKEYCREATE:
        fOk = RegKeyCommand(pRun->fInstall, aTokens);
        break;
    case SCRIPT_CMD_REGSTRING:
        fOk = RegValueCommand(pRun->fInstall, aTokens, REG_SZ);
        break;
    case SCRIPT_CMD_REGINT:
        fOk = RegValueCommand(pRun->fInstall, aTokens, REG_DWORD);
        break;
    case SCRIPT_CMD_COPY:
        fOk = CopyCommand(pRun->fInstall, pRun->fCopyFiles, aTokens, pRun->pszSourceFolder,
                          pRun->pszInstallFolder, 0, &pRun->cp);
        break;
    case SCRIPT_CMD_COPYSHARED:
        fOk = CopyCommand(pRun->fInstall, pRun->fCopyFiles, aTokens, pRun->pszSourceFolder,
                          pRun->pszInstallFolder, !pRun->fReinstall, &pRun->cp);
        break;
    case SCRIPT_CMD_CREATESHORTCUT:
        fOk = ShortcutCommand(pRun->fInstall, aTokens, pRun->pszInstallFolder, !pRun->fReinstall);
        break;
    case SCRIPT_CMD_REMOTEEXEC:
        fOk = RemoteExecCommand(pRun->fInstall, aTokens);
        break;
    case SCRIPT_CMD_EXECONUNLOAD:
        fOk = ExecOnUnloadCommand(pRun->fInstall, aTokens);
        break;
    case SCRIPT_CMD_MKDIR:
    case SCRIPT_CMD_COMMENT:
    case SCRIPT_CMD_EXIT:
        fOk = 1;
        break;
    default:
        return 0; // not a command number: nothing is done or logged
    }
    if (!fOk)
        return 0;

    if (pRun->fInstall && pRun->hUnloadLog != XFILE_NO_HANDLE && !AppendLogLine(pRun->hUnloadLog, pszLine))
        return 0;
    return 1;
}

static BOOL RegistryFailed(void)
{
    Supp_MsgBox(NULL, IDS_REGISTRY_FAILED, MB_ICONHAND);
    return 0;
}

// Whether a key path names a key below its root. An empty path names the
// root itself, and deleting "the key with all its subkeys" would then empty
// the whole root.
static BOOL NamesSubkey(const char *pszPath)
{
    const char *p;
    for (p = pszPath; *p; p++) {
        if (*p != '\\' && *p != ' ' && *p != '\t')
            return 1;
    }
    return 0;
}

// RegKeyCommand
BOOL RegKeyCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens)
{
    HKEY hRoot, hKey;

    if (aTokens == NULL || TokensCut(0x06) || !NamesSubkey(aTokens[2]))
        return RegistryFailed();
    hRoot = RegRootFromName(aTokens[1]);
    if (hRoot == 0)
        return RegistryFailed();

    if (fInstall) {
        hKey = RegOpenKeyPath(aTokens[2], hRoot, 1);
        if (hKey == 0)
            return RegistryFailed();
        RegCloseKey(hKey);
    } else {
        // A key that is already gone counts as deleted.
        if (RegDeleteKeyPath(hRoot, aTokens[2]) != 0)
            return RegistryFailed();
    }
    return 1;
}

// RegValueCommand
BOOL RegValueCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens, DWORD dwType)
{
    WCHAR wszName[WIDE_ARG_SIZE];
    WCHAR wszText[WIDE_ARG_SIZE];
    HKEY hRoot, hKey;
    LONG lResult;

    // Values go away with the key the script created for them.
    if (!fInstall)
        return 1;

    if (aTokens == NULL || TokensCut(0x36) || (dwType != REG_SZ && dwType != REG_DWORD))
        return RegistryFailed();
    hRoot = RegRootFromName(aTokens[1]);
    if (hRoot == 0)
        return RegistryFailed();

    XStr_String2TString(aTokens[4], wszName, WIDE_ARG_SIZE);
    hKey = RegOpenKeyPath(aTokens[2], hRoot, 1);
    if (hKey == 0)
        return RegistryFailed();

    if (dwType == REG_SZ) {
        XStr_String2TString(aTokens[5], wszText, WIDE_ARG_SIZE);
        lResult = RegSetValueExW(hKey, wszName, 0, REG_SZ, (const BYTE *)wszText,
                                 (DWORD)(XStr_LengthW(wszText) + 1) * sizeof(WCHAR));
    } else {
        DWORD dwValue = (DWORD)XStr_ToInteger(aTokens[5]);
        lResult = RegSetValueExW(hKey, wszName, 0, REG_DWORD, (const BYTE *)&dwValue, sizeof(dwValue));
    }
    RegCloseKey(hKey);

    if (lResult != 0)
        return RegistryFailed();
    return 1;
}

// A folder token of a shortcut: "\..." absolute, "." the install folder,
// anything else a sub-folder of it. Then "\" and the name. Built into a
// scratch buffer of SCRATCH_SIZE bytes.
static void BuildFolderPath(const char *pszInstallFolder, const char *pszFolder, const char *pszName,
                            char *pszOut)
{
    if (pszFolder[0] == '\\') {
        XStr_Copy(pszOut, pszFolder);
    } else {
        XStr_Copy(pszOut, pszInstallFolder);
        if (XStr_Compare(pszFolder, ".") != 0) {
            XStr_AddDirDelim(pszOut);
            XStr_Join(pszOut, pszFolder);
        }
    }
    XStr_AddDirDelim(pszOut);
    XStr_Join(pszOut, pszName);
}

// ShortcutCommand
BOOL ShortcutCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens, const char *pszInstallFolder, BOOL fShared)
{
    char szLink[SCRATCH_SIZE];
    char szTarget[SCRATCH_SIZE];
    WCHAR wszLink[LINK_PATH_SIZE];
    WCHAR wszTarget[TARGET_SIZE];
    const char *pszFolder = pszInstallFolder ? pszInstallFolder : "";

    // A shortcut never stops a run: a line it cannot make safely is passed
    // over (a cut token, a folder too long to join, a path over its buffer,
    // a link path that would leave its folder).
    if (aTokens == NULL || TokensCut(0x1e) || XStr_Length(pszFolder) >= TARGET_SIZE)
        return 1;

    BuildFolderPath(pszFolder, aTokens[3], aTokens[4], szTarget);
    if (XStr_FindChar(szTarget, ' ') != NULL) {
        DWORD cch = (DWORD)XStr_Length(szTarget);
        int i;
        for (i = (int)cch; i >= 0; i--)
            szTarget[i + 1] = szTarget[i];
        szTarget[0] = '"';
        szTarget[cch + 1] = '"';
        szTarget[cch + 2] = 0;
    }
    BuildFolderPath(pszFolder, aTokens[1], aTokens[2], szLink);
    if (XStr_Length(szTarget) >= TARGET_SIZE || XStr_Length(szLink) >= LINK_PATH_SIZE ||
        aTokens[2][0] == 0 || PathHasDotComponent(szLink))
        return 1;

    XStr_String2TString(szLink, wszLink, LINK_PATH_SIZE);
    XStr_String2TString(szTarget, wszTarget, TARGET_SIZE);

    if (fInstall) {
        XFile_CreateFilePath(szLink);
        XFile_DeleteFile(szLink);
        if (SHCreateShortcut(wszLink, wszTarget) && fShared)
            SharedFileCount(1, szLink, NULL);
        return 1;
    }

    if (fShared) {
        DWORD dwCount = 0;
        if (SharedFileCount(0, szLink, &dwCount) && dwCount > 0)
            return 1; // another installation still uses it
    }
    XFile_DeleteFile(szLink);
    return 1;
}

// Starts a program named by token 1 with the command line of token 2;
// nothing waits for it and a failed start is not reported.
static void StartProgram(SCRIPT_TOKEN *aTokens)
{
    WCHAR wszProgram[WIDE_ARG_SIZE];
    WCHAR wszCmdLine[WIDE_ARG_SIZE];

    // A cut program name or command line would start something else.
    if (TokensCut(0x06))
        return;
    XStr_String2TString(aTokens[1], wszProgram, WIDE_ARG_SIZE);
    XStr_String2TString(aTokens[2], wszCmdLine, WIDE_ARG_SIZE);
    CreateProcessW(wszProgram, wszCmdLine, NULL, NULL, FALSE, 0, NULL, NULL, NULL, NULL);
}

// RemoteExecCommand
BOOL RemoteExecCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens)
{
    if (fInstall && aTokens != NULL)
        StartProgram(aTokens);
    return 1;
}

// ExecOnUnloadCommand
BOOL ExecOnUnloadCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens)
{
    if (!fInstall && aTokens != NULL)
        StartProgram(aTokens);
    return 1;
}
