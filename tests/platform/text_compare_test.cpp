// text_compare_test.cpp - the one case folding (_wcsicmp, _wcsnicmp,
// lstrcmpiW, the internal FoldCase), lstr* helpers, CharLowerW/CharUpperW,
// and _isctype.
#include "file_testutil.h"
#include "internal/text.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(CaseFolding, PairsOfEveryRangeAndNonLetters)
{
    // The edges of the runs the table must fold: ASCII, Latin-1 (around
    // U+00D7), Latin Extended-A (around U+0138 and U+0149), Greek,
    // Cyrillic, fullwidth.
    const char16_t pairs[][2] = {
        {u'A', u'a'},     {u'Z', u'z'},     {0x00C0, 0x00E0}, {0x00D6, 0x00F6}, {0x00D8, 0x00F8}, {0x00DE, 0x00FE},
        {0x0100, 0x0101}, {0x0139, 0x013A}, {0x0147, 0x0148}, {0x014A, 0x014B}, {0x0176, 0x0177}, {0x0178, 0x00FF},
        {0x017D, 0x017E}, {0x0386, 0x03AC}, {0x0388, 0x03AD}, {0x038C, 0x03CC}, {0x038F, 0x03CE}, {0x0391, 0x03B1},
        {0x03A3, 0x03C3}, {0x0400, 0x0450}, {0x040F, 0x045F}, {0x0410, 0x0430}, {0x042F, 0x044F}, {0x0490, 0x0491},
        {0xFF21, 0xFF41},
    };
    for (const auto &p : pairs) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << int(p[0]));
        EXPECT_EQ(plat::FoldCase(p[0]), p[1]);
        EXPECT_EQ(plat::FoldCase(p[1]), p[1]) << "a small letter stays";
        WCHAR a[2] = {p[0], 0}, b[2] = {p[1], 0};
        EXPECT_EQ(_wcsicmp(a, b), 0);
        EXPECT_EQ(lstrcmpiW(a, b), 0);
        EXPECT_EQ(_wcsnicmp(a, b, 1), 0);
    }
    for (char16_t c : {u'0', u'@', u'[', u'_', u'\u00D7', u'\u00F7', u'\u00DF', u'\u0131', u'\u0130', u'\u2018',
                       u'\u20AC', u'\u4E2D', char16_t(0xD800), char16_t(0xFFFF)})
        EXPECT_EQ(plat::FoldCase(c), c) << "U+" << std::hex << int(c) << " is left alone";
    for (unsigned c = 0; c < 0x10000; ++c) {
        char16_t f = plat::FoldCase(char16_t(c));
        ASSERT_EQ(plat::FoldCase(f), f) << "folding twice changes U+" << std::hex << c;
        if (f != c) {
            ASSERT_EQ(plat::FoldCase(plat::UpperCase(f)), f) << "capital of U+" << std::hex << int(f);
        }
    }
    EXPECT_EQ(plat::Fold(u"\\Storage Card\\SETUP.Exe"), u"\\storage card\\setup.exe");
}

TEST(CaseFolding, Comparisons)
{
    const struct {
        const char16_t *a, *b;
        int sign;
    } rows[] = {
        {u"Setup.EXE", u"setup.exe", 0}, {u"\u0416\u0443\u043a", u"\u0436\u0423\u041a", 0},
        {u"abc", u"abd", -1},            {u"ab", u"abc", -1},
        {u"abc", u"AB", 1},              {u"_", u"A", -1}, // as small letters: '_' (95) is below 'a' (97)
        {u"", u"", 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(cetest::U8(r.a) + " / " + cetest::U8(r.b));
        EXPECT_EQ(Sign(_wcsicmp(r.a, r.b)), r.sign);
        EXPECT_EQ(lstrcmpiW(r.a, r.b), r.sign) << "lstrcmpiW gives -1, 0 or 1";
        EXPECT_EQ(Sign(plat::FoldCompare(r.a, r.b)), r.sign);
    }
    EXPECT_EQ(_wcsnicmp(u"ABCx", u"abcy", 3), 0);
    EXPECT_NE(_wcsnicmp(u"ABCx", u"abcy", 4), 0);
    EXPECT_EQ(_wcsnicmp(u"ab", u"AB", 10), 0) << "count past the end";
    EXPECT_EQ(_wcsnicmp(nullptr, u"x", 0), 0) << "nothing to compare";
    EXPECT_EQ(_wcsicmp(nullptr, u"a"), _NLSCMPERROR);
    EXPECT_EQ(_wcsnicmp(u"a", nullptr, 1), _NLSCMPERROR);
    EXPECT_EQ(lstrcmpiW(nullptr, u"a"), -1);
    EXPECT_EQ(lstrcmpiW(u"a", nullptr), 1);
    EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
    EXPECT_EQ(lstrcmpW(nullptr, u"a"), -1);
}

TEST(LstrFunctions, CopyCatLengthCompare)
{
    WCHAR buf[16];
    EXPECT_EQ(lstrcpyW(buf, u"ab"), buf);
    EXPECT_EQ(lstrcatW(buf, u"cd"), buf);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(lstrlenW(buf), 4);
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
    EXPECT_EQ(lstrcmpW(u"abc", u"abd"), -1);
    EXPECT_EQ(lstrcmpW(u"b", u"a"), 1);
    EXPECT_EQ(lstrcmpW(u"a", u"A"), 1) << "case counts";
    WCHAR n[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(lstrcpynW(n, u"abcdef", 3), n);
    EXPECT_EQ(std::u16string(n), u"ab") << "at most n-1 units and a terminator";
    EXPECT_EQ(n[3], u'#');
    EXPECT_FAILS(lstrcpyW(nullptr, u"x"), nullptr, ERROR_INVALID_PARAMETER);
}

TEST(CharCase, LowerAndUpper)
{
    WCHAR s[] = u"Ab\u0416\u0436\u00c9\u00e9 1";
    EXPECT_EQ(CharLowerW(s), s);
    EXPECT_EQ(std::u16string(s), u"ab\u0436\u0436\u00e9\u00e9 1");
    EXPECT_EQ(CharUpperW(s), s);
    EXPECT_EQ(std::u16string(s), u"AB\u0416\u0416\u00c9\u00c9 1");
    // A single character in the low word of the pointer.
    auto asPtr = [](ULONG_PTR c) { return reinterpret_cast<LPWSTR>(c); };
    EXPECT_EQ(CharLowerW(asPtr(u'Q')), asPtr(u'q'));
    EXPECT_EQ(CharUpperW(asPtr(0x0451)), asPtr(0x0401));
    WCHAR b[] = u"XyZ";
    EXPECT_EQ(CharLowerBuffW(b, 2), 2u);
    EXPECT_EQ(std::u16string(b), u"xyZ") << "only the given count";
}

TEST(IsCType, AsciiClassesAndNothingAbove127)
{
    // Each class at its edges: its first and last members and the bytes just outside.
    const struct { int cls; const char *in, *out; } classes[] = {
        {_UPPER, "AZ", "@[az"},       {_LOWER, "az", "`{AZ"},           {_ALPHA, "AZaz", "@[`{09"},
        {_DIGIT, "09", "/:"},         {_HEX, "09AFaf", "/:@G`g"},       {_SPACE, " \t\r", "\b\x0e!"},
        {_BLANK, " \t", "\n!"},       {_CONTROL, "\x01\x1f\x7f", " ~"}, {_PUNCT, "!/:@[`{~", " 09AZaz\x7f"},
    };
    for (const auto &c : classes) {
        for (const char *p = c.in; *p; ++p)
            EXPECT_NE(_isctype(*p, c.cls), 0) << "byte " << int(*p) << " in class " << c.cls;
        for (const char *p = c.out; *p; ++p)
            EXPECT_EQ(_isctype(*p, c.cls), 0) << "byte " << int(*p) << " outside class " << c.cls;
    }
    EXPECT_NE(_isctype('7', _DIGIT | _ALPHA), 0) << "any class of the mask";
    const int all = _UPPER | _LOWER | _DIGIT | _SPACE | _PUNCT | _CONTROL | _BLANK | _HEX | _ALPHA;
    for (int c : {128, 0xE9, 255, -1 /* EOF */, 0x1234})
        EXPECT_EQ(_isctype(c, all), 0) << "above 127, EOF and past a byte: " << c;
    EXPECT_EQ(_isctype(static_cast<char>(0xA0), _SPACE), 0) << "a negative char is its byte";
}

} // namespace
