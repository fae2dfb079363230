// user_controls_test.cpp - conformance sequences for the standard controls
// (ListBox, Edit, Button, msctls_progress32) and the resources (string
// table, icons), checking documented results and error values.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gdi/gdi.h"
#include "gdi/screen.h"
#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/window.h"
#include "user/resources.h"

namespace {

std::vector<std::pair<int, int>> g_notes; // (id, code) of WM_COMMAND
std::vector<std::pair<UINT, int>> g_asked; // (message, key) of WM_VKEYTOITEM / WM_CHARTOITEM
LRESULT g_itemAnswer = -1;                 // the parent's answer to them

LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_COMMAND)
        g_notes.push_back({LOWORD(w), HIWORD(w)});
    if (m == WM_VKEYTOITEM || m == WM_CHARTOITEM) {
        g_asked.push_back({m, LOWORD(w)});
        return g_itemAnswer;
    }
    return DefWindowProcW(h, m, w, l);
}

const char16_t *const kLanguages[] = {u"Albanian", u"Belarusian", u"Bulgarian", u"Croatian", u"Czech",
                                      u"Danish",   u"Dutch",      u"English",   u"Estonian", u"Finnish",
                                      u"French",   u"German",     u"Greek",     u"Hungarian", u"Romanian",
                                      u"Russian",  u"Serbian",    u"Slovak",    u"Spanish",  u"Ukrainian"};
constexpr int kRows = 5; // the lists below show five entries

class Controls : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_notes.clear();
        g_asked.clear();
        g_itemAnswer = -1;
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.lpszClassName = u"CtlParent";
        RegisterClassW(&wc);
        parent = CreateWindowExW(0, u"CtlParent", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 0, 0, 0, nullptr);
    }
    HWND Make(const char16_t *cls, DWORD style, int id, const char16_t *text = u"")
    {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 60, parent,
                               HMENU(uintptr_t(id)), 0, nullptr);
    }
    // A list of the twenty languages, five entries high inside its border.
    HWND Languages(DWORD style)
    {
        HWND lb = CreateWindowExW(0, u"ListBox", u"", WS_CHILD | WS_VISIBLE | WS_BORDER | style, 10, 10, 120,
                                  13 * kRows + 2, parent, HMENU(uintptr_t(1014)), 0, nullptr);
        for (const char16_t *s : kLanguages)
            SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(s));
        return lb;
    }
    HWND parent = 0;
};

TEST_F(Controls, ListBoxMessages)
{
    HWND lb = Make(u"ListBox", LBS_NOTIFY | WS_BORDER, 1005);
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "nothing selected at first";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Zeta")), 0) << "unsorted: appended";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"alpha")), 1);
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Mid")), 2);
    WCHAR buf[16];
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 1, LPARAM(buf)), 5);
    EXPECT_EQ(std::u16string(buf), u"alpha");
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 3, LPARAM(buf)), LB_ERR) << "no entry 3";
    EXPECT_EQ(SendMessageW(lb, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"ALPHA")), 1) << "exact search ignores case";
    SendMessageW(lb, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 0, 0), 2) << "count left";
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 0) << "the selection follows its entry";
    EXPECT_TRUE(g_notes.empty()) << "no notification for program changes";
    SendMessageW(lb, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(g_notes.size(), 1u) << "the arrow key is a user selection";
    EXPECT_EQ(g_notes[0], std::make_pair(1005, int(LBN_SELCHANGE)));
}

// The view moves with the wheel and the scroll bar's requests and never past
// a full last page; the selection moves with the navigation keys and typed
// first letters, and only the user's changes notify the parent.
TEST_F(Controls, ListBoxScrollsAndSelectsAsTheUserAsks)
{
    HWND lb = Languages(LBS_NOTIFY | WS_VSCROLL);
    const int last = int(std::size(kLanguages)) - 1, maxTop = last + 1 - kRows;
    struct Step {
        const char *what;
        UINT msg;
        WPARAM wParam;
        int top, sel;
    } steps[] = {
        {"a notch of the wheel towards the user: three lines", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), 3, -1},
        {"half a notch: not yet a line", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA / 2)), 3, -1},
        {"the other half: three lines more", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA / 2)), 6, -1},
        {"three notches away: stops at the first entry", WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(3 * WHEEL_DELTA)), 0, -1},
        {"page down", WM_VSCROLL, SB_PAGEDOWN, kRows, -1},
        {"the thumb dragged", WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, maxTop - 1), maxTop - 1, -1},
        {"line down", WM_VSCROLL, SB_LINEDOWN, maxTop, -1},
        {"line down at the end: the last page stays full", WM_VSCROLL, SB_LINEDOWN, maxTop, -1},
        {"to the top", WM_VSCROLL, SB_TOP, 0, -1},
        {"to the bottom", WM_VSCROLL, SB_BOTTOM, maxTop, -1},
        {"End selects the last entry", WM_KEYDOWN, VK_END, maxTop, last},
        {"Page Up: to the top of the page first", WM_KEYDOWN, VK_PRIOR, maxTop, maxTop},
        {"then a page up", WM_KEYDOWN, VK_PRIOR, maxTop - kRows + 1, maxTop - kRows + 1},
        {"Page Down: to the bottom of the page first", WM_KEYDOWN, VK_NEXT, maxTop - kRows + 1, maxTop},
        {"then a page down", WM_KEYDOWN, VK_NEXT, maxTop, last},
        {"Home", WM_KEYDOWN, VK_HOME, 0, 0},
        {"\"r\": the first entry with R", WM_CHAR, u'r', 10, 14},
        {"\"R\" again: the next one", WM_CHAR, u'R', 11, 15},
        {"\"r\" once more: round to the first", WM_CHAR, u'r', 11, 14},
        {"\"x\": no entry, nothing moves", WM_CHAR, u'x', 11, 14},
        {"\"g\": searched past the end and round", WM_CHAR, u'g', 11, 11},
        {"\"a\": round to the first entry", WM_CHAR, u'a', 0, 0},
        {"a control character selects nothing", WM_CHAR, 0x01, 0, 0},
    };
    int sel = -1;
    size_t notes = 0;
    for (const Step &st : steps) {
        SCOPED_TRACE(st.what);
        SendMessageW(lb, st.msg, st.wParam, 0);
        EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), st.top) << "the entry at the top";
        EXPECT_EQ(int(SendMessageW(lb, LB_GETCURSEL, 0, 0)), st.sel) << "the selection";
        notes += st.sel != sel;
        sel = st.sel;
        EXPECT_EQ(g_notes.size(), notes) << "LBN_SELCHANGE for each change of the selection";
    }
    EXPECT_EQ(SendMessageW(lb, LB_SETTOPINDEX, last, 0), LB_OKAY);
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), maxTop) << "LB_SETTOPINDEX keeps the last page full";
    EXPECT_EQ(SendMessageW(lb, LB_SETTOPINDEX, last + 1, 0), LB_ERR) << "no such entry";
    SendMessageW(lb, LB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), 2) << "LB_SETCURSEL brings the entry into view";
    RECT r{};
    EXPECT_EQ(SendMessageW(lb, LB_GETITEMRECT, 3, LPARAM(&r)), 1);
    EXPECT_EQ(r.top, 13) << "entry 3 is the second line";
    EXPECT_EQ(r.bottom - r.top, SendMessageW(lb, LB_GETITEMHEIGHT, 0, 0));
}

// The scroll bar sits outside the client area, which narrows by its width;
// presses on it move the list (arrows a line, the track a page) and the
// thumb drawn on the screen follows the top entry down the track.
TEST_F(Controls, ListBoxScrollBarIsNonClientAndItsPressesMoveTheList)
{
    HWND lb = Languages(WS_VSCROLL);
    const int maxTop = int(std::size(kLanguages)) - kRows, bar = GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(bar, 0);
    RECT c{}, wr{};
    GetClientRect(lb, &c);
    GetWindowRect(lb, &wr);
    EXPECT_EQ(c.right, 120 - 2 - bar) << "the client area is narrower by the bar";
    EXPECT_EQ(c.bottom, 13 * kRows);
    const int x = wr.right - 1 - bar / 2;
    // The first row of the track, from the top, that is not the track's
    // colour: the thumb's top edge (-1 when none is drawn).
    auto thumbTop = [&] {
        UpdateWindow(lb);
        for (int y = wr.top + 1 + bar; y < wr.bottom - 1 - bar; ++y)
            if (plat::ScreenPixel(x, y) != RGB(224, 224, 224))
                return y;
        return -1;
    };
    int firstThumb = thumbTop();
    EXPECT_EQ(firstThumb, wr.top + 1 + bar) << "the thumb starts at the top of the track";
    struct Press {
        const char *what;
        int y; // on the screen, in the bar's column
        int top;
    } presses[] = {
        {"the down arrow: a line", int(wr.bottom) - 2, 1},
        {"the track below the thumb: a page", int(wr.bottom) - 1 - bar - 1, 1 + kRows},
        {"again", int(wr.bottom) - 1 - bar - 1, 1 + 2 * kRows},
        {"and again: the last page stays full", int(wr.bottom) - 1 - bar - 1, maxTop},
        {"the up arrow: a line", int(wr.top) + 2, maxTop - 1},
        {"the track above the thumb: a page", int(wr.top) + 1 + bar, maxTop - 1 - kRows},
    };
    int lastThumb = firstThumb;
    for (const Press &p : presses) {
        SCOPED_TRACE(p.what);
        SendMessageW(lb, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(WORD(x), WORD(p.y)));
        EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), p.top);
        int t = thumbTop();
        EXPECT_GT(t, firstThumb) << "the thumb has left the top";
        if (p.top == maxTop)
            lastThumb = t;
    }
    EXPECT_GT(lastThumb, firstThumb + 13) << "at the last page the thumb is at the bottom of the track";
    SendMessageW(lb, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(WORD(wr.left + 5), WORD(wr.top + 5)));
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), maxTop - 1 - kRows) << "a press off the bar moves nothing";
}

// The thumb dragged with the mouse: the press on it captures the mouse, the
// list follows each move (the thumb's top edge where the pointer took it),
// anywhere the pointer goes, and stays where the release leaves it; a drag
// whose capture is taken away ends there.
TEST_F(Controls, ListBoxThumbDraggedWithTheMouseCapturedMovesTheList)
{
    HWND lb = Languages(WS_VSCROLL);
    const int maxTop = int(std::size(kLanguages)) - kRows, bar = GetSystemMetrics(SM_CXVSCROLL);
    RECT wr{};
    GetWindowRect(lb, &wr);
    // Five of twenty rows: the track of 65 - 2 arrows is 39 pixels, the
    // thumb 39 * 5 / 20 = 9 long, so it travels 30 pixels for 15 entries.
    const int track = 13 * kRows - 2 * bar, len = track * kRows / int(std::size(kLanguages)), travel = track - len;
    ASSERT_EQ(travel, 30);
    const int x = wr.right - 1 - bar / 2, grabY = wr.top + 1 + bar + 4; // 4 pixels into the thumb
    auto press = [&] { SendMessageW(lb, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(WORD(x), WORD(grabY))); };
    // Pointer positions in the list's client coordinates (1 below its top).
    auto at = [&](int dy) {
        POINT p{x, grabY + dy};
        ScreenToClient(lb, &p);
        return MAKELPARAM(WORD(short(p.x)), WORD(short(p.y)));
    };
    EXPECT_EQ(GetCapture(), HWND(0));
    press();
    EXPECT_EQ(GetCapture(), lb) << "the press on the thumb captures the mouse";
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), 0) << "a press on the thumb alone moves nothing";
    struct Move {
        const char *what;
        int dy, top;
    } moves[] = {
        {"back where it was taken", 0, 0},
        {"half the travel: half the list", travel / 2, (travel / 2 * maxTop + travel / 2) / travel},
        {"the whole travel: the last page", travel, maxTop},
        {"far below the list: still the last page", 200, maxTop},
        {"far above: the first", -200, 0},
        {"two entries' worth", 4, 2},
    };
    for (const Move &m : moves) {
        SCOPED_TRACE(m.what);
        SendMessageW(lb, WM_MOUSEMOVE, MK_LBUTTON, at(m.dy));
        EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), m.top);
    }
    SendMessageW(lb, WM_LBUTTONUP, 0, at(travel));
    EXPECT_EQ(GetCapture(), HWND(0)) << "the release ends the capture";
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), maxTop) << "the list stays where the release leaves it";
    SendMessageW(lb, WM_MOUSEMOVE, 0, at(0));
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), maxTop) << "a move after the release moves nothing";

    SendMessageW(lb, LB_SETTOPINDEX, 0, 0);
    press();
    SendMessageW(lb, WM_MOUSEMOVE, MK_LBUTTON, at(4));
    EXPECT_EQ(SetCapture(parent), lb) << "SetCapture returns the window that had it";
    EXPECT_EQ(GetCapture(), parent);
    SendMessageW(lb, WM_MOUSEMOVE, MK_LBUTTON, at(travel));
    EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), 2) << "the drag ended with the capture";
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), HWND(0));
    SetCapture(lb);
    DestroyWindow(lb);
    EXPECT_EQ(GetCapture(), HWND(0)) << "a destroyed window keeps no capture";
}

// The focused edit has the caret, a line high, after the character before
// the selection's end: it follows the selection and typing, and goes when
// the focus leaves.
TEST_F(Controls, FocusedEditHasTheCaretAtItsSelectionEnd)
{
    HWND e = Make(u"Edit", WS_BORDER, 1006, u"Hello");
    UpdateWindow(parent);
    POINT p{};
    EXPECT_FALSE(GetCaretPos(&p)) << "no caret before the focus";
    SetFocus(e);
    UpdateWindow(e);
    RECT c{};
    GetClientRect(e, &c);
    const int lineTop = (c.bottom - plat::GdiTextHeight()) / 2;
    struct Step {
        const char *what;
        std::function<void()> act;
        const char16_t *before; // the text before the caret
    } steps[] = {
        {"the focus: the caret at the start", [] {}, u""},
        {"the selection's end at 2", [&] { SendMessageW(e, EM_SETSEL, 2, 2); }, u"He"},
        {"a typed x", [&] { SendMessageW(e, WM_CHAR, 'x', 1); }, u"Hex"},
        {"End", [&] { SendMessageW(e, WM_KEYDOWN, VK_END, 1); }, u"Hexllo"},
        {"a selection from 1 to 3", [&] { SendMessageW(e, EM_SETSEL, 1, 3); }, u"Hex"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        UpdateWindow(e);
        ASSERT_TRUE(GetCaretPos(&p));
        EXPECT_EQ(p.x, 2 + plat::GdiTextWidth(s.before));
        EXPECT_EQ(p.y, lineTop);
        plat::Region seen = plat::ScreenCaretRects(true);
        ASSERT_EQ(seen.size(), 1u) << "shown";
        EXPECT_EQ(seen[0].bottom - seen[0].top, plat::GdiTextHeight()) << "a line high";
    }
    SetFocus(parent);
    EXPECT_FALSE(GetCaretPos(&p)) << "the caret goes with the focus";
    EXPECT_TRUE(plat::ScreenCaretRects(true).empty());
}

// Radio and check marks sit on their text's line: the middle of the mark's
// black rows is that of the capitals' rows, in a control taller than a line.
TEST_F(Controls, RadioAndCheckMarksAreCentredOnTheirText)
{
    for (DWORD type : {DWORD(BS_AUTORADIOBUTTON), DWORD(BS_AUTOCHECKBOX)}) {
        SCOPED_TRACE(type);
        HWND b = CreateWindowExW(0, u"Button", u"HHHH", WS_CHILD | WS_VISIBLE | type, 10, 10, 120, 20, parent,
                                 HMENU(uintptr_t(7)), 0, nullptr);
        UpdateWindow(b);
        RECT wr{};
        GetWindowRect(b, &wr);
        auto middle = [&](int x0, int x1) {
            int first = -1, last = -1;
            for (int y = wr.top; y < wr.bottom; ++y)
                for (int x = wr.left + x0; x < wr.left + x1; ++x)
                    if (GetGValue(plat::ScreenPixel(x, y)) < 96) { // ink: the mark's or the text's dark grey levels
                        if (first < 0)
                            first = y;
                        last = y;
                        break;
                    }
            return first < 0 ? -100.0 : (first + last) / 2.0;
        };
        double mark = middle(0, 10), text = middle(14, 60);
        EXPECT_NEAR(mark, text, 1.0) << "mark rows' middle against the text's";
        // Focused, it is framed round its text, never over its mark.
        SetFocus(b);
        UpdateWindow(b);
        int markFrame = 0, textFrame = 0;
        for (int y = wr.top; y < wr.bottom; ++y)
            for (int x = wr.left; x < wr.left + 40; ++x)
                (x < wr.left + 11 ? markFrame : textFrame) += plat::ScreenPixel(x, y) == RGB(64, 64, 64);
        EXPECT_EQ(markFrame, 0) << "focus frame pixels over the mark";
        EXPECT_GT(textFrame, 20) << "focus frame pixels round the text";
        DestroyWindow(b);
    }
}

// The screen's pixels under a window, row by row.
std::vector<COLORREF> WindowPixels(HWND h)
{
    RECT wr{};
    GetWindowRect(h, &wr);
    std::vector<COLORREF> px;
    for (int y = wr.top; y < wr.bottom; ++y)
        for (int x = wr.left; x < wr.right; ++x)
            px.push_back(plat::ScreenPixel(x, y));
    return px;
}

// Destroys a static, then paints a new one with its text, style, size and
// place, for the first time: it must show what the old one showed.
void ExpectShownAsANewStatic(HWND parent, HWND old)
{
    std::vector<COLORREF> shown = WindowPixels(old);
    wchar_t text[64] = {};
    GetWindowTextW(old, reinterpret_cast<LPWSTR>(text), 64);
    RECT wr{};
    GetWindowRect(old, &wr);
    POINT at{wr.left, wr.top};
    ScreenToClient(parent, &at);
    DWORD style = DWORD(GetWindowLongW(old, GWL_STYLE));
    DestroyWindow(old);
    UpdateWindow(parent);
    HWND fresh = CreateWindowExW(0, u"Static", reinterpret_cast<LPCWSTR>(text), style, at.x, at.y,
                                 wr.right - wr.left, wr.bottom - wr.top, parent, HMENU(uintptr_t(6)), 0, nullptr);
    UpdateWindow(fresh);
    EXPECT_EQ(shown, WindowPixels(fresh));
    DestroyWindow(fresh);
    UpdateWindow(parent);
}

// A static given one name after another (a progress page's file name)
// redraws only what changed; a text static keeps its picture between paints,
// and whatever changes what it shows must show at the next paint. After each
// run of changes it shows exactly what a new static shows.
TEST_F(Controls, StaticChangedShowsWhatANewStaticShows)
{
    struct Case {
        const char *what;
        DWORD style;
        int width, height;
        std::vector<const char16_t *> texts; // set in turn, each painted
        bool covered = false;                // partly under a window on top (from the second text)
        void (*then)(HWND) = nullptr;        // done after the last text is set, then painted afresh
    };
    const char16_t *const setup = u"Copying file: Setup.exe";
    static const auto style = [](HWND h, DWORD more) {
        SetWindowLongW(h, GWL_STYLE, GetWindowLongW(h, GWL_STYLE) | more);
    };
    const Case cases[] = {
        {"nothing", SS_LEFT, 120, 60, {setup}},
        {"new text", SS_LEFT, 120, 60, {setup, u"Copying file: other.dll"}},
        {"new end", SS_LEFT, 120, 60, {setup, u"Copying file: Setup.dll"}},
        {"longer", SS_LEFT, 120, 60, {setup, u"Copying file: Setup.exe.bak"}},
        {"shorter", SS_LEFT, 120, 60, {setup, u"Copying file: S"}},
        {"glyphs reaching back", SS_LEFT, 120, 60, {setup, u"Copying file: Setjjff"}},
        {"two ends in turn", SS_LEFT, 120, 60, {setup, u"Copying file: Setjj.exe", u"Copying file: Sf.exe"}},
        {"now two lines", SS_LEFT, 120, 60, {setup, u"Copying file: Setup.exe and its many friends"}},
        {"disabled with a new end", SS_LEFT, 120, 60, {setup, u"Copying file: Setup.dll"}, false,
         [](HWND h) { EnableWindow(h, FALSE); }},
        {"same text again", SS_LEFT, 120, 60, {setup, setup}},
        {"disabled", SS_LEFT, 120, 60, {setup}, false, [](HWND h) { EnableWindow(h, FALSE); }},
        {"centred", SS_LEFT, 120, 60, {setup}, false, [](HWND h) { style(h, SS_CENTER); }},
        {"narrower", SS_LEFT, 120, 60, {setup}, false,
         [](HWND h) { SetWindowPos(h, 0, 0, 0, 70, 30, SWP_NOMOVE | SWP_NOZORDER); }},
        {"larger", SS_LEFT, 120, 60, {setup}, false,
         [](HWND h) { SetWindowPos(h, 0, 0, 0, 130, 90, SWP_NOMOVE | SWP_NOZORDER); }},
        {"ampersand shown", SS_LEFT, 120, 60, {setup, u"A&&B &C"}, false, [](HWND h) { style(h, SS_NOPREFIX); }},
        {"names sharing a prefix", SS_LEFT, 140, 13,
         {u"Copying file: f1207.bin", u"Copying file: f1244.bin", u"Copying file: f1.bin",
          u"Copying file: f12071.dat"}},
        {"shorter after longer", SS_LEFT, 140, 13,
         {u"Copying file: averylongname.bin", u"Copying file: a", u"Copying file: ab"}},
        {"changed in the last glyph only", SS_LEFT, 140, 13,
         {u"Copying file: f1207.bin", u"Copying file: f1207.bio", u"Copying file: f1207.biW"}},
        {"first glyph changed", SS_LEFT, 140, 13, {u"Copying file: x.bin", u"Kopying file: x.bin", u"jopying"}},
        {"descenders gone and back", SS_LEFT, 140, 20,
         {u"Copying file: jjgy.bin", u"Copying file: AAA", u"Copying file: ggg", u"Copying file: aaa",
          u"Copying file: Tj", u"Copying file: a"}},
        {"taller glyphs, then shorter ones", SS_LEFT, 140, 20, {u"a", u"Tj", u"ace", u"g", u"x"}},
        {"glyphs reaching back over the change", SS_LEFT, 140, 13,
         {u"Copying file: fffjj", u"Copying file: ff.a", u"Copying file: fj/j", u"Copying file: f"}},
        {"same marks, spaces after", SS_LEFT, 140, 13, {u"Copying file: a", u"Copying file: a  ", u"Copying file: a"}},
        {"a mnemonic", SS_LEFT, 140, 13,
         {u"&Copying file: f1.bin", u"&Copying file: f2.bin", u"Copying &file: f2.bin", u"C&&opying"}},
        // The line shown, not the text, is what the next line is compared with.
        {"a mnemonic, then a line that reads as its text", SS_LEFT, 140, 13, {u"A&B f0", u"A&B f1", u"A&&B x"}},
        {"a mnemonic, then its text shown", SS_LEFT, 140, 13,
         {u"Copying", u"Copying &file: f2.bin", u"Copying &&file: f2.bin"}},
        {"a mnemonic shown", SS_LEFT | SS_NOPREFIX, 140, 13, {u"A&B f1.bin", u"A&B f22.bin", u"A&&B f2.bin"}},
        {"clipped at the right edge", SS_LEFT, 60, 13,
         {u"Copying_file:_averylongname_1.bin", u"Copying_file:_averylongname_2.bin", u"Copying_file:_av",
          u"Copying_file:_averylongname_1234567.bin"}},
        {"a name grown past the edge", SS_LEFT, 120, 40,
         {u"Copying file: f1.bin", u"Copying file: f2.bin", u"Copying file: f2345678901234567.bin"}},
        {"as long, now wider than the static", SS_LEFT, 25, 30, {u"a iii", u"a WWW"}},
        {"a name shrunk to fit", SS_LEFT, 120, 40,
         {u"Copying file: f2345678901234567.bin", u"Copying file: f2.bin", u"Copying file: f3.bin"}},
        {"two spaces where the names part", SS_LEFT, 140, 13,
         {u"Copying file: a", u"Copying file: b", u"Copying file:  a", u"Copying file:  b"}},
        {"one line, then two, then one", SS_LEFT, 120, 40,
         {u"Copying file: f1.bin", u"Copying file: f1.bin and its many friends", u"Copying file: f2.bin"}},
        {"centred", SS_CENTER, 140, 13,
         {u"Copying file: f1207.bin", u"Copying file: f1244.bin", u"Copying file: f1.bin"}},
        {"right aligned", SS_RIGHT, 140, 13,
         {u"Copying file: f1207.bin", u"Copying file: f1244.bin", u"Copying file: f1.bin"}},
        {"empty between", SS_LEFT, 140, 13, {u"Copying file: f1207.bin", u"", u"Copying file: f1244.bin"}},
        {"partly under a window on top", SS_LEFT, 140, 13,
         {u"Copying file: f1207.bin", u"Copying file: f9999.bin", u"Copying file: f12.bin", u"Copying file: f123456.d"},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HWND old = CreateWindowExW(0, u"Static", c.texts[0], WS_CHILD | WS_VISIBLE | c.style, 10, 10, c.width,
                                   c.height, parent, HMENU(uintptr_t(5)), 0, nullptr);
        UpdateWindow(old);
        RECT wr{};
        GetWindowRect(old, &wr);
        HWND cover = c.covered ? CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE | SS_BLACKRECT, wr.left + 80,
                                                 wr.top - 2, 12, 20, 0, 0, 0, nullptr)
                               : 0;
        UpdateWindow(cover);
        for (size_t i = 1; i < c.texts.size(); ++i) {
            SetWindowTextW(old, c.texts[i]);
            if (i + 1 < c.texts.size() || !c.then)
                UpdateWindow(old);
        }
        if (c.then) {
            c.then(old);
            InvalidateRect(old, nullptr, TRUE);
            UpdateWindow(old);
        }
        if (cover) {
            std::vector<COLORREF> covered = WindowPixels(cover);
            EXPECT_EQ(covered, std::vector<COLORREF>(covered.size(), RGB(0, 0, 0))) << "drawn over the window on top";
        }
        ExpectShownAsANewStatic(parent, old);
        DestroyWindow(cover);
    }
}

// A plain line that fits is taken whole without wrapping; at every width it
// must break as the wrap does (a line break after it sends the text through
// the wrap, adding one empty line).
TEST_F(Controls, PlainTextBreaksAsTheWrapDoes)
{
    const char16_t *texts[] = {u"Copying file: Setup.exe", u"a b c", u"Wide WWW words iii", u"x",
                               u"Copying file: f1234.bin", u" leading", u"trailing ", u"two  spaces"};
    for (const char16_t *t : texts) {
        std::u16string text = t;
        for (int width = 1; width <= 220; ++width) {
            std::vector<std::u16string> wrapped = plat::TextLines(text + u"\n", width, false);
            ASSERT_FALSE(wrapped.empty());
            wrapped.pop_back();
            EXPECT_EQ(plat::TextLines(text, width, false), wrapped) << "width " << width;
        }
    }
}

// Red over [left, right) x [top, bottom) of a window, drawn on the screen.
void Scribble(HWND h, int left, int top, int right, int bottom)
{
    RECT wr{};
    GetWindowRect(h, &wr);
    HDC dc = GetDC(0);
    RECT part{wr.left + left, wr.top + top, wr.left + right, wr.top + bottom};
    HBRUSH b = CreateSolidBrush(RGB(200, 0, 0));
    FillRect(dc, &part, b);
    DeleteObject(b);
    ReleaseDC(0, dc);
}

// The same text set again on a static the screen still shows as it is asks
// for no repaint (a progress page sets its file name at every block); once
// anything has drawn over it, moved it or changed its look, it does, and
// the repaint brings it back. The text is set again once first: what was
// found then must not be taken for what holds now.
TEST_F(Controls, StaticSetToItsOwnTextRepaintsOnlyWhatChanged)
{
    struct Case {
        const char *what;
        void (*before)(HWND);
        bool repaint;
    } cases[] = {
        {"shown as it is", [](HWND) {}, false},
        {"drawn over on the screen", [](HWND h) { Scribble(h, 3, 2, 40, 9); }, true},
        // Changes asking for no paint of their own.
        {"centred, not painted",
         [](HWND h) {
             SetWindowLongW(h, GWL_STYLE, GetWindowLongW(h, GWL_STYLE) | SS_CENTER);
             ValidateRect(h, nullptr);
         },
         true},
        {"moved, not painted",
         [](HWND h) {
             SetWindowPos(h, 0, 30, 12, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
             ValidateRect(h, nullptr);
         },
         true},
        {"set again", [](HWND h) { SetWindowTextW(h, u"Copying file: Setup.exe"); }, false},
        {"painted whole at a new name", [](HWND h) {
             SetWindowTextW(h, u"Copying file: Readme.txt");
             UpdateWindow(h);
             SetWindowTextW(h, u"Copying file: Setup.exe");
             UpdateWindow(h);
         },
         false},
        // The part drawn over is not painted again: the screen does not
        // show the static there.
        {"drawn over, then painted but there", [](HWND h) {
             SetWindowTextW(h, u"Copying file: Readme.txt");
             UpdateWindow(h);
             SetWindowTextW(h, u"Copying file: Setup.exe");
             RECT wr{};
             GetWindowRect(h, &wr);
             Scribble(h, 0, 0, 40, wr.bottom - wr.top);
             RECT left{0, 0, 40, wr.bottom - wr.top};
             ValidateRect(h, &left);
             UpdateWindow(h);
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HWND h = Make(u"Static", SS_LEFT, 5, u"Copying file: Setup.exe");
        UpdateWindow(h);
        SetWindowTextW(h, u"Copying file: Setup.exe");
        EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE)) << "the same text on a static shown as it is";
        c.before(h);
        SetWindowTextW(h, u"Copying file: Setup.exe");
        EXPECT_EQ(GetUpdateRect(h, nullptr, FALSE) != FALSE, c.repaint);
        UpdateWindow(h);
        ExpectShownAsANewStatic(parent, h);
    }
}

// What a static answers by itself, and that its procedure called for a
// window it did not make (a subclass's window, another class) leaves each
// message to DefWindowProcW as that window's own default would.
TEST_F(Controls, StaticAnswersOnlyForItsOwnWindows)
{
    HWND text = Make(u"Static", SS_LEFT, 5, u"Copying file: Setup.exe");
    HWND other = Make(u"Edit", 0, 6, u"Copying file: Setup.exe");
    ASSERT_TRUE(text && other);
    WNDPROC staticProc = plat::StaticProc;
    ASSERT_NE(staticProc, nullptr);
    HICON icon = HICON(uintptr_t(0x4321)); // kept as given, never drawn by a text static
    SendMessageW(text, STM_SETICON, WPARAM(icon), 0);
    UpdateWindow(text);
    HDC dc = GetDC(text);
    char16_t buf[64];
    struct Case {
        const char *what;
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT own;     // the static's answer for its own window
        LRESULT foreign; // DefWindowProcW's for the other window
    } cases[] = {
        {"dialog code", WM_GETDLGCODE, 0, 0, DLGC_STATIC, 0},
        {"erase", WM_ERASEBKGND, WPARAM(dc), 0, 1, DefWindowProcW(other, WM_ERASEBKGND, WPARAM(dc), 0)},
        {"icon", STM_GETICON, 0, 0, LRESULT(icon), 0},
        {"image", STM_GETIMAGE, IMAGE_ICON, 0, LRESULT(icon), 0},
        {"text length", WM_GETTEXTLENGTH, 0, 0, 23, 23},
        {"text", WM_GETTEXT, 64, LPARAM(buf), 23, 23},
        {"same text", WM_SETTEXT, 0, LPARAM(u"Copying file: Setup.exe"), TRUE, TRUE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CallWindowProcW(staticProc, text, c.msg, c.wParam, c.lParam), c.own);
        EXPECT_EQ(CallWindowProcW(staticProc, other, c.msg, c.wParam, c.lParam), c.foreign);
    }
    ReleaseDC(text, dc);
    // The foreign window's text was set through DefWindowProcW: it asks
    // for a paint; the static shown as it is asks for none.
    EXPECT_FALSE(GetUpdateRect(text, nullptr, FALSE));
    EXPECT_TRUE(GetUpdateRect(other, nullptr, FALSE));
    // A new text is kept and shown.
    EXPECT_EQ(CallWindowProcW(staticProc, text, WM_SETTEXT, 0, LPARAM(u"Copying file: Readme.txt")), TRUE);
    EXPECT_EQ(GetWindowTextW(text, buf, 64), 24);
    EXPECT_EQ(std::u16string(buf), u"Copying file: Readme.txt");
    EXPECT_TRUE(GetUpdateRect(text, nullptr, FALSE));
    DestroyWindow(text);
    DestroyWindow(other);
}

// A static shown as it is asks for no paint when given its own text again,
// and for one when given any other: one character changed anywhere, a
// shorter or longer text, the empty one.
TEST_F(Controls, StaticTakesEveryOtherTextAsNew)
{
    const std::u16string base = u"Copying file: \\Windows\\Setup.exe";
    std::vector<std::u16string> others{u"", base + u"x", base + base};
    for (size_t i = 0; i < base.size(); ++i) {
        std::u16string changed = base;
        changed[i] = changed[i] == u'Z' ? u'Y' : u'Z';
        others.push_back(changed);
        others.push_back(base.substr(0, i));
    }
    HWND h = Make(u"Static", SS_LEFT, 5, base.c_str());
    for (const std::u16string &other : others) {
        SCOPED_TRACE(std::string(other.begin(), other.end()));
        // Each twice: set on the window, then through its parent as a dialog
        // item (a progress page's way, answered before the window's own).
        for (int way = 0; way < 4; ++way) {
            const std::u16string *t = way % 2 ? &other : &base;
            UpdateWindow(h);
            SetWindowTextW(h, base.c_str());
            EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE)) << "its own text again";
            // Past its end the text given is followed by what a longer
            // text would hold: none of it may be taken as part of it.
            std::u16string buffer = *t + u'\0' + base.substr(std::min(t->size() + 1, base.size()));
            if (way >= 2)
                SetDlgItemTextW(parent, 5, buffer.c_str());
            else
                SetWindowTextW(h, buffer.c_str());
            EXPECT_EQ(GetUpdateRect(h, nullptr, FALSE) != FALSE, t != &base);
            char16_t now[128];
            GetWindowTextW(h, now, 128);
            EXPECT_EQ(std::u16string(now), *t);
            UpdateWindow(h);
            SetWindowTextW(h, base.c_str());
        }
    }
    DestroyWindow(h);
}

// A static's text set past its procedure (DefWindowProcW called for it
// straight, as a subclass may) is still its text: the text it showed,
// given again as a dialog item, is set again.
TEST_F(Controls, StaticTextSetPastItsProcedureIsNotTakenAsShown)
{
    const std::u16string base = u"Copying file: f1207.bin", other = u"Copying file: f1208.bin";
    HWND h = Make(u"Static", SS_LEFT, 5, base.c_str());
    UpdateWindow(h);
    EXPECT_TRUE(SetDlgItemTextW(parent, 5, base.c_str()));
    EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE)) << "its own text again";
    DefWindowProcW(h, WM_SETTEXT, 0, LPARAM(other.c_str()));
    EXPECT_TRUE(SetDlgItemTextW(parent, 5, base.c_str()));
    char16_t now[64];
    GetWindowTextW(h, now, 64);
    EXPECT_EQ(std::u16string(now), base);
    DestroyWindow(h);
}

// LBS_WANTKEYBOARDINPUT asks the parent first (-2 done, -1 the default, else
// the entry to go to); LBS_NOSEL scrolls but never selects.
TEST_F(Controls, ListBoxStylesOfKeyboardInput)
{
    struct Case {
        const char *what;
        DWORD style;
        LRESULT answer;
        UINT msg;
        WPARAM key;
        int sel;
        size_t asked;
    } cases[] = {
        {"the parent handled the key", LBS_WANTKEYBOARDINPUT, -2, WM_KEYDOWN, VK_END, -1, 1},
        {"the parent names the entry", LBS_WANTKEYBOARDINPUT, 7, WM_CHAR, u'r', 7, 1},
        {"the parent leaves the key to the list", LBS_WANTKEYBOARDINPUT, -1, WM_KEYDOWN, VK_END, 19, 1},
        {"the parent leaves the letter to the list", LBS_WANTKEYBOARDINPUT, -1, WM_CHAR, u's', 16, 1},
        {"without the style the parent is not asked", 0, 7, WM_CHAR, u's', 16, 0},
        {"a list that selects nothing", LBS_NOSEL, -1, WM_KEYDOWN, VK_END, -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        g_asked.clear();
        g_itemAnswer = c.answer;
        HWND lb = Languages(LBS_NOTIFY | c.style);
        SendMessageW(lb, c.msg, c.key, 0);
        EXPECT_EQ(int(SendMessageW(lb, LB_GETCURSEL, 0, 0)), c.sel);
        ASSERT_EQ(g_asked.size(), c.asked) << "the parent was asked";
        if (c.asked) {
            EXPECT_EQ(g_asked[0], std::make_pair(UINT(c.msg == WM_CHAR ? WM_CHARTOITEM : WM_VKEYTOITEM), int(c.key)));
        }
        if (c.style & LBS_NOSEL) {
            EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), 20 - kRows) << "the view still moves";
        }
        DestroyWindow(lb);
    }
}

TEST_F(Controls, EditReadOnlyAndButtonGroups)
{
    HWND e = Make(u"Edit", WS_BORDER | ES_AUTOHSCROLL, 1006, u"\\Program Files\\Old");
    SendMessageW(e, EM_SETSEL, 15, -1);
    SendMessageW(e, EM_REPLACESEL, TRUE, LPARAM(u"New"));
    WCHAR buf[64];
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New") << "-1 selected to the end, which was replaced";
    EXPECT_EQ(SendMessageW(e, EM_SETREADONLY, TRUE, 0), TRUE);
    g_notes.clear();
    SendMessageW(e, WM_CHAR, u'x', 0);
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New") << "a read-only edit takes no typing";
    EXPECT_TRUE(g_notes.empty());

    HWND r1 = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1008, u"A");
    HWND r2 = Make(u"Button", BS_AUTORADIOBUTTON, 1009, u"B");
    HWND other = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1010, u"C");
    SendMessageW(r1, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(r2, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "same group";
    EXPECT_EQ(SendMessageW(other, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group is left alone";
}

// The bar keeps its position in its range; it shows it, and painted again
// where it stands (most blocks of a copy do not move it) it changes no
// pixel of the screen.
TEST_F(Controls, ProgressBarShowsItsPositionInRange)
{
    InitCommonControls();
    HWND p = Make(PROGRESS_CLASSW, WS_BORDER, 1001);
    ASSERT_NE(p, HWND(0));
    EXPECT_EQ(SendMessageW(p, PBM_SETRANGE, 0, MAKELPARAM(10, 20)), MAKELRESULT(0, 100)) << "previous range";
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 10) << "position kept inside the new range";
    EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 250, 0), 10);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 20) << "a position past the range is kept in it";
    SendMessageW(p, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    RECT c{};
    GetClientRect(p, &c);
    POINT o{0, 0};
    ClientToScreen(p, &o);
    int y = o.y + c.bottom / 2;
    for (int pos : {0, 40, 40, 100, 55}) {
        SCOPED_TRACE(pos);
        SendMessageW(p, PBM_SETPOS, WPARAM(pos), 0);
        UpdateWindow(p);
        int split = o.x + c.right * pos / 100;
        for (int x = o.x; x < o.x + c.right; ++x)
            ASSERT_EQ(plat::ScreenPixel(x, y), x < split ? RGB(0, 0, 128) : RGB(192, 192, 192)) << x;
        uint64_t shown = plat::ScreenGet().pixels.Changes();
        InvalidateRect(p, nullptr, FALSE);
        UpdateWindow(p);
        EXPECT_EQ(plat::ScreenGet().pixels.Changes(), shown);
    }
}

TEST_F(Controls, StringTableAndResourceLookups)
{
    WCHAR buf[1024];
    EXPECT_EQ(LoadStringW(plat::kProgramInstance, 216, buf, 1024), 40);
    EXPECT_EQ(std::u16string(buf), u"\"%s\" has been successfully installed.\n%s");
    EXPECT_EQ(plat::ResourceLastStringId(), 216u) << "the last string loaded is remembered";
    WCHAR small[4];
    EXPECT_EQ(LoadStringW(0, 205, small, 4), 3) << "cut to the buffer";
    EXPECT_EQ(std::u16string(small), u"Ins");
    SetLastError(0);
    EXPECT_EQ(LoadStringW(0, 4000, small, 4), 0);
    EXPECT_EQ(small[0], 0) << "an empty string for a missing id";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    HRSRC r = FindResourceW(plat::kProgramInstance, u"#105", RT_DIALOG);
    ASSERT_NE(r, nullptr) << "\"#105\" names the ordinal";
    EXPECT_EQ(plat::ResourceDialogIdOf(LockResource(LoadResource(0, r))), 105);
    EXPECT_FALSE(plat::ResourcesSet("garbage", 7)) << "not a resource file";
    EXPECT_GT(LoadStringW(0, 201, buf, 8), 0) << "the registered resources are kept";
}

} // namespace
