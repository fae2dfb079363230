// window.h - the window manager's objects, shared by the user area (windows,
// dialogs, controls), the gdi area (window DCs) and the front ends.
//
// A window is a handle-table object (kind Window). Positions are kept in
// screen coordinates; the client rectangle follows from the style (caption,
// frame, border). A control's own state (check, entries, selection, range)
// is a record private to the control's file, reached through the window;
// the front ends read it through user/query.h and drive the window manager
// through user/ui.h, never through this record.
#ifndef CE_PLATFORM_WINDOW_H
#define CE_PLATFORM_WINDOW_H

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "kernel/handles.h"
#include "gdi/region.h"
#include "user/query.h"
#include "user/ui.h"
#include "windef.h"
#include "winuser.h"

namespace plat {

struct WndClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = 0;
    HICON icon = 0;
    HCURSOR cursor = 0;
    HBRUSH background = 0;
    BuiltinClass builtin = BuiltinClass::None;
};

// A control's own state (a button's check, a list's entries), private to
// the control's file: the class procedure makes it at WM_NCCREATE and keeps
// it behind the window, as the platform keeps a control's data behind its
// extra bytes, and lets it go at WM_NCDESTROY (a window freed without one,
// on a device reset, takes it along). A procedure still running for the
// window holds it until it returns. `kind` names the class that made it:
// a procedure called for a window of another class finds no record.
// A dialog's state, private to the dialog manager (dialog.cpp).
struct DialogInfo;

struct ControlRecord {
    explicit ControlRecord(BuiltinClass k) : kind(k) {}
    virtual ~ControlRecord() = default;
    const BuiltinClass kind;
};

struct Window : HandleObject {
    HWND hwnd = 0;
    std::shared_ptr<WndClass> cls;
    std::thread::id thread;
    HWND parent = 0; // child windows
    HWND owner = 0;  // owned popups
    std::vector<HWND> children; // creation order
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    std::u16string text;
    RECT rect{0, 0, 0, 0}; // window rectangle, screen coordinates
    WNDPROC proc = nullptr;
    HINSTANCE instance = 0;
    LONG userData = 0;
    std::vector<uint8_t> extra;
    // Painting: the update region in client coordinates, kept inside the
    // visible part of the window, and whether it is erased first; the
    // frame and caption are drawn again when damaged or when the window's
    // active state differs from the one they show.
    Region update;
    // The making of the visible region (visibleMade) all of the update
    // region was cut to, 0 when not one: while the window's visible region
    // is still that one, the update region needs no cutting again.
    uint64_t updateWithin = 0;
    // The last region AddUpdate worked out (client coordinates) and what it
    // was worked out from: the visible region's making, the client origin
    // and the rectangle asked for. The whole client area invalidated again
    // and again (a progress page and the window under it, at every step)
    // then takes it as it is.
    Region addedRegion;
    uint64_t addedMade = 0;
    POINT addedOrigin{0, 0};
    RECT addedRect{0, 0, 0, 0};
    // Likewise for BeginPaint: the last update region painted (client
    // coordinates), the visible region's making it was cut to and whether
    // it was known to lie inside it, and what came of it: the DC's clip
    // (screen coordinates) and rcPaint. A window painted at every step
    // with the same update region takes them as they are.
    Region paintUpdate;
    uint64_t paintMade = 0;
    bool paintWithin = false;
    Region paintClip;
    RECT paintBounds{0, 0, 0, 0};
    bool updateErase = false;
    bool frameDirty = false;
    int frameActive = -1;     // active state the caption shows, -1 not drawn
    bool beganPaint = false;  // BeginPaint was called for this WM_PAINT
    bool dueCounted = false;  // counted among the windows with a paint due
    ~Window() override;
    // Worked out from the window tree and kept while the layout count
    // (WindowLayout) stays the one stamped: the screen rectangle, whether
    // the window and all its parents are visible, and the visible regions
    // of the client area [0] and of the whole window [1] with the screen
    // size they were clipped to.
    mutable uint64_t geometryAt = 0;
    mutable RECT screenRect{0, 0, 0, 0};
    mutable RECT clientRect{0, 0, 0, 0}; // the client area on the screen
    mutable bool shown = false;
    mutable uint64_t visibleAt[2] = {0, 0};
    mutable long visibleScreen[2][2] = {{0, 0}, {0, 0}};
    mutable Region visible[2];
    mutable uint64_t visibleMade[2] = {0, 0}; // each working out of visible gets a new number
    // GetDlgItem's last answer: the id asked for, the child found (0 none)
    // and the layout and id counts it was found at.
    int itemId = 0;
    HWND itemFound = 0;
    uint64_t itemAt = 0;
    uint64_t itemIdsAt = 0;
    bool destroyed = false;
    HICON iconSmall = 0;
    HICON iconBig = 0;
    std::shared_ptr<ControlRecord> control; // the class procedure's record
    std::shared_ptr<DialogInfo> dialog;     // the dialog manager's record (dialog.cpp)
};

// The window behind a live handle, or null (stale or not a window).
std::shared_ptr<Window> WindowGet(HWND hwnd);
// As WindowGet, but sets ERROR_INVALID_WINDOW_HANDLE when there is none.
std::shared_ptr<Window> WindowCheck(HWND hwnd);
// The window behind a live handle, borrowed for a call that calls no window
// procedure and destroys nothing meanwhile (see HandleRef), or null: the
// painting calls look windows up some forty times a progress step.
__attribute__((always_inline)) inline HandleRef<Window> WindowPeek(HWND hwnd)
{
    return HandlePeek<Window>(hwnd, HandleKind::Window);
}

// The record of class T (T::kKind) of a window, or null: none made yet,
// already let go, or the window is of another class.
template <class T> std::shared_ptr<T> ControlOf(const Window &w)
{
    if (!w.control || w.control->kind != T::kKind)
        return nullptr;
    return std::static_pointer_cast<T>(w.control);
}
template <class T> std::shared_ptr<T> ControlOf(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    return w ? ControlOf<T>(*w) : nullptr;
}
// As ControlOf, borrowed for a call that lets no procedure run for the
// window meanwhile.
template <class T> T *ControlPeek(const Window &w)
{
    if (!w.control || w.control->kind != T::kKind)
        return nullptr;
    return static_cast<T *>(w.control.get());
}
// Makes a window's record at WM_NCCREATE; null when there is no memory
// (the creation then fails).
template <class T> std::shared_ptr<T> ControlMake(Window &w)
{
    std::shared_ptr<T> r(new (std::nothrow) T());
    w.control = r;
    return r;
}
// The record of class T of a live window for a read of user/query.h; null
// for a stale handle or a window of another class. The last error is left
// alone: a front end's read must not change what the program sees.
template <class T> std::shared_ptr<T> ControlQuery(HWND hwnd)
{
    auto w = WindowGet(hwnd);
    return w && !w->destroyed ? ControlOf<T>(*w) : nullptr;
}

// Checks the window tree's links: every top-level window of the Z order
// and every child listed once, live, not destroyed; a child's parent is the
// window listing it and a child has WS_CHILD; owners are live top-level
// windows, with no cycle of owners; every live window is reached. Returns
// "" when all hold, else the first broken link. Debug builds assert it after
// each creation and destruction; tests call it.
std::string WindowTreeProblem();

// The layout count: it changes whenever a window moves, is resized, shown,
// hidden, restyled, restacked, made or destroyed. Read inline: a progress
// step asks for a window's place a few dozen times.
extern uint64_t g_windowLayout;
inline uint64_t WindowLayout() { return g_windowLayout; }

// Works out a window's place (screenRect, clientRect, shown) again after
// the layout changed; WindowPlaced calls it.
const Window &WindowWorkOutPlace(const Window &w);
// Counts changes of child ids (WindowSetId, GWL_ID), read inline.
extern uint64_t g_windowIds;
inline uint64_t WindowIds() { return g_windowIds; }
// Gives a window a new child id.
void WindowSetId(Window &w, int id);

// The window with its place as the layout now has it.
inline const Window &WindowPlaced(const Window &w)
{
    return w.geometryAt == g_windowLayout ? w : WindowWorkOutPlace(w);
}

// Client and window rectangles in screen coordinates.
inline RECT WindowClientScreenRect(const Window &w) { return WindowPlaced(w).clientRect; }
inline RECT WindowScreenRect(const Window &w) { return WindowPlaced(w).screenRect; }
// Whether the window and all its parents are visible (IsWindowVisible).
inline bool WindowShown(const Window &w) { return WindowPlaced(w).shown; }
// The part of the window's client area that can be seen (screen
// coordinates), as its DCs clip to.
const Region &WindowVisibleClient(HWND hwnd, const Window &w);

HWND WindowActive();

// Calls the window's procedure (sent message).
LRESULT WindowSend(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Marks a window (and its children) for painting, frame and all.
void WindowInvalidate(HWND hwnd, bool erase);
// Marks what lies inside r (screen coordinates) of a window and its
// children for painting: a window above was moved, hidden or destroyed.
void WindowInvalidateScreenRect(HWND hwnd, const RECT &r, bool erase);
// True when the window has something to paint (update region or frame).
inline bool WindowPaintDue(const Window &w)
{
    return !w.update.empty() || w.frameDirty;
}
// Counts a window in or out of the windows with a paint due (WindowNoteDue).
void WindowNoteDueChanged(Window &w);
// After the update region or frame flag of w changed: keeps the count of
// windows with a paint due, so that a look for one is free when none is.
inline void WindowNoteDue(Window &w)
{
    if (WindowPaintDue(w) != w.dueCounted)
        WindowNoteDueChanged(w);
}
// False only when no window has anything to paint.
extern std::atomic<long> g_windowsPaintDue; // kept by WindowNoteDue
inline bool WindowAnyPaintDue()
{
    return g_windowsPaintDue.load(std::memory_order_relaxed) != 0;
}
// Paints a window now: WM_PAINT for its update region, or only its frame
// when that is all it needs.
void WindowPaintNow(HWND hwnd);
// What BeginPaint and EndPaint do for a procedure that draws nothing (the
// default WM_PAINT), without making a DC: the update region validated and
// the frame painted. Nothing is done when the handle is stale, nor when an
// erase is due (the caller goes through BeginPaint then).
enum class Undrawn { NoWindow, Validated, EraseDue };
Undrawn WindowValidateUndrawn(HWND hwnd);

// The top-level windows, bottom to top, as they stand: for a walk that
// calls no window procedure and changes no window meanwhile.
const std::vector<HWND> &WindowZOrder();

// The top-level window that a window belongs to (itself when top-level).
HWND WindowTopLevel(HWND hwnd);
// Whether h is the live window `ancestor` or lies inside it (its child, a
// child of a child, ...).
bool WindowWithin(HWND ancestor, HWND h);

// Paints every window that needs it, now (the front ends call it before a
// screenshot).
void WindowPaintAll();

// Dialog units to pixels (base units 6 x 13).
inline int DluToPixelX(int x) { return x * 6 / 4; }
inline int DluToPixelY(int y) { return y * 13 / 8; }

constexpr int kCaptionHeight = 20;
constexpr int kModalFrame = 2;
constexpr int kScrollBarWidth = 13; // SM_CXVSCROLL: a vertical scroll bar, arrows square

// Class procedures of the built-in controls (one file each).
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
// Whether a static (w, its window, borrowed) given text by WM_SETTEXT
// would change nothing: the text is what it shows, and the screen still
// shows it. The caller then need not send the message.
bool StaticKeepsText(HWND hwnd, Window &w, LPCWSTR text);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);

// Registers the built-in classes (once per process).
void RegisterBuiltinClasses();
// Adds a built-in (global, never unregistered) class of another area: the
// common controls register theirs.
void RegisterBuiltinClass(const char16_t *name, WNDPROC proc, BuiltinClass kind);

// Draws text wrapped at word boundaries inside r (align 0 left, 1 centre,
// 2 right); "\n" breaks lines, "&" marks a mnemonic unless noPrefix.
void DrawTextBlock(HDC hdc, const RECT &r, const std::u16string &text, int align, COLORREF color,
                   bool noPrefix);
// The lines DrawTextBlock shows in a width, top to bottom.
std::vector<std::u16string> TextLines(const std::u16string &text, int width, bool noPrefix);

// Background colour of dialogs and controls drawn on them.
constexpr COLORREF kDialogFace = 0x00C0C0C0;

// A list box's vertical scroll bar, drawn at BAR of the window DC DC
// (non-client area, right of the client area).
void ListBoxPaintScrollBar(HWND hwnd, HDC dc, const RECT &bar);

// Sends the parent a WM_COMMAND notification from a control.
void NotifyParent(HWND control, WORD code);

// A control's WM_PAINT: BeginPaint, draw(dc, client rectangle), EndPaint;
// nothing when there is no DC to draw into.
template <class Draw> void ControlPaint(HWND hwnd, Draw draw)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT r;
    GetClientRect(hwnd, &r);
    draw(dc, r);
    EndPaint(hwnd, &ps);
}

// Makes a window a dialog of the dialog manager, with its procedure, modal
// or not, and its template's resource id (-1 none): dialogs from templates
// and message boxes. False for a stale handle.
bool DialogMake(HWND hwnd, DLGPROC proc, bool modal, int resourceId);
// A dialog's DWL_MSGRESULT or DWL_USER, for Get/SetWindowLongW; null when
// the window is not a dialog or the index names neither.
LONG_PTR *DialogLongSlot(Window &w, int index);

// Runs a modal loop until the dialog has ended; the front end is asked for
// input whenever the queue is empty. Returns the dialog's result.
INT_PTR RunModalLoop(HWND dlg);

// Ends the mouse capture of a window being destroyed (any window: 0).
void InputCaptureForget(HWND hwnd);
// Destroys the caret of a window being destroyed (any window's: 0).
void CaretForget(HWND hwnd);

// Keeps the keyboard state that GetKeyState reports in step with the key
// messages taken from the queue, as Windows does.
void InputNoteKey(UINT msg, WPARAM vk);

// Forgets every window, registered class and queued message (a test starts
// afresh on a new device; DeviceReset also resets the front ends).
void UserReset();
void ClassReset();
void QueueReset();

// Runs the posted and paint messages of this thread until the queue is
// empty (without waiting).
void PumpPending();

} // namespace plat

#endif
