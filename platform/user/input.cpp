// input.cpp - the window messages of a user's input, as the front ends make
// them: a tap on a control, a key, a typed character. They are posted, like
// real input, and reach the program through its message loop.
#include <windows.h>

#include "user/window.h"

namespace plat {

void InputClick(HWND control)
{
    RECT r;
    if (!GetClientRect(control, &r))
        return;
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, 0x0001 /* MK_LBUTTON */, at);
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
} // namespace

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
