// font.h - the dialog font: glyphs of an outline font (DejaVu Sans, standing
// in for the device's dialog font) rasterised by FreeType in grey levels.
// The font is sized so that its average character is 6 pixels wide, on
// lines 13 pixels high: the 6 x 13 base units of the dialog templates.
//
// Pens move by the font's design widths, in 1/64 pixels, and each glyph is
// made for the quarter pixel the pen stands at (hinted only vertically, so
// stems stay crisp on the rows without moving the letters sideways): the
// spacing is even and a line is as long as its design. Hinted advances
// would round each small glyph's width up, setting a line about a tenth
// wider than the device font and cutting the templates' texts short.
#ifndef CE_PLATFORM_FONT_H
#define CE_PLATFORM_FONT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

// A glyph as grey levels: how much of each pixel of its box the glyph
// covers, 0 (none) to 255 (all), the box placed from the pen at the
// line's top.
struct FontGlyph {
    int advance64 = 0;        // pen movement in 1/64 pixels
    int left = 0, top = 0;    // box position from the pen at the line's top
    int width = 0, height = 0;
    // width * height, rows top-down, then kGlyphSlack bytes of 0 so that a
    // row may be read 16 bytes at a time.
    std::vector<uint8_t> cover;
    // Each row's covered columns [from, to) (from == to: none).
    std::vector<uint8_t> from, to;
    // The rows again, each padded with 0 to stride bytes (a multiple of
    // 16): a glyph drawn whole adds its rows 16 bytes at a time, with no
    // spans to look up nor lanes to mask.
    int stride = 0;
    std::vector<uint8_t> padded;
};

constexpr int kGlyphSlack = 16;

// Sets a glyph's slack and row spans once its cover is drawn.
inline void FontGlyphFinish(FontGlyph &g)
{
    size_t n = size_t(g.width) * size_t(g.height);
    g.cover.resize(n + kGlyphSlack, 0);
    g.from.assign(size_t(g.height), 0);
    g.to.assign(size_t(g.height), 0);
    for (int y = 0; y < g.height; ++y) {
        const uint8_t *row = &g.cover[size_t(y) * size_t(g.width)];
        int a = 0, b = g.width;
        while (a < b && !row[a])
            ++a;
        while (b > a && !row[b - 1])
            --b;
        g.from[size_t(y)] = uint8_t(a);
        g.to[size_t(y)] = uint8_t(b);
    }
    g.stride = (g.width + 15) & ~15;
    g.padded.assign(size_t(g.stride) * size_t(g.height), 0);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            g.padded[size_t(y) * size_t(g.stride) + size_t(x)] = g.cover[size_t(y) * size_t(g.width) + size_t(x)];
}

// Pen positions within a pixel that glyphs are made for (quarter pixels).
constexpr int kGlyphPhases = 4;

// The glyph of ch from the outline font (font.cpp) for a pen standing
// phase / kGlyphPhases of a pixel right of a pixel's edge, in the bold
// face (captions) or the regular one; null when the font file cannot be
// used. Glyphs are made once and kept.
const FontGlyph *OutlineFontGlyph(char16_t ch, int phase, bool bold);

// The pixel size chosen for the outline font (0 when there is no font).
int FontPixelSize();

// The ASCII glyphs (controls too: a line break measured is a glyph) of the
// default font made at build time, for
// the font file they were made from: a run whose font file is that one
// takes them from the table instead of loading and hinting each with
// FreeType (most of a short run's painting). Any other character, or
// another font file, goes through FreeType as before.
struct FontTableGlyph {
    int advance64, left, top, width, height;
    unsigned offset; // of its cover in FontTable::cover
};
struct FontTable {
    // The font file: its size and its head table's checksum adjustment
    // and revision (what a new version of the file changes).
    unsigned long long fileSize;
    unsigned checksumAdjustment, revision;
    int pixels;
    // kFontTableFirst to kFontTableLast, each at kGlyphPhases phases,
    // regular then bold: glyphs[((ch - first) * kGlyphPhases + phase) * 2 + bold].
    const FontTableGlyph *glyphs;
    const uint8_t *cover;
};
constexpr char16_t kFontTableFirst = 0, kFontTableLast = 0x7E;
// Installs the table (the generated table does, when a program links it).
void FontInstallTable(const FontTable *table);
// A font file's identity as a table names it; false when the file is not
// a TrueType or OpenType font.
bool FontFileIdentity(const char *path, unsigned long long &size, unsigned &checksumAdjustment,
                      unsigned &revision);
// The font file a run uses: CE_DIALOG_FONT, else the default.
const char *FontFilePath();
// Whether glyphs come from the table (the font file is the one it was made
// from).
bool FontUsesTable();
// Looks at the font file again at the next glyph (a test changing
// CE_DIALOG_FONT). Glyphs already handed out stay valid.
void FontReset();

// Where GdiText takes its glyphs: the outline font installs itself here
// when a program links it (the programs and tests do; the support library
// does not, so it needs no font library). Without a source, or when it
// gives null, the built-in glyphs are drawn.
using GlyphSource = const FontGlyph *(*)(char16_t ch, int phase, bool bold);
void GdiSetGlyphSource(GlyphSource source);
// Glyphs found so far are looked up in the source again (the source's
// font changed); those handed out stay valid.
void GdiForgetGlyphs();

} // namespace plat

#endif
