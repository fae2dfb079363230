// window.cpp - windows: creation and destruction, parent/owner/children,
// styles, text, enabled and visible states, placement, activation and focus.
//
// Windows are objects of the handle table; a stale handle (a destroyed
// window, or a handle of another kind) fails with
// ERROR_INVALID_WINDOW_HANDLE. Top-level windows are kept in a Z order list
// (bottom to top); children in creation order. A child's rectangle is kept
// relative to its parent's client area, a top-level window's on the screen.
#include <windows.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <mutex>
#include <set>

#include "user/class.h"
#include "kernel/device.h"
#include "text/text.h"
#include "user/window.h"

namespace plat {
namespace {

std::vector<HWND> g_zorder; // top-level windows, bottom to top
HWND g_active = 0;
HWND g_focus = 0;
HCURSOR g_cursor = 0;
int g_destroying = 0; // DestroyWindow calls under way: the tree is half unlinked
// Stand-in windows of the applications the device reports as running.
std::vector<std::pair<std::u16string, HWND>> g_running;

// Windows leave the Z order, the focus and the active window as they are
// destroyed; only a reset of the handle table (the device closed under
// them) leaves dead ones behind.
void PruneDead()
{
    static uint64_t s_resets = 0;
    uint64_t resets = HandleResetCount();
    if (resets == s_resets)
        return;
    s_resets = resets;
    g_zorder.erase(std::remove_if(g_zorder.begin(), g_zorder.end(), [](HWND h) { return !WindowGet(h); }),
                   g_zorder.end());
    if (g_active && !WindowGet(g_active))
        g_active = 0;
    if (g_focus && !WindowGet(g_focus))
        g_focus = 0;
    ++g_windowLayout;
}

int FrameWidth(const Window &w)
{
    if ((w.exStyle & WS_EX_DLGMODALFRAME) || (w.style & WS_DLGFRAME) ||
        ((w.style & WS_CAPTION) == WS_CAPTION))
        return kModalFrame;
    if (w.style & WS_BORDER)
        return 1;
    return 0;
}

int CaptionHeight(const Window &w)
{
    return (w.style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0;
}

RECT ScreenRectOf(const Window &w)
{
    return WindowPlaced(w).screenRect;
}

void InvalidateBelow(const RECT &r)
{
    for (HWND h : g_zorder) {
        auto w = WindowGet(h);
        if (!w || !(w->style & WS_VISIBLE))
            continue;
        RECT wr = ScreenRectOf(*w), tmp;
        if (IntersectRect(&tmp, &wr, &r))
            WindowInvalidateScreenRect(h, r, true);
    }
}

void BringToTop(HWND h)
{
    auto it = std::find(g_zorder.begin(), g_zorder.end(), h);
    if (it != g_zorder.end()) {
        g_zorder.erase(it);
        g_zorder.push_back(h);
        ++g_windowLayout;
    }
}

void Activate(HWND h)
{
    if (g_active == h)
        return;
    HWND old = g_active;
    g_active = h;
    if (old && WindowGet(old))
        WindowSend(old, WM_ACTIVATE, 0, LPARAM(h));
    if (h)
        WindowSend(h, WM_ACTIVATE, 1, LPARAM(old));
}

void DestroyTree(HWND h)
{
    auto w = WindowGet(h);
    if (!w || w->destroyed)
        return;
    w->destroyed = true;
    // Owned popups go first, as on Windows.
    for (HWND t : std::vector<HWND>(g_zorder)) {
        auto o = WindowGet(t);
        if (o && o->owner == h && !o->destroyed)
            DestroyWindow(t);
    }
    WindowSend(h, WM_DESTROY, 0, 0);
    for (HWND c : std::vector<HWND>(w->children))
        DestroyTree(c);
    WindowSend(h, WM_NCDESTROY, 0, 0);
    if (g_focus == h)
        g_focus = 0;
    InputCaptureForget(h);
    CaretForget(h);
    HandleFree(h, HandleKind::Window);
}

} // namespace

// Counts changes of the window tree's geometry: a move or
// resize, a show or hide, a new style, a change of the Z order, a window
// made or destroyed. Geometry worked out from the tree is kept in each
// window with the count it was worked out at.
uint64_t g_windowLayout = 1;
uint64_t g_windowIds = 1;

void WindowSetId(Window &w, int id)
{
    w.id = id;
    ++g_windowIds;
}

// The window's rectangle and client area on the screen and whether it and
// all its parents are visible, worked out again only when the layout
// changed.
const Window &WindowWorkOutPlace(const Window &w)
{
    RECT r = w.rect;
    bool shown = (w.style & WS_VISIBLE) != 0;
    if ((w.style & WS_CHILD) && w.parent) {
        auto p = WindowPeek(w.parent);
        if (p) {
            RECT pc = WindowPlaced(*p).clientRect;
            OffsetRect(&r, pc.left, pc.top);
            shown = shown && p->shown;
        } else {
            shown = false;
        }
    }
    w.screenRect = r;
    int f = FrameWidth(w);
    r.left += f;
    r.top += f + CaptionHeight(w);
    r.right -= f;
    r.bottom -= f;
    // A vertical scroll bar takes its width from the client area.
    if (w.style & WS_VSCROLL)
        r.right -= kScrollBarWidth;
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    w.clientRect = r;
    w.shown = shown;
    w.geometryAt = g_windowLayout;
    return w;
}

std::shared_ptr<Window> WindowGet(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    return HandleGetAs<Window>(hwnd, HandleKind::Window);
}

std::shared_ptr<Window> WindowCheck(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    if (!w)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::string WindowTreeProblem()
{
    auto name = [](HWND h) { return std::to_string(uintptr_t(h)); };
    std::set<HWND> seen;
    std::vector<HWND> pending;
    for (HWND h : g_zorder) {
        auto w = WindowGet(h);
        if (!w)
            continue; // a window freed with its device: dropped on the next look
        if (w->destroyed)
            return "destroyed window " + name(h) + " still in the Z order";
        if (w->style & WS_CHILD)
            return "child window " + name(h) + " in the Z order";
        if (!seen.insert(h).second)
            return "window " + name(h) + " twice in the Z order";
        // Owners: live top-level windows, and no cycle of them.
        std::set<HWND> chain = {h};
        for (HWND o = w->owner; o; o = WindowGet(o) ? WindowGet(o)->owner : 0) {
            auto ow = WindowGet(o);
            if (!ow || ow->destroyed || (ow->style & WS_CHILD))
                return "window " + name(h) + " owned by " + name(o) + ", not a live top-level window";
            if (!chain.insert(o).second)
                return "owner cycle through window " + name(h);
        }
        pending.push_back(h);
    }
    while (!pending.empty()) {
        HWND h = pending.back();
        pending.pop_back();
        auto w = WindowGet(h);
        for (HWND c : w->children) {
            auto cw = WindowGet(c);
            if (!cw || cw->destroyed)
                return "window " + name(h) + " lists the dead child " + name(c);
            if (cw->parent != h)
                return "child " + name(c) + " of window " + name(h) + " names " + name(cw->parent) + " as parent";
            if (!(cw->style & WS_CHILD))
                return "child " + name(c) + " of window " + name(h) + " is not WS_CHILD";
            if (!seen.insert(c).second)
                return "window " + name(c) + " listed twice (a cycle or two parents)";
            pending.push_back(c);
        }
    }
    size_t running = 0;
    for (auto &r : g_running)
        if (WindowGet(r.second) && !seen.count(r.second))
            ++running;
    if (seen.size() + running != HandleCount(HandleKind::Window))
        return std::to_string(HandleCount(HandleKind::Window) - seen.size() - running) +
               " live windows are in no list";
    return "";
}

std::vector<HWND> WindowTopLevels()
{
    PruneDead();
    return g_zorder;
}

const std::vector<HWND> &WindowZOrder()
{
    PruneDead();
    return g_zorder;
}

// The one walk up a window's chain of parents (WS_CHILD links; owners are
// not parents): from h to its top-level window, stopping early at `stop`.
// The window it ends at, or 0 when h or a link on the way is stale.
static HWND WalkUp(HWND h, HWND stop)
{
    auto w = WindowPeek(h);
    while (w && h != stop && (w->style & WS_CHILD) && w->parent) {
        h = w->parent;
        w = WindowPeek(h);
    }
    return w ? h : 0;
}

HWND WindowTopLevel(HWND h)
{
    return WalkUp(h, 0);
}

bool WindowWithin(HWND ancestor, HWND h)
{
    return ancestor && WalkUp(h, ancestor) == ancestor;
}

void UserReset()
{
    for (HWND h : std::vector<HWND>(g_zorder))
        if (WindowGet(h))
            HandleFree(h, HandleKind::Window);
    for (auto &r : g_running)
        if (WindowGet(r.second))
            HandleFree(r.second, HandleKind::Window);
    g_zorder.clear();
    g_running.clear();
    g_active = g_focus = 0;
    InputCaptureForget(0);
    CaretForget(0);
    g_cursor = 0;
    ClassReset();
    QueueReset();
}

HWND WindowFocus() { return g_focus; }
HWND WindowActive() { return g_active; }

} // namespace plat

using namespace plat;

// CreateWindowExW
extern "C" HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam)
{
    if (!lpClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IS_INTRESOURCE(lpClassName)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return 0;
    }
    auto cls = ClassFind(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return 0;
    }
    std::shared_ptr<Window> parent;
    if (hWndParent) {
        parent = WindowGet(hWndParent);
        if (!parent) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    } else if (dwStyle & WS_CHILD) {
        // A child needs a parent (ERROR_TLW_WITH_WSCHILD).
        SetLastError(1406);
        return 0;
    }
    PruneDead();
    auto w = std::make_shared<Window>();
    w->cls = cls;
    w->thread = std::this_thread::get_id();
    w->style = dwStyle;
    w->exStyle = dwExStyle;
    w->proc = cls->proc;
    w->instance = hInstance;
    w->extra.assign(size_t(cls->wndExtra), 0);
    if (dwStyle & WS_CHILD) {
        w->parent = hWndParent;
        w->id = int(uint16_t(hMenu));
    } else if (parent) {
        w->owner = WindowTopLevel(hWndParent);
    }
    const DeviceSettings &ds = DeviceGetSettings();
    int sw = int(ds.screenWidth), sh = int(ds.screenHeight);
    if (!(dwStyle & WS_CHILD)) {
        if (X == CW_USEDEFAULT) {
            X = 0;
            Y = 0;
        }
        if (nWidth == CW_USEDEFAULT) {
            nWidth = sw;
            nHeight = sh;
        }
    } else {
        if (X == CW_USEDEFAULT)
            X = Y = 0;
        if (nWidth == CW_USEDEFAULT)
            nWidth = nHeight = 0;
    }
    if (nWidth < 0)
        nWidth = 0;
    if (nHeight < 0)
        nHeight = 0;
    w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
    HWND h = HandleAlloc(HandleKind::Window, w);
    if (!h) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    w->hwnd = h;
    if (dwStyle & WS_CHILD)
        parent->children.push_back(h);
    else
        g_zorder.push_back(h);
    ++g_windowLayout;

    CREATESTRUCTW cs{};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.x = X;
    cs.y = Y;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.style = LONG(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
    if (!WindowSend(h, WM_NCCREATE, 0, LPARAM(&cs)) || WindowSend(h, WM_CREATE, 0, LPARAM(&cs)) == -1) {
        DestroyWindow(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!WindowGet(h))
        return 0;
    if (w->style & WS_VISIBLE) {
        WindowInvalidate(h, true);
        if (!(w->style & WS_CHILD))
            Activate(h);
    }
    assert(g_destroying > 0 || WindowTreeProblem().empty());
    return h;
}

// DestroyWindow
extern "C" BOOL WINAPI DestroyWindow(HWND hWnd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    if (w->destroyed)
        return TRUE;
    RECT r = ScreenRectOf(*w);
    bool wasVisible = IsWindowVisible(hWnd);
    bool topLevel = !(w->style & WS_CHILD);
    HWND owner = w->owner;
    ++g_destroying;
    DestroyTree(hWnd);
    if (w->parent) {
        auto p = WindowGet(w->parent);
        if (p)
            p->children.erase(std::remove(p->children.begin(), p->children.end(), hWnd), p->children.end());
    }
    g_zorder.erase(std::remove(g_zorder.begin(), g_zorder.end(), hWnd), g_zorder.end());
    ++g_windowLayout;
    --g_destroying;
    if (g_active == hWnd) {
        g_active = 0;
        // The owner, else the topmost visible window, becomes active.
        HWND next = owner && WindowGet(owner) ? owner : 0;
        if (!next)
            for (auto it = g_zorder.rbegin(); it != g_zorder.rend(); ++it) {
                auto t = WindowGet(*it);
                if (t && (t->style & WS_VISIBLE)) {
                    next = *it;
                    break;
                }
            }
        if (next)
            Activate(next);
    }
    if (wasVisible) {
        if (topLevel)
            InvalidateBelow(r);
        else if (w->parent)
            WindowInvalidate(w->parent, true);
    }
    assert(g_destroying > 0 || WindowTreeProblem().empty());
    return TRUE;
}

// IsWindow
extern "C" BOOL WINAPI IsWindow(HWND hWnd)
{
    auto w = WindowGet(hWnd);
    return w && !w->destroyed;
}

// IsChild
extern "C" BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd)
{
    return hWnd != hWndParent && WindowWithin(hWndParent, hWnd);
}

// IsWindowVisible
extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    auto w = WindowPeek(hWnd);
    return w && WindowShown(*w);
}

// IsWindowEnabled
extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    return !(w->style & WS_DISABLED);
}

// EnableWindow
extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (bEnable && wasDisabled) {
        w->style &= ~DWORD(WS_DISABLED);
        WindowSend(hWnd, WM_ENABLE, TRUE, 0);
        WindowInvalidate(hWnd, true);
    } else if (!bEnable && !wasDisabled) {
        w->style |= WS_DISABLED;
        if (g_focus == hWnd)
            SetFocus(0);
        WindowSend(hWnd, WM_ENABLE, FALSE, 0);
        WindowInvalidate(hWnd, true);
    }
    return wasDisabled;
}

// ShowWindow
extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = nCmdShow != SW_HIDE;
    if (show && !wasVisible) {
        WindowSend(hWnd, WM_SHOWWINDOW, TRUE, 0);
        w->style |= WS_VISIBLE;
        ++g_windowLayout;
        WindowInvalidate(hWnd, true);
    } else if (!show && wasVisible) {
        WindowSend(hWnd, WM_SHOWWINDOW, FALSE, 0);
        w->style &= ~DWORD(WS_VISIBLE);
        ++g_windowLayout;
        RECT r = ScreenRectOf(*w);
        if (w->style & WS_CHILD) {
            if (w->parent)
                WindowInvalidate(w->parent, true);
        } else {
            InvalidateBelow(r);
        }
        if (g_focus == hWnd)
            g_focus = 0;
    }
    if (!(w->style & WS_CHILD)) {
        if (show) {
            BringToTop(hWnd);
            if (nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE && nCmdShow != SW_SHOWMINNOACTIVE)
                Activate(hWnd);
        } else if (g_active == hWnd) {
            Activate(w->owner && WindowGet(w->owner) ? w->owner : 0);
        }
    }
    return wasVisible;
}

// GetClientRect
extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    auto w = WindowPeek(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT c = WindowClientScreenRect(*w);
    *lpRect = RECT{0, 0, c.right - c.left, c.bottom - c.top};
    return TRUE;
}

// GetWindowRect
extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpRect = ScreenRectOf(*w);
    return TRUE;
}

// SetWindowPos
extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    RECT old = ScreenRectOf(*w);
    bool wasVisible = IsWindowVisible(hWnd);
    RECT r = w->rect;
    if (!(uFlags & SWP_NOMOVE)) {
        OffsetRect(&r, X - r.left, Y - r.top);
    }
    if (!(uFlags & SWP_NOSIZE)) {
        r.right = r.left + (cx < 0 ? 0 : cx);
        r.bottom = r.top + (cy < 0 ? 0 : cy);
    }
    w->rect = r;
    ++g_windowLayout;
    if (!(uFlags & SWP_NOZORDER) && !(w->style & WS_CHILD)) {
        if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST)
            BringToTop(hWnd);
        else if (hWndInsertAfter == HWND_BOTTOM) {
            g_zorder.erase(std::remove(g_zorder.begin(), g_zorder.end(), hWnd), g_zorder.end());
            g_zorder.insert(g_zorder.begin(), hWnd);
            ++g_windowLayout;
        }
    }
    if (uFlags & SWP_SHOWWINDOW)
        ShowWindow(hWnd, (uFlags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (uFlags & SWP_HIDEWINDOW)
        ShowWindow(hWnd, SW_HIDE);
    if (!(uFlags & SWP_NOMOVE) || !(uFlags & SWP_NOSIZE)) {
        if (wasVisible) {
            if (w->style & WS_CHILD) {
                if (w->parent)
                    WindowInvalidate(w->parent, true);
            } else {
                InvalidateBelow(old);
            }
        }
        WindowInvalidate(hWnd, true);
        if (!(uFlags & SWP_NOSIZE)) {
            RECT c = WindowClientScreenRect(*w);
            WindowSend(hWnd, WM_SIZE, 0, MAKELPARAM(c.right - c.left, c.bottom - c.top));
        }
    }
    return TRUE;
}

// MoveWindow
extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint)
{
    return SetWindowPos(hWnd, 0, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ClientToScreen
extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    auto w = WindowCheck(hWnd);
    if (!w || !lpPoint)
        return FALSE;
    RECT c = WindowClientScreenRect(*w);
    lpPoint->x += c.left;
    lpPoint->y += c.top;
    return TRUE;
}

// ScreenToClient
extern "C" BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint)
{
    auto w = WindowCheck(hWnd);
    if (!w || !lpPoint)
        return FALSE;
    RECT c = WindowClientScreenRect(*w);
    lpPoint->x -= c.left;
    lpPoint->y -= c.top;
    return TRUE;
}

// GetParent
extern "C" HWND WINAPI GetParent(HWND hWnd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    if (w->style & WS_CHILD)
        return w->parent;
    // The owner of an owned popup.
    return w->owner;
}

// GetWindow
extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    const std::vector<HWND> *siblings = &g_zorder;
    std::shared_ptr<Window> p;
    std::vector<HWND> topDown;
    if ((w->style & WS_CHILD) && w->parent) {
        p = WindowGet(w->parent);
        if (p)
            siblings = &p->children;
    } else {
        PruneDead();
        // Top-level siblings run from the top of the Z order down.
        topDown.assign(g_zorder.rbegin(), g_zorder.rend());
        siblings = &topDown;
    }
    switch (uCmd) {
    case GW_CHILD:
        return w->children.empty() ? 0 : w->children.front();
    case GW_OWNER:
        return w->owner;
    case GW_HWNDFIRST:
        return siblings->empty() ? 0 : siblings->front();
    case GW_HWNDLAST:
        return siblings->empty() ? 0 : siblings->back();
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
        auto it = std::find(siblings->begin(), siblings->end(), hWnd);
        if (it == siblings->end())
            return 0;
        if (uCmd == GW_HWNDNEXT)
            return (it + 1) == siblings->end() ? 0 : *(it + 1);
        return it == siblings->begin() ? 0 : *(it - 1);
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

// GetWindowLongW
extern "C" LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    if (LONG_PTR *slot = DialogLongSlot(*w, nIndex))
        return LONG(*slot);
    if (nIndex >= 0) {
        if (size_t(nIndex) + 4 > w->extra.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        LONG v;
        std::memcpy(&v, &w->extra[size_t(nIndex)], 4);
        return v;
    }
    switch (nIndex) {
    case GWL_STYLE: return LONG(w->style);
    case GWL_EXSTYLE: return LONG(w->exStyle);
    case GWL_ID: return w->id;
    case GWL_USERDATA: return w->userData;
    case GWL_HINSTANCE: return LONG(w->instance);
    case GWL_HWNDPARENT: return LONG(GetParent(hWnd));
    default:
        // Procedure addresses do not fit in 32 bits on this host.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

// SetWindowLongW
extern "C" LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    LONG old = 0;
    if (LONG_PTR *slot = DialogLongSlot(*w, nIndex)) {
        old = LONG(*slot);
        *slot = dwNewLong;
        return old;
    }
    if (nIndex >= 0) {
        if (size_t(nIndex) + 4 > w->extra.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::memcpy(&old, &w->extra[size_t(nIndex)], 4);
        std::memcpy(&w->extra[size_t(nIndex)], &dwNewLong, 4);
        return old;
    }
    switch (nIndex) {
    case GWL_STYLE:
        old = LONG(w->style);
        w->style = DWORD(dwNewLong);
        ++g_windowLayout;
        WindowInvalidate(hWnd, true);
        return old;
    case GWL_EXSTYLE:
        old = LONG(w->exStyle);
        w->exStyle = DWORD(dwNewLong);
        ++g_windowLayout;
        return old;
    case GWL_ID:
        old = w->id;
        WindowSetId(*w, dwNewLong);
        return old;
    case GWL_USERDATA:
        old = w->userData;
        w->userData = dwNewLong;
        return old;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

// GetWindowTextW
extern "C" int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount)
{
    if (!WindowCheck(hWnd))
        return 0;
    if (!lpString || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return int(WindowSend(hWnd, WM_GETTEXT, WPARAM(nMaxCount), LPARAM(lpString)));
}

// GetWindowTextLengthW
extern "C" int WINAPI GetWindowTextLengthW(HWND hWnd)
{
    if (!WindowCheck(hWnd))
        return 0;
    return int(WindowSend(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

// SetWindowTextW
extern "C" BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString)
{
    WNDPROC proc;
    {
        auto w = WindowPeek(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        proc = w->proc;
    }
    return proc && proc(hWnd, WM_SETTEXT, 0, LPARAM(lpString)) != 0;
}

// FindWindowW
extern "C" HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName)
{
    if (lpClassName && IS_INTRESOURCE(lpClassName)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return 0;
    }
    PruneDead();
    for (auto it = g_zorder.rbegin(); it != g_zorder.rend(); ++it) {
        auto w = WindowGet(*it);
        if (!w || w->destroyed)
            continue;
        if (lpClassName && FoldCompare(w->cls->name, lpClassName) != 0)
            continue;
        if (lpWindowName && w->text != std::u16string(lpWindowName))
            continue;
        return *it;
    }
    // Applications that the device reports as running have a main window
    // of their class (untitled); a stand-in window is made on first use.
    if (lpClassName && !lpWindowName) {
        for (const std::u16string &c : DeviceGetSettings().running) {
            if (FoldCompare(c, lpClassName) != 0)
                continue;
            for (auto &r : g_running)
                if (FoldCompare(r.first, c) == 0 && WindowGet(r.second))
                    return r.second;
            auto w = std::make_shared<Window>();
            w->cls = std::make_shared<WndClass>();
            w->cls->name = c;
            w->cls->proc = DefWindowProcW;
            w->proc = DefWindowProcW;
            w->thread = std::thread::id();
            w->style = WS_POPUP;
            HWND h = HandleAlloc(HandleKind::Window, w);
            if (!h)
                break;
            w->hwnd = h;
            g_running.emplace_back(c, h);
            return h;
        }
    }
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return 0;
}

// SetFocus
extern "C" HWND WINAPI SetFocus(HWND hWnd)
{
    PruneDead();
    HWND old = g_focus;
    if (hWnd) {
        auto w = WindowCheck(hWnd);
        if (!w)
            return 0;
        if (hWnd == old)
            return old;
        HWND top = WindowTopLevel(hWnd);
        if (top && top != g_active) {
            auto t = WindowGet(top);
            if (t && (t->style & WS_VISIBLE))
                Activate(top);
        }
    }
    if (hWnd == old)
        return old;
    g_focus = hWnd;
    if (old && WindowGet(old))
        WindowSend(old, WM_KILLFOCUS, WPARAM(hWnd), 0);
    if (hWnd && g_focus == hWnd)
        WindowSend(hWnd, WM_SETFOCUS, WPARAM(old), 0);
    return old;
}

// GetFocus
extern "C" HWND WINAPI GetFocus(void)
{
    PruneDead();
    return g_focus;
}

// GetActiveWindow
extern "C" HWND WINAPI GetActiveWindow(void)
{
    PruneDead();
    return g_active;
}

// SetActiveWindow
extern "C" HWND WINAPI SetActiveWindow(HWND hWnd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    HWND old = g_active;
    HWND top = WindowTopLevel(hWnd);
    BringToTop(top);
    Activate(top);
    return old;
}

// GetForegroundWindow
extern "C" HWND WINAPI GetForegroundWindow(void)
{
    return GetActiveWindow();
}

// SetForegroundWindow
extern "C" BOOL WINAPI SetForegroundWindow(HWND hWnd)
{
    return SetActiveWindow(hWnd) != 0 || IsWindow(hWnd);
}

// GetDesktopWindow
extern "C" HWND WINAPI GetDesktopWindow(void)
{
    return 0;
}

// SetCursor
extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor)
{
    HCURSOR old = g_cursor;
    g_cursor = hCursor;
    return old;
}

// LoadCursorW
extern "C" HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName)
{
    // The system cursors are known by number; the device has no pointer, so
    // a cursor is only a value to hand back to SetCursor.
    if (!hInstance && IS_INTRESOURCE(lpCursorName))
        return HCURSOR(uintptr_t(lpCursorName));
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

// GetSystemMetrics
extern "C" int WINAPI GetSystemMetrics(int nIndex)
{
    const DeviceSettings &ds = DeviceGetSettings();
    switch (nIndex) {
    case SM_CXSCREEN: return int(ds.screenWidth);
    case SM_CYSCREEN: return int(ds.screenHeight);
    case SM_CYCAPTION: return kCaptionHeight;
    case SM_CXVSCROLL:
    case SM_CYVSCROLL: return kScrollBarWidth;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kModalFrame;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

// GetSysColor
extern "C" DWORD WINAPI GetSysColor(int nIndex)
{
    switch (nIndex) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
    case COLOR_STATICTEXT:
    case COLOR_CAPTIONTEXT: return RGB(0, 0, 0);
    case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNFACE:
    case COLOR_STATIC:
    default: return RGB(192, 192, 192);
    }
}
