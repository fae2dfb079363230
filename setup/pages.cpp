// pages.cpp - the procedures of the ten wizard pages.
//
// Each page is a dialog template of the program's resources; the driver
// hands its parameter block over at WM_INITDIALOG and the page keeps it for
// later messages (one page of each kind is open at a time). Modal pages end
// with the identifier of the button that closed them.
#include <windows.h>
#include <commctrl.h>

#include "language/languages.h"
#include "script/script.h"
#include "setup/setup.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

#define PAGE_TEXT_MAX 1024

static REMOVE_LIST_PARAM *s_pRemoveList = NULL;
static DWORD *s_pfCopyFiles = NULL;
static DESTINATION_PARAM *s_pDestination = NULL;
static DWORD s_dwFreeBytes = 0;
static LANGUAGEROW *s_pLanguageRow = NULL;

static int WideLength(const WCHAR *s)
{
    int n = 0;
    while (s[n])
        n++;
    return n;
}

// Formats the template text of a control with the product name for every
// "%s" it holds. The name is an argument, never part of the format, so a
// "%" in it is shown as it is. When memory runs out the control keeps its
// template text.
static void FormatPageText(HWND hDlg, int nId, int cchFormat, LPCWSTR pszName)
{
    WCHAR *pszFormat;
    WCHAR *pszText;
    int cch;

    if (!pszName)
        pszName = TEXT("");
    cch = cchFormat + (WideLength(pszName) + 5) * 2;
    pszFormat = (WCHAR *)LocalAlloc(LPTR, cch * sizeof(WCHAR));
    pszText = (WCHAR *)LocalAlloc(LPTR, cch * sizeof(WCHAR));
    if (pszFormat && pszText) {
        GetDlgItemTextW(hDlg, nId, pszFormat, cch);
        // wsprintfW writes at most 1024 units: a larger buffer is cut there.
        wsprintfW(pszText, pszFormat, pszName, pszName);
        pszText[cch - 1] = 0;
        SetDlgItemTextW(hDlg, nId, pszText);
    }
    if (pszFormat)
        LocalFree(pszFormat);
    if (pszText)
        LocalFree(pszText);
}

static int ControlTextLength(HWND hDlg, int nId)
{
    HWND hwnd = GetDlgItem(hDlg, nId);
    return hwnd ? GetWindowTextLengthW(hwnd) : 0;
}

// ---------------------------------------------------------------- 111 removal list

// Frees the paths attached to the list's entries.
static void FreeRemoveListPaths(HWND hDlg)
{
    HWND hList = GetDlgItem(hDlg, IDC_REMOVE_LIST);
    int i, n;
    char *psz;

    if (!hList)
        return;
    n = (int)SendMessageW(hList, LB_GETCOUNT, 0, 0);
    for (i = 0; i < n; i++) {
        psz = (char *)SendMessageW(hList, LB_GETITEMDATA, i, 0);
        if (psz && psz != (char *)(LRESULT)LB_ERR) {
            XStr_Free(&psz);
            SendMessageW(hList, LB_SETITEMDATA, i, 0);
        }
    }
}

static void FillRemoveList(HWND hDlg, const char *pszFolder)
{
    HWND hList = GetDlgItem(hDlg, IDC_REMOVE_LIST);
    XFILE_FIND find;
    char szName[SCRIPT_NAME_SIZE];
    WCHAR wszName[MAX_PATH];
    char *pszPath;
    LRESULT nIndex;

    find = {};
    if (XFile_FindFirstFileEx(pszFolder, "*.unload", 128, &find) != 0) {
        XFile_FindClose(&find);
        return;
    }
    do {
        szName[0] = 0;
        if (!ReadScriptHeader(find.szFullPath, szName, NULL, NULL, NULL, NULL))
            continue;
        XStr_String2TString(szName, wszName, MAX_PATH);
        pszPath = XStr_Duplicate(find.szFullPath);
        if (!pszPath)
            continue; // no memory for the path: the entry could not be removed
        nIndex = SendMessageW(hList, LB_ADDSTRING, 0, (LPARAM)wszName);
        if (nIndex < 0) {
            XStr_Free(&pszPath);
            continue;
        }
        SendMessageW(hList, LB_SETITEMDATA, (WPARAM)nIndex, (LPARAM)pszPath);
    } while (XFile_FindNextFile(&find) == 0);
    XFile_FindClose(&find);
}

INT_PTR CALLBACK RemoveListDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    HWND hList;
    LRESULT nSel;
    const char *pszPath;

    switch (uMsg) {
    case WM_INITDIALOG:
        s_pRemoveList = (REMOVE_LIST_PARAM *)lParam;
        if (s_pRemoveList && s_pRemoveList->pszFolder)
            FillRemoveList(hDlg, s_pRemoveList->pszFolder);
        hList = GetDlgItem(hDlg, IDC_REMOVE_LIST);
        SetFocus(hList);
        SendMessageW(hList, LB_SETCURSEL, (WPARAM)-1, 0);
        EnableWindow(GetDlgItem(hDlg, IDOK), FALSE);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_REMOVE_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE)
                EnableWindow(GetDlgItem(hDlg, IDOK), TRUE);
            return TRUE;
        case IDOK:
            // Enter can reach the default button before anything is chosen:
            // without a selection there is nothing to remove yet.
            hList = GetDlgItem(hDlg, IDC_REMOVE_LIST);
            nSel = SendMessageW(hList, LB_GETCURSEL, 0, 0);
            if (nSel < 0)
                return TRUE;
            pszPath = (const char *)SendMessageW(hList, LB_GETITEMDATA, (WPARAM)nSel, 0);
            if (!pszPath || pszPath == (const char *)(LRESULT)LB_ERR || !s_pRemoveList ||
                !s_pRemoveList->pszScriptPath)
                return TRUE;
            if (XStr_Length(pszPath) >= SCRIPT_DEST_SIZE)
                return TRUE;
            XStr_Copy(s_pRemoveList->pszScriptPath, pszPath);
            EndDialog(hDlg, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(hDlg, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        FreeRemoveListPaths(hDlg);
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 105 welcome

INT_PTR CALLBACK WelcomeDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        FormatPageText(hDlg, IDC_PAGE_TEXT, ControlTextLength(hDlg, IDC_PAGE_TEXT) + 1, (LPCWSTR)lParam);
        SetFocus(GetDlgItem(hDlg, IDOK));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 107 licence agreement

INT_PTR CALLBACK EulaDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        SetFocus(GetDlgItem(hDlg, IDOK));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 108 maintenance

INT_PTR CALLBACK MaintenanceDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    int cch;

    switch (uMsg) {
    case WM_INITDIALOG:
        // One buffer size for both texts, computed from the longer one.
        cch = ControlTextLength(hDlg, IDC_PAGE_TEXT) + 1;
        FormatPageText(hDlg, IDC_PAGE_TEXT, cch, (LPCWSTR)lParam);
        FormatPageText(hDlg, IDC_REMOVE_TEXT, cch, (LPCWSTR)lParam);
        SetFocus(GetDlgItem(hDlg, IDC_REMOVE));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_REINSTALL:
        case IDC_REMOVE:
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 106 location

INT_PTR CALLBACK LocationDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    DWORD fCopy;

    switch (uMsg) {
    case WM_INITDIALOG:
        s_pfCopyFiles = (DWORD *)lParam;
        fCopy = s_pfCopyFiles ? *s_pfCopyFiles : 1;
        SendDlgItemMessageW(hDlg, IDC_STORAGE_MEMORY, BM_SETCHECK, fCopy ? BST_CHECKED : BST_UNCHECKED, 0);
        SendDlgItemMessageW(hDlg, IDC_CURRENT_LOCATION, BM_SETCHECK, fCopy ? BST_UNCHECKED : BST_CHECKED, 0);
        SetFocus(GetDlgItem(hDlg, IDOK));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (s_pfCopyFiles)
                *s_pfCopyFiles =
                    SendDlgItemMessageW(hDlg, IDC_STORAGE_MEMORY, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
            EndDialog(hDlg, IDOK);
            return TRUE;
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 104 destination folder

// Shows the free space of the folder now in the edit control.
static void UpdateFreeSpace(HWND hDlg)
{
    WCHAR wszFolder[MAX_PATH + 1];
    WCHAR wszKb[32];
    char szFolder[SCRIPT_DEST_SIZE];
    DWORD dwFree = 0;

    wszFolder[0] = 0;
    GetDlgItemTextW(hDlg, IDC_FOLDER, wszFolder, MAX_PATH + 1);
    XStr_TString2String(wszFolder, szFolder, SCRIPT_DEST_SIZE);
    if (XFile_GetDiskFreeSpace(szFolder, &dwFree) == 0) {
        s_dwFreeBytes = dwFree;
        wsprintfW(wszKb, TEXT("%u"), dwFree / 1024);
        SetDlgItemTextW(hDlg, IDC_FREE_KB, wszKb);
    } else {
        s_dwFreeBytes = 0;
        SetDlgItemTextW(hDlg, IDC_FREE_KB, TEXT("???"));
    }
}

INT_PTR CALLBACK DestinationDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    WCHAR wsz[MAX_PATH + 1];
    HWND hEdit;
    DWORD dwRequired;
    int nAnswer;

    switch (uMsg) {
    case WM_INITDIALOG:
        s_pDestination = (DESTINATION_PARAM *)lParam;
        dwRequired = s_pDestination ? s_pDestination->dwRequired : 0;
        wsz[0] = 0;
        if (s_pDestination && s_pDestination->pszFolder)
            XStr_String2TString(s_pDestination->pszFolder, wsz, MAX_PATH);
        SetDlgItemTextW(hDlg, IDC_FOLDER, wsz);
        wsprintfW(wsz, TEXT("%u"), dwRequired / 1024);
        SetDlgItemTextW(hDlg, IDC_REQUIRED_KB, wsz);
        s_dwFreeBytes = 0;
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_FOLDER, EN_CHANGE), (LPARAM)GetDlgItem(hDlg, IDC_FOLDER));
        SendDlgItemMessageW(hDlg, IDC_FOLDER, EM_SETREADONLY, g_fSelectAppLocation ? FALSE : TRUE, 0);
        SetFocus(GetDlgItem(hDlg, IDOK));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_FOLDER:
            if (HIWORD(wParam) == EN_CHANGE)
                UpdateFreeSpace(hDlg);
            return TRUE;
        case IDOK:
            dwRequired = s_pDestination ? s_pDestination->dwRequired : 0;
            if (s_dwFreeBytes < dwRequired) {
                nAnswer = Supp_MsgBox(NULL, s_dwFreeBytes ? IDS_WILL_NOT_FIT : IDS_FREE_UNKNOWN,
                                      MB_OKCANCEL | MB_ICONEXCLAMATION, (int)(dwRequired / 1024));
                if (nAnswer != IDOK) {
                    hEdit = GetDlgItem(hDlg, IDC_FOLDER);
                    SetFocus(hEdit);
                    SendMessageW(hEdit, EM_SETSEL, 0, -1);
                    return TRUE;
                }
            }
            if (s_pDestination && s_pDestination->pszFolder) {
                wsz[0] = 0;
                GetDlgItemTextW(hDlg, IDC_FOLDER, wsz, MAX_PATH + 1);
                XStr_TString2String(wsz, s_pDestination->pszFolder, MAX_PATH + 1);
            }
            EndDialog(hDlg, IDOK);
            return TRUE;
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 112 language

INT_PTR CALLBACK LanguageDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    HWND hList;
    LRESULT nSel;
    int i;

    switch (uMsg) {
    case WM_INITDIALOG:
        s_pLanguageRow = (LANGUAGEROW *)lParam;
        hList = GetDlgItem(hDlg, IDC_LANGUAGE_LIST);
        for (i = 0; i < LANGUAGE_COUNT; i++)
            SendMessageW(hList, LB_ADDSTRING, 0, (LPARAM)g_LanguageTable[i].pszName);
        SendMessageW(hList, LB_SETCURSEL, (WPARAM)-1, 0);
        EnableWindow(GetDlgItem(hDlg, IDOK), FALSE);
        SetFocus(hList);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_LANGUAGE_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE)
                EnableWindow(GetDlgItem(hDlg, IDOK), TRUE);
            return TRUE;
        case IDOK:
            // Nothing chosen yet (Enter on the default button): stay.
            nSel = SendDlgItemMessageW(hDlg, IDC_LANGUAGE_LIST, LB_GETCURSEL, 0, 0);
            if (nSel < 0 || nSel >= LANGUAGE_COUNT)
                return TRUE;
            if (s_pLanguageRow)
                *s_pLanguageRow = g_LanguageTable[nSel];
            EndDialog(hDlg, IDOK);
            return TRUE;
        case IDCANCEL:
        case IDC_SKIP:
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- 109 calculating

INT_PTR CALLBACK CalculatingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return 0;
}

// ---------------------------------------------------------------- 103 / 110 progress

INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    HWND hBar, hOwner;
    RECT rcOwner, rcPage;
    int x, y;

    if (uMsg != WM_INITDIALOG)
        return 0;
    hBar = GetDlgItem(hDlg, IDC_PROGRESS_BAR);
    hOwner = GetParent(hDlg);
    rcOwner = {};
    rcPage = {};
    GetWindowRect(hOwner, &rcOwner);
    GetWindowRect(hDlg, &rcPage);
    // Centred horizontally, 90 pixels below the centre: the setup bitmap
    // stays visible above it.
    x = ((rcOwner.right - rcOwner.left) - (rcPage.right - rcPage.left)) / 2;
    y = ((rcOwner.bottom - rcOwner.top) - (rcPage.bottom - rcPage.top)) / 2 + 90;
    SetWindowPos(hDlg, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    if (!lParam) {
        if (hBar)
            ShowWindow(hBar, SW_HIDE);
    } else {
        *(HWND *)lParam = hBar;
        if (hBar) {
            SendMessageW(hBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendMessageW(hBar, PBM_SETPOS, 0, 0);
        }
    }
    return 0;
}
