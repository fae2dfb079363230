// button.cpp - the Button control: push, default push and radio buttons.
//
// A click (button pressed and released over it, the space bar, or
// BM_CLICK) sends BN_CLICKED to the parent; an automatic radio button
// checks itself first and clears the other radio buttons of its group.
#include <windows.h>

#include <algorithm>

#include "gdi/gdi.h"
#include "user/query.h"
#include "user/window.h"

namespace plat {
namespace {

// A button's state: its check mark and whether it is held down.
struct ButtonState : ControlRecord {
    static constexpr BuiltinClass kKind = BuiltinClass::Button;
    ButtonState() : ControlRecord(kKind) {}
    int check = 0;
    bool pushed = false;
};

DWORD Type(const Window &w)
{
    return w.style & BS_TYPEMASK;
}

bool IsRadio(const Window &w)
{
    return Type(w) == BS_RADIOBUTTON || Type(w) == BS_AUTORADIOBUTTON;
}

// Clears the other automatic radio buttons of the group of hwnd: from the
// nearest control at or before it with WS_GROUP, up to the next WS_GROUP.
void ClearGroup(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    auto p = w ? WindowGet(w->parent) : nullptr;
    if (!p)
        return;
    std::vector<HWND> kids = p->children;
    size_t me = 0;
    while (me < kids.size() && kids[me] != hwnd)
        ++me;
    if (me == kids.size())
        return;
    size_t first = me;
    while (first > 0) {
        auto c = WindowGet(kids[first]);
        if (c && (c->style & WS_GROUP))
            break;
        --first;
    }
    for (size_t i = first; i < kids.size(); ++i) {
        auto c = WindowGet(kids[i]);
        if (!c)
            continue;
        if (i > first && (c->style & WS_GROUP))
            break;
        auto cs = ControlOf<ButtonState>(*c);
        if (kids[i] != hwnd && cs && Type(*c) == BS_AUTORADIOBUTTON && cs->check) {
            cs->check = 0;
            WindowInvalidate(kids[i], true);
        }
    }
}

void Click(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    auto s = w ? ControlOf<ButtonState>(*w) : nullptr;
    if (!s)
        return;
    if (Type(*w) == BS_AUTORADIOBUTTON) {
        ClearGroup(hwnd);
        s->check = BST_CHECKED;
        WindowInvalidate(hwnd, true);
    } else if (Type(*w) == BS_AUTOCHECKBOX) {
        s->check = s->check ? 0 : 1;
        WindowInvalidate(hwnd, true);
    }
    NotifyParent(hwnd, BN_CLICKED);
}

void Paint(HWND hwnd, HDC dc, const RECT &r, const Window &w, const ButtonState &st)
{
    bool enabled = !(w.style & WS_DISABLED);
    // The focus frame: round the whole of a push button, round the text of
    // a radio or check button (never over its mark).
    RECT focus{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    COLORREF textColor = enabled ? RGB(0, 0, 0) : RGB(128, 128, 128);
    if (IsRadio(w) || Type(w) == BS_CHECKBOX || Type(w) == BS_AUTOCHECKBOX) {
        GdiFill(dc, r, kDialogFace);
        // One line of text is centred in the control, more start at its
        // top; the mark is centred on the first line.
        int s = 10, lh = GdiTextHeight();
        std::u16string shown;
        for (char16_t c : w.text)
            if (c != u'&')
                shown.push_back(c);
        int lineTop = GdiTextWidth(shown) <= r.right - (s + 4) ? std::max(0, int(r.bottom - lh) / 2) : 0;
        int top = lineTop + (lh - s) / 2;
        if (IsRadio(w)) {
            // A round button: ring, white inside, a dot when checked.
            static const char *const kRadio[10] = {
                "...XXXX...", ".XXooooXX.", ".XooooooX.", "Xooo##oooX", "Xoo####ooX",
                "Xoo####ooX", "Xooo##oooX", ".XooooooX.", ".XXooooXX.", "...XXXX...",
            };
            for (int y = 0; y < s; ++y)
                for (int x = 0; x < s; ++x) {
                    char c = kRadio[y][x];
                    if (c == '.')
                        continue;
                    bool black = c == 'X' || (c == '#' && st.check);
                    GdiFill(dc, RECT{x, top + y, x + 1, top + y + 1},
                            black ? RGB(0, 0, 0) : RGB(255, 255, 255));
                }
        } else {
            RECT box{0, top, s, top + s};
            GdiFill(dc, box, RGB(255, 255, 255));
            GdiFrame(dc, box, RGB(0, 0, 0));
            if (st.check) {
                RECT dot{3, top + 3, s - 3, top + s - 3};
                GdiFill(dc, dot, RGB(0, 0, 0));
            }
        }
        RECT tr{s + 4, lineTop, r.right, r.bottom};
        DrawTextBlock(dc, tr, w.text, 0, textColor, false);
        focus = RECT{s + 2, lineTop, std::min<LONG>(r.right, s + 6 + GdiTextWidth(shown)), std::min<LONG>(r.bottom, lineTop + lh)};
    } else {
        GdiFill(dc, r, kDialogFace);
        GdiFrame(dc, r, RGB(0, 0, 0));
        if (Type(w) == BS_DEFPUSHBUTTON) {
            RECT in{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
            GdiFrame(dc, in, RGB(0, 0, 0));
        }
        if (st.pushed) {
            RECT in{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
            GdiFill(dc, in, RGB(160, 160, 160));
        }
        int th = GdiTextHeight();
        RECT tr{r.left, (r.bottom - th) / 2, r.right, r.bottom};
        DrawTextBlock(dc, tr, w.text, 1, textColor, false);
    }
    if (WindowFocus() == hwnd)
        GdiFrame(dc, focus, RGB(64, 64, 64));
}

} // namespace

void NotifyParent(HWND control, WORD code)
{
    auto w = WindowGet(control);
    if (!w || !w->parent)
        return;
    WindowSend(w->parent, WM_COMMAND, MAKEWPARAM(WORD(w->id), code), LPARAM(control));
}

bool QueryButton(HWND hwnd, ButtonView &out)
{
    auto s = ControlQuery<ButtonState>(hwnd);
    if (!s)
        return false;
    out.check = s->check;
    return true;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    if (msg == WM_NCCREATE && !ControlMake<ButtonState>(*w))
        return FALSE;
    auto s = ControlOf<ButtonState>(*w);
    if (!s)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCDESTROY:
        w->control.reset();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        if (IsRadio(*w))
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (Type(*w) == BS_DEFPUSHBUTTON)
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (Type(*w) == BS_PUSHBUTTON)
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    case WM_LBUTTONDOWN:
        if (w->style & WS_DISABLED)
            return 0;
        s->pushed = true;
        SetFocus(hwnd);
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_LBUTTONUP: {
        if (!s->pushed)
            return 0;
        s->pushed = false;
        WindowInvalidate(hwnd, true);
        RECT r;
        GetClientRect(hwnd, &r);
        POINT pt{short(LOWORD(lParam)), short(HIWORD(lParam))};
        // Released outside the button: no click, as on Windows.
        if (PtInRect(&r, pt))
            Click(hwnd);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && !(w->style & WS_DISABLED)) {
            s->pushed = true;
            WindowInvalidate(hwnd, true);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && s->pushed) {
            s->pushed = false;
            WindowInvalidate(hwnd, true);
            Click(hwnd);
        }
        return 0;
    case BM_CLICK:
        if (w->style & WS_DISABLED)
            return 0;
        WindowSend(hwnd, WM_LBUTTONDOWN, 0, 0);
        WindowSend(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
    case BM_GETCHECK:
        return s->check;
    case BM_SETCHECK:
        if (s->check != int(wParam & 3)) {
            s->check = int(wParam & 3);
            WindowInvalidate(hwnd, true);
        }
        return 0;
    case BM_GETSTATE:
        return s->check | (s->pushed ? BST_PUSHED : 0) | (WindowFocus() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        s->pushed = wParam != 0;
        WindowInvalidate(hwnd, true);
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & ~DWORD(BS_TYPEMASK)) | (DWORD(wParam) & BS_TYPEMASK);
        if (lParam)
            WindowInvalidate(hwnd, true);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (msg == WM_KILLFOCUS)
            s->pushed = false;
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ENABLE:
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ControlPaint(hwnd, [&](HDC dc, const RECT &r) { Paint(hwnd, dc, r, *w, *s); });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace plat
