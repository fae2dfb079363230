// string.cpp - the UTF-16 string helpers of the device: lstr*W, _wcsicmp,
// _wcsnicmp, CharLowerW and CharUpperW.
//
// Case-insensitive comparisons fold with the device's one table (the same
// that file and registry names use), so lstrcmpiW, _wcsicmp and a file
// lookup agree on which names are equal. Null arguments are handled the
// way the device's library does instead of crashing.
#include <windows.h>

#include "text/text.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Folded comparison of at most n units; <0, 0, >0 as the first differing
// folded unit.
int FoldedCompare(const WCHAR *a, const WCHAR *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = plat::FoldCase(a[i]), cb = plat::FoldCase(b[i]);
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
    return 0;
}

// Whether a "string" argument is a single character in its low word, as
// CharLowerW and CharUpperW accept.
bool IsCharArgument(LPWSTR p) { return (reinterpret_cast<ULONG_PTR>(p) >> 16) == 0; }

} // namespace

// lstrlenW
int lstrlenW(LPCWSTR lpString) {
    if (!lpString)
        return 0;
    int n = 0;
    while (lpString[n])
        ++n;
    return n;
}

// lstrcpyW
LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    LPWSTR d = lpString1;
    while ((*d++ = *lpString2++) != 0) {
    }
    return lpString1;
}

// lstrcpynW: copies at most iMaxLength - 1 units and always terminates.
LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (iMaxLength <= 0)
        return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

// lstrcatW
LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    lstrcpyW(lpString1 + lstrlenW(lpString1), lpString2);
    return lpString1;
}

// lstrcmpW: code-unit order; a null string sorts before every other.
int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return lpString1 ? 1 : (lpString2 ? -1 : 0);
    size_t i = 0;
    while (lpString1[i] && lpString1[i] == lpString2[i])
        ++i;
    return Sign(static_cast<int>(lpString1[i]) - static_cast<int>(lpString2[i]));
}

// lstrcmpiW: folded order; a null string sorts before every other.
int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return lpString1 ? 1 : (lpString2 ? -1 : 0);
    return Sign(FoldedCompare(lpString1, lpString2, static_cast<size_t>(-1)));
}

// _wcsicmp
int _wcsicmp(const WCHAR *string1, const WCHAR *string2) {
    if (!string1 || !string2)
        return _NLSCMPERROR;
    return FoldedCompare(string1, string2, static_cast<size_t>(-1));
}

// _wcsnicmp
int _wcsnicmp(const WCHAR *string1, const WCHAR *string2, size_t count) {
    if (count == 0)
        return 0;
    if (!string1 || !string2)
        return _NLSCMPERROR;
    return FoldedCompare(string1, string2, count);
}

// CharLowerBuffW
DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = plat::FoldCase(lpsz[i]);
    return cchLength;
}

// CharUpperBuffW
DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = plat::UpperCase(lpsz[i]);
    return cchLength;
}

// CharLowerW
LPWSTR CharLowerW(LPWSTR lpsz) {
    if (IsCharArgument(lpsz)) {
        WCHAR c = plat::FoldCase(static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(lpsz)));
        return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c));
    }
    CharLowerBuffW(lpsz, static_cast<DWORD>(lstrlenW(lpsz)));
    return lpsz;
}

// CharUpperW
LPWSTR CharUpperW(LPWSTR lpsz) {
    if (IsCharArgument(lpsz)) {
        WCHAR c = plat::UpperCase(static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(lpsz)));
        return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c));
    }
    CharUpperBuffW(lpsz, static_cast<DWORD>(lstrlenW(lpsz)));
    return lpsz;
}
