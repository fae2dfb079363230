// xstr_number_test.cpp - integers and doubles from byte strings and back,
// and the character classes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/xstr.h"

namespace {

TEST(XStrToInteger, DecimalAndHexadecimal) {
    struct Row {
        const char *text;
        int value;
    } rows[] = {
        {"  -42abc", -42}, {"abc", 0}, {"+7", 7}, {"\t\n\v\f\r 12", 12}, {"--5", 0},
        {"4294967295", -1}, // wraps in unsigned 32-bit arithmetic
        {"\xb2\xb3", 0},    // superscript digits above 127 are not digits
        {"\xa0" "5", 0},    // no-break space above 127 is not white space
    };
    for (const auto &r : rows) {
        EXPECT_EQ(XStr_ToInteger(r.text), r.value) << "text \"" << r.text << "\"";
        int v = 12345;
        EXPECT_EQ(XStr_ToIntegerEx(r.text, &v), 1);
        EXPECT_EQ(v, r.value) << "Ex form of \"" << r.text << "\"";
    }
    const Row hex[] = {
        {"FF", 255}, {"0x1F", 0}, {"1f", 31}, {" -a", -10}, {"123456789", 0x23456789}, {"7fz", 127},
    };
    for (const auto &r : hex) {
        int v = 12345;
        EXPECT_EQ(XStr_ToIntegerRadixEx(r.text, 16, &v), 1);
        EXPECT_EQ(v, r.value) << "hex text \"" << r.text << "\"";
    }
    int v = 0;
    XStr_ToIntegerRadixEx("ff", 8, &v);
    EXPECT_EQ(v, 0) << "every radix but 16 is decimal";
    EXPECT_EQ(XStr_ToIntegerRadixEx("5", 10, nullptr), 1) << "out argument may be null";
}

TEST(XStrToFloat, IntegerPartOnly) {
    struct Row {
        const char *text;
        double value;
    } rows[] = {
        {"12.75", 12.0}, {" -3e5", -3.0}, {"+0.5", 0.0},
        {"99999999999", 99999999999.0}, // no 32-bit wrap for doubles
    };
    for (const auto &r : rows) {
        EXPECT_DOUBLE_EQ(XStr_ToFloat(r.text), r.value) << "text \"" << r.text << "\"";
        double d = -1;
        EXPECT_EQ(XStr_ToFloatEx(r.text, &d), 1);
        EXPECT_DOUBLE_EQ(d, r.value) << "Ex form of \"" << r.text << "\"";
    }
}

TEST(XStrFromInteger, DecimalHexAndBack) {
    struct Row {
        int value;
        int radix;
        const char *text;
    } rows[] = {
        {-1, 10, "-1"}, {-2147483647 - 1, 10, "-2147483648"}, {-1, 16, "ffffffff"}, {255, 16, "ff"},
    };
    for (const auto &r : rows) {
        char buf[100];
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(XStr_FromIntegerRadixEx(r.value, buf, r.radix), buf);
        EXPECT_STREQ(buf, r.text) << r.value << " radix " << r.radix;
    }
    char buf[16] = "keep";
    EXPECT_EQ(XStr_FromIntegerRadixEx(-1, buf, 8), nullptr) << "radix 8 is refused";
    EXPECT_STREQ(buf, "keep") << "destination left alone";
    EXPECT_EQ(XStr_FromInteger(-42, buf), buf);
    EXPECT_STREQ(buf, "-42");

    const int values[] = {0, -1, 2147483647, -2147483647 - 1};
    for (int v : values) {
        XStr_FromInteger(v, buf);
        EXPECT_EQ(XStr_ToInteger(buf), v) << "decimal text " << buf;
        int h = 0;
        XStr_FromIntegerRadixEx(v, buf, 16);
        XStr_ToIntegerRadixEx(buf, 16, &h);
        EXPECT_EQ(h, v) << "hex text " << buf;
    }
}

TEST(XStrClasses, ByteAndUnitClasses) {
    for (int c = 0; c < 256; ++c) {
        bool english = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        bool russian = c >= 192 || c == 168 || c == 184;
        bool digit = c >= '0' && c <= '9';
        EXPECT_EQ(XStr_IsAnsiEnglish((unsigned char)c) != 0, english) << "byte " << c;
        EXPECT_EQ(XStr_IsAnsiRussian((unsigned char)c) != 0, russian) << "byte " << c;
        EXPECT_EQ(XStr_IsDigit((unsigned char)c) != 0, digit) << "byte " << c;
    }
    struct Row {
        unsigned int unit;
        bool english, russian, digit;
    } rows[] = {
        {0x41, true, false, false},    {0x7A, true, false, false},    {0x40, false, false, false},
        {0x0410, false, true, false},  {0x044F, false, true, false},  {0x0401, false, true, false},
        {0x0400, false, false, false}, {0x0450, false, false, false}, {0x30, false, false, true},
        {0x39, false, false, true},    {0xFF10, false, false, false},
        {0x10041, true, false, false}, // only the low 16 bits count
    };
    for (const auto &r : rows) {
        EXPECT_EQ(XStr_IsUnicodeEnglish(r.unit) != 0, r.english) << std::hex << r.unit;
        EXPECT_EQ(XStr_IsUnicodeRussian(r.unit) != 0, r.russian) << std::hex << r.unit;
        EXPECT_EQ(XStr_IsDigitW(r.unit) != 0, r.digit) << std::hex << r.unit;
    }
}

} // namespace
