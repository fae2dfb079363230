// font.h - the dialog font: glyphs of an outline font (DejaVu Sans, standing
// in for the device's dialog font) rasterised by FreeType without
// smoothing, so that text pixels keep exact colours. The font is sized so
// that its average character is 6 pixels wide, on lines 13 pixels high: the
// 6 x 13 base units of the dialog templates. Pens move by the font's design
// widths: hinting rounds each small glyph's advance up, which would set a
// line about a tenth wider than the device font and cut the templates'
// texts short.
#ifndef CE_PLATFORM_FONT_H
#define CE_PLATFORM_FONT_H

#include <cstdint>
#include <vector>

namespace plat {

// One run of drawn pixels of a glyph: row and columns [x0, x1) from the pen
// at the line's top.
struct GlyphRun {
    int row;
    int x0, x1;
};

struct FontGlyph {
    int advance64 = 0;       // pen movement in 1/64 pixels
    int left = 0, top = 0;   // bitmap position from the pen at the line's top
    int width = 0, height = 0;
    std::vector<uint8_t> on; // width * height, 1 where the glyph is drawn
    std::vector<GlyphRun> runs; // the same pixels as row runs, for drawing
};

// The glyph of ch from the outline font (font.cpp), or null when the font
// file cannot be used. Glyphs are made once and kept.
const FontGlyph *OutlineFontGlyph(char16_t ch);

// The pixel size chosen for the outline font (0 when there is no font).
int FontPixelSize();

// Where GdiText takes its glyphs: the outline font installs itself here
// when a program links it (the programs and tests do; the support library
// does not, so it needs no font library). Without a source, or when it
// gives null, the built-in glyphs are drawn.
using GlyphSource = const FontGlyph *(*)(char16_t ch);
void GdiSetGlyphSource(GlyphSource source);

} // namespace plat

#endif
