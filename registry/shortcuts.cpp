// shortcuts.cpp - the products' standard shortcuts and their "Target"
// values.
//
// After each run the driver calls UpdateProductShortcuts: every standard
// shortcut of the product is made afresh; the executable it starts is
// recorded under the product key; a shortcut whose executable is no longer
// counted in the shared key is removed, or pointed at another installed
// edition (a product key of the same family name holding a "Target").
#include <windows.h>
#include <shellapi.h>

#include "registry/records.h"
#include "registry/regpath.h"
#include "registry/shortcuts.h"
#include "setup/setup.h"
#include "support/xstr.h"


static int WideLength(const WCHAR *s)
{
    int n = 0;
    while (s[n])
        n++;
    return n;
}

// Appends pszSrc to pszDst (capacity cchDst); 0 and nothing appended when
// it does not fit.
static BOOL AppendWide(WCHAR *pszDst, int cchDst, const WCHAR *pszSrc)
{
    int nDst = WideLength(pszDst);
    int nSrc = WideLength(pszSrc);
    int i;

    if (nDst + nSrc >= cchDst)
        return 0;
    for (i = 0; i <= nSrc; i++)
        pszDst[nDst + i] = pszSrc[i];
    return 1;
}

void BuildShortcutPath(int nRow, WCHAR *pszLinkPath)
{
    WCHAR szFolder[SHORTCUT_PATH_SIZE];

    if (nRow < 0 || nRow >= SHORTCUT_ROW_COUNT)
        return;
    szFolder[0] = 0;
    if (!SHGetSpecialFolderPath(NULL, szFolder, g_aShortcutRows[nRow].nSpecialFolder, FALSE))
        szFolder[0] = 0;
    // A path that does not fit would name another file: leave it empty so
    // that the shortcut cannot be made.
    if (!AppendWide(pszLinkPath, SHORTCUT_PATH_SIZE, szFolder) ||
        !AppendWide(pszLinkPath, SHORTCUT_PATH_SIZE, g_aShortcutRows[nRow].pszLinkPath))
        pszLinkPath[0] = 0;
}

void WriteProductTarget(LPCWSTR pszExecutable, LPCWSTR pszValueName, const char *pszProductName)
{
    HKEY hInstaller, hProduct;

    hInstaller = RegOpenKeyPath(g_RegNames.pszInstallerKey, HKEY_LOCAL_MACHINE, 1);
    if (!hInstaller)
        return;
    hProduct = RegOpenKeyPath(pszProductName, hInstaller, 1);
    if (hProduct) {
        RegSetValueExW(hProduct, pszValueName, 0, REG_SZ, (const BYTE *)pszExecutable,
                       (WideLength(pszExecutable) + 1) * sizeof(WCHAR));
        RegCloseKey(hProduct);
    }
    RegCloseKey(hInstaller);
}

// Whether pszName begins with every character of pszPrefix.
static BOOL BeginsWithWide(const WCHAR *pszName, const WCHAR *pszPrefix)
{
    int i;

    for (i = 0; pszPrefix[i]; i++)
        if (pszName[i] != pszPrefix[i])
            return 0;
    return 1;
}

BOOL FindEditionTarget(WCHAR **ppszTarget, LPCWSTR pszValueName, const char *pszProductName, int nProduct)
{
    HKEY hInstaller, hEdition;
    WCHAR szKey[256];
    char szKeyBytes[256];
    DWORD cchKey, cbValue, dwType, k;
    LPCWSTR pszFamily;
    WCHAR *pszBuffer;
    int nLength;

    if (!ppszTarget || nProduct < 0 || nProduct >= PRODUCT_COUNT)
        return 0;
    // The Glyphor product has no family name: it has no editions to find.
    pszFamily = g_aProducts[nProduct].pszDisplayName;
    if (!pszFamily)
        return 0;

    hInstaller = RegOpenKeyPath(g_RegNames.pszInstallerKey, HKEY_LOCAL_MACHINE, 1);
    if (!hInstaller)
        return 0;
    for (k = 0;; k++) {
        cchKey = 256;
        if (RegEnumKeyExW(hInstaller, k, szKey, &cchKey, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        szKeyBytes[0] = 0;
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, szKey, -1, szKeyBytes, sizeof(szKeyBytes), NULL, NULL);
        szKeyBytes[sizeof(szKeyBytes) - 1] = 0;
        // The product's own key. Only the whole name counts: an edition
        // whose name is the beginning of this one's is another edition.
        if (XStr_ICompare(szKeyBytes, pszProductName) == 0)
            continue;
        if (!BeginsWithWide(szKey, pszFamily))
            continue;
        if (RegOpenKeyExW(hInstaller, szKey, 0, 0, &hEdition) != ERROR_SUCCESS)
            break;
        cbValue = 0;
        if (RegQueryValueExW(hEdition, pszValueName, NULL, &dwType, NULL, &cbValue) != ERROR_SUCCESS) {
            RegCloseKey(hEdition);
            continue;
        }
        // The value, two quotes and a terminator, with room for a value
        // stored without its own terminator or with an odd byte count.
        pszBuffer = (WCHAR *)LocalAlloc(LPTR, cbValue + 4 * sizeof(WCHAR));
        if (!pszBuffer) {
            RegCloseKey(hEdition);
            break;
        }
        if (RegQueryValueExW(hEdition, pszValueName, NULL, &dwType, (BYTE *)(pszBuffer + 1), &cbValue) !=
            ERROR_SUCCESS) {
            LocalFree(pszBuffer);
            RegCloseKey(hEdition);
            continue;
        }
        nLength = 0;
        while ((DWORD)nLength < cbValue / sizeof(WCHAR) && pszBuffer[1 + nLength])
            nLength++;
        pszBuffer[0] = '"';
        pszBuffer[1 + nLength] = '"';
        pszBuffer[2 + nLength] = 0;
        *ppszTarget = pszBuffer;
        RegCloseKey(hEdition);
        RegCloseKey(hInstaller);
        return 1;
    }
    RegCloseKey(hInstaller);
    return 0;
}

// The executable path of a target: the text between its first and its last
// double quote. 0 when the target holds no such pair.
static BOOL ExecutableOfTarget(const WCHAR *pszTarget, WCHAR *pszExecutable)
{
    char szTarget[SHORTCUT_PATH_SIZE];
    char *pszFirst = NULL;
    char *pszLast = NULL;
    char *p;

    szTarget[0] = 0;
    WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, pszTarget, -1, szTarget, sizeof(szTarget), NULL, NULL);
    szTarget[sizeof(szTarget) - 1] = 0;
    for (p = szTarget; *p; p++) {
        if (*p == '"') {
            if (!pszFirst)
                pszFirst = p;
            pszLast = p;
        }
    }
    if (!pszFirst || pszLast == pszFirst)
        return 0;
    *pszLast = 0;
    pszExecutable[0] = 0;
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, pszFirst + 1, -1, pszExecutable, SHORTCUT_PATH_SIZE);
    pszExecutable[SHORTCUT_PATH_SIZE - 1] = 0;
    return 1;
}

// Takes the shortcut of row i away because its executable is no longer
// counted, and points it at another installed edition when there is one.
// With no edition left, the count kept under the row's own link path goes
// too, so that a removal leaves no value behind for a link that is gone.
static void RetireShortcut(int i, const WCHAR *pszLinkPath, HKEY hShared, const char *pszProductName, int nProduct)
{
    WCHAR szLink[SHORTCUT_PATH_SIZE];
    WCHAR *pszEdition = NULL;

    DeleteFileW(pszLinkPath);
    if (hShared)
        RegDeleteValueW(hShared, pszLinkPath);
    if (FindEditionTarget(&pszEdition, g_RegNames.pszTarget, pszProductName, nProduct)) {
        szLink[0] = 0;
        BuildShortcutPath(i, szLink);
        if (szLink[0])
            SHCreateShortcut(szLink, pszEdition);
        LocalFree(pszEdition);
    } else if (hShared) {
        RegDeleteValueW(hShared, g_aShortcutRows[i].pszLinkPath);
    }
}

BOOL UpdateProductShortcuts(BOOL fInstalling, int nProduct, const char *pszInstallFolder,
                            const char *pszProductName)
{
    const SHORTCUT_ROW *pRow;
    WCHAR szTarget[SHORTCUT_PATH_SIZE];
    WCHAR szLink[SHORTCUT_PATH_SIZE];
    WCHAR szExecutable[SHORTCUT_PATH_SIZE];
    char szTargetBytes[SHORTCUT_PATH_SIZE];
    char *pszPercent;
    HKEY hShared;
    DWORD dwCount, cbCount, dwType;
    BOOL fResult = 1;
    int i;

    for (i = 0; i < SHORTCUT_ROW_COUNT; i++) {
        pRow = &g_aShortcutRows[i];
        if (pRow->nProduct != nProduct)
            continue;

        // The target, with "%P" replaced by the installation folder; a
        // target that would not fit keeps its placeholder.
        szTarget[0] = 0;
        AppendWide(szTarget, SHORTCUT_PATH_SIZE, pRow->pszTarget);
        XStr_TString2String(szTarget, szTargetBytes, SHORTCUT_PATH_SIZE);
        pszPercent = XStr_FindChar(szTargetBytes, '%');
        if (pszPercent && pszPercent[1]) {
            if (XStr_ReplaceSubstring(szTargetBytes, SHORTCUT_PATH_SIZE, pszPercent, pszPercent + 1,
                                      pszInstallFolder ? pszInstallFolder : ""))
                XStr_String2TString(szTargetBytes, szTarget, SHORTCUT_PATH_SIZE);
        }

        szLink[0] = 0;
        BuildShortcutPath(i, szLink);
        if (!szLink[0])
            continue;
        DeleteFileW(szLink);
        if (!SHCreateShortcut(szLink, szTarget))
            continue;

        // A target without a quoted executable (the system programs that
        // the Glyphor product's shortcuts start) has nothing to count: the
        // shortcut belongs to the product alone, so it stays while the
        // product is installed and goes with its removal.
        if (!ExecutableOfTarget(szTarget, szExecutable)) {
            if (!fInstalling)
                DeleteFileW(szLink);
            continue;
        }

        hShared = RegOpenKeyPath(g_RegNames.pszSharedKey, HKEY_LOCAL_MACHINE, fInstalling);
        if (!hShared) {
            if (fInstalling)
                return 0;
            // Removal with no shared key at all: nothing counts the
            // executable any more, so the fresh shortcut must not stay
            // pointing at a removed program.
            WriteProductTarget(szExecutable, g_RegNames.pszTarget, pszProductName);
            RetireShortcut(i, szLink, NULL, pszProductName, nProduct);
            fResult = 0;
            continue;
        }

        dwCount = 0;
        cbCount = sizeof(dwCount);
        LONG lCount = RegQueryValueExW(hShared, szExecutable, NULL, &dwType, (BYTE *)&dwCount, &cbCount);
        WriteProductTarget(szExecutable, g_RegNames.pszTarget, pszProductName);
        if (lCount != ERROR_SUCCESS)
            RetireShortcut(i, szLink, hShared, pszProductName, nProduct);
        else
            RegSetValueExW(hShared, pRow->pszLinkPath, 0, REG_DWORD, (const BYTE *)&dwCount, sizeof(dwCount));
        RegCloseKey(hShared);
    }
    return fResult;
}
