// commands.cpp - carrying out a script or undoing an installation from its
// unload log: the run, the line dispatcher that writes the log, and the
// registry, shortcut and program-start commands.
//
// Install mode appends every line it carries out to the unload log, so the
// log is the exact list of what was done; removal mode reads the log back,
// each command undoes its own work, and the undone lines are marked. Depends on the reader, the copy
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

// Whether the unload log is missing from a folder that exists. A folder
// that is missing (a card that is not there) is no proof of anything.
static BOOL LogNeverWritten(const char *pszPath)
{
    WCHAR wszPath[MAX_PATH];

    if (pszPath == NULL || XStr_Length(pszPath) >= MAX_PATH)
        return 0;
    XStr_String2TString(pszPath, wszPath, MAX_PATH);
    return GetFileAttributesW(wszPath) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// RunScript
BOOL RunScript(BOOL fInstall, BOOL fCreateLog, BOOL fReinstall, const char *pszScriptPath,
               const char *pszUnloadLogPath, BOOL fCopyFiles, const char *pszSourceFolder,
               char *pszInstallFolder, HWND hwndPage, HWND hwndBar, DWORD dwTotalBytes,
               DWORD *pdwBytesDone)
{
    SCRIPT_RUN run;
    BOOL fResult = 1;
    char szWriteLog[SCRIPT_DEST_SIZE];
    const char *pszWriteLog = pszUnloadLogPath;

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
        // A reinstallation takes no shared counts: the earlier log, which
        // lists every count the product holds, stays until the new one is
        // complete (a run killed half-way must not leave a log listing only
        // part of them). The new log is written beside it under "~".
        if (fReinstall && pszUnloadLogPath != NULL && XStr_Length(pszUnloadLogPath) + 1 < SCRIPT_DEST_SIZE) {
            XStr_Copy(szWriteLog, pszUnloadLogPath);
            XStr_Join(szWriteLog, "~");
            pszWriteLog = szWriteLog;
        }
        // Creating the log empties its file: when it is the script itself
        // (an installation run from an unload log into the log's own
        // folder) the only record would be lost before it is read.
        if (pszUnloadLogPath == NULL || pszScriptPath == NULL ||
            PathsNameSameFile(pszScriptPath, pszUnloadLogPath) || XFile_CreateFilePath(pszWriteLog) != 0 ||
            XFile_Create(pszWriteLog, &run.hUnloadLog) != 0)
            fResult = 0;
    }

    if (fResult) {
        if (pszInstallFolder)
            XStr_RemoveTrailingDirDelim(pszInstallFolder);
        if (fInstall) {
            if (!ReadScript(pszScriptPath, 1, pszInstallFolder, ExecScriptCommand, &run))
                fResult = 0;
        } else if (LogNeverWritten(pszUnloadLogPath)) {
            // The record is written before the run creates the log: a run
            // stopped in between did nothing a removal could undo.
        } else if (pszUnloadLogPath != NULL &&
                   XFile_Open(pszUnloadLogPath, XFILE_MODE_APPEND, &run.hUnloadLog) == 0 &&
                   XFile_Seek(run.hUnloadLog, 0, XFILE_SEEK_BEGIN, NULL) == 0) {
            // A removal that can write to the log marks each line it has
            // undone, so a removal that was stopped goes on from there.
            if (!ReadScriptFile(run.hUnloadLog, 0, pszInstallFolder, ExecScriptCommand, &run))
                fResult = 0;
        } else {
            // A log that cannot be written is only read.
            if (run.hUnloadLog != XFILE_NO_HANDLE)
                XFile_Close(&run.hUnloadLog);
            if (!ReadScript(pszUnloadLogPath, 0, pszInstallFolder, ExecScriptCommand, &run))
                fResult = 0;
        }
    }

    if (run.hUnloadLog != XFILE_NO_HANDLE && XFile_Close(&run.hUnloadLog) != 0)
        fResult = 0;
    if (pszWriteLog == szWriteLog) {
        // A failed reinstallation keeps the earlier log when there is one.
        if (fResult || XFile_FileExists(pszUnloadLogPath) != 0) {
            if (XFile_RenameFile(szWriteLog, pszUnloadLogPath, 1) != 0)
                fResult = 0;
        }
        XFile_DeleteFile(szWriteLog);
    }

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

// Takes back the line written at dwEnd (the log's length before it): the
// command it announced has failed and must not be undone by a removal.
static void TakeBackLogLine(HANDLE hLog, DWORD dwEnd)
{
    if (XFile_Seek(hLog, (LONG)dwEnd, XFILE_SEEK_BEGIN, NULL) == 0)
        SetEndOfFile(hLog);
}

// Overwrites the first two bytes of the line being handled (its keyword)
// with the two given bytes and comes back to where reading goes on.
static void RewriteKeywordStart(HANDLE hLog, const char *pszTwo)
{
    DWORD dwHere = 0;

    if (hLog == XFILE_NO_HANDLE || XFile_Seek(hLog, 0, XFILE_SEEK_CURRENT, &dwHere) != 0)
        return;
    if (XFile_Seek(hLog, (LONG)g_dwScriptKeywordOffset, XFILE_SEEK_BEGIN, NULL) == 0)
        XFile_Write(hLog, pszTwo, 2, NULL);
    XFile_Seek(hLog, (LONG)dwHere, XFILE_SEEK_BEGIN, NULL);
}

// Whether a comment line is a key line that a removal has marked: its
// keyword with the first two bytes overwritten by "//".
static BOOL UndoneKeyLine(SCRIPT_TOKEN *aTokens)
{
    return aTokens[0][0] == '/' && aTokens[0][1] == '/' && ScriptICompare(aTokens[0] + 2, "gKeyCreate") == 0;
}

// Carries out one command line in its mode; the result of its handler.
static BOOL DoCommand(SCRIPT_RUN *pRun, int nCommand, SCRIPT_TOKEN *aTokens)
{
    switch (nCommand) {
    case SCRIPT_CMD_REGKEYCREATE:
        return RegKeyCommand(pRun->fInstall, aTokens);
    case SCRIPT_CMD_REGSTRING:
        return RegValueCommand(pRun->fInstall, aTokens, REG_SZ);
    case SCRIPT_CMD_REGINT:
        return RegValueCommand(pRun->fInstall, aTokens, REG_DWORD);
    case SCRIPT_CMD_COPY:
        return CopyCommand(pRun->fInstall, pRun->fCopyFiles, aTokens, pRun->pszSourceFolder,
                           pRun->pszInstallFolder, 0, &pRun->cp);
    case SCRIPT_CMD_COPYSHARED:
        return CopyCommand(pRun->fInstall, pRun->fCopyFiles, aTokens, pRun->pszSourceFolder,
                           pRun->pszInstallFolder, !pRun->fReinstall, &pRun->cp);
    case SCRIPT_CMD_CREATESHORTCUT:
        return ShortcutCommand(pRun->fInstall, aTokens, pRun->pszInstallFolder, !pRun->fReinstall);
    case SCRIPT_CMD_REMOTEEXEC:
        return RemoteExecCommand(pRun->fInstall, aTokens);
    case SCRIPT_CMD_EXECONUNLOAD:
        return ExecOnUnloadCommand(pRun->fInstall, aTokens);
    }
    return 1; // mkdir, comments and "exit" do nothing
}

// A counted copy when installing: the count is taken and the line logged
// before the file is copied, so that a run killed at any moment of the copy
// leaves a log whose removal gives the count back and deletes the file.
// Between the count and the log line is the one moment at which a killed
// run keeps a count that no log lists: a count too many is the safe side,
// as it can only keep a file, never delete one another product uses.
static BOOL InstallCountedCopy(SCRIPT_RUN *pRun, char *pszLine, SCRIPT_TOKEN *aTokens)
{
    char szSource[COPY_SCRATCH_SIZE];
    char szDest[COPY_SCRATCH_SIZE];
    DWORD dwEnd = 0;

    switch (CopyLinePaths(pRun->fCopyFiles, aTokens, pRun->pszSourceFolder, pRun->pszInstallFolder, szSource,
                          szDest)) {
    case COPY_LINE_SKIPPED:
        return AppendLogLine(pRun->hUnloadLog, pszLine);
    case COPY_LINE_REFUSED:
        ShowCopyFailed(szSource, szDest);
        return 0;
    }
    if (PathsNameSameFile(szSource, szDest) || !SharedFileCount(1, szDest, NULL)) {
        ShowCopyFailed(szSource, szDest);
        return 0;
    }
    if (XFile_Seek(pRun->hUnloadLog, 0, XFILE_SEEK_CURRENT, &dwEnd) != 0 ||
        !AppendLogLine(pRun->hUnloadLog, pszLine)) {
        SharedFileCount(0, szDest, NULL);
        return 0;
    }
    if (!InstallFile(1, szSource, szDest, 0, &pRun->cp)) {
        TakeBackLogLine(pRun->hUnloadLog, dwEnd);
        SharedFileCount(0, szDest, NULL);
        return 0;
    }
    return 1;
}

// ExecScriptCommand
//
// Installing with a log, every command line is logged before its command
// changes anything and taken back when the command fails: a run killed in
// the middle of a command leaves it in the log, and the removal undoes
// whatever part of it was done. Removing, every line whose work has been
// undone is then marked in the log (its keyword turned into a comment), so
// that a removal started again goes on where the last one stopped and gives
// no shared count back twice. The mark follows the registry commit that gave
// a count back by a single two-byte write: a run killed in between is the
// one case in which a count can be given back twice. A key line is marked
// before its key is deleted, and done again by every later removal.
int ExecScriptCommand(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData)
{
    SCRIPT_RUN *pRun = (SCRIPT_RUN *)pData;
    BOOL fLogged = pRun != NULL && pRun->hUnloadLog != XFILE_NO_HANDLE;
    BOOL fAct = nCommand >= SCRIPT_CMD_REGKEYCREATE && nCommand <= SCRIPT_CMD_EXECONUNLOAD &&
                nCommand != SCRIPT_CMD_MKDIR;
    DWORD dwEnd = 0;
    BOOL fOk;

    if (pRun == NULL || pszLine == NULL || aTokens == NULL || nCommand < 0 || nCommand > SCRIPT_CMD_EXIT)
        return 0;

    if (pRun->fInstall) {
        if (!fLogged || !fAct)
            return DoCommand(pRun, nCommand, aTokens) && (!fLogged || AppendLogLine(pRun->hUnloadLog, pszLine));
        if (nCommand == SCRIPT_CMD_COPYSHARED && !pRun->fReinstall)
            return InstallCountedCopy(pRun, pszLine, aTokens);
        if (XFile_Seek(pRun->hUnloadLog, 0, XFILE_SEEK_CURRENT, &dwEnd) != 0 ||
            !AppendLogLine(pRun->hUnloadLog, pszLine))
            return 0;
        if (!DoCommand(pRun, nCommand, aTokens)) {
            TakeBackLogLine(pRun->hUnloadLog, dwEnd);
            return 0;
        }
        return 1;
    }

    // Removal: a key line marked by an earlier removal is done again.
    if (nCommand == SCRIPT_CMD_COMMENT && UndoneKeyLine(aTokens))
        return RegKeyCommand(0, aTokens);
    // Only lines that undo something are marked.
    fAct = fAct && nCommand != SCRIPT_CMD_REGSTRING && nCommand != SCRIPT_CMD_REGINT &&
           nCommand != SCRIPT_CMD_REMOTEEXEC && XStr_Length(pszLine) >= 2;
    if (!fLogged || !fAct)
        return DoCommand(pRun, nCommand, aTokens);
    if (nCommand == SCRIPT_CMD_REGKEYCREATE) {
        // Deleting a key can be done twice, so its line is marked first: a
        // removal killed at once after deleting the presence key must
        // still leave a log that shows a removal under way.
        RewriteKeywordStart(pRun->hUnloadLog, "//");
        return DoCommand(pRun, nCommand, aTokens);
    }
    fOk = DoCommand(pRun, nCommand, aTokens);
    if (fOk)
        RewriteKeywordStart(pRun->hUnloadLog, "//");
    return fOk;
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

    // A line that names no key it could have made is refused; a removal
    // passes it over (it reads every line of a log, and such a line can be
    // there when a run stopped in the middle of it).
    hRoot = aTokens == NULL ? 0 : RegRootFromName(aTokens[1]);
    if (aTokens == NULL || TokensCut(0x06) || !NamesSubkey(aTokens[2]) || hRoot == 0)
        return fInstall ? RegistryFailed() : 1;

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

    ScriptFolderPath(pszFolder, aTokens[3], aTokens[4], szTarget);
    if (XStr_FindChar(szTarget, ' ') != NULL) {
        DWORD cch = (DWORD)XStr_Length(szTarget);
        int i;
        for (i = (int)cch; i >= 0; i--)
            szTarget[i + 1] = szTarget[i];
        szTarget[0] = '"';
        szTarget[cch + 1] = '"';
        szTarget[cch + 2] = 0;
    }
    ScriptFolderPath(pszFolder, aTokens[1], aTokens[2], szLink);
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
