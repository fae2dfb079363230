// gdi.cpp - GDI objects and drawing: device contexts, bitmaps, brushes,
// stock objects, fills, BitBlt, pixels, text, icons and font families.
//
// A memory DC draws into its selected bitmap; a window DC into the screen
// framebuffer, inside its visible clip (worked out once by the window
// manager when the DC is made). Drawing goes by row spans, the surface
// resolved once per call, onto pixel stores that keep rows of one-colour
// runs as runs (pixels.h). Colours are COLORREF values everywhere, on the
// screen too, so a colour written is the colour read back.
// System colours and FillRect's brush indices belong to the window manager
// (paint.cpp): this area calls nothing of it.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>
#include <mutex>

#include "kernel/device.h"
#include "kernel/faults.h"
#include "kernel/pool.h"
#include "kernel/threadlock.h"
#include "gdi/font.h"
#include "gdi/gdi.h"
#include "gdi/screen.h"
#include "text/text.h"
#include "gdi/region.h"

namespace plat {
namespace {

std::mutex g_stockLock;
HGDIOBJ g_stock[16] = {};
// The objects behind the cached handles: after the handle table was reset
// (a new device) a handle value may name another object.
std::shared_ptr<HandleObject> g_stockObj[16];

// The built-in text font: lines 13 pixels high (the dialog base unit),
// glyphs of at most 5 x 7 drawn from a small pattern per character.
constexpr int kCellH = 13;

// Glyph rows (5 bits each, bit 4 the leftmost column) for the printable
// ASCII range; other characters use the '?' glyph.
const uint8_t kGlyphs[95][7] = {
    {0, 0, 0, 0, 0, 0, 0},                                   // ' '
    {4, 4, 4, 4, 4, 0, 4},                                   // !
    {10, 10, 0, 0, 0, 0, 0},                                 // "
    {10, 31, 10, 10, 10, 31, 10},                            // #
    {4, 15, 20, 14, 5, 30, 4},                               // $
    {25, 25, 2, 4, 8, 19, 19},                               // %
    {8, 20, 20, 8, 21, 18, 13},                              // &
    {4, 4, 0, 0, 0, 0, 0},                                   // '
    {2, 4, 8, 8, 8, 4, 2},                                   // (
    {8, 4, 2, 2, 2, 4, 8},                                   // )
    {0, 4, 21, 14, 21, 4, 0},                                // *
    {0, 4, 4, 31, 4, 4, 0},                                  // +
    {0, 0, 0, 0, 4, 4, 8},                                   // ,
    {0, 0, 0, 31, 0, 0, 0},                                  // -
    {0, 0, 0, 0, 0, 0, 4},                                   // .
    {1, 1, 2, 4, 8, 16, 16},                                 // /
    {14, 17, 19, 21, 25, 17, 14},                            // 0
    {4, 12, 4, 4, 4, 4, 14},                                 // 1
    {14, 17, 1, 2, 4, 8, 31},                                // 2
    {31, 2, 4, 2, 1, 17, 14},                                // 3
    {2, 6, 10, 18, 31, 2, 2},                                // 4
    {31, 16, 30, 1, 1, 17, 14},                              // 5
    {6, 8, 16, 30, 17, 17, 14},                              // 6
    {31, 1, 2, 4, 8, 8, 8},                                  // 7
    {14, 17, 17, 14, 17, 17, 14},                            // 8
    {14, 17, 17, 15, 1, 2, 12},                              // 9
    {0, 0, 4, 0, 0, 4, 0},                                   // :
    {0, 0, 4, 0, 4, 4, 8},                                   // ;
    {2, 4, 8, 16, 8, 4, 2},                                  // <
    {0, 0, 31, 0, 31, 0, 0},                                 // =
    {8, 4, 2, 1, 2, 4, 8},                                   // >
    {14, 17, 1, 2, 4, 0, 4},                                 // ?
    {14, 17, 1, 13, 21, 21, 14},                             // @
    {14, 17, 17, 31, 17, 17, 17},                            // A
    {30, 17, 17, 30, 17, 17, 30},                            // B
    {14, 17, 16, 16, 16, 17, 14},                            // C
    {28, 18, 17, 17, 17, 18, 28},                            // D
    {31, 16, 16, 30, 16, 16, 31},                            // E
    {31, 16, 16, 30, 16, 16, 16},                            // F
    {14, 17, 16, 23, 17, 17, 15},                            // G
    {17, 17, 17, 31, 17, 17, 17},                            // H
    {14, 4, 4, 4, 4, 4, 14},                                 // I
    {7, 2, 2, 2, 2, 18, 12},                                 // J
    {17, 18, 20, 24, 20, 18, 17},                            // K
    {16, 16, 16, 16, 16, 16, 31},                            // L
    {17, 27, 21, 21, 17, 17, 17},                            // M
    {17, 17, 25, 21, 19, 17, 17},                            // N
    {14, 17, 17, 17, 17, 17, 14},                            // O
    {30, 17, 17, 30, 16, 16, 16},                            // P
    {14, 17, 17, 17, 21, 18, 13},                            // Q
    {30, 17, 17, 30, 20, 18, 17},                            // R
    {15, 16, 16, 14, 1, 1, 30},                              // S
    {31, 4, 4, 4, 4, 4, 4},                                  // T
    {17, 17, 17, 17, 17, 17, 14},                            // U
    {17, 17, 17, 17, 17, 10, 4},                             // V
    {17, 17, 17, 21, 21, 21, 10},                            // W
    {17, 17, 10, 4, 10, 17, 17},                             // X
    {17, 17, 17, 10, 4, 4, 4},                               // Y
    {31, 1, 2, 4, 8, 16, 31},                                // Z
    {14, 8, 8, 8, 8, 8, 14},                                 // [
    {16, 16, 8, 4, 2, 1, 1},                                 // backslash
    {14, 2, 2, 2, 2, 2, 14},                                 // ]
    {4, 10, 17, 0, 0, 0, 0},                                 // ^
    {0, 0, 0, 0, 0, 0, 31},                                  // _
    {8, 4, 0, 0, 0, 0, 0},                                   // `
    {0, 0, 14, 1, 15, 17, 15},                               // a
    {16, 16, 22, 25, 17, 17, 30},                            // b
    {0, 0, 14, 16, 16, 17, 14},                              // c
    {1, 1, 13, 19, 17, 17, 15},                              // d
    {0, 0, 14, 17, 31, 16, 14},                              // e
    {6, 9, 8, 28, 8, 8, 8},                                  // f
    {0, 15, 17, 17, 15, 1, 14},                              // g
    {16, 16, 22, 25, 17, 17, 17},                            // h
    {4, 0, 12, 4, 4, 4, 14},                                 // i
    {2, 0, 6, 2, 2, 18, 12},                                 // j
    {16, 16, 18, 20, 24, 20, 18},                            // k
    {12, 4, 4, 4, 4, 4, 14},                                 // l
    {0, 0, 26, 21, 21, 17, 17},                              // m
    {0, 0, 22, 25, 17, 17, 17},                              // n
    {0, 0, 14, 17, 17, 17, 14},                              // o
    {0, 0, 30, 17, 30, 16, 16},                              // p
    {0, 0, 13, 19, 15, 1, 1},                                // q
    {0, 0, 22, 25, 16, 16, 16},                              // r
    {0, 0, 14, 16, 14, 1, 30},                               // s
    {8, 8, 28, 8, 8, 9, 6},                                  // t
    {0, 0, 17, 17, 17, 19, 13},                              // u
    {0, 0, 17, 17, 17, 10, 4},                               // v
    {0, 0, 17, 17, 21, 21, 10},                              // w
    {0, 0, 17, 10, 4, 10, 17},                               // x
    {0, 0, 17, 17, 15, 1, 14},                               // y
    {0, 0, 31, 2, 4, 8, 31},                                 // z
    {2, 4, 4, 8, 4, 4, 2},                                   // {
    {4, 4, 4, 4, 4, 4, 4},                                   // |
    {8, 4, 4, 2, 4, 4, 8},                                   // }
    {0, 0, 8, 21, 2, 0, 0},                                  // ~
};

int GlyphIndex(char16_t ch)
{
    return (ch >= 0x20 && ch < 0x7F) ? ch - 0x20 : ('?' - 0x20);
}

// Glyphs are proportional: each is as wide as its drawn columns plus one
// column of space (a blank is 3 pixels), close to the device font's widths.
int GlyphAdvance(char16_t ch)
{
    if (ch == u' ')
        return 3;
    const uint8_t *g = kGlyphs[GlyphIndex(ch)];
    uint8_t bits = 0;
    for (int row = 0; row < 7; ++row)
        bits |= g[row];
    int first = 0, last = -1;
    for (int col = 0; col < 5; ++col)
        if (bits & (0x10 >> col)) {
            if (last < 0)
                first = col;
            last = col;
        }
    return last < 0 ? 3 : last - first + 2;
}

int GlyphFirstColumn(char16_t ch)
{
    const uint8_t *g = kGlyphs[GlyphIndex(ch)];
    uint8_t bits = 0;
    for (int row = 0; row < 7; ++row)
        bits |= g[row];
    for (int col = 0; col < 5; ++col)
        if (bits & (0x10 >> col))
            return col;
    return 0;
}

// The pixels one call draws on, resolved once per call: the selected
// bitmap of a memory DC or the screen; or a plain buffer (rows) when a blit
// reads from a copy.
struct Surface {
    PixelRows *rows = nullptr;
    const uint32_t *plain = nullptr;
    int width = 0;
    int height = 0;
};

__attribute__((always_inline)) inline Surface SurfaceOf(const GdiDc &dc)
{
    Surface s;
    PixelRows *p = nullptr;
    if (dc.memory) {
        if (dc.selected)
            p = &dc.selected->pixels; // (a selected bitmap stays while its DC lives)
    } else {
        p = &ScreenGet().pixels;
    }
    if (p) {
        s.rows = p;
        s.width = p->Width();
        s.height = p->Height();
    }
    return s;
}

// The overlap of a and b into out; false when they do not overlap.
__attribute__((always_inline)) inline bool Overlap(const RECT &a, const RECT &b, RECT &out)
{
    out.left = std::max(a.left, b.left);
    out.top = std::max(a.top, b.top);
    out.right = std::min(a.right, b.right);
    out.bottom = std::min(a.bottom, b.bottom);
    return out.left < out.right && out.top < out.bottom;
}

// Calls fn(y, x0, x1) for each row span of r (DC coordinates) that the DC
// may draw in, in surface coordinates: inside the surface and, for a window
// DC, inside its visible clip. The clip's rectangles are disjoint, so no
// pixel is visited twice.
template <class F> void ForSpans(const GdiDc &dc, const Surface &s, const RECT &r, F fn)
{
    RECT want{r.left + dc.originX, r.top + dc.originY, r.right + dc.originX, r.bottom + dc.originY};
    RECT in;
    if (!Overlap(want, RECT{0, 0, s.width, s.height}, in))
        return;
    PixelRows::Gathered gathered(s.rows);
    if (dc.memory) {
        for (int y = in.top; y < in.bottom; ++y)
            fn(y, in.left, in.right);
        return;
    }
    for (const RECT &c : dc.clip) {
        RECT part;
        if (!Overlap(c, in, part))
            continue;
        for (int y = part.top; y < part.bottom; ++y)
            fn(y, part.left, part.right);
    }
}

// The same for one row span (surface coordinates): text and icons are drawn
// as many short spans.
template <class F> inline void ForSpan(const GdiDc &dc, const Surface &s, int y, int x0, int x1, F fn)
{
    if (y < 0 || y >= s.height)
        return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, s.width);
    if (dc.memory) {
        if (x0 < x1)
            fn(y, x0, x1);
        return;
    }
    for (const RECT &c : dc.clip) {
        if (y < c.top || y >= c.bottom)
            continue;
        int a = std::max(x0, int(c.left)), b = std::min(x1, int(c.right));
        if (a < b)
            fn(y, a, b);
    }
}

// One colour over a row span.
inline void FillRow(const Surface &s, int y, int x0, int x1, COLORREF c)
{
    s.rows->Fill(y, x0, x1, uint32_t(c & 0xFFFFFF));
}

// COLORREF values onto a row span.
inline void PutRow(const Surface &s, int y, int x0, int x1, const uint32_t *src)
{
    s.rows->Put(y, x0, x1, src);
}

// A row of a surface to read.
inline const uint32_t *ReadRow(const Surface &s, int y)
{
    return s.plain ? s.plain + size_t(y) * size_t(s.width) : s.rows->Read(y);
}

// Copies a row span between surfaces (possibly the same row: the store
// keeps an overlap right). A source row kept as runs of one colour is
// copied as fills.
void CopyRow(const Surface &d, int dy, int dx0, int dx1, const Surface &src, int sy, int sx0)
{
    const PixelRows::Row *runs = src.plain ? nullptr : src.rows->Runs(sy);
    if (!runs) {
        d.rows->Put(dy, dx0, dx1, ReadRow(src, sy) + sx0);
        return;
    }
    d.rows->CopyRuns(dy, dx0, dx1, *runs, sx0);
}

// A rectangle folded into a key.
inline uint64_t RectKey(uint64_t key, const RECT &r)
{
    key = PixelRows::Mix(key, uint64_t(uint32_t(r.left)) << 32 | uint32_t(r.top));
    return PixelRows::Mix(key, uint64_t(uint32_t(r.right)) << 32 | uint32_t(r.bottom));
}

// A drawing on a bitmap that `what` describes whole (with the key of
// whatever it reads): the bitmap's next key is derived from its last and
// `what`, and when a bitmap dropped earlier held that very picture, its
// pixels are taken instead of drawing.
template <class F> void Described(const Surface &s, uint64_t what, F draw)
{
    uint64_t next = PixelRows::Mix(s.rows->Key(), what);
    if (s.rows->Adopt(next))
        return;
    draw();
    s.rows->SetKey(next);
}

inline COLORREF PixelAt(const Surface &s, int x, int y)
{
    return ReadRow(s, y)[x];
}

// The built-in glyphs in the outline font's form (full cover where drawn),
// made once; the bold ones are drawn again a pixel to the right.
struct BuiltinGlyphs {
    FontGlyph glyphs[2][95];
    BuiltinGlyphs()
    {
        for (int bold = 0; bold < 2; ++bold)
            for (int i = 0; i < 95; ++i) {
                char16_t ch = char16_t(i + 0x20);
                int first = GlyphFirstColumn(ch);
                FontGlyph &g = glyphs[bold][i];
                g.advance64 = (GlyphAdvance(ch) + bold) * 64;
                g.top = 3;
                g.width = 5 - first + bold;
                g.height = 7;
                g.cover.assign(size_t(g.width) * 7, 0);
                for (int row = 0; row < 7; ++row)
                    for (int col = first; col < 5; ++col)
                        if (kGlyphs[i][row] & (0x10 >> col))
                            for (int k = 0; k <= bold; ++k)
                                g.cover[size_t(row) * size_t(g.width) + size_t(col - first + k)] = 255;
                FontGlyphFinish(g);
            }
    }
};

const FontGlyph &BuiltinGlyph(char16_t ch, bool bold)
{
    static const BuiltinGlyphs table;
    return table.glyphs[bold ? 1 : 0][GlyphIndex(ch)];
}

HGDIOBJ MakeStock(int i)
{
    std::shared_ptr<GdiObject> o;
    auto brush = [](COLORREF c, bool hollow) {
        auto b = std::make_shared<GdiBrush>();
        b->color = c;
        b->hollow = hollow;
        return b;
    };
    switch (i) {
    case WHITE_BRUSH: o = brush(RGB(255, 255, 255), false); break;
    case LTGRAY_BRUSH: o = brush(RGB(192, 192, 192), false); break;
    case GRAY_BRUSH: o = brush(RGB(128, 128, 128), false); break;
    case DKGRAY_BRUSH: o = brush(RGB(64, 64, 64), false); break;
    case BLACK_BRUSH: o = brush(RGB(0, 0, 0), false); break;
    case NULL_BRUSH: o = brush(0, true); break;
    case WHITE_PEN:
    case BLACK_PEN:
    case NULL_PEN: o = std::make_shared<GdiObject>(GdiType::Pen); break;
    case SYSTEM_FONT: o = std::make_shared<GdiObject>(GdiType::Font); break;
    default: return 0;
    }
    o->stock = true;
    return GdiAlloc(o, o->type);
}

// The object of a live GDI handle of any type, or null.
__attribute__((always_inline)) inline GdiRef<GdiObject> GetObj(HGDIOBJ h)
{
    return HandlePeek<GdiObject>(h, HandleKind::Gdi);
}

} // namespace

namespace {

// Objects of one type whose handles were freed, kept for the next handle of
// that type: a paint makes and frees two DCs, a bitmap and a brush, and
// making each anew (its block, its count, its members, then all of that
// undone) cost more than the rest of those calls. Only an object nothing
// else holds comes here, so none is reused while anything still reaches it.
struct Spares {
    static constexpr int kKept = 4;
    ThreadLock lock;
    int n = 0;
    // The first n, newest last. Never destroyed (objects are deleted by
    // others destroyed at exit), and made before any code runs.
    union Kept {
        constexpr Kept() : at() {}
        ~Kept() {}
        std::shared_ptr<HandleObject> at[kKept];
    } kept;
};
Spares g_spares[3]; // DCs, bitmaps, brushes

// The newest kept object, taken out; null if none.
__attribute__((always_inline)) inline std::shared_ptr<HandleObject> TakeNewestSpare(Spares &sp)
{
    std::lock_guard<ThreadLock> guard(sp.lock);
    if (sp.n == 0)
        return nullptr;
    return std::move(sp.kept.at[--sp.n]);
}

// The newest kept object for which fits holds, taken out; null if none.
template <class Fits> std::shared_ptr<HandleObject> TakeSpare(Spares &sp, Fits fits)
{
    std::lock_guard<ThreadLock> guard(sp.lock);
    for (int i = sp.n - 1; i >= 0; --i) {
        if (!fits(*sp.kept.at[i]))
            continue;
        // The newest takes its place (the order matters only for which
        // goes first when full).
        std::shared_ptr<HandleObject> o = std::move(sp.kept.at[i]);
        if (i != --sp.n)
            sp.kept.at[i] = std::move(sp.kept.at[sp.n]);
        return o;
    }
    return nullptr;
}

// Frees a GDI handle whose object (just looked up) is of that type, keeping
// the object for the next of its type (the oldest kept goes when full)
// unless something else still holds it: then it goes when that lets go.
// The table moves the object straight into its place on the list.
__attribute__((noinline)) void FreeGdiLocked(HGDIOBJ h, int list)
{
    if (list < 0) {
        HandleFree(h, HandleKind::Gdi);
        return;
    }
    Spares &sp = g_spares[list];
    std::shared_ptr<HandleObject> oldest, held; // destroyed outside the lock
    std::lock_guard<ThreadLock> guard(sp.lock);
    if (sp.n == Spares::kKept) {
        oldest = std::move(sp.kept.at[0]);
        std::move(sp.kept.at + 1, sp.kept.at + sp.n, sp.kept.at);
        --sp.n;
    }
    std::shared_ptr<HandleObject> &at = sp.kept.at[sp.n];
    if (!HandleTakeInto(h, HandleKind::Gdi, at))
        return;
    if (at.use_count() != 1) {
        held = std::move(at);
        return;
    }
    ++sp.n;
}

__attribute__((always_inline)) inline void FreeGdi(HGDIOBJ h, GdiType type)
{
    int list = type == GdiType::Dc ? 0 : type == GdiType::Bitmap ? 1 : type == GdiType::Brush ? 2 : -1;
    // The usual case, several times a paint: the process alone (no lock
    // wanted) and room on the list, so nothing to destroy here.
    if (list < 0 || !ProcessAlone() || g_spares[list].n == Spares::kKept) {
        FreeGdiLocked(h, list);
        return;
    }
    Spares &sp = g_spares[list];
    std::shared_ptr<HandleObject> &at = sp.kept.at[sp.n];
    if (!HandleTakeInto(h, HandleKind::Gdi, at))
        return;
    // Held elsewhere too: only this count goes (alone, nothing else can
    // let go meanwhile, so the object is not destroyed here).
    if (at.use_count() != 1) {
        at.reset();
        return;
    }
    ++sp.n;
}

// A bitmap record of that size without its pixels, or null for a size no
// bitmap may have.
std::shared_ptr<GdiBitmap> NewBitmap(int width, int height, int bitsPixel)
{
    if (width < 0 || height < 0 || (int64_t(width) * height) > (int64_t(1) << 26))
        return nullptr;
    auto b = MakePooled<GdiBitmap>();
    b->width = width;
    b->height = height;
    b->bitsPixel = bitsPixel;
    return b;
}

} // namespace

HBITMAP GdiCreateBitmap(int width, int height, int bitsPixel)
{
    if (width < 0 || height < 0 || (int64_t(width) * height) > (int64_t(1) << 26))
        return 0;
    // A kept bitmap of that size: its store is ready, and holds the picture
    // it had (a buffer painted alike at every step takes it back whole).
    std::shared_ptr<HandleObject> o = TakeSpare(g_spares[1], [&](const HandleObject &k) {
        auto &b = static_cast<const GdiBitmap &>(k);
        return b.width == width && b.height == height;
    });
    if (!o)
        o = NewBitmap(width, height, bitsPixel);
    if (!o)
        return 0;
    auto &b = static_cast<GdiBitmap &>(*o);
    b.bitsPixel = bitsPixel;
    b.selectedInto = 0;
    // Black: the rows are marked, not cleared, so a reused store costs
    // nothing until it is drawn on.
    if (!b.pixels.Reset(width, height, RGB(0, 0, 0)))
        return 0;
    return GdiAlloc(std::move(o), GdiType::Bitmap);
}

HBITMAP GdiCreateBitmapToFill(int width, int height, int bitsPixel, uint32_t **pixels)
{
    auto b = NewBitmap(width, height, bitsPixel);
    if (!b)
        return 0;
    *pixels = b->pixels.Overwrite(width, height);
    if (!*pixels && width > 0 && height > 0)
        return 0; // (an empty bitmap has none)
    return GdiAlloc(std::move(b), GdiType::Bitmap);
}

namespace {
// A DC record as new: a kept one when there is one.
__attribute__((always_inline)) inline std::shared_ptr<HandleObject> NewDc()
{
    std::shared_ptr<HandleObject> o = TakeNewestSpare(g_spares[0]);
    if (!o)
        return MakePooled<GdiDc>();
    auto &dc = static_cast<GdiDc &>(*o);
    dc.memory = false;
    dc.hwnd = 0;
    dc.originX = dc.originY = 0;
    dc.clip.clear();
    dc.bitmap = dc.defaultBitmap = 0;
    dc.brush = 0;
    dc.font = 0;
    dc.textColor = 0;
    dc.bkColor = 0xFFFFFF;
    dc.bkMode = 2;
    // (selected: left as it was, the stock default bitmap or none; set by
    // the maker)
    return o;
}
} // namespace

HDC GdiCreateWindowDc(HWND hwnd, int originX, int originY, const Region &clip)
{
    std::shared_ptr<HandleObject> o = NewDc();
    auto &dc = static_cast<GdiDc &>(*o);
    dc.selected = nullptr;
    dc.hwnd = hwnd;
    dc.originX = originX;
    dc.originY = originY;
    dc.clip = clip; // (copied straight in: a clip is a few rectangles held inline)
    return GdiAlloc(std::move(o), GdiType::Dc);
}

void GdiReleaseDc(HDC hdc)
{
    auto dc = GdiGetDc(hdc);
    if (dc && !dc->memory)
        FreeGdi(hdc, GdiType::Dc);
}

bool GdiScreenHolds(HDC memDc, int left, int top, const Region &visible)
{
    auto src = GdiGetDc(memDc);
    if (!src || !src->memory || !src->selected)
        return false;
    PixelRows &from = src->selected->pixels;
    Screen &scr = ScreenGet();
    RECT in;
    if (!Overlap(RECT{left, top, left + from.Width(), top + from.Height()},
                 RECT{0, 0, int(scr.width), int(scr.height)}, in))
        return true; // nothing of it can be seen
    // The parts as a copy through a DC clipped to visible would name them.
    PixelRows::Part parts[PixelRows::kHeldParts];
    int n = 0;
    for (const RECT &c : visible) {
        RECT part;
        if (!Overlap(c, in, part))
            continue;
        if (n == PixelRows::kHeldParts)
            return false;
        parts[n++] = PixelRows::Part{part.left, part.top, part.right, part.bottom};
    }
    return n == 0 || scr.pixels.Holds(from.Key(), -left, -top, parts, n);
}

void GdiFill(HDC hdc, const RECT &r, COLORREF color)
{
    if (auto dc = GdiGetDc(hdc))
        GdiFillDc(*dc, r, color);
}

void GdiFillDc(const GdiDc &dc, const RECT &r, COLORREF color)
{
    Surface s = SurfaceOf(dc);
    if (!dc.memory || !s.rows) {
        ForSpans(dc, s, r, [&](int y, int x0, int x1) { FillRow(s, y, x0, x1, color); });
        return;
    }
    // A bitmap's fill is described: one rectangle of one colour.
    RECT in;
    if (!Overlap(RECT{r.left + dc.originX, r.top + dc.originY, r.right + dc.originX, r.bottom + dc.originY},
                 RECT{0, 0, s.width, s.height}, in))
        return;
    uint64_t what = RectKey(0x66696C6Cull, in);
    Described(s, PixelRows::Mix(what, color & 0xFFFFFF), [&] {
        if (s.rows->FillFresh(in.left, in.top, in.right, in.bottom, color & 0xFFFFFF))
            return;
        PixelRows::Gathered gathered(s.rows);
        for (int y = in.top; y < in.bottom; ++y)
            FillRow(s, y, in.left, in.right, color);
    });
}

void GdiFrame(HDC hdc, const RECT &r, COLORREF color)
{
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    auto dc = GdiGetDc(hdc);
    if (!dc)
        return;
    GdiFillDc(*dc, RECT{r.left, r.top, r.right, r.top + 1}, color);
    GdiFillDc(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, color);
    GdiFillDc(*dc, RECT{r.left, r.top, r.left + 1, r.bottom}, color);
    GdiFillDc(*dc, RECT{r.right - 1, r.top, r.right, r.bottom}, color);
}

namespace {
// Constant-initialised: the outline font sets it from a static initialiser.
GlyphSource g_glyphSource = nullptr;

// The glyphs of plain text by their code, each at its own place: a line
// is laid out a few times a paint. Filled as they are first asked for,
// emptied when the glyphs' source changes.
std::atomic<const FontGlyph *> g_ascii[2][128][kGlyphPhases];
// Their advances (the same at every phase) plus one, 0 when not known yet:
// a line is measured from one small table instead of a glyph each.
std::atomic<int> g_advance[2][128];
// Counts the times the glyphs were forgotten: a glyph kept at hand from an
// earlier count is looked up again.
std::atomic<unsigned> g_glyphEpoch{1};

// The glyph for ch with the pen phase / kGlyphPhases into a pixel, found
// in the font: the outline font's when it is installed, the built-in one
// else.
const FontGlyph &FindGlyph(char16_t ch, int phase, bool bold)
{
    // Glyphs once made stay where they are: the last ones found are kept
    // at hand, so a line's letters are not each looked up under the font's
    // lock again.
    struct Near {
        uint32_t key = ~0u;
        unsigned epoch = 0;
        const FontGlyph *glyph = nullptr;
    };
    thread_local Near nearBy[512];
    uint32_t key = uint32_t(ch) << 8 | uint32_t(phase) << 1 | (bold ? 1u : 0u);
    // Multiplied, not folded: a line's letters differ in few bits, and a
    // fold put many of them, at their four phases, on the same few places.
    Near &n = nearBy[(key * 0x9E3779B1u) >> 23];
    unsigned epoch = g_glyphEpoch.load(std::memory_order_acquire);
    const FontGlyph *g;
    if (n.key == key && n.epoch == epoch) {
        g = n.glyph;
    } else {
        g = g_glyphSource ? g_glyphSource(ch, phase, bold) : nullptr;
        if (!g)
            g = &BuiltinGlyph(ch, bold);
        n = Near{key, epoch, g};
    }
    if (ch < 128) {
        g_ascii[bold ? 1 : 0][ch][phase].store(g, std::memory_order_release);
        g_advance[bold ? 1 : 0][ch].store(g->advance64 + 1, std::memory_order_relaxed);
    }
    return *g;
}

inline const FontGlyph &GlyphFor(char16_t ch, int phase, bool bold)
{
    if (ch < 128)
        if (const FontGlyph *g = g_ascii[bold ? 1 : 0][ch][phase].load(std::memory_order_acquire))
            return *g;
    return FindGlyph(ch, phase, bold);
}

// The pen's movement over ch, in 1/64 pixels.
inline int Advance64(char16_t ch, bool bold)
{
    if (ch < 128)
        if (int a = g_advance[bold ? 1 : 0][ch].load(std::memory_order_relaxed))
            return a - 1;
    return GlyphFor(ch, 0, bold).advance64;
}

// A glyph where a line's pen puts it: its box's left edge.
struct PlacedGlyph {
    const FontGlyph *glyph;
    int x;
};

// Lays a line out from x: each glyph made for the quarter pixel its pen
// stands at, the pen moving by design widths. Returns the glyphs' box.
// Calls fn(i, glyph, left) for each character of a line drawn from 0 that
// leaves a mark: its glyph and the column of the glyph's left edge.
template <class F> void EachGlyph(const std::u16string &text, bool bold, F fn, size_t begin = 0, long pen64 = 0)
{
    // pen64: where the pen stands at text[begin], in 1/64 pixels
    for (size_t i = begin; i < text.size(); ++i) {
        long whole = pen64 >> 6;
        int phase = int(((pen64 & 63) * kGlyphPhases + 32) >> 6);
        if (phase == kGlyphPhases) {
            phase = 0;
            ++whole;
        }
        const FontGlyph &g = GlyphFor(text[i], phase, bold);
        // The advance is the same at every phase: taken from phase 0's
        // glyph, which measuring the line has just used, the pen does not
        // wait for this phase's glyph to come from memory (a copy's bytes
        // have pushed it out of the cache since the last paint).
        pen64 += GlyphFor(text[i], 0, bold).advance64;
        if (g.width > 0 && g.height > 0)
            fn(i, g, int(whole) + g.left);
    }
}

// Glyphs wholly left of firstX are left out (a line redrawn from where it
// changed): the box, and the grid made for it, hold only the rest.
RECT LayOut(int x, const std::u16string &text, bool bold, std::vector<PlacedGlyph> &out, int firstX)
{
    out.clear();
    RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    EachGlyph(text, bold, [&](size_t, const FontGlyph &g, int left) {
        int gx = x + left;
        if (gx + g.width <= firstX)
            return;
        out.push_back(PlacedGlyph{&g, gx});
        box.left = std::min<LONG>(box.left, gx);
        box.right = std::max<LONG>(box.right, gx + g.width);
        box.top = std::min<LONG>(box.top, g.top);
        box.bottom = std::max<LONG>(box.bottom, g.top + g.height);
    });
    return box;
}

// dst[k] = min(255, dst[k] + src[k]) for k < n, 16 at a time: both may be
// read and written 16 bytes past n (lanes past n add nothing).
inline void AddCover(uint8_t *dst, const uint8_t *src, int n)
{
    typedef uint8_t V16 __attribute__((vector_size(16)));
    static const V16 lane = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    for (; n > 0; n -= 16, dst += 16, src += 16) {
        V16 d, s;
        std::memcpy(&d, dst, 16);
        std::memcpy(&s, src, 16);
        s &= V16(lane < uint8_t(n < 16 ? n : 16));
        V16 sum = d + s;
        sum |= V16(sum < d); // lanes that overflowed stay at 255
        std::memcpy(dst, &sum, 16);
    }
}

// c over b by a cover of a / 255.
inline uint32_t Blend(uint32_t b, uint32_t c, unsigned a)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int bb = int(b >> shift & 0xFF), cc = int(c >> shift & 0xFF);
        out |= uint32_t(bb + ((cc - bb) * int(a) + (cc > bb ? 127 : -127)) / 255) << shift;
    }
    return out;
}
} // namespace

// Blend(under, colour, a) for every grey level a, made once for a pair.
struct Shades {
    bool made = false;
    uint32_t under = 0, colour = 0;
    uint32_t value[256];
    void For(uint32_t u, uint32_t c)
    {
        if (made && u == under && c == colour)
            return;
        made = true;
        under = u;
        colour = c;
        for (unsigned a = 0; a < 256; ++a)
            value[a] = Blend(u, c, a);
    }
};

void GdiForgetGlyphs()
{
    g_glyphEpoch.fetch_add(1, std::memory_order_acq_rel);
    for (auto &weight : g_ascii)
        for (auto &code : weight)
            for (auto &at : code)
                at.store(nullptr, std::memory_order_release);
    for (auto &weight : g_advance)
        for (auto &code : weight)
            code.store(0, std::memory_order_relaxed);
}

void GdiSetGlyphSource(GlyphSource source)
{
    g_glyphSource = source;
    GdiForgetGlyphs();
}

long GdiTextWidth64(const char16_t *text, size_t n, bool bold)
{
    // The same pen as GdiText, so that a prefix's width is where the next
    // character is drawn.
    long w64 = 0;
    for (size_t i = 0; i < n; ++i)
        w64 += Advance64(text[i], bold);
    return w64;
}

int GdiTextWidth(const std::u16string &text, bool bold)
{
    return int((GdiTextWidth64(text.data(), text.size(), bold) + 32) >> 6);
}

int GdiTextHeight()
{
    return kCellH;
}

// Text: the glyphs' grey levels are summed into one grid for the line,
// then each row's pixels under them are blended towards the text colour by
// the cover and written back in one piece per clip span. A row the glyphs
// do not touch is left as it is (a ground kept as runs stays so).
void GdiText(HDC hdc, int x, int y, const std::u16string &text, COLORREF color, bool bold, int clipLeft)
{
    auto dc = GdiGetDc(hdc);
    if (!dc || text.empty())
        return;
    Surface s = SurfaceOf(*dc);
    // Columns left of this one (surface coordinates) are not drawn.
    int firstX = clipLeft == INT_MIN ? INT_MIN : clipLeft + dc->originX;
    thread_local std::vector<PlacedGlyph> placed;
    thread_local std::vector<uint8_t> cover;
    thread_local std::vector<int> rowLo, rowHi;
    thread_local std::vector<uint32_t> out;
    RECT box = LayOut(x + dc->originX, text, bold, placed, firstX);
    if (placed.empty())
        return;
    int width = int(box.right - box.left), height = int(box.bottom - box.top);
    // The grey levels of the whole line, glyph by glyph (overlapping
    // glyphs add up), and each row's covered span.
    cover.assign(size_t(width) * size_t(height) + kGlyphSlack, 0);
    rowLo.assign(size_t(height), width);
    rowHi.assign(size_t(height), 0);
    out.resize(size_t(width));
    for (const PlacedGlyph &p : placed) {
        const FontGlyph &g = *p.glyph;
        if (p.x + g.width <= firstX)
            continue; // wholly left of what is drawn
        int off = int(p.x - box.left);
        for (int gy = 0; gy < g.height; ++gy) {
            const uint8_t *src = &g.cover[size_t(gy) * size_t(g.width)];
            int a = g.from[size_t(gy)], b = g.to[size_t(gy)];
            if (a == b)
                continue;
            int row = g.top + gy - int(box.top);
            uint8_t *dst = &cover[size_t(row) * size_t(width) + size_t(off)];
            AddCover(dst + a, src + a, b - a);
            rowLo[size_t(row)] = std::min(rowLo[size_t(row)], off + a);
            rowHi[size_t(row)] = std::max(rowHi[size_t(row)], off + b);
        }
    }
    uint32_t c = uint32_t(color & 0xFFFFFF);
    // Text mostly lies on one ground: its blends with the colour are kept
    // for that ground (the first pixel under the text names it).
    thread_local Shades shades;
    int groundY = y + dc->originY + int(box.top);
    int groundX = std::max(int(box.left), firstX);
    if (groundY >= 0 && groundY < s.height && groundX >= 0 && groundX < s.width) {
        const PixelRows::Row *runs = s.rows ? s.rows->Runs(groundY) : nullptr;
        shades.For(runs ? runs->colour[PixelRows::RunAt(*runs, groundX)] : ReadRow(s, groundY)[groundX], c);
    }
    PixelRows::Gathered gathered(s.rows);
    for (int row = 0; row < height; ++row) {
        int sy = y + dc->originY + int(box.top) + row;
        int lo = std::max(int(box.left) + rowLo[size_t(row)], firstX), hi = int(box.left) + rowHi[size_t(row)];
        if (sy < 0 || sy >= s.height || lo >= hi)
            continue;
        const uint8_t *line = &cover[size_t(row) * size_t(width)];
        ForSpan(*dc, s, sy, lo, hi, [&](int yy, int x0, int x1) {
            const uint8_t *a = line + (x0 - box.left);
            uint32_t *o = out.data();
            int n = x1 - x0;
            // On one run of the ground (a picture just filled) every pixel
            // is a shade of the table; else each is blended over what is
            // there.
            const PixelRows::Row *runs = s.rows ? s.rows->Runs(yy) : nullptr;
            bool table = shades.made && shades.colour == c;
            if (runs && table) {
                int i = PixelRows::RunAt(*runs, x0);
                if (runs->end[i] >= x1 && runs->colour[i] == shades.under) {
                    for (int k = 0; k < n; ++k)
                        o[k] = shades.value[a[k]];
                    PutRow(s, yy, x0, x1, o);
                    return;
                }
            }
            const uint32_t *under = ReadRow(s, yy) + x0;
            // All of one ground under the span (a picture's row holding
            // text left of it): shades of the table, as on a run.
            if (table && FirstOther(under, 0, n, shades.under) == n) {
                for (int k = 0; k < n; ++k)
                    o[k] = shades.value[a[k]];
                PutRow(s, yy, x0, x1, o);
                return;
            }
            for (int k = 0; k < n; ++k) {
                unsigned v = a[k];
                uint32_t b = under[k];
                o[k] = v == 0 ? b : v == 255 ? c : table && b == shades.under ? shades.value[v] : Blend(b, c, v);
            }
            PutRow(s, yy, x0, x1, o);
        });
    }
}

namespace {
// A character of a line laid out from 0: its glyph when it leaves a mark
// (else null) and the glyph's box (kept here: read without the glyph),
// where the pen stands before it, and the box of the glyphs up to it
// (lines that share a start share it).
struct LaidChar {
    const FontGlyph *glyph;
    int left, right, top, bottom; // its glyph's box (left INT_MAX: none)
    long pen64;
    RECT upTo; // empty (left >= right) while no glyph so far
};
struct LaidLine {
    std::u16string text;
    unsigned epoch = 0; // of the glyphs; 0: none laid out
    std::vector<LaidChar> marks; // one a character
    long end64 = 0;              // the pen after the last
};

// out[k] = shade[cover[k]] for k < n. Not inlined: the table's address
// stays in a register (inlined, a thread's own table was looked up again
// at every pixel).
__attribute__((noinline)) void ShadeRow(const uint32_t *__restrict shade, const uint8_t *__restrict cover,
                                        uint32_t *__restrict out, int n)
{
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        out[k] = shade[cover[k]];
        out[k + 1] = shade[cover[k + 1]];
        out[k + 2] = shade[cover[k + 2]];
        out[k + 3] = shade[cover[k + 3]];
    }
    for (; k < n; ++k)
        out[k] = shade[cover[k]];
}

// Whether two lines are the same, compared as memory.
inline bool SameLine(const std::u16string &a, const std::u16string &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first character of a word is its low one");

// How many characters a (na) and b (nb) end with alike, up to limit (at
// most the shorter's length), four at a time from the end.
inline size_t SameEnd(const char16_t *a, size_t na, const char16_t *b, size_t nb, size_t limit)
{
    size_t i = 0;
    for (; i + 4 <= limit; i += 4) {
        uint64_t x, y;
        std::memcpy(&x, a + na - i - 4, sizeof x);
        std::memcpy(&y, b + nb - i - 4, sizeof y);
        if (x != y)
            return i + size_t(__builtin_clzll(x ^ y)) / 16;
    }
    while (i < limit && a[na - 1 - i] == b[nb - 1 - i])
        ++i;
    return i;
}

// m's box of the glyphs so far: the one before it (null: none) and its own.
inline void GrowUpTo(LaidChar &m, const LaidChar *before)
{
    m.upTo = before ? before->upTo : RECT{0, 0, 0, 0};
    if (!m.glyph)
        return;
    if (m.upTo.left >= m.upTo.right) {
        m.upTo = RECT{m.left, m.top, m.right, m.bottom};
        return;
    }
    m.upTo.left = std::min<LONG>(m.upTo.left, m.left);
    m.upTo.top = std::min<LONG>(m.upTo.top, m.top);
    m.upTo.right = std::max<LONG>(m.upTo.right, m.right);
    m.upTo.bottom = std::max<LONG>(m.upTo.bottom, m.bottom);
}

// Lays ch out at m with the pen at pen64 as EachGlyph does (before: the
// character before it, or null); returns the pen after it.
inline long LayOutCharAt(char16_t ch, long pen64, LaidChar &m, const LaidChar *before)
{
    long whole = pen64 >> 6;
    int phase = int(((pen64 & 63) * kGlyphPhases + 32) >> 6);
    if (phase == kGlyphPhases) {
        phase = 0;
        ++whole;
    }
    const FontGlyph &g = GlyphFor(ch, phase, false);
    m = LaidChar{nullptr, INT_MAX, INT_MIN, 0, 0, pen64, RECT{}};
    if (g.width > 0 && g.height > 0) {
        m.glyph = &g;
        m.left = int(whole) + g.left;
        m.right = m.left + g.width;
        m.top = g.top;
        m.bottom = g.top + g.height;
    }
    GrowUpTo(m, before);
    return pen64 + Advance64(ch, false);
}

// The same at the end of marks.
inline long LayOutChar(char16_t ch, long pen64, std::vector<LaidChar> &marks)
{
    marks.emplace_back();
    LaidChar &m = marks.back();
    return LayOutCharAt(ch, pen64, m, marks.size() > 1 ? &m - 1 : nullptr);
}

// A glyph meeting a changed line's area: its column and row there.
struct AreaGlyph {
    const FontGlyph *glyph;
    int x, top;
};
// A changed line's area: its rows in bands of inked rows and rows of
// ground, top to bottom.
struct Band {
    int from, to;
    bool inked;
};
// The pixels of a changed line's area and what made them (epoch 0: none).
struct AreaPicture {
    unsigned epoch = 0;
    uint64_t hash = 0;
    int width = 0, height = 0;
    uint32_t colour = 0, ground = 0;
    std::vector<AreaGlyph> glyphs;
    std::vector<Band> bands;
    std::vector<uint32_t> out; // width x height, rows of ground not made
};
// Kept by a hash of what makes them: 2^kAreaBits at most.
constexpr int kAreaBits = 7;

// Makes pic's bands and pixels: the glyphs given over an area of width x
// height, shaded by shades.
void MakeArea(AreaPicture &pic, const std::vector<AreaGlyph> &glyphs, int width, int height, const Shades &shades)
{
    // The grey levels of the area, glyph by glyph (overlapping glyphs add
    // up); a row no glyph reaches is only the ground.
    thread_local std::vector<uint8_t> cover;
    thread_local std::vector<uint8_t> inked;
    // Cleared as memory: assign fills it byte by byte.
    const size_t coverSize = size_t(width) * size_t(height) + kGlyphSlack;
    if (cover.size() < coverSize)
        cover.resize(coverSize);
    std::memset(cover.data(), 0, coverSize);
    if (inked.size() < size_t(height))
        inked.resize(size_t(height));
    std::memset(inked.data(), 0, size_t(height));
    typedef uint8_t V16 __attribute__((vector_size(16)));
    for (const AreaGlyph &a : glyphs) {
        const FontGlyph &g = *a.glyph;
        if (a.x >= 0 && a.x + g.width <= width && a.top >= 0 && a.top + g.height <= height) {
            // Wholly inside: its padded rows added as they are (what they
            // add past its width is 0, into the next row or the slack).
            uint8_t *dst = &cover[size_t(a.top) * size_t(width) + size_t(a.x)];
            const uint8_t *src = g.padded.data();
            auto add16 = [](uint8_t *to, const uint8_t *from) {
                V16 d, v;
                std::memcpy(&d, to, 16);
                std::memcpy(&v, from, 16);
                V16 sum = d + v;
                sum |= V16(sum < d); // lanes that overflowed stay at 255
                std::memcpy(to, &sum, 16);
            };
            if (g.stride == 16) { // most of a text's letters: a row is one piece
                for (int gy = 0; gy < g.height; ++gy, dst += width, src += 16)
                    add16(dst, src);
            } else {
                for (int gy = 0; gy < g.height; ++gy, dst += width)
                    for (int k = 0; k < g.stride; k += 16, src += 16)
                        add16(dst + k, src);
            }
            std::memset(&inked[size_t(a.top)], 1, size_t(g.height));
            continue;
        }
        int clipA = -a.x, clipB = width - a.x;
        for (int gy = 0; gy < g.height; ++gy) {
            int row = a.top + gy;
            if (row < 0 || row >= height)
                continue;
            int from = std::max<int>(g.from[size_t(gy)], clipA), to = std::min<int>(g.to[size_t(gy)], clipB);
            if (from >= to)
                continue;
            AddCover(&cover[size_t(row) * size_t(width) + size_t(a.x + from)],
                     &g.cover[size_t(gy) * size_t(g.width) + size_t(from)], to - from);
            inked[size_t(row)] = 1;
        }
    }
    // The area's rows in bands of inked rows and rows of ground, found once
    // for both surfaces.
    std::vector<Band> &bands = pic.bands;
    bands.clear();
    for (int row = 0; row < height;) {
        int end = row + 1;
        while (end < height && inked[size_t(end)] == inked[size_t(row)])
            ++end;
        bands.push_back(Band{row, end, inked[size_t(row)] != 0});
        row = end;
    }
    // The inked rows lie one after another in both: each band shaded in
    // one pass (a row of ground is filled instead).
    std::vector<uint32_t> &out = pic.out;
    out.resize(size_t(width) * size_t(height));
    for (const Band &b : bands)
        if (b.inked)
            ShadeRow(shades.value, &cover[size_t(b.from) * size_t(width)], &out[size_t(b.from) * size_t(width)],
                     (b.to - b.from) * width);
}
} // namespace

RECT GdiTextChange(HDC hdc, int x, int y, const std::u16string &before, const RECT &beforeBox,
                   const std::u16string &after, COLORREF color, COLORREF ground)
{
    bool shown;
    return GdiTextChange(hdc, x, y, before, beforeBox, after, color, ground, 0, 0, 0, shown);
}

RECT GdiTextChange(HDC hdc, int x, int y, const std::u16string &before, const RECT &beforeBox,
                   const std::u16string &after, COLORREF color, COLORREF ground, HDC to, int toX, int toY,
                   bool &shown)
{
    RECT box{0, 0, 0, 0};
    shown = false;
    auto dc = GdiGetDc(hdc);
    if (!dc)
        return box;
    const size_t nb = before.size(), na = after.size();
    size_t same = GdiSameStart(before.data(), after.data(), std::min(nb, na));
    // The characters both lines end with (after the common start): when
    // the pen reaches them at the same place in both (a name whose digits
    // changed), their glyphs are the same too, and only the glyphs between
    // differ.
    size_t tail = SameEnd(before.data(), nb, after.data(), na, std::min(nb, na) - same);
    // The first column where the lines may differ: left of every glyph from
    // the first changed character on, in either line (the glyphs before it
    // are the same glyphs at the same places, and the pen stands at the same
    // place at the change in both). The new line is laid out meanwhile.
    // The line laid out last is kept: when the old line is that one (a
    // static's next name), its marks are read, then those after the common
    // start replaced by the new line's.
    thread_local LaidLine last;
    unsigned epoch = g_glyphEpoch.load(std::memory_order_acquire);
    bool known = last.epoch == epoch && SameLine(last.text, before);
    int from = INT_MAX;
    // The box of the glyphs between the common start and end, of both.
    RECT mid{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    auto middle = [&mid](const LaidChar &m) {
        if (!m.glyph)
            return;
        mid.left = std::min<LONG>(mid.left, m.left);
        mid.right = std::max<LONG>(mid.right, m.right);
        mid.top = std::min<LONG>(mid.top, m.top);
        mid.bottom = std::max<LONG>(mid.bottom, m.bottom);
    };
    std::vector<LaidChar> &marks = last.marks;
    long pen64, oldEnd64 = 0, newEnd64 = 0; // the pens at the common end
    if (known) {
        for (size_t i = same; i < nb; ++i) {
            from = std::min(from, marks[i].left);
            if (i < nb - tail)
                middle(marks[i]);
        }
        pen64 = same < nb ? marks[same].pen64 : last.end64;
        oldEnd64 = tail ? marks[nb - tail].pen64 : last.end64;
    } else {
        marks.clear();
        pen64 = 0;
        for (size_t i = 0; i < same; ++i)
            pen64 = LayOutChar(after[i], pen64, marks);
        long old64 = pen64;
        for (size_t i = same; i < nb; ++i) {
            if (i == nb - tail)
                oldEnd64 = old64;
            old64 = LayOutChar(before[i], old64, marks);
            from = std::min(from, marks.back().left);
            if (i < nb - tail)
                middle(marks.back());
        }
    }
    last.epoch = 0; // not the old line any more, nor yet the new one
    bool endsInPlace = false;
    if (known && na == nb && tail > 0) {
        // As long as the old line: the characters between are laid out in
        // place of the old ones; when the pen then reaches the common end
        // where it did, the end's glyphs stay as they are (only the box so
        // far is had again), else they are laid out again too.
        // The old line's box so far before its end (the end starts after
        // the common start: there is a character before it).
        const RECT oldUpTo = marks[na - tail - 1].upTo;
        for (size_t i = same; i < na; ++i) {
            if (i == na - tail) {
                newEnd64 = pen64;
                endsInPlace = oldEnd64 == newEnd64;
                // The same glyphs at the same places after the same box so
                // far: their boxes so far are as they were, and their columns
                // are in `from` already (from the old line's).
                const RECT &upTo = marks[i - 1].upTo;
                if (endsInPlace && upTo.left == oldUpTo.left && upTo.top == oldUpTo.top &&
                    upTo.right == oldUpTo.right && upTo.bottom == oldUpTo.bottom)
                    break;
            }
            LaidChar &m = marks[i];
            if (endsInPlace) {
                GrowUpTo(m, i ? &m - 1 : nullptr);
            } else {
                pen64 = LayOutCharAt(after[i], pen64, m, i ? &m - 1 : nullptr);
                if (i < na - tail)
                    middle(m);
            }
            from = std::min(from, m.left);
        }
        if (!endsInPlace)
            last.end64 = pen64;
    } else {
        marks.resize(same);
        for (size_t i = same; i < na; ++i) {
            if (i == na - tail)
                newEnd64 = pen64;
            pen64 = LayOutChar(after[i], pen64, marks);
            from = std::min(from, marks.back().left);
            if (i < na - tail)
                middle(marks.back());
        }
        endsInPlace = tail > 0 && oldEnd64 == newEnd64;
        last.end64 = pen64;
    }
    last.text.assign(after);
    last.epoch = epoch;
    if (!last.marks.empty() && last.marks.back().upTo.left < last.marks.back().upTo.right) {
        const RECT &all = last.marks.back().upTo;
        box = RECT{x + all.left, y + all.top, x + all.right, y + all.bottom};
    }
    if (from == INT_MAX || (endsInPlace && mid.left >= mid.right))
        return box; // the same marks at the same places
    // The glyphs reaching right of where the lines part.
    // The box so far only grows to the right: the first character whose
    // box reaches past `from` is found by halving, the ones before it are
    // all left of it.
    const auto firstPast = std::partition_point(last.marks.begin(), last.marks.end(), [from](const LaidChar &m) {
        return m.upTo.left >= m.upTo.right || m.upTo.right <= from;
    });
    // What is drawn again: from the first changed column, over the old and
    // the new glyphs' boxes; the rest is the ground already.
    RECT area = box;
    if (endsInPlace) {
        // Right of the glyphs between, and above and below them, each pixel
        // is made by the same glyphs in both lines.
        area = RECT{x + mid.left, y + mid.top, x + mid.right, y + mid.bottom};
    } else if (beforeBox.left < beforeBox.right && beforeBox.top < beforeBox.bottom) {
        if (area.left >= area.right) {
            area = beforeBox;
        } else {
            area.top = std::min(area.top, beforeBox.top);
            area.bottom = std::max(area.bottom, beforeBox.bottom);
            area.right = std::max(area.right, beforeBox.right);
        }
    }
    area.left = std::max<LONG>(area.left, LONG(x) + from);
    Surface s = SurfaceOf(*dc);
    RECT in;
    if (!s.rows ||
        !Overlap(RECT{area.left + dc->originX, area.top + dc->originY, area.right + dc->originX,
                      area.bottom + dc->originY},
                 RECT{0, 0, s.width, s.height}, in))
        return box;
    // The picture copied whole to `to`: the screen's parts it covers, as
    // BitBlt names them, and whether they still hold the picture as it is
    // before this change (then only the change need reach them).
    GdiRef<GdiDc> screenDc;
    Surface ss;
    PixelRows::Part parts[PixelRows::kHeldParts];
    int nParts = 0, shiftX = 0, shiftY = 0;
    if (to && dc->memory && (screenDc = GdiGetDc(to)) && !screenDc->memory) {
        ss = SurfaceOf(*screenDc);
        int dox = screenDc->originX, doy = screenDc->originY;
        shiftX = dc->originX - toX - dox;
        shiftY = dc->originY - toY - doy;
        RECT all;
        if (ss.rows && ss.rows != s.rows &&
            Overlap(RECT{-shiftX, -shiftY, s.width - shiftX, s.height - shiftY}, RECT{0, 0, ss.width, ss.height},
                    all)) {
            for (const RECT &c : screenDc->clip) {
                RECT part;
                if (!Overlap(c, all, part))
                    continue;
                if (nParts == PixelRows::kHeldParts) {
                    nParts = 0;
                    break;
                }
                parts[nParts++] = PixelRows::Part{part.left, part.top, part.right, part.bottom};
            }
        }
        if (nParts > 0 && !ss.rows->Holds(s.rows->Key(), shiftX, shiftY, parts, nParts))
            nParts = 0;
    }
    int width = int(in.right - in.left), height = int(in.bottom - in.top);
    // Over the ground, a grey level's pixel is its shade (0: the ground).
    thread_local Shades shades;
    uint32_t c = uint32_t(color & 0xFFFFFF), under = uint32_t(ground & 0xFFFFFF);
    shades.For(under, c);
    // The glyphs that meet the area, where they lie in it: with its size
    // and colours they make its pixels. A progress page's names change the
    // same few digits at the same places again and again: the pixels last
    // made of the same are taken again.
    thread_local std::vector<AreaGlyph> meets;
    meets.clear();
    uint64_t hash = PixelRows::Mix(uint64_t(uint32_t(width)) << 32 | uint32_t(height), uint64_t(c) << 32 | under);
    // (The area lies right of `from`: so do the glyphs that meet it.)
    for (auto it = firstPast; it != last.marks.end(); ++it) {
        if (!it->glyph)
            continue;
        int gx = x + it->left + dc->originX;
        if (gx + it->glyph->width <= in.left || gx >= in.right)
            continue;
        AreaGlyph a{it->glyph, gx - int(in.left), y + dc->originY + it->top - int(in.top)};
        meets.push_back(a);
        hash = PixelRows::Mix(hash, uint64_t(uintptr_t(a.glyph)) ^ uint64_t(uint32_t(a.x)) << 32 ^
                                        uint64_t(uint32_t(a.top)) << 48);
    }
    thread_local std::vector<AreaPicture> pictures(size_t(1) << kAreaBits);
    AreaPicture &pic = pictures[size_t(hash >> (64 - kAreaBits))];
    const std::vector<Band> &bands = pic.bands;
    const std::vector<uint32_t> &out = pic.out;
    if (!(pic.epoch == epoch && pic.hash == hash && pic.width == width && pic.height == height && pic.colour == c &&
          pic.ground == under && pic.glyphs.size() == meets.size() &&
          std::equal(meets.begin(), meets.end(), pic.glyphs.begin(), [](const AreaGlyph &a, const AreaGlyph &b) {
              return a.glyph == b.glyph && a.x == b.x && a.top == b.top;
          }))) {
        pic.epoch = 0; // made again
        MakeArea(pic, meets, width, height, shades);
        pic.hash = hash;
        pic.width = width;
        pic.height = height;
        pic.colour = c;
        pic.ground = under;
        pic.glyphs.assign(meets.begin(), meets.end());
        pic.epoch = epoch;
    }
    // Rows of ground are filled (a row kept as runs stays so); each band of
    // inked rows is put in one piece. surface: where the area lies on it
    // (sx, sy: its top left); clip: the part of it drawn.
    auto draw = [&](PixelRows &rows, int sx, int sy, const RECT &clip) {
        const int top = int(clip.top - sy), bottom = int(clip.bottom - sy);
        const int x0 = int(clip.left), x1 = int(clip.right);
        for (const Band &b : bands) {
            int from = std::max(b.from, top), to = std::min(b.to, bottom);
            if (from >= to)
                continue;
            if (!b.inked) {
                for (int k = from; k < to; ++k)
                    rows.Fill(sy + k, x0, x1, under);
            } else {
                rows.PutRect(sy + from, sy + to, x0, x1, &out[size_t(from) * size_t(width) + size_t(x0 - sx)],
                             size_t(width));
            }
        }
    };
    {
        PixelRows::Gathered gathered(s.rows);
        if (dc->memory) {
            draw(*s.rows, int(in.left), int(in.top), in);
        } else {
            for (const RECT &clip : dc->clip) {
                RECT part;
                if (Overlap(clip, in, part))
                    draw(*s.rows, int(in.left), int(in.top), part);
            }
        }
    }
    if (nParts == 0)
        return box;
    // The same pixels where the screen shows them, then noted as a copy of
    // the picture now, as BitBlt would have.
    {
        PixelRows::Gathered gathered(ss.rows);
        RECT there{in.left - shiftX, in.top - shiftY, in.right - shiftX, in.bottom - shiftY};
        for (int i = 0; i < nParts; ++i) {
            RECT part;
            if (Overlap(RECT{parts[i].left, parts[i].top, parts[i].right, parts[i].bottom}, there, part))
                draw(*ss.rows, int(there.left), int(there.top), part);
        }
    }
    ss.rows->NoteCopy(s.rows->Key(), shiftX, shiftY, parts, nParts);
    s.rows->Anchor();
    shown = true;
    return box;
}

void GdiDrawIcon(HDC hdc, int x, int y, HICON icon)
{
    auto dc = GdiGetDc(hdc);
    auto ic = HandleGetAs<GdiIcon>(icon, HandleKind::Icon);
    if (!dc || !ic)
        return;
    Surface s = SurfaceOf(*dc);
    PixelRows::Gathered gathered(s.rows);
    // Runs of drawn (unmasked) pixels, row by row.
    for (int row = 0; row < ic->height; ++row) {
        const uint8_t *mask = &ic->mask[size_t(row) * size_t(ic->width)];
        const uint32_t *px = &ic->pixels[size_t(row) * size_t(ic->width)];
        for (int col = 0; col < ic->width;) {
            if (mask[col]) {
                ++col;
                continue;
            }
            int end = col;
            while (end < ic->width && !mask[end])
                ++end;
            int base = x + col + dc->originX;
            ForSpan(*dc, s, y + row + dc->originY, base, x + end + dc->originX,
                    [&](int sy, int x0, int x1) { PutRow(s, sy, x0, x1, px + col + (x0 - base)); });
            col = end;
        }
    }
}

HICON GdiCreateSymbolIcon(int size, COLORREF color, char16_t mark)
{
    if (size <= 0 || size > 256)
        return 0;
    auto ic = std::make_shared<GdiIcon>();
    ic->width = ic->height = size;
    ic->pixels.assign(size_t(size) * size_t(size), color);
    ic->mask.assign(size_t(size) * size_t(size), 1);
    double r = size / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = x + 0.5 - r, dy = y + 0.5 - r;
            if (dx * dx + dy * dy <= r * r)
                ic->mask[size_t(y) * size_t(size) + size_t(x)] = 0;
        }
    // The mark: the glyph of the built-in font, scaled 3 times, in white.
    int idx = (mark >= 0x20 && mark < 0x7F) ? mark - 0x20 : ('?' - 0x20);
    int scale = std::max(1, size / 10);
    int ox = (size - 5 * scale) / 2, oy = (size - 7 * scale) / 2;
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (kGlyphs[idx][row] & (0x10 >> col))
                for (int j = 0; j < scale; ++j)
                    for (int i = 0; i < scale; ++i) {
                        int x = ox + col * scale + i, y = oy + row * scale + j;
                        if (x >= 0 && y >= 0 && x < size && y < size)
                            ic->pixels[size_t(y) * size_t(size) + size_t(x)] = RGB(255, 255, 255);
                    }
    return HandleAlloc(HandleKind::Icon, ic);
}

HICON GdiCreateIconFromImage(const uint8_t *data, size_t size)
{
    if (!data || size < 40)
        return 0;
    BITMAPINFOHEADER bh;
    std::memcpy(&bh, data, sizeof bh);
    if (bh.biSize < 40 || bh.biSize > size || bh.biWidth <= 0 || bh.biWidth > 256 || bh.biHeight <= 0 ||
        bh.biHeight > 512 || bh.biCompression != BI_RGB)
        return 0;
    int w = bh.biWidth, h = bh.biHeight / 2;
    int bpp = bh.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return 0;
    size_t colors = bpp <= 8 ? (bh.biClrUsed ? bh.biClrUsed : (size_t(1) << bpp)) : 0;
    size_t palOff = bh.biSize;
    size_t xorOff = palOff + colors * 4;
    size_t xorRow = ((size_t(w) * size_t(bpp) + 31) / 32) * 4;
    size_t andRow = ((size_t(w) + 31) / 32) * 4;
    size_t andOff = xorOff + xorRow * size_t(h);
    if (andOff + andRow * size_t(h) > size)
        return 0;
    auto ic = std::make_shared<GdiIcon>();
    ic->width = w;
    ic->height = h;
    ic->pixels.assign(size_t(w) * size_t(h), 0);
    ic->mask.assign(size_t(w) * size_t(h), 0);
    for (int row = 0; row < h; ++row) {
        const uint8_t *src = data + xorOff + xorRow * size_t(h - 1 - row);
        const uint8_t *msk = data + andOff + andRow * size_t(h - 1 - row);
        for (int col = 0; col < w; ++col) {
            COLORREF c = 0;
            if (bpp == 24 || bpp == 32) {
                const uint8_t *p = src + size_t(col) * size_t(bpp / 8);
                c = RGB(p[2], p[1], p[0]);
            } else {
                size_t bit = size_t(col) * size_t(bpp);
                unsigned v = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (v < colors) {
                    const uint8_t *q = data + palOff + size_t(v) * 4;
                    c = RGB(q[2], q[1], q[0]);
                }
            }
            size_t i = size_t(row) * size_t(w) + size_t(col);
            ic->pixels[i] = c;
            ic->mask[i] = (msk[col / 8] >> (7 - col % 8)) & 1;
        }
    }
    return HandleAlloc(HandleKind::Icon, ic);
}

} // namespace plat

namespace plat {
namespace {

// The 1 x 1 bitmap a new memory DC holds: one stock bitmap that every such
// DC shares, as on Windows, so that a DC made and deleted around each paint
// makes and frees no bitmap. One per thread, so that no two threads draw
// into it at once; made black again when something drew into it. The
// table holds it until it is reset (a stock object cannot be deleted), so
// DCs borrow it, also past the end of the thread that made it.
HBITMAP StockDefaultBitmap(GdiBitmap *&object)
{
    thread_local HBITMAP handle = 0;
    thread_local GdiBitmap *bitmap = nullptr;
    thread_local uint64_t madeAt = 0, resets = 0;
    if (handle && resets == HandleResetCount()) {
        if (bitmap->pixels.Changes() != madeAt) {
            bitmap->pixels.Reset(1, 1, RGB(0, 0, 0));
            madeAt = bitmap->pixels.Changes();
        }
        object = bitmap;
        return handle;
    }
    resets = HandleResetCount();
    handle = GdiCreateBitmap(1, 1, 24);
    bitmap = handle ? GdiGetBitmap(handle).get() : nullptr;
    if (!bitmap)
        return handle = 0;
    bitmap->stock = true;
    madeAt = bitmap->pixels.Changes();
    object = bitmap;
    return handle;
}

} // namespace
} // namespace plat

using namespace plat;

// CreateCompatibleDC
extern "C" HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    if (hdc && !GdiGetDc(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::shared_ptr<HandleObject> o = NewDc();
    auto &dc = static_cast<GdiDc &>(*o);
    dc.memory = true;
    dc.defaultBitmap = StockDefaultBitmap(dc.selected);
    if (!dc.defaultBitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    HDC h = GdiAlloc(std::move(o), GdiType::Dc);
    if (!h)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return h;
}

// DeleteDC
extern "C" BOOL WINAPI DeleteDC(HDC hdc)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dc->bitmap && dc->selected && dc->selected->selectedInto == hdc)
        dc->selected->selectedInto = 0;
    // A bitmap still selected is let go: the DC may be kept a while.
    if (dc->bitmap)
        dc->selected = nullptr;
    FreeGdi(hdc, GdiType::Dc);
    return TRUE;
}

// CreateCompatibleBitmap
extern "C" HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    if (!GdiGetDc(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HBITMAP b = GdiCreateBitmap(cx, cy, 24);
    if (!b)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return b;
}

// CreateBitmap
extern "C" HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void *lpBits)
{
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1 ||
        (nBitCount != 1 && nBitCount != 4 && nBitCount != 8 && nBitCount != 16 && nBitCount != 24 &&
         nBitCount != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HBITMAP h = GdiCreateBitmap(nWidth, nHeight, int(nBitCount));
    if (!h) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (lpBits && (nBitCount == 24 || nBitCount == 32)) {
        const uint8_t *src = static_cast<const uint8_t *>(lpBits);
        size_t bpp = nBitCount / 8;
        size_t row = ((size_t(nWidth) * bpp) + 1) & ~size_t(1); // rows are word aligned
        std::vector<uint32_t> px(size_t(nWidth) * size_t(nHeight));
        for (int y = 0; y < nHeight; ++y)
            for (int x = 0; x < nWidth; ++x) {
                const uint8_t *p = src + size_t(y) * row + size_t(x) * bpp;
                px[size_t(y) * size_t(nWidth) + size_t(x)] = RGB(p[2], p[1], p[0]);
            }
        GdiGetBitmap(h)->pixels.Assign(nWidth, nHeight, px.data());
    }
    return h;
}

// CreateDIBSection
extern "C" HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, void **ppvBits,
                                           HANDLE hSection, DWORD offset)
{
    // The device's bitmaps keep their pixels to themselves; code that needs
    // the bits of a DIB section does not run here.
    SetLastError(ERROR_NOT_SUPPORTED);
    if (ppvBits)
        *ppvBits = nullptr;
    return 0;
}

// SelectObject
extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    auto dc = GdiGetDc(hdc);
    auto o = GetObj(h);
    if (!dc || !o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->type) {
    case GdiType::Bitmap: {
        if (!dc->memory) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        auto *b = static_cast<GdiBitmap *>(o.get());
        // A bitmap can be selected into one DC at a time.
        if (b->selectedInto && b->selectedInto != hdc && GdiGetDc(b->selectedInto)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        HBITMAP old = dc->bitmap ? dc->bitmap : dc->defaultBitmap;
        if (dc->bitmap && dc->selected)
            dc->selected->selectedInto = 0;
        if (h == dc->defaultBitmap)
            dc->bitmap = 0;
        else {
            dc->bitmap = h;
            b->selectedInto = hdc;
        }
        dc->selected = b;
        return old;
    }
    case GdiType::Brush: {
        HBRUSH old = dc->brush ? dc->brush : GetStockObject(WHITE_BRUSH);
        dc->brush = h;
        return old;
    }
    case GdiType::Font: {
        HFONT old = dc->font ? dc->font : GetStockObject(SYSTEM_FONT);
        dc->font = h;
        return old;
    }
    case GdiType::Pen:
        return GetStockObject(BLACK_PEN);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

// DeleteObject
extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    auto o = GetObj(ho);
    if (!o || o->type == GdiType::Dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock)
        return TRUE;
    if (o->type == GdiType::Bitmap) {
        auto *b = static_cast<GdiBitmap *>(o.get());
        // A bitmap still selected into a DC cannot be deleted.
        if (b->selectedInto && GdiGetDc(b->selectedInto)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    FreeGdi(ho, o->type);
    return TRUE;
}

// GetObjectW
extern "C" int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv)
{
    auto o = GetObj(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->type) {
    case GdiType::Bitmap: {
        auto *b = static_cast<GdiBitmap *>(o.get());
        if (!pv)
            return int(sizeof(BITMAP));
        if (c < int(sizeof(BITMAP))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        BITMAP bm{};
        bm.bmType = 0;
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmBitsPixel = WORD(b->bitsPixel);
        bm.bmPlanes = 1;
        bm.bmWidthBytes = ((b->width * b->bitsPixel + 15) / 16) * 2;
        bm.bmBits = 0;
        std::memcpy(pv, &bm, sizeof bm);
        return int(sizeof(BITMAP));
    }
    case GdiType::Brush: {
        auto *b = static_cast<GdiBrush *>(o.get());
        if (!pv)
            return int(sizeof(LOGBRUSH));
        if (c < int(sizeof(LOGBRUSH))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        LOGBRUSH lb{b->hollow ? UINT(BS_NULL) : UINT(BS_SOLID), b->color, 0};
        std::memcpy(pv, &lb, sizeof lb);
        return int(sizeof(LOGBRUSH));
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

// GetObjectType
extern "C" DWORD WINAPI GetObjectType(HGDIOBJ h)
{
    auto o = GetObj(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->type) {
    case GdiType::Bitmap: return OBJ_BITMAP;
    case GdiType::Brush: return OBJ_BRUSH;
    case GdiType::Dc: return static_cast<GdiDc *>(o.get())->memory ? OBJ_MEMDC : OBJ_DC;
    case GdiType::Font: return OBJ_FONT;
    case GdiType::Pen: return OBJ_PEN;
    }
    return 0;
}

// GetStockObject
extern "C" HGDIOBJ WINAPI GetStockObject(int i)
{
    if (i < 0 || i >= 16) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_stockLock);
    // Stock objects are made again after the handle table was reset (a
    // new device).
    if (!g_stock[i] || HandleGet(g_stock[i], HandleKind::Gdi) != g_stockObj[i]) {
        g_stock[i] = MakeStock(i);
        g_stockObj[i] = g_stock[i] ? HandleGet(g_stock[i], HandleKind::Gdi) : nullptr;
    }
    if (!g_stock[i])
        SetLastError(ERROR_INVALID_PARAMETER);
    return g_stock[i];
}

// CreateSolidBrush
extern "C" HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    std::shared_ptr<HandleObject> o = TakeNewestSpare(g_spares[2]);
    if (!o)
        o = MakePooled<GdiBrush>();
    auto &b = static_cast<GdiBrush &>(*o);
    b.color = color & 0xFFFFFF;
    b.hollow = false;
    HBRUSH h = GdiAlloc(std::move(o), GdiType::Brush);
    if (!h)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return h;
}


namespace {

// What BitBlt does besides a copy between two stores: a copy within one
// surface (read from a copy first when the two places overlap) and the
// other raster operations, pixel by pixel. Out of line: painting copies
// between stores only.
__attribute__((noinline)) void BlitOther(const GdiDc &dst, const Surface &ds, const Surface &ss, const RECT &r, int sox,
                                         int soy, int shiftX, int shiftY, DWORD rop)
{
    std::vector<uint32_t> tmp;
    Surface from = ss;
    if (ss.rows == ds.rows) {
        int dox = dst.originX, doy = dst.originY;
        RECT sr{r.left + sox, r.top + soy, r.right + sox, r.bottom + soy};
        RECT dr{r.left + dox, r.top + doy, r.right + dox, r.bottom + doy};
        RECT both;
        if (RectIntersect(sr, dr, both)) {
            int w = sr.right - sr.left, h = sr.bottom - sr.top;
            tmp.resize(size_t(w) * size_t(h));
            for (int j = 0; j < h; ++j) {
                const uint32_t *row = ReadRow(ss, sr.top + j) + sr.left;
                std::copy(row, row + w, &tmp[size_t(j) * size_t(w)]);
            }
            from = Surface{nullptr, tmp.data(), w, h};
            shiftX -= sr.left;
            shiftY -= sr.top;
        }
    }
    if (rop == SRCCOPY) {
        ForSpans(dst, ds, r,
                 [&](int dy, int dx0, int dx1) { CopyRow(ds, dy, dx0, dx1, from, dy + shiftY, dx0 + shiftX); });
        return;
    }
    ForSpans(dst, ds, r, [&](int dy, int dx0, int dx1) {
        for (int dx = dx0; dx < dx1; ++dx) {
            COLORREF c = PixelAt(from, dx + shiftX, dy + shiftY);
            COLORREF d = PixelAt(ds, dx, dy);
            c = rop == SRCAND ? (c & d) : rop == SRCPAINT ? (c | d) : (c ^ d);
            FillRow(ds, dy, dx, dx + 1, c);
        }
    });
}

} // namespace

// BitBlt
extern "C" BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    auto dst = GdiGetDc(hdc);
    if (!dst) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (rop == BLACKNESS || rop == WHITENESS) {
        GdiFill(hdc, RECT{x, y, x + cx, y + cy}, rop == BLACKNESS ? RGB(0, 0, 0) : RGB(255, 255, 255));
        return TRUE;
    }
    auto src = GdiGetDc(hdcSrc);
    if (!src) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (rop != SRCCOPY && rop != SRCAND && rop != SRCPAINT && rop != SRCINVERT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (cx <= 0 || cy <= 0)
        return TRUE;
    Surface ss = SurfaceOf(*src);
    Surface ds = SurfaceOf(*dst);
    // Source pixels are read where they lie on the source surface (a window
    // DC's source is not clipped by what is visible); the rest of the
    // destination is left alone.
    int sox = src->originX - x + x1, soy = src->originY - y + y1; // destination DC -> source surface
    RECT want{x, y, x + cx, y + cy};
    RECT have{-sox, -soy, ss.width - sox, ss.height - soy};
    RECT r;
    if (!RectIntersect(want, have, r))
        return TRUE;
    int dox = dst->originX, doy = dst->originY; // destination DC -> destination surface
    int shiftX = sox - dox, shiftY = soy - doy; // destination surface -> source surface
    if (rop != SRCCOPY || !ss.rows || ss.rows == ds.rows) {
        BlitOther(*dst, ds, ss, r, sox, soy, shiftX, shiftY, rop);
        return TRUE;
    }
    // A copy between two stores, described by the source's key.
    auto copy = [&] {
        ForSpans(*dst, ds, r,
                 [&](int dy, int dx0, int dx1) { CopyRow(ds, dy, dx0, dx1, ss, dy + shiftY, dx0 + shiftX); });
    };
    uint64_t srcKey = ss.rows->Key();
    RECT in;
    if (!Overlap(RECT{r.left + dox, r.top + doy, r.right + dox, r.bottom + doy}, RECT{0, 0, ds.width, ds.height}, in))
        return TRUE;
    if (dst->memory) {
        uint64_t what = RectKey(PixelRows::Mix(0x636F7079ull, srcKey), in);
        Described(ds, PixelRows::Mix(what, uint64_t(uint32_t(shiftX)) << 32 | uint32_t(shiftY)), copy);
        return TRUE;
    }
    // On the screen: the parts of the window's clip it covers. When they
    // still hold this very copy (a window repainted unchanged through a
    // buffer), nothing is done.
    PixelRows::Part parts[PixelRows::kHeldParts];
    int n = 0;
    for (const RECT &c : dst->clip) {
        RECT part;
        if (!Overlap(c, in, part))
            continue;
        if (n == PixelRows::kHeldParts) {
            n = -1;
            break;
        }
        parts[n++] = PixelRows::Part{part.left, part.top, part.right, part.bottom};
    }
    if (n > 0 && ds.rows->Holds(srcKey, shiftX, shiftY, parts, n))
        return TRUE;
    // When they hold the copy of the source as it was when last copied
    // out, only what was drawn on it since is copied (a static's new
    // file name: the columns from the first that changed).
    uint64_t before;
    PixelRows::Part box;
    if (n > 0 && ss.rows->ChangedSince(before, box) && ds.rows->Holds(before, shiftX, shiftY, parts, n)) {
        RECT changed{box.left - shiftX - dox, box.top - shiftY - doy, box.right - shiftX - dox,
                     box.bottom - shiftY - doy};
        RECT part;
        if (RectIntersect(r, changed, part))
            ForSpans(*dst, ds, part,
                     [&](int dy, int dx0, int dx1) { CopyRow(ds, dy, dx0, dx1, ss, dy + shiftY, dx0 + shiftX); });
    } else {
        copy();
    }
    if (n > 0) {
        ds.rows->NoteCopy(srcKey, shiftX, shiftY, parts, n);
        ss.rows->Anchor();
    }
    return TRUE;
}

// PatBlt
extern "C" BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    COLORREF c;
    if (rop == BLACKNESS)
        c = 0;
    else if (rop == WHITENESS)
        c = 0xFFFFFF;
    else if (rop == PATCOPY) {
        auto b = GdiGetBrush(dc->brush ? dc->brush : GetStockObject(WHITE_BRUSH));
        if (!b || b->hollow)
            return TRUE;
        c = b->color;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    GdiFill(hdc, RECT{x, y, x + w, y + h}, c);
    return TRUE;
}

// SetPixel
extern "C" COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return COLORREF(-1);
    }
    Surface s = SurfaceOf(*dc);
    ForSpans(*dc, s, RECT{x, y, x + 1, y + 1}, [&](int sy, int x0, int x1) { FillRow(s, sy, x0, x1, color); });
    return color & 0xFFFFFF;
}

// GetPixel
extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return COLORREF(-1);
    }
    Surface s = SurfaceOf(*dc);
    int sx = x + dc->originX, sy = y + dc->originY;
    if (sx < 0 || sy < 0 || sx >= s.width || sy >= s.height)
        return 0xFFFFFFFF; // CLR_INVALID
    return PixelAt(s, sx, sy);
}

// SetTextColor
extern "C" COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

// SetBkColor
extern "C" COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

// SetBkMode
extern "C" int WINAPI SetBkMode(HDC hdc, int mode)
{
    auto dc = GdiGetDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

// Rectangle
extern "C" BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto b = GdiGetBrush(dc->brush ? dc->brush : GetStockObject(WHITE_BRUSH));
    if (b && !b->hollow)
        GdiFill(hdc, RECT{left + 1, top + 1, right - 1, bottom - 1}, b->color);
    GdiFrame(hdc, RECT{left, top, right, bottom}, RGB(0, 0, 0));
    return TRUE;
}

// ExtTextOutW
extern "C" BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString,
                                   UINT c, const INT *lpDx)
{
    auto dc = GdiGetDc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lprect && (options & 2 /* ETO_OPAQUE */))
        GdiFill(hdc, *lprect, dc->bkColor);
    if (lpString && c)
        GdiText(hdc, x, y, std::u16string(lpString, c), dc->textColor);
    return TRUE;
}

// GetTextExtentPoint32W
extern "C" BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl)
{
    if (!GdiGetDc(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!psizl || c < 0 || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    psizl->cx = c > 0 ? GdiTextWidth(std::u16string(lpString, size_t(c))) : 0;
    psizl->cy = kCellH;
    return TRUE;
}

// GetDeviceCaps
extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    if (!GdiGetDc(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const DeviceSettings &ds = DeviceGetSettings();
    switch (index) {
    case HORZRES: return int(ds.screenWidth);
    case VERTRES: return int(ds.screenHeight);
    case BITSPIXEL: return 24;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
    }
}

// EnumFontFamiliesW
extern "C" int WINAPI EnumFontFamiliesW(HDC hdc, LPCWSTR lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam)
{
    if (!lpProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (hdc && !GdiGetDc(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!DeviceIsOpen()) {
        // The families are the device's: none without one.
        SetLastError(ERROR_NOT_READY);
        return 0;
    }
    // The list is copied: a callback may change the device settings.
    std::vector<std::u16string> fonts = DeviceGetSettings().fonts;
    int last = 1;
    for (const std::u16string &face : fonts) {
        if (lpLogfont && FoldCompare(face, lpLogfont) != 0)
            continue;
        ENUMLOGFONTW elf{};
        NEWTEXTMETRICW ntm{};
        size_t n = std::min(face.size(), size_t(LF_FACESIZE - 1));
        std::memcpy(elf.elfLogFont.lfFaceName, face.data(), n * sizeof(WCHAR));
        size_t nf = std::min(face.size(), size_t(LF_FULLFACESIZE - 1));
        std::memcpy(elf.elfFullName, face.data(), nf * sizeof(WCHAR));
        elf.elfLogFont.lfHeight = 13;
        elf.elfLogFont.lfWeight = FW_NORMAL;
        elf.elfLogFont.lfCharSet = ANSI_CHARSET;
        ntm.tmHeight = 13;
        ntm.tmAveCharWidth = 6;
        ntm.tmWeight = FW_NORMAL;
        last = lpProc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICW *>(&ntm), TRUETYPE_FONTTYPE, lParam);
        if (last == 0)
            break;
    }
    return last;
}
