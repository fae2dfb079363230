// reader.cpp - reading installation scripts and unload logs: the six-line
// header, the body lines handed to a line handler, and the expansion of the
// language script's "@1".."@6" placeholders.
//
// Depends on the support library's strings (tokens, placeholders, paths),
// its text-line file layer and message boxes, and on the registry root
// lookup for the presence key.
#include <windows.h>

#include <string.h>

#include "registry/regpath.h"
#include "script/script.h"
#include "support/supp.h"
#include "support/xfile.h"
#include "support/xstr.h"

char g_szSetupBitmapName[SCRIPT_PATH_SIZE] = "Setup.bmp";
BOOL g_fSelectAppLocation = 1;
const char *g_pszExpandedScriptName = "GlyphorHpc CE Handheld 1.0.load";
DWORD g_dwScriptTokensCut = 0;
DWORD g_dwScriptKeywordOffset = 0;

#define HEADER_LINES 6

// Keywords by command number, with their lengths; "//" (9) and "exit"
// (10) are tested apart.
typedef struct tagSCRIPT_KEYWORD {
    const char *psz;
    size_t cch;
} SCRIPT_KEYWORD;
#define SCRIPT_KEYWORD_OF(s) {s, sizeof(s) - 1}
static const SCRIPT_KEYWORD s_aKeywords[] = {
    SCRIPT_KEYWORD_OF("regKeyCreate"), SCRIPT_KEYWORD_OF("regString"),      SCRIPT_KEYWORD_OF("regInt"),
    SCRIPT_KEYWORD_OF("copy"),         SCRIPT_KEYWORD_OF("copyShared"),     SCRIPT_KEYWORD_OF("mkdir"),
    SCRIPT_KEYWORD_OF("createShortcut"), SCRIPT_KEYWORD_OF("remoteExec"), SCRIPT_KEYWORD_OF("ExecOnUnload"),
};
#undef SCRIPT_KEYWORD_OF

// Tokens of the header lines, by line.
static const int s_anHeaderTokens[HEADER_LINES] = {2, 3, 2, 2, 2, 2};

// ScriptICompare
int ScriptICompare(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        unsigned char ca = (unsigned char)*a;
        unsigned char cb = (unsigned char)*b;
        if (ca >= 'A' && ca <= 'Z')
            ca = (unsigned char)(ca + 32);
        if (cb >= 'A' && cb <= 'Z')
            cb = (unsigned char)(cb + 32);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

// Reads the next line into a 512-byte buffer and removes line ends and
// leading and trailing blanks. 0 at the end of the file or on a read error.
// *pcchRead (optional) receives the length as read: 511 means the line may
// go on in the next read.
static BOOL ReadCleanLine(HANDLE hFile, char *pszLine, DWORD *pcchRead)
{
    if (XFile_ReadLine(hFile, pszLine, SCRIPT_LINE_SIZE, NULL) != 0)
        return 0;
    if (pcchRead)
        *pcchRead = XStr_Length(pszLine);
    XStr_StripStringCRLFs(pszLine);
    XStr_StripString(pszLine);
    return 1;
}

// ScriptReadLine
BOOL ScriptReadLine(HANDLE hFile, char *pszLine, DWORD *pcchRead)
{
    return ReadCleanLine(hFile, pszLine, pcchRead);
}

static void ShowReadFailed(const char *pszPath)
{
    WCHAR wszPath[MAX_PATH];
    XStr_String2TString(pszPath ? pszPath : "", wszPath, MAX_PATH);
    Supp_MsgBox(NULL, IDS_READ_FAILED, MB_ICONHAND, wszPath);
}

// The values of one header, for ReadScriptHeader; null pointers are not
// written. fSetGlobals 0 checks a line without touching the process-wide
// bitmap name and location choice.
typedef struct tagHEADER_OUT {
    char *pszProductName;
    HKEY *phPresenceRoot;
    char *pszPresenceKey;
    char *pszDefaultFolder;
    char *pszCompletionNote;
    BOOL fSetGlobals;
} HEADER_OUT;

// Takes header line nLine (0 to 5, already cleaned) apart; SCRIPT_HDR_OK
// or the reason it is bad.
static int TakeHeaderLine(int nLine, char *szLine, const HEADER_OUT *pOut)
{
    char *apszTokens[SCRIPT_MAX_TOKENS];
    int nCount = 0;

    if (!XStr_ParseCmdLine(szLine, apszTokens, SCRIPT_MAX_TOKENS, &nCount, 0))
        return SCRIPT_HDR_SPLIT;
    if (nCount == 0 || XStr_Compare(apszTokens[0], "//") != 0)
        return SCRIPT_HDR_MARKER;
    if (nCount != s_anHeaderTokens[nLine])
        return SCRIPT_HDR_TOKENS;

    switch (nLine) {
    case 0: // product name
        if (XStr_Length(apszTokens[1]) >= SCRIPT_NAME_SIZE)
            return SCRIPT_HDR_TOO_LONG;
        if (pOut->pszProductName)
            XStr_Copy(pOut->pszProductName, apszTokens[1]);
        break;
    case 1: { // presence key: root name and path
        HKEY hRoot = RegRootFromName(apszTokens[1]);
        if (hRoot == 0)
            return SCRIPT_HDR_ROOT;
        if (XStr_Length(apszTokens[2]) >= SCRIPT_NAME_SIZE)
            return SCRIPT_HDR_TOO_LONG;
        if (pOut->pszPresenceKey)
            XStr_Copy(pOut->pszPresenceKey, apszTokens[2]);
        if (pOut->phPresenceRoot)
            *pOut->phPresenceRoot = hRoot;
        break;
    }
    case 2: { // default folder under \Program Files
        char szFolder[SCRIPT_DEST_SIZE];
        XStr_Copy(szFolder, "\\Program Files");
        XStr_AddDirDelim(szFolder);
        if (XStr_Length(szFolder) + XStr_Length(apszTokens[1]) >= SCRIPT_DEST_SIZE)
            return SCRIPT_HDR_TOO_LONG;
        XStr_Join(szFolder, apszTokens[1]);
        if (pOut->pszDefaultFolder)
            XStr_Copy(pOut->pszDefaultFolder, szFolder);
        break;
    }
    case 3: { // setup bitmap: the text after the first "="
        char *pEq = XStr_FindChar(apszTokens[1], '=');
        if (pEq == NULL)
            return SCRIPT_HDR_BITMAP;
        if (XStr_Length(pEq + 1) >= SCRIPT_PATH_SIZE)
            return SCRIPT_HDR_TOO_LONG;
        if (pOut->fSetGlobals)
            XStr_Copy(g_szSetupBitmapName, pEq + 1);
        break;
    }
    case 4: // location choice; the token also stands as the note until line 6
        if (XStr_Compare(apszTokens[1], "SelectAppLocation=Yes") == 0) {
            if (pOut->fSetGlobals)
                g_fSelectAppLocation = 1;
        } else if (XStr_Compare(apszTokens[1], "SelectAppLocation=No") == 0) {
            if (pOut->fSetGlobals)
                g_fSelectAppLocation = 0;
        } else {
            return SCRIPT_HDR_LOCATION;
        }
        if (pOut->pszCompletionNote)
            XStr_Copy(pOut->pszCompletionNote, apszTokens[1]);
        break;
    case 5: // completion note
        if (XStr_Length(apszTokens[1]) >= SCRIPT_NAME_SIZE)
            return SCRIPT_HDR_TOO_LONG;
        if (pOut->pszCompletionNote)
            XStr_Copy(pOut->pszCompletionNote, apszTokens[1]);
        break;
    }
    return SCRIPT_HDR_OK;
}

// ScriptHeaderLineProblem
int ScriptHeaderLineProblem(int nLine, const char *pszLine, char *pszDefaultFolder)
{
    char szLine[SCRIPT_LINE_SIZE];
    HEADER_OUT out = {NULL, NULL, NULL, pszDefaultFolder, NULL, 0};
    if (nLine < 0 || nLine >= HEADER_LINES || pszLine == NULL || XStr_Length(pszLine) >= SCRIPT_LINE_SIZE)
        return SCRIPT_HDR_MISSING;
    XStr_Copy(szLine, pszLine);
    return TakeHeaderLine(nLine, szLine, &out);
}

// ReadScriptHeader
BOOL ReadScriptHeader(const char *pszPath, char *pszProductName, HKEY *phPresenceRoot,
                      char *pszPresenceKey, char *pszDefaultFolder, char *pszCompletionNote)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    char szLine[SCRIPT_LINE_SIZE];
    HEADER_OUT out = {pszProductName, phPresenceRoot, pszPresenceKey, pszDefaultFolder, pszCompletionNote, 1};
    int nLine;
    BOOL fOk = 0;

    if (pszPath == NULL || XFile_Open(pszPath, XFILE_MODE_READ, &hFile) != 0)
        goto done;

    for (nLine = 0; nLine < HEADER_LINES; nLine++) {
        if (!ReadCleanLine(hFile, szLine, NULL))
            goto done;
        if (TakeHeaderLine(nLine, szLine, &out) != SCRIPT_HDR_OK)
            goto done;
    }
    fOk = 1;

done:
    if (!fOk)
        ShowReadFailed(pszPath);
    XFile_Close(&hFile);
    return fOk;
}

// Replaces every "%P" of a 256-byte token slot by the install folder
// (cchFolder bytes). The search goes on after the inserted text, so a
// folder that itself holds "%P" is inserted once and not again into itself.
// A replacement that does not fit leaves that "%P" and the ones after it as
// they are.
static void ReplaceFolderPlaceholders(char *pszSlot, const char *pszFolder, DWORD cchFolder)
{
    char *pszFrom = pszSlot;

    for (;;) {
        char *p = XStr_FindString(pszFrom, "%P");
        if (p == NULL)
            return;
        if (!XStr_ReplaceSubstring(pszSlot, SCRIPT_TOKEN_SIZE, p, p + 1, pszFolder))
            return;
        pszFrom = p + cchFolder;
    }
}

static unsigned char LowerAscii(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? (unsigned char)(c + 32) : c;
}

// Whether the cch bytes at p are the keyword, case aside (cch its length).
static BOOL SameKeyword(const char *p, const char *pszKeyword, size_t cch)
{
    size_t i;
    for (i = 0; i < cch; i++) {
        if (LowerAscii((unsigned char)p[i]) != LowerAscii((unsigned char)pszKeyword[i]))
            return 0;
    }
    return 1;
}

// The command number of a first token of cch bytes. Only a keyword of the
// token's length can match: most of the nine are passed over at once.
static int CommandNumberOf(const char *pszKeyword, size_t cch)
{
    int i;
    for (i = 0; i < (int)(sizeof(s_aKeywords) / sizeof(s_aKeywords[0])); i++) {
        if (s_aKeywords[i].cch == cch && SameKeyword(pszKeyword, s_aKeywords[i].psz, cch))
            return i;
    }
    if (pszKeyword[0] == '/' && pszKeyword[1] == '/')
        return SCRIPT_CMD_COMMENT;
    if (cch == 4 && SameKeyword(pszKeyword, "exit", 4))
        return SCRIPT_CMD_EXIT;
    return SCRIPT_LINE_SKIPPED;
}

// ScriptCommandNumber
int ScriptCommandNumber(const char *pszKeyword)
{
    return CommandNumberOf(pszKeyword, strlen(pszKeyword));
}

// ScriptSplitLine
int ScriptSplitLine(const char *pszLine, const char *pszInstallFolder, SCRIPT_TOKEN *aSlots, int *pnCount,
                    DWORD *pdwCut)
{
    char szSplit[SCRIPT_LINE_SIZE];
    char *apszTokens[SCRIPT_MAX_TOKENS];
    int nCount = 0, k;
    DWORD dwCut = 0, cchFolder = 0;
    size_t cchLine = pszLine ? strnlen(pszLine, SCRIPT_LINE_SIZE) : 0, cchFirst = 0;

    if (cchLine >= SCRIPT_LINE_SIZE)
        return SCRIPT_LINE_BAD;
    memcpy(szSplit, pszLine ? pszLine : "", cchLine);
    szSplit[cchLine] = 0;
    if (!XStr_ParseCmdLine(szSplit, apszTokens, SCRIPT_MAX_TOKENS, &nCount, 0))
        return SCRIPT_LINE_BAD;
    if (pszInstallFolder)
        cchFolder = (DWORD)strlen(pszInstallFolder);

    // Every slot is written for every line, so that no handler ever sees a
    // token of an earlier line.
    for (k = 0; k < SCRIPT_MAX_TOKENS; k++) {
        size_t cch;
        if (k >= nCount) {
            aSlots[k][0] = 0;
            continue;
        }
        cch = strnlen(apszTokens[k], SCRIPT_TOKEN_SIZE);
        if (cch >= SCRIPT_TOKEN_SIZE) {
            dwCut |= (DWORD)1 << k;
            cch = SCRIPT_TOKEN_SIZE - 1;
        }
        memcpy(aSlots[k], apszTokens[k], cch);
        aSlots[k][cch] = 0;
        // A slot without "%" holds no placeholder.
        if (pszInstallFolder && memchr(aSlots[k], '%', cch) != NULL) {
            ReplaceFolderPlaceholders(aSlots[k], pszInstallFolder, cchFolder);
            cch = strlen(aSlots[k]);
        }
        if (k == 0)
            cchFirst = cch;
    }
    if (pnCount)
        *pnCount = nCount;
    if (pdwCut)
        *pdwCut = dwCut;
    return CommandNumberOf(aSlots[0], cchFirst);
}

// ReadScript
int ReadScript(const char *pszPath, BOOL fInstall, const char *pszInstallFolder,
               SCRIPT_LINE_HANDLER pfnHandler, void *pData)
{
    HANDLE hFile = XFILE_NO_HANDLE;
    int nResult;

    if (pszPath == NULL || pfnHandler == NULL)
        return 0;
    if (XFile_Open(pszPath, XFILE_MODE_READ, &hFile) != 0)
        return 0;
    nResult = ReadScriptFile(hFile, fInstall, pszInstallFolder, pfnHandler, pData);
    XFile_Close(&hFile);
    return nResult;
}

// ReadScriptFile: the body of ReadScript over a file the caller opened (and
// closes), read from its current position.
int ReadScriptFile(HANDLE hFile, BOOL fInstall, const char *pszInstallFolder,
                   SCRIPT_LINE_HANDLER pfnHandler, void *pData)
{
    char szLine[SCRIPT_LINE_SIZE];
    SCRIPT_TOKEN aSlots[SCRIPT_MAX_TOKENS];
    int nResult = 1;

    if (pfnHandler == NULL)
        return 0;

    for (;;) {
        int nCommand, k;
        DWORD dwCut = 0, dwSaved, dwLineStart = 0, dwSavedOffset;

        // The line reader gives back what it read past the line, so the
        // position here is where the line starts.
        if (XFile_Seek(hFile, 0, XFILE_SEEK_CURRENT, &dwLineStart) != 0)
            dwLineStart = 0;
        if (XFile_ReadLine(hFile, szLine, SCRIPT_LINE_SIZE, NULL) != 0) {
            // A script must end with "exit"; a log may end anywhere.
            if (fInstall)
                nResult = 0;
            break;
        }
        XStr_StripStringCRLFs(szLine);
        for (k = 0; szLine[k] == ' ' || szLine[k] == '\t'; k++)
            dwLineStart++;
        XStr_StripString(szLine);
        if (szLine[0] == 0)
            continue;

        nCommand = ScriptSplitLine(szLine, pszInstallFolder, aSlots, NULL, &dwCut);
        if (nCommand == SCRIPT_LINE_BAD) {
            nResult = 0;
            break;
        }
        if (nCommand == SCRIPT_LINE_SKIPPED)
            continue;

        dwSaved = g_dwScriptTokensCut;
        dwSavedOffset = g_dwScriptKeywordOffset;
        g_dwScriptTokensCut = dwCut;
        g_dwScriptKeywordOffset = dwLineStart;
        nResult = pfnHandler(szLine, nCommand, aSlots, pData);
        g_dwScriptTokensCut = dwSaved;
        g_dwScriptKeywordOffset = dwSavedOffset;

        if (nResult == 0 || nCommand == SCRIPT_CMD_EXIT)
            break;
    }
    return nResult;
}

// UndoneKeyword: whether a first token is a keyword whose first two bytes a
// removal has overwritten with "//" (the line then reads as a comment).
static BOOL UndoneKeyword(const char *pszToken)
{
    int i;

    if (pszToken[0] != '/' || pszToken[1] != '/' || pszToken[2] == 0)
        return 0;
    for (i = 0; i < (int)(sizeof(s_aKeywords) / sizeof(s_aKeywords[0])); i++) {
        if (i != SCRIPT_CMD_MKDIR && ScriptICompare(pszToken + 2, s_aKeywords[i].psz + 2) == 0)
            return 1;
    }
    return 0;
}

static int NoteLogLine(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData)
{
    DWORD *pdwState = (DWORD *)pData;

    (void)pszLine;
    if (nCommand == SCRIPT_CMD_EXIT)
        *pdwState |= UNLOAD_LOG_COMPLETE;
    else if (nCommand == SCRIPT_CMD_COMMENT && UndoneKeyword(aTokens[0]))
        *pdwState |= UNLOAD_LOG_UNDONE;
    return 1;
}

// UnloadLogState
DWORD UnloadLogState(const char *pszPath)
{
    DWORD dwState = 0;

    if (!ReadScript(pszPath, 0, NULL, NoteLogLine, &dwState))
        return UNLOAD_LOG_MISSING;
    return dwState;
}

// ExpandScriptParams
//
// The copy is written under a temporary name (the expanded name and "~",
// which no script pattern matches) and renamed into place only when it is
// complete, so a run killed while writing it leaves nothing that looks like
// a script; the temporary file is removed on every failure.
BOOL ExpandScriptParams(char *pszPath, const char *const *apszValues)
{
    HANDLE hIn = XFILE_NO_HANDLE, hOut = XFILE_NO_HANDLE;
    char szCopy[SCRIPT_DEST_SIZE];
    char szTemp[SCRIPT_DEST_SIZE];
    char szLine[SCRIPT_LINE_SIZE];
    const char *pszTitle;
    BOOL fOk = 0;
    int k;

    if (pszPath == NULL || apszValues == NULL || g_pszExpandedScriptName == NULL)
        return 0;
    // Values are refused before anything is written: each holds at most 31 bytes.
    for (k = 1; k < SCRIPT_PARAM_COUNT; k++) {
        if (apszValues[k] == NULL || XStr_Length(apszValues[k]) >= SCRIPT_PARAM_SIZE)
            return 0;
    }

    // The copy lies beside the script, under the expanded-script name.
    pszTitle = XStr_GetFileTitlePtr(pszPath);
    if ((pszTitle - pszPath) + XStr_Length(g_pszExpandedScriptName) + 1 >= SCRIPT_PATH_SIZE)
        return 0;
    XStr_CopySubstring(szCopy, pszPath, pszTitle);
    XStr_Join(szCopy, g_pszExpandedScriptName);
    XStr_Copy(szTemp, szCopy);
    XStr_Join(szTemp, "~");
    // Expanding the expanded copy onto itself would empty the only script,
    // and the clean-up would then delete it.
    if (ScriptICompare(XStr_GetFileTitlePtr(pszPath), g_pszExpandedScriptName) == 0)
        return 0;

    if (XFile_Open(pszPath, XFILE_MODE_READ, &hIn) != 0)
        goto done;
    if (XFile_Open(szTemp, XFILE_MODE_WRITE, &hOut) != 0)
        goto done;

    for (;;) {
        DWORD rc = XFile_ReadLine(hIn, szLine, SCRIPT_LINE_SIZE, NULL);
        char *pAt;
        if (rc == 1)
            break;
        if (rc != 0)
            goto done;
        XStr_StripStringCRLFs(szLine);

        // Only the first "@" of a line is looked at.
        pAt = XStr_FindChar(szLine, '@');
        if (pAt != NULL) {
            const char *pszValue;
            if (pAt[1] < '1' || pAt[1] > '6')
                goto done;
            pszValue = apszValues[pAt[1] - '0'];
            if (pszValue[0] == 0)
                continue; // an empty value drops the line
            // A line that would overflow stays as it is.
            XStr_ReplaceSubstring(szLine, SCRIPT_LINE_SIZE, pAt, pAt + 1, pszValue);
        }
        if (XFile_WriteLine(hOut, szLine) != 0)
            goto done;
    }
    fOk = 1;

done:
    XFile_Close(&hIn);
    if (hOut != XFILE_NO_HANDLE && XFile_Close(&hOut) != 0)
        fOk = 0;
    if (fOk && XFile_RenameFile(szTemp, szCopy, 1) != 0)
        fOk = 0;
    if (!fOk) {
        // A copy left by an earlier run goes too: it is not this language.
        XFile_DeleteFile(szTemp);
        XFile_DeleteFile(szCopy);
        return 0;
    }
    XStr_Copy(pszPath, szCopy);
    return 1;
}
