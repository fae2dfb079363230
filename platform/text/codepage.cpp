// codepage.cpp - the device's code pages: 1252 (the system code page) and
// UTF-8, in both directions.
//
// Code page 1252 maps its five unassigned bytes (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) to the code points of the same value, so every byte survives a round
// trip. A character outside the code page becomes the default character
// ('?' unless the caller gives one); there is no best-fit mapping.
#include <windows.h>

#include "text/text.h"

namespace {

// Bytes 0x80-0x9F of code page 1252; the rest map to the same value.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ByteTo1252(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F)
        return kHigh1252[b - 0x80];
    return b;
}

// The byte for a unit, or -1 when code page 1252 has none.
int UnitTo1252(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == u)
            return 0x80 + i;
    return -1;
}

enum class Page { Cp1252, Utf8, Unknown };

Page PageOf(UINT cp) {
    switch (cp) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case 1252:
        return Page::Cp1252;
    case CP_UTF8:
        return Page::Utf8;
    default:
        return Page::Unknown;
    }
}

// Length of a string given as a count, or -1 for "up to and including the
// terminator".
size_t InputLength(const char *s, int n) {
    if (n >= 0)
        return static_cast<size_t>(n);
    size_t len = 0;
    while (s[len])
        ++len;
    return len + 1;
}

size_t InputLength(const WCHAR *s, int n) {
    if (n >= 0)
        return static_cast<size_t>(n);
    size_t len = 0;
    while (s[len])
        ++len;
    return len + 1;
}

// Whether a UTF-8 byte string is well formed (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool ValidUtf8(const char *s, size_t n) {
    size_t i = 0;
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len;
        uint32_t cp, min;
        if ((b & 0xE0) == 0xC0)
            len = 2, cp = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            len = 3, cp = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0)
            len = 4, cp = b & 0x07, min = 0x10000;
        else
            return false;
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            unsigned char c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace

// MultiByteToWideChar
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    Page page = PageOf(CodePage);
    if (page == Page::Unknown || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr) ||
        (cchWideChar > 0 && static_cast<const void *>(lpMultiByteStr) == lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD known = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if ((dwFlags & ~known) != 0 || (page == Page::Utf8 && (dwFlags & ~MB_ERR_INVALID_CHARS)) ||
        ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t n = InputLength(lpMultiByteStr, cbMultiByte);

    std::u16string converted;
    const char16_t *out;
    size_t outLen;
    if (page == Page::Utf8) {
        if ((dwFlags & MB_ERR_INVALID_CHARS) && !ValidUtf8(lpMultiByteStr, n)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        converted = plat::FromUtf8(std::string_view(lpMultiByteStr, n));
        out = converted.data();
        outLen = converted.size();
    } else {
        converted.resize(n);
        for (size_t i = 0; i < n; ++i)
            converted[i] = ByteTo1252(static_cast<unsigned char>(lpMultiByteStr[i]));
        out = converted.data();
        outLen = n;
    }
    if (outLen > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cchWideChar == 0)
        return static_cast<int>(outLen);
    if (outLen > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < outLen; ++i)
        lpWideCharStr[i] = out[i];
    return static_cast<int>(outLen);
}

// WideCharToMultiByte
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    Page page = PageOf(CodePage);
    if (page == Page::Unknown || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
        (cbMultiByte > 0 && static_cast<const void *>(lpWideCharStr) == lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD known = WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_COMPOSITECHECK |
                        WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS;
    if ((dwFlags & ~known) != 0 || (page == Page::Utf8 && (dwFlags & ~WC_ERR_INVALID_CHARS)) ||
        (page == Page::Cp1252 && (dwFlags & WC_ERR_INVALID_CHARS))) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    // UTF-8 has a byte sequence for every character: no default character.
    if (page == Page::Utf8 && (lpDefaultChar || lpUsedDefaultChar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = InputLength(lpWideCharStr, cchWideChar);

    std::string converted;
    if (page == Page::Utf8) {
        if (dwFlags & WC_ERR_INVALID_CHARS) {
            for (size_t i = 0; i < n; ++i) {
                char16_t u = lpWideCharStr[i];
                bool bad = false;
                if (u >= 0xD800 && u <= 0xDBFF) {
                    if (i + 1 < n && lpWideCharStr[i + 1] >= 0xDC00 && lpWideCharStr[i + 1] <= 0xDFFF)
                        ++i;
                    else
                        bad = true;
                } else if (u >= 0xDC00 && u <= 0xDFFF) {
                    bad = true;
                }
                if (bad) {
                    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                    return 0;
                }
            }
        }
        converted = plat::ToUtf8(std::u16string_view(lpWideCharStr, n));
    } else {
        char def = lpDefaultChar ? *lpDefaultChar : '?';
        BOOL usedDefault = FALSE;
        converted.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            int b = UnitTo1252(lpWideCharStr[i]);
            if (b < 0) {
                // A surrogate pair is one character: one default character.
                if (lpWideCharStr[i] >= 0xD800 && lpWideCharStr[i] <= 0xDBFF && i + 1 < n &&
                    lpWideCharStr[i + 1] >= 0xDC00 && lpWideCharStr[i + 1] <= 0xDFFF)
                    ++i;
                b = static_cast<unsigned char>(def);
                usedDefault = TRUE;
            }
            converted.push_back(static_cast<char>(b));
        }
        if (lpUsedDefaultChar)
            *lpUsedDefaultChar = usedDefault;
    }
    if (converted.size() > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cbMultiByte == 0)
        return static_cast<int>(converted.size());
    if (converted.size() > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < converted.size(); ++i)
        lpMultiByteStr[i] = converted[i];
    return static_cast<int>(converted.size());
}

// GetACP
UINT GetACP(void) { return 1252; }

// GetOEMCP: the device has no separate OEM code page.
UINT GetOEMCP(void) { return 1252; }

// IsDBCSLeadByte: code page 1252 has no lead bytes.
BOOL IsDBCSLeadByte(BYTE TestChar) { return FALSE; }
