// records.cpp - the install record of each product under HKEY_LOCAL_MACHINE
// "Software\Apps\Veltrona Parvell\<product>", and the setup's registry
// names.
//
// Keys are closed before a failure message is shown: an open key holds the
// device's registry for this process, and a message box waits for the user.
#include <windows.h>

#include "language/languages.h"
#include "registry/records.h"
#include "registry/regpath.h"
#include "support/supp.h"
#include "support/xstr.h"

const REGNAMES g_RegNames = {
    TEXT("Target"),
    TEXT("ParvellRegClass"),
    "Software\\Apps\\Shared",
    "Software\\Apps\\Veltrona Parvell",
    TEXT("InstallFolder"),
    TEXT("UnloadFileName"),
    TEXT("DstDiskSpaceReq"),
    TEXT("CopyFiles"),
    TEXT("Language"),
    "\\Program Files",
    "\\Windows",
};

#define IDS_CANNOT_WRITE_RECORD 209
#define IDS_CANNOT_READ_RECORD 210
#define IDS_CANNOT_READ_FOR_REINSTALL 214

// Opens (or creates) the product's key; 0 when the name is unusable. An
// empty name would be the installer key itself, which holds every record.
static HKEY OpenProductKey(const char *pszProductName, BOOL fCreate, HKEY *phInstaller)
{
    *phInstaller = RegOpenKeyPath(g_RegNames.pszInstallerKey, HKEY_LOCAL_MACHINE, fCreate);
    if (!*phInstaller || !pszProductName || pszProductName[0] == 0)
        return 0;
    return RegOpenKeyPath(pszProductName, *phInstaller, fCreate);
}

static LONG SetString(HKEY hKey, const WCHAR *pszName, const WCHAR *pszText)
{
    return RegSetValueExW(hKey, pszName, 0, REG_SZ, (const BYTE *)pszText,
                          (DWORD)((XStr_LengthW(pszText) + 1) * sizeof(WCHAR)));
}

static LONG SetDword(HKEY hKey, const WCHAR *pszName, DWORD dwValue)
{
    return RegSetValueExW(hKey, pszName, 0, REG_DWORD, (const BYTE *)&dwValue, sizeof(dwValue));
}

BOOL WriteInstallRecord(const char *pszProductName, const char *pszInstallFolder,
                        DWORD dwCopyFiles, const char *pszUnloadFileName, DWORD dwSpaceRequired,
                        const WCHAR *pszLanguage)
{
    WCHAR szFolder[RECORD_PATH_CCH];
    WCHAR szUnload[RECORD_PATH_CCH];
    HKEY hInstaller = 0;
    HKEY hProduct = 0;
    BOOL fResult = 0;

    // Paths that do not fit would be stored cut, and a later removal would
    // work on the wrong folder: refuse them before writing anything.
    if (pszInstallFolder && pszUnloadFileName &&
        XStr_Length(pszInstallFolder) < RECORD_PATH_CCH &&
        XStr_Length(pszUnloadFileName) < RECORD_PATH_CCH)
        hProduct = OpenProductKey(pszProductName, 1, &hInstaller);
    if (hProduct) {
        XStr_String2TString(pszInstallFolder, szFolder, RECORD_PATH_CCH);
        XStr_String2TString(pszUnloadFileName, szUnload, RECORD_PATH_CCH);
        if (!pszLanguage)
            pszLanguage = g_szUnknownLanguage;
        fResult = SetString(hProduct, g_RegNames.pszInstallFolder, szFolder) == ERROR_SUCCESS &&
                  SetString(hProduct, g_RegNames.pszUnloadFileName, szUnload) == ERROR_SUCCESS &&
                  SetDword(hProduct, g_RegNames.pszDstDiskSpaceReq, dwSpaceRequired) ==
                      ERROR_SUCCESS &&
                  SetDword(hProduct, g_RegNames.pszCopyFiles, dwCopyFiles) == ERROR_SUCCESS &&
                  SetString(hProduct, g_RegNames.pszLanguage, pszLanguage) == ERROR_SUCCESS;
    }
    if (hProduct)
        RegCloseKey(hProduct);
    if (hInstaller)
        RegCloseKey(hInstaller);
    if (!fResult)
        Supp_MsgBox(NULL, IDS_CANNOT_WRITE_RECORD, MB_ICONSTOP);
    return fResult;
}

// Reads a REG_SZ value of at most cch units (terminator included) and
// always terminates it, even when the stored data has no terminator.
static BOOL GetString(HKEY hKey, const WCHAR *pszName, WCHAR *pszOut, DWORD cch)
{
    DWORD cbData = cch * sizeof(WCHAR);
    DWORD i;

    for (i = 0; i < cch; i++)
        pszOut[i] = 0;
    if (RegQueryValueExW(hKey, pszName, NULL, NULL, (LPBYTE)pszOut, &cbData) != ERROR_SUCCESS)
        return 0;
    pszOut[cch - 1] = 0;
    return 1;
}

static BOOL GetDword(HKEY hKey, const WCHAR *pszName, DWORD *pdwOut)
{
    DWORD dwValue = 0;
    DWORD cbData = sizeof(dwValue);

    if (RegQueryValueExW(hKey, pszName, NULL, NULL, (LPBYTE)&dwValue, &cbData) != ERROR_SUCCESS)
        return 0;
    if (pdwOut)
        *pdwOut = dwValue;
    return 1;
}

BOOL ReadInstallRecord(const char *pszProductName, BOOL fReinstall, char *pszInstallFolderOut,
                       DWORD *pdwCopyFilesOut, char *pszUnloadFileNameOut,
                       DWORD *pdwSpaceRequiredOut, WCHAR *pszLanguageOut)
{
    WCHAR szText[RECORD_PATH_CCH];
    WCHAR szLanguage[RECORD_LANGUAGE_CCH];
    HKEY hInstaller = 0;
    HKEY hProduct;
    BOOL fComplete = 0;

    hProduct = OpenProductKey(pszProductName, 0, &hInstaller);
    if (hProduct || fReinstall) {
        fComplete = 1;
        // Each value is read on its own; a missing one leaves its output
        // alone. Without the product key every read fails.
        if (hProduct && GetString(hProduct, g_RegNames.pszInstallFolder, szText, RECORD_PATH_CCH)) {
            if (pszInstallFolderOut)
                XStr_TString2String(szText, pszInstallFolderOut, RECORD_PATH_CCH);
        } else {
            fComplete = 0;
        }
        if (hProduct && GetString(hProduct, g_RegNames.pszUnloadFileName, szText, RECORD_PATH_CCH)) {
            if (pszUnloadFileNameOut)
                XStr_TString2String(szText, pszUnloadFileNameOut, RECORD_PATH_CCH);
        } else {
            fComplete = 0;
        }
        if (!hProduct || !GetDword(hProduct, g_RegNames.pszDstDiskSpaceReq, pdwSpaceRequiredOut))
            fComplete = 0;
        if (!hProduct || !GetDword(hProduct, g_RegNames.pszCopyFiles, pdwCopyFilesOut))
            fComplete = 0;
        if (pszLanguageOut) {
            if (hProduct &&
                GetString(hProduct, g_RegNames.pszLanguage, szLanguage, RECORD_LANGUAGE_CCH))
                XStr_CopyW(pszLanguageOut, szLanguage);
            else
                XStr_CopyW(pszLanguageOut, g_szUnknownLanguage);
        }
    }
    if (hProduct)
        RegCloseKey(hProduct);
    if (hInstaller)
        RegCloseKey(hInstaller);
    if (!fComplete) {
        if (fReinstall)
            Supp_MsgBox(NULL, IDS_CANNOT_READ_FOR_REINSTALL, MB_ICONEXCLAMATION);
        else
            Supp_MsgBox(NULL, IDS_CANNOT_READ_RECORD, MB_ICONSTOP);
    }
    return fComplete;
}

BOOL DeleteInstallRecord(const char *pszProductName)
{
    HKEY hInstaller;
    LONG lResult;

    hInstaller = RegOpenKeyPath(g_RegNames.pszInstallerKey, HKEY_LOCAL_MACHINE, 1);
    if (!hInstaller)
        return 0;
    // An empty name would delete every product's record.
    if (!pszProductName || pszProductName[0] == 0) {
        RegCloseKey(hInstaller);
        return 0;
    }
    lResult = RegDeleteKeyPath(hInstaller, pszProductName);
    RegCloseKey(hInstaller);
    return lResult == ERROR_SUCCESS;
}

// RecordedUnloadLog
BOOL RecordedUnloadLog(const char *pszProductName, char *pszUnloadFileNameOut)
{
    WCHAR szText[RECORD_PATH_CCH];
    HKEY hInstaller = 0, hProduct;
    BOOL fFound = 0;

    hProduct = OpenProductKey(pszProductName, 0, &hInstaller);
    if (hProduct && GetString(hProduct, g_RegNames.pszUnloadFileName, szText, RECORD_PATH_CCH)) {
        XStr_TString2String(szText, pszUnloadFileNameOut, RECORD_PATH_CCH);
        fFound = 1;
    }
    if (hProduct)
        RegCloseKey(hProduct);
    if (hInstaller)
        RegCloseKey(hInstaller);
    return fFound;
}

// RecordedCopyFiles
BOOL RecordedCopyFiles(const char *pszProductName, DWORD *pdwCopyFiles)
{
    HKEY hInstaller = 0, hProduct;
    BOOL fFound;

    hProduct = OpenProductKey(pszProductName, 0, &hInstaller);
    fFound = hProduct && GetDword(hProduct, g_RegNames.pszCopyFiles, pdwCopyFiles);
    if (hProduct)
        RegCloseKey(hProduct);
    if (hInstaller)
        RegCloseKey(hInstaller);
    return fFound;
}
