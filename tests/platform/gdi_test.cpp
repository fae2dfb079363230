// gdi_test.cpp - device contexts and bitmaps: FillRect and BitBlt between
// memory bitmaps, copies within one bitmap or the screen, reused bitmap
// stores, and handle checks (screen drawing: render_test).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gdi/screen.h"
#include "helpers/testdevice.h"

namespace {

class Gdi : public cetest::DeviceFixture {};

TEST_F(Gdi, FillRectAndBitBltBetweenMemoryBitmaps)
{
    HDC a = CreateCompatibleDC(0), b = CreateCompatibleDC(0);
    HBITMAP ba = CreateCompatibleBitmap(a, 10, 10), bb = CreateCompatibleBitmap(b, 10, 10);
    HGDIOBJ olda = SelectObject(a, ba);
    SelectObject(b, bb);
    HBRUSH red = CreateSolidBrush(RGB(200, 10, 20));
    RECT r{2, 3, 5, 6};
    EXPECT_EQ(FillRect(a, &r, red), 1);
    EXPECT_EQ(GetPixel(a, 4, 5), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(a, 5, 5), RGB(0, 0, 0)) << "right edge is excluded";
    EXPECT_TRUE(BitBlt(b, 0, 0, 4, 4, a, 2, 3, SRCCOPY));
    EXPECT_EQ(GetPixel(b, 2, 2), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(b, 3, 3), RGB(0, 0, 0)) << "the source's black beyond the fill";
    // A selected bitmap cannot be deleted; after deselecting it can.
    EXPECT_FALSE(DeleteObject(ba));
    SelectObject(a, olda);
    EXPECT_TRUE(DeleteObject(ba));
    BITMAP bm{};
    SetLastError(0);
    EXPECT_EQ(GetObjectW(ba, sizeof bm, &bm), 0) << "deleted bitmap";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    DeleteObject(red);
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_FALSE(DeleteDC(a)) << "a DC is deleted once";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    DeleteDC(b);
    DeleteObject(bb);
}

// A colour of its own for each pixel, so that a copy from the wrong place
// shows.
COLORREF Mark(int x, int y)
{
    return RGB(x * 7 + 1, y * 5 + 2, (x + y) * 3);
}

// BitBlt within one surface, each direction of overlap: the result is
// what a copy made from the untouched source would give.
TEST_F(Gdi, OverlappingCopiesWithinOneSurfaceReadTheSourceFirst)
{
    const int kW = 24, kH = 20;
    HWND win = cetest::CreateMainWindow(u"GdiTestMain");
    ASSERT_TRUE(win);
    struct Shift {
        int dx, dy;
    };
    const std::vector<Shift> shifts = {{3, 0}, {-3, 0}, {0, 3}, {0, -3}, {2, 2}, {-2, -2}, {2, -3}, {0, 0}};
    for (bool screen : {false, true}) {
        HDC dc = screen ? GetDC(win) : CreateCompatibleDC(0);
        HBITMAP bmp = screen ? 0 : CreateCompatibleBitmap(dc, kW, kH);
        HGDIOBJ old = screen ? 0 : SelectObject(dc, bmp);
        for (const Shift &s : shifts) {
            SCOPED_TRACE((screen ? "screen, shift " : "bitmap, shift ") + std::to_string(s.dx) + "," +
                         std::to_string(s.dy));
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    SetPixel(dc, x, y, Mark(x, y));
            // Source 4..16 x 4..14, moved by the shift.
            ASSERT_TRUE(BitBlt(dc, 4 + s.dx, 4 + s.dy, 12, 10, dc, 4, 4, SRCCOPY));
            int wrong = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    int sx = x - s.dx, sy = y - s.dy;
                    bool inDest = x >= 4 + s.dx && x < 16 + s.dx && y >= 4 + s.dy && y < 14 + s.dy;
                    COLORREF want = inDest ? Mark(sx, sy) : Mark(x, y);
                    wrong += GetPixel(dc, x, y) != want;
                }
            EXPECT_EQ(wrong, 0);
        }
        if (screen) {
            ReleaseDC(win, dc);
        } else {
            SelectObject(dc, old);
            DeleteObject(bmp);
            DeleteDC(dc);
        }
    }
    DestroyWindow(win);
}

// The store of a deleted bitmap is used again: a new bitmap still starts
// black, whatever the old one held, whether it is read first or drawn on
// first (then what the drawing leaves is black).
TEST_F(Gdi, NewBitmapsStartBlackOnAReusedStore)
{
    auto fill = [](HDC dc, RECT r, COLORREF c) {
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc, &r, b);
        DeleteObject(b);
    };
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        HDC dc = CreateCompatibleDC(0);
        HBITMAP bmp = CreateCompatibleBitmap(dc, 241, 321);
        HGDIOBJ old = SelectObject(dc, bmp);
        if (round % 2) {
            // Drawn on first: a fill of all but the last column and row.
            fill(dc, RECT{0, 0, 240, 320}, RGB(200, 0, 0));
            EXPECT_EQ(GetPixel(dc, 239, 319), RGB(200, 0, 0));
            for (POINT p : {POINT{240, 0}, POINT{0, 320}, POINT{240, 320}, POINT{240, 160}})
                EXPECT_EQ(GetPixel(dc, p.x, p.y), RGB(0, 0, 0)) << p.x << "," << p.y;
        } else {
            int lit = 0;
            for (int y = 0; y < 321; y += 20)
                for (int x = 0; x < 241; x += 20)
                    lit += GetPixel(dc, x, y) != RGB(0, 0, 0);
            EXPECT_EQ(lit, 0);
        }
        fill(dc, RECT{0, 0, 241, 321}, RGB(0, 0, 196));
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
}

// A window painted again with the same picture through a fresh buffer (as
// the main window is at every progress step) leaves the screen as it was:
// nothing counts as changed, so a front end has nothing to show again.
TEST_F(Gdi, RepaintingTheSamePictureLeavesTheScreenUnchanged)
{
    HDC screen = GetDC(0);
    ASSERT_NE(screen, HDC(0));
    auto fill = [](HDC dc, RECT r, COLORREF c) {
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc, &r, b);
        DeleteObject(b);
    };
    auto paint = [&] {
        HDC mem = CreateCompatibleDC(screen), pic = CreateCompatibleDC(screen);
        HBITMAP buf = CreateCompatibleBitmap(screen, 241, 321), pb = CreateCompatibleBitmap(screen, 60, 20);
        HGDIOBJ oldMem = SelectObject(mem, buf), oldPic = SelectObject(pic, pb);
        fill(mem, RECT{0, 0, 240, 320}, RGB(0, 0, 160));
        fill(pic, RECT{0, 0, 30, 20}, RGB(200, 120, 0));
        fill(pic, RECT{30, 0, 60, 20}, RGB(250, 250, 250));
        SetPixel(pic, 7, 7, RGB(1, 2, 3));
        BitBlt(mem, 5, 5, 60, 20, pic, 0, 0, SRCCOPY);
        BitBlt(screen, 0, 0, 241, 321, mem, 0, 0, SRCCOPY);
        SelectObject(pic, oldPic);
        SelectObject(mem, oldMem);
        DeleteObject(pb);
        DeleteObject(buf);
        DeleteDC(pic);
        DeleteDC(mem);
    };
    paint();
    plat::ScreenRgb(); // shown
    uint64_t shown = plat::ScreenGet().pixels.Changes();
    paint();
    EXPECT_EQ(plat::ScreenGet().pixels.Changes(), shown);
    EXPECT_EQ(GetPixel(screen, 0, 0), RGB(0, 0, 160));
    EXPECT_EQ(GetPixel(screen, 239, 319), RGB(0, 0, 160));
    EXPECT_EQ(GetPixel(screen, 5 + 29, 24), RGB(200, 120, 0));
    EXPECT_EQ(GetPixel(screen, 5 + 30, 5), RGB(250, 250, 250));
    EXPECT_EQ(GetPixel(screen, 12, 12), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(screen, 5 + 60, 5), RGB(0, 0, 160)) << "beside the picture";
    ReleaseDC(0, screen);
}

} // namespace
