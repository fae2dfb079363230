// xstr.h - byte strings and their UTF-16 counterparts, conversions between
// the two text forms, numbers, tokens, fields, trimming and path names.
//
// Byte strings are zero-terminated single-byte strings held in caller-owned
// buffers; a position in a string is a pointer into it (except in the Idx
// and Nth forms). Functions that succeed or fail return 1 or 0; lengths are
// counts of bytes (UTF-16 units for the W forms) without the terminator.
// Only XStr_Duplicate allocates. Path buffers hold MAX_PATH (260) bytes.
#ifndef CESETUP_SUPPORT_XSTR_H
#define CESETUP_SUPPORT_XSTR_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- byte strings
void XStr_Copy(char *dst, const char *src);
int XStr_NCopy(char *dst, const char *src, int n);
int XStr_NCopyExact(char *dst, const char *src, int n);
int XStr_Join(char *dst, const char *src);
int XStr_NJoin(char *dst, const char *src, int n);
int XStr_Length(const char *s);
int XStr_Size(const char *s);
int XStr_CharSize(unsigned char c);
int XStr_Compare(const char *a, const char *b);
int XStr_NCompare(const char *a, const char *b, int n);
int XStr_NCompare2(const char *a, const char *b);
int XStr_ICompare(const char *a, const char *b);
int XStr_NICompare(const char *a, const char *b, int n);
void XStr_ToLower(char *s);
char *XStr_Duplicate(const char *s);
void XStr_Free(char **ps);
char *XStr_FindChar(const char *s, int ch);
char *XStr_FindCharRev(const char *s, int ch);
char *XStr_FindChars(const char *s, const char *set);
char *XStr_FindCharsRev(const char *s, const char *set);
char *XStr_FindNotChar(const char *s, int ch);
char *XStr_FindNotCharRev(const char *s, int ch);
char *XStr_FindString(const char *s, const char *sub);
char *XStr_GetNextChar(const char *p);
int XStr_GetNextCharEx(char **pp);
char *XStr_GetPrevChar(const char *start, const char *p);
char *XStr_GetNthChar(const char *s, int n);
void XStr_GetNthCharEx(char **pp, int n);
unsigned int XStr_GetFirstChar(const char *p);
int XStr_IsFirstChar(const char *p, int ch);
int XStr_IsEmptyString(const char *p);
int XStr_AreEqualChars(int a, int b);
char *XStr_GetEndOfString(const char *s);
char *XStr_GetLastChar(const char *s);
char *XStr_SetEndOfString(char *p);
int XStr_SubstringLength(const char *from, const char *to);
int XStr_SubstringLengthIdx(const char *s, int i, int j);
int XStr_CopySubstring(char *dst, const char *from, const char *to);
int XStr_CopySubstringIdx(char *dst, const char *s, int i, int j);
void XStr_EatChar(char *p);
char *XStr_GetNextStringPtr(const char *p);
int XStr_GetNextStringPtrEx(char **pp);

// ---- UTF-16 strings
WCHAR *XStr_CopyW(WCHAR *dst, const WCHAR *src);
WCHAR *XStr_NCopyW(WCHAR *dst, const WCHAR *src, int n);
WCHAR *XStr_JoinW(WCHAR *dst, const WCHAR *src);
int XStr_LengthW(const WCHAR *s);
int XStr_CompareW(const WCHAR *a, const WCHAR *b);
int XStr_NCompareW(const WCHAR *a, const WCHAR *b, int n);
int XStr_ICompareW(const WCHAR *a, const WCHAR *b);
WCHAR *XStr_FindCharW(const WCHAR *s, WCHAR ch);
WCHAR *XStr_FindCharRevW(const WCHAR *s, WCHAR ch);
WCHAR *XStr_GetNextCharW(const WCHAR *p);

// ---- conversions and formatting
// Capacities are in units of the destination; the result holds at most
// capacity - 1 units and is always terminated (capacity 0 writes nothing).
// They return the destination.
WCHAR *XStr_String2TString(const char *src, WCHAR *dst, int capacity);
WCHAR *XStr_String2TStringCat(const char *src, WCHAR *dst, int capacity);
char *XStr_TString2String(const WCHAR *src, char *dst, int capacity);
char *XStr_TString2StringCat(const WCHAR *src, char *dst, int capacity);
void XStr_SetUnicodeMode(int flag);
int XStr_FormatStringT(WCHAR *dst, const WCHAR *format, ...);

// ---- numbers and character classes
int XStr_ToIntegerRadixEx(const char *s, int radix, int *value);
int XStr_ToIntegerEx(const char *s, int *value);
int XStr_ToInteger(const char *s);
int XStr_ToFloatEx(const char *s, double *value);
double XStr_ToFloat(const char *s);
char *XStr_FromIntegerRadixEx(int value, char *dst, int radix);
char *XStr_FromInteger(int value, char *dst);
int XStr_IsAnsiEnglish(unsigned char c);
int XStr_IsAnsiRussian(unsigned char c);
int XStr_IsDigit(unsigned char c);
int XStr_IsUnicodeEnglish(unsigned int u);
int XStr_IsUnicodeRussian(unsigned int u);
int XStr_IsDigitW(unsigned int u);

// ---- tokens, fields and trimming (blank = space or tab)
int XStr_ParseCmdLine(char *line, char **tokens, int capacity, int *count, int firstTokenTitle);
char *XStr_SkipBlankDelimEx(const char *p, int *skipped);
char *XStr_SkipBlankDelim(const char *p);
char *XStr_FindBlankDelim(const char *p);
char *XStr_FindCommaDelim(const char *p);
int XStr_GetBlankDelimeteredSubstring(char **cursor, char *dst, int size);
char *XStr_GetBlankDelimeteredSubstringPtr(char **cursor);
int XStr_GetCommaDelimeteredSubstring(char **cursor, char *dst, int size);
int XStr_TrimStringEx(char *s, int *removed);
int XStr_TrimString(char *s);
int XStr_StripStringEx(char *s, int *leading, int *trailing);
int XStr_StripString(char *s);
int XStr_StripStringCRLFs(char *s);
int XStr_BlankStringChars(char *s, const char *set);
int XStr_ReplaceSubstring(char *buffer, int size, char *first, char *last, const char *replacement);

// ---- file and path names (directory delimiter '\', extension '.')
// Destinations without a size argument hold MAX_PATH bytes; a result that
// would not fit leaves an empty string there.
char *XStr_GetFileTitlePtr(const char *path);
WCHAR *XStr_GetFileTitlePtrW(const WCHAR *path);
int XStr_GetFileTitleOffset(const char *path);
int XStr_GetFileTitle(const char *path, char *dst, int size);
int XStr_GetFileTitleName(const char *path, char *dst, int size);
char *XStr_GetFileExtPtr(const char *path);
int XStr_GetFilePath(const char *path, char *dst, int size);
void XStr_ChangeFileExt(const char *path, const char *ext, char *dst);
void XStr_ChangeFileTitle(const char *path, const char *title, char *dst);
WCHAR *XStr_ChangeFileTitleW(const WCHAR *path, const WCHAR *title, WCHAR *dst);
void XStr_ChangeFilePath(const char *path, const char *folder, char *dst);
int XStr_AddDirDelim(char *path);
int XStr_RemoveTrailingDirDelim(char *path);
int XStr_AddFileExtDelim(char *path);
char *XStr_FileNameToUpper(char *path);
DWORD XFile_BuildFullFileName(const char *name, const char *folder, char *dst);

#ifdef __cplusplus
}
#endif

#endif
