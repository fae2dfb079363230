// conformance_normalize_test.cpp - the conformance runner's reading of a
// failure message (tests/conformance/normalize.h), which decides whether a
// difference from the real Win32 is one already listed.
#include <gtest/gtest.h>

#include <string>

#include "conformance/normalize.h"

namespace {

using conformance::Normalize;

TEST(ConformanceNormalize, LocationsGoHexBecomesAMarkSpacesCollapse)
{
    const struct {
        const char *message, *expected;
    } cases[] = {
        // Source locations, wherever they stand; only "name.cpp:N: " and "name.h:N: ".
        {"../tests/platform/file_io_test.cpp:120: Failure\nValue of: r", "Failure Value of: r"},
        {"a.h:1: b", "b"},
        {"x foo.cpp:12: bar.h:3: baz", "x baz"},
        {"a:b.cpp:3: c", "a:c"},
        {".cpp:1: x", ".cpp:1: x"},             // no name before the extension
        {"x.cpp:: y", "x.cpp:: y"},             // no line number
        {"x.cpp:12:y", "x.cpp:12:y"},           // no space after it
        {"x.hpp:12: y", "x.hpp:12: y"},         // another extension
        {"x.cpp 12: y", "x.cpp 12: y"},         // not joined by a colon
        // Hexadecimal words: 0x and digits, or 8 to 16 hex digits alone.
        {"handle 0x1f4 and 0xDEADbeef", "handle <hex> and <hex>"},
        {"deadbeef 1234567 123456789abcdef0 123456789abcdef01", "<hex> 1234567 <hex> 123456789abcdef01"},
        {"0x 0xg 0x12g _0x12 12345678_", "0x 0xg 0x12g _0x12 12345678_"},
        {"(0x12)=abcdef12.", "(<hex>)=<hex>."},
        // One line, single spaces, none at the ends.
        {"  a\t\tb\r\n  c  ", "a b c"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Normalize(c.message), c.expected) << c.message;
}

// A message with a very long word (a dumped buffer) is read in one pass:
// the regular expressions it replaced recursed once a character and
// overflowed the stack on it.
TEST(ConformanceNormalize, LongWordsAreReadInOnePass)
{
    std::string word(1 << 20, 'q');
    EXPECT_EQ(Normalize("x " + word + ".cpp:7: y"), "x y");
    EXPECT_EQ(Normalize(word + " 0x1").size(), word.size() + 6);
}

} // namespace
