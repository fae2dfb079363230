// xstr_convert_test.cpp - byte strings to UTF-16 and back (every byte and
// the special units in both switch states, the capacity rule of the plain
// and Cat forms), bounded copies, comparisons (the case-insensitive one
// under allocation failures) and integers from text and back.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "kernel/faults.h"
#include "support/xstr.h"

namespace {

// Restores the Western reading after each test.
class XStrConvert : public ::testing::Test {
protected:
    void TearDown() override
    {
        XStr_SetUnicodeMode(0);
    }
    static std::u16string ToUnits(const std::string &bytes, int capacity = 64)
    {
        WCHAR buf[300];
        XStr_String2TString(bytes.c_str(), buf, capacity);
        return std::u16string(buf);
    }
    static std::string ToBytes(const std::u16string &units, int capacity = 64)
    {
        char buf[300];
        XStr_TString2String(units.c_str(), buf, capacity);
        return std::string(buf);
    }
};

// Every byte in both readings, and back: whatever the switch, each unit a
// byte can become goes back to that byte.
TEST_F(XStrConvert, EveryByteBothWaysInBothReadings)
{
    // Every byte that either reading treats specially; the Cyrillic reading
    // also moves 192-255 to U+0410-U+044F, and every other byte keeps its value.
    const struct {
        unsigned char byte;
        char16_t western, cyrillic;
    } special[] = {
        {145, 0x2018, 0x2018}, {146, 0x2019, 0x2019}, {147, 0x201C, 0x201C}, {148, 0x201D, 0x201D},
        {140, 0x0152, 0x008C}, {156, 0x0153, 0x009C}, {168, 0x00A8, 0x0401}, {184, 0x00B8, 0x0451},
        {165, 0x00A5, 0x0490}, {180, 0x00B4, 0x0491}, {178, 0x00B2, 0x0406}, {179, 0x00B3, 0x0456},
        {175, 0x00AF, 0x0407}, {191, 0x00BF, 0x0457}, {170, 0x00AA, 0x0404}, {186, 0x00BA, 0x0454},
    };
    for (int mode = 0; mode <= 1; ++mode) {
        XStr_SetUnicodeMode(mode);
        for (int b = 1; b < 256; ++b) {
            char16_t western = char16_t(b), cyrillic = char16_t(b >= 192 ? b + 848 : b);
            for (const auto &r : special) {
                if (r.byte == b)
                    western = r.western, cyrillic = r.cyrillic;
            }
            EXPECT_EQ(ToUnits(std::string(1, char(b))), std::u16string(1, mode ? cyrillic : western))
                << "byte " << b << " in mode " << mode;
            for (char16_t u : {western, cyrillic})
                EXPECT_EQ(ToBytes(std::u16string(1, u)), std::string(1, char(b)))
                    << "unit U+" << std::hex << int(u) << " in mode " << mode;
        }
        EXPECT_EQ(ToBytes(u"\u20AC\u00E9\u0141\uFFEF"), "\xAC\xE9\x41\xEF") << "other units: their low 8 bits";
    }
    EXPECT_EQ(ToBytes(u"ab\uFFF0cd"), "ab") << "U+FFF0-U+FFFF become 0 and end the string";
    EXPECT_EQ(ToBytes(u"x\u0100y"), "x") << "low 8 bits 0";
}

// At most capacity - 1 bytes and the terminator, nothing past them, and
// nothing at all for capacity 0 (the units' way: LongStringsAsTheirBytes).
TEST_F(XStrConvert, CapacityRule)
{
    EXPECT_EQ(ToBytes(u"abcd", 5), "abcd") << "four bytes and the terminator fit in 5";
    char b[8] = "#######";
    XStr_TString2String(u"abcdefgh", b, 4);
    EXPECT_EQ(std::string(b, 5), std::string("abc\0#", 5)) << "nothing written past the capacity";

    WCHAR w0[4] = {u'#', u'#', u'#', 0};
    char b0[4] = "###";
    XStr_String2TString("abc", w0, 0);
    XStr_String2TStringCat("abc", w0, 0);
    XStr_TString2String(u"abc", b0, 0);
    XStr_TString2StringCat(u"abc", b0, 0);
    EXPECT_EQ(std::u16string(w0), u"###") << "capacity 0 writes nothing";
    EXPECT_STREQ(b0, "###") << "capacity 0 writes nothing";

    WCHAR w[16] = u"ab";
    XStr_String2TStringCat("cdefgh", w, 7);
    EXPECT_EQ(std::u16string(w), u"abcdef") << "Cat, capacity 7: at most 6 units";
    char c[16] = "abc\xc6";
    XStr_TString2StringCat(u"zz", c, 5);
    EXPECT_STREQ(c, "abc\xc6") << "Cat, no room: the 5th byte stays the terminator";
}

// Longer strings convert as their bytes do one by one, wherever a byte
// from 128 up lies among plain ones, and the capacity cuts them anywhere:
// the units written are those of the bytes, with nothing past the capacity.
TEST_F(XStrConvert, LongStringsAsTheirBytes)
{
    for (int mode = 0; mode <= 1; ++mode) {
        XStr_SetUnicodeMode(mode);
        for (int len : {7, 8, 9, 16, 17, 25, 33, 40}) {
            for (int high = -1; high < len; ++high) {
                std::string bytes;
                for (int i = 0; i < len; ++i)
                    bytes += i == high ? '\xc0' : static_cast<char>('a' + i);
                std::u16string want;
                for (char c : bytes)
                    want += ToUnits(std::string(1, c));
                for (int capacity : {1, 5, 8, 9, 16, 17, 40}) {
                    WCHAR buf[48];
                    for (auto &u : buf)
                        u = u'#';
                    XStr_String2TString(bytes.c_str(), buf, capacity);
                    size_t n = std::min<size_t>(want.size(), capacity - 1);
                    EXPECT_EQ(std::u16string(buf, n + 2), want.substr(0, n) + u'\0' + u'#')
                        << "mode " << mode << ", " << len << " bytes, byte 192 at " << high << ", capacity "
                        << capacity;
                }
            }
        }
    }
}

TEST(XStrCopy, BoundedCopiesWriteNothingPastN)
{
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(XStr_NCopy(buf, "ab", 5), 1);
    EXPECT_EQ(std::string(buf, 6), std::string("ab\0\0\0#", 6)) << "padded with zeros, nothing past n";
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(XStr_NCopyExact(buf, "abcdef", 4), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], '#') << "nothing written past n";
    char small[4] = "zz";
    EXPECT_EQ(XStr_NCopyExact(small + 1, "abc", 0), 0) << "n below 1 would write before the buffer";
    EXPECT_STREQ(small, "zz") << "bytes around the destination untouched";
    char join[32] = "ab";
    EXPECT_EQ(XStr_NJoin(join, "efgh", 2), 1);
    EXPECT_STREQ(join, "abef") << "at most n bytes appended, terminated";
}

// The byte-string primitives that every script line goes through: each
// row is a string, and what length, last-byte search and line-end removal
// give for it.
TEST(XStrPrimitives, LengthSearchAndLineEnds)
{
    const struct {
        const char *s;
        int length;
        int lastBackslash; // offset, -1 for none
        const char *stripped;
    } rows[] = {
        {"", 0, -1, ""},
        {"copy d1 d1 f1.bin\r", 18, -1, "copy d1 d1 f1.bin"},
        {"\\Program Files\\Bulk\\d3\\f1.bin", 29, 22, "\\Program Files\\Bulk\\d3\\f1.bin"},
        {"a\r\nb\n\rc\\", 8, 7, "abc\\"},
        {"\r\n", 2, -1, ""},
        {"\xe9t\xe9\\\xff\r", 6, 3, "\xe9t\xe9\\\xff"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.s);
        EXPECT_EQ(XStr_Length(r.s), r.length);
        const char *last = XStr_FindCharRev(r.s, '\\');
        EXPECT_EQ(last ? last - r.s : -1, r.lastBackslash);
        EXPECT_EQ(XStr_FindCharRev(r.s, 0), r.s + r.length) << "the terminator is found too";
        char buf[64];
        XStr_Copy(buf, r.s);
        EXPECT_STREQ(buf, r.s);
        EXPECT_EQ(XStr_StripStringCRLFs(buf), (int)strlen(r.stripped));
        EXPECT_STREQ(buf, r.stripped);
    }
    EXPECT_EQ(XStr_Length(nullptr), 0);
    EXPECT_EQ(XStr_FindCharRev(nullptr, 'a'), nullptr);
    // Copies onto the front of their own buffer, as the trimming does.
    char shift[16] = "  abcdef";
    XStr_Copy(shift, shift + 2);
    EXPECT_STREQ(shift, "abcdef");
    char cut[16] = "xxabcdef";
    EXPECT_EQ(XStr_NCopyExact(cut, cut + 2, 4), 1);
    EXPECT_STREQ(cut, "abc");
}

TEST(XStrCompare, CaseFoldingAndAllocationFailure)
{
    EXPECT_GT(XStr_Compare("\xe0", "a"), 0) << "unsigned bytes";
    EXPECT_EQ(XStr_ICompare("ABC", "abc"), 0);
    EXPECT_NE(XStr_ICompare("\xc0", "\xe0"), 0) << "only ASCII letters fold";
    EXPECT_NE(XStr_ICompare("[", "{"), 0) << "91 and 123 are not letters";
    EXPECT_EQ(XStr_ICompareW(u"\u0416\u00c9", u"\u0436\u00e9"), 0) << "the wide form folds Cyrillic and Latin-1";
    // Equal strings would give 0: the -1 is the allocation failure.
    for (int n = 1; n <= 2; ++n) {
        plat::FaultArm(plat::FaultKind::Alloc, n);
        EXPECT_EQ(XStr_ICompare("ABC", "abc"), -1) << "allocation " << n << " fails";
        EXPECT_TRUE(plat::FaultFired(plat::FaultKind::Alloc)) << "allocation " << n << " was made";
    }
    plat::FaultArm(plat::FaultKind::Alloc, 3);
    EXPECT_EQ(XStr_ICompare("ABC", "abc"), 0) << "two allocations are enough";
    plat::FaultArm(plat::FaultKind::Alloc, 0);
    EXPECT_EQ(XStr_ICompare(nullptr, "a"), -1);
}

TEST(XStrNumbers, ParseFormatAndRefuse) {
    struct Row {
        const char *text;
        int value;
    } rows[] = {
        {"  -42abc", -42}, {"--5", 0}, {"4294967295", -1}, // wraps in unsigned 32-bit arithmetic
        {"\xb2\xb3", 0},   {"\xa0" "5", 0},                  // bytes above 127: no digit, no blank
    };
    for (const auto &r : rows)
        EXPECT_EQ(XStr_ToInteger(r.text), r.value) << "text \"" << r.text << "\"";
    int v = 0;
    EXPECT_EQ(XStr_ToIntegerRadixEx(" -a", 16, &v), 1);
    EXPECT_EQ(v, -10) << "hexadecimal";
    char buf[16] = "keep";
    EXPECT_EQ(XStr_FromIntegerRadixEx(-1, buf, 8), nullptr) << "radix 8 is refused";
    EXPECT_STREQ(buf, "keep") << "destination left alone";
    EXPECT_EQ(XStr_FromIntegerRadixEx(-1, buf, 16), buf);
    EXPECT_STREQ(buf, "ffffffff");
    XStr_FromInteger(-2147483647 - 1, buf);
    EXPECT_STREQ(buf, "-2147483648");
}

} // namespace
