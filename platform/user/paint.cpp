// paint.cpp - painting of windows: update regions, BeginPaint / EndPaint,
// window DCs with their clipping, the frame and caption of top-level
// windows, FillRect with system-colour brushes, icons, and the rectangle
// helpers.
//
// A window DC draws on the screen inside the window's visible part: its
// rectangle cut by its ancestors' client areas, minus the top-level windows
// above it in the Z order; BeginPaint's DC only inside the update region.
// Each window keeps an update region as Windows does, cut to what can be
// seen: covered parts are painted when they are uncovered.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "gdi/gdi.h"
#include "kernel/threadlock.h"
#include "user/window.h"
#include "gdi/screen.h"

namespace plat {
namespace {

// The part of a window (its client area or all of it) that can be seen, in
// screen coordinates: its rectangle cut by its ancestors' client areas and
// by the screen, less the top-level windows above its own top-level window.
Region WorkOutVisibleRegion(HWND hwnd, const Window &w, bool client, const Screen &scr)
{
    Region rgn;
    if (!IsWindowVisible(hwnd))
        return rgn;
    RECT r = client ? WindowClientScreenRect(w) : WindowScreenRect(w);
    if (!RectIntersect(r, RECT{0, 0, int(scr.width), int(scr.height)}, r))
        return rgn;
    HWND top = hwnd;
    for (auto a = WindowGet(hwnd); a && (a->style & WS_CHILD) && a->parent;) {
        top = a->parent;
        a = WindowGet(top);
        if (!a || !RectIntersect(r, WindowClientScreenRect(*a), r))
            return rgn;
    }
    rgn.push_back(r);
    std::vector<HWND> z = WindowTopLevels();
    auto it = std::find(z.begin(), z.end(), top);
    if (it != z.end())
        for (++it; it != z.end() && !rgn.empty(); ++it) {
            auto o = WindowGet(*it);
            if (o && (o->style & WS_VISIBLE))
                RegionSubtract(rgn, WindowScreenRect(*o));
        }
    return rgn;
}

// Works out the window's visible region k (0 the client area, 1 all of it)
// again and stamps it with the layout and screen size it was made for.
__attribute__((noinline)) const Region &RemakeVisibleRegion(HWND hwnd, const Window &w, int k, const Screen &scr)
{
    static std::atomic<uint64_t> made{0};
    w.visible[k] = WorkOutVisibleRegion(hwnd, w, k == 0, scr);
    w.visibleMade[k] = made.fetch_add(1, std::memory_order_relaxed) + 1;
    w.visibleAt[k] = WindowLayout();
    w.visibleScreen[k][0] = long(scr.width);
    w.visibleScreen[k][1] = long(scr.height);
    return w.visible[k];
}

// What of the window (its client area, or all of it) is on the screen and
// not under another top-level window, in screen coordinates; worked out
// again only when the layout or the screen's size changed.
inline const Region &VisibleRegion(HWND hwnd, const Window &w, bool client)
{
    const Screen &scr = ScreenGet();
    int k = client ? 0 : 1;
    if (w.visibleAt[k] != WindowLayout() || w.visibleScreen[k][0] != long(scr.width) ||
        w.visibleScreen[k][1] != long(scr.height))
        return RemakeVisibleRegion(hwnd, w, k, scr);
    return w.visible[k];
}

} // namespace

const Region &WindowVisibleClient(HWND hwnd, const Window &w)
{
    return VisibleRegion(hwnd, w, true);
}

namespace {

HDC MakeDc(HWND hwnd, bool client)
{
    if (!hwnd)
        return GdiCreateWindowDc(0, 0, 0, Region{RECT{0, 0, 1 << 20, 1 << 20}});
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    RECT r = client ? WindowClientScreenRect(*w) : WindowScreenRect(*w);
    return GdiCreateWindowDc(hwnd, r.left, r.top, VisibleRegion(hwnd, *w, client));
}

// Copies a region; the usual single piece (a whole client area) is put in
// place without the general append: an update region is set so at every
// step.
inline void CopyRegion(Region &to, const Region &from)
{
    if (from.size() == 1) {
        to.clear();
        to.push_back(from.front());
    } else {
        to = from;
    }
}

// Adds r (client coordinates) to the window's update region, only as far
// as it is inside the client area and can be seen.
void AddUpdate(HWND hwnd, Window &w, const RECT &r, bool erase)
{
    RECT c = WindowClientScreenRect(w);
    RECT in;
    if (!RectIntersect(r, RECT{0, 0, c.right - c.left, c.bottom - c.top}, in))
        return;
    const Region &visible = VisibleRegion(hwnd, w, true);
    uint64_t made = w.visibleMade[0];
    if (made != w.addedMade || c.left != w.addedOrigin.x || c.top != w.addedOrigin.y ||
        in.left != w.addedRect.left || in.top != w.addedRect.top || in.right != w.addedRect.right ||
        in.bottom != w.addedRect.bottom) {
        Region add = visible;
        RegionOffset(add, -c.left, -c.top);
        RegionClip(add, in);
        w.addedRegion = std::move(add);
        w.addedMade = made;
        w.addedOrigin = POINT{c.left, c.top};
        w.addedRect = in;
    }
    const Region &add = w.addedRegion;
    if (!add.empty() && erase)
        w.updateErase = true;
    // The visible region's pieces are disjoint: an empty update region
    // (the usual case, each repaint empties it) takes them as they are.
    if (w.update.empty()) {
        CopyRegion(w.update, add);
        w.updateWithin = made;
    } else {
        for (const RECT &piece : add)
            RegionAdd(w.update, piece);
        if (w.updateWithin != made)
            w.updateWithin = 0;
    }
    WindowNoteDue(w);
}

// A DC on the client area that draws only inside the update region;
// within: the visible region (its making) the update region was cut to,
// 0 when not known. bounds, when given, gets the region's bounds.
HDC UpdateDc(HWND hwnd, Window &w, const Region &update, uint64_t within, RECT *bounds)
{
    const Region &visible = VisibleRegion(hwnd, w, true);
    uint64_t made = w.visibleMade[0];
    // Cut to a visible region that is still the window's: nothing to cut.
    bool inside = within != 0 && within == made;
    RECT c = WindowClientScreenRect(w);
    // The same update region as the last paint's, in the same visible
    // region (the same place, the same windows above): the same clip.
    if (made != w.paintMade || inside != w.paintWithin || update != w.paintUpdate) {
        Region clip = update;
        RegionOffset(clip, c.left, c.top);
        if (!inside)
            RegionIntersect(clip, visible);
        w.paintClip = std::move(clip);
        w.paintUpdate = update;
        w.paintMade = made;
        w.paintWithin = inside;
        w.paintBounds = RegionBounds(update);
    }
    if (bounds)
        *bounds = w.paintBounds;
    return GdiCreateWindowDc(hwnd, c.left, c.top, w.paintClip);
}

bool HasFrame(const Window &w)
{
    // No border, caption or scroll bar: nothing lies outside the client
    // area (most windows; this is asked at every paint).
    if (!(w.exStyle & WS_EX_DLGMODALFRAME) && !(w.style & (WS_DLGFRAME | WS_BORDER | WS_VSCROLL)))
        return false;
    RECT wr = WindowScreenRect(w), cr = WindowClientScreenRect(w);
    return !(wr.left == cr.left && wr.top == cr.top && wr.right == cr.right && wr.bottom == cr.bottom);
}

int ActiveState(HWND hwnd)
{
    return WindowActive() == hwnd ? 1 : 0;
}

// Frame, caption bar with the title, and the close box of a window with a
// frame style; dirty: the frame was damaged.
// Drawn only when damaged or when the active state changed since it was
// last drawn: it is otherwise still on the screen as it was.
void PaintFrame(HWND hwnd, Window &w, bool dirty)
{
    bool active = ActiveState(hwnd) != 0;
    if ((!dirty && w.frameActive == int(active)) || !HasFrame(w))
        return;
    w.frameActive = int(active);
    RECT wr = WindowScreenRect(w);
    RECT cr = WindowClientScreenRect(w);
    HDC dc = MakeDc(hwnd, false);
    if (!dc)
        return;
    int width = wr.right - wr.left, height = wr.bottom - wr.top;
    RECT all{0, 0, width, height};
    int frame = cr.left - wr.left;
    if (frame >= 2) {
        GdiFrame(dc, all, RGB(0, 0, 0));
        RECT in{1, 1, width - 1, height - 1};
        GdiFrame(dc, in, RGB(192, 192, 192));
    } else if (frame == 1) {
        GdiFrame(dc, all, RGB(0, 0, 0));
    }
    if (w.style & WS_VSCROLL) {
        RECT bar{cr.right - wr.left, cr.top - wr.top, cr.right - wr.left + kScrollBarWidth, cr.bottom - wr.top};
        ListBoxPaintScrollBar(hwnd, dc, bar);
    }
    if ((w.style & WS_CAPTION) == WS_CAPTION) {
        RECT cap{frame, frame, width - frame, frame + kCaptionHeight};
        GdiFill(dc, cap, active ? RGB(0, 0, 128) : RGB(128, 128, 128));
        int ty = cap.top + (kCaptionHeight - GdiTextHeight()) / 2;
        GdiText(dc, cap.left + 4, ty, w.text, RGB(255, 255, 255), true);
        if (w.style & WS_SYSMENU) {
            // The close box: a square with an X at the right of the caption.
            int s = kCaptionHeight - 6;
            RECT box{cap.right - s - 3, cap.top + 3, cap.right - 3, cap.top + 3 + s};
            GdiFill(dc, box, RGB(192, 192, 192));
            GdiFrame(dc, box, RGB(0, 0, 0));
            for (int i = 3; i < s - 3; ++i) {
                RECT p1{box.left + i, box.top + i, box.left + i + 1, box.top + i + 1};
                RECT p2{box.right - 1 - i, box.top + i, box.right - i, box.top + i + 1};
                GdiFill(dc, p1, RGB(0, 0, 0));
                GdiFill(dc, p2, RGB(0, 0, 0));
            }
        }
    }
    GdiReleaseDc(dc);
}

// The frame flag cleared and the frame painted as PaintFrame says. Most
// windows have no frame: they need nothing more.
inline void PaintNonClient(HWND hwnd, Window &w)
{
    bool dirty = w.frameDirty;
    if (dirty) {
        w.frameDirty = false;
        WindowNoteDue(w);
    }
    if ((w.exStyle & WS_EX_DLGMODALFRAME) || (w.style & (WS_DLGFRAME | WS_BORDER | WS_VSCROLL)))
        PaintFrame(hwnd, w, dirty);
}

// WM_PAINT for a window that has an update region, else only its frame
// painted when that is due. w is not used once the procedure is called.
void PaintNow(HWND hwnd, Window &w)
{
    if (w.update.empty()) {
        PaintNonClient(hwnd, w);
        return;
    }
    w.beganPaint = false;
    if (WNDPROC proc = w.proc)
        proc(hwnd, WM_PAINT, 0, 0);
    // A procedure that does not validate would otherwise be asked to
    // paint for ever. (A window destroyed meanwhile is left alone.)
    auto again = WindowPeek(hwnd);
    if (again && !again->destroyed && !again->beganPaint) {
        again->update.clear();
        again->updateErase = false;
        WindowNoteDue(*again);
        PaintNonClient(hwnd, *again);
    }
}

} // namespace

void WindowInvalidate(HWND hwnd, bool erase)
{
    auto w = WindowPeek(hwnd);
    if (!w)
        return;
    w->frameDirty = true;
    WindowNoteDue(*w);
    AddUpdate(hwnd, *w, RECT{0, 0, 1 << 20, 1 << 20}, erase);
    for (HWND c : w->children)
        WindowInvalidate(c, erase);
}

void WindowInvalidateScreenRect(HWND hwnd, const RECT &r, bool erase)
{
    auto w = WindowPeek(hwnd);
    if (!w)
        return;
    RECT wr = WindowScreenRect(*w), in;
    if (!RectIntersect(wr, r, in))
        return;
    w->frameDirty = true;
    WindowNoteDue(*w);
    RECT c = WindowClientScreenRect(*w);
    AddUpdate(hwnd, *w, RECT{in.left - c.left, in.top - c.top, in.right - c.left, in.bottom - c.top}, erase);
    for (HWND child : w->children)
        WindowInvalidateScreenRect(child, in, erase);
}

// How many windows have a paint due. The message loop looks for a window
// to paint each time its queue is empty, a few times at every progress
// step; with none due it need not walk the window tree.
std::atomic<long> g_windowsPaintDue{0};

void WindowNoteDueChanged(Window &w)
{
    bool due = WindowPaintDue(w);
    w.dueCounted = due;
    // Twice a window a step: no locked add while the process is alone.
    if (ProcessAlone())
        g_windowsPaintDue.store(g_windowsPaintDue.load(std::memory_order_relaxed) + (due ? 1 : -1), std::memory_order_relaxed);
    else
        g_windowsPaintDue.fetch_add(due ? 1 : -1, std::memory_order_relaxed);
}

Window::~Window()
{
    if (dueCounted)
        g_windowsPaintDue.fetch_sub(1, std::memory_order_relaxed);
}

void WindowPaintNow(HWND hwnd)
{
    if (auto w = WindowPeek(hwnd))
        PaintNow(hwnd, *w);
}

Undrawn WindowValidateUndrawn(HWND hwnd)
{
    auto w = WindowPeek(hwnd);
    if (!w)
        return Undrawn::NoWindow;
    if (w->updateErase)
        return Undrawn::EraseDue;
    w->update.clear();
    w->beganPaint = true;
    WindowNoteDue(*w);
    PaintNonClient(hwnd, *w);
    return Undrawn::Validated;
}

// The close box of a window, in screen coordinates (empty when none).
RECT WindowCloseBoxRect(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    if (!w || (w->style & WS_CAPTION) != WS_CAPTION || !(w->style & WS_SYSMENU))
        return RECT{0, 0, 0, 0};
    RECT wr = WindowScreenRect(*w);
    RECT cr = WindowClientScreenRect(*w);
    int frame = cr.left - wr.left;
    int s = kCaptionHeight - 6;
    return RECT{wr.right - frame - s - 3, wr.top + frame + 3, wr.right - frame - 3, wr.top + frame + 3 + s};
}

} // namespace plat

using namespace plat;

// BeginPaint
extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    // Borrowed: nothing is called out before its last use (the erase, last,
    // calls the procedure).
    auto w = WindowPeek(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The region is validated here, so that what is invalidated while the
    // window paints is painted again.
    bool erase = w->updateErase;
    w->updateErase = false;
    w->beganPaint = true;
    PaintNonClient(hWnd, *w);
    *lpPaint = PAINTSTRUCT{};
    HDC dc = UpdateDc(hWnd, *w, w->update, w->updateWithin, &lpPaint->rcPaint);
    w->update.clear();
    WindowNoteDue(*w);
    lpPaint->hdc = dc;
    lpPaint->fErase = TRUE;
    if (erase && dc)
        lpPaint->fErase = WindowSend(hWnd, WM_ERASEBKGND, WPARAM(dc), 0) ? FALSE : TRUE;
    return dc;
}

// EndPaint
extern "C" BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *lpPaint)
{
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpPaint->hdc)
        GdiReleaseDc(lpPaint->hdc);
    return TRUE;
}

// GetDC
extern "C" HDC WINAPI GetDC(HWND hWnd)
{
    if (hWnd && !WindowCheck(hWnd))
        return 0;
    return MakeDc(hWnd, true);
}

// GetWindowDC
extern "C" HDC WINAPI GetWindowDC(HWND hWnd)
{
    if (hWnd && !WindowCheck(hWnd))
        return 0;
    return MakeDc(hWnd, false);
}

// ReleaseDC
extern "C" int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    auto dc = GdiGetDc(hDC);
    if (!dc || dc->memory)
        return 0;
    GdiReleaseDc(hDC);
    return 1;
}

// UpdateWindow
extern "C" BOOL WINAPI UpdateWindow(HWND hWnd)
{
    auto w = WindowPeek(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (WindowPaintDue(*w) && WindowShown(*w))
        PaintNow(hWnd, *w);
    return TRUE;
}

// InvalidateRect
extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase)
{
    if (!hWnd) {
        // The whole screen: every window is painted again.
        for (HWND h : WindowTopLevels())
            WindowInvalidate(h, bErase != FALSE);
        return TRUE;
    }
    auto w = WindowPeek(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    AddUpdate(hWnd, *w, lpRect ? *lpRect : RECT{0, 0, 1 << 20, 1 << 20}, bErase != FALSE);
    // The caption follows the active state at the window's next paint.
    if (w->frameActive >= 0 && w->frameActive != ActiveState(hWnd)) {
        w->frameDirty = true;
        WindowNoteDue(*w);
    }
    return TRUE;
}

// ValidateRect
extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    if (lpRect) {
        RegionSubtract(w->update, *lpRect);
        if (w->update.empty())
            w->updateErase = false;
        WindowNoteDue(*w);
        return TRUE;
    }
    w->update.clear();
    w->updateErase = false;
    w->frameDirty = false;
    WindowNoteDue(*w);
    return TRUE;
}

// GetUpdateRect
extern "C" BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return FALSE;
    if (lpRect)
        *lpRect = RegionBounds(w->update);
    if (w->update.empty())
        return FALSE;
    if (bErase && w->updateErase) {
        w->updateErase = false;
        HDC dc = UpdateDc(hWnd, *w, w->update, w->updateWithin, nullptr);
        WindowSend(hWnd, WM_ERASEBKGND, WPARAM(dc), 0);
        GdiReleaseDc(dc);
    }
    return TRUE;
}

// DrawTextW
extern "C" int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    auto dc = GdiGetDc(hdc);
    if (!dc || !lpchText || !lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string text = cchText < 0 ? std::u16string(lpchText) : std::u16string(lpchText, size_t(cchText));
    int lh = GdiTextHeight();
    if (format & DT_CALCRECT) {
        lprc->right = lprc->left + GdiTextWidth(text);
        lprc->bottom = lprc->top + lh;
        return lh;
    }
    int x = lprc->left;
    int tw = GdiTextWidth(text);
    if (format & DT_CENTER)
        x = lprc->left + (lprc->right - lprc->left - tw) / 2;
    else if (format & DT_RIGHT)
        x = lprc->right - tw;
    int y = lprc->top;
    if (format & DT_VCENTER)
        y = lprc->top + (lprc->bottom - lprc->top - lh) / 2;
    GdiText(hdc, x, y, text, dc->textColor);
    return lh;
}

// DrawIcon
extern "C" BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon)
{
    if (!GdiGetDc(hDC) || !HandleGet(hIcon, HandleKind::Icon)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    GdiDrawIcon(hDC, X, Y, hIcon);
    return TRUE;
}

// DrawIconEx
extern "C" BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                                  UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags)
{
    return DrawIcon(hdc, xLeft, yTop, hIcon);
}

// DestroyIcon
extern "C" BOOL WINAPI DestroyIcon(HICON hIcon)
{
    if (!HandleFree(hIcon, HandleKind::Icon)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// SetRect
extern "C" BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom)
{
    if (!lprc)
        return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

// SetRectEmpty
extern "C" BOOL WINAPI SetRectEmpty(LPRECT lprc)
{
    if (!lprc)
        return FALSE;
    *lprc = RECT{0, 0, 0, 0};
    return TRUE;
}

// IsRectEmpty
extern "C" BOOL WINAPI IsRectEmpty(const RECT *lprc)
{
    return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top;
}

// OffsetRect
extern "C" BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy)
{
    if (!lprc)
        return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

// InflateRect
extern "C" BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy)
{
    if (!lprc)
        return FALSE;
    lprc->left -= dx;
    lprc->right += dx;
    lprc->top -= dy;
    lprc->bottom += dy;
    return TRUE;
}

// IntersectRect
extern "C" BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2)
{
    if (!lprcDst || !lprcSrc1 || !lprcSrc2)
        return FALSE;
    RECT r{std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
           std::min(lprcSrc1->right, lprcSrc2->right), std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}

// PtInRect
extern "C" BOOL WINAPI PtInRect(const RECT *lprc, POINT pt)
{
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

// GetSysColorBrush
extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex)
{
    static thread_local HBRUSH cache[32] = {};
    static thread_local std::shared_ptr<HandleObject> objects[32];
    if (nIndex < 0 || nIndex >= 32)
        return 0;
    if (!cache[nIndex] || HandleGet(cache[nIndex], HandleKind::Gdi) != objects[nIndex]) {
        auto nb = std::make_shared<GdiBrush>();
        nb->color = GetSysColor(nIndex);
        nb->stock = true;
        cache[nIndex] = GdiAlloc(nb, GdiType::Brush);
        objects[nIndex] = nb;
    }
    return cache[nIndex];
}

// FillRect
extern "C" int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr)
{
    auto dc = GdiGetDc(hDC);
    if (!dc || !lprc) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    if (uintptr_t(hbr) > 0 && uintptr_t(hbr) <= 31)
        hbr = GetSysColorBrush(int(hbr) - 1);
    auto b = GdiGetBrush(hbr);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!b->hollow)
        GdiFillDc(*dc, *lprc, b->color);
    return 1;
}

// EqualRect
extern "C" BOOL WINAPI EqualRect(const RECT *lprc1, const RECT *lprc2)
{
    return lprc1 && lprc2 && lprc1->left == lprc2->left && lprc1->top == lprc2->top &&
           lprc1->right == lprc2->right && lprc1->bottom == lprc2->bottom;
}
