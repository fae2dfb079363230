// gdi_test.cpp - device contexts and bitmaps: FillRect and BitBlt between
// memory bitmaps, copies within one bitmap or the screen, reused bitmap
// stores, and handle checks (screen drawing: render_test).
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gdi/gdi.h"
#include "gdi/screen.h"
#include "helpers/testdevice.h"

namespace {

class Gdi : public cetest::DeviceFixture {};

// r filled with a brush of colour c, as painting code does.
void Fill(HDC dc, RECT r, COLORREF c)
{
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

// A memory DC with a w x h bitmap of its own selected, let go at the end
// of the scope.
struct MemoryBitmap {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    MemoryBitmap(int w, int h)
        : dc(CreateCompatibleDC(0)), bmp(CreateCompatibleBitmap(dc, w, h)), old(SelectObject(dc, bmp))
    {
    }
    ~MemoryBitmap()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
};

// Every pixel of the w x h top left of a DC, rows top-down.
std::vector<COLORREF> Pixels(HDC dc, int w, int h)
{
    std::vector<COLORREF> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px.push_back(GetPixel(dc, x, y));
    return px;
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
        MemoryBitmap m(kW, kH);
        HDC dc = screen ? GetDC(win) : m.dc;
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
        if (screen)
            ReleaseDC(win, dc);
    }
    DestroyWindow(win);
}

// A new memory DC holds the one stock 1 x 1 bitmap: DCs made and deleted
// leave no handle behind, each starts black whatever an earlier one drew
// into it, deleting it is refused quietly, and it goes back into any of
// them after their own bitmap.
TEST_F(Gdi, MemoryDcsShareTheStockDefaultBitmap)
{
    // The bitmap a DC held, learnt by selecting another in its place.
    auto held = [](HDC dc) {
        HBITMAP probe = CreateCompatibleBitmap(dc, 2, 2);
        HGDIOBJ old = SelectObject(dc, probe);
        SelectObject(dc, old);
        DeleteObject(probe);
        return HBITMAP(old);
    };
    HDC first = CreateCompatibleDC(0);
    ASSERT_NE(first, HDC(0));
    HBITMAP stock = held(first);
    ASSERT_NE(stock, HBITMAP(0));
    ASSERT_TRUE(DeleteDC(first));
    const size_t handles = plat::HandleCount(plat::HandleKind::Gdi);
    struct Case {
        const char *what;
        void (*before)(HDC dc, HBITMAP stock);
    };
    const Case cases[] = {
        {"nothing done", [](HDC, HBITMAP) {}},
        {"drawn into", [](HDC dc, HBITMAP) { SetPixel(dc, 0, 0, RGB(255, 255, 255)); }},
        {"deleted", [](HDC, HBITMAP stock) { EXPECT_TRUE(DeleteObject(stock)); }},
        {"a bitmap selected and the stock one back",
         [](HDC dc, HBITMAP stock) {
             HBITMAP own = CreateCompatibleBitmap(dc, 4, 4);
             EXPECT_EQ(SelectObject(dc, own), HGDIOBJ(stock));
             EXPECT_FALSE(DeleteObject(own)) << "selected";
             EXPECT_EQ(SelectObject(dc, stock), HGDIOBJ(own));
             EXPECT_TRUE(DeleteObject(own)) << "no longer selected";
         }},
    };
    for (const Case &c : cases) {
        HDC a = CreateCompatibleDC(0), b = CreateCompatibleDC(0);
        ASSERT_TRUE(a && b) << c.what;
        EXPECT_EQ(held(a), stock) << c.what;
        EXPECT_EQ(held(b), stock) << c.what;
        c.before(a, stock);
        BITMAP bm{};
        EXPECT_EQ(GetObjectW(stock, sizeof bm, &bm), int(sizeof bm)) << c.what << ": still there";
        EXPECT_EQ(bm.bmWidth, 1);
        EXPECT_EQ(bm.bmHeight, 1);
        EXPECT_TRUE(DeleteDC(a));
        EXPECT_TRUE(DeleteDC(b));
        HDC next = CreateCompatibleDC(0);
        EXPECT_EQ(GetPixel(next, 0, 0), RGB(0, 0, 0)) << c.what << ": a new DC starts black";
        EXPECT_TRUE(DeleteDC(next));
        EXPECT_EQ(plat::HandleCount(plat::HandleKind::Gdi), handles) << c.what << ": nothing left behind";
    }
}

// A window painted again with the same picture through a fresh buffer (as
// the main window is at every progress step) leaves the screen as it was:
// nothing counts as changed, so a front end has nothing to show again.
TEST_F(Gdi, RepaintingTheSamePictureLeavesTheScreenUnchanged)
{
    HDC screen = GetDC(0);
    ASSERT_NE(screen, HDC(0));
    auto paint = [&] {
        MemoryBitmap mem(241, 321), pic(60, 20);
        Fill(mem.dc, RECT{0, 0, 240, 320}, RGB(0, 0, 160));
        Fill(pic.dc, RECT{0, 0, 30, 20}, RGB(200, 120, 0));
        Fill(pic.dc, RECT{30, 0, 60, 20}, RGB(250, 250, 250));
        SetPixel(pic.dc, 7, 7, RGB(1, 2, 3));
        BitBlt(mem.dc, 5, 5, 60, 20, pic.dc, 0, 0, SRCCOPY);
        BitBlt(screen, 0, 0, 241, 321, mem.dc, 0, 0, SRCCOPY);
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

// Random drawing checked against plain arrays, after every call: fills,
// copies between bitmaps and onto the screen through clipped window DCs,
// single pixels, bitmaps dropped and made again, and often the main
// window's paint (a fresh buffer filled, a picture copied in, the buffer
// copied through a clip around a page) done again alike. A bitmap that
// takes a dropped picture whole, or a copy left out because the screen
// still holds it, must give exactly what drawing it all would.
TEST_F(Gdi, RepeatedDrawingMatchesPlainArrays)
{
    plat::Screen &scr = plat::ScreenGet();
    const int sw = scr.pixels.Width(), sh = scr.pixels.Height();
    ASSERT_GT(sw, 200);
    ASSERT_GT(sh, 200);
    struct Plain {
        int w = 0, h = 0;
        std::vector<uint32_t> px;
        uint32_t &At(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
    };
    struct Bmp {
        HDC dc = 0;
        HBITMAP bmp = 0;
        HGDIOBJ old = 0;
        Plain m;
    };
    // Clips of window DCs (screen coordinates, disjoint): around a page,
    // a half, two boxes.
    const std::vector<plat::Region> clips = {
        {{0, 0, sw, 15}, {0, 15, 5, sh - 25}, {sw - 5, 15, sw, sh - 25}, {0, sh - 25, sw, sh}},
        {{0, 0, sw / 2, sh}},
        {{100, 100, 200, 200}, {0, 0, 50, 50}},
    };
    const COLORREF colours[] = {RGB(0, 0, 160), RGB(200, 120, 0), RGB(0, 0, 0), RGB(250, 250, 250)};
    const SIZE sizes[] = {{130, 130}, {150, 120}, {130, 130}};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        Plain screen{sw, sh, {}};
        screen.px.resize(size_t(sw) * size_t(sh));
        for (int y = 0; y < sh; ++y)
            std::copy(scr.pixels.Read(y), scr.pixels.Read(y) + sw, &screen.At(0, y));
        Bmp bmps[3];
        auto make = [&](Bmp &b, SIZE size) {
            if (b.dc) {
                SelectObject(b.dc, b.old);
                ASSERT_TRUE(DeleteObject(b.bmp));
            } else {
                b.dc = CreateCompatibleDC(0);
            }
            b.bmp = CreateCompatibleBitmap(b.dc, size.cx, size.cy);
            ASSERT_NE(b.bmp, HBITMAP(0));
            b.old = SelectObject(b.dc, b.bmp);
            b.m = Plain{int(size.cx), int(size.cy), std::vector<uint32_t>(size_t(size.cx) * size_t(size.cy), 0)};
        };
        for (Bmp &b : bmps)
            make(b, sizes[pick(3)]);
        // A picture with a pixel of its own everywhere, for copies to read.
        for (int y = 0; y < bmps[0].m.h; ++y)
            for (int x = 0; x < bmps[0].m.w; ++x) {
                SetPixel(bmps[0].dc, x, y, Mark(x, y));
                bmps[0].m.At(x, y) = Mark(x, y);
            }
        // Both a plain array and the store it stands for.
        auto check = [&](Plain &m, plat::PixelRows &p, const char *what, int step) {
            ASSERT_EQ(p.Width(), m.w);
            ASSERT_EQ(p.Height(), m.h);
            for (int y = 0; y < m.h; ++y) {
                const uint32_t *row = p.Read(y);
                for (int x = 0; x < m.w; ++x)
                    ASSERT_EQ(row[x], m.At(x, y)) << what << " at " << x << "," << y << " after step " << step;
            }
        };
        // Whether a window DC with that clip (none: a bitmap's) draws at x, y.
        auto inClip = [](const plat::Region *clip, int x, int y) {
            bool in = !clip;
            for (size_t i = 0; clip && i < clip->size() && !in; ++i)
                in = x >= (*clip)[i].left && x < (*clip)[i].right && y >= (*clip)[i].top && y < (*clip)[i].bottom;
            return in;
        };
        auto fillModel = [&](Plain &m, RECT r, COLORREF c, const plat::Region *clip, POINT origin) {
            for (int y = std::max(0, int(r.top) + origin.y); y < std::min(m.h, int(r.bottom) + origin.y); ++y)
                for (int x = std::max(0, int(r.left) + origin.x); x < std::min(m.w, int(r.right) + origin.x); ++x)
                    if (inClip(clip, x, y))
                        m.At(x, y) = c;
        };
        // BitBlt's model: src read where it lies (x1, y1 on), drawn where
        // the destination (DC origin, clip) allows.
        auto copyModel = [&](Plain &d, const Plain &s, RECT r, int x1, int y1, const plat::Region *clip,
                             POINT origin) {
            Plain from = s; // a copy, should d be s
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) {
                    int sx = x - r.left + x1, sy = y - r.top + y1, dx = x + origin.x, dy = y + origin.y;
                    if (sx >= 0 && sy >= 0 && sx < from.w && sy < from.h && dx >= 0 && dy >= 0 && dx < d.w &&
                        dy < d.h && inClip(clip, dx, dy))
                        d.At(dx, dy) = from.At(sx, sy);
                }
        };
        auto randomRect = [&](int w, int h) {
            int l = pick(w + 10) - 5, t = pick(h + 10) - 5;
            return RECT{l, t, l + 1 + pick(w), t + 1 + pick(h)};
        };
        struct ScreenFill {
            RECT r;
            COLORREF c;
            int clip;
            POINT origin;
        };
        std::vector<ScreenFill> recent;
        for (int step = 0; step < 160; ++step) {
            int kind = pick(9);
            if (kind >= 6) {
                // The main window's paint (a buffer a pixel larger than the
                // screen), alike each time but now and then for the
                // buffer's size or ground, the picture's place, the
                // window's place or its clip.
                SIZE size = step % 11 == 0 ? sizes[1] : SIZE{sw + 1, sh + 1};
                COLORREF ground = colours[step % 17 == 0 ? 1 : 0];
                const plat::Region &clip = clips[step % 13 == 0 ? 2 : 0];
                int x1 = step % 7 == 0 ? 4 : 3;
                POINT origin{step % 5 == 0 ? 3 : 2, 3};
                Bmp buf;
                make(buf, size);
                Fill(buf.dc, RECT{0, 0, size.cx, size.cy}, ground);
                fillModel(buf.m, RECT{0, 0, size.cx, size.cy}, ground, nullptr, POINT{});
                ASSERT_TRUE(BitBlt(buf.dc, 5, 5, 100, 40, bmps[0].dc, x1, 0, SRCCOPY));
                copyModel(buf.m, bmps[0].m, RECT{5, 5, 105, 45}, x1, 0, nullptr, POINT{});
                check(buf.m, plat::GdiGetBitmap(buf.bmp)->pixels, "buffer", step);
                HDC wdc = plat::GdiCreateWindowDc(0, origin.x, origin.y, clip);
                ASSERT_TRUE(BitBlt(wdc, 0, 0, size.cx, size.cy, buf.dc, 0, 0, SRCCOPY));
                copyModel(screen, buf.m, RECT{0, 0, size.cx, size.cy}, 0, 0, &clip, origin);
                plat::GdiReleaseDc(wdc);
                SelectObject(buf.dc, buf.old);
                DeleteObject(buf.bmp);
                DeleteDC(buf.dc);
            } else if (kind == 0) {
                make(bmps[1 + pick(2)], sizes[pick(3)]);
            } else if (kind == 1) {
                Bmp &b = bmps[pick(3)];
                RECT r = pick(2) ? RECT{0, 0, b.m.w, b.m.h} : randomRect(b.m.w, b.m.h);
                COLORREF c = colours[pick(4)];
                Fill(b.dc, r, c);
                fillModel(b.m, r, c, nullptr, POINT{});
                check(b.m, plat::GdiGetBitmap(b.bmp)->pixels, "filled bitmap", step);
            } else if (kind == 2) {
                Bmp &d = bmps[pick(3)], &s = bmps[pick(3)];
                RECT r = randomRect(d.m.w, d.m.h);
                int x1 = pick(40) - 10, y1 = pick(40) - 10;
                ASSERT_TRUE(BitBlt(d.dc, r.left, r.top, r.right - r.left, r.bottom - r.top, s.dc, x1, y1, SRCCOPY));
                copyModel(d.m, s.m, r, x1, y1, nullptr, POINT{});
                check(d.m, plat::GdiGetBitmap(d.bmp)->pixels, "copied-to bitmap", step);
            } else if (kind == 3 || kind == 4) {
                // Onto the screen: a bitmap copied, or a fill (often one
                // made before, as a control repainting its ground does).
                ScreenFill f{randomRect(sw, sh), colours[pick(4)], pick(3), POINT{pick(20), pick(20)}};
                if (kind == 4 && !recent.empty() && pick(2))
                    f = recent[size_t(pick(int(recent.size())))];
                else if (kind == 4 && recent.size() < 6)
                    recent.push_back(f);
                else if (kind == 4)
                    recent[size_t(pick(6))] = f;
                const plat::Region &clip = clips[size_t(f.clip)];
                POINT origin = f.origin;
                HDC wdc = plat::GdiCreateWindowDc(0, origin.x, origin.y, clip);
                if (kind == 3) {
                    Bmp &s = bmps[pick(3)];
                    RECT r = pick(2) ? RECT{0, 0, s.m.w, s.m.h} : randomRect(s.m.w, s.m.h);
                    ASSERT_TRUE(BitBlt(wdc, r.left, r.top, r.right - r.left, r.bottom - r.top, s.dc, r.left, r.top,
                                       SRCCOPY));
                    copyModel(screen, s.m, r, r.left, r.top, &clip, origin);
                } else {
                    RECT r = f.r;
                    COLORREF c = f.c;
                    Fill(wdc, r, c);
                    fillModel(screen, r, c, &clip, origin);
                }
                plat::GdiReleaseDc(wdc);
            } else {
                // One pixel on a bitmap or on the screen.
                int x = pick(sw), y = pick(sh);
                COLORREF c = colours[pick(4)];
                if (pick(2)) {
                    HDC sdc = GetDC(0);
                    SetPixel(sdc, x, y, c);
                    ReleaseDC(0, sdc);
                    screen.At(x, y) = c;
                } else {
                    Bmp &b = bmps[pick(3)];
                    x %= b.m.w;
                    y %= b.m.h;
                    SetPixel(b.dc, x, y, c);
                    b.m.At(x, y) = c;
                    check(b.m, plat::GdiGetBitmap(b.bmp)->pixels, "bitmap set", step);
                }
            }
            check(screen, scr.pixels, "screen", step);
        }
        for (Bmp &b : bmps) {
            SelectObject(b.dc, b.old);
            DeleteObject(b.bmp);
            DeleteDC(b.dc);
        }
    }
}

// A picture copied onto the screen, drawn on, and copied again (a static's
// file name changed at its end) is copied only where it changed when the
// screen still shows the first copy. Whatever happened in between, the
// screen must show all of the picture wherever the second copy reaches.
TEST_F(Gdi, APictureCopiedAgainAfterAChangeShowsAllOfIt)
{
    struct Case {
        const char *what;
        RECT change;     // filled on the picture between the copies (empty: none)
        RECT overScreen; // filled on the screen between the copies (empty: none)
        POINT second;    // where the second copy goes (the first: 20, 30)
        int secondClip;  // the second copy's clip (0: as the first)
        bool remade;     // a new bitmap selected into the picture's DC
        bool pixel;      // one pixel set on the picture as the change
    };
    const Case cases[] = {
        {"end changed", {40, 2, 60, 12}, {}, {20, 30}, 0, false, false},
        {"nothing changed", {}, {}, {20, 30}, 0, false, false},
        {"screen drawn over beside the change", {40, 2, 60, 12}, {25, 31, 35, 45}, {20, 30}, 0, false, false},
        {"screen drawn over, picture unchanged", {}, {22, 33, 70, 40}, {20, 30}, 0, false, false},
        {"copied elsewhere", {40, 2, 60, 12}, {}, {21, 30}, 0, false, false},
        {"copied with a wider clip", {40, 2, 60, 12}, {}, {20, 30}, 1, false, false},
        {"a pixel set", {}, {}, {20, 30}, 0, false, true},
        {"picture remade", {}, {}, {20, 30}, 0, true, false},
    };
    // Two clips: the left part of the picture's place, and all of the screen.
    const plat::Region clips[] = {{{0, 0, 60, 400}}, {{0, 0, 1000, 1000}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HDC screenDc = GetDC(0);
        Fill(screenDc, RECT{0, 0, 240, 320}, RGB(255, 255, 255));
        HDC pic = CreateCompatibleDC(0);
        HBITMAP bmp = CreateCompatibleBitmap(pic, 70, 16);
        HGDIOBJ old = SelectObject(pic, bmp);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 70; ++x)
                SetPixel(pic, x, y, Mark(x, y));
        HDC wdc = plat::GdiCreateWindowDc(0, 0, 0, clips[0]);
        ASSERT_TRUE(BitBlt(wdc, 20, 30, 70, 16, pic, 0, 0, SRCCOPY));
        plat::GdiReleaseDc(wdc);
        HBITMAP second = 0;
        if (c.remade) {
            second = CreateCompatibleBitmap(pic, 70, 16);
            SelectObject(pic, second);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 70; ++x)
                    SetPixel(pic, x, y, Mark(y, x));
        }
        if (c.change.right > c.change.left)
            Fill(pic, c.change, RGB(0, 90, 0));
        if (c.pixel)
            SetPixel(pic, 3, 4, RGB(9, 9, 9));
        if (c.overScreen.right > c.overScreen.left)
            Fill(screenDc, c.overScreen, RGB(90, 0, 0));
        ReleaseDC(0, screenDc);
        // What the screen shows before the second copy, to check the parts
        // it must not touch.
        std::vector<COLORREF> before(240 * 320);
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 240; ++x)
                before[size_t(y) * 240 + size_t(x)] = plat::ScreenPixel(x, y);
        const plat::Region &clip = clips[c.secondClip];
        wdc = plat::GdiCreateWindowDc(0, 0, 0, clip);
        ASSERT_TRUE(BitBlt(wdc, c.second.x, c.second.y, 70, 16, pic, 0, 0, SRCCOPY));
        plat::GdiReleaseDc(wdc);
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 240; ++x) {
                bool inClip = x >= clip[0].left && x < clip[0].right && y >= clip[0].top && y < clip[0].bottom;
                int px = x - c.second.x, py = y - c.second.y;
                bool inCopy = px >= 0 && px < 70 && py >= 0 && py < 16;
                COLORREF want = inClip && inCopy ? GetPixel(pic, px, py) : before[size_t(y) * 240 + size_t(x)];
                ASSERT_EQ(plat::ScreenPixel(x, y), want) << "at " << x << "," << y;
            }
        SelectObject(pic, old);
        DeleteObject(bmp);
        if (second)
            DeleteObject(second);
        DeleteDC(pic);
    }
}

// Text blends each pixel with what lies under it: over a ground of two
// colours in stripes, every pixel is what the same text gives over the
// colour of its own stripe alone; drawn from a column on (a line redrawn
// from where it changed), the columns left of it keep their ground and the
// rest are as the whole line gives them.
TEST_F(Gdi, TextBlendsOverWhateverLiesUnderEachPixel)
{
    const COLORREF a = RGB(192, 192, 192), b = RGB(20, 60, 200);
    const std::u16string line = u"Copying file: Wg&j f1207.bin";
    const int w = 180, h = 16;
    auto draw = [&](std::vector<COLORREF> ground, int clipLeft) {
        MemoryBitmap m(w, h);
        for (int x = 0; x < w; ++x)
            Fill(m.dc, RECT{x, 0, x + 1, h}, ground[size_t(x)]);
        plat::GdiText(m.dc, 2, 1, line, RGB(0, 0, 0), false, clipLeft);
        return Pixels(m.dc, w, h);
    };
    const std::vector<COLORREF> allA(w, a), allB(w, b);
    std::vector<COLORREF> stripes(w);
    for (int x = 0; x < w; ++x)
        stripes[size_t(x)] = (x / 3) % 2 ? b : a;
    const std::vector<COLORREF> onA = draw(allA, INT_MIN), onB = draw(allB, INT_MIN);
    struct Case {
        const char *what;
        int clipLeft;
    } cases[] = {{"whole line", INT_MIN}, {"from column 40", 40}, {"from column 97", 97}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<COLORREF> got = draw(stripes, c.clipLeft);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                size_t i = size_t(y) * size_t(w) + size_t(x);
                COLORREF ground = stripes[size_t(x)];
                COLORREF want = c.clipLeft != INT_MIN && x < c.clipLeft ? ground : ground == a ? onA[i] : onB[i];
                ASSERT_EQ(got[i], want) << "at " << x << "," << y;
            }
    }
    EXPECT_NE(onA, draw(allA, 97)) << "a line drawn from a column leaves the columns before it";
}

// A line changed in place (GdiTextChange, one line after another, each
// given the box the last returned) leaves exactly the pixels of the last
// line drawn afresh over the ground: on the left and right edges of the
// bitmap, over another ground and colour, with characters beyond ASCII and
// with lines that leave no mark.
TEST_F(Gdi, LineChangedInPlaceMatchesTheLastDrawnAfresh)
{
    struct Case {
        const char *what;
        int x, y, w;
        COLORREF ground, color;
        std::vector<std::u16string> lines;
    };
    const COLORREF face = RGB(192, 192, 192), black = RGB(0, 0, 0);
    const Case cases[] = {
        {"names in turn", 2, 1, 180, face, black,
         {u"Copying file: f1207.bin", u"Copying file: f1244.bin", u"Copying file: f1.bin", u"Copying file: f1j.bin"}},
        {"cut at the left edge", -7, 0, 180, face, black, {u"jjCopying f1", u"jjCopying f22", u"jj", u"jjW"}},
        {"cut at the right edge", 3, 2, 60, face, black,
         {u"Copying file: f1207.bin", u"Copying file: f1244.bin", u"Copying fi", u"Copying file: f9999.bin",
          u"Copying WWWWWWWW", u"Copying MWMWMWMW"}},
        // Digits are as wide as each other: the ends stay in place.
        {"digits changed in place", 4, 1, 120, face, black, {u"f00.bin", u"f10.bin", u"f11.bin"}},
        {"digits changed in place, then moved", 4, 1, 120, face, black, {u"f00.bin", u"f10.bin", u"f1.bin"}},
        {"as long, the end moved", 4, 1, 120, face, black, {u"x", u"f10.bin", u"fWi.bin", u"fi1.bin"}},
        // v and y, g and b are as wide: the box moves with the glyph between.
        {"a descender between, then gone", 4, 1, 120, face, black, {u"x", u"xvx", u"xyx", u"z"}},
        {"an ascender between, then gone", 4, 1, 120, face, black, {u"x", u"xgx", u"xbx", u"z"}},
        {"wide glyphs cut at the right edge", 0, 0, 47, face, black, {u"MWM", u"MWMWMWMW", u"MWMWWWWW", u"MWMMMMMM"}},
        {"another ground and colour", 1, 3, 150, RGB(20, 60, 200), RGB(255, 255, 255),
         {u"Wg&j f1207.bin", u"Wg&j f1.bin", u"Wg&j ffff.bin"}},
        {"beyond ASCII", 0, 0, 150, face, black,
         {u"Kopiere: Gr\u00f6\u00dfe.bin", u"Kopiere: Gr\u00f6\u00dfer.bin", u"Kopiere: \u00c4rger.bin"}},
        {"no marks, then marks", 0, 0, 100, face, black, {u" ", u"   ", u"a", u"", u"ab", u"a  "}},
        {"taller, then shorter", 0, 0, 100, face, black, {u"a", u"Tj", u"ace", u"g", u"x", u"xx"}},
    };
    const int h = 16;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MemoryBitmap changed(c.w, h), fresh(c.w, h);
        Fill(changed.dc, RECT{0, 0, c.w, h}, c.ground);
        Fill(fresh.dc, RECT{0, 0, c.w, h}, c.ground);
        plat::GdiText(changed.dc, c.x, c.y, c.lines[0], c.color);
        RECT box{0, 0, c.w, h};
        for (size_t i = 1; i < c.lines.size(); ++i)
            box = plat::GdiTextChange(changed.dc, c.x, c.y, c.lines[i - 1], box, c.lines[i], c.color, c.ground);
        plat::GdiText(fresh.dc, c.x, c.y, c.lines.back(), c.color);
        std::vector<COLORREF> got = Pixels(changed.dc, c.w, h), want = Pixels(fresh.dc, c.w, h);
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(got[i], want[i]) << "at " << int(i) % c.w << "," << int(i) / c.w;
        // Every glyph of the last line lies inside the box returned.
        if (!c.lines.back().empty() && c.lines.back().find_first_not_of(u' ') != std::u16string::npos) {
            EXPECT_LT(box.left, box.right);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < c.w; ++x)
                    if (want[size_t(y) * size_t(c.w) + size_t(x)] != c.ground)
                        ASSERT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom)
                            << "ink at " << x << "," << y << " outside the box";
        }
    }
}

// The same change of a line made again and again (a progress page's next
// name differs in the same digits at the same place): each time, over
// another ground, in another colour, at another place, the pixels are those
// of the new line drawn afresh there.
TEST_F(Gdi, LineChangedAgainAndAgainMatchesItDrawnAfresh)
{
    struct Look {
        int x, y;
        COLORREF ground, color;
    };
    const Look looks[] = {
        {2, 1, RGB(192, 192, 192), RGB(0, 0, 0)},   {2, 1, RGB(192, 192, 192), RGB(128, 128, 128)},
        {2, 1, RGB(20, 60, 200), RGB(0, 0, 0)},     {2, 3, RGB(192, 192, 192), RGB(0, 0, 0)},
        {3, 1, RGB(192, 192, 192), RGB(0, 0, 0)},   {2, 1, RGB(20, 60, 200), RGB(255, 255, 255)},
        {-4, 1, RGB(192, 192, 192), RGB(0, 0, 0)},
    };
    const std::u16string lines[] = {u"Copying file: f1207.bin", u"Copying file: f1208.bin", u"Copying file: f1207.bin",
                                    u"Copying file: f1209.bin", u"Copying file: f1208.bin", u"Copying file: f1207.bin"};
    const int w = 180, h = 16;
    for (int round = 0; round < 2; ++round)
        for (const Look &l : looks) {
            SCOPED_TRACE("look at " + std::to_string(l.x) + "," + std::to_string(l.y) + " round " +
                         std::to_string(round));
            MemoryBitmap changed(w, h);
            Fill(changed.dc, RECT{0, 0, w, h}, l.ground);
            plat::GdiText(changed.dc, l.x, l.y, lines[0], l.color);
            RECT box{0, 0, w, h};
            for (size_t i = 1; i < std::size(lines); ++i) {
                box = plat::GdiTextChange(changed.dc, l.x, l.y, lines[i - 1], box, lines[i], l.color, l.ground);
                MemoryBitmap fresh(w, h);
                Fill(fresh.dc, RECT{0, 0, w, h}, l.ground);
                plat::GdiText(fresh.dc, l.x, l.y, lines[i], l.color);
                ASSERT_EQ(Pixels(changed.dc, w, h), Pixels(fresh.dc, w, h)) << "after line " << i;
            }
        }
}

// A long name changed into another that parts from it and meets it again
// at each place (a character changed, taken out or put in), and back:
// each change leaves the pixels of the new line drawn afresh.
TEST_F(Gdi, LineChangedAtEachPlaceMatchesItDrawnAfresh)
{
    const COLORREF face = RGB(192, 192, 192), black = RGB(0, 0, 0);
    const int w = 240, h = 16;
    auto draw = [&](const std::u16string *before, const std::u16string &line) {
        MemoryBitmap m(w, h);
        RECT all{0, 0, w, h};
        plat::GdiFill(m.dc, all, face);
        if (before) {
            plat::GdiText(m.dc, 2, 1, *before, black);
            plat::GdiTextChange(m.dc, 2, 1, *before, all, line, black, face);
        } else {
            plat::GdiText(m.dc, 2, 1, line, black);
        }
        return Pixels(m.dc, w, h);
    };
    // The second name's runs of one character meet again a place early.
    const char16_t *const names[] = {u"Copying file: \\Windows\\f1207-x.bin", u"Copying: \\0000000011111111.bin"};
    for (const std::u16string name : names) {
        const std::vector<COLORREF> nameFresh = draw(nullptr, name);
        for (size_t i = 0; i < name.size(); ++i) {
            std::u16string changed = name, out = name, in = name;
            changed[i] = name[i] == u'W' ? u'i' : u'W';
            out.erase(i, 1);
            in.insert(i, 1, u'W');
            for (const std::u16string *l : {&changed, &out, &in}) {
                SCOPED_TRACE(std::string(l->begin(), l->end()));
                EXPECT_EQ(draw(&name, *l), draw(nullptr, *l)) << "the name changed";
                EXPECT_EQ(draw(l, name), nameFresh) << "back to the name";
            }
        }
    }
}

// The same through a window's DC on the screen whose clip another window
// on top splits in two (drawn row span by row span): a chain of names shows
// what the last name drawn afresh through that DC shows.
TEST_F(Gdi, LineChangedInPlaceThroughASplitClipMatchesTheLastDrawnAfresh)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"GdiTextWnd";
    RegisterClassW(&wc);
    const int w = 150, h = 16;
    HWND under = CreateWindowExW(0, u"GdiTextWnd", u"", WS_POPUP | WS_VISIBLE, 10, 10, w, h, 0, 0, 0, nullptr);
    HWND over = CreateWindowExW(0, u"GdiTextWnd", u"", WS_POPUP | WS_VISIBLE, 30, 0, 5, 60, 0, 0, 0, nullptr);
    ASSERT_TRUE(under && over);
    const COLORREF face = RGB(192, 192, 192);
    // Changed from the second glyph on: across the window on top.
    const std::u16string lines[] = {u"Wg f1207.bin", u"Wx f1207.bin", u"Wx f1208.bin", u"Wg f1.bin"};
    auto shown = [&]() {
        std::vector<COLORREF> px;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px.push_back(plat::ScreenPixel(10 + x, 10 + y));
        return px;
    };
    HDC dc = GetDC(under);
    Fill(dc, RECT{0, 0, w, h}, face);
    plat::GdiText(dc, 2, 1, lines[0], RGB(0, 0, 0));
    RECT box{0, 0, w, h};
    for (size_t i = 1; i < std::size(lines); ++i)
        box = plat::GdiTextChange(dc, 2, 1, lines[i - 1], box, lines[i], RGB(0, 0, 0), face);
    std::vector<COLORREF> changed = shown();
    Fill(dc, RECT{0, 0, w, h}, face);
    plat::GdiText(dc, 2, 1, lines[std::size(lines) - 1], RGB(0, 0, 0));
    std::vector<COLORREF> fresh = shown();
    ReleaseDC(under, dc);
    for (size_t i = 0; i < fresh.size(); ++i)
        ASSERT_EQ(changed[i], fresh[i]) << "at " << int(i) % w << "," << int(i) / w;
    DestroyWindow(over);
    DestroyWindow(under);
}

} // namespace


namespace {

const COLORREF kNoPixel = 0xFFFFFFFF; // GetPixel outside the DC's surface

// A DC's settings as a new one has them; what differs is named. A window
// DC (win given) must draw on the screen at the window, a memory DC into
// the 1 x 1 black bitmap. Left with its settings changed and a brush
// selected, as a paint may leave a DC it deletes.
std::string NotAsNew(HDC dc, HWND win = 0)
{
    std::string out;
    COLORREF text = SetTextColor(dc, RGB(1, 1, 1)), bk = SetBkColor(dc, RGB(2, 2, 2));
    int mode = SetBkMode(dc, TRANSPARENT);
    if (text != RGB(0, 0, 0))
        out += " text colour " + std::to_string(text);
    if (bk != RGB(255, 255, 255))
        out += " ground colour " + std::to_string(bk);
    if (mode != OPAQUE)
        out += " ground mode " + std::to_string(mode);
    if (SetTextColor(dc, RGB(1, 1, 1)) != RGB(1, 1, 1))
        out += " its own setting not kept";
    HBRUSH probe = CreateSolidBrush(RGB(3, 3, 3));
    HGDIOBJ brush = SelectObject(dc, probe);
    if (brush != GetStockObject(WHITE_BRUSH))
        out += " a brush selected";
    SelectObject(dc, brush);
    DeleteObject(probe);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    if (win) {
        POINT at{1, 1};
        ClientToScreen(win, &at);
        SetPixel(dc, 1, 1, RGB(0, 99, 0));
        if (GetObjectType(dc) != OBJ_DC || plat::ScreenPixel(at.x, at.y) != RGB(0, 99, 0))
            out += " not drawing at the window";
        SetPixel(dc, 1, 1, RGB(0, 0, 0));
        return out;
    }
    if (GetPixel(dc, 0, 0) != RGB(0, 0, 0) || GetPixel(dc, 1, 0) != kNoPixel || GetPixel(dc, 0, 1) != kNoPixel)
        out += " not the 1 x 1 black bitmap";
    if (GetObjectType(dc) != OBJ_MEMDC)
        out += " not a memory DC";
    return out;
}

HWND g_win; // the window the window DCs are for
std::vector<HBITMAP> g_leftSelected; // bitmaps left selected in DCs that were deleted

} // namespace

// A memory DC draws into the bitmap it holds and into nothing else: one
// made on a thread that has ended still has its own default bitmap, a
// bitmap selected into a live DC is not deleted from under it, and one let
// go with its DC and deleted gives its memory to the next bitmap without
// the old DC's handle reaching it.
TEST_F(Gdi, MemoryDcsDrawOnlyIntoTheBitmapTheyHold)
{
    HDC orphan = 0;
    std::thread([&] { orphan = CreateCompatibleDC(0); }).join();
    ASSERT_TRUE(orphan);
    {
        MemoryBitmap fresh(1, 1); // may take memory freed meanwhile
        EXPECT_EQ(SetPixel(orphan, 0, 0, RGB(255, 0, 0)), RGB(255, 0, 0));
        EXPECT_EQ(GetPixel(orphan, 0, 0), RGB(255, 0, 0));
        EXPECT_EQ(GetPixel(fresh.dc, 0, 0), RGB(0, 0, 0));
    }
    EXPECT_TRUE(DeleteDC(orphan));

    HDC dc = CreateCompatibleDC(0);
    HBITMAP a = CreateCompatibleBitmap(dc, 4, 4);
    ASSERT_TRUE(SelectObject(dc, a));
    EXPECT_FALSE(DeleteObject(a));
    Fill(dc, RECT{0, 0, 4, 4}, RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 255));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(a));
    {
        MemoryBitmap next(4, 4);
        Fill(next.dc, RECT{0, 0, 4, 4}, RGB(0, 255, 0));
        EXPECT_EQ(SetPixel(dc, 1, 1, RGB(255, 0, 0)), COLORREF(-1)) << "the deleted DC draws";
        EXPECT_EQ(GetPixel(next.dc, 1, 1), RGB(0, 255, 0));
    }
}

// DCs, bitmaps and brushes are made and deleted at every paint, and many
// of a kind may be deleted at once (more than are kept for reuse), some
// of them still held elsewhere: every new one starts as new under a new
// handle whatever was done to the last (settings changed, a brush or a
// bitmap left selected, drawn on), the old handles stay refused, and a held
// object is never handed out again nor changed. Memory DCs come both before
// and after window DCs, so that each takes records the other left.
TEST_F(Gdi, DeletedObjectsStayRefusedAndTheNextStartAsNew)
{
    g_win = cetest::CreateMainWindow(u"GdiTestReuse");
    ASSERT_TRUE(g_win);
    struct Kind {
        const char *what;
        HGDIOBJ (*make)(int i);
        // "" when the object is as a new one of make(i) would be.
        std::string (*notAsNew)(HGDIOBJ o, int i);
        BOOL (*drop)(HGDIOBJ o);
    };
    const Kind memoryDcs = {"memory DCs", [](int) { return HGDIOBJ(CreateCompatibleDC(0)); },
                            [](HGDIOBJ o, int i) {
                                std::string out = NotAsNew(HDC(o));
                                if (i % 3 == 2) {
                                    // A bitmap left selected, drawn on.
                                    g_leftSelected.push_back(CreateCompatibleBitmap(HDC(o), 5, 5));
                                    SelectObject(HDC(o), g_leftSelected.back());
                                    SetPixel(HDC(o), 0, 0, RGB(255, 0, 0));
                                }
                                return out;
                            },
                            [](HGDIOBJ o) { return DeleteDC(HDC(o)); }};
    const Kind kinds[] = {
        memoryDcs,
        {"window DCs", [](int) { return HGDIOBJ(GetDC(g_win)); },
         [](HGDIOBJ o, int) { return NotAsNew(HDC(o), g_win); },
         [](HGDIOBJ o) { return BOOL(ReleaseDC(g_win, HDC(o))); }},
        memoryDcs,
        {"brushes", [](int i) { return HGDIOBJ(CreateSolidBrush(RGB(i, 2 * i, 3))); },
         [](HGDIOBJ o, int i) {
             LOGBRUSH lb{};
             if (GetObjectW(o, sizeof lb, &lb) != int(sizeof lb))
                 return std::string("unreadable");
             return lb.lbColor == RGB(i, 2 * i, 3) && lb.lbStyle == UINT(BS_SOLID) ? std::string()
                                                                                 : std::string("another colour");
         },
         [](HGDIOBJ o) { return DeleteObject(o); }},
        {"bitmaps", [](int) { return HGDIOBJ(CreateBitmap(6, 5, 1, 24, nullptr)); },
         [](HGDIOBJ o, int) {
             HDC dc = CreateCompatibleDC(0);
             HGDIOBJ old = SelectObject(dc, o);
             std::string out = old ? "" : "not selectable";
             for (int y = 0; y < 5; ++y)
                 for (int x = 0; x < 6; ++x)
                     if (GetPixel(dc, x, y) != RGB(0, 0, 0))
                         out = "not black";
             // Drawn on now: a later reuse must not show it.
             SetPixel(dc, 2, 2, RGB(255, 0, 0));
             SelectObject(dc, old);
             DeleteDC(dc);
             return out;
         },
         [](HGDIOBJ o) { return DeleteObject(o); }},
    };
    constexpr int kMost = 9;
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.what);
        // Counts below and above what is kept: freed while the list has
        // room and while it is full.
        for (int count : {kMost, 2, 3, kMost, 1, 2}) {
            SCOPED_TRACE(count);
            HGDIOBJ made[kMost];
            std::shared_ptr<plat::HandleObject> held[kMost];
            for (int i = 0; i < count; ++i) {
                made[i] = k.make(i);
                ASSERT_NE(made[i], HGDIOBJ(0));
                EXPECT_EQ(k.notAsNew(made[i], i), "") << "object " << i;
                if (i % 2 == 1 || count == 1)
                    held[i] = plat::HandleGet(uint32_t(made[i]), plat::HandleKind::Gdi);
            }
            for (int i = 0; i < count; ++i)
                EXPECT_TRUE(k.drop(made[i]));
            for (HBITMAP b : g_leftSelected) {
                EXPECT_TRUE(DeleteObject(b)) << "its DC is gone";
                EXPECT_FALSE(DeleteObject(b));
            }
            g_leftSelected.clear();
            for (int i = 0; i < count; ++i) {
                SetLastError(0);
                EXPECT_EQ(GetObjectType(made[i]), DWORD(0)) << "old handle " << i;
                EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
                BITMAP bm{};
                SetLastError(0);
                EXPECT_EQ(GetObjectW(made[i], sizeof bm, &bm), 0) << "old handle " << i;
                EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
                SetLastError(0);
                EXPECT_EQ(SelectObject(HDC(made[i]), GetStockObject(BLACK_BRUSH)), HGDIOBJ(0));
                EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
                EXPECT_FALSE(k.drop(made[i]));
            }
            HGDIOBJ again[kMost];
            for (int i = 0; i < count; ++i) {
                again[i] = k.make(i);
                ASSERT_NE(again[i], HGDIOBJ(0));
                EXPECT_EQ(k.notAsNew(again[i], i), "") << "remade " << i;
                for (int j = 0; j < count; ++j) {
                    EXPECT_NE(again[i], made[j]);
                    if (held[j]) {
                        EXPECT_NE(plat::HandleGet(uint32_t(again[i]), plat::HandleKind::Gdi), held[j])
                            << "a held object handed out again";
                    }
                }
            }
            for (int i = 0; i < count; ++i)
                k.drop(again[i]);
            for (HBITMAP b : g_leftSelected)
                DeleteObject(b);
            g_leftSelected.clear();
        }
    }
    // A stock brush is not deleted: a brush made next is another.
    HBRUSH hollow = HBRUSH(GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(DeleteObject(hollow)) << "a stock object is not deleted";
    HBRUSH c = CreateSolidBrush(RGB(7, 8, 9));
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(hollow, sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbStyle, UINT(BS_NULL)) << "the stock brush is still itself";
    ASSERT_EQ(GetObjectW(c, sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbStyle, UINT(BS_SOLID));
    DeleteObject(c);
    DestroyWindow(g_win);
}
