// hostinput.h - the host's keys, clicks and window-close requests of the
// interactive front ends (gui, tui), turned into the window messages that
// the same input makes on the device.
//
// Only the modal dialog that waits for input takes input; everything else
// (the disabled main window, the screen outside the dialog, a disabled or
// hidden control) ignores it, so that no input can do what a user of the
// device could not.
#ifndef CE_PLATFORM_HOSTINPUT_H
#define CE_PLATFORM_HOSTINPUT_H

#include "windef.h"

namespace plat {

enum class HostKey { Tab, BackTab, Enter, Escape, Up, Down, Left, Right, Home, End, PageUp, PageDown, Delete, Backspace, Space };

// A key pressed while dlg waits: posted to the focused control of dlg (or
// to dlg), where the dialog manager handles it as Windows does.
void HostKeyPress(HWND dlg, HostKey key);
// A typed character (printable, not a space) for the focused control.
void HostChar(HWND dlg, char16_t c);

// The deepest visible window at a screen point: the top-most visible
// top-level window that holds it, then its visible children. 0 when none.
HWND HostWindowAt(int x, int y);

// A mouse button pressed / released at a screen point while dlg waits. A
// press on an enabled control of dlg posts WM_LBUTTONDOWN to it; the
// release goes to the same control (WM_LBUTTONUP at the release point, so
// that a button released outside itself is not clicked). A press on the
// close box of dlg closes it. Anything else is ignored. True when messages
// were posted.
// While a window of dlg has the mouse captured (SetCapture), the release
// and every move go to it instead, wherever the pointer is.
bool HostMouseDown(HWND dlg, int x, int y);
bool HostMouseUp(HWND dlg, int x, int y);
// The pointer moved to a screen point with the button held (as a stylus
// is dragged on the device's screen; a pointer moving with the button up
// makes no message there): WM_MOUSEMOVE to the capture's window, else to
// the control that took the press.
bool HostMouseMove(HWND dlg, int x, int y);
// The wheel turned by delta (WHEEL_DELTA a notch, positive away from the
// user) with the pointer at a screen point: WM_MOUSEWHEEL goes to the
// enabled control of dlg under the pointer when it scrolls (WS_VSCROLL),
// else to the focused control.
bool HostMouseWheel(HWND dlg, int x, int y, int delta);

// The host window is being closed. A modal dialog with a close box gets
// it, and so does every later modal dialog, once each, until the run ends;
// while work runs behind a modeless page (which has no close box) the
// request waits for the next modal dialog. Never ends the run abruptly.
void HostCloseRequest();
// Applies a waiting close request to dlg; true when a message was posted.
bool HostApplyClose(HWND dlg);
bool HostClosing();

// Forgets the close request and the pressed control (a new run).
void HostInputReset();

} // namespace plat

#endif
