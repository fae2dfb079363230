// caret.cpp - the caret: CreateCaret, DestroyCaret, ShowCaret, HideCaret,
// SetCaretPos, GetCaretPos and the blink time.
//
// There is one caret, owned by a window (the edit with the focus). It is
// not drawn into the windows' pixels: the screen shows it over them
// (ScreenCaretRects), so that painting never has to take it off and put it
// back, and a window drawn over it cannot leave half a caret behind. What
// blinks is only the phase, and only when an interactive front end asks
// (CaretBlink with its clock): a run without a display never pays for it,
// and pictures of the screen always show the caret, whatever the phase.
#include <windows.h>

#include "gdi/gdi.h"
#include "gdi/screen.h"
#include "user/window.h"

namespace plat {
namespace {

struct Caret {
    HWND owner = 0;       // 0: there is no caret
    int width = 0, height = 0;
    POINT pos{0, 0};      // owner's client coordinates
    int hidden = 0;       // HideCaret calls not yet undone
    bool on = true;       // the blinking's phase
    bool restart = true;  // the phase starts again at the next clock reading
    uint64_t since = 0;   // the clock when the phase began
};

Caret g_caret;
UINT g_blinkMs = 500;

// Only the owner (or a call naming no window) may show or hide it.
bool Owns(HWND hwnd)
{
    return g_caret.owner && (!hwnd || hwnd == g_caret.owner);
}

// The caret comes on at once when shown or moved, as a user typing sees it.
void Restart()
{
    g_caret.on = true;
    g_caret.restart = true;
}

// The caret's rectangles on the screen: inside the owner's visible client
// area, when it is shown (and, but for pictures, in its on phase).
Region CaretRects(bool picture)
{
    Region out;
    if (!g_caret.owner || g_caret.hidden > 0 || (!picture && !g_caret.on) || !IsWindowVisible(g_caret.owner))
        return out;
    HDC dc = GetDC(g_caret.owner);
    auto d = GdiGetDc(dc);
    if (d) {
        RECT r{d->originX + g_caret.pos.x, d->originY + g_caret.pos.y, d->originX + g_caret.pos.x + g_caret.width,
               d->originY + g_caret.pos.y + g_caret.height};
        out = d->clip;
        RegionClip(out, r);
    }
    ReleaseDC(g_caret.owner, dc);
    return out;
}

// Installed into the screen once this file is linked (edits use it).
const bool g_installed = (ScreenSetCaretSource(CaretRects), true);

} // namespace

void CaretForget(HWND hwnd)
{
    if (!hwnd || g_caret.owner == hwnd)
        g_caret = Caret{};
}

int CaretBlinkDue(uint64_t nowMs)
{
    if (!g_caret.owner || g_caret.hidden > 0)
        return -1;
    if (g_caret.restart) {
        g_caret.restart = false;
        g_caret.since = nowMs;
    }
    uint64_t end = g_caret.since + g_blinkMs;
    return nowMs >= end ? 0 : int(end - nowMs);
}

bool CaretBlink(uint64_t nowMs)
{
    if (CaretBlinkDue(nowMs) != 0)
        return false;
    // A front end that slept long goes on from now, not in a burst.
    g_caret.on = !g_caret.on;
    g_caret.since = nowMs;
    return true;
}

} // namespace plat

using namespace plat;

// CreateCaret
extern "C" BOOL WINAPI CreateCaret(HWND hWnd, HBITMAP hBitmap, int nWidth, int nHeight)
{
    (void)hBitmap; // a solid caret in any case: the device draws no patterned one here
    if (!WindowCheck(hWnd))
        return FALSE;
    // A window has one caret at most: the old one goes, wherever it was.
    g_caret = Caret{};
    g_caret.owner = hWnd;
    g_caret.width = nWidth > 0 ? nWidth : 1; // 0: the width of a border
    g_caret.height = nHeight > 0 ? nHeight : 1;
    g_caret.hidden = 1; // made hidden: ShowCaret shows it
    return TRUE;
}

// DestroyCaret
extern "C" BOOL WINAPI DestroyCaret(void)
{
    if (!g_caret.owner)
        return FALSE;
    g_caret = Caret{};
    return TRUE;
}

// ShowCaret
extern "C" BOOL WINAPI ShowCaret(HWND hWnd)
{
    if (!Owns(hWnd) || g_caret.hidden == 0)
        return FALSE;
    // Hiding adds up: as many shows as hides bring it back.
    if (--g_caret.hidden == 0)
        Restart();
    return TRUE;
}

// HideCaret
extern "C" BOOL WINAPI HideCaret(HWND hWnd)
{
    if (!Owns(hWnd))
        return FALSE;
    ++g_caret.hidden;
    return TRUE;
}

// SetCaretPos
extern "C" BOOL WINAPI SetCaretPos(int X, int Y)
{
    if (!g_caret.owner)
        return FALSE;
    if (g_caret.pos.x != X || g_caret.pos.y != Y) {
        g_caret.pos = POINT{X, Y};
        Restart();
    }
    return TRUE;
}

// GetCaretPos
extern "C" BOOL WINAPI GetCaretPos(LPPOINT lpPoint)
{
    if (!lpPoint || !g_caret.owner)
        return FALSE;
    *lpPoint = g_caret.pos;
    return TRUE;
}

// GetCaretBlinkTime
extern "C" UINT WINAPI GetCaretBlinkTime(void)
{
    return g_blinkMs;
}

// SetCaretBlinkTime
extern "C" BOOL WINAPI SetCaretBlinkTime(UINT uMSeconds)
{
    if (uMSeconds == 0)
        return FALSE;
    g_blinkMs = uMSeconds;
    return TRUE;
}
