// products.cpp - the product table: the three products the setup knows,
// their standard shortcuts, and the Glyphor product's special script names
// chosen by the system version.
#include <windows.h>

#include "script/script.h"
#include "setup/setup.h"

// The third pattern is replaced at start-up on 2.11 and later systems.
PRODUCT_ROW g_aProducts[PRODUCT_COUNT] = {
    {"DravexWce", "Dravex*.load", TEXT("Pocket Dravex 3.1"), TEXT("PocketDravexWndClass")},
    {"MiskaWce", "Miska*.load", TEXT("Pocket MISKA 2.0"), TEXT("pMiskaSpellerApp")},
    {"GlyphorWce", "GlyphorHpc*.load", NULL, NULL},
};

const WCHAR g_szVendorWebAddress[] = TEXT("http://www.veltrona-parvell.example");

const SHORTCUT_ROW g_aShortcutRows[SHORTCUT_ROW_COUNT] = {
    {0, 2, TEXT("\\Pocket Dravex 3.1.lnk"), TEXT("\"%P\\Dravex.exe\"")},
    {1, 2, TEXT("\\Pocket MISKA 2.0.lnk"), TEXT("\"%P\\Scrivox.exe\"")},
    {1, 11, TEXT("\\Pocket MISKA 2.0.lnk"), TEXT("\"%P\\Scrivox.exe\"")},
    {2, 2, TEXT("\\Glyphor\\Layout Manager.lnk"), TEXT("\\Windows\\ctlpnl.exe kbdsel.cpl")},
    {2, 2, TEXT("\\Glyphor\\Web Site.lnk"), TEXT("\\Windows\\iexplore.exe http://www.veltrona-parvell.example")},
};

// The two pairs of special script names: systems below 2.11, then 2.11 on.
static const char *const s_apszLanguageScripts[2] = {"GlyphorHpcUniLang.load", "GlyphorProUniLang.load"};
static const char *const s_apszExpandedScripts[2] = {"GlyphorHpc CE Handheld 1.0.load",
                                                     "GlyphorPro CE Handheld 1.0.load"};
static const char *const s_apszGlyphorPatterns[2] = {"GlyphorHpc*.load", "GlyphorPro*.load"};

// SelectGlyphorScripts: dwVersion is major * 100 + minor.
void SelectGlyphorScripts(DWORD dwVersion)
{
    int n = dwVersion >= 211 ? 1 : 0;
    g_pszLanguageScriptName = s_apszLanguageScripts[n];
    g_pszExpandedScriptName = s_apszExpandedScripts[n];
    g_aProducts[2].pszScriptPattern = s_apszGlyphorPatterns[n];
}
