// hostinput.cpp - host input of the interactive front ends made into the
// window messages of the device: keys go to the focused control of the
// waiting dialog, clicks to the control under the pointer, the host
// window's close button to the dialog's close box.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "frontends/hostinput.h"
#include "user/query.h"
#include "user/ui.h"

namespace plat {
namespace {

HWND g_pressed = 0;             // the control that took the button press
bool g_closing = false;         // the host window was asked to close
std::vector<HWND> g_closed;     // dialogs already given the close, while they live

bool Contains(const RECT &r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Whether h names a window (one being destroyed included).
bool IsLive(HWND h)
{
    WindowView w;
    return QueryWindow(h, w);
}

bool IsInside(HWND dlg, HWND h)
{
    return h == dlg ? IsWindow(h) != FALSE : IsChild(dlg, h) != FALSE;
}

// Keys go where the focus is, when it is inside the waiting dialog.
HWND KeyTarget(HWND dlg)
{
    HWND f = GetFocus();
    return f && IsInside(dlg, f) ? f : dlg;
}

HWND DeepestAt(HWND h, int x, int y)
{
    WindowView w, c;
    if (!QueryWindow(h, w))
        return 0;
    // Later children are drawn over earlier ones.
    for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
        if (QueryWindow(*it, c) && (c.style & WS_VISIBLE) && Contains(c.rect, x, y))
            return DeepestAt(*it, x, y);
    }
    return h;
}

bool Enabled(HWND h)
{
    WindowView w;
    while (QueryWindow(h, w)) {
        if (w.style & WS_DISABLED)
            return false;
        if (!(w.style & WS_CHILD) || !w.parent)
            return true;
        h = w.parent;
    }
    return false;
}

LPARAM ClientPoint(HWND h, int x, int y)
{
    POINT pt{x, y};
    ScreenToClient(h, &pt);
    return MAKELPARAM(WORD(short(pt.x)), WORD(short(pt.y)));
}

void PostKey(HWND target, UINT vk)
{
    InputKey(target, vk);
}

} // namespace

void HostKeyPress(HWND dlg, HostKey key)
{
    if (!IsLive(dlg))
        return;
    HWND t = KeyTarget(dlg);
    switch (key) {
    case HostKey::Tab: PostKey(t, VK_TAB); break;
    case HostKey::BackTab:
        // Shift down, Tab, Shift up: the dialog manager reads the shift
        // state as the Tab is taken from the queue.
        PostMessageW(t, WM_KEYDOWN, VK_SHIFT, 1);
        PostKey(t, VK_TAB);
        PostMessageW(t, WM_KEYUP, VK_SHIFT, LPARAM(0xC0000001u));
        break;
    case HostKey::Enter: PostKey(t, VK_RETURN); break;
    case HostKey::Escape: PostKey(t, VK_ESCAPE); break;
    case HostKey::Up: PostKey(t, VK_UP); break;
    case HostKey::Down: PostKey(t, VK_DOWN); break;
    case HostKey::Left: PostKey(t, VK_LEFT); break;
    case HostKey::Right: PostKey(t, VK_RIGHT); break;
    case HostKey::Home: PostKey(t, VK_HOME); break;
    case HostKey::End: PostKey(t, VK_END); break;
    case HostKey::PageUp: PostKey(t, VK_PRIOR); break;
    case HostKey::PageDown: PostKey(t, VK_NEXT); break;
    case HostKey::Delete: PostKey(t, VK_DELETE); break;
    case HostKey::Backspace: PostKey(t, VK_BACK); break;
    case HostKey::Space: PostKey(t, VK_SPACE); break;
    }
}

void HostChar(HWND dlg, char16_t c)
{
    if (!IsLive(dlg) || c < 0x20 || c == 0x7F)
        return;
    InputChar(KeyTarget(dlg), c);
}

HWND HostWindowAt(int x, int y)
{
    std::vector<HWND> tops = WindowTopLevels();
    WindowView w;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        if (QueryWindow(*it, w) && (w.style & WS_VISIBLE) && !w.destroyed && Contains(w.rect, x, y))
            return DeepestAt(*it, x, y);
    }
    return 0;
}

bool HostMouseDown(HWND dlg, int x, int y)
{
    g_pressed = 0;
    if (!IsLive(dlg))
        return false;
    RECT box = WindowCloseBoxRect(dlg);
    if (!IsRectEmpty(&box) && Contains(box, x, y) && HostWindowAt(x, y) == dlg) {
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    HWND h = HostWindowAt(x, y);
    // Only the waiting dialog's own enabled controls take the press.
    if (!h || h == dlg || !IsInside(dlg, h) || !Enabled(h))
        return false;
    // Outside the client area but on the window: its scroll bar.
    WindowView w;
    if (QueryWindow(h, w) && (w.style & WS_VSCROLL) && !Contains(w.client, x, y)) {
        WORD px = WORD(short(x)), py = WORD(short(y));
        PostMessageW(h, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(px, py));
        return true;
    }
    g_pressed = h;
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(h, x, y));
    return true;
}

namespace {
// The window that the pointer's moves and release go to: the capture's,
// else the pressed control's; 0 when neither is a window of dlg.
HWND MouseTarget(HWND dlg)
{
    HWND h = GetCapture() ? GetCapture() : g_pressed;
    return h && IsLive(h) && IsInside(dlg, h) ? h : 0;
}
} // namespace

bool HostMouseUp(HWND dlg, int x, int y)
{
    HWND h = MouseTarget(dlg);
    g_pressed = 0;
    if (!h)
        return false;
    PostMessageW(h, WM_LBUTTONUP, 0, ClientPoint(h, x, y));
    return true;
}

bool HostMouseMove(HWND dlg, int x, int y)
{
    HWND h = MouseTarget(dlg);
    if (!h)
        return false;
    PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(h, x, y));
    return true;
}

bool HostMouseWheel(HWND dlg, int x, int y, int delta)
{
    if (!IsLive(dlg) || delta == 0)
        return false;
    // A scrolling control under the pointer takes it, else the focus does.
    HWND h = HostWindowAt(x, y);
    WindowView w;
    if (!QueryWindow(h, w) || h == dlg || !IsInside(dlg, h) || !Enabled(h) || !(w.style & WS_VSCROLL))
        h = KeyTarget(dlg);
    WORD turn = WORD(short(delta)), px = WORD(short(x)), py = WORD(short(y));
    PostMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, turn), MAKELPARAM(px, py));
    return true;
}

void HostCloseRequest()
{
    g_closing = true;
}

bool HostClosing()
{
    return g_closing;
}

bool HostApplyClose(HWND dlg)
{
    if (!g_closing || !IsLive(dlg))
        return false;
    // A handle is not given again while thousands of others are made: the
    // dialogs gone are dropped, and one listed is the very one given the close.
    g_closed.erase(std::remove_if(g_closed.begin(), g_closed.end(), [](HWND c) { return !IsLive(c); }),
                   g_closed.end());
    if (std::find(g_closed.begin(), g_closed.end(), dlg) != g_closed.end())
        return false; // it had its close: the user decides now
    RECT box = WindowCloseBoxRect(dlg);
    if (IsRectEmpty(&box))
        return false;
    g_closed.push_back(dlg);
    PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

void HostInputReset()
{
    g_pressed = 0;
    g_closing = false;
    g_closed.clear();
}

} // namespace plat
