// xstr_basic.cpp - byte-string primitives and their UTF-16 counterparts.
//
// Characters are single bytes: stepping moves exactly one byte. The
// library's single-byte switch is fixed on (so the byte functions always
// work) and its double-byte switch fixed off, which is why XStr_CharSize
// never reports 2 on this device. Null arguments give the "nothing" result of each
// function (0, a null pointer or no change) instead of a crash.
#include <windows.h>

#include <string.h>

#include "support/xstr.h"

// The double-byte switch: fixed, nothing changes it.
static const int s_xstr_DoubleByte = 0;

// Copies byte by byte, terminator included; safe when dst lies before src
// in the same buffer.
void XStr_Copy(char *dst, const char *src)
{
    if (!dst || !src)
        return;
    memmove(dst, src, strlen(src) + 1);
}

// The standard bounded copy: n bytes, padded with zeros, no terminator when
// src is n bytes or longer.
int XStr_NCopy(char *dst, const char *src, int n)
{
    if (!dst || !src)
        return 0;
    int i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
    return 1;
}

// At most n - 1 bytes, always terminated.
int XStr_NCopyExact(char *dst, const char *src, int n)
{
    if (!dst || !src || n < 1)
        return 0;
    size_t len = strnlen(src, (size_t)(n - 1));
    memmove(dst, src, len);
    dst[len] = 0;
    return 1;
}

int XStr_Join(char *dst, const char *src)
{
    if (!dst || !src)
        return 0;
    XStr_Copy(dst + XStr_Length(dst), src);
    return 1;
}

// Appends at most n bytes of src and terminates.
int XStr_NJoin(char *dst, const char *src, int n)
{
    if (!dst || !src)
        return 0;
    char *d = dst + XStr_Length(dst);
    int i = 0;
    for (; i < n && src[i]; ++i)
        d[i] = src[i];
    d[i] = 0;
    return 1;
}

int XStr_Length(const char *s)
{
    if (!s)
        return 0;
    return (int)strlen(s);
}

int XStr_Size(const char *s)
{
    return XStr_Length(s);
}

int XStr_CharSize(unsigned char c)
{
    return (s_xstr_DoubleByte && IsDBCSLeadByte(c)) ? 2 : 1;
}

// Byte-wise comparison as unsigned bytes of at most n bytes (n < 0: all).
static int xstr_CompareN(const char *a, const char *b, int n)
{
    if (!a || !b)
        return -1;
    for (int i = 0; n < 0 || i < n; ++i) {
        unsigned char ca = (unsigned char)a[i], cb = (unsigned char)b[i];
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            break;
    }
    return 0;
}

int XStr_Compare(const char *a, const char *b)
{
    return xstr_CompareN(a, b, -1);
}

int XStr_NCompare(const char *a, const char *b, int n)
{
    if (n <= 0)
        return (a && b) ? 0 : -1;
    return xstr_CompareN(a, b, n);
}

// 0 when a starts with b.
int XStr_NCompare2(const char *a, const char *b)
{
    if (!a || !b)
        return -1;
    int n = XStr_Length(b);
    return n ? xstr_CompareN(a, b, n) : 0;
}

// Case-insensitive comparison of copies lowered to ASCII small letters;
// -1 also when a copy cannot be made.
static int xstr_ICompareN(const char *a, const char *b, int n)
{
    if (!a || !b)
        return -1;
    char *ca = XStr_Duplicate(a);
    char *cb = XStr_Duplicate(b);
    if (!ca || !cb) {
        XStr_Free(&ca);
        XStr_Free(&cb);
        return -1;
    }
    XStr_ToLower(ca);
    XStr_ToLower(cb);
    int r = n < 0 ? XStr_Compare(ca, cb) : XStr_NCompare(ca, cb, n);
    XStr_Free(&ca);
    XStr_Free(&cb);
    return r;
}

int XStr_ICompare(const char *a, const char *b)
{
    return xstr_ICompareN(a, b, -1);
}

int XStr_NICompare(const char *a, const char *b, int n)
{
    return xstr_ICompareN(a, b, n < 0 ? 0 : n);
}

// Only A-Z change; bytes above 127 are left alone.
void XStr_ToLower(char *s)
{
    if (!s)
        return;
    for (; *s; ++s)
        if (*s >= 'A' && *s <= 'Z')
            *s = (char)(*s + 32);
}

// A copy with 10 spare bytes, or 0 when memory runs out.
char *XStr_Duplicate(const char *s)
{
    if (!s)
        return 0;
    int n = XStr_Length(s);
    char *d = (char *)LocalAlloc(LPTR, (SIZE_T)n + 10);
    if (!d)
        return 0;
    XStr_Copy(d, s);
    return d;
}

void XStr_Free(char **ps)
{
    if (!ps || !*ps)
        return;
    LocalFree((HLOCAL)*ps);
    *ps = 0;
}

char *XStr_FindChar(const char *s, int ch)
{
    if (!s)
        return 0;
    char c = (char)ch;
    for (;; ++s) {
        if (*s == c)
            return (char *)s;
        if (!*s)
            return 0;
    }
}

char *XStr_FindCharRev(const char *s, int ch)
{
    if (!s)
        return 0;
    return (char *)strrchr(s, (char)ch);
}

static int xstr_InSet(char c, const char *set)
{
    for (; *set; ++set)
        if (*set == c)
            return 1;
    return 0;
}

char *XStr_FindChars(const char *s, const char *set)
{
    if (!s || !set)
        return 0;
    for (; *s; ++s)
        if (xstr_InSet(*s, set))
            return (char *)s;
    return 0;
}

char *XStr_FindCharsRev(const char *s, const char *set)
{
    if (!s || !set)
        return 0;
    const char *found = 0;
    for (; *s; ++s)
        if (xstr_InSet(*s, set))
            found = s;
    return (char *)found;
}

// s itself when its first byte is not ch, else the first byte after the
// leading run of ch (the terminator when the string holds only ch).
char *XStr_FindNotChar(const char *s, int ch)
{
    if (!s)
        return 0;
    char c = (char)ch;
    if (!c)
        return (char *)s;
    while (*s == c)
        ++s;
    return (char *)s;
}

char *XStr_FindNotCharRev(const char *s, int ch)
{
    if (!s)
        return 0;
    char c = (char)ch;
    const char *found = 0;
    for (; *s; ++s)
        if (*s != c)
            found = s;
    return (char *)found;
}

char *XStr_FindString(const char *s, const char *sub)
{
    if (!s || !sub)
        return 0;
    return (char *)strstr(s, sub);
}

// Does not look at the byte: callers stop at the terminator themselves.
char *XStr_GetNextChar(const char *p)
{
    return p ? (char *)(p + 1) : 0;
}

int XStr_GetNextCharEx(char **pp)
{
    if (!pp || !*pp)
        return 0;
    *pp = XStr_GetNextChar(*pp);
    return 1;
}

char *XStr_GetPrevChar(const char *start, const char *p)
{
    if (!start || !p || p <= start)
        return 0;
    return (char *)(p - 1);
}

char *XStr_GetNthChar(const char *s, int n)
{
    char *p = (char *)s;
    for (int i = 0; i < n && p; ++i)
        p = XStr_GetNextChar(p);
    return p;
}

void XStr_GetNthCharEx(char **pp, int n)
{
    if (pp)
        *pp = XStr_GetNthChar(*pp, n);
}

unsigned int XStr_GetFirstChar(const char *p)
{
    return p ? (unsigned char)*p : 0;
}

int XStr_IsFirstChar(const char *p, int ch)
{
    return p && *p == (char)ch;
}

int XStr_IsEmptyString(const char *p)
{
    return p && !*p;
}

int XStr_AreEqualChars(int a, int b)
{
    return (unsigned char)a == (unsigned char)b;
}

char *XStr_GetEndOfString(const char *s)
{
    return s ? (char *)(s + XStr_Length(s)) : 0;
}

char *XStr_GetLastChar(const char *s)
{
    if (!s || !*s)
        return 0;
    return (char *)(s + XStr_Length(s) - 1);
}

// Terminates the string at p and returns p + 1; at the terminator already,
// writes nothing and returns p.
char *XStr_SetEndOfString(char *p)
{
    if (!p)
        return 0;
    if (!*p)
        return p;
    *p = 0;
    return p + 1;
}

// Bytes from `from` up to `to`, or up to the end when the string ends first.
int XStr_SubstringLength(const char *from, const char *to)
{
    if (!from)
        return 0;
    int n = 0;
    while (from[n] && from + n != to)
        ++n;
    return n;
}

int XStr_SubstringLengthIdx(const char *s, int i, int j)
{
    if (!s)
        return 0;
    return XStr_SubstringLength(s + i, s + j);
}

int XStr_CopySubstring(char *dst, const char *from, const char *to)
{
    if (!dst || !from)
        return 0;
    return XStr_NCopyExact(dst, from, XStr_SubstringLength(from, to) + 1);
}

int XStr_CopySubstringIdx(char *dst, const char *s, int i, int j)
{
    if (!dst || !s)
        return 0;
    return XStr_CopySubstring(dst, s + i, s + j);
}

// Removes the byte at p, shifting the rest (terminator included) left.
void XStr_EatChar(char *p)
{
    if (!p || !*p)
        return;
    XStr_Copy(p, p + 1);
}

// In a list of strings ended by an empty one: the string after p, or 0
// when p was the last.
char *XStr_GetNextStringPtr(const char *p)
{
    if (!p || !*p)
        return 0;
    const char *next = p + XStr_Length(p) + 1;
    return *next ? (char *)next : 0;
}

int XStr_GetNextStringPtrEx(char **pp)
{
    if (!pp)
        return 0;
    *pp = XStr_GetNextStringPtr(*pp);
    return *pp != 0;
}

// ---- UTF-16 strings

WCHAR *XStr_CopyW(WCHAR *dst, const WCHAR *src)
{
    if (!dst || !src)
        return dst;
    WCHAR *d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

WCHAR *XStr_NCopyW(WCHAR *dst, const WCHAR *src, int n)
{
    if (!dst || !src)
        return dst;
    int i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
    return dst;
}

WCHAR *XStr_JoinW(WCHAR *dst, const WCHAR *src)
{
    if (!dst || !src)
        return dst;
    XStr_CopyW(dst + XStr_LengthW(dst), src);
    return dst;
}

int XStr_LengthW(const WCHAR *s)
{
    if (!s)
        return 0;
    int n = 0;
    while (s[n])
        ++n;
    return n;
}

static int xstr_CompareNW(const WCHAR *a, const WCHAR *b, int n)
{
    if (!a || !b)
        return -1;
    for (int i = 0; n < 0 || i < n; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
        if (!a[i])
            break;
    }
    return 0;
}

int XStr_CompareW(const WCHAR *a, const WCHAR *b)
{
    return xstr_CompareNW(a, b, -1);
}

int XStr_NCompareW(const WCHAR *a, const WCHAR *b, int n)
{
    if (n <= 0)
        return (a && b) ? 0 : -1;
    return xstr_CompareNW(a, b, n);
}

// The platform's comparison, which folds every letter it knows.
int XStr_ICompareW(const WCHAR *a, const WCHAR *b)
{
    if (!a || !b)
        return -1;
    return _wcsicmp(a, b);
}

WCHAR *XStr_FindCharW(const WCHAR *s, WCHAR ch)
{
    if (!s)
        return 0;
    for (;; ++s) {
        if (*s == ch)
            return (WCHAR *)s;
        if (!*s)
            return 0;
    }
}

WCHAR *XStr_FindCharRevW(const WCHAR *s, WCHAR ch)
{
    if (!s)
        return 0;
    const WCHAR *found = 0;
    for (;; ++s) {
        if (*s == ch)
            found = s;
        if (!*s)
            return (WCHAR *)found;
    }
}

WCHAR *XStr_GetNextCharW(const WCHAR *p)
{
    return p ? (WCHAR *)(p + 1) : 0;
}
