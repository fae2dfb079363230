// text_format_test.cpp - wsprintfW / wvsprintfW: conversions, flags, width,
// and the 1024-unit limit.
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

TEST(wsprintfW, ConversionsWidthAndFlags)
{
    EXPECT_EQ(Fmt(u"%s|%S|%c", u"\u0416", "caf\xe9 \x80", 0x0416), u"\u0416|caf\u00e9 \u20ac|\u0416")
        << "%S reads code page 1252";
    EXPECT_EQ(Fmt(u"%d %u %X %lx", -42, -1, 0xbeef, (DWORD)0xab), u"-42 4294967295 BEEF ab");
    EXPECT_EQ(Fmt(u"%hd", 0x12345), u"9029") << "h narrows to 16 bits";
    EXPECT_EQ(Fmt(u"100%% %s", (const WCHAR *)nullptr), u"100% (null)");
    EXPECT_EQ(Fmt(u"[%-5d|%05d|%#06x]", 42, -42, 255), u"[42   |-0042|0x00ff]");
    EXPECT_EQ(Fmt(u"[%6.3S]", "abcdef"), u"[   abc]") << "precision cuts a string";
    EXPECT_FAILS(wsprintfW(nullptr, u"x"), 0, ERROR_INVALID_PARAMETER);
}

TEST(wsprintfW, NeverWritesMoreThan1024Units)
{
    const std::u16string big(3000, u'x'), exact(1023, u'y');
    EXPECT_EQ(Fmt(u"%s", big.c_str()), big.substr(0, 1023)) << "1023 units and the terminator";
    EXPECT_EQ(g_buf[WSPRINTF_MAX], u'#') << "nothing written past 1024 units";
    EXPECT_EQ(Fmt(u"%5000d", 1).size(), 1023u) << "a huge width is cut too";
    EXPECT_EQ(g_buf[WSPRINTF_MAX], u'#');
    EXPECT_EQ(Fmt(u"%s", exact.c_str()), exact) << "exactly 1023 units fit";
}

} // namespace
