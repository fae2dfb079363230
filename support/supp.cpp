// supp.cpp - message boxes from the string table, the message pump, child
// window and font lookups.
//
// The message-box state (instance and caption) is the only state here; it
// is set once at start-up by Supp_MsgInit and used by every Supp_MsgBox.
#include <windows.h>

#include "support/supp.h"

#define SUPP_CAPTION_UNITS 1024
#define SUPP_FORMAT_UNITS 1024
#define SUPP_TEXT_UNITS 2048

static HINSTANCE s_hMsgInstance = 0;
static BOOL s_bMsgInstanceSet = FALSE;
static WCHAR s_szMsgCaption[SUPP_CAPTION_UNITS];

// Search state of Supp_FindChildWindow.
typedef struct {
    LPCWSTR pszClassName;
    int nId;
    HWND hwndFound;
} SUPP_CHILDSEARCH;

typedef int (*SUPP_CHILDTEST)(HWND hwnd, void *pState);

BOOL Supp_MsgInit(HINSTANCE hInstance, UINT uStringId)
{
    WCHAR szCaption[SUPP_CAPTION_UNITS];
    int n = LoadStringW(hInstance, uStringId, szCaption, SUPP_CAPTION_UNITS);
    if (n <= 0)
        return FALSE;
    // Only a string that loaded replaces the caption, so a failed call
    // leaves an earlier caption and instance in force.
    lstrcpyW(s_szMsgCaption, szCaption);
    s_hMsgInstance = hInstance;
    s_bMsgInstanceSet = TRUE;
    return TRUE;
}

BOOL Supp_MsgDone(void)
{
    s_hMsgInstance = 0;
    s_bMsgInstanceSet = FALSE;
    return TRUE;
}

int Supp_MsgBox(HWND hwndOwner, UINT uStringId, UINT uStyle, ...)
{
    WCHAR szFormat[SUPP_FORMAT_UNITS];
    WCHAR szText[SUPP_TEXT_UNITS];
    va_list args;

    if (!s_bMsgInstanceSet)
        return 0;
    if (LoadStringW(s_hMsgInstance, uStringId, szFormat, SUPP_FORMAT_UNITS) <= 0)
        szFormat[0] = 0;
    // wvsprintfW writes at most 1024 units, well inside the text buffer.
    va_start(args, uStyle);
    wvsprintfW(szText, szFormat, args);
    va_end(args);
    SetCursor(0);
    if (!hwndOwner)
        hwndOwner = GetActiveWindow();
    return MessageBoxW(hwndOwner, szText, s_szMsgCaption, uStyle);
}

int Supp_PeekMessages(HWND hDlg)
{
    MSG msg;
    while (PeekMessageW(&msg, 0, 0, 0, PM_REMOVE)) {
        if (hDlg && IsDialogMessageW(hDlg, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// Visits the parent's children in the system's order until the test returns
// 0. Returns 0 when the parent has no child, 1 otherwise.
static int s_supp_EnumChildWindows(HWND hwndParent, SUPP_CHILDTEST pfnTest, void *pState)
{
    HWND hwnd = GetWindow(hwndParent, GW_CHILD);
    if (!hwnd)
        return 0;
    while (hwnd) {
        if (!pfnTest(hwnd, pState))
            break;
        hwnd = GetWindow(hwnd, GW_HWNDNEXT);
    }
    return 1;
}

static int s_supp_FindChildWindowProc(HWND hwnd, void *pState)
{
    SUPP_CHILDSEARCH *pSearch = (SUPP_CHILDSEARCH *)pState;
    if (pSearch->pszClassName) {
        // A buffer of the wanted length plus 5: a longer class name is cut
        // and so cannot match.
        int match;
        WCHAR szClass[300];
        int cch = lstrlenW(pSearch->pszClassName) + 5;
        if (cch > 300)
            cch = 300;
        if (GetClassNameW(hwnd, szClass, cch) <= 0)
            return 1;
        match = lstrcmpiW(szClass, pSearch->pszClassName) == 0;
        if (!match)
            return 1;
    }
    if (pSearch->nId != 0 && GetWindowLongW(hwnd, GWL_ID) != pSearch->nId)
        return 1;
    pSearch->hwndFound = hwnd;
    return 0;
}

HWND Supp_FindChildWindow(HWND hwndParent, LPCWSTR pszClassName, int nId)
{
    SUPP_CHILDSEARCH search;
    search.pszClassName = pszClassName;
    search.nId = nId;
    search.hwndFound = 0;
    s_supp_EnumChildWindows(hwndParent, s_supp_FindChildWindowProc, &search);
    return search.hwndFound;
}

int CALLBACK s_supp_IsFontInstalledProcParam(const LOGFONTW *lpelf, const TEXTMETRICW *lpntm, DWORD dwFontType,
                                             LPARAM lParam)
{
    SUPP_FONTSEARCH *pSearch = (SUPP_FONTSEARCH *)lParam;
    if (!pSearch || !lpelf)
        return 1;
    if (lstrcmpiW(lpelf->lfFaceName, pSearch->pszFaceName) == 0) {
        pSearch->bFound = TRUE;
        return 0;
    }
    return 1;
}

BOOL Supp_IsFontInstalled(HDC hdc, LPCWSTR pszFaceName)
{
    SUPP_FONTSEARCH search;
    HWND hwndActive = 0;
    BOOL bOwnDc = FALSE;

    if (!pszFaceName)
        return FALSE;
    search.pszFaceName = pszFaceName;
    search.bFound = FALSE;
    if (!hdc) {
        hwndActive = GetActiveWindow();
        hdc = GetDC(hwndActive);
        bOwnDc = TRUE;
    }
    EnumFontFamiliesW(hdc, 0, s_supp_IsFontInstalledProcParam, (LPARAM)&search);
    if (bOwnDc && hdc)
        ReleaseDC(hwndActive, hdc);
    return search.bFound;
}

BOOL Supp_IsMonoScreen(void)
{
    return TRUE;
}
