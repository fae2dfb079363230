// listbox.cpp - the ListBox control: a list of texts with item data and a
// single selection.
//
// LBN_SELCHANGE goes to the parent (with LBS_NOTIFY) only when the user
// changes the selection (a click on an entry, the arrow keys), never for
// LB_SETCURSEL, as on Windows.
#include <windows.h>

#include <algorithm>

#include "gdi/gdi.h"
#include "text/text.h"
#include "user/window.h"

namespace plat {
namespace {

constexpr int kItemHeight = 13;

int VisibleRows(HWND hwnd)
{
    RECT r;
    GetClientRect(hwnd, &r);
    return std::max(1, int(r.bottom - r.top) / kItemHeight);
}

void EnsureVisible(HWND hwnd, Window &w, int index)
{
    int rows = VisibleRows(hwnd);
    if (index < w.topIndex)
        w.topIndex = index;
    else if (index >= w.topIndex + rows)
        w.topIndex = index - rows + 1;
}

void UserSelect(HWND hwnd, Window &w, int index)
{
    if (index < 0 || index >= int(w.items.size()))
        return;
    bool changed = index != w.curSel;
    w.curSel = index;
    EnsureVisible(hwnd, w, index);
    WindowInvalidate(hwnd, true);
    if (changed && (w.style & LBS_NOTIFY))
        NotifyParent(hwnd, LBN_SELCHANGE);
}

int Insert(Window &w, int at, const std::u16string &text)
{
    if (at < 0 || at > int(w.items.size()))
        at = int(w.items.size());
    w.items.insert(w.items.begin() + at, ListItem{text, 0});
    if (w.curSel >= at)
        ++w.curSel;
    return at;
}

} // namespace

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    int count = int(w->items.size());
    switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        LPCWSTR s = reinterpret_cast<LPCWSTR>(lParam);
        if (!s)
            return LB_ERR;
        std::u16string text(s);
        int at;
        if (msg == LB_ADDSTRING && (w->style & LBS_SORT)) {
            at = 0;
            while (at < count && FoldCompare(w->items[size_t(at)].text, text) <= 0)
                ++at;
        } else if (msg == LB_ADDSTRING) {
            at = count;
        } else {
            at = int(wParam);
            if (at > count)
                return LB_ERR;
        }
        at = Insert(*w, at, text);
        WindowInvalidate(hwnd, true);
        return at;
    }
    case LB_DELETESTRING: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        w->items.erase(w->items.begin() + i);
        if (w->curSel == i)
            w->curSel = -1;
        else if (w->curSel > i)
            --w->curSel;
        WindowInvalidate(hwnd, true);
        return count - 1;
    }
    case LB_RESETCONTENT:
        w->items.clear();
        w->curSel = -1;
        w->topIndex = 0;
        WindowInvalidate(hwnd, true);
        return 0;
    case LB_SETCURSEL: {
        int i = int(wParam);
        WindowInvalidate(hwnd, true);
        if (i < 0 || i >= count) {
            w->curSel = -1;
            return LB_ERR;
        }
        w->curSel = i;
        EnsureVisible(hwnd, *w, i);
        return i;
    }
    case LB_GETCURSEL:
        return w->curSel < 0 ? LB_ERR : w->curSel;
    case LB_GETSEL: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return i == w->curSel ? 1 : 0;
    }
    case LB_GETCOUNT:
        return count;
    case LB_GETTEXT: {
        int i = int(wParam);
        LPWSTR buf = reinterpret_cast<LPWSTR>(lParam);
        if (i < 0 || i >= count || !buf)
            return LB_ERR;
        const std::u16string &t = w->items[size_t(i)].text;
        std::copy(t.begin(), t.end(), buf);
        buf[t.size()] = 0;
        return LRESULT(t.size());
    }
    case LB_GETTEXTLEN: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return LRESULT(w->items[size_t(i)].text.size());
    }
    case LB_SETITEMDATA: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        w->items[size_t(i)].data = lParam;
        return TRUE;
    }
    case LB_GETITEMDATA: {
        int i = int(wParam);
        if (i < 0 || i >= count)
            return LB_ERR;
        return w->items[size_t(i)].data;
    }
    case LB_FINDSTRINGEXACT:
    case LB_FINDSTRING:
    case LB_SELECTSTRING: {
        LPCWSTR s = reinterpret_cast<LPCWSTR>(lParam);
        if (!s || count == 0)
            return LB_ERR;
        std::u16string want(s);
        int start = int(wParam);
        for (int k = 1; k <= count; ++k) {
            int i = (start < 0 || start >= count) ? k - 1 : (start + k) % count;
            const std::u16string &t = w->items[size_t(i)].text;
            bool match = msg == LB_FINDSTRINGEXACT ? FoldCompare(t, want) == 0
                                                   : FoldCompare(t.substr(0, want.size()), want) == 0;
            if (match) {
                if (msg == LB_SELECTSTRING) {
                    w->curSel = i;
                    EnsureVisible(hwnd, *w, i);
                    WindowInvalidate(hwnd, true);
                }
                return i;
            }
        }
        return LB_ERR;
    }
    case LB_GETTOPINDEX:
        return w->topIndex;
    case LB_SETTOPINDEX: {
        int i = int(wParam);
        if (i < 0 || (count > 0 && i >= count) || (count == 0 && i != 0))
            return LB_ERR;
        w->topIndex = i;
        WindowInvalidate(hwnd, true);
        return 0;
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
        UserSelect(hwnd, *w, w->topIndex + y / kItemHeight);
        return 0;
    }
    case WM_KEYDOWN: {
        if (count == 0)
            return 0;
        int i = w->curSel;
        switch (wParam) {
        case VK_UP: i = i <= 0 ? 0 : i - 1; break;
        case VK_DOWN: i = i < 0 ? 0 : std::min(count - 1, i + 1); break;
        case VK_HOME: i = 0; break;
        case VK_END: i = count - 1; break;
        default: return 0;
        }
        UserSelect(hwnd, *w, i);
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
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (!dc)
            return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        GdiFill(dc, r, RGB(255, 255, 255));
        int rows = VisibleRows(hwnd);
        for (int k = 0; k < rows && w->topIndex + k < count; ++k) {
            int i = w->topIndex + k;
            RECT ir{0, k * kItemHeight, r.right, (k + 1) * kItemHeight};
            COLORREF fg = RGB(0, 0, 0);
            if (i == w->curSel) {
                GdiFill(dc, ir, RGB(0, 0, 128));
                fg = RGB(255, 255, 255);
            }
            GdiText(dc, 2, ir.top, w->items[size_t(i)].text, fg);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// Client position of entry i for a click (scrolls it into view first, as
// a user would). False when there is no such entry.
bool ListBoxItemPoint(HWND hwnd, int index, POINT &pt)
{
    auto w = WindowGet(hwnd);
    if (!w || index < 0 || index >= int(w->items.size()))
        return false;
    EnsureVisible(hwnd, *w, index);
    pt.x = 2;
    pt.y = (index - w->topIndex) * kItemHeight + kItemHeight / 2;
    return true;
}

} // namespace plat
