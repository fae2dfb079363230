// driver.cpp - RunSetup, the whole setup: each product of the table in
// turn is found, installed, maintained (reinstalled or removed) or removed
// from an installation folder, through the wizard pages.
//
// A failure ends only the current product's turn; the operation that met it
// has shown its own message, and the driver adds at most one summary.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "language/languages.h"
#include "registry/records.h"
#include "registry/regpath.h"
#include "registry/shortcuts.h"
#include "script/script.h"
#include "setup/setup.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

// How a product's turn ended.
enum TurnEnd {
    TURN_DONE,    // the turn ran to its end (successfully or not)
    TURN_SKIPPED, // Skip, or the removal list cancelled
    TURN_EXIT,    // Exit: the setup ends at once
    TURN_RUNNING  // the product's application is running: the setup ends
};

// State of the whole run, kept across turns.
typedef struct tagSETUP_RUN {
    HINSTANCE hInstance;
    HWND hwndMain;
    char szModulePath[SCRIPT_DEST_SIZE];   // the setup program as a byte string
    char szModuleFolder[SCRIPT_DEST_SIZE]; // its folder, with the trailing "\"
    BOOL fHandled;
    BOOL fLastProduct;
    DWORD dwRequired;
    DWORD dwBytesDone;
    HWND hwndBar;
} SETUP_RUN;

// One product's turn.
typedef struct tagSETUP_TURN {
    int nProduct;
    char szSourceFolder[SCRIPT_DEST_SIZE];
    char szScriptPath[SCRIPT_DEST_SIZE];
    BOOL fInstallScript;
    BOOL fLanguageScript;
    char szProductName[SCRIPT_NAME_SIZE];
    WCHAR wszProductName[SCRIPT_NAME_SIZE];
    char szNote[SCRIPT_NAME_SIZE];
    WCHAR wszNote[SCRIPT_NAME_SIZE];
    HKEY hPresenceRoot;
    char szPresenceKey[SCRIPT_NAME_SIZE];
    char szDestFolder[SCRIPT_DEST_SIZE];
    char szBitmapPath[SCRIPT_DEST_SIZE];
    WCHAR wszBitmapPath[MAX_PATH];
    char szUnloadPath[SCRIPT_DEST_SIZE];
    DWORD fCopyFiles;
    WCHAR wszLanguage[64];
    LANGUAGEROW language;
    BOOL fInstall;
    BOOL fReinstall;
    DWORD dwLogState;   // UnloadLogState of the recorded log (removal and reinstall)
    BOOL fUndoFirst;    // reinstall over a run that did not finish: undo it, then install anew
    int nOutcome;
} SETUP_TURN;

INT_PTR ShowSetupPage(HINSTANCE hInstance, int nPage, HWND hwndOwner, DLGPROC pfnProc, LPARAM lParam)
{
    HRSRC hRes = FindResourceW(hInstance, MAKEINTRESOURCEW(nPage), RT_DIALOG);
    HGLOBAL hData = hRes ? LoadResource(hInstance, hRes) : NULL;

    if (!hData)
        return -1;
    return DialogBoxIndirectParamW(hInstance, (LPCDLGTEMPLATEW)hData, hwndOwner, pfnProc, lParam);
}

HWND CreateSetupPage(HINSTANCE hInstance, int nPage, HWND hwndOwner, DLGPROC pfnProc, LPARAM lParam)
{
    HRSRC hRes = FindResourceW(hInstance, MAKEINTRESOURCEW(nPage), RT_DIALOG);
    HGLOBAL hData = hRes ? LoadResource(hInstance, hRes) : NULL;

    if (!hData)
        return NULL;
    return CreateDialogIndirectParamW(hInstance, (LPCDLGTEMPLATEW)hData, hwndOwner, pfnProc, lParam);
}

// Shows a modeless page while work is done: the main window is disabled
// and the page painted before the work starts.
static HWND OpenWorkPage(SETUP_RUN *pRun, int nPage, LPARAM lParam)
{
    DLGPROC pfnProc = nPage == IDD_CALCULATING ? CalculatingDlgProc : ProgressDlgProc;
    HWND hPage = CreateSetupPage(pRun->hInstance, nPage, pRun->hwndMain, pfnProc, lParam);

    if (hPage)
        UpdateWindow(hPage);
    EnableWindow(pRun->hwndMain, FALSE);
    Supp_PeekMessages(hPage);
    return hPage;
}

static void CloseWorkPage(SETUP_RUN *pRun, HWND hPage)
{
    EnableWindow(pRun->hwndMain, TRUE);
    if (hPage)
        DestroyWindow(hPage);
}

// Bounded join of a folder, a "\" when needed, and a name; an empty result
// when it does not fit.
static void JoinPath(char *pszOut, int cbOut, const char *pszFolder, const char *pszName)
{
    int nFolder = XStr_Length(pszFolder);
    int nName = XStr_Length(pszName);
    int nDelim = (nFolder > 0 && pszFolder[nFolder - 1] == '\\') ? 0 : 1;

    pszOut[0] = 0;
    if (nFolder + nDelim + nName >= cbOut)
        return;
    XStr_Copy(pszOut, pszFolder);
    if (nDelim)
        XStr_Copy(pszOut + nFolder++, "\\");
    XStr_Copy(pszOut + nFolder, pszName);
}

static void LanguageValues(const LANGUAGEROW *pRow, const char *apszValues[SCRIPT_PARAM_COUNT])
{
    int i;

    apszValues[0] = "";
    for (i = 0; i < LANGUAGE_PARAM_COUNT; i++)
        apszValues[i + 1] = pRow->apszParam[i] ? pRow->apszParam[i] : "";
}

static void CopyWide(WCHAR *pszDst, int cchDst, const WCHAR *pszSrc)
{
    int i;

    for (i = 0; i < cchDst - 1 && pszSrc[i]; i++)
        pszDst[i] = pszSrc[i];
    pszDst[i] = 0;
}

// Loads the setup bitmap named by the header just read and repaints the
// main window with it.
static void ShowSetupBitmap(SETUP_RUN *pRun, SETUP_TURN *pTurn)
{
    JoinPath(pTurn->szBitmapPath, SCRIPT_DEST_SIZE, pTurn->szSourceFolder, g_szSetupBitmapName);
    XStr_String2TString(pTurn->szBitmapPath, pTurn->wszBitmapPath, MAX_PATH);
    g_hSetupBitmap = pTurn->szBitmapPath[0] ? SHLoadDIBitmap(pTurn->wszBitmapPath) : NULL;
    InvalidateRect(pRun->hwndMain, NULL, FALSE);
    UpdateWindow(pRun->hwndMain);
}

static void ReleaseSetupBitmap(void)
{
    if (g_hSetupBitmap)
        DeleteObject(g_hSetupBitmap);
    g_hSetupBitmap = NULL;
}

static DWORD FileLength(const char *pszPath)
{
    DWORD dw = 0;

    if (XFile_FileLengthByName(pszPath, &dw) != 0)
        return 0;
    return dw;
}

static BOOL BitmapPresent(const char *pszPath)
{
    DWORD dw = 0;

    return pszPath[0] && XFile_FileLengthByName(pszPath, &dw) == 0;
}

// Removes the installation folder once it is empty after a removal; a
// folder still holding anything (or the program's own folder) stays.
static void RemoveEmptyInstallFolder(const char *pszFolder)
{
    WCHAR wsz[MAX_PATH];

    if (!pszFolder[0])
        return;
    XStr_String2TString(pszFolder, wsz, MAX_PATH);
    RemoveDirectoryW(wsz);
}

// The new log of a reinstallation killed before it was complete ("~" after
// the log's name) goes with the removal.
static void DeleteReinstallLog(const char *pszUnloadPath)
{
    char sz[SCRIPT_DEST_SIZE];

    if (XStr_Length(pszUnloadPath) + 1 >= SCRIPT_DEST_SIZE)
        return;
    XStr_Copy(sz, pszUnloadPath);
    XStr_Join(sz, "~");
    XFile_DeleteFile(sz);
}

// Copies (installing) or releases (removing) the setup program and its
// bitmap in the installation folder; 0 when one of them failed (its message
// has been shown).
static BOOL InstallOwnFiles(SETUP_RUN *pRun, SETUP_TURN *pTurn, BOOL fInstall, BOOL fShared, HWND hPage)
{
    COPY_PROGRESS cp;
    char szDest[SCRIPT_DEST_SIZE];
    BOOL fOk;

    cp.pfnProgress = CopyProgress;
    cp.hwndMain = pRun->hwndMain;
    cp.hwndPage = hPage;
    cp.hwndBar = pRun->hwndBar;
    cp.pszSourceFile = NULL;
    cp.dwTotalBytes = pRun->dwRequired;
    cp.dwBytesDone = pRun->dwBytesDone;
    XStr_ChangeFilePath(pRun->szModulePath, pTurn->szDestFolder, szDest);
    fOk = InstallFile(fInstall, pRun->szModulePath, szDest, fShared, &cp);
    // A package without a setup bitmap is no failure: there is then no
    // bitmap to copy (removal still releases and deletes any copy).
    if (fOk && (!fInstall || BitmapPresent(pTurn->szBitmapPath))) {
        XStr_ChangeFilePath(pTurn->szBitmapPath, pTurn->szDestFolder, szDest);
        fOk = InstallFile(fInstall, pTurn->szBitmapPath, szDest, fShared, &cp);
    }
    return fOk;
}

// Undoes what the recorded unload log still lists, before a reinstallation
// over a run that did not finish (an installation or a removal that was
// stopped): the installation that follows then takes every shared count
// once, as a first installation does. The setup program and its bitmap are
// copied only after a complete script run, so they are released only when
// the log is complete.
static BOOL UndoUnfinishedRun(SETUP_RUN *pRun, SETUP_TURN *pTurn, HWND hPage)
{
    if (!RunScript(0, 0, 0, pTurn->szScriptPath, pTurn->szUnloadPath, pTurn->fCopyFiles, pTurn->szSourceFolder,
                   pTurn->szDestFolder, hPage, NULL, 0, NULL))
        return 0;
    if ((pTurn->dwLogState & UNLOAD_LOG_COMPLETE) && pTurn->fCopyFiles && !InstallOwnFiles(pRun, pTurn, 0, 1, hPage))
        return 0;
    return 1;
}

// Runs the script (or the unload log) behind its progress page, then the
// standard shortcuts, the setup program's own files, the install record and
// the closing message.
//
// The install record is written before the script runs (it holds nothing
// the run changes), so that a run stopped at any moment leaves a product
// the maintenance page can remove or reinstall.
static void RunProductScript(SETUP_RUN *pRun, SETUP_TURN *pTurn)
{
    HWND hPage;
    BOOL fCounted = !pTurn->fReinstall || pTurn->fUndoFirst;
    BOOL fOk;

    pRun->hwndBar = NULL;
    if (pTurn->fInstall)
        hPage = OpenWorkPage(pRun, IDD_INSTALL_PROGRESS, (LPARAM)&pRun->hwndBar);
    else
        hPage = OpenWorkPage(pRun, IDD_REMOVE_PROGRESS, 0);

    if (pTurn->fInstall) {
        // Also before a run that will fail: what was done can still be removed.
        WriteInstallRecord(pTurn->szProductName, pTurn->szDestFolder, pTurn->fCopyFiles, pTurn->szUnloadPath,
                           pRun->dwRequired, pTurn->wszLanguage);
    }

    pRun->dwBytesDone = 0;
    pTurn->nOutcome = 1;
    if (pTurn->fUndoFirst && !UndoUnfinishedRun(pRun, pTurn, hPage))
        pTurn->nOutcome = 0;
    if (pTurn->nOutcome)
        pTurn->nOutcome = RunScript(pTurn->fInstall, 1, !fCounted, pTurn->szScriptPath, pTurn->szUnloadPath,
                                    pTurn->fCopyFiles, pTurn->szSourceFolder, pTurn->szDestFolder, hPage,
                                    pRun->hwndBar, pRun->dwRequired, &pRun->dwBytesDone)
                              ? 1
                              : 0;
    UpdateProductShortcuts(pTurn->fInstall, pTurn->nProduct, pTurn->szDestFolder, pTurn->szProductName);
    if (pTurn->fInstall && pTurn->fLanguageScript)
        XFile_DeleteFile(pTurn->szScriptPath);

    // An installation that stopped before the end of its script never copied
    // the setup program and its bitmap: its removal has none to release.
    if (pTurn->nOutcome == 1 && pTurn->fCopyFiles &&
        (pTurn->fInstall || (pTurn->dwLogState & UNLOAD_LOG_COMPLETE))) {
        fOk = InstallOwnFiles(pRun, pTurn, pTurn->fInstall, fCounted, hPage);
        if (!fOk) {
            if (!pTurn->fInstall) {
                // The record and the unload log stay, so the removal can be
                // tried again.
                CloseWorkPage(pRun, hPage);
                Supp_MsgBox(NULL, IDS_NOT_UNINSTALLED, MB_ICONHAND);
                pTurn->nOutcome = 0;
                return;
            }
            pTurn->nOutcome = 0;
        }
    }
    CloseWorkPage(pRun, hPage);

    // The log and the emptied folder go before the record: a removal
    // stopped in between leaves a record naming a log that is gone, which
    // the next run drops with the folder. Once the record is gone nothing
    // would lead a later run to the folder.
    if (!pTurn->fInstall && pTurn->nOutcome == 1) {
        DeleteReinstallLog(pTurn->szUnloadPath);
        XFile_DeleteFile(pTurn->szUnloadPath);
        RemoveEmptyInstallFolder(pTurn->szDestFolder);
        DeleteInstallRecord(pTurn->szProductName);
    }

    if (pTurn->nOutcome == 1) {
        Supp_MsgBox(NULL, !pTurn->fInstall ? IDS_UNINSTALLED : pTurn->fReinstall ? IDS_REINSTALLED : IDS_INSTALLED,
                    MB_ICONASTERISK, pTurn->wszProductName, pTurn->wszNote);
        pRun->fHandled = 1;
    } else {
        Supp_MsgBox(NULL,
                    !pTurn->fInstall ? IDS_NOT_UNINSTALLED : pTurn->fReinstall ? IDS_CANNOT_REINSTALL : IDS_NOT_INSTALLED,
                    MB_ICONHAND);
    }
}

// Whether the record names a log that was never written or is gone: the
// record is written before the installation creates its log (and its
// folder), and a removal deletes the log before the record. A log on a card
// (files run from where they are) whose folder is missing proves nothing:
// the card may not be there.
static BOOL RecordedLogGone(const char *pszLog, DWORD dwCopyFiles)
{
    WCHAR wszLog[MAX_PATH];
    DWORD dwError;

    if (XStr_Length(pszLog) >= MAX_PATH)
        return 0;
    XStr_String2TString(pszLog, wszLog, MAX_PATH);
    if (GetFileAttributesW(wszLog) != INVALID_FILE_ATTRIBUTES)
        return 0;
    dwError = GetLastError();
    return dwError == ERROR_FILE_NOT_FOUND || (dwCopyFiles != 0 && dwError == ERROR_PATH_NOT_FOUND);
}

// Called when the presence key is missing: whether the product's record
// names an unload log of a run that did not finish: an installation stopped
// before its "exit" line (perhaps before the script created the presence
// key), or a removal stopped after it had undone some lines (perhaps the
// presence key; a removal marks a key's line before it deletes the key).
// Such a product counts as installed, so that the maintenance page can
// finish the job; a first installation over it would take its shared counts
// a second time.
//
// A record that describes nothing on the device (written only in part, or
// naming a log that is gone: a run stopped before it created the log or
// after the removal deleted it) is dropped here, with the folder when it is
// left empty.
static BOOL UnfinishedRunRecorded(const char *pszProductName)
{
    char szLog[SCRIPT_DEST_SIZE];
    char szFolder[SCRIPT_DEST_SIZE];
    DWORD dwState, dwCopyFiles = 1;

    szLog[0] = 0;
    // A record without its location choice was stopped while being written.
    if (!RecordedUnloadLog(pszProductName, szLog) || !RecordedCopyFiles(pszProductName, &dwCopyFiles) ||
        RecordedLogGone(szLog, dwCopyFiles)) {
        if (DeleteInstallRecord(pszProductName) && szLog[0]) {
            XStr_GetFilePath(szLog, szFolder, SCRIPT_DEST_SIZE);
            RemoveEmptyInstallFolder(szFolder);
        }
        return 0;
    }
    dwState = UnloadLogState(szLog);
    return !(dwState & UNLOAD_LOG_MISSING) && (!(dwState & UNLOAD_LOG_COMPLETE) || (dwState & UNLOAD_LOG_UNDONE));
}

// The product an unload log belongs to: the row whose family name begins
// the product name; for a row without one (the keyboard product) its folder
// key word without the "Wce" ending stands for the family. nDefault when
// no row matches.
static int ProductOfName(const char *pszProductName, int nDefault)
{
    char szFamily[SCRIPT_NAME_SIZE];
    int i, n;

    for (i = 0; i < PRODUCT_COUNT; i++) {
        if (g_aProducts[i].pszDisplayName != NULL) {
            XStr_TString2String(g_aProducts[i].pszDisplayName, szFamily, SCRIPT_NAME_SIZE);
        } else {
            XStr_NCopyExact(szFamily, g_aProducts[i].pszFolderKeyWord, SCRIPT_NAME_SIZE);
            n = XStr_Length(szFamily);
            if (n > 3 && XStr_ICompare(szFamily + n - 3, "Wce") == 0)
                szFamily[n - 3] = 0;
        }
        if (szFamily[0] && XStr_NICompare(szFamily, pszProductName, XStr_Length(szFamily)) == 0)
            return i;
    }
    return nDefault;
}

// Answers of a page that ends the turn: Skip (the product is passed over)
// and Exit (the setup ends). Anything else goes on.
static enum TurnEnd PageExit(INT_PTR nAnswer)
{
    if (nAnswer == IDC_SKIP)
        return TURN_SKIPPED;
    if (nAnswer == IDCANCEL)
        return TURN_EXIT;
    if (nAnswer < 0)
        return TURN_EXIT; // the page could not be shown at all
    return TURN_DONE;
}

// Location, estimate and destination folder of an installation. TURN_DONE
// to go on to the language and the run; pTurn->nOutcome 0 when the
// estimate failed (its message has been shown).
static enum TurnEnd AskInstallation(SETUP_RUN *pRun, SETUP_TURN *pTurn)
{
    DESTINATION_PARAM dest;
    enum TurnEnd end;
    HWND hPage;
    BOOL fOk;

    if (g_fSelectAppLocation) {
        end = PageExit(ShowSetupPage(pRun->hInstance, IDD_LOCATION, pRun->hwndMain, LocationDlgProc,
                                     (LPARAM)&pTurn->fCopyFiles));
        if (end != TURN_DONE)
            return end;
    } else {
        pTurn->fCopyFiles = 1;
    }

    if (!pTurn->fCopyFiles) {
        if (!EstimateScript(pTurn->szScriptPath, pTurn->szSourceFolder, &pRun->dwRequired, 0)) {
            pTurn->nOutcome = 0;
            return TURN_DONE;
        }
        XStr_Copy(pTurn->szDestFolder, pTurn->szSourceFolder);
        return TURN_DONE;
    }

    hPage = OpenWorkPage(pRun, IDD_CALCULATING, 0);
    fOk = EstimateScript(pTurn->szScriptPath, pTurn->szSourceFolder, &pRun->dwRequired, 1);
    CloseWorkPage(pRun, hPage);
    if (!fOk) {
        pTurn->nOutcome = 0;
        return TURN_DONE;
    }
    pRun->dwRequired += FileLength(pRun->szModulePath);
    pRun->dwRequired += FileLength(pTurn->szBitmapPath);

    dest.pszFolder = pTurn->szDestFolder;
    dest.dwRequired = pRun->dwRequired;
    return PageExit(ShowSetupPage(pRun->hInstance, IDD_DESTINATION, pRun->hwndMain, DestinationDlgProc, (LPARAM)&dest));
}

// The unload log: destination folder, "\\", product name, ".unload"; an
// empty path when it does not fit (the run then fails to create it).
static void BuildUnloadPath(SETUP_TURN *pTurn)
{
    JoinPath(pTurn->szUnloadPath, SCRIPT_DEST_SIZE - 7, pTurn->szDestFolder, pTurn->szProductName);
    if (pTurn->szUnloadPath[0])
        XStr_Copy(pTurn->szUnloadPath + XStr_Length(pTurn->szUnloadPath), ".unload");
}

// One product's turn, from the search to the closing message.
static enum TurnEnd RunProductTurn(SETUP_RUN *pRun, SETUP_TURN *pTurn)
{
    const PRODUCT_ROW *pRow = &g_aProducts[pTurn->nProduct];
    REMOVE_LIST_PARAM list;
    const char *apszValues[SCRIPT_PARAM_COUNT];
    enum TurnEnd end;
    INT_PTR nAnswer;
    HKEY hKey;
    BOOL fFound;
    BOOL fAskPages;

    // Search beside the program, then in the product's sub-folder.
    fFound = FindScript(pTurn->szSourceFolder, pRow->pszScriptPattern, pTurn->szScriptPath, &pTurn->fInstallScript,
                        &pTurn->fLanguageScript, pRun->fHandled, 0);
    if (!fFound) {
        JoinPath(pTurn->szSourceFolder, SCRIPT_DEST_SIZE, pRun->szModuleFolder, pRow->pszFolderKeyWord);
        fFound = FindScript(pTurn->szSourceFolder, pRow->pszScriptPattern, pTurn->szScriptPath,
                            &pTurn->fInstallScript, &pTurn->fLanguageScript, pRun->fHandled, pRun->fLastProduct);
    }
    if (!fFound) {
        if (!pRun->fHandled && pTurn->nProduct == PRODUCT_COUNT - 1) {
            Supp_MsgBox(NULL, IDS_NOT_INSTALLED, MB_ICONHAND);
            pTurn->nOutcome = 0;
        }
        return TURN_DONE;
    }

    if (pRow->pszRunningClass && FindWindowW(pRow->pszRunningClass, NULL)) {
        Supp_MsgBox(NULL, IDS_APP_RUNNING, MB_OK, pRow->pszDisplayName);
        return TURN_RUNNING;
    }

    if (!pTurn->fInstallScript) {
        if (pRun->fHandled)
            return TURN_SKIPPED;
        list.pszFolder = pTurn->szSourceFolder;
        list.pszScriptPath = pTurn->szScriptPath;
        nAnswer = ShowSetupPage(pRun->hInstance, IDD_REMOVE_LIST, pRun->hwndMain, RemoveListDlgProc, (LPARAM)&list);
        if (nAnswer != IDOK)
            return TURN_SKIPPED;
    }

    if (!ReadScriptHeader(pTurn->szScriptPath, pTurn->szProductName, &pTurn->hPresenceRoot, pTurn->szPresenceKey,
                          pTurn->szDestFolder, pTurn->szNote)) {
        Supp_MsgBox(NULL, IDS_NOT_INSTALLED, MB_ICONHAND);
        pTurn->nOutcome = 0;
        return TURN_DONE;
    }
    XStr_String2TString(pTurn->szProductName, pTurn->wszProductName, SCRIPT_NAME_SIZE);
    XStr_String2TString(pTurn->szNote, pTurn->wszNote, SCRIPT_NAME_SIZE);
    ShowSetupBitmap(pRun, pTurn);

    // An uninstaller lists the logs of every product: the product whose
    // standard shortcuts go with the removal is the one the log names.
    if (!pTurn->fInstallScript)
        pTurn->nProduct = ProductOfName(pTurn->szProductName, pTurn->nProduct);

    fAskPages = 1;
    hKey = RegOpenKeyPath(pTurn->szPresenceKey, pTurn->hPresenceRoot, 0);
    if (hKey)
        RegCloseKey(hKey);
    if (hKey || UnfinishedRunRecorded(pTurn->szProductName)) {
        pTurn->fInstall = 0;
        nAnswer = IDC_REMOVE;
        if (pTurn->fInstallScript) {
            nAnswer = ShowSetupPage(pRun->hInstance, IDD_MAINTENANCE, pRun->hwndMain, MaintenanceDlgProc,
                                    (LPARAM)pTurn->wszProductName);
            end = PageExit(nAnswer);
            if (end != TURN_DONE)
                return end;
        }
        if (nAnswer == IDC_REINSTALL) {
            pTurn->fInstall = 1;
            pTurn->fReinstall = 1;
            if (ReadInstallRecord(pTurn->szProductName, 1, pTurn->szDestFolder, &pTurn->fCopyFiles,
                                  pTurn->szUnloadPath, &pRun->dwRequired, pTurn->wszLanguage)) {
                fAskPages = 0;
                pTurn->dwLogState = UnloadLogState(pTurn->szUnloadPath);
                pTurn->fUndoFirst = !(pTurn->dwLogState & UNLOAD_LOG_MISSING) &&
                                    (!(pTurn->dwLogState & UNLOAD_LOG_COMPLETE) ||
                                     (pTurn->dwLogState & UNLOAD_LOG_UNDONE));
            }
        } else if (nAnswer == IDC_REMOVE) {
            if (!ReadInstallRecord(pTurn->szProductName, 0, pTurn->szDestFolder, &pTurn->fCopyFiles,
                                   pTurn->szUnloadPath, NULL, pTurn->wszLanguage)) {
                Supp_MsgBox(NULL, IDS_NOT_UNINSTALLED, MB_ICONHAND);
                pTurn->nOutcome = 0;
                return TURN_DONE;
            }
            pTurn->dwLogState = UnloadLogState(pTurn->szUnloadPath);
            RunProductScript(pRun, pTurn);
            return TURN_DONE;
        } else {
            return TURN_SKIPPED; // an answer the maintenance page does not give
        }
    } else {
        end = PageExit(ShowSetupPage(pRun->hInstance, IDD_WELCOME, pRun->hwndMain, WelcomeDlgProc,
                                     (LPARAM)pTurn->wszProductName));
        if (end != TURN_DONE)
            return end;
        end = PageExit(ShowSetupPage(pRun->hInstance, IDD_EULA, pRun->hwndMain, EulaDlgProc, 0));
        if (end != TURN_DONE)
            return end;
    }

    if (fAskPages) {
        end = AskInstallation(pRun, pTurn);
        if (end != TURN_DONE)
            return end;
        if (pTurn->nOutcome == 0) {
            Supp_MsgBox(NULL, pTurn->fReinstall ? IDS_CANNOT_REINSTALL : IDS_NOT_INSTALLED, MB_ICONHAND);
            return TURN_DONE;
        }
        BuildUnloadPath(pTurn);
    }

    if (pTurn->fLanguageScript) {
        // A reinstallation takes the recorded language when the table knows it.
        if (!pTurn->fReinstall || FindLanguageRow(pTurn->wszLanguage, &pTurn->language) < 0) {
            end = PageExit(ShowSetupPage(pRun->hInstance, IDD_LANGUAGE, pRun->hwndMain, LanguageDlgProc,
                                         (LPARAM)&pTurn->language));
            if (end != TURN_DONE)
                return end;
            CopyWide(pTurn->wszLanguage, 64, pTurn->language.pszName);
        }
        LanguageValues(&pTurn->language, apszValues);
        if (!ExpandScriptParams(pTurn->szScriptPath, apszValues)) {
            Supp_MsgBox(NULL, IDS_LANGUAGE_FILE, MB_ICONHAND);
            return TURN_DONE;
        }
    }

    RunProductScript(pRun, pTurn);
    return TURN_DONE;
}

int RunSetup(HINSTANCE hInstance, HWND hwndMain)
{
    SETUP_RUN run;
    SETUP_TURN turn;
    WCHAR wszModule[MAX_PATH + 1];
    enum TurnEnd end;
    int nOutcome = 1;
    int i;

    run = {};
    run.hInstance = hInstance;
    run.hwndMain = hwndMain;
    wszModule[0] = 0;
    GetModuleFileNameW(NULL, wszModule, MAX_PATH);
    wszModule[MAX_PATH] = 0;
    XStr_TString2String(wszModule, run.szModulePath, MAX_PATH);
    XStr_GetFilePath(run.szModulePath, run.szModuleFolder, SCRIPT_DEST_SIZE);

    for (i = 0; i < PRODUCT_COUNT; i++) {
        turn = {};
        turn.nProduct = i;
        CopyWide(turn.wszLanguage, 64, g_szUnknownLanguage);
        turn.fCopyFiles = 1;
        turn.fReinstall = 0;
        turn.fInstallScript = 1;
        turn.fInstall = 1;
        turn.nOutcome = 1;
        if (i == PRODUCT_COUNT - 1)
            run.fLastProduct = 1;
        XStr_Copy(turn.szSourceFolder, run.szModuleFolder);

        end = RunProductTurn(&run, &turn);
        ReleaseSetupBitmap();
        nOutcome = turn.nOutcome;
        if (end == TURN_RUNNING)
            return 0;
        if (end == TURN_EXIT)
            return nOutcome;
        if (end == TURN_SKIPPED)
            run.fHandled = 1;
        // An uninstaller started from an installation folder removes one
        // product and ends.
        if (end == TURN_DONE && !turn.fInstall && !turn.fReinstall && !turn.fInstallScript)
            break;
    }
    return nOutcome;
}
