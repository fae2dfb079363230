// input.cpp - the window messages of a user's input, as the front ends make
// them: a tap on a control, a key, a typed character. They are posted, like
// real input, and reach the program through its message loop. Also the
// keyboard state and the mouse capture, which decide where input goes.
#include <windows.h>

#include "user/window.h"

namespace plat {

void InputClick(HWND control)
{
    RECT r;
    if (!GetClientRect(control, &r))
        return;
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void InputKey(HWND target, UINT vk)
{
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, LPARAM(0xC0000001u));
}

void InputChar(HWND target, WCHAR c)
{
    PostMessageW(target, WM_CHAR, c, 1);
}

namespace {
// Down state of each virtual key, as of the last key message taken.
bool g_keyDown[256];
// The window that takes the mouse's messages wherever the pointer is.
HWND g_capture = 0;
} // namespace

void InputCaptureForget(HWND hwnd)
{
    // A destroyed window keeps nothing: its handle may be reused.
    if (!hwnd || g_capture == hwnd)
        g_capture = 0;
}

void InputNoteKey(UINT msg, WPARAM vk)
{
    if ((msg == WM_KEYDOWN || msg == WM_KEYUP) && vk < 256)
        g_keyDown[vk] = msg == WM_KEYDOWN;
}

} // namespace plat

// GetKeyState
extern "C" SHORT WINAPI GetKeyState(int nVirtKey)
{
    if (nVirtKey < 0 || nVirtKey > 255)
        return 0;
    // The high bit marks a key that is down.
    return plat::g_keyDown[nVirtKey] ? SHORT(0x8000) : SHORT(0);
}

// SetCapture
extern "C" HWND WINAPI SetCapture(HWND hWnd)
{
    HWND old = plat::g_capture;
    if (!plat::WindowCheck(hWnd))
        return 0;
    plat::g_capture = hWnd;
    // The window losing the capture hears of it, told who has it now.
    if (old && old != hWnd)
        plat::WindowSend(old, WM_CAPTURECHANGED, 0, LPARAM(hWnd));
    return old;
}

// ReleaseCapture
extern "C" BOOL WINAPI ReleaseCapture(void)
{
    HWND old = plat::g_capture;
    plat::g_capture = 0;
    if (old)
        plat::WindowSend(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

// GetCapture
extern "C" HWND WINAPI GetCapture(void)
{
    return plat::g_capture;
}
