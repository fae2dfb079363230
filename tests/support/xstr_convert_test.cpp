// xstr_convert_test.cpp - byte strings to UTF-16 and back: every special
// byte and unit in both switch states, and the capacity rule of the plain
// and Cat forms.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/xstr.h"

namespace {

// Restores the Western reading after each test.
class XStrConvert : public ::testing::Test {
protected:
    void TearDown() override { XStr_SetUnicodeMode(0); }

    static std::u16string ToUnits(const std::string &bytes, int capacity = 64) {
        WCHAR buf[300];
        XStr_String2TString(bytes.c_str(), buf, capacity);
        return std::u16string(buf);
    }
    static std::string ToBytes(const std::u16string &units, int capacity = 64) {
        char buf[300];
        XStr_TString2String(units.c_str(), buf, capacity);
        return std::string(buf);
    }
};

struct ByteRow {
    unsigned char byte;
    char16_t western;
    char16_t cyrillic;
};

// Every byte that either reading treats specially.
const ByteRow kSpecialBytes[] = {
    {145, 0x2018, 0x2018}, {146, 0x2019, 0x2019}, {147, 0x201C, 0x201C}, {148, 0x201D, 0x201D},
    {140, 0x0152, 0x008C}, {156, 0x0153, 0x009C}, {168, 0x00A8, 0x0401}, {184, 0x00B8, 0x0451},
    {165, 0x00A5, 0x0490}, {180, 0x00B4, 0x0491}, {178, 0x00B2, 0x0406}, {179, 0x00B3, 0x0456},
    {175, 0x00AF, 0x0407}, {191, 0x00BF, 0x0457}, {170, 0x00AA, 0x0404}, {186, 0x00BA, 0x0454},
    {192, 0x00C0, 0x0410}, {200, 0x00C8, 0x0418}, {223, 0x00DF, 0x042F}, {224, 0x00E0, 0x0430},
    {255, 0x00FF, 0x044F},
};

TEST_F(XStrConvert, SpecialBytesInBothReadings) {
    for (const ByteRow &r : kSpecialBytes) {
        std::string b(1, static_cast<char>(r.byte));
        XStr_SetUnicodeMode(0);
        EXPECT_EQ(ToUnits(b), std::u16string(1, r.western)) << "Western reading of byte " << int(r.byte);
        XStr_SetUnicodeMode(1);
        EXPECT_EQ(ToUnits(b), std::u16string(1, r.cyrillic)) << "Cyrillic reading of byte " << int(r.byte);
    }
}

TEST_F(XStrConvert, EveryOtherByteKeepsItsValue) {
    for (int mode = 0; mode <= 1; ++mode) {
        XStr_SetUnicodeMode(mode);
        for (int b = 1; b < 256; ++b) {
            bool special = false;
            for (const ByteRow &r : kSpecialBytes)
                special = special || r.byte == b;
            if (special || (mode == 1 && b >= 192))
                continue;
            std::u16string u = ToUnits(std::string(1, static_cast<char>(b)));
            ASSERT_EQ(u.size(), 1u) << "byte " << b;
            EXPECT_EQ(int(u[0]), b) << "byte " << b << " in mode " << mode;
        }
    }
}

TEST_F(XStrConvert, CyrillicLetterBlock) {
    XStr_SetUnicodeMode(1);
    for (int b = 192; b < 256; ++b) {
        std::u16string u = ToUnits(std::string(1, static_cast<char>(b)));
        EXPECT_EQ(int(u[0]), b + 848) << "byte " << b;
    }
}

TEST_F(XStrConvert, ExamplesOfBothReadings) {
    EXPECT_EQ(ToUnits("\xc8\xc9"), u"\u00c8\u00c9");
    XStr_SetUnicodeMode(1);
    EXPECT_EQ(ToUnits("\xc8\xc9"), u"\u0418\u0419");
}

struct UnitRow {
    char16_t unit;
    int byte;
};

const UnitRow kSpecialUnits[] = {
    {0x0401, 168}, {0x0451, 184}, {0x0490, 165}, {0x0491, 180}, {0x0406, 178}, {0x0456, 179},
    {0x0407, 175}, {0x0457, 191}, {0x0404, 170}, {0x0454, 186}, {0x2018, 145}, {0x2019, 146},
    {0x201C, 147}, {0x201D, 148}, {0x0152, 140}, {0x0153, 156}, {0x0410, 192}, {0x0418, 200},
    {0x042F, 223}, {0x0430, 224}, {0x044F, 255}, {0x20AC, 0xAC}, {0x00E9, 0xE9}, {0x0141, 0x41},
    {0xFFEF, 0xEF},
};

TEST_F(XStrConvert, SpecialUnitsWhateverTheSwitch) {
    for (int mode = 0; mode <= 1; ++mode) {
        XStr_SetUnicodeMode(mode);
        for (const UnitRow &r : kSpecialUnits) {
            std::string b = ToBytes(std::u16string(1, r.unit));
            ASSERT_EQ(b.size(), 1u) << "unit " << std::hex << int(r.unit);
            EXPECT_EQ(static_cast<unsigned char>(b[0]), r.byte)
                << "unit U+" << std::hex << int(r.unit) << " mode " << mode;
        }
    }
}

TEST_F(XStrConvert, CyrillicBlockAllUnits) {
    for (char16_t u = 0x0410; u <= 0x044F; ++u) {
        std::string b = ToBytes(std::u16string(1, u));
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(static_cast<unsigned char>(b[0]), u - 848) << "unit U+" << std::hex << int(u);
    }
}

TEST_F(XStrConvert, UnitsThatBecomeByteZeroEndTheString) {
    EXPECT_EQ(ToBytes(u"ab\uFFFDcd"), "ab") << "U+FFF0-U+FFFF become 0";
    EXPECT_EQ(ToBytes(u"\uFFF0"), "");
    EXPECT_EQ(ToBytes(u"\uFFFF"), "");
    EXPECT_EQ(ToBytes(u"x\u0100y"), "x") << "low 8 bits 0";
}

TEST_F(XStrConvert, CapacityRulePlainForms) {
    std::string src(300, 'a');
    WCHAR wbuf[300];
    XStr_String2TString(src.c_str(), wbuf, 260);
    EXPECT_EQ(std::u16string(wbuf).size(), 259u) << "300 bytes into 260 units: 259 and a terminator";

    std::u16string wsrc(300, u'b');
    char bbuf[300];
    XStr_TString2String(wsrc.c_str(), bbuf, 260);
    EXPECT_EQ(std::string(bbuf).size(), 259u);

    // Exact fit: capacity = length + 1 keeps everything.
    EXPECT_EQ(ToUnits("abcd", 5), u"abcd");
    EXPECT_EQ(ToBytes(u"abcd", 5), "abcd");
    // One short: the last character gives way to the terminator.
    EXPECT_EQ(ToUnits("abcd", 4), u"abc");
    EXPECT_EQ(ToBytes(u"abcd", 4), "abc");
    EXPECT_EQ(ToUnits("abcd", 1), u"");
    EXPECT_EQ(ToBytes(u"abcd", 1), "");
    // Empty source: empty string.
    EXPECT_EQ(ToUnits("", 10), u"");
    EXPECT_EQ(ToBytes(u"", 10), "");
}

TEST_F(XStrConvert, CapacityZeroWritesNothing) {
    WCHAR w[4] = {u'#', u'#', u'#', 0};
    XStr_String2TString("abc", w, 0);
    EXPECT_EQ(std::u16string(w), u"###");
    XStr_String2TStringCat("abc", w, 0);
    EXPECT_EQ(std::u16string(w), u"###");
    char b[4] = "###";
    XStr_TString2String(u"abc", b, 0);
    EXPECT_STREQ(b, "###");
    XStr_TString2StringCat(u"abc", b, 0);
    EXPECT_STREQ(b, "###");
}

TEST_F(XStrConvert, NothingWrittenPastTheCapacity) {
    WCHAR w[8];
    for (WCHAR &c : w)
        c = u'#';
    XStr_String2TString("abcdefgh", w, 4);
    EXPECT_EQ(std::u16string(w, 5), std::u16string(u"abc\0#", 5));
    char b[8];
    memset(b, '#', sizeof b);
    XStr_TString2String(u"abcdefgh", b, 4);
    EXPECT_EQ(std::string(b, 5), std::string("abc\0#", 5));
}

TEST_F(XStrConvert, CatForms) {
    WCHAR w[16] = u"ab";
    XStr_String2TStringCat("cd", w, 16);
    EXPECT_EQ(std::u16string(w), u"abcd");
    XStr_String2TStringCat("", w, 16);
    EXPECT_EQ(std::u16string(w), u"abcd") << "empty source leaves the string";
    XStr_String2TStringCat("efgh", w, 7);
    EXPECT_EQ(std::u16string(w), u"abcdef") << "capacity 7: at most 6 units";
    XStr_String2TStringCat("x", w, 7);
    EXPECT_EQ(std::u16string(w), u"abcdef") << "full: the new unit gives way to the terminator";

    char b[16] = "ab";
    XStr_TString2StringCat(u"c\u0416", b, 16);
    EXPECT_STREQ(b, "abc\xc6");
    XStr_TString2StringCat(u"", b, 16);
    EXPECT_STREQ(b, "abc\xc6");
    XStr_TString2StringCat(u"zz", b, 5);
    EXPECT_STREQ(b, "abc\xc6") << "no room: the 5th byte stays the terminator";
}

TEST_F(XStrConvert, CatWithUnterminatedDestinationStaysInCapacity) {
    // No terminator within the capacity: the end is taken at the capacity,
    // and the last unit of the capacity becomes the terminator.
    WCHAR w[8];
    for (WCHAR &c : w)
        c = u'x';
    XStr_String2TStringCat("ab", w, 4);
    EXPECT_EQ(std::u16string(w, 5), std::u16string(u"xxx\0x", 5));
    char b[8];
    memset(b, 'x', sizeof b);
    XStr_TString2StringCat(u"ab", b, 4);
    EXPECT_EQ(std::string(b, 5), std::string("xxx\0x", 5));
}

TEST_F(XStrConvert, RoundTripOfWesternText) {
    std::string s = "Caf\xe9 \x93quoted\x94 \x8c\x9c";
    EXPECT_EQ(ToBytes(ToUnits(s)), s);
}

TEST(XStrFormat, FormatsThroughTheDeviceFormatter) {
    WCHAR buf[1024];
    EXPECT_EQ(XStr_FormatStringT(buf, u"%s has %d Kb", u"Dir", 42), 13);
    EXPECT_EQ(std::u16string(buf), u"Dir has 42 Kb");
}

} // namespace
