// font_test.cpp - the dialog font: sized to the 6 x 13 base units (the
// average letter 6 pixels wide, every glyph inside a 13-pixel line), drawn
// in one colour, made once per character, and set tightly enough that the
// templates' texts fit their controls.
#include <gtest/gtest.h>

#include <string>

#include "helpers/testdevice.h"
#include "internal/font.h"
#include "internal/gdi.h"

namespace {

TEST(DialogFont, GlyphsFitTheSixByThirteenBaseUnitsInOneColour)
{
    if (!cetest::HostExists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    ASSERT_GT(plat::FontPixelSize(), 0) << "the font file was loaded";
    long total = 0; // 1/64 pixels
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        const plat::FontGlyph *upper = plat::FontGetGlyph(c), *lower = plat::FontGetGlyph(char16_t(c + 32));
        ASSERT_NE(upper, nullptr);
        ASSERT_NE(lower, nullptr);
        total += upper->advance64 + lower->advance64;
    }
    double average = total / 64.0 / 52;
    EXPECT_LE(average, 6.0) << "average advance of A-Z a-z";
    EXPECT_GE(average, 5.0) << "not smaller than needed";

    for (char16_t c = 0x21; c < 0x7F; ++c) {
        SCOPED_TRACE(std::string("'") + char(c) + "'");
        const plat::FontGlyph *g = plat::FontGetGlyph(c);
        ASSERT_NE(g, nullptr);
        int on = 0;
        for (uint8_t b : g->on) {
            EXPECT_LE(b, 1) << "one colour only";
            on += b;
        }
        EXPECT_GT(on, 0) << "draws something";
        EXPECT_GE(g->top, 0) << "starts inside the line";
        EXPECT_LE(g->top + g->height, 13) << "ends inside the 13-pixel line";
        EXPECT_GT(g->advance64, 0) << "moves the pen";
        EXPECT_EQ(g->on.size(), size_t(g->width) * size_t(g->height));
    }
    const plat::FontGlyph *space = plat::FontGetGlyph(u' ');
    ASSERT_NE(space, nullptr);
    EXPECT_GT(space->advance64, 0) << "a blank moves the pen";
    for (uint8_t b : space->on)
        EXPECT_EQ(b, 0) << "a blank draws nothing";
    EXPECT_EQ(plat::FontGetGlyph(u'W'), plat::FontGetGlyph(u'W')) << "a glyph is made once and kept";
}

// The destination page's text control is 132 dialog units (198 pixels)
// wide and three lines high: its text fits there on the device. Advances
// rounded per glyph by hinting made each of these lines too wide, and the
// page lost its last words.
TEST(DialogFont, TheDestinationPageTextFitsItsControl)
{
    if (!cetest::HostExists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    for (const char16_t *line : {u"Setup will install application files in the",
                                 u"following destination folder on the PDA.",
                                 u"Tap Continue to proceed with this folder."})
        EXPECT_LE(plat::GdiTextWidth(line), 132 * 6 / 4) << cetest::U8(line);
}

} // namespace
