// text_codepage_test.cpp - MultiByteToWideChar / WideCharToMultiByte with
// code page 1252 and UTF-8 (the conversion host names take as well): the
// tables both ways, sizes, flags and errors.
#include <cstring>

#include "file_testutil.h"
#include "text/text.h"

namespace {

// Code page 1252 bytes 0x80-0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D keep their value.
const char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

TEST(CodePage1252, EveryByteBothWays)
{
    EXPECT_EQ(GetACP(), 1252u);
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << b);
        const char16_t u = (b >= 0x80 && b <= 0x9F) ? k1252High[b - 0x80] : char16_t(b);
        char in = static_cast<char>(b);
        WCHAR out[2] = {0xFFFF, 0xFFFF};
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, &in, 1, out, 2), 1);
        EXPECT_EQ(out[0], u);
        EXPECT_EQ(out[1], 0xFFFF) << "one unit written";
        char back[2] = {'#', '#'};
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(1252, WC_COMPOSITECHECK, &u, 1, back, 2, nullptr, &usedDefault), 1);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), b);
        EXPECT_FALSE(usedDefault) << "the unit is in the code page";
    }
}

TEST(CodePage1252, OutsideCharactersSizesAndErrors)
{
    // A C1 control whose byte 1252 gives to another character becomes the default.
    char16_t c1 = 0x0080;
    char out[4] = {};
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, &c1, 1, out, 1, nullptr, &usedDefault), 1);
    EXPECT_EQ(out[0], '?');
    EXPECT_TRUE(usedDefault);
    WCHAR pair[] = {0xD83D, 0xDE00, u'a'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, pair, 3, out, 4, nullptr, nullptr), 2)
        << "a surrogate pair is one character";
    EXPECT_EQ(std::string(out, 2), "?a");

    const char *s = "caf\xe9";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0), 5) << "-1 counts the terminator";
    WCHAR w[5];
    EXPECT_FAILS(MultiByteToWideChar(CP_ACP, 0, s, -1, w, 4), 0, ERROR_INSUFFICIENT_BUFFER);
    char b[5];
    EXPECT_FAILS(WideCharToMultiByte(CP_ACP, 0, u"caf\u00e9", -1, b, 3, nullptr, nullptr), 0,
                 ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FAILS(MultiByteToWideChar(437, 0, "abc", 3, w, 5), 0, ERROR_INVALID_PARAMETER); // a page the device lacks
    EXPECT_FAILS(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, b, 5, "?", nullptr), 0, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(MultiByteToWideChar(CP_ACP, 0x100, "abc", 3, w, 5), 0, ERROR_INVALID_FLAGS);
}

TEST(CodePageUtf8, BothWaysAndInvalidInput)
{
    const char *s = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    WCHAR w[16];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, s, -1, w, 16), 6) << "a, e-acute, euro, a surrogate pair, terminator";
    EXPECT_EQ(std::u16string(w), u"a\u00e9\u20ac\U0001F600");
    char b[32];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, w, -1, b, 32, nullptr, nullptr), 11);
    EXPECT_EQ(std::string(b), s);
    // A stray byte, an overlong zero, an encoded surrogate, a cut sequence.
    const char bad[] = "a\xff" "b\xc0\x80" "\xed\xa0\x80" "c\xe2\x82";
    int n = MultiByteToWideChar(CP_UTF8, 0, bad, 11, w, 16);
    EXPECT_EQ(std::u16string(w, n), u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDc\uFFFD\uFFFD") << "malformed bytes become U+FFFD";
    EXPECT_FAILS(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, 11, w, 16), 0, ERROR_NO_UNICODE_TRANSLATION);
}

// Device names to host names: surrogate pairs joined, unpaired halves as
// U+FFFD; into a buffer the same bytes, or nothing when they do not fit.
TEST(HostNames, Utf8IntoAStringOrABuffer)
{
    const struct {
        std::u16string name;
        std::string utf8;
    } rows[] = {
        {u"plain.txt", "plain.txt"},
        {u"\u00e9t\u00e9 \u20ac", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"},
        {u"a\U0001F600b", "a\xf0\x9f\x98\x80" "b"},
        {std::u16string(u"a") + char16_t(0xD83D) + u"b", "a\xef\xbf\xbd" "b"},
        {std::u16string(u"a") + char16_t(0xDE00), "a\xef\xbf\xbd"},
        {std::u16string(1, char16_t(0xD83D)), "\xef\xbf\xbd"},
        {u"", ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.utf8);
        EXPECT_EQ(plat::ToUtf8(r.name), r.utf8);
        char buf[32];
        ASSERT_TRUE(plat::ToUtf8Into(r.name, buf, r.utf8.size() + 1));
        EXPECT_EQ(std::string(buf), r.utf8);
        if (!r.utf8.empty()) {
            std::memset(buf, 'x', sizeof buf);
            EXPECT_FALSE(plat::ToUtf8Into(r.name, buf, r.utf8.size())) << "one byte short";
            EXPECT_EQ(buf[0], 0) << "a name that does not fit is left empty";
        }
    }
}

} // namespace
