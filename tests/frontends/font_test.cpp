// font_test.cpp - the dialog font is set tightly enough that the
// templates' texts fit their controls; it is drawn in grey levels with
// even spacing, and captions in bold.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "gdi/font.h"
#include "gdi/gdi.h"
#include "gdi/screen.h"

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

// Text drawn in black on white in a bitmap, as rows of ink (255 - green).
struct Ink {
    int width = 0, height = 0;
    std::vector<int> at; // width * height
    int Column(int x) const
    {
        int sum = 0;
        for (int y = 0; y < height; ++y)
            sum += at[size_t(y) * size_t(width) + size_t(x)];
        return sum;
    }
};

Ink Drawn(const std::u16string &text, bool bold, int x = 3)
{
    Ink ink;
    ink.width = 240;
    ink.height = 13;
    HDC dc = CreateCompatibleDC(0);
    HBITMAP bmp = CreateBitmap(ink.width, ink.height, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    plat::GdiFill(dc, RECT{0, 0, ink.width, ink.height}, RGB(255, 255, 255));
    plat::GdiText(dc, x, 0, text, RGB(0, 0, 0), bold);
    for (int y = 0; y < ink.height; ++y)
        for (int px = 0; px < ink.width; ++px)
            ink.at.push_back(255 - int(GetGValue(GetPixel(dc, px, y))));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return ink;
}

class FontDrawn : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        if (!cetest::HostExists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
            GTEST_SKIP() << "fonts-dejavu-core is not installed";
        DeviceFixture::SetUp();
    }
};

// Each letter sits where its design width puts it, to a quarter pixel: the
// ink's centres of equal letters are equally far apart (pens rounded to
// whole pixels make them hop by a pixel), and edges are grey levels.
TEST_F(FontDrawn, GreyLevelsAndEvenSpacing)
{
    for (const char16_t *letter : {u"l", u"i", u"I", u"o"}) {
        SCOPED_TRACE(cetest::U8(letter));
        std::u16string pair = std::u16string(letter) + u" ";
        std::u16string text;
        for (int k = 0; k < 12; ++k)
            text += pair;
        Ink ink = Drawn(text, false);
        // The ink's centre of each group of inked columns.
        std::vector<double> centres;
        double mass = 0, moment = 0;
        for (int x = 0; x <= ink.width; ++x) {
            int c = x < ink.width ? ink.Column(x) : 0;
            if (c > 0) {
                mass += c;
                moment += c * (x + 0.5);
            } else if (mass > 0) {
                centres.push_back(moment / mass);
                mass = moment = 0;
            }
        }
        ASSERT_EQ(centres.size(), 12u) << "one group of ink a letter";
        double step = plat::GdiTextWidth(text) / 12.0;
        for (size_t k = 1; k < centres.size(); ++k)
            EXPECT_NEAR(centres[k] - centres[k - 1], step, 0.3) << "letter " << k;
        int grey = 0;
        for (int v : ink.at)
            grey += v > 0 && v < 255;
        EXPECT_GT(grey, 12) << "edges drawn in grey levels";
    }
}

// Bold is darker and wider, by as much as its pen says; captions are bold.
TEST_F(FontDrawn, BoldIsDarkerAndWiderAndCaptionsAreBold)
{
    const std::u16string text = u"Destination Folder";
    Ink regular = Drawn(text, false), bold = Drawn(text, true);
    auto total = [](const Ink &i) {
        long sum = 0;
        for (int v : i.at)
            sum += v;
        return sum;
    };
    auto extent = [](const Ink &i) {
        int last = -1;
        for (int x = 0; x < i.width; ++x)
            if (i.Column(x) > 0)
                last = x;
        return last + 1;
    };
    EXPECT_GT(total(bold), total(regular) * 5 / 4) << "bold has more ink";
    EXPECT_GT(plat::GdiTextWidth(text, true), plat::GdiTextWidth(text) + 4);
    EXPECT_NEAR(extent(bold) - 3, plat::GdiTextWidth(text, true), 2.0) << "bold ink ends where its pen does";

    HWND w = CreateWindowExW(0, u"Static", text.c_str(), WS_CAPTION | WS_VISIBLE, 0, 0, 240, 60, 0, 0, 0, nullptr);
    ASSERT_NE(w, HWND(0));
    UpdateWindow(w);
    RECT wr{};
    GetWindowRect(w, &wr);
    // The caption's text, white on the active caption's blue: its ink is
    // the red channel, right of the caption's left edge.
    int last = -1;
    for (int x = wr.left; x < wr.right; ++x)
        for (int y = wr.top + 2; y < wr.top + 22; ++y)
            if (GetRValue(plat::ScreenPixel(x, y)) > 40 && GetBValue(plat::ScreenPixel(x, y)) > 40 &&
                x < wr.right - 20)
                last = x;
    EXPECT_GT(last - wr.left, plat::GdiTextWidth(text) + 6) << "the caption's text is as wide as bold text";
    DestroyWindow(w);
}

// The glyph table made at build time gives exactly the glyphs FreeType
// makes from the font file: every ASCII character at every phase in both
// faces is read once from the table (the default font) and once made by
// FreeType from a copy of the file one byte longer, which the table does
// not name. Text measured after the font file changed is the new font's:
// the glyphs kept at hand are looked up again.
TEST(DialogFont, TheBuiltGlyphTableIsWhatFreeTypeMakesAndAChangedFontIsUsed)
{
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const char *mono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
    if (!cetest::HostExists(font) || !cetest::HostExists(mono))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    cetest::TempDir dir;
    const std::string longer = dir.path + "/longer.ttf";
    cetest::WriteHostFile(longer, cetest::ReadHostFile(font) + std::string(1, '\0'));
    // Each glyph written out whole: its box, advance and cover.
    auto all = [] {
        std::string out;
        for (unsigned c = plat::kFontTableFirst; c <= plat::kFontTableLast; ++c)
            for (int phase = 0; phase < plat::kGlyphPhases; ++phase)
                for (bool bold : {false, true}) {
                    const plat::FontGlyph *g = plat::OutlineFontGlyph(char16_t(c), phase, bold);
                    if (!g)
                        return std::string("no glyph");
                    out += std::to_string(c) + ":" + std::to_string(g->advance64) + "," + std::to_string(g->left) +
                           "," + std::to_string(g->top) + "," + std::to_string(g->width) + "," +
                           std::to_string(g->height) + ":";
                    out.append(g->cover.begin(), g->cover.begin() + g->width * g->height);
                }
        return out;
    };
    const char *before = std::getenv("CE_DIALOG_FONT");
    std::string saved = before ? before : "";
    auto use = [](const char *file) {
        if (file)
            setenv("CE_DIALOG_FONT", file, 1);
        else
            unsetenv("CE_DIALOG_FONT");
        plat::FontReset();
    };
    use(nullptr);
    ASSERT_TRUE(plat::FontUsesTable()) << "the table names the default font file";
    int pixels = plat::FontPixelSize();
    std::string fromTable = all();
    // In the proportional font a run of i is much narrower than of m; in
    // the monospaced one they are alike.
    int narrow = plat::GdiTextWidth(u"iiiiiiii"), wide = plat::GdiTextWidth(u"mmmmmmmm");
    use(longer.c_str());
    EXPECT_FALSE(plat::FontUsesTable()) << "another file";
    EXPECT_EQ(plat::FontPixelSize(), pixels);
    std::string fromFreeType = all();
    use(mono);
    int monoNarrow = plat::GdiTextWidth(u"iiiiiiii"), monoWide = plat::GdiTextWidth(u"mmmmmmmm");
    use(before ? saved.c_str() : nullptr);
    ASSERT_EQ(fromTable.size(), fromFreeType.size());
    EXPECT_TRUE(fromTable == fromFreeType);
    EXPECT_LT(narrow * 3, wide * 2) << narrow << " against " << wide;
    EXPECT_EQ(monoNarrow, monoWide);
    EXPECT_EQ(plat::GdiTextWidth(u"iiiiiiii"), narrow) << "back to the first font";
}
} // namespace
