// text_codepage_test.cpp - MultiByteToWideChar / WideCharToMultiByte with
// code page 1252 and UTF-8: the tables both ways, sizes, flags and errors.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Code page 1252 bytes 0x80-0x9F.
const char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t Expected1252(int b) { return (b >= 0x80 && b <= 0x9F) ? k1252High[b - 0x80] : char16_t(b); }

TEST(MultiByteToWideChar, EveryByteOf1252) {
    const UINT pages[] = {CP_ACP, 1252};
    for (UINT cp : pages) {
        for (int b = 1; b < 256; ++b) {
            char in = static_cast<char>(b);
            WCHAR out[2] = {0xFFFF, 0xFFFF};
            ASSERT_EQ(MultiByteToWideChar(cp, MB_PRECOMPOSED, &in, 1, out, 2), 1) << "byte " << b;
            EXPECT_EQ(out[0], Expected1252(b)) << "byte 0x" << std::hex << b << " code page " << std::dec << cp;
            EXPECT_EQ(out[1], 0xFFFF) << "one unit written";
        }
    }
}

TEST(MultiByteToWideChar, UnassignedBytesKeepTheirValue) {
    const unsigned char bytes[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (unsigned char b : bytes) {
        char in = static_cast<char>(b);
        WCHAR out = 0;
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &in, 1, &out, 1), 1);
        EXPECT_EQ(out, b) << "byte 0x" << std::hex << int(b);
        char back = 0;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, &out, 1, &back, 1, nullptr, nullptr), 1);
        EXPECT_EQ(static_cast<unsigned char>(back), b) << "round trip of 0x" << std::hex << int(b);
    }
}

TEST(WideCharToMultiByte, EveryByteRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        WCHAR u = Expected1252(b);
        char out[2] = {'#', '#'};
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(1252, WC_COMPOSITECHECK, &u, 1, out, 2, nullptr, &usedDefault), 1);
        EXPECT_EQ(static_cast<unsigned char>(out[0]), b) << "unit U+" << std::hex << int(u);
        EXPECT_FALSE(usedDefault) << "unit U+" << std::hex << int(u) << " is in the code page";
    }
}

TEST(WideCharToMultiByte, CharactersOutsideBecomeQuestionMark) {
    const char16_t outside[] = {0x0080, 0x0083, 0x009F, 0x0100, 0x0416, 0x20AD, 0x4E2D, 0xFFFD};
    for (char16_t u : outside) {
        char out = 0;
        BOOL usedDefault = FALSE;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, &u, 1, &out, 1, nullptr, &usedDefault), 1);
        EXPECT_EQ(out, '?') << "unit U+" << std::hex << int(u);
        EXPECT_TRUE(usedDefault) << "unit U+" << std::hex << int(u);
    }
    WCHAR pair[] = {0xD83D, 0xDE00, u'a'};
    char out[4] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, pair, 3, out, 4, nullptr, nullptr), 2)
        << "a surrogate pair is one character";
    EXPECT_EQ(std::string(out, 2), "?a");
    WCHAR zh = 0x4E2D;
    char def = '*';
    char c = 0;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, &zh, 1, &c, 1, &def, nullptr), 1);
    EXPECT_EQ(c, '*') << "the caller's default character";
}

TEST(CodePageSizes, TerminatorAndQueries) {
    const char *s = "caf\xe9";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0), 5) << "-1 counts the terminator";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, s, 4, nullptr, 0), 4);
    WCHAR w[5];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, s, -1, w, 5), 5);
    EXPECT_EQ(std::u16string(w), u"caf\u00e9");

    SetLastError(0);
    WCHAR small[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, s, -1, small, 4), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);

    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"caf\u00e9", -1, nullptr, 0, nullptr, nullptr), 5);
    char b[5];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"caf\u00e9", -1, b, 5, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(b), "caf\xe9");
    SetLastError(0);
    char bs[3];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"caf\u00e9", -1, bs, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePageErrors, ParametersAndFlags) {
    struct Row {
        int result;
        DWORD error;
        const char *what;
    };
    WCHAR w[8];
    char b[8];
    auto mb = [&](UINT cp, DWORD flags, const char *src, int n, WCHAR *dst, int cap) {
        SetLastError(0);
        int r = MultiByteToWideChar(cp, flags, src, n, dst, cap);
        return Row{r, GetLastError(), ""};
    };
    auto wc = [&](UINT cp, DWORD flags, const WCHAR *src, int n, char *dst, int cap, const char *def,
                  BOOL *used) {
        SetLastError(0);
        int r = WideCharToMultiByte(cp, flags, src, n, dst, cap, def, used);
        return Row{r, GetLastError(), ""};
    };
    BOOL used;
    Row rows[] = {
        mb(CP_ACP, 0, nullptr, 3, w, 8),                    // null source
        mb(CP_ACP, 0, "abc", 0, w, 8),                      // empty count
        mb(CP_ACP, 0, "abc", -2, w, 8),                     // bad count
        mb(CP_ACP, 0, "abc", 3, nullptr, 8),                // null destination with capacity
        mb(CP_ACP, 0, "abc", 3, w, -1),                     // negative capacity
        mb(437, 0, "abc", 3, w, 8),                         // code page the device lacks
        wc(CP_ACP, 0, nullptr, 3, b, 8, nullptr, nullptr),
        wc(CP_ACP, 0, u"abc", 0, b, 8, nullptr, nullptr),
        wc(CP_ACP, 0, u"abc", 3, nullptr, 8, nullptr, nullptr),
        wc(CP_UTF8, 0, u"abc", 3, b, 8, "?", nullptr),      // UTF-8 takes no default character
        wc(CP_UTF8, 0, u"abc", 3, b, 8, nullptr, &used),
        wc(866, 0, u"abc", 3, b, 8, nullptr, nullptr),
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        EXPECT_EQ(rows[i].result, 0) << "row " << i;
        EXPECT_EQ(rows[i].error, (DWORD)ERROR_INVALID_PARAMETER) << "row " << i;
    }
    Row flags[] = {
        mb(CP_ACP, 0x100, "abc", 3, w, 8),
        mb(CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, "abc", 3, w, 8),
        mb(CP_UTF8, MB_PRECOMPOSED, "abc", 3, w, 8),
        wc(CP_ACP, 0x1000, u"abc", 3, b, 8, nullptr, nullptr),
        wc(CP_UTF8, WC_COMPOSITECHECK, u"abc", 3, b, 8, nullptr, nullptr),
    };
    for (size_t i = 0; i < sizeof flags / sizeof flags[0]; ++i) {
        EXPECT_EQ(flags[i].result, 0) << "flags row " << i;
        EXPECT_EQ(flags[i].error, (DWORD)ERROR_INVALID_FLAGS) << "flags row " << i;
    }
    // The flags that callers pass with code page 1252 are accepted.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "abc", 3, w, 8), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK | WC_DEFAULTCHAR, u"abc", 3, b, 8, nullptr, nullptr), 3);
}

TEST(CodePageUtf8, BothWays) {
    const char *s = "a\xc3\xa9\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80";
    WCHAR w[16];
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, w, 16);
    EXPECT_EQ(n, 7) << "a, e-acute, Zhe, euro, a surrogate pair, terminator";
    EXPECT_EQ(std::u16string(w), u"a\u00e9\u0416\u20ac\U0001F600");
    char b[32];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, w, -1, b, 32, nullptr, nullptr), 13);
    EXPECT_EQ(std::string(b), s);
}

TEST(CodePageUtf8, InvalidInput) {
    const char bad[] = "a\xff" "b\xc0\x80";
    WCHAR w[16];
    int n = MultiByteToWideChar(CP_UTF8, 0, bad, 5, w, 16);
    EXPECT_EQ(std::u16string(w, n), u"a\uFFFDb\uFFFD\uFFFD") << "malformed bytes become U+FFFD";
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, 5, w, 16), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);

    WCHAR lone[] = {u'x', 0xD800, u'y'};
    char b[16];
    n = WideCharToMultiByte(CP_UTF8, 0, lone, 3, b, 16, nullptr, nullptr);
    EXPECT_EQ(std::string(b, n), "x\xef\xbf\xbdy") << "a lone surrogate becomes U+FFFD";
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, b, 16, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePageSystem, Values) {
    EXPECT_EQ(GetACP(), 1252u);
    for (int b = 0; b < 256; ++b)
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(b))) << "byte " << b;
}

} // namespace
