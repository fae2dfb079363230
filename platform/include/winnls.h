// winnls.h - text services of the device: code page 1252, wsprintfW, case
// folding, string helpers of the C runtime and character classes.
//
// The device's system code page is 1252 and it has no double-byte code
// page. Case-insensitive comparisons all use one folding table, the one that
// file and registry names use.
#ifndef CE_WINNLS_H
#define CE_WINNLS_H

#include "windef.h"

// Code pages.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

// MultiByteToWideChar flags.
#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

// WideCharToMultiByte flags.
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

// Character classes of _isctype (the C runtime's values).
#define _UPPER 0x0001
#define _LOWER 0x0002
#define _DIGIT 0x0004
#define _SPACE 0x0008
#define _PUNCT 0x0010
#define _CONTROL 0x0020
#define _BLANK 0x0040
#define _HEX 0x0080
#define _LEADBYTE 0x8000
#define _ALPHA (0x0100 | _UPPER | _LOWER)

// What _wcsicmp returns for a null argument.
#define _NLSCMPERROR 0x7fffffff

// The most units wsprintfW writes, terminator included.
#define WSPRINTF_MAX 1024

CE_BEGIN_DECLS

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
UINT GetACP(void);
UINT GetOEMCP(void);
BOOL IsDBCSLeadByte(BYTE TestChar);

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);

int lstrlenW(LPCWSTR lpString);
LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
LPWSTR CharLowerW(LPWSTR lpsz);
LPWSTR CharUpperW(LPWSTR lpsz);
DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);

int _wcsicmp(const WCHAR *string1, const WCHAR *string2);
int _wcsnicmp(const WCHAR *string1, const WCHAR *string2, size_t count);
int _isctype(int c, int desc);

CE_END_DECLS

#endif
