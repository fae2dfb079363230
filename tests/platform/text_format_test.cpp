// text_format_test.cpp - wsprintfW / wvsprintfW: every conversion, flags,
// width, and the 1024-unit limit.
#include "file_testutil.h"

#include <cstdarg>

namespace {

WCHAR g_buf[WSPRINTF_MAX + 64];

// Formats into a buffer filled with '#' and returns what was written; the
// result must be the number of units written.
std::u16string Fmt(const WCHAR *fmt, ...)
{
    for (WCHAR &c : g_buf)
        c = u'#';
    va_list ap;
    va_start(ap, fmt);
    int n = wvsprintfW(g_buf, fmt, ap);
    va_end(ap);
    std::u16string s(g_buf);
    EXPECT_EQ(n, static_cast<int>(s.size())) << "result is the number of units written";
    return s;
}

TEST(wsprintfW, Conversions)
{
    EXPECT_EQ(Fmt(u"%s|%s", u"abc", u"\u0416"), u"abc|\u0416");
    EXPECT_EQ(Fmt(u"%S", "caf\xe9 \x80"), u"caf\u00e9 \u20ac") << "%S reads code page 1252";
    EXPECT_EQ(Fmt(u"%hs|%ls", "narrow", u"wide"), u"narrow|wide");
    EXPECT_EQ(Fmt(u"%c%c", u'x', 0x0416), u"x\u0416");
    EXPECT_EQ(Fmt(u"%C", 0xe9), u"\u00e9") << "%C is an 8-bit character";
    EXPECT_EQ(Fmt(u"%d %i %u", -42, 7, -1), u"-42 7 4294967295");
    EXPECT_EQ(Fmt(u"%x %X %x", 0xBEEF, 0xbeef, -1), u"beef BEEF ffffffff");
    EXPECT_EQ(Fmt(u"%ld %lu %lx %lX %li", (LONG)-5, (DWORD)5, (DWORD)0xab, (DWORD)0xab, (LONG)9), u"-5 5 ab AB 9");
    EXPECT_EQ(Fmt(u"%d", (int)0x80000000), u"-2147483648");
    EXPECT_EQ(Fmt(u"100%%"), u"100%");
    EXPECT_EQ(Fmt(u"%#x %#X %#x", 255, 255, 0), u"0xff 0XFF 0");
    EXPECT_EQ(Fmt(u"%hd %hu", 0x12345, 0xFFFF), u"9029 65535") << "h narrows to 16 bits";
    EXPECT_EQ(Fmt(u""), u"");
    EXPECT_EQ(Fmt(u"%s", (const WCHAR *)nullptr), u"(null)");
    EXPECT_EQ(Fmt(u"%S", (const char *)nullptr), u"(null)");
    EXPECT_EQ(Fmt(u"abc%"), u"abc%") << "a lone % at the end is written";
    EXPECT_EQ(Fmt(u"%q"), u"q") << "unknown conversion letter stands for itself";
    EXPECT_FAILS(wsprintfW(nullptr, u"x"), 0, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(wsprintfW(g_buf, nullptr), 0);
}

TEST(wsprintfW, WidthAndFlags)
{
    const struct {
        const WCHAR *fmt;
        int value;
        const char16_t *expected;
    } rows[] = {
        {u"[%5d]", 42, u"[   42]"},      {u"[%-5d]", 42, u"[42   ]"},  {u"[%05d]", 42, u"[00042]"},
        {u"[%05d]", -42, u"[-0042]"},    {u"[%-05d]", 42, u"[42   ]"}, {u"[%2d]", 12345, u"[12345]"},
        {u"[%08X]", 0xBEEF, u"[0000BEEF]"}, {u"[%#06x]", 255, u"[0x00ff]"}, {u"[%3c]", u'z', u"[  z]"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(Fmt(r.fmt, r.value), r.expected) << cetest::U8(r.fmt) << " of " << r.value;
    EXPECT_EQ(Fmt(u"[%6s]", u"ab"), u"[    ab]");
    EXPECT_EQ(Fmt(u"[%-6s]", u"ab"), u"[ab    ]");
    EXPECT_EQ(Fmt(u"[%.2s]", u"abcdef"), u"[ab]") << "precision cuts a string";
    EXPECT_EQ(Fmt(u"[%6.3S]", "abcdef"), u"[   abc]");
}

TEST(wsprintfW, NeverWritesMoreThan1024Units)
{
    // Every unit goes out through one bounded writer; a number cut at the limit is no other case.
    const std::u16string big(3000, u'x'), exact(1023, u'y');
    EXPECT_EQ(Fmt(u"%s", big.c_str()), big.substr(0, 1023)) << "1023 units and the terminator";
    EXPECT_EQ(g_buf[WSPRINTF_MAX], u'#') << "nothing written past 1024 units";
    EXPECT_EQ(Fmt(u"%5000d", 1).size(), 1023u) << "a huge width is cut too";
    EXPECT_EQ(g_buf[WSPRINTF_MAX], u'#');
    EXPECT_EQ(Fmt(u"%s", exact.c_str()), exact) << "exactly 1023 units fit";
    EXPECT_EQ(wsprintfW(g_buf, u"%s", big.c_str()), 1023) << "wsprintfW cuts alike";
    EXPECT_EQ(g_buf[WSPRINTF_MAX - 1], 0);
}

} // namespace
