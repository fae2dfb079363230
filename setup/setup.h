// setup.h - the setup program itself: entry and main window, the product
// table, the wizard pages and the per-product driver.
//
// The driver runs inside the main window's handling of the start message;
// every page is a dialog template of the program's resources with one of
// the page procedures below, handed its parameter block at WM_INITDIALOG.
#ifndef CESETUP_SETUP_SETUP_H
#define CESETUP_SETUP_SETUP_H

#include <windows.h>

// ---------------------------------------------------------------- ids

// Dialog templates (pages).
#define IDD_INSTALL_PROGRESS 103
#define IDD_DESTINATION 104
#define IDD_WELCOME 105
#define IDD_LOCATION 106
#define IDD_EULA 107
#define IDD_MAINTENANCE 108
#define IDD_CALCULATING 109
#define IDD_REMOVE_PROGRESS 110
#define IDD_REMOVE_LIST 111
#define IDD_LANGUAGE 112

// Icons.
#define IDI_SETUP 101
#define IDI_REMOVE 102

// Controls and page answers.
#define IDC_PROGRESS_BAR 1001
#define IDC_REINSTALL 1002
#define IDC_REMOVE 1003
#define IDC_REMOVE_TEXT 1004
#define IDC_REMOVE_LIST 1005
#define IDC_FOLDER 1006
#define IDC_COPYING 1007
#define IDC_STORAGE_MEMORY 1008
#define IDC_CURRENT_LOCATION 1009
#define IDC_PAGE_TEXT 1010
#define IDC_FREE_KB 1011
#define IDC_REQUIRED_KB 1012
#define IDC_SKIP 1013
#define IDC_LANGUAGE_LIST 1014

// String table.
#define IDS_CAPTION 201
#define IDS_NOT_INSTALLED 205
#define IDS_NOT_UNINSTALLED 206
#define IDS_CANNOT_INITIALIZE 207
#define IDS_CANNOT_REINSTALL 208
#define IDS_INSTALLED 216
#define IDS_UNINSTALLED 217
#define IDS_REINSTALLED 218
#define IDS_WILL_NOT_FIT 219
#define IDS_FREE_UNKNOWN 220
#define IDS_LANGUAGE_FILE 221
#define IDS_APP_RUNNING 222

// The start message the main window posts itself.
#define WM_SETUP_START WM_USER

// ---------------------------------------------------------------- product table

#define PRODUCT_COUNT 3
#define SHORTCUT_ROW_COUNT 5

// One product: where its script is looked for and how to see that its
// application runs. The Glyphor row has neither display name nor class.
typedef struct tagPRODUCT_ROW {
    const char *pszFolderKeyWord;   // sub-folder searched second
    const char *pszScriptPattern;   // e.g. "Dravex*.load"
    LPCWSTR pszDisplayName;         // family name, or NULL
    LPCWSTR pszRunningClass;        // window class of the running application, or NULL
} PRODUCT_ROW;

// One standard shortcut of a product.
typedef struct tagSHORTCUT_ROW {
    int nProduct;        // product index
    int nSpecialFolder;  // CSIDL_PROGRAMS 2 or CSIDL_STARTMENU 11
    LPCWSTR pszLinkPath; // begins with "\", relative to the special folder
    LPCWSTR pszTarget;   // "%P" stands for the installation folder
} SHORTCUT_ROW;

// Rows in product index order; the third row's pattern is chosen at start-up.
extern PRODUCT_ROW g_aProducts[PRODUCT_COUNT];
extern const SHORTCUT_ROW g_aShortcutRows[SHORTCUT_ROW_COUNT];
// The vendor's web address (argument of the web-site shortcut).
extern const WCHAR g_szVendorWebAddress[];

// Picks the Glyphor product's language script name, expanded-script name
// and script pattern for a system version given as major * 100 + minor.
void SelectGlyphorScripts(DWORD dwVersion);

// ---------------------------------------------------------------- entry

// Process-wide: the module instance and the setup bitmap shown by the main
// window (NULL when none is loaded).
extern HINSTANCE g_hSetupInstance;
extern HBITMAP g_hSetupBitmap;

int WINAPI SetupMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
HWND CreateMainWindow(HINSTANCE hInstance);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------- driver

// Runs the whole setup: every product in turn. Returns the last outcome, 0
// when an application was found running.
int RunSetup(HINSTANCE hInstance, HWND hwndMain);

// Shows a modal page from its template; -1 when the template is missing.
INT_PTR ShowSetupPage(HINSTANCE hInstance, int nPage, HWND hwndOwner, DLGPROC pfnProc, LPARAM lParam);
// Creates a modeless page; NULL when it cannot be made.
HWND CreateSetupPage(HINSTANCE hInstance, int nPage, HWND hwndOwner, DLGPROC pfnProc, LPARAM lParam);

// ---------------------------------------------------------------- pages

// Page 111: the folder to list, and the buffer (264 bytes) that receives
// the chosen unload log.
typedef struct tagREMOVE_LIST_PARAM {
    const char *pszFolder;
    char *pszScriptPath;
} REMOVE_LIST_PARAM;

// Page 104: the destination folder (264 bytes, in and out) and the bytes
// the installation needs.
typedef struct tagDESTINATION_PARAM {
    char *pszFolder;
    DWORD dwRequired;
} DESTINATION_PARAM;

// Page 112 writes the chosen row into a caller's seven-field row; its type
// comes from the language table (language/languages.h).

INT_PTR CALLBACK RemoveListDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);   // 111, REMOVE_LIST_PARAM*
INT_PTR CALLBACK WelcomeDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);      // 105, LPCWSTR product name
INT_PTR CALLBACK EulaDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);         // 107
INT_PTR CALLBACK MaintenanceDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);  // 108, LPCWSTR product name
INT_PTR CALLBACK LocationDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);     // 106, DWORD* copy-files flag
INT_PTR CALLBACK DestinationDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);  // 104, DESTINATION_PARAM*
INT_PTR CALLBACK LanguageDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);     // 112, language row*
INT_PTR CALLBACK CalculatingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);  // 109
INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);     // 103 (HWND* slot), 110 (none)

#endif
