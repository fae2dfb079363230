// xstr_token.cpp - the command-line splitter, the blank- and comma-delimited
// field readers, trimming and in-place replacement.
//
// Everything works in place on a caller-owned byte string; tokens are
// pointers into it. Blank means space or tab.
#include <windows.h>

#include <string.h>

#include "support/xstr.h"

static int xstr_IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

static int xstr_IsQuote(char c)
{
    return c == '"' || c == '\'';
}

// Splits the line into tokens in place: blank-separated plain tokens and
// quoted tokens ("..." or '...'), with \" and \' as escaped quotes. Returns
// 0 when the line holds more tokens than the capacity; the tokens stored
// so far stay valid and the count is stored either way.
int XStr_ParseCmdLine(char *line, char **tokens, int capacity, int *count, int firstTokenTitle)
{
    int n = 0;
    int result = 1;
    if (!line || (!tokens && capacity > 0)) {
        if (count)
            *count = 0;
        return 0;
    }
    char *p = line;
    while (*p) {
        if (xstr_IsBlank(*p)) {
            ++p;
            continue;
        }
        char d1, d2;
        if (xstr_IsQuote(*p)) {
            d1 = d2 = *p;
            ++p;
        } else {
            d1 = ' ';
            d2 = '\t';
        }
        if (n >= capacity) {
            result = 0;
            break;
        }
        tokens[n++] = p;

        int lineEnded = 0;
        for (;;) {
            // The token's ordinary bytes go by in a tight loop; only the
            // end, a backslash and a delimiter need a closer look.
            char c = *p;
            while (c != 0 && c != '\\' && c != d1 && c != d2)
                c = *++p;
            if (!c) {
                lineEnded = 1;
                break;
            }
            if (c == '\\' && xstr_IsQuote(p[1])) {
                // The escaped quote is an ordinary byte; the byte after it
                // is only checked for being a delimiter.
                XStr_EatChar(p);
                ++p;
                if (!*p) {
                    lineEnded = 1;
                    break;
                }
                if (*p == d1 || *p == d2) {
                    *p = 0;
                    break;
                }
                ++p;
                continue;
            }
            if (*p == d1 || *p == d2) {
                *p = 0;
                break;
            }
            ++p;
        }
        if (lineEnded)
            break;
        ++p; // past the written terminator
    }
    if (firstTokenTitle && n > 0)
        XStr_Copy(tokens[0], XStr_GetFileTitlePtr(tokens[0]));
    if (count)
        *count = n;
    return result;
}

char *XStr_SkipBlankDelimEx(const char *p, int *skipped)
{
    int n = 0;
    if (!p) {
        if (skipped)
            *skipped = 0;
        return 0;
    }
    while (xstr_IsBlank(p[n]))
        ++n;
    if (skipped)
        *skipped = n;
    return (char *)(p + n);
}

char *XStr_SkipBlankDelim(const char *p)
{
    return XStr_SkipBlankDelimEx(p, 0);
}

char *XStr_FindBlankDelim(const char *p)
{
    if (!p)
        return 0;
    for (; *p; ++p)
        if (xstr_IsBlank(*p))
            return (char *)p;
    return 0;
}

char *XStr_FindCommaDelim(const char *p)
{
    if (!p)
        return 0;
    return XStr_FindChar(p, ',');
}

// Copies a field of len bytes when a destination is given; the field and
// its terminator must fit with a byte to spare.
static int xstr_TakeField(const char *start, int len, char *dst, int size)
{
    if (!dst)
        return 1;
    if (len + 1 >= size)
        return 0;
    for (int i = 0; i < len; ++i)
        dst[i] = start[i];
    dst[len] = 0;
    return 1;
}

// The next blank-delimited field; the cursor moves to the blank after it,
// or to null when the field ran to the end.
int XStr_GetBlankDelimeteredSubstring(char **cursor, char *dst, int size)
{
    if (!cursor || !*cursor)
        return 0;
    char *start = XStr_SkipBlankDelim(*cursor);
    char *end = start;
    while (*end && !xstr_IsBlank(*end))
        ++end;
    if (!xstr_TakeField(start, (int)(end - start), dst, size))
        return 0;
    *cursor = *end ? end : 0;
    return 1;
}

char *XStr_GetBlankDelimeteredSubstringPtr(char **cursor)
{
    if (!cursor || !*cursor)
        return 0;
    char *start = XStr_SkipBlankDelim(*cursor);
    *cursor = XStr_FindBlankDelim(start);
    return start;
}

// The next comma-delimited field, blanks included; the cursor moves past
// the comma, or to null after the last field.
int XStr_GetCommaDelimeteredSubstring(char **cursor, char *dst, int size)
{
    if (!cursor || !*cursor)
        return 0;
    char *start = *cursor;
    char *comma = XStr_FindCommaDelim(start);
    int len = comma ? (int)(comma - start) : XStr_Length(start);
    if (!xstr_TakeField(start, len, dst, size))
        return 0;
    *cursor = comma ? comma + 1 : 0;
    return 1;
}

int XStr_TrimStringEx(char *s, int *removed)
{
    if (removed)
        *removed = 0;
    if (!s)
        return 0;
    int len = XStr_Length(s);
    int end = len;
    while (end > 0 && xstr_IsBlank(s[end - 1]))
        --end;
    s[end] = 0;
    if (removed)
        *removed = len - end;
    return end;
}

int XStr_TrimString(char *s)
{
    return XStr_TrimStringEx(s, 0);
}

int XStr_StripStringEx(char *s, int *leading, int *trailing)
{
    int lead = 0;
    if (leading)
        *leading = 0;
    if (trailing)
        *trailing = 0;
    if (!s)
        return 0;
    XStr_SkipBlankDelimEx(s, &lead);
    if (lead)
        XStr_Copy(s, s + lead);
    if (leading)
        *leading = lead;
    return XStr_TrimStringEx(s, trailing);
}

int XStr_StripString(char *s)
{
    return XStr_StripStringEx(s, 0, 0);
}

// Removes every CR and LF anywhere in the string.
int XStr_StripStringCRLFs(char *s)
{
    if (!s)
        return 0;
    // Most lines hold one line end, at their end, or none.
    const char *first = strpbrk(s, "\r\n");
    if (!first)
        return (int)strlen(s);
    int w = (int)(first - s);
    for (int r = w; s[r]; ++r)
        if (s[r] != '\r' && s[r] != '\n')
            s[w++] = s[r];
    s[w] = 0;
    return w;
}

int XStr_BlankStringChars(char *s, const char *set)
{
    if (!s)
        return 0;
    int n = 0;
    for (; s[n]; ++n)
        if (set && XStr_FindChar(set, s[n]))
            s[n] = ' ';
    return n;
}

// Replaces the bytes first..last (both inclusive) of the string in buffer
// by the replacement. Fails, changing nothing, when the result and its
// terminator would not fit in size bytes or when first..last does not lie
// within the string.
int XStr_ReplaceSubstring(char *buffer, int size, char *first, char *last, const char *replacement)
{
    if (!buffer || !first || !last || !replacement || size <= 0)
        return 0;
    int len = 0;
    while (len < size && buffer[len])
        ++len;
    if (len >= size)
        return 0; // not a terminated string of this buffer
    if (first < buffer || last < first - 1 || last >= buffer + len)
        return 0;
    int before = (int)(first - buffer);
    int after = len - (int)(last + 1 - buffer);
    int r = XStr_Length(replacement);
    if ((long long)before + r + after >= size)
        return 0;
    // A replacement taken from the buffer itself would move under us:
    // work from a copy then.
    char *copy = 0;
    if (replacement >= buffer && replacement < buffer + size) {
        copy = XStr_Duplicate(replacement);
        if (!copy)
            return 0;
        replacement = copy;
    }
    char *tail = last + 1;
    char *to = buffer + before + r;
    if (to > tail) {
        for (int i = after; i >= 0; --i)
            to[i] = tail[i];
    } else if (to < tail) {
        for (int i = 0; i <= after; ++i)
            to[i] = tail[i];
    }
    for (int i = 0; i < r; ++i)
        buffer[before + i] = replacement[i];
    XStr_Free(&copy);
    return 1;
}
