// message.cpp - the message queue of each thread, sending and posting,
// GetMessageW / PeekMessageW / DispatchMessageW and the default window
// procedure.
//
// Posted messages wait in the queue of the window's thread in order; sent
// messages call the window procedure at once. WM_QUIT is returned once the
// posted messages before it are gone; WM_PAINT is made when nothing is
// posted and a window needs painting. Nothing here ever blocks: when the
// queue is empty the front end is asked for input, and a wait that nothing
// can end fails instead of hanging the program.
#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>

#include "kernel/threadlock.h"

#include "gdi/gdi.h"
#include "user/window.h"

namespace plat {
namespace {

struct Queue {
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
};

ThreadLock g_queueLock;
std::map<std::thread::id, std::shared_ptr<Queue>> g_queues;
UiHooks g_hooks;

// How many posted messages and quit requests wait in all the queues
// (changed under g_queueLock). While none waits and no window needs
// painting, a peek (the copy's message loop, at every block) has nothing to
// look through.
std::atomic<size_t> g_waiting{0};

// Counts QueueReset: a queue kept at hand from before is looked up again.
std::atomic<uint64_t> g_queueResets{0};

// The calling thread's own queue, kept at hand: the message loop asks for
// it a few times at every progress step.
thread_local std::shared_ptr<Queue> t_mine;
thread_local uint64_t t_mineAt = ~uint64_t(0);

std::shared_ptr<Queue> QueueOf(std::thread::id id);

// The calling thread's queue, borrowed: kept by t_mine until a later look
// after a QueueReset, so not to be used past a call that may look again.
Queue *OwnQueue()
{
    if (t_mine && t_mineAt == g_queueResets.load(std::memory_order_acquire))
        return t_mine.get();
    return QueueOf(std::this_thread::get_id()).get();
}

std::shared_ptr<Queue> QueueOf(std::thread::id id)
{
    bool own = id == std::this_thread::get_id();
    uint64_t resets = g_queueResets.load(std::memory_order_acquire);
    if (own && t_mine && t_mineAt == resets)
        return t_mine;
    std::lock_guard<ThreadLock> guard(g_queueLock);
    auto &q = g_queues[id];
    if (!q)
        q = std::make_shared<Queue>();
    if (own) {
        t_mine = q;
        t_mineAt = resets;
    }
    return q;
}

bool InFilter(const MSG &m, HWND hwnd, UINT lo, UINT hi)
{
    // A filter window also takes its children's messages.
    if (hwnd && m.hwnd != hwnd && !IsChild(hwnd, m.hwnd))
        return false;
    if (lo == 0 && hi == 0)
        return true;
    return m.message >= lo && m.message <= hi;
}

HWND FindPaintIn(HWND h)
{
    auto w = WindowPeek(h);
    if (!w || !(w->style & WS_VISIBLE) || w->destroyed)
        return 0;
    if (WindowPaintDue(*w))
        return h;
    // Siblings are painted from the bottom of the z-order up (the last
    // created first), so that where two controls of a template overlap the
    // one above, created first, is what shows.
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        HWND p = FindPaintIn(*it);
        if (p)
            return p;
    }
    return 0;
}

HWND FindPaintDue()
{
    auto me = std::this_thread::get_id();
    // Nothing is called out here: the Z order is read as it stands.
    for (HWND h : WindowZOrder()) {
        auto w = WindowPeek(h);
        if (!w || w->thread != me)
            continue;
        HWND p = FindPaintIn(h);
        if (p)
            return p;
    }
    return 0;
}

// A window of this thread with something to paint, or 0; free while no
// window has anything to paint.
inline HWND FindPaint()
{
    return WindowAnyPaintDue() ? FindPaintDue() : 0;
}

// Everything is painted: the front end sees what is drawn.
void ReportDrawn()
{
    if (g_hooks.drawn)
        g_hooks.drawn();
}

// One step of Get/Peek: true when a message was found.
bool TakeMessage(MSG &out, HWND hwnd, UINT lo, UINT hi, bool remove)
{
    Queue *q = OwnQueue();
    {
        std::lock_guard<ThreadLock> guard(g_queueLock);
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (InFilter(*it, hwnd, lo, hi)) {
                out = *it;
                if (remove) {
                    q->posted.erase(it);
                    g_waiting.fetch_sub(1, std::memory_order_relaxed);
                    InputNoteKey(out.message, out.wParam);
                }
                return true;
            }
        }
        if (q->quit && ((lo == 0 && hi == 0) || (WM_QUIT >= lo && WM_QUIT <= hi))) {
            out = MSG{};
            out.message = WM_QUIT;
            out.wParam = WPARAM(q->quitCode);
            if (remove) {
                q->quit = false;
                g_waiting.fetch_sub(1, std::memory_order_relaxed);
            }
            return true;
        }
    }
    if ((lo == 0 && hi == 0) || (WM_PAINT >= lo && WM_PAINT <= hi)) {
        HWND p = FindPaint();
        if (p && (!hwnd || InFilter(MSG{p, WM_PAINT, 0, 0, 0, {0, 0}}, hwnd, 0, 0))) {
            out = MSG{};
            out.hwnd = p;
            out.message = WM_PAINT;
            return true;
        }
    }
    ReportDrawn();
    if (g_hooks.poll)
        g_hooks.poll();
    return false;
}

} // namespace

void QueueReset()
{
    std::lock_guard<ThreadLock> guard(g_queueLock);
    g_queueResets.fetch_add(1, std::memory_order_acq_rel);
    g_queues.clear();
    g_waiting.store(0, std::memory_order_relaxed);
}

void SetUiHooks(const UiHooks &hooks)
{
    g_hooks = hooks;
}

const UiHooks &GetUiHooks()
{
    return g_hooks;
}

namespace {
// Constant-initialised: the front ends set it from a static initialiser.
void (*g_hooksFallback)() = nullptr;
} // namespace

void SetUiHooksFallback(void (*install)())
{
    g_hooksFallback = install;
}

void EnsureUiHooks()
{
    if (g_hooksFallback)
        g_hooksFallback();
}

LRESULT WindowSend(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The record is not held over the call: whoever uses it after calling
    // out holds it themselves.
    WNDPROC proc = nullptr;
    if (auto w = WindowPeek(hwnd))
        proc = w->proc;
    if (!proc)
        return 0;
    return proc(hwnd, msg, wParam, lParam);
}

void PumpPending()
{
    MSG m;
    while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(int(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

void WindowPaintAll()
{
    for (int guard = 0; guard < 10000; ++guard) {
        HWND p = FindPaint();
        if (!p)
            break;
        MSG m{};
        m.hwnd = p;
        m.message = WM_PAINT;
        DispatchMessageW(&m);
    }
}

} // namespace plat

using namespace plat;

// SendMessageW
extern "C" LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc;
    {
        auto w = WindowPeek(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        proc = w->proc;
    }
    return proc ? proc(hWnd, Msg, wParam, lParam) : 0;
}

// PostMessageW
extern "C" BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    std::thread::id target = std::this_thread::get_id();
    if (hWnd) {
        auto w = WindowCheck(hWnd);
        if (!w)
            return FALSE;
        target = w->thread;
    }
    auto q = QueueOf(target);
    MSG m{};
    m.hwnd = hWnd;
    m.message = Msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = 0;
    std::lock_guard<ThreadLock> guard(g_queueLock);
    // A queue holds at most 10000 messages, as on Windows.
    if (q->posted.size() >= 10000) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    q->posted.push_back(m);
    g_waiting.fetch_add(1, std::memory_order_release);
    return TRUE;
}

// PostQuitMessage
extern "C" void WINAPI PostQuitMessage(int nExitCode)
{
    Queue *q = OwnQueue();
    std::lock_guard<ThreadLock> guard(g_queueLock);
    if (!q->quit)
        g_waiting.fetch_add(1, std::memory_order_release);
    q->quit = true;
    q->quitCode = nExitCode;
}

// PeekMessageW
extern "C" BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hWnd && !WindowCheck(hWnd))
        return FALSE;
    if (g_waiting.load(std::memory_order_acquire) == 0 && !WindowAnyPaintDue()) {
        // Nothing waits anywhere: what TakeMessage ends with when it finds
        // nothing.
        ReportDrawn();
        if (g_hooks.poll)
            g_hooks.poll();
        return FALSE;
    }
    return TakeMessage(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}

// GetMessageW
extern "C" BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWnd && !WindowCheck(hWnd))
        return -1;
    for (;;) {
        if (TakeMessage(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message == WM_QUIT ? 0 : 1;
        // Nothing waits: only the front end can make input now. A wait
        // that nothing can end is refused instead of hanging.
        if (!g_hooks.idle || !g_hooks.idle(0)) {
            SetLastError(ERROR_INVALID_FUNCTION);
            return -1;
        }
    }
}

// TranslateMessage
extern "C" BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    if (!lpMsg || lpMsg->message != WM_KEYDOWN)
        return FALSE;
    WCHAR c = 0;
    switch (lpMsg->wParam) {
    case VK_RETURN: c = u'\r'; break;
    case VK_ESCAPE: c = 0x1B; break;
    case VK_BACK: c = 0x08; break;
    case VK_TAB: c = u'\t'; break;
    case VK_SPACE: c = u' '; break;
    default: return FALSE;
    }
    PostMessageW(lpMsg->hwnd, WM_CHAR, c, lpMsg->lParam);
    return TRUE;
}

// DispatchMessageW
extern "C" LRESULT WINAPI DispatchMessageW(const MSG *lpMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!lpMsg->hwnd)
        return 0;
    WNDPROC proc;
    {
        auto w = WindowPeek(lpMsg->hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (lpMsg->message == WM_PAINT) {
            WindowPaintNow(lpMsg->hwnd);
            return 0;
        }
        proc = w->proc;
    }
    return proc ? proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

// CallWindowProcW
extern "C" LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam)
{
    if (!lpPrevWndFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

// DefWindowProcW
extern "C" LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (Msg == WM_PAINT) {
        // A dialog repainted at every progress step: no DC is made when
        // nothing is to be drawn.
        if (WindowValidateUndrawn(hWnd) == Undrawn::EraseDue) {
            PAINTSTRUCT ps;
            BeginPaint(hWnd, &ps);
            EndPaint(hWnd, &ps);
        }
        return 0;
    }
    // Borrowed: no case uses it after calling out.
    auto w = WindowPeek(hWnd);
    if (!w)
        return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        const CREATESTRUCTW *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
            w->text = cs->lpszName;
        return TRUE;
    }
    case WM_SETTEXT: {
        LPCWSTR s = reinterpret_cast<LPCWSTR>(lParam);
        if (s)
            w->text.assign(s); // into the text's own storage, no temporary
        else
            w->text.clear();
        WindowInvalidate(hWnd, true);
        return TRUE;
    }
    case WM_GETTEXT: {
        LPWSTR buf = reinterpret_cast<LPWSTR>(lParam);
        if (!buf || wParam == 0)
            return 0;
        size_t n = w->text.size();
        if (n > wParam - 1)
            n = wParam - 1;
        for (size_t i = 0; i < n; ++i)
            buf[i] = w->text[i];
        buf[n] = 0;
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
        return LRESULT(w->text.size());
    case WM_ERASEBKGND: {
        HBRUSH b = w->cls->background;
        if (!b)
            return 0;
        if (uintptr_t(b) <= 31) // COLOR_x + 1
            b = GetSysColorBrush(int(b) - 1);
        RECT r;
        GetClientRect(hWnd, &r);
        FillRect(HDC(wParam), &r, b);
        return 1;
    }
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageW(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_SETICON: {
        HICON &slot = wParam == ICON_SMALL ? w->iconSmall : w->iconBig;
        HICON old = slot;
        slot = HICON(lParam);
        return LRESULT(old);
    }
    case WM_GETICON:
        return LRESULT(wParam == ICON_SMALL ? w->iconSmall : w->iconBig);
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return -1; // the list box does its default
    case WM_MOUSEWHEEL:
        // A child that does not scroll passes the wheel to its parent.
        if ((w->style & WS_CHILD) && w->parent)
            return SendMessageW(w->parent, Msg, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}
