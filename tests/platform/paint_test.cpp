// paint_test.cpp - update regions and window DC clipping: what
// InvalidateRect / ValidateRect keep, what WM_PAINT is sent for, and that a
// paint reaches only the pixels of its update region that can be seen.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "gdi/screen.h"
#include "user/window.h"

namespace {

// What the painting window saw, and what it paints with.
struct PaintLog {
    int paints = 0;
    int erases = 0;
    RECT lastPaint{};
    COLORREF color = RGB(10, 20, 30);
    bool callBeginPaint = true;
    bool defaultPaint = false; // WM_PAINT left to DefWindowProc
    RECT invalidateWhilePainting{}; // not empty: invalidated inside WM_PAINT once
};
PaintLog g_log;

LRESULT CALLBACK PaintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ERASEBKGND) {
        ++g_log.erases;
        return 1;
    }
    if (msg != WM_PAINT)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    ++g_log.paints;
    if (g_log.defaultPaint)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (!g_log.callBeginPaint)
        return 0;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    g_log.lastPaint = ps.rcPaint;
    // The whole client: only the update region may change.
    RECT all;
    GetClientRect(hwnd, &all);
    HBRUSH b = CreateSolidBrush(g_log.color);
    FillRect(dc, &all, b);
    DeleteObject(b);
    if (!IsRectEmpty(&g_log.invalidateWhilePainting)) {
        InvalidateRect(hwnd, &g_log.invalidateWhilePainting, FALSE);
        g_log.invalidateWhilePainting = RECT{};
    }
    EndPaint(hwnd, &ps);
    return 0;
}

class Paint : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_log = PaintLog{};
        WNDCLASSW wc{};
        wc.lpfnWndProc = PaintProc;
        wc.lpszClassName = u"PaintTestClass";
        ASSERT_NE(RegisterClassW(&wc), 0);
        main = CreateWindowExW(0, u"PaintTestClass", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, 0, 0, 0, nullptr);
        ASSERT_TRUE(main);
        Settle();
    }
    // Paints what is due, then starts counting afresh with a new colour.
    void Settle()
    {
        UpdateWindow(main);
        g_log.paints = g_log.erases = 0;
        g_log.color = RGB(200, 100, 50);
    }
    HWND Popup(RECT r)
    {
        return CreateWindowExW(0, u"PaintTestClass", u"", WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, 0, 0, 0, nullptr);
    }
    static bool Painted(int x, int y) { return plat::ScreenPixel(x, y) == RGB(200, 100, 50); }
    HWND main = 0;
};

// One sequence of invalidations and validations of the full-screen window,
// what GetUpdateRect reports, and probe points inside or outside what the
// paint then reaches.
struct RegionCase {
    const char *name;
    std::vector<RECT> invalidate; // {0,0,0,0} stands for the whole window (NULL)
    std::vector<RECT> validate;   // likewise
    RECT bounds;                  // expected GetUpdateRect; empty: no WM_PAINT
    std::vector<POINT> in, out;
};

TEST_F(Paint, UpdateRegionsKeepWhatWasInvalidatedAndPaintOnlyThat)
{
    const RECT kAll{0, 0, 0, 0};
    const std::vector<RegionCase> cases = {
        {"one rectangle", {{10, 10, 50, 50}}, {}, {10, 10, 50, 50}, {{10, 10}, {49, 49}}, {{50, 50}, {9, 10}}},
        {"two rectangles paint their union, not their bounds",
         {{10, 10, 50, 50}, {40, 40, 80, 80}},
         {},
         {10, 10, 80, 80},
         {{45, 45}, {79, 79}},
         {{70, 20}, {20, 70}}},
        {"a validated band is left out",
         {kAll},
         {{0, 0, 240, 100}},
         {0, 100, 240, 320},
         {{10, 150}, {239, 319}},
         {{10, 50}, {239, 99}}},
        {"a hole validated in the middle",
         {{0, 0, 100, 100}},
         {{40, 40, 60, 60}},
         {0, 0, 100, 100},
         {{10, 10}, {70, 50}},
         {{50, 50}}},
        {"cut to the client area", {{-20, -20, 10, 10}}, {}, {0, 0, 10, 10}, {{0, 0}, {9, 9}}, {{10, 10}}},
        {"outside the window: nothing", {{300, 300, 400, 400}}, {}, {0, 0, 0, 0}, {}, {{0, 0}}},
        {"all validated: nothing", {kAll}, {kAll}, {0, 0, 0, 0}, {}, {{100, 100}}},
    };
    for (const RegionCase &c : cases) {
        SCOPED_TRACE(c.name);
        Settle();
        for (const RECT &r : c.invalidate)
            InvalidateRect(main, IsRectEmpty(&r) ? nullptr : &r, FALSE);
        for (const RECT &r : c.validate)
            ValidateRect(main, IsRectEmpty(&r) ? nullptr : &r);
        RECT got{};
        BOOL any = GetUpdateRect(main, &got, FALSE);
        EXPECT_EQ(any != FALSE, !IsRectEmpty(&c.bounds));
        EXPECT_TRUE(EqualRect(&got, &c.bounds))
            << got.left << "," << got.top << "," << got.right << "," << got.bottom;
        UpdateWindow(main);
        EXPECT_EQ(g_log.paints, IsRectEmpty(&c.bounds) ? 0 : 1);
        if (g_log.paints) {
            EXPECT_TRUE(EqualRect(&g_log.lastPaint, &c.bounds)) << "rcPaint is the region's bounds";
        }
        for (POINT p : c.in)
            EXPECT_TRUE(Painted(p.x, p.y)) << "painted at " << p.x << "," << p.y;
        for (POINT p : c.out)
            EXPECT_FALSE(Painted(p.x, p.y)) << "left alone at " << p.x << "," << p.y;
        EXPECT_FALSE(GetUpdateRect(main, nullptr, FALSE)) << "validated by the paint";
        UpdateWindow(main);
        EXPECT_LE(g_log.paints, 1) << "no second WM_PAINT";
        // Back to the first colour for the next case.
        g_log.color = RGB(10, 20, 30);
        InvalidateRect(main, nullptr, FALSE);
        UpdateWindow(main);
    }
}

TEST_F(Paint, CoveredPartsAreNotKeptAndUncoveringPaintsThem)
{
    HWND cover = Popup(RECT{50, 60, 150, 160});
    ASSERT_TRUE(cover);
    g_log.color = RGB(1, 2, 3);
    UpdateWindow(cover);
    Settle();
    // Entirely under the popup: nothing to paint.
    RECT hidden{70, 80, 120, 130};
    InvalidateRect(main, &hidden, FALSE);
    EXPECT_FALSE(GetUpdateRect(main, nullptr, FALSE));
    // The popup goes: exactly what it covered is painted.
    DestroyWindow(cover);
    RECT got{};
    EXPECT_TRUE(GetUpdateRect(main, &got, FALSE));
    RECT expect{50, 60, 150, 160};
    EXPECT_TRUE(EqualRect(&got, &expect)) << got.left << "," << got.top << "," << got.right << "," << got.bottom;
    MSG m;
    while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    EXPECT_EQ(g_log.paints, 1);
    EXPECT_TRUE(Painted(60, 70));
}

TEST_F(Paint, InvalidationWhilePaintingIsKept)
{
    g_log.invalidateWhilePainting = RECT{5, 5, 15, 15};
    InvalidateRect(main, nullptr, FALSE);
    UpdateWindow(main);
    RECT got{};
    EXPECT_TRUE(GetUpdateRect(main, &got, FALSE)) << "BeginPaint validated before the paint invalidated again";
    RECT expect{5, 5, 15, 15};
    EXPECT_TRUE(EqualRect(&got, &expect));
}

TEST_F(Paint, AProcedureThatNeverValidatesIsNotAskedForEver)
{
    g_log.callBeginPaint = false;
    InvalidateRect(main, nullptr, FALSE);
    MSG m;
    int paints = 0;
    while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE) && paints < 10) {
        paints += m.message == WM_PAINT;
        DispatchMessageW(&m);
    }
    EXPECT_EQ(paints, 1);
    EXPECT_FALSE(GetUpdateRect(main, nullptr, FALSE));
}

// A window is painted once for each invalidation, erased first exactly
// when that was asked, whether its procedure paints (BeginPaint) or leaves
// WM_PAINT to DefWindowProc (which validates and draws nothing); and
// GetUpdateRect erases when asked, once.
TEST_F(Paint, PaintsEraseOnlyWhenAsked)
{
    for (bool byDefault : {true, false})
        for (bool whole : {false, true})
            for (bool erase : {false, true}) {
                SCOPED_TRACE(testing::Message() << (byDefault ? "default" : "BeginPaint") << (whole ? ", whole" : ", part")
                                                << (erase ? ", erased" : ""));
                g_log.defaultPaint = byDefault;
                g_log.paints = g_log.erases = 0;
                RECT r{10, 10, 40, 40};
                InvalidateRect(main, whole ? nullptr : &r, erase);
                UpdateWindow(main);
                EXPECT_EQ(g_log.paints, 1);
                EXPECT_EQ(g_log.erases, erase ? 1 : 0);
                EXPECT_FALSE(GetUpdateRect(main, nullptr, FALSE)) << "validated";
                EXPECT_EQ(Painted(20, 20), !byDefault) << "drawn only by the procedure";
                UpdateWindow(main);
                EXPECT_EQ(g_log.paints, 1) << "not asked again";
            }
    RECT r{0, 0, 20, 20};
    InvalidateRect(main, &r, TRUE);
    EXPECT_TRUE(GetUpdateRect(main, nullptr, TRUE));
    EXPECT_EQ(g_log.erases, 2);
    UpdateWindow(main);
    EXPECT_EQ(g_log.erases, 2) << "erased once";
}

// What a window can be seen in is kept between paints; every change of the
// layout must be seen at the next draw. Each case draws once (so that what
// was worked out is kept), changes the layout, and draws again.
struct LayoutCase {
    const char *name;
    std::function<void(HWND parent, HWND child, HWND cover)> change;
    bool childVisible;
    std::vector<POINT> in, out; // screen points the child's draw reaches, or not
};

TEST_F(Paint, EveryChangeOfTheLayoutIsSeenAtTheNextDraw)
{
    auto move = [](HWND h, int x, int y, int cx, int cy) { SetWindowPos(h, 0, x, y, cx, cy, SWP_NOZORDER); };
    const LayoutCase cases[] = {
        {"nothing changed", [](HWND, HWND, HWND) {}, true, {{100, 100}}, {{80, 80}, {125, 100}}},
        {"cover moved away", [&](HWND, HWND, HWND c) { move(c, 200, 200, 10, 10); }, true, {{80, 80}, {100, 100}}, {{125, 100}}},
        {"cover hidden", [](HWND, HWND, HWND c) { ShowWindow(c, SW_HIDE); }, true, {{80, 80}}, {{125, 100}}},
        {"cover destroyed", [](HWND, HWND, HWND c) { DestroyWindow(c); }, true, {{80, 80}}, {{125, 100}}},
        {"parent raised over the cover",
         [](HWND p, HWND, HWND) { SetWindowPos(p, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }, true,
         {{80, 80}}, {{125, 100}}},
        {"parent moved", [&](HWND p, HWND, HWND) { move(p, 120, 120, 100, 100); }, true, {{175, 175}}, {{100, 100}}},
        {"parent hidden", [](HWND p, HWND, HWND) { ShowWindow(p, SW_HIDE); }, false, {}, {{100, 100}, {110, 110}}},
        {"parent given a caption and frame",
         [](HWND p, HWND, HWND) { SetWindowLongW(p, GWL_STYLE, WS_POPUP | WS_VISIBLE | WS_CAPTION); }, true,
         {{100, 110}}, {{95, 71}, {119, 110}}},
        {"new window made over the child",
         [](HWND, HWND, HWND) {
             CreateWindowExW(0, u"PaintTestClass", u"", WS_POPUP | WS_VISIBLE, 95, 95, 20, 20, 0, 0, 0, nullptr);
         },
         true, {{92, 92}}, {{100, 100}}},
        {"child moved in its parent", [&](HWND, HWND c, HWND) { move(c, 0, 0, 100, 100); }, true, {{30, 100}},
         {{125, 100}, {30, 30}}},
        {"child hidden", [](HWND, HWND c, HWND) { ShowWindow(c, SW_HIDE); }, false, {}, {{100, 100}}},
    };
    for (const LayoutCase &c : cases) {
        SCOPED_TRACE(c.name);
        HWND parent = Popup(RECT{20, 20, 120, 120});
        HWND child = CreateWindowExW(0, u"PaintTestClass", u"", WS_CHILD | WS_VISIBLE, 50, 50, 100, 100, parent, 0,
                                     0, nullptr);
        HWND cover = Popup(RECT{0, 0, 90, 90});
        auto draw = [&](HWND h, COLORREF colour) {
            HDC dc = GetDC(h);
            RECT all{0, 0, 1000, 1000};
            HBRUSH b = CreateSolidBrush(colour);
            FillRect(dc, &all, b);
            DeleteObject(b);
            ReleaseDC(h, dc);
        };
        draw(child, RGB(200, 100, 50));
        c.change(parent, child, cover);
        draw(0, RGB(0, 0, 0));
        draw(child, RGB(200, 100, 50));
        EXPECT_EQ(IsWindowVisible(child) != FALSE, c.childVisible);
        for (POINT p : c.in)
            EXPECT_TRUE(Painted(p.x, p.y)) << p.x << "," << p.y;
        for (POINT p : c.out)
            EXPECT_FALSE(Painted(p.x, p.y)) << p.x << "," << p.y;
        for (HWND h : plat::WindowTopLevels())
            if (h != main)
                DestroyWindow(h);
    }
}

// A window painted twice with the same update region (the whole client,
// as a progress step asks) may take its clip from the last paint only while
// nothing changed: whatever happens between two paints must show at the
// second. Each case paints the window twice in one colour, makes its change,
// then invalidates and updates the window alone in the probe colour.
struct RepaintCase {
    const char *name;
    std::function<void(HWND &win, HWND &cover)> change; // between the two paints and the probe paint
    bool invalidateFirst; // the probe's invalidation comes before the change
    std::vector<POINT> in, out;
    std::function<void(HWND &win, HWND &cover)> before = [](HWND &, HWND &) {}; // before the two paints
    bool invalidateAfter = true; // the probe's invalidation comes after the change
};

TEST_F(Paint, WhatChangesBetweenTwoPaintsOfTheSameRegionShowsAtTheNext)
{
    auto nothing = [](HWND &, HWND &) {};
    auto moveCover = [](HWND &, HWND &cover) {
        SetWindowPos(cover, 0, 0, 0, 50, 50, SWP_NOZORDER | SWP_NOACTIVATE);
        g_log.color = RGB(1, 2, 3);
        UpdateWindow(cover);
    };
    auto coverAt = [this](RECT r) {
        return [this, r](HWND &, HWND &cover) {
            cover = Popup(r);
            g_log.color = RGB(1, 2, 3);
            UpdateWindow(cover);
        };
    };
    const std::vector<RepaintCase> cases = {
        {"nothing changed", nothing, false, {{30, 30}, {119, 119}}, {{19, 19}, {120, 120}}},
        {"moved",
         [](HWND &w, HWND &) { SetWindowPos(w, 0, 60, 60, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE); },
         false,
         {{150, 150}, {60, 60}},
         {{30, 30}, {160, 160}}},
        {"moved, and what the move asked for validated",
         [](HWND &w, HWND &) {
             SetWindowPos(w, 0, 60, 60, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE);
             ValidateRect(w, nullptr);
         },
         false,
         {{150, 150}, {60, 60}},
         {{30, 30}, {160, 160}}},
        {"moved after the invalidation",
         [](HWND &w, HWND &) { SetWindowPos(w, 0, 60, 60, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE); },
         true,
         {{150, 150}, {60, 60}},
         {{30, 30}, {160, 160}}},
        {"covered", coverAt(RECT{0, 0, 50, 50}), false, {{100, 100}, {50, 30}}, {{30, 30}, {49, 49}}},
        {"covered after the invalidation", coverAt(RECT{0, 0, 50, 50}), true, {{100, 100}, {50, 30}},
         {{30, 30}, {49, 49}}},
        // The update region was cut to what could be seen when it was made;
        // a window put over it before the paint is left alone by the paint.
        {"covered after the only invalidation", coverAt(RECT{0, 0, 50, 50}), true, {{100, 100}, {50, 30}},
         {{30, 30}, {49, 49}}, nothing, false},
        {"cover moved in after the only invalidation", moveCover, true, {{100, 100}, {50, 30}},
         {{30, 30}, {49, 49}}, coverAt(RECT{200, 250, 210, 260}), false},
        {"cover moved in before the invalidation", moveCover, false, {{100, 100}, {50, 30}}, {{30, 30}, {49, 49}},
         coverAt(RECT{200, 250, 210, 260})},
        {"uncovered",
         [](HWND &, HWND &cover) {
             DestroyWindow(cover);
             cover = 0;
         },
         false,
         {{30, 30}, {100, 100}},
         {},
         coverAt(RECT{0, 0, 50, 50})},
        {"hidden and shown again",
         [](HWND &w, HWND &) {
             ShowWindow(w, SW_HIDE);
             ShowWindow(w, SW_SHOWNA);
         },
         false,
         {{30, 30}, {119, 119}},
         {}},
        {"hidden", [](HWND &w, HWND &) { ShowWindow(w, SW_HIDE); }, true, {}, {{30, 30}, {119, 119}}},
        {"destroyed and made again elsewhere",
         [this](HWND &w, HWND &) {
             DestroyWindow(w);
             w = Popup(RECT{60, 60, 160, 160});
         },
         false,
         {{150, 150}, {60, 60}},
         {{30, 30}}},
        {"destroyed and made again elsewhere in the same handle slot",
         [](HWND &w, HWND &) {
             // Hidden windows made and destroyed until one takes the old
             // window's slot (a slot comes back after some hundreds).
             auto slot = [](HWND h) {
                 return ((uint32_t(h) - plat::handle_table::kFirst) / 4) & plat::handle_table::kIndexMask;
             };
             uint32_t old = slot(w);
             DestroyWindow(w);
             w = 0;
             for (int i = 0; i < 100000 && !w; ++i) {
                 HWND h = CreateWindowExW(0, u"PaintTestClass", u"", WS_POPUP, 60, 60, 100, 100, 0, 0, 0, nullptr);
                 if (slot(h) == old)
                     w = h;
                 else
                     DestroyWindow(h);
             }
             ASSERT_TRUE(w) << "no window took the slot again";
             ShowWindow(w, SW_SHOWNA);
         },
         false,
         {{150, 150}, {60, 60}},
         {{30, 30}}},
        {"given a frame",
         [](HWND &w, HWND &) { SetWindowLongW(w, GWL_STYLE, WS_POPUP | WS_VISIBLE | WS_BORDER); },
         false,
         {{21, 21}, {118, 118}},
         {{20, 20}, {119, 119}}},
    };
    for (const RepaintCase &c : cases) {
        SCOPED_TRACE(c.name);
        HWND win = Popup(RECT{20, 20, 120, 120}), cover = 0;
        ASSERT_TRUE(win);
        c.before(win, cover);
        g_log.color = RGB(10, 20, 30);
        for (int i = 0; i < 2; ++i) {
            InvalidateRect(win, nullptr, FALSE);
            UpdateWindow(win);
        }
        if (c.invalidateFirst)
            InvalidateRect(win, nullptr, FALSE);
        c.change(win, cover);
        g_log.color = RGB(200, 100, 50);
        if (c.invalidateAfter)
            InvalidateRect(win, nullptr, FALSE);
        UpdateWindow(win);
        for (POINT p : c.in)
            EXPECT_TRUE(Painted(p.x, p.y)) << "painted at " << p.x << "," << p.y;
        for (POINT p : c.out)
            EXPECT_FALSE(Painted(p.x, p.y)) << "left alone at " << p.x << "," << p.y;
        if (cover)
            DestroyWindow(cover);
        DestroyWindow(win);
        // The main window paints over what the case left.
        g_log.color = RGB(10, 20, 30);
        InvalidateRect(main, nullptr, FALSE);
        UpdateWindow(main);
    }
}

} // namespace

// Once the message loop has found nothing to paint, every way of giving a
// window something to paint is found by the next look at the queue.
TEST_F(Paint, APaintAskedAfterTheLoopFoundNothingIsFound)
{
    HWND child = CreateWindowExW(0, u"STATIC", u"one", WS_CHILD | WS_VISIBLE, 10, 10, 60, 20, main, 0, 0, nullptr);
    ASSERT_TRUE(child);
    struct Case {
        const char *what;
        std::function<void()> ask;
        HWND expect;
    };
    const RECT part{3, 3, 9, 9};
    const std::vector<Case> cases = {
        {"the whole window", [&] { InvalidateRect(main, nullptr, FALSE); }, main},
        {"a rectangle", [&] { InvalidateRect(main, &part, TRUE); }, main},
        {"the whole screen", [&] { InvalidateRect(0, nullptr, FALSE); }, main},
        {"a child's new text", [&] { SetWindowTextW(child, u"two"); }, child},
        {"a child", [&] { InvalidateRect(child, nullptr, FALSE); }, child},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MSG m;
        int n = 0;
        while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE) && n++ < 20)
            DispatchMessageW(&m);
        ASSERT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_NOREMOVE)) << "nothing is left to paint";
        c.ask();
        ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.message, UINT(WM_PAINT));
        EXPECT_EQ(m.hwnd, c.expect);
        DispatchMessageW(&m);
    }
}
