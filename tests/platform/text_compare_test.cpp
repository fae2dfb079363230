// text_compare_test.cpp - the one case folding (_wcsicmp, _wcsnicmp,
// lstrcmpiW, the internal FoldCase), lstrcpynW and CharLowerW/CharUpperW.
#include "file_testutil.h"
#include "text/text.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(CaseFolding, PairsOfEveryRangeAndComparisons)
{
    // Edges of the runs the table must fold: ASCII, Latin-1 around U+00D7,
    // Latin Extended-A, Greek, Cyrillic, fullwidth.
    const char16_t pairs[][2] = {{u'Z', u'z'},     {0x00D6, 0x00F6}, {0x00D8, 0x00F8}, {0x0178, 0x00FF},
                                 {0x0386, 0x03AC}, {0x0400, 0x0450}, {0xFF21, 0xFF41}};
    for (const auto &p : pairs) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << int(p[0]));
        EXPECT_EQ(plat::FoldCase(p[0]), p[1]);
        WCHAR a[2] = {p[0], 0}, b[2] = {p[1], 0};
        EXPECT_EQ(_wcsicmp(a, b), 0);
        EXPECT_EQ(lstrcmpiW(a, b), 0);
    }
    for (char16_t c : {u'@', u'[', u'\u00D7', u'\u00DF', u'\u0130', u'\u4E2D'})
        EXPECT_EQ(plat::FoldCase(c), c) << "U+" << std::hex << int(c) << " is left alone";
    for (unsigned c = 0; c < 0x10000; ++c) {
        char16_t f = plat::FoldCase(char16_t(c));
        ASSERT_EQ(plat::FoldCase(f), f) << "folding twice changes U+" << std::hex << c;
    }

    const struct {
        const char16_t *a, *b;
        int sign;
    } rows[] = {
        {u"Setup.EXE", u"setup.exe", 0}, {u"\u0416\u0443\u043a", u"\u0436\u0423\u041a", 0},
        {u"ab", u"abc", -1},             {u"_", u"A", -1}, // as small letters: '_' (95) is below 'a' (97)
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(cetest::U8(r.a) + " / " + cetest::U8(r.b));
        EXPECT_EQ(Sign(_wcsicmp(r.a, r.b)), r.sign);
        EXPECT_EQ(lstrcmpiW(r.a, r.b), r.sign) << "lstrcmpiW gives -1, 0 or 1";
        EXPECT_EQ(Sign(plat::FoldCompare(r.a, r.b)), r.sign);
    }
    EXPECT_EQ(_wcsnicmp(u"ABCx", u"abcy", 3), 0);
    EXPECT_NE(_wcsnicmp(u"ABCx", u"abcy", 4), 0);
    EXPECT_EQ(_wcsicmp(nullptr, u"a"), _NLSCMPERROR);
    EXPECT_EQ(lstrcmpiW(nullptr, u"a"), -1);
}

TEST(CharCase, LowerUpperAndCopy)
{
    WCHAR s[] = u"Ab\u0416\u00e9 1";
    EXPECT_EQ(CharUpperW(s), s);
    EXPECT_EQ(std::u16string(s), u"AB\u0416\u00c9 1");
    EXPECT_EQ(std::u16string(CharLowerW(s)), u"ab\u0436\u00e9 1");
    WCHAR n[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(lstrcpynW(n, u"abcdef", 3), n);
    EXPECT_EQ(std::u16string(n), u"ab") << "at most n-1 units and a terminator";
    EXPECT_EQ(n[3], u'#');
}

} // namespace
