// listbox.cpp - the ListBox control: a list of texts with item data and a
// single selection.
//
// LBN_SELCHANGE goes to the parent (with LBS_NOTIFY) only when the user
// changes the selection (a click on an entry, the arrow and page keys, a
// typed first letter), never for LB_SETCURSEL, as on Windows. The wheel and
// the scroll bar's requests (WM_VSCROLL) move the view, not the selection.
// The thumb is dragged with the mouse captured: the list follows the
// pointer (SB_THUMBTRACK) until the button is released (SB_THUMBPOSITION).
// An LBS_WANTKEYBOARDINPUT list asks its parent first (WM_VKEYTOITEM,
// WM_CHARTOITEM: -2 done, -1 default, else the entry to go to).
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "gdi/gdi.h"
#include "text/text.h"
#include "user/query.h"
#include "user/window.h"

namespace plat {
namespace {

struct ListItem {
    std::u16string text;
    LPARAM data = 0;
};

// A list box's entries, selection (-1 none), first entry shown, and the
// wheel's turn not yet worth a line.
struct ListBoxState : ControlRecord {
    static constexpr BuiltinClass kKind = BuiltinClass::ListBox;
    ListBoxState() : ControlRecord(kKind) {}
    std::vector<ListItem> items;
    int curSel = -1;
    int topIndex = 0;
    int wheelRemain = 0;
};

constexpr int kItemHeight = 13;
constexpr int kWheelLines = 3; // lines a wheel notch scrolls, as the device's setting

int VisibleRows(HWND hwnd)
{
    RECT r;
    GetClientRect(hwnd, &r);
    return std::max(1, int(r.bottom - r.top) / kItemHeight);
}

// The last page is kept full: the top entry never goes past count - rows.
int MaxTop(HWND hwnd, const ListBoxState &w)
{
    return std::max(0, int(w.items.size()) - VisibleRows(hwnd));
}

void SetTop(HWND hwnd, ListBoxState &w, int top)
{
    top = std::clamp(top, 0, MaxTop(hwnd, w));
    if (top == w.topIndex)
        return;
    w.topIndex = top;
    WindowInvalidate(hwnd, true);
}

void EnsureVisible(HWND hwnd, ListBoxState &w, int index)
{
    int rows = VisibleRows(hwnd);
    int top = w.topIndex;
    if (index < top)
        top = index;
    else if (index >= top + rows)
        top = index - rows + 1;
    w.topIndex = std::clamp(top, 0, MaxTop(hwnd, w));
}

// The parts of the scroll bar in BAR: arrow buttons at both ends, the
// thumb on the track between them, as long as the page is of the list.
struct ScrollParts {
    RECT up, down, thumb;
};

ScrollParts PartsOf(HWND hwnd, const ListBoxState &w, const RECT &bar)
{
    int side = std::min<int>(kScrollBarWidth, (bar.bottom - bar.top) / 2);
    ScrollParts p;
    p.up = RECT{bar.left, bar.top, bar.right, bar.top + side};
    p.down = RECT{bar.left, bar.bottom - side, bar.right, bar.bottom};
    int track = int(p.down.top - p.up.bottom);
    int count = int(w.items.size()), rows = VisibleRows(hwnd), maxTop = MaxTop(hwnd, w);
    p.thumb = RECT{bar.left, p.up.bottom, bar.right, p.up.bottom};
    if (count > rows && track >= 8) {
        int len = std::max(8, track * rows / count);
        int at = int(p.up.bottom) + (track - len) * w.topIndex / maxTop;
        p.thumb = RECT{bar.left, at, bar.right, at + len};
    }
    return p;
}

// The scroll bar of HWND in its own window coordinates.
RECT BarRect(const Window &w)
{
    RECT wr = WindowScreenRect(w), cr = WindowClientScreenRect(w);
    return RECT{cr.right - wr.left, cr.top - wr.top, cr.right - wr.left + kScrollBarWidth, cr.bottom - wr.top};
}

bool Inside(const RECT &r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The thumb being dragged: its list (the capture's window) and where on
// the thumb the pointer took it. One at a time, as there is one capture.
struct ThumbDrag {
    HWND hwnd = 0;
    int grab = 0; // pointer's distance below the thumb's top edge
} g_drag;

// The top entry that puts the thumb's top edge at window row THUMBTOP,
// the nearest one, within the list.
int TopForThumb(HWND hwnd, const Window &w, const ListBoxState &s, int thumbTop)
{
    ScrollParts p = PartsOf(hwnd, s, BarRect(w));
    int travel = int(p.down.top - p.up.bottom) - int(p.thumb.bottom - p.thumb.top);
    int maxTop = MaxTop(hwnd, s);
    if (travel <= 0 || maxTop == 0)
        return 0;
    int off = std::clamp(thumbTop - int(p.up.bottom), 0, travel);
    return (off * maxTop + travel / 2) / travel;
}

// A raised button face: light top and left edges, dark bottom and right.
void RaisedFace(HDC dc, const RECT &r)
{
    GdiFill(dc, r, RGB(192, 192, 192));
    GdiFill(dc, RECT{r.left, r.top, r.right, r.top + 1}, RGB(255, 255, 255));
    GdiFill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, RGB(255, 255, 255));
    GdiFill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, RGB(0, 0, 0));
    GdiFill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, RGB(0, 0, 0));
    GdiFill(dc, RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, RGB(128, 128, 128));
    GdiFill(dc, RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, RGB(128, 128, 128));
}

// An arrow button, the triangle pointing up or down, grey when the list
// cannot move that way.
void ArrowButton(HDC dc, const RECT &r, bool up, bool enabled)
{
    RaisedFace(dc, r);
    int cx = int(r.left + r.right - 1) / 2, h = 4;
    int top = int(r.top + r.bottom - h) / 2;
    COLORREF c = enabled ? RGB(0, 0, 0) : RGB(128, 128, 128);
    for (int k = 0; k < h; ++k) {
        int half = up ? k : h - 1 - k;
        GdiFill(dc, RECT{cx - half, top + k, cx + half + 1, top + k + 1}, c);
    }
}

// A selection made by the user (click, key, typed letter): the entry comes
// into view and the parent hears of a change. LBS_NOSEL lists only scroll.
void UserSelect(HWND hwnd, const Window &w, ListBoxState &s, int index)
{
    if (index < 0 || index >= int(s.items.size()))
        return;
    EnsureVisible(hwnd, s, index);
    WindowInvalidate(hwnd, true);
    if (w.style & LBS_NOSEL)
        return;
    bool changed = index != s.curSel;
    s.curSel = index;
    if (changed && (w.style & LBS_NOTIFY))
        NotifyParent(hwnd, LBN_SELCHANGE);
}

int Insert(ListBoxState &w, int at, const std::u16string &text)
{
    if (at < 0 || at > int(w.items.size()))
        at = int(w.items.size());
    w.items.insert(w.items.begin() + at, ListItem{text, 0});
    if (w.curSel >= at)
        ++w.curSel;
    return at;
}

// The next entry after `from` (wrapping round) whose text starts with c,
// case ignored; -1 when none does.
int NextStartingWith(const ListBoxState &w, int from, char16_t c)
{
    int count = int(w.items.size());
    std::u16string want(1, c);
    for (int k = 1; k <= count; ++k) {
        int i = ((from < 0 ? -1 : from) + k) % count;
        const std::u16string &t = w.items[size_t(i)].text;
        if (!t.empty() && FoldCompare(t.substr(0, 1), want) == 0)
            return i;
    }
    return -1;
}

// The entry a navigation key moves the selection to (the selection itself
// when the key moves nothing).
int KeyTarget(HWND hwnd, const ListBoxState &w, UINT vk)
{
    int count = int(w.items.size());
    int i = w.curSel, rows = VisibleRows(hwnd);
    switch (vk) {
    case VK_UP: return i <= 0 ? 0 : i - 1;
    case VK_DOWN: return i < 0 ? 0 : std::min(count - 1, i + 1);
    case VK_HOME: return 0;
    case VK_END: return count - 1;
    case VK_PRIOR:
        // First to the top of the page, then a page up.
        if (i > w.topIndex)
            return w.topIndex;
        return std::max(0, i - rows + 1);
    case VK_NEXT: {
        int bottom = std::min(count - 1, w.topIndex + rows - 1);
        if (i < bottom)
            return bottom;
        return std::min(count - 1, i + rows - 1);
    }
    default: return -1;
    }
}

// WM_CHARTOITEM / WM_VKEYTOITEM of an LBS_WANTKEYBOARDINPUT list: the
// parent's answer, -1 (do the default) without one.
int AskParent(HWND hwnd, UINT msg, WPARAM key)
{
    auto w = WindowGet(hwnd);
    auto s = w ? ControlOf<ListBoxState>(*w) : nullptr;
    if (!s || !(w->style & LBS_WANTKEYBOARDINPUT) || !w->parent)
        return -1;
    WPARAM wp = MAKEWPARAM(WORD(key), WORD(std::max(0, s->curSel)));
    return int(WindowSend(w->parent, msg, wp, LPARAM(hwnd)));
}

} // namespace

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    if (msg == WM_NCCREATE && !ControlMake<ListBoxState>(*w))
        return FALSE;
    auto s = ControlOf<ListBoxState>(*w);
    if (!s)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    int count = int(s->items.size());
    switch (msg) {
    case WM_NCDESTROY:
        w->control.reset();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        LPCWSTR str = reinterpret_cast<LPCWSTR>(lParam);
        if (!str)
            return LB_ERR;
        std::u16string text(str);
        int at;
        if (msg == LB_ADDSTRING && (w->style & LBS_SORT)) {
            at = 0;
            while (at < count && FoldCompare(s->items[size_t(at)].text, text) <= 0)
                ++at;
        } else if (msg == LB_ADDSTRING) {
            at = count;
        } else {
            at = int(wParam);
            if (at > count)
                return LB_ERR;
        }
        at = Insert(*s, at, text);
        WindowInvalidate(hwnd, true);
        return at;
    }
    case LB_DELETESTRING: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        s->items.erase(s->items.begin() + i);
        if (s->curSel == i)
            s->curSel = -1;
        else if (s->curSel > i)
            --s->curSel;
        s->topIndex = std::min(s->topIndex, MaxTop(hwnd, *s));
        WindowInvalidate(hwnd, true);
        return count - 1;
    }
    case LB_RESETCONTENT:
        s->items.clear();
        s->curSel = -1;
        s->topIndex = 0;
        WindowInvalidate(hwnd, true);
        return 0;
    case LB_SETCURSEL: {
        int i = int(wParam);
        WindowInvalidate(hwnd, true);
        if (i < 0 || i >= count) {
            s->curSel = -1;
            return LB_ERR;
        }
        s->curSel = i;
        EnsureVisible(hwnd, *s, i);
        return i;
    }
    case LB_GETCURSEL:
        return s->curSel < 0 ? LB_ERR : s->curSel;
    case LB_GETSEL: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return i == s->curSel ? 1 : 0;
    }
    case LB_GETCOUNT:
        return count;
    case LB_GETTEXT: {
        int i = int(wParam);
        LPWSTR buf = reinterpret_cast<LPWSTR>(lParam);
        if (i < 0 || i >= count || !buf)
            return LB_ERR;
        const std::u16string &t = s->items[size_t(i)].text;
        std::copy(t.begin(), t.end(), buf);
        buf[t.size()] = 0;
        return LRESULT(t.size());
    }
    case LB_GETTEXTLEN: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return LRESULT(s->items[size_t(i)].text.size());
    }
    case LB_SETITEMDATA: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        s->items[size_t(i)].data = lParam;
        return TRUE;
    }
    case LB_GETITEMDATA: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return s->items[size_t(i)].data;
    }
    case LB_FINDSTRINGEXACT:
    case LB_FINDSTRING:
    case LB_SELECTSTRING: {
        LPCWSTR str = reinterpret_cast<LPCWSTR>(lParam);
        if (!str || count == 0)
            return LB_ERR;
        std::u16string want(str);
        int start = int(wParam);
        for (int k = 1; k <= count; ++k) {
            int i = (start < 0 || start >= count) ? k - 1 : (start + k) % count;
            const std::u16string &t = s->items[size_t(i)].text;
            bool match = msg == LB_FINDSTRINGEXACT ? FoldCompare(t, want) == 0
                                                   : FoldCompare(t.substr(0, want.size()), want) == 0;
            if (match) {
                if (msg == LB_SELECTSTRING) {
                    s->curSel = i;
                    EnsureVisible(hwnd, *s, i);
                    WindowInvalidate(hwnd, true);
                }
                return i;
            }
        }
        return LB_ERR;
    }
    case LB_GETTOPINDEX:
        return s->topIndex;
    case LB_SETTOPINDEX: {
        int i = int(wParam);
        if (i < 0 || (count > 0 && i >= count) || (count == 0 && i != 0))
            return LB_ERR;
        SetTop(hwnd, *s, i);
        return 0;
    }
    case LB_GETITEMHEIGHT:
        return kItemHeight;
    case LB_GETITEMRECT: {
        int i = int(wParam);
        RECT *out = reinterpret_cast<RECT *>(lParam);
        if (i < 0 || i >= count || !out)
            return LB_ERR;
        RECT r;
        GetClientRect(hwnd, &r);
        *out = RECT{0, (i - s->topIndex) * kItemHeight, r.right, (i - s->topIndex + 1) * kItemHeight};
        return 1;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN: {
        if (w->style & WS_DISABLED)
            return 0;
        SetFocus(hwnd);
        int y = short(HIWORD(lParam));
        if (y < 0)
            return 0;
        UserSelect(hwnd, *w, *s, s->topIndex + y / kItemHeight);
        return 0;
    }
    case WM_KEYDOWN: {
        int i = AskParent(hwnd, WM_VKEYTOITEM, wParam);
        if (i == -2 || !(w = WindowGet(hwnd)) || !(s = ControlOf<ListBoxState>(*w)) || s->items.empty())
            return 0;
        if (i < 0)
            i = KeyTarget(hwnd, *s, UINT(wParam));
        UserSelect(hwnd, *w, *s, i);
        return 0;
    }
    case WM_CHAR: {
        // A typed character moves to the next entry that starts with it.
        WCHAR c = WCHAR(wParam);
        if (c < 0x20)
            return 0;
        int i = AskParent(hwnd, WM_CHARTOITEM, c);
        if (i == -2 || !(w = WindowGet(hwnd)) || !(s = ControlOf<ListBoxState>(*w)) || s->items.empty())
            return 0;
        if (i < 0)
            i = NextStartingWith(*s, s->curSel, c);
        UserSelect(hwnd, *w, *s, i);
        return 0;
    }
    case WM_NCLBUTTONDOWN: {
        // A press on the scroll bar: arrows move a line, the track either
        // side of the thumb a page.
        if (wParam != HTVSCROLL || !(w->style & WS_VSCROLL) || (w->style & WS_DISABLED))
            return 0;
        RECT wr = WindowScreenRect(*w);
        int x = short(LOWORD(lParam)) - int(wr.left), y = short(HIWORD(lParam)) - int(wr.top);
        RECT bar = BarRect(*w);
        if (!Inside(bar, x, y))
            return 0;
        ScrollParts p = PartsOf(hwnd, *s, bar);
        if (Inside(p.thumb, x, y)) {
            // The drag goes on in WM_MOUSEMOVE and ends with the button.
            g_drag = ThumbDrag{hwnd, y - int(p.thumb.top)};
            SetCapture(hwnd);
            return 0;
        }
        int code = -1;
        if (Inside(p.up, x, y))
            code = SB_LINEUP;
        else if (Inside(p.down, x, y))
            code = SB_LINEDOWN;
        else if (y < p.thumb.top)
            code = SB_PAGEUP;
        else if (y >= p.thumb.bottom)
            code = SB_PAGEDOWN;
        if (code >= 0)
            SendMessageW(hwnd, WM_VSCROLL, WPARAM(code), 0);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
        // Client coordinates, which may lie anywhere while captured.
        if (g_drag.hwnd != hwnd || GetCapture() != hwnd)
            return msg == WM_LBUTTONUP ? DefWindowProcW(hwnd, msg, wParam, lParam) : 0;
        RECT wr = WindowScreenRect(*w), cr = WindowClientScreenRect(*w);
        int y = short(HIWORD(lParam)) + int(cr.top - wr.top);
        int top = TopForThumb(hwnd, *w, *s, y - g_drag.grab);
        if (msg == WM_MOUSEMOVE) {
            SendMessageW(hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, WORD(top)), 0);
            return 0;
        }
        g_drag.hwnd = 0;
        ReleaseCapture();
        SendMessageW(hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, WORD(top)), 0);
        SendMessageW(hwnd, WM_VSCROLL, SB_ENDSCROLL, 0);
        return 0;
    }
    case WM_CAPTURECHANGED:
        // Taken away mid-drag: the list stays where the thumb was left.
        if (g_drag.hwnd == hwnd)
            g_drag.hwnd = 0;
        return 0;
    case WM_MOUSEWHEEL: {
        // Turns add up until they are worth a line; a notch is kWheelLines
        // lines, never more than a page.
        s->wheelRemain += GET_WHEEL_DELTA_WPARAM(wParam);
        if (std::abs(s->wheelRemain) < WHEEL_DELTA)
            return 0;
        int lines = std::min(VisibleRows(hwnd), kWheelLines);
        int n = lines * s->wheelRemain / WHEEL_DELTA;
        s->wheelRemain -= WHEEL_DELTA * n / lines;
        SetTop(hwnd, *s, s->topIndex - n);
        return 0;
    }
    case WM_VSCROLL: {
        int rows = VisibleRows(hwnd);
        switch (LOWORD(wParam)) {
        case SB_LINEUP: SetTop(hwnd, *s, s->topIndex - 1); break;
        case SB_LINEDOWN: SetTop(hwnd, *s, s->topIndex + 1); break;
        case SB_PAGEUP: SetTop(hwnd, *s, s->topIndex - rows); break;
        case SB_PAGEDOWN: SetTop(hwnd, *s, s->topIndex + rows); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: SetTop(hwnd, *s, int(HIWORD(wParam))); break;
        case SB_TOP: SetTop(hwnd, *s, 0); break;
        case SB_BOTTOM: SetTop(hwnd, *s, count); break;
        default: break;
        }
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        WindowInvalidate(hwnd, true);
        if (w->style & LBS_NOTIFY)
            NotifyParent(hwnd, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        // The scroll bar follows the list: drawn again with each paint.
        if (w->style & WS_VSCROLL) {
            w->frameDirty = true;
            WindowNoteDue(*w);
        }
        ControlPaint(hwnd, [&](HDC dc, const RECT &r) {
            GdiFill(dc, r, RGB(255, 255, 255));
            int rows = VisibleRows(hwnd);
            for (int k = 0; k < rows && s->topIndex + k < count; ++k) {
                int i = s->topIndex + k;
                RECT ir{0, k * kItemHeight, r.right, (k + 1) * kItemHeight};
                COLORREF fg = RGB(0, 0, 0);
                if (i == s->curSel) {
                    GdiFill(dc, ir, RGB(0, 0, 128));
                    fg = RGB(255, 255, 255);
                }
                GdiText(dc, 2, ir.top, s->items[size_t(i)].text, fg);
            }
        });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void ListBoxPaintScrollBar(HWND hwnd, HDC dc, const RECT &bar)
{
    auto s = ControlOf<ListBoxState>(hwnd);
    if (!s || bar.right <= bar.left || bar.bottom <= bar.top)
        return;
    ScrollParts p = PartsOf(hwnd, *s, bar);
    GdiFill(dc, RECT{bar.left, p.up.bottom, bar.right, p.down.top}, RGB(224, 224, 224));
    ArrowButton(dc, p.up, true, s->topIndex > 0);
    ArrowButton(dc, p.down, false, s->topIndex < MaxTop(hwnd, *s));
    if (p.thumb.bottom > p.thumb.top)
        RaisedFace(dc, p.thumb);
}

// Client position of entry i for a click (scrolls it into view first, as
// a user would). False when there is no such entry.
bool ListBoxItemPoint(HWND hwnd, int index, POINT &pt)
{
    auto s = ControlOf<ListBoxState>(hwnd);
    if (!s || index < 0 || index >= int(s->items.size()))
        return false;
    EnsureVisible(hwnd, *s, index);
    pt.x = 2;
    pt.y = (index - s->topIndex) * kItemHeight + kItemHeight / 2;
    return true;
}

bool QueryListBox(HWND hwnd, ListBoxView &out)
{
    auto s = ControlQuery<ListBoxState>(hwnd);
    if (!s)
        return false;
    out.items.clear();
    for (const ListItem &it : s->items)
        out.items.push_back(it.text);
    out.curSel = s->curSel;
    out.topIndex = s->topIndex;
    return true;
}

} // namespace plat
