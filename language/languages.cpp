// languages.cpp - the table of keyboard languages and the lookup of a stored
// language name.
//
// The values are those the language script was written for; several differ
// from the usual locale data (Croatian 1060, French Belgian and Slovenian
// 1033 with OEM 437, Slovenian with the Croatian layout "cr", the Czech row
// naming a Cyrillic face, the Turkish row called "Turkey") and are used as
// they stand.
#include "language/languages.h"

#include "support/xstr.h"

const WCHAR g_szUnknownLanguage[] = TEXT("UNKNOWN");

// Display name; @1 LCID, @2 ANSI code page, @3 OEM code page, @4 layout,
// @5 second layout, @6 font face.
const LANGUAGEROW g_LanguageTable[LANGUAGE_COUNT] = {
    {TEXT("Albanian"), {"1052", "1250", "852", "al", "", ""}},
    {TEXT("Belarusian"), {"1059", "1251", "866", "blr", "", ""}},
    {TEXT("Bulgarian"), {"1026", "1251", "866", "bu", "", ""}},
    {TEXT("Croatian"), {"1060", "1250", "852", "cr", "", ""}},
    {TEXT("Czech"), {"1029", "1250", "852", "cz", "", "Times New Roman Cyr"}},
    {TEXT("Danish"), {"1030", "1252", "850", "da", "", ""}},
    {TEXT("Dutch Belgian"), {"2060", "1252", "850", "be", "", ""}},
    {TEXT("Dutch Standard"), {"1043", "1252", "850", "ne", "", ""}},
    {TEXT("English Canadian"), {"4105", "1252", "850", "ca", "", ""}},
    {TEXT("English Irish"), {"6153", "1252", "850", "ir", "", ""}},
    {TEXT("English United Kingdom"), {"2057", "1252", "850", "uk", "", ""}},
    {TEXT("Estonian"), {"1061", "1257", "775", "est", "", "Times New Roman Baltic"}},
    {TEXT("Finnish"), {"1035", "1252", "850", "fi", "", ""}},
    {TEXT("French Belgian"), {"1033", "1252", "437", "be", "", ""}},
    {TEXT("French Canadian"), {"3084", "1252", "850", "fc", "", ""}},
    {TEXT("French Standard"), {"1036", "1252", "850", "fr", "", ""}},
    {TEXT("French Swiss"), {"4108", "1252", "850", "sf", "", ""}},
    {TEXT("German Standard"), {"1031", "1252", "850", "gr", "", ""}},
    {TEXT("German Swiss"), {"2055", "1252", "850", "sg", "", ""}},
    {TEXT("Greek"), {"1032", "1253", "737", "he", "", "Times New Roman Greek"}},
    {TEXT("Hungarian"), {"1038", "1250", "852", "hu", "", ""}},
    {TEXT("Icelandic"), {"1039", "1252", "850", "ic", "", ""}},
    {TEXT("Italian Standard"), {"1040", "1252", "850", "it", "", ""}},
    {TEXT("Latvian"), {"1062", "1257", "775", "lv", "", "Times New Roman Baltic"}},
    {TEXT("Lithuanian"), {"1063", "1257", "775", "lt", "", "Times New Roman Baltic"}},
    {TEXT("Norwegian Bokmal"), {"1044", "1252", "850", "no", "", ""}},
    {TEXT("Polish"), {"1045", "1250", "852", "pl", "", ""}},
    {TEXT("Portuguese Brazilian"), {"1046", "1252", "850", "br", "", ""}},
    {TEXT("Portuguese Standard"), {"2070", "1252", "850", "po", "", ""}},
    {TEXT("Romanian"), {"1048", "1250", "852", "ro", "", ""}},
    {TEXT("Russian"), {"1049", "1251", "866", "ru", "", "Times New Roman Cyr"}},
    {TEXT("Serbian Cyrillic"), {"3098", "1251", "855", "cc", "", ""}},
    {TEXT("Serbian Latin"), {"2074", "1250", "852", "cl", "", ""}},
    {TEXT("Slovak"), {"1051", "1250", "852", "sl", "", ""}},
    {TEXT("Slovenian"), {"1033", "1252", "437", "cr", "", ""}},
    {TEXT("Spanish"), {"1034", "1252", "850", "sp", "", ""}},
    {TEXT("Swedish"), {"1053", "1252", "850", "sw", "", ""}},
    {TEXT("Turkey"), {"1055", "1254", "857", "tuq", "tuf", "Times New Roman Turkish"}},
    {TEXT("Ukrainian"), {"1058", "1251", "866", "ur", "", "Times New Roman Cyr"}},
};

BOOL IsUnknownLanguage(const WCHAR *pszName)
{
    if (!pszName)
        return TRUE;
    return XStr_ICompareW(pszName, g_szUnknownLanguage) == 0;
}

int FindLanguageRow(const WCHAR *pszName, LANGUAGEROW *pRow)
{
    if (IsUnknownLanguage(pszName))
        return -1;
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        if (XStr_ICompareW(pszName, g_LanguageTable[i].pszName) == 0) {
            if (pRow)
                *pRow = g_LanguageTable[i];
            return i;
        }
    }
    return -1;
}
