// xstr_basic_test.cpp - byte-string primitives: bounded copies, comparisons
// (the case-insensitive one under allocation failures) and integers from
// text and back.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "internal/faults.h"
#include "support/xstr.h"

namespace {

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
