// supp.h - window and message support of the support library.
//
// The message boxes take their texts from the program's string table and
// their caption from one loaded string; the pump keeps windows painting
// during long work.
#ifndef CESETUP_SUPPORT_SUPP_H
#define CESETUP_SUPPORT_SUPP_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The search state that s_supp_IsFontInstalledProcParam receives through
// its lParam: the face name wanted, and the flag it sets on a match.
typedef struct tagSUPP_FONTSEARCH {
    LPCWSTR pszFaceName;
    BOOL bFound;
} SUPP_FONTSEARCH, *PSUPP_FONTSEARCH;

#ifdef CESETUP_PROGRAM
// The message boxes belong to the program (its string table): they are not
// exported, so other programs do not see them declared.
BOOL Supp_MsgInit(HINSTANCE hInstance, UINT uStringId);
BOOL Supp_MsgDone(void);
int Supp_MsgBox(HWND hwndOwner, UINT uStringId, UINT uStyle, ...);
#endif
int Supp_PeekMessages(HWND hDlg);
HWND Supp_FindChildWindow(HWND hwndParent, LPCWSTR pszClassName, int nId);
BOOL Supp_IsFontInstalled(HDC hdc, LPCWSTR pszFaceName);
// The enumeration callback of Supp_IsFontInstalled (a FONTENUMPROCW); lParam
// points at a SUPP_FONTSEARCH.
int CALLBACK s_supp_IsFontInstalledProcParam(const LOGFONTW *lpelf, const TEXTMETRICW *lpntm, DWORD dwFontType,
                                             LPARAM lParam);
BOOL Supp_IsMonoScreen(void);

#ifdef __cplusplus
}
#endif

#endif
