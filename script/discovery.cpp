// discovery.cpp - finding a product's installation script by its pattern
// in one folder, or an unload log there when no script is left, and telling
// whether it is the language script.
//
// Depends on the support library's file search and message boxes.
#include <windows.h>

#include "script/script.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

const char *g_pszLanguageScriptName = "GlyphorHpcUniLang.load";

// FindScript
BOOL FindScript(const char *pszFolder, const char *pszPattern, char *pszFoundPath,
                BOOL *pfInstallScript, BOOL *pfLanguageScript, BOOL fHandled, BOOL fReport)
{
    XFILE_FIND find = {};
    BOOL fInstallScript = 1;
    DWORD rc = 3;

    if (pszPattern != NULL)
        rc = XFile_FindFirstFileEx(pszFolder, pszPattern, FILE_ATTRIBUTE_NORMAL, &find);
    if (rc != 0) {
        XFile_FindClose(&find);
        fInstallScript = 0;
        rc = XFile_FindFirstFileEx(pszFolder, "*.unload", FILE_ATTRIBUTE_NORMAL, &find);
    }
    if (pfInstallScript)
        *pfInstallScript = rc == 0 ? fInstallScript : 0;

    // The expanded language script of a run that was killed before it could
    // delete it matches the pattern too and sorts before the language
    // script: it is passed over for any other match.
    if (rc == 0 && fInstallScript && g_pszExpandedScriptName != NULL &&
        ScriptICompare(find.szName, g_pszExpandedScriptName) == 0) {
        XFILE_FIND next = find;
        while (XFile_FindNextFile(&next) == 0) {
            if (!(next.dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                find = next;
                break;
            }
        }
    }

    if (rc != 0) {
        XFile_FindClose(&find);
        if (!fHandled && fReport)
            Supp_MsgBox(NULL, IDS_NO_SCRIPT, MB_ICONHAND);
        return 0;
    }

    if (pszFoundPath)
        XStr_NCopyExact(pszFoundPath, find.szFullPath, SCRIPT_DEST_SIZE);
    if (pfLanguageScript)
        *pfLanguageScript = g_pszLanguageScriptName != NULL &&
                            ScriptICompare(find.szName, g_pszLanguageScriptName) == 0;
    XFile_FindClose(&find);
    return 1;
}
