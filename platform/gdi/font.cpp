// font.cpp - the dialog font through FreeType: DejaVu Sans (Debian's
// fonts-dejavu-core) rasterised in grey levels, sized to the 6 x 13 dialog
// base units; the bold face is the same outlines made wider (so that any
// font file given has one). CE_DIALOG_FONT names another font file; when
// none can be loaded the GDI draws its built-in glyphs instead.
#include "gdi/font.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_GLYPH_H
#include FT_OUTLINE_H

namespace plat {
namespace {

constexpr int kLineHeight = 13;
// How much wider bold strokes are, in 1/64 pixels; the pen moves as much
// further. Two thirds of a pixel: a stem of the regular face at this size
// is about one pixel.
constexpr int kBold64 = 42;
constexpr const char *kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Font {
    bool tried = false;
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    int pixels = 0;
    int ascent = 0;
    // Keyed by character, phase and face.
    std::unordered_map<uint32_t, FontGlyph> glyphs;
    // Each character's hinted outline (made bold for the bold face) and its
    // advance, keyed by character and face: a character is drawn at up to
    // four phases, and loading and hinting it is most of a glyph's cost.
    struct Outline {
        FT_Glyph glyph = nullptr; // null: nothing to draw
        int advance64 = 0;
    };
    std::unordered_map<uint32_t, Outline> outlines;
};

// The outline of ch in the face (f's lock held).
const Font::Outline &OutlineOf(Font &f, char16_t ch, bool bold)
{
    uint32_t key = uint32_t(ch) << 1 | (bold ? 1u : 0u);
    auto it = f.outlines.find(key);
    if (it != f.outlines.end())
        return it->second;
    Font::Outline o;
    FT_Face face = f.face;
    // Light hinting fits the outlines to the rows only: the letters keep
    // their design places across, so a line reads evenly.
    if (FT_Load_Char(face, ch, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_GlyphSlot s = face->glyph;
        // linearHoriAdvance is 16.16; the pen counts 1/64 pixels.
        o.advance64 = int((s->linearHoriAdvance + 512) >> 10);
        if (bold) {
            FT_Outline_EmboldenXY(&s->outline, kBold64, 0);
            o.advance64 += kBold64;
        }
        if (FT_Get_Glyph(s, &o.glyph) != 0)
            o.glyph = nullptr;
    }
    return f.outlines.emplace(key, o).first->second;
}

std::mutex g_lock;
Font g_font;

// The design width of ch at the current size, in 1/64 pixels: the
// linear advance a load of the glyph gives, read from the font's metrics
// without loading the glyph.
long Advance64(FT_Face face, char16_t ch)
{
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face, FT_Get_Char_Index(face, ch), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP, &advance))
        return 0;
    return long((advance + 512) >> 10);
}

// Opens the font once and picks the largest size whose average width of
// the letters A-Z a-z is at most 6 pixels (the letters the base units are
// measured with).
bool Open(Font &f)
{
    if (f.tried)
        return f.face != nullptr;
    f.tried = true;
    std::string path = FontFilePath();
    if (FT_Init_FreeType(&f.lib))
        return false;
    if (FT_New_Face(f.lib, path.c_str(), 0, &f.face)) {
        f.face = nullptr;
        FT_Done_FreeType(f.lib);
        f.lib = nullptr;
        return false;
    }
    for (int px = 13; px >= 8; --px) {
        FT_Set_Pixel_Sizes(f.face, 0, FT_UInt(px));
        long total64 = 0;
        for (char16_t c = u'A'; c <= u'Z'; ++c)
            total64 += Advance64(f.face, c) + Advance64(f.face, char16_t(c + 32));
        if (total64 <= 6L * 52 * 64) {
            f.pixels = px;
            break;
        }
    }
    if (!f.pixels)
        f.pixels = 8;
    FT_Set_Pixel_Sizes(f.face, 0, FT_UInt(f.pixels));
    int asc = int(f.face->size->metrics.ascender >> 6);
    int desc = -int(f.face->size->metrics.descender >> 6);
    // The glyphs sit in the middle of the 13-pixel line.
    f.ascent = asc + (kLineHeight - asc - desc) / 2;
    return true;
}

// Cover raised a little (a gamma of 1.25): a stem that the sub-pixel pen
// splits over two pixels would otherwise read pale at this small size.
struct Levels {
    uint8_t of[256];
    Levels()
    {
        for (int i = 0; i < 256; ++i)
            of[i] = uint8_t(std::lround(255.0 * std::pow(i / 255.0, 0.8)));
    }
};

const Levels &CoverLevels()
{
    static const Levels levels;
    return levels;
}

// Constant-initialised: the generated table installs itself from a static
// initialiser.
const FontTable *g_table = nullptr;

// The installed table when it was made from the font file this run uses
// (looked at once, the font's lock held); else null.
int g_usable = -1; // the table: -1 not looked at yet, 0 not usable, 1 usable

const FontTable *UsableTable()
{
    int &usable = g_usable;
    if (usable < 0) {
        unsigned long long size = 0;
        unsigned checksum = 0, revision = 0;
        usable = g_table && g_table->fileSize && FontFileIdentity(FontFilePath(), size, checksum, revision) &&
                 size == g_table->fileSize && checksum == g_table->checksumAdjustment &&
                 revision == g_table->revision;
    }
    return usable ? g_table : nullptr;
}

uint32_t Be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

const char *FontFilePath()
{
    const char *env = std::getenv("CE_DIALOG_FONT");
    return env && *env ? env : kDefaultFont;
}

bool FontFileIdentity(const char *path, unsigned long long &size, unsigned &checksumAdjustment, unsigned &revision)
{
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return false;
    bool ok = false;
    uint8_t head[12];
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long end = std::ftell(f);
        size = end > 0 ? (unsigned long long)end : 0;
    }
    // The table directory: sfnt version, table count, then 16-byte records
    // (tag, checksum, offset, length); 'head' holds the font's revision at
    // 4 and its checksum adjustment at 8.
    if (size >= 12 && std::fseek(f, 0, SEEK_SET) == 0 && std::fread(head, 1, 12, f) == 12) {
        uint32_t version = Be32(head);
        unsigned tables = unsigned(head[4]) << 8 | head[5];
        for (unsigned i = 0; i < tables && (version == 0x00010000u || version == 0x4F54544Fu); ++i) {
            uint8_t rec[16];
            if (std::fread(rec, 1, 16, f) != 16)
                break;
            if (std::memcmp(rec, "head", 4) != 0)
                continue;
            uint8_t h[12];
            if (std::fseek(f, long(Be32(rec + 8)), SEEK_SET) == 0 && std::fread(h, 1, 12, f) == 12) {
                revision = Be32(h + 4);
                checksumAdjustment = Be32(h + 8);
                ok = true;
            }
            break;
        }
    }
    std::fclose(f);
    return ok;
}

void FontInstallTable(const FontTable *table)
{
    g_table = table;
}

bool FontUsesTable()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return UsableTable() != nullptr;
}

void FontReset()
{
    std::lock_guard<std::mutex> guard(g_lock);
    // The old font is kept whole: its glyphs may still be in use.
    static std::vector<Font *> retired;
    retired.push_back(new Font(std::move(g_font)));
    g_font = Font{};
    g_usable = -1;
    GdiForgetGlyphs(); // drawing keeps the last glyphs at hand
}

const FontGlyph *OutlineFontGlyph(char16_t ch, int phase, bool bold)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (phase < 0 || phase >= kGlyphPhases)
        return nullptr;
    uint32_t key = uint32_t(ch) << 8 | uint32_t(phase) << 1 | (bold ? 1u : 0u);
    auto it = g_font.glyphs.find(key);
    if (it != g_font.glyphs.end())
        return &it->second;
    FontGlyph g;
    if (const FontTable *t = ch <= kFontTableLast ? UsableTable() : nullptr) {
        const FontTableGlyph &e = t->glyphs[((ch - kFontTableFirst) * kGlyphPhases + phase) * 2 + (bold ? 1 : 0)];
        g.advance64 = e.advance64;
        g.left = e.left;
        g.top = e.top;
        g.width = e.width;
        g.height = e.height;
        g.cover.assign(t->cover + e.offset, t->cover + e.offset + size_t(e.width) * size_t(e.height));
        FontGlyphFinish(g);
        return &g_font.glyphs.emplace(key, std::move(g)).first->second;
    }
    if (!Open(g_font))
        return nullptr;
    const Font::Outline &o = OutlineOf(g_font, ch, bold);
    g.advance64 = o.advance64;
    FT_Glyph copy = nullptr;
    if (o.glyph && FT_Glyph_Copy(o.glyph, &copy) == 0) {
        FT_Outline_Translate(&reinterpret_cast<FT_OutlineGlyph>(copy)->outline, phase * 64 / kGlyphPhases, 0);
        // Rendered as the glyph slot would render it (the same renderer,
        // through a slot of its own).
        if (FT_Glyph_To_Bitmap(&copy, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0) {
            const FT_Bitmap &bm = reinterpret_cast<FT_BitmapGlyph>(copy)->bitmap;
            if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                g.left = reinterpret_cast<FT_BitmapGlyph>(copy)->left;
                g.top = g_font.ascent - reinterpret_cast<FT_BitmapGlyph>(copy)->top;
                g.width = int(bm.width);
                g.height = int(bm.rows);
                g.cover.resize(size_t(g.width) * size_t(g.height));
                const Levels &lv = CoverLevels();
                for (int y = 0; y < g.height; ++y)
                    for (int x = 0; x < g.width; ++x)
                        g.cover[size_t(y) * size_t(g.width) + size_t(x)] = lv.of[bm.buffer[y * bm.pitch + x]];
            }
        }
    }
    if (copy)
        FT_Done_Glyph(copy);
    // Wider glyphs than a row span can hold are drawn empty, not cut.
    if (g.width > 255) {
        g.width = g.height = 0;
        g.cover.clear();
    }
    FontGlyphFinish(g);
    return &g_font.glyphs.emplace(key, std::move(g)).first->second;
}

int FontPixelSize()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (const FontTable *t = UsableTable())
        return t->pixels;
    return Open(g_font) ? g_font.pixels : 0;
}

namespace {
// Linking this file is what installs the outline font.
const bool g_installed = (GdiSetGlyphSource(OutlineFontGlyph), true);
} // namespace

} // namespace plat
