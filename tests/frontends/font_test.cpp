// font_test.cpp - the dialog font is set tightly enough that the
// templates' texts fit their controls.
#include <gtest/gtest.h>

#include <string>

#include "helpers/testdevice.h"
#include "gdi/gdi.h"

namespace {

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
