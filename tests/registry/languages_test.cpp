// languages_test.cpp - the keyboard language table and the lookup of a
// stored language name.
#include <windows.h>

#include <string>

#include "helpers/testdevice.h"
#include "language/languages.h"

namespace {

std::string Name(int i)
{
    return cetest::U8(g_LanguageTable[i].pszName);
}

// Every row is well formed, in display order, and found by its own name in
// capitals (so no two names are the same, case ignored).
TEST(Languages, ThirtyNineRowsInDisplayOrder)
{
    ASSERT_EQ(LANGUAGE_COUNT, 39);
    EXPECT_EQ(Name(0), "Albanian");
    EXPECT_EQ(Name(38), "Ukrainian");
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        for (int p = 0; p < LANGUAGE_PARAM_COUNT; ++p)
            ASSERT_NE(g_LanguageTable[i].apszParam[p], nullptr) << Name(i) << ": an empty field is \"\"";
        if (i > 0) {
            EXPECT_LT(Name(i - 1), Name(i)) << "the list is in alphabetical display order";
        }
        std::u16string upper = g_LanguageTable[i].pszName;
        for (auto &c : upper)
            c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        EXPECT_EQ(FindLanguageRow(upper.c_str(), nullptr), i) << Name(i) << " finds its own row first";
    }
}

TEST(Languages, ListedRowsIncludingTheOddOnes)
{
    struct Row {
        int index;
        const char *name, *params[LANGUAGE_PARAM_COUNT];
    } rows[] = {
        {6, "Dutch Belgian", {"2060", "1252", "850", "be", "", ""}},
        {13, "French Belgian", {"1033", "1252", "437", "be", "", ""}},
        {19, "Greek", {"1032", "1253", "737", "he", "", "Times New Roman Greek"}},
        {31, "Serbian Cyrillic", {"3098", "1251", "855", "cc", "", ""}},
        {34, "Slovenian", {"1033", "1252", "437", "cr", "", ""}},
        {37, "Turkey", {"1055", "1254", "857", "tuq", "tuf", "Times New Roman Turkish"}},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(Name(r.index), r.name) << "row " << r.index;
        for (int p = 0; p < LANGUAGE_PARAM_COUNT; ++p)
            EXPECT_STREQ(g_LanguageTable[r.index].apszParam[p], r.params[p]) << r.name << " @" << p + 1;
    }
}

TEST(Languages, LookupByName)
{
    LANGUAGEROW row = {u"untouched", {"a", "b", "c", "d", "e", "f"}};
    EXPECT_EQ(FindLanguageRow(u"Russian ", &row), -1);
    EXPECT_EQ(FindLanguageRow(nullptr, &row), -1);
    EXPECT_EQ(cetest::U8(row.pszName), "untouched") << "a failed lookup writes nothing";
    ASSERT_EQ(FindLanguageRow(u"tUrKeY", &row), 37) << "case is ignored";
    EXPECT_EQ(row.pszName, g_LanguageTable[37].pszName);
    for (int p = 0; p < LANGUAGE_PARAM_COUNT; ++p)
        EXPECT_STREQ(row.apszParam[p], g_LanguageTable[37].apszParam[p]) << "field " << p;
}

} // namespace
