// xstr_number.cpp - integers and doubles from byte strings and back, and
// the character classes of the library.
//
// Parsing skips white space, takes one sign and reads digits until the
// first byte that is not one; integers wrap in unsigned 32-bit arithmetic,
// and only the integer part of a double is read.
#include <windows.h>

#include "support/xstr.h"

// Value of a digit of the radix, or -1.
static int xstr_DigitValue(unsigned char c, int hex)
{
    if (hex) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    }
    return _isctype(c, _DIGIT) ? c - '0' : -1;
}

// Skips white space and one sign; returns the first digit position.
static const unsigned char *xstr_NumberStart(const char *s, int *negative)
{
    const unsigned char *p = (const unsigned char *)s;
    while (*p && _isctype(*p, _SPACE))
        ++p;
    *negative = 0;
    if (*p == '-' || *p == '+') {
        *negative = *p == '-';
        ++p;
    }
    return p;
}

int XStr_ToIntegerRadixEx(const char *s, int radix, int *value)
{
    DWORD v = 0;
    if (s) {
        int negative;
        int hex = radix == 16;
        const unsigned char *p = xstr_NumberStart(s, &negative);
        int d;
        while ((d = xstr_DigitValue(*p, hex)) >= 0) {
            v = v * (hex ? 16u : 10u) + (DWORD)d;
            ++p;
        }
        if (negative)
            v = 0u - v;
    }
    if (value)
        *value = (int)v;
    return 1;
}

int XStr_ToIntegerEx(const char *s, int *value)
{
    return XStr_ToIntegerRadixEx(s, 10, value);
}

int XStr_ToInteger(const char *s)
{
    int v = 0;
    XStr_ToIntegerRadixEx(s, 10, &v);
    return v;
}

int XStr_ToFloatEx(const char *s, double *value)
{
    double v = 0.0;
    if (s) {
        int negative;
        const unsigned char *p = xstr_NumberStart(s, &negative);
        int d;
        while ((d = xstr_DigitValue(*p, 0)) >= 0) {
            v = v * 10.0 + d;
            ++p;
        }
        if (negative)
            v = -v;
    }
    if (value)
        *value = v;
    return 1;
}

double XStr_ToFloat(const char *s)
{
    double v = 0.0;
    XStr_ToFloatEx(s, &v);
    return v;
}

// Radix 16 gives lower-case hex of the 32-bit pattern, radix 10 signed
// decimal; any other radix returns 0 and leaves dst alone.
char *XStr_FromIntegerRadixEx(int value, char *dst, int radix)
{
    WCHAR text[100];
    if (!dst)
        return 0;
    if (radix == 16)
        wsprintfW(text, TEXT("%x"), value);
    else if (radix == 10)
        wsprintfW(text, TEXT("%d"), value);
    else
        return 0;
    XStr_TString2String(text, dst, 100);
    return dst;
}

char *XStr_FromInteger(int value, char *dst)
{
    return XStr_FromIntegerRadixEx(value, dst, 10);
}

int XStr_IsAnsiEnglish(unsigned char c)
{
    return (c >= 65 && c <= 90) || (c >= 97 && c <= 122);
}

int XStr_IsAnsiRussian(unsigned char c)
{
    return c >= 192 || c == 168 || c == 184;
}

int XStr_IsDigit(unsigned char c)
{
    return c >= 48 && c <= 57;
}

int XStr_IsUnicodeEnglish(unsigned int u)
{
    u &= 0xFFFF;
    return (u >= 0x41 && u <= 0x5A) || (u >= 0x61 && u <= 0x7A);
}

int XStr_IsUnicodeRussian(unsigned int u)
{
    u &= 0xFFFF;
    return (u >= 0x0410 && u <= 0x044F) || u == 0x0401 || u == 0x0451;
}

int XStr_IsDigitW(unsigned int u)
{
    u &= 0xFFFF;
    return u >= 0x30 && u <= 0x39;
}
