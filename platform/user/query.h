// query.h - what the front ends read of the window manager's windows,
// dialogs and controls: a read-only view, by handle, of what the user sees.
//
// The window manager keeps its windows private, each control its state in
// its own file, and the dialog and message-box managers theirs; these
// functions copy it out. They change nothing, not even the last error (the
// program's, whose thread the front ends run on), and send no message. A
// stale handle, or for a control's read a window of another kind, returns
// false and leaves the view as it was, so a front end never takes one
// control's state for another's. The progress bar, a common
// control, is read with its messages (PBM_GETRANGE, PBM_GETPOS).
#ifndef CE_PLATFORM_USER_QUERY_H
#define CE_PLATFORM_USER_QUERY_H

#include <string>
#include <vector>

#include "windef.h"

namespace plat {

// The kind of a window's class: one of the built-in controls (the progress
// bar is the common controls'), the dialog class, or None for any other.
enum class BuiltinClass { None, Button, Static, Edit, ListBox, Progress, Dialog };

// A window as the window manager keeps it. A window being destroyed (its
// WM_DESTROY under way, its handle not yet freed) is still read, with
// `destroyed` set. Reading into the same view again reuses its storage.
struct WindowView {
    std::u16string className;
    BuiltinClass kind = BuiltinClass::None;
    DWORD style = 0;            // WS_VISIBLE, WS_DISABLED as set on the window itself
    std::u16string text;
    int id = 0;                 // a child's control id
    HWND parent = 0;            // a child's parent, 0 for a top-level window
    std::vector<HWND> children; // in creation order: later ones lie over earlier ones
    RECT rect{0, 0, 0, 0};      // window rectangle, screen coordinates
    RECT client{0, 0, 0, 0};    // client rectangle, screen coordinates
    bool destroyed = false;
};
bool QueryWindow(HWND hwnd, WindowView &out);

// A button: its check state (BST_UNCHECKED, BST_CHECKED).
struct ButtonView {
    int check = 0;
};
bool QueryButton(HWND hwnd, ButtonView &out);

// An edit: the selection as set, the caret at selEnd (selStart may lie
// after it), both within the text.
struct EditView {
    int selStart = 0;
    int selEnd = 0;
};
bool QueryEdit(HWND hwnd, EditView &out);

// A list box: its entries' texts, the selection (-1 none) and the first
// entry shown.
struct ListBoxView {
    std::vector<std::u16string> items;
    int curSel = -1;
    int topIndex = 0;
};
bool QueryListBox(HWND hwnd, ListBoxView &out);

// A dialog made by the dialog manager (a page or a message box).
struct DialogView {
    bool modal = false;
    bool ended = false;   // EndDialog was called
    int resourceId = -1;  // the template's resource id, -1 when not from one
};
bool QueryDialog(HWND hwnd, DialogView &out);

// A message box while MessageBoxW shows it: its text and style.
struct MessageBoxView {
    std::u16string text;
    UINT type = 0;
};
bool QueryMessageBox(HWND hwnd, MessageBoxView &out);

} // namespace plat

#endif
