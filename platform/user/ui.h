// ui.h - what the front ends drive of the window manager: the hooks it
// calls while dialogs are made, wait and end, the user's input made into
// window messages, the caret's blinking, and the order of the top-level
// windows. What they read of a window is in user/query.h.
#ifndef CE_PLATFORM_USER_UI_H
#define CE_PLATFORM_USER_UI_H

#include <cstdint>
#include <functional>
#include <vector>

#include "windef.h"

namespace plat {

// Top-level windows from bottom to top of the Z order.
std::vector<HWND> WindowTopLevels();

// The window with the keyboard focus, or 0.
HWND WindowFocus();

// The close box of a window, in screen coordinates (empty when none).
RECT WindowCloseBoxRect(HWND hwnd);

// Client position of list entry `index` for a click; scrolls it into view
// first, as a user would. False when there is no such entry.
bool ListBoxItemPoint(HWND hwnd, int index, POINT &pt);

// Hooks of the front end, called by the dialog manager.
struct UiHooks {
    // A modal dialog (page or message box) waits for input: the queue is
    // empty and everything is painted. The front end makes input (or ends
    // the run). Returns false when it has nothing to give.
    std::function<bool(HWND dlg)> idle;
    // A dialog has handled WM_INITDIALOG (pages are reported here).
    std::function<void(HWND dlg)> dialogCreated;
    // A modal dialog has ended with a result.
    std::function<void(HWND dlg, INT_PTR result)> dialogEnded;
    // A dialog is about to handle WM_COMMAND (a control's notification or a
    // button's command): the front end records what the user did.
    std::function<void(HWND dlg, WPARAM wParam, LPARAM lParam)> dialogCommand;
    // Everything is painted and the queue is empty: the front end looks at
    // the dialogs it waits to see drawn (for a screenshot).
    std::function<void()> drawn;
    // A message loop found the queue empty and goes on without waiting
    // (work is being done behind a modeless page): the front end shows what
    // was drawn and keeps the host responsive. It may post input.
    std::function<void()> poll;
};
void SetUiHooks(const UiHooks &hooks);
const UiHooks &GetUiHooks();
// What sets hooks when a dialog starts and none are set (the front ends
// give the unattended one); EnsureUiHooks calls it.
void SetUiHooksFallback(void (*install)());
void EnsureUiHooks();

// Window messages of a user's input, as the front ends make them: a click
// on a control (pressed and released inside it), a typed character, a key.
void InputClick(HWND control);
void InputKey(HWND target, UINT vk);
void InputChar(HWND target, WCHAR c);

// The caret's blinking, driven by an interactive front end's clock (ms):
// the time until its phase changes (-1 when no caret is shown), and the
// change itself when due (true when the caret's look changed).
int CaretBlinkDue(uint64_t nowMs);
bool CaretBlink(uint64_t nowMs);

} // namespace plat

#endif
