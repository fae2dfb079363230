// languages.h - the keyboard languages of the Glyphor product: their display
// names and the values that fill the numbered placeholders (@1 to @6) of the
// language script, and the lookup of a stored language name.
#ifndef CESETUP_LANGUAGE_LANGUAGES_H
#define CESETUP_LANGUAGE_LANGUAGES_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LANGUAGE_COUNT 39
#define LANGUAGE_PARAM_COUNT 6
// Capacity of a language name buffer in UTF-16 units, terminator included.
#define LANGUAGE_NAME_CCH 64

// One language row. apszParam[n - 1] is the value of placeholder @n:
// @1 LCID, @2 ANSI code page, @3 OEM code page, @4 keyboard layout code,
// @5 second keyboard layout code, @6 font face name. An empty field is an
// empty string, never a null pointer. A row is copied whole by assignment.
typedef struct tagLANGUAGEROW {
    const WCHAR *pszName;
    const char *apszParam[LANGUAGE_PARAM_COUNT];
} LANGUAGEROW;

// The 39 rows in display order (the language list is filled in this order,
// so a list index is a table index).
extern const LANGUAGEROW g_LanguageTable[LANGUAGE_COUNT];

// "UNKNOWN": the language name meaning that no language was chosen.
extern const WCHAR g_szUnknownLanguage[];

// Whether the name is "UNKNOWN" (case ignored) or null.
BOOL IsUnknownLanguage(const WCHAR *pszName);

// Finds the first row whose display name equals pszName (case ignored) and
// copies it into *pRow when given. Returns the row index, or -1 when the
// name is "UNKNOWN" (no row is looked for), null, or not in the table;
// *pRow is then left alone.
int FindLanguageRow(const WCHAR *pszName, LANGUAGEROW *pRow);

#ifdef __cplusplus
}
#endif

#endif
