// xstr_convert.cpp - byte strings to UTF-16 and back, and the formatter.
//
// Byte strings are read as Western text unless the Cyrillic switch is on;
// the way back writes Cyrillic letters as Windows-1251 bytes and Western
// typographic quotes and the OE ligatures as Windows-1252 bytes, whatever
// the switch. All four conversions follow one capacity rule: at most
// capacity - 1 units are written and the result is always terminated;
// capacity 0 writes nothing.
#include <windows.h>

#include <stdint.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/xstr.h"

// The Cyrillic switch: off = Western, on = Cyrillic (Windows-1251).
static int s_xstr_Cyrillic = 0;

// One byte of Windows-1251 outside the letter block, and its code point.
struct XStrCyrPair {
    unsigned char byte;
    WCHAR unit;
};

static const XStrCyrPair s_xstr_Cyrillic1251[] = {
    {168, 0x0401}, {184, 0x0451}, {165, 0x0490}, {180, 0x0491}, {178, 0x0406},
    {179, 0x0456}, {175, 0x0407}, {191, 0x0457}, {170, 0x0404}, {186, 0x0454},
};

static const XStrCyrPair s_xstr_Common[] = {
    {145, 0x2018}, {146, 0x2019}, {147, 0x201C}, {148, 0x201D}, {140, 0x0152}, {156, 0x0153},
};

#define XSTR_COUNT(a) ((int)(sizeof(a) / sizeof((a)[0])))

static WCHAR xstr_ByteToUnit(unsigned char b)
{
    if (b >= 145 && b <= 148)
        return s_xstr_Common[b - 145].unit;
    if (!s_xstr_Cyrillic) {
        if (b == 140)
            return 0x0152;
        if (b == 156)
            return 0x0153;
        return b;
    }
    if (b >= 192)
        return (WCHAR)(b + 848);
    for (int i = 0; i < XSTR_COUNT(s_xstr_Cyrillic1251); ++i)
        if (s_xstr_Cyrillic1251[i].byte == b)
            return s_xstr_Cyrillic1251[i].unit;
    return b;
}

static unsigned char xstr_UnitToByte(WCHAR u)
{
    if (u >= 0x0410 && u <= 0x044F)
        return (unsigned char)(u - 848);
    for (int i = 0; i < XSTR_COUNT(s_xstr_Cyrillic1251); ++i)
        if (s_xstr_Cyrillic1251[i].unit == u)
            return s_xstr_Cyrillic1251[i].byte;
    for (int i = 0; i < XSTR_COUNT(s_xstr_Common); ++i)
        if (s_xstr_Common[i].unit == u)
            return s_xstr_Common[i].byte;
    if (u >= 0xFFF0)
        return 0;
    return (unsigned char)(u & 0xFF);
}

// Converts from position pos on; the capacity rule of the whole family.
static void xstr_ToUnits(const char *src, WCHAR *dst, int capacity, int pos)
{
    if (src && pos < capacity) {
        size_t n = strnlen(src, (size_t)(capacity - pos)), i = 0;
        WCHAR *to = dst + pos;
        // Bytes below 128 are the same unit in every mode: sixteen of them
        // at a time while they last (names and paths are mostly ASCII).
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            __m128i v = _mm_loadu_si128((const __m128i *)(src + i));
            if (_mm_movemask_epi8(v) != 0)
                break;
            _mm_storeu_si128((__m128i *)(to + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128((__m128i *)(to + i + 8), _mm_unpackhi_epi8(v, zero));
        }
#endif
        for (; i + 4 <= n; i += 4) {
            uint32_t v;
            memcpy(&v, src + i, 4);
            if (v & 0x80808080u)
                break;
            to[i] = (WCHAR)(unsigned char)src[i];
            to[i + 1] = (WCHAR)(unsigned char)src[i + 1];
            to[i + 2] = (WCHAR)(unsigned char)src[i + 2];
            to[i + 3] = (WCHAR)(unsigned char)src[i + 3];
        }
        for (; i < n; ++i) {
            unsigned char b = (unsigned char)src[i];
            to[i] = b < 0x80 ? (WCHAR)b : xstr_ByteToUnit(b);
        }
        pos += (int)n;
    }
    if (pos < capacity)
        dst[pos] = 0;
    else
        dst[capacity - 1] = 0;
}

static void xstr_ToBytes(const WCHAR *src, char *dst, int capacity, int pos)
{
    if (src) {
        for (; *src && pos < capacity; ++src) {
            unsigned char b = xstr_UnitToByte(*src);
            dst[pos++] = (char)b;
            // A unit that becomes byte 0 ends the byte string there.
            if (!b)
                return;
        }
    }
    if (pos < capacity)
        dst[pos] = 0;
    else
        dst[capacity - 1] = 0;
}

WCHAR *XStr_String2TString(const char *src, WCHAR *dst, int capacity)
{
    if (!dst || capacity <= 0)
        return dst;
    xstr_ToUnits(src, dst, capacity, 0);
    return dst;
}

// Appends after the string already in dst (its end looked for within the
// capacity only).
WCHAR *XStr_String2TStringCat(const char *src, WCHAR *dst, int capacity)
{
    if (!dst || capacity <= 0)
        return dst;
    int pos = 0;
    while (pos < capacity && dst[pos])
        ++pos;
    xstr_ToUnits(src, dst, capacity, pos);
    return dst;
}

char *XStr_TString2String(const WCHAR *src, char *dst, int capacity)
{
    if (!dst || capacity <= 0)
        return dst;
    xstr_ToBytes(src, dst, capacity, 0);
    return dst;
}

char *XStr_TString2StringCat(const WCHAR *src, char *dst, int capacity)
{
    if (!dst || capacity <= 0)
        return dst;
    int pos = 0;
    while (pos < capacity && dst[pos])
        ++pos;
    xstr_ToBytes(src, dst, capacity, pos);
    return dst;
}

void XStr_SetUnicodeMode(int flag)
{
    s_xstr_Cyrillic = flag;
}

// wvsprintfW over the arguments; the platform's formatter never writes more
// than 1024 units.
int XStr_FormatStringT(WCHAR *dst, const WCHAR *format, ...)
{
    if (!dst || !format)
        return 0;
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfW(dst, format, ap);
    va_end(ap);
    return n;
}
