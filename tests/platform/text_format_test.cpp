// text_format_test.cpp - wsprintfW / wvsprintfW: every conversion, flags,
// width, and the 1024-unit limit.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdarg>
#include <string>

namespace {

std::u16string Fmt(const WCHAR *fmt, ...) {
    WCHAR buf[WSPRINTF_MAX + 64];
    for (WCHAR &c : buf)
        c = u'#';
    va_list ap;
    va_start(ap, fmt);
    int n = wvsprintfW(buf, fmt, ap);
    va_end(ap);
    std::u16string s(buf);
    EXPECT_EQ(n, (int)s.size()) << "result is the number of units written";
    return s;
}

TEST(wsprintfW, Conversions) {
    EXPECT_EQ(Fmt(u"%s|%s", u"abc", u"\u0416"), u"abc|\u0416");
    EXPECT_EQ(Fmt(u"%S", "caf\xe9 \x80"), u"caf\u00e9 \u20ac") << "%S reads code page 1252";
    EXPECT_EQ(Fmt(u"%hs|%ls", "narrow", u"wide"), u"narrow|wide");
    EXPECT_EQ(Fmt(u"%c%c", u'x', 0x0416), u"x\u0416");
    EXPECT_EQ(Fmt(u"%C", 0xe9), u"\u00e9") << "%C is an 8-bit character";
    EXPECT_EQ(Fmt(u"%d %i", -42, 7), u"-42 7");
    EXPECT_EQ(Fmt(u"%u", -1), u"4294967295");
    EXPECT_EQ(Fmt(u"%x %X", 0xBEEF, 0xbeef), u"beef BEEF");
    EXPECT_EQ(Fmt(u"%x", -1), u"ffffffff");
    EXPECT_EQ(Fmt(u"%ld %lu %lx %lX %li", (LONG)-5, (DWORD)5, (DWORD)0xab, (DWORD)0xab, (LONG)9),
              u"-5 5 ab AB 9");
    EXPECT_EQ(Fmt(u"%d", (int)0x80000000), u"-2147483648");
    EXPECT_EQ(Fmt(u"100%%"), u"100%");
    EXPECT_EQ(Fmt(u"%#x %#X %#x", 255, 255, 0), u"0xff 0XFF 0");
    EXPECT_EQ(Fmt(u"%hd %hu", 0x12345, 0xFFFF), u"9029 65535") << "h narrows to 16 bits";
    EXPECT_EQ(Fmt(u"no conversions"), u"no conversions");
    EXPECT_EQ(Fmt(u""), u"");
}

TEST(wsprintfW, WidthAndFlags) {
    struct Row {
        const WCHAR *fmt;
        int value;
        const char16_t *expected;
    } rows[] = {
        {u"[%5d]", 42, u"[   42]"},     {u"[%-5d]", 42, u"[42   ]"},  {u"[%05d]", 42, u"[00042]"},
        {u"[%05d]", -42, u"[-0042]"},   {u"[%-05d]", 42, u"[42   ]"}, {u"[%2d]", 12345, u"[12345]"},
        {u"[%08X]", 0xBEEF, u"[0000BEEF]"}, {u"[%5u]", 7, u"[    7]"}, {u"[%3x]", 255, u"[ ff]"},
        {u"[%#06x]", 255, u"[0x00ff]"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Fmt(r.fmt, r.value), r.expected) << "value " << r.value;
    EXPECT_EQ(Fmt(u"[%6s]", u"ab"), u"[    ab]");
    EXPECT_EQ(Fmt(u"[%-6s]", u"ab"), u"[ab    ]");
    EXPECT_EQ(Fmt(u"[%.2s]", u"abcdef"), u"[ab]") << "precision cuts a string";
    EXPECT_EQ(Fmt(u"[%6.3S]", "abcdef"), u"[   abc]");
    EXPECT_EQ(Fmt(u"[%3c]", u'z'), u"[  z]");
    EXPECT_EQ(Fmt(u"[%-3c]", u'z'), u"[z  ]");
}

TEST(wsprintfW, NullStringsAndOddFormats) {
    EXPECT_EQ(Fmt(u"%s", (const WCHAR *)nullptr), u"(null)");
    EXPECT_EQ(Fmt(u"%S", (const char *)nullptr), u"(null)");
    EXPECT_EQ(Fmt(u"abc%"), u"abc%") << "a lone % at the end is written";
    EXPECT_EQ(Fmt(u"%q"), u"q") << "unknown conversion letter stands for itself";
}

TEST(wsprintfW, NeverWritesMoreThan1024Units) {
    std::u16string big(3000, u'x');
    WCHAR buf[WSPRINTF_MAX + 64];
    for (WCHAR &c : buf)
        c = u'#';
    int n = wsprintfW(buf, u"%s", big.c_str());
    EXPECT_EQ(n, WSPRINTF_MAX - 1) << "1023 units and the terminator";
    EXPECT_EQ(buf[WSPRINTF_MAX - 1], 0) << "terminated within 1024 units";
    EXPECT_EQ(buf[WSPRINTF_MAX], u'#') << "nothing written past 1024 units";

    for (WCHAR &c : buf)
        c = u'#';
    n = wsprintfW(buf, u"%5000d", 1);
    EXPECT_EQ(n, WSPRINTF_MAX - 1) << "a huge width is cut too";
    EXPECT_EQ(buf[WSPRINTF_MAX], u'#');

    std::u16string fmt(1020, u'a');
    fmt += u"%d";
    for (WCHAR &c : buf)
        c = u'#';
    n = wsprintfW(buf, fmt.c_str(), 123456);
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(std::u16string(buf).substr(1020), u"123") << "cut in the middle of a number";
    EXPECT_EQ(buf[WSPRINTF_MAX], u'#');

    std::u16string exact(1023, u'y');
    n = wsprintfW(buf, u"%s", exact.c_str());
    EXPECT_EQ(n, 1023) << "exactly 1023 units fit";
}

TEST(wsprintfW, BadArguments) {
    WCHAR buf[8];
    SetLastError(0);
    EXPECT_EQ(wsprintfW(nullptr, u"x"), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(wsprintfW(buf, nullptr), 0);
}

} // namespace
