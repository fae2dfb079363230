// xstr_basic_test.cpp - byte-string primitives: copies, joins, comparisons
// (the case-insensitive one under allocation failures), searches, stepping
// and substrings, and their UTF-16 counterparts.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "internal/faults.h"
#include "support/xstr.h"

namespace {

int Sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

TEST(XStrCopy, CopiesJoinsAndBounds)
{
    char buf[16] = "xxabcdef";
    XStr_Copy(buf, buf + 2);
    EXPECT_STREQ(buf, "abcdef") << "overlapping copy to the left";

    memset(buf, '#', sizeof buf);
    EXPECT_EQ(XStr_NCopy(buf, "ab", 5), 1);
    EXPECT_EQ(std::string(buf, 6), std::string("ab\0\0\0#", 6)) << "padded with zeros, nothing past n";
    memset(buf, '#', sizeof buf);
    XStr_NCopy(buf, "abcdef", 3);
    EXPECT_EQ(std::string(buf, 4), "abc#") << "no terminator when the source is n bytes or longer";

    struct Row {
        const char *src;
        int n;
        const char *expected;
    } rows[] = {{"abcdef", 4, "abc"}, {"abc", 4, "abc"}, {"abc", 1, ""}};
    for (const Row &r : rows) {
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(XStr_NCopyExact(buf, r.src, r.n), 1) << r.src << " n=" << r.n;
        EXPECT_STREQ(buf, r.expected) << r.src << " n=" << r.n;
        EXPECT_EQ(buf[r.n], '#') << "nothing written at or past n for " << r.src;
    }
    char small[4] = "zz";
    EXPECT_EQ(XStr_NCopyExact(small + 1, "abc", 0), 0) << "n below 1 would write before the buffer";
    EXPECT_STREQ(small, "zz") << "bytes around the destination untouched";

    char join[32] = "ab";
    EXPECT_EQ(XStr_Join(join, "cd"), 1);
    EXPECT_EQ(XStr_NJoin(join, "efgh", 2), 1);
    EXPECT_STREQ(join, "abcdef") << "at most n bytes appended, terminated";
    EXPECT_EQ(XStr_Length("abc"), 3);
    EXPECT_EQ(XStr_Size("abc\xff"), 4);
    EXPECT_EQ(XStr_CharSize(0x81), 1) << "no double-byte characters";
}

TEST(XStrCompare, ByteWiseBoundedAndCaseInsensitive)
{
    struct Row {
        const char *a, *b;
        int sign;
    } rows[] = {
        {"abc", "abc", 0}, {"abc", "abd", -1}, {"abc", "ab", 1}, {"\xe0", "a", 1}, {"ABC", "abc", -1},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Sign(XStr_Compare(r.a, r.b)), r.sign) << r.a << " vs " << r.b << " (unsigned bytes)";
    EXPECT_EQ(XStr_NCompare("abcx", "abcy", 3), 0);
    EXPECT_LT(XStr_NCompare("abcx", "abcy", 4), 0);
    EXPECT_EQ(XStr_NCompare2("abcdef", "abc"), 0) << "a starts with b";
    EXPECT_NE(XStr_NCompare2("abc", "abcdef"), 0) << "b longer than a";
    EXPECT_EQ(XStr_NCompare2("abc", ""), 0) << "every string starts with the empty one";

    struct IRow {
        const char *a, *b;
        bool equal;
    } irows[] = {
        {"ABC", "abc", true},
        {"\xc0", "\xe0", false}, // Cyrillic capital and small A stay apart
        {"abc", "abd", false},
        {"[", "{", false}, // 91 and 123 are not letters
    };
    for (const IRow &r : irows)
        EXPECT_EQ(XStr_ICompare(r.a, r.b) == 0, r.equal) << r.a << " vs " << r.b;
    EXPECT_LT(XStr_ICompare("a", "B"), 0) << "order of the folded bytes";
    EXPECT_EQ(XStr_NICompare("ABCx", "abcY", 3), 0);
    EXPECT_NE(XStr_NICompare("ABCx", "abcY", 4), 0);
    char mixed[] = "MiXeD";
    EXPECT_EQ(XStr_ICompare(mixed, "mixed"), 0);
    EXPECT_STREQ(mixed, "MiXeD") << "the comparison works on copies";
    char lower[] = "AZaz@[`{\xc0\xc9\xde 09";
    XStr_ToLower(lower);
    EXPECT_STREQ(lower, "azaz@[`{\xc0\xc9\xde 09") << "only capital ASCII letters";
}

TEST(XStrCompare, AllocationFailureGivesMinusOne)
{
    // Equal strings would give 0: the -1 is the allocation failure.
    for (int n = 1; n <= 2; ++n) {
        plat::FaultArm(plat::FaultKind::Alloc, n);
        EXPECT_EQ(XStr_ICompare("ABC", "abc"), -1) << "allocation " << n << " fails";
        EXPECT_TRUE(plat::FaultFired(plat::FaultKind::Alloc)) << "allocation " << n << " was made";
        plat::FaultArm(plat::FaultKind::Alloc, n);
        EXPECT_EQ(XStr_NICompare("ABCd", "abcE", 3), -1) << "bounded form, allocation " << n;
    }
    plat::FaultArm(plat::FaultKind::Alloc, 3);
    EXPECT_EQ(XStr_ICompare("ABC", "abc"), 0) << "two allocations are enough";
    EXPECT_FALSE(plat::FaultFired(plat::FaultKind::Alloc));

    plat::FaultArm(plat::FaultKind::Alloc, 1);
    EXPECT_EQ(XStr_Duplicate("x"), nullptr) << "duplicate without memory";
    plat::FaultArm(plat::FaultKind::Alloc, 0);
    char *d = XStr_Duplicate("hello");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d, "hello");
    EXPECT_GE(LocalSize(d), 15u) << "length + 10 bytes allocated";
    XStr_Free(&d);
    EXPECT_EQ(d, nullptr) << "XStr_Free clears the pointer";
    XStr_Free(&d);
    XStr_Free(nullptr);
}

TEST(XStrFind, CharactersAndSubstrings)
{
    const char *s = "a\\b\\c";
    EXPECT_EQ(XStr_FindChar(s, '\\'), s + 1);
    EXPECT_EQ(XStr_FindCharRev(s, '\\'), s + 3);
    EXPECT_EQ(XStr_FindChar(s, 'z'), nullptr);
    EXPECT_EQ(XStr_FindChar(s, 0), s + 5) << "0 finds the terminator";
    EXPECT_EQ(XStr_FindCharRev(s, 0), s + 5) << "0 finds the terminator";
    EXPECT_EQ(XStr_FindChars(s, "cb"), s + 2);
    EXPECT_EQ(XStr_FindCharsRev(s, "ab"), s + 2);
    EXPECT_EQ(XStr_FindChars(s, "xyz"), nullptr);
    EXPECT_EQ(XStr_FindCharsRev(s, ""), nullptr);
    const char *h = "x\xe9y";
    EXPECT_EQ(XStr_FindChar(h, 0xe9), h + 1) << "bytes above 127 are found";

    const char *aa = "aa", *sp = "  ab  ", *e = "";
    EXPECT_EQ(XStr_FindNotChar(aa, 'a'), aa + 2) << "only a: the terminator";
    EXPECT_EQ(XStr_FindNotCharRev(aa, 'a'), nullptr) << "nothing that is not a";
    EXPECT_EQ(XStr_FindNotChar(sp, ' '), sp + 2);
    EXPECT_EQ(XStr_FindNotCharRev(sp, ' '), sp + 3);
    EXPECT_EQ(XStr_FindNotCharRev(e, 'a'), nullptr);

    const char *t = "one two one";
    EXPECT_EQ(XStr_FindString(t, "e two o"), t + 2);
    EXPECT_EQ(XStr_FindString(t, "three"), nullptr);
    EXPECT_EQ(XStr_FindString("ab", "abc"), nullptr) << "pattern longer than the text";
}

TEST(XStrStep, NextPrevNthFirstLastEnd)
{
    char s[] = "abc";
    EXPECT_EQ(XStr_GetNextChar(s), s + 1);
    EXPECT_EQ(XStr_GetNextChar(s + 3), s + 4) << "the terminator is not looked at";
    char *p = s;
    EXPECT_EQ(XStr_GetNextCharEx(&p), 1);
    EXPECT_EQ(p, s + 1);
    char *np = nullptr;
    EXPECT_EQ(XStr_GetNextCharEx(&np), 0);
    EXPECT_EQ(XStr_GetPrevChar(s, s + 2), s + 1);
    EXPECT_EQ(XStr_GetPrevChar(s, s), nullptr) << "at start";
    EXPECT_EQ(XStr_GetNthChar(s, 2), s + 2);
    p = s;
    XStr_GetNthCharEx(&p, 3);
    EXPECT_EQ(p, s + 3);

    char h[] = "a\xe9";
    EXPECT_EQ(XStr_GetFirstChar(h + 1), 0xe9u) << "unsigned byte value";
    EXPECT_EQ(XStr_IsFirstChar(h, 'a'), 1);
    EXPECT_EQ(XStr_IsFirstChar(h, 'b'), 0);
    EXPECT_EQ(XStr_IsEmptyString(h + 2), 1);
    EXPECT_EQ(XStr_AreEqualChars('x', 'X'), 0);
    EXPECT_EQ(XStr_GetEndOfString(h), h + 2);
    EXPECT_EQ(XStr_GetLastChar(h), h + 1);
    EXPECT_EQ(XStr_GetLastChar(""), nullptr) << "empty string has no last byte";

    EXPECT_EQ(XStr_SetEndOfString(s + 1), s + 2);
    EXPECT_STREQ(s, "a");
    EXPECT_EQ(XStr_SetEndOfString(s + 1), s + 1) << "already at the terminator: nothing written";
    char q[] = "ab\\\"c";
    XStr_EatChar(q + 2);
    EXPECT_STREQ(q, "ab\"c") << "the rest shifted left";
    XStr_EatChar(q + 4); // at the terminator: nothing
    EXPECT_STREQ(q, "ab\"c");
}

TEST(XStrSubstring, LengthsCopiesAndLists)
{
    // A roomy buffer, so that "beyond the terminator" still points inside it.
    const char s[128] = "abc\\def";
    EXPECT_EQ(XStr_SubstringLength(s, s + 3), 3);
    EXPECT_EQ(XStr_SubstringLength(s, s + 100), 7) << "to beyond the terminator";
    EXPECT_EQ(XStr_SubstringLength("", "x"), 0) << "empty from";
    EXPECT_EQ(XStr_SubstringLengthIdx(s, 4, 50), 3);
    char buf[16];
    EXPECT_EQ(XStr_CopySubstring(buf, s, XStr_FindChar(s, '\\')), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(XStr_CopySubstringIdx(buf, s, 4, 6), 1);
    EXPECT_STREQ(buf, "de");
    EXPECT_EQ(XStr_CopySubstring(buf, s + 4, s + 40), 1);
    EXPECT_STREQ(buf, "def") << "up to the end";

    const char list[] = "ab\0cd\0";
    EXPECT_EQ(XStr_GetNextStringPtr(list), list + 3);
    EXPECT_EQ(XStr_GetNextStringPtr(list + 3), nullptr) << "cd is the last";
    char many[] = "x\0yy\0zzz\0";
    char *p = many;
    int n = 1;
    while (XStr_GetNextStringPtrEx(&p))
        ++n;
    EXPECT_EQ(n, 3) << "three strings in the list";
    EXPECT_EQ(p, nullptr);
}

TEST(XStrWide, CopyJoinCompareFindStep)
{
    WCHAR buf[32];
    EXPECT_EQ(XStr_CopyW(buf, u"ab"), buf);
    EXPECT_EQ(XStr_JoinW(buf, u"\u0416d"), buf);
    EXPECT_EQ(std::u16string(buf), u"ab\u0416d");
    EXPECT_EQ(XStr_LengthW(buf), 4);
    WCHAR nb[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    XStr_NCopyW(nb, u"xy", 4);
    EXPECT_EQ(std::u16string(nb, 5), std::u16string(u"xy\0\0#", 5)) << "padded, nothing past n";
    EXPECT_LT(XStr_CompareW(u"abc", u"abd"), 0);
    EXPECT_GT(XStr_CompareW(u"\u0430", u"z"), 0) << "unit order";
    EXPECT_EQ(XStr_NCompareW(u"abcX", u"abcY", 3), 0);
    EXPECT_NE(XStr_NCompareW(u"abcX", u"abcY", 4), 0);
    EXPECT_EQ(XStr_ICompareW(u"\u0416\u00c9", u"\u0436\u00e9"), 0)
        << "Cyrillic and Latin-1 letters fold, unlike XStr_ICompare";
    EXPECT_NE(XStr_ICompareW(u"abc", u"abd"), 0);

    const WCHAR *s = u"a\\b\\c";
    EXPECT_EQ(XStr_FindCharW(s, u'\\'), s + 1);
    EXPECT_EQ(XStr_FindCharRevW(s, u'\\'), s + 3);
    EXPECT_EQ(XStr_FindCharRevW(s, u'z'), nullptr);
    EXPECT_EQ(XStr_GetNextCharW(s), s + 1);
}

TEST(XStrNulls, NullArgumentsDoNotCrash)
{
    char buf[8] = "keep";
    XStr_Copy(buf, nullptr);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(XStr_Length(nullptr), 0);
    EXPECT_EQ(XStr_FindString(nullptr, "a"), nullptr);
    EXPECT_EQ(XStr_Duplicate(nullptr), nullptr);
    EXPECT_EQ(XStr_GetLastChar(nullptr), nullptr);
    EXPECT_EQ(XStr_ICompare(nullptr, "a"), -1);
}

} // namespace
