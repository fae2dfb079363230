// xstr_number_test.cpp - integers from byte strings and back.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/xstr.h"

namespace {

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
