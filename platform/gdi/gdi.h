// gdi.h - GDI objects shared by the gdi and user areas.
//
// Bitmaps, brushes and device contexts live in the handle table (kind Gdi),
// icons under their own kind. A device context draws either into a selected
// bitmap (memory DC) or into the screen through a window: then its origin is
// the window's client origin and its clip the visible part of the window.
#ifndef CE_PLATFORM_GDI_H
#define CE_PLATFORM_GDI_H

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/handles.h"
#include "gdi/pixels.h"
#include "gdi/region.h"
#include "windef.h"

namespace plat {

enum class GdiType { Bitmap, Brush, Dc, Font, Pen };

struct GdiObject : HandleObject {
    GdiType type;
    bool stock = false;
    explicit GdiObject(GdiType t) : type(t) {}
};

struct GdiBitmap : GdiObject {
    int width = 0;
    int height = 0;
    int bitsPixel = 24;
    PixelRows pixels; // COLORREF values, rows top-down
    HDC selectedInto = 0;
    GdiBitmap() : GdiObject(GdiType::Bitmap) {}
};

struct GdiBrush : GdiObject {
    COLORREF color = 0;
    bool hollow = false;
    GdiBrush() : GdiObject(GdiType::Brush) {}
};

struct GdiDc : GdiObject {
    bool memory = false;     // a memory DC (draws into its bitmap)
    HWND hwnd = 0;           // window DC: its window (0 for the whole screen)
    int originX = 0;         // screen position of the DC's (0, 0)
    int originY = 0;
    Region clip;             // window DC: the screen rectangles it may draw in
    HBITMAP bitmap = 0;      // memory DC: selected bitmap (0 = the 1x1 default)
    HBITMAP defaultBitmap = 0;
    // Memory DC: the bitmap drawn into (the selected one or the default),
    // kept here so that each drawing call does not look it up again.
    // Borrowed, not owned (a paint selects bitmaps four times, and each
    // shared count taken and given back was a locked instruction): a
    // selected bitmap cannot be deleted while its DC lives, DeleteDC and
    // SelectObject let go of it first, and the stock default bitmap lives
    // until the handle table is reset.
    GdiBitmap *selected = nullptr;
    HBRUSH brush = 0;
    HFONT font = 0;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = 2;
    GdiDc() : GdiObject(GdiType::Dc) {}
};

struct GdiIcon : HandleObject {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // COLORREF, top-down
    std::vector<uint8_t> mask;    // 1 = transparent
};

// A GDI object looked up for the length of one call (see HandleRef):
// drawing calls call nothing back, so nothing can free it meanwhile.
template <class T> using GdiRef = HandleRef<T>;

// The object of a live GDI handle of the given type, or null. Inline: a
// paint looks up some twenty-five objects.
// The subtype a GDI object's handle is made with (see SlotId): its type.
constexpr uint8_t GdiSub(GdiType type)
{
    return uint8_t(int(type) + 1);
}
template <class T> __attribute__((always_inline)) inline GdiRef<T> GdiGetTyped(HGDIOBJ h, GdiType type)
{
    return HandlePeekSub<T>(h, HandleKind::Gdi, GdiSub(type));
}
// A new handle for a GDI object.
__attribute__((always_inline)) inline uint32_t GdiAlloc(std::shared_ptr<HandleObject> object, GdiType type)
{
    return HandleAlloc(HandleKind::Gdi, std::move(object), GdiSub(type));
}
__attribute__((always_inline)) inline GdiRef<GdiBitmap> GdiGetBitmap(HBITMAP h)
{
    return GdiGetTyped<GdiBitmap>(h, GdiType::Bitmap);
}
__attribute__((always_inline)) inline GdiRef<GdiDc> GdiGetDc(HDC h)
{
    return GdiGetTyped<GdiDc>(h, GdiType::Dc);
}
__attribute__((always_inline)) inline GdiRef<GdiBrush> GdiGetBrush(HBRUSH h)
{
    return GdiGetTyped<GdiBrush>(h, GdiType::Brush);
}

// New bitmap of the given size, black; 0 on failure.
HBITMAP GdiCreateBitmap(int width, int height, int bitsPixel);
// New bitmap of the given size whose pixels (COLORREF values, rows top
// down) the caller writes, every one, at *pixels before anything else uses
// it: the memory is not cleared first. 0 on failure.
HBITMAP GdiCreateBitmapToFill(int width, int height, int bitsPixel, uint32_t **pixels);

// A DC on the screen for a window: origin and visible clip (screen
// coordinates) given by the window manager, computed once for the DC.
HDC GdiCreateWindowDc(HWND hwnd, int originX, int originY, const Region &clip);
void GdiReleaseDc(HDC hdc);
// Whether the screen still shows a memory DC's whole bitmap copied with
// its top left at (left, top), wherever visible (screen rectangles) lets it
// be seen: a copy made again would change nothing.
bool GdiScreenHolds(HDC memDc, int left, int top, const Region &visible);

// Drawing helpers in the DC's coordinates (clipped).
void GdiFill(HDC hdc, const RECT &r, COLORREF color);
// The same on a DC already looked up.
void GdiFillDc(const GdiDc &dc, const RECT &r, COLORREF color);
void GdiFrame(HDC hdc, const RECT &r, COLORREF color);
// A line of text with its top at y, in grey levels over what is there;
// bold for captions.
// Columns left of clipLeft (DC coordinates) are left as they are.
void GdiText(HDC hdc, int x, int y, const std::u16string &text, COLORREF color, bool bold = false,
             int clipLeft = INT_MIN);
// A line that replaces `before` where GdiText drew it at (x, y) over one
// ground colour, with nothing else drawn within beforeBox (the box of its
// glyphs, as this returned it; the whole picture when not known): the same
// pixels as the ground filled from the first column that changes, then the
// line drawn again from there, made in one pass and only where the old or
// new glyphs lie (inside the DC's clip, as GdiText). Returns the box of the
// new line's glyphs (DC coordinates; empty when it has none).
RECT GdiTextChange(HDC hdc, int x, int y, const std::u16string &before, const RECT &beforeBox,
                   const std::u16string &after, COLORREF color, COLORREF ground);
// The same on a memory DC's picture that is shown copied whole at (toX,
// toY) of the window DC `to` (as BitBlt SRCCOPY copies it): when the
// screen there still holds the picture as it was, the change is drawn there
// too and `shown` is set; else the caller copies the picture.
RECT GdiTextChange(HDC hdc, int x, int y, const std::u16string &before, const RECT &beforeBox,
                   const std::u16string &after, COLORREF color, COLORREF ground, HDC to, int toX, int toY,
                   bool &shown);
// Width and height of a text line in the dialog font.
int GdiTextWidth(const std::u16string &text, bool bold = false);
// The same in 1/64 pixels, unrounded: widths of pieces add up to the
// width of the whole ((w64 + 32) >> 6 rounds it as GdiTextWidth does).
long GdiTextWidth64(const char16_t *text, size_t n, bool bold = false);
// How many characters a and b (n each at least) start with alike, compared
// four at a time: the names of one folder share long starts.
inline size_t GdiSameStart(const char16_t *a, const char16_t *b, size_t n)
{
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first character of a word is its low one");
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t x, y;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        if (x != y)
            return i + size_t(__builtin_ctzll(x ^ y)) / 16;
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}
int GdiTextHeight();
void GdiDrawIcon(HDC hdc, int x, int y, HICON icon);

// A round icon of one colour with a mark in its middle (the message box
// icons: '!' , '?', 'i' or 'x').
HICON GdiCreateSymbolIcon(int size, COLORREF color, char16_t mark);

// Icons decoded from resource data (an icon image: BITMAPINFOHEADER with
// XOR and AND masks). 0 when the data is not an icon image.
HICON GdiCreateIconFromImage(const uint8_t *data, size_t size);

} // namespace plat

#endif
