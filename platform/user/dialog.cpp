// dialog.cpp - the dialog manager: dialogs from binary templates, modal and
// modeless, the default dialog procedure, keyboard navigation
// (IsDialogMessageW) and the dialog item helpers.
//
// Templates are the standard DLGTEMPLATE / DLGTEMPLATEEX forms. Sizes are
// dialog units: base units 6 x 13, so x pixels = x * 6 / 4 and y pixels =
// y * 13 / 8; the template's size is the client area. A template read from
// the resources is parsed within its resource's bounds, so a damaged one
// fails instead of reading past it.
#include <windows.h>

#include <cstring>

#include "user/class.h"
#include "kernel/device.h"
#include "user/query.h"
#include "user/resources.h"
#include "user/window.h"

namespace plat {

// A dialog's state, the dialog manager's own, kept behind its window.
struct DialogInfo {
    bool made = false;      // made as a dialog (a template's, or a message box)
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0; // DWL_MSGRESULT
    LONG_PTR user = 0;      // DWL_USER
    bool ended = false;     // EndDialog was called, with result
    INT_PTR result = 0;
    bool modal = false;
    HWND lastFocus = 0;     // the control given the focus back on activation
    int resourceId = -1;    // the template's resource id
};

// The front end's default hooks are installed on first need (frontend).

namespace {

// The dialog manager's record of a window: made with the dialog, or, for a
// window not made as one that is sent what dialogs take (EndDialog, an
// activation under DefDlgProc), when first written. Null when there is none
// and make is false. It lives as long as the window.
DialogInfo *InfoOf(Window &w, bool make)
{
    if (!w.dialog && make)
        w.dialog = std::make_shared<DialogInfo>();
    return w.dialog.get();
}

constexpr size_t kMaxTemplate = 65536;

struct Reader {
    const uint8_t *p;
    const uint8_t *begin;
    const uint8_t *end;
    bool ok = true;

    bool Need(size_t n)
    {
        if (!ok || size_t(end - p) < n)
            ok = false;
        return ok;
    }
    uint16_t Word()
    {
        if (!Need(2))
            return 0;
        uint16_t v;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    uint32_t Dword()
    {
        if (!Need(4))
            return 0;
        uint32_t v;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    void Align(size_t a)
    {
        size_t off = size_t(p - begin);
        size_t pad = (a - off % a) % a;
        if (Need(pad))
            p += pad;
    }
    std::u16string Sz()
    {
        std::u16string s;
        for (;;) {
            uint16_t c = Word();
            if (!ok || c == 0)
                break;
            s.push_back(char16_t(c));
        }
        return s;
    }
    // A string or an ordinal (0xFFFF followed by the number).
    void SzOrOrd(std::u16string &s, int &ord)
    {
        ord = -1;
        s.clear();
        if (!Need(2))
            return;
        uint16_t first;
        std::memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            p += 2;
            ord = Word();
        } else if (first == 0) {
            p += 2;
        } else {
            s = Sz();
        }
    }
};

struct ItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::u16string cls;
    std::u16string text;
    int textOrd = -1;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::u16string cls;
    std::u16string title;
    std::vector<ItemTemplate> items;
};

bool ParseTemplate(const void *data, DialogTemplate &t)
{
    Reader r;
    r.begin = r.p = static_cast<const uint8_t *>(data);
    const uint8_t *end = ResourceEndOf(data);
    r.end = end ? end : r.begin + kMaxTemplate;
    uint16_t ver = 0, sig = 0;
    {
        Reader peek = r;
        ver = peek.Word();
        sig = peek.Word();
    }
    bool ex = ver == 1 && sig == 0xFFFF;
    WORD count;
    if (ex) {
        r.Dword(); // version and signature
        r.Dword(); // help id
        t.exStyle = r.Dword();
        t.style = r.Dword();
    } else {
        t.style = r.Dword();
        t.exStyle = r.Dword();
    }
    count = r.Word();
    t.x = int16_t(r.Word());
    t.y = int16_t(r.Word());
    t.cx = int16_t(r.Word());
    t.cy = int16_t(r.Word());
    std::u16string menu;
    int ord;
    r.SzOrOrd(menu, ord);
    r.SzOrOrd(t.cls, ord);
    if (ord >= 0)
        t.cls.clear();
    t.title = r.Sz();
    if (t.style & (DS_SETFONT | DS_FIXEDSYS)) {
        r.Word(); // point size
        if (ex) {
            r.Word();
            r.Word(); // italic and charset bytes
        }
        r.Sz(); // face name: the device maps every face to its own metrics
    }
    if (!r.ok || count > 255)
        return false;
    for (WORD i = 0; i < count; ++i) {
        r.Align(4);
        ItemTemplate it;
        if (ex) {
            r.Dword(); // help id
            it.exStyle = r.Dword();
            it.style = r.Dword();
        } else {
            it.style = r.Dword();
            it.exStyle = r.Dword();
        }
        it.x = int16_t(r.Word());
        it.y = int16_t(r.Word());
        it.cx = int16_t(r.Word());
        it.cy = int16_t(r.Word());
        it.id = ex ? r.Dword() : r.Word();
        int clsOrd;
        r.SzOrOrd(it.cls, clsOrd);
        if (clsOrd >= 0)
            it.cls = ClassNameOfOrdinal(WORD(clsOrd));
        r.SzOrOrd(it.text, it.textOrd);
        uint16_t extra = r.Word();
        if (r.Need(extra))
            r.p += extra;
        if (!r.ok || it.cls.empty())
            return false;
        t.items.push_back(it);
    }
    return r.ok;
}

bool IsDescendant(HWND dlg, HWND h)
{
    return WindowWithin(dlg, h);
}

bool Focusable(HWND h)
{
    auto w = WindowGet(h);
    return w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

HWND FirstTabItem(HWND dlg)
{
    auto d = WindowGet(dlg);
    if (!d)
        return 0;
    for (HWND c : d->children) {
        auto w = WindowGet(c);
        if (w && (w->style & WS_TABSTOP) && Focusable(c))
            return c;
    }
    return 0;
}

// The dialog's default push button (or 0).
HWND DefaultButton(HWND dlg)
{
    auto d = WindowGet(dlg);
    if (!d)
        return 0;
    for (HWND c : d->children) {
        auto w = WindowGet(c);
        if (w && w->cls->builtin == BuiltinClass::Button && (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return c;
    }
    return 0;
}

// Focuses a control as the dialog manager does: an edit gets all its text
// selected.
void FocusControl(HWND c)
{
    SetFocus(c);
    if (WindowSend(c, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        WindowSend(c, EM_SETSEL, 0, -1);
}

HWND CreateFromTemplate(HINSTANCE inst, const DLGTEMPLATE *templ, HWND parent, DLGPROC proc, LPARAM param,
                        bool modal)
{
    DialogTemplate t;
    if (!templ || !ParseTemplate(templ, t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterBuiltinClasses();
    const DeviceSettings &ds = DeviceGetSettings();
    DWORD style = t.style;
    DWORD exStyle = t.exStyle;
    if (style & DS_MODALFRAME)
        exStyle |= WS_EX_DLGMODALFRAME;
    int frame = ((style & WS_CAPTION) == WS_CAPTION || (style & DS_MODALFRAME) || (style & WS_DLGFRAME))
                    ? kModalFrame
                    : ((style & WS_BORDER) ? 1 : 0);
    int caption = (style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0;
    int cw = DluToPixelX(t.cx), ch = DluToPixelY(t.cy);
    int width = cw + 2 * frame, height = ch + 2 * frame + caption;
    int x, y;
    HWND owner = parent ? WindowTopLevel(parent) : 0;
    if (style & DS_CENTER) {
        x = (int(ds.screenWidth) - width) / 2;
        y = (int(ds.screenHeight) - height) / 2;
    } else {
        x = DluToPixelX(t.x);
        y = DluToPixelY(t.y);
        if (!(style & DS_ABSALIGN) && owner) {
            POINT o{0, 0};
            ClientToScreen(owner, &o);
            x += o.x;
            y += o.y;
        }
    }
    std::u16string cls = kDialogClassName;
    if (!t.cls.empty() && ClassFind(t.cls))
        cls = t.cls;
    HWND dlg = CreateWindowExW(exStyle, cls.c_str(), t.title.c_str(), style & ~DWORD(WS_VISIBLE), x, y, width,
                               height, owner, 0, inst, nullptr);
    if (!dlg)
        return 0;
    auto d = WindowGet(dlg);
    DialogMake(dlg, proc, modal, ResourceDialogIdOf(templ));
    DialogInfo *info = InfoOf(*d, true);
    for (const ItemTemplate &it : t.items) {
        LPCWSTR text = it.textOrd >= 0 ? MAKEINTRESOURCEW(it.textOrd) : it.text.c_str();
        HWND c = CreateWindowExW(it.exStyle, it.cls.c_str(), text, it.style | WS_CHILD, DluToPixelX(it.x),
                                 DluToPixelY(it.y), DluToPixelX(it.cx), DluToPixelY(it.cy), dlg,
                                 HMENU(it.id & 0xFFFF), inst, nullptr);
        if (!c) {
            DWORD err = GetLastError();
            DestroyWindow(dlg);
            SetLastError(err);
            return 0;
        }
        WindowSetId(*WindowGet(c), int(it.id == 0xFFFFFFFFu ? 0xFFFF : (it.id & 0xFFFF)));
    }
    HWND first = FirstTabItem(dlg);
    LRESULT init = proc ? proc(dlg, WM_INITDIALOG, WPARAM(first), param) : TRUE;
    if (!IsWindow(dlg))
        return 0;
    if (init && first && IsWindow(first))
        FocusControl(first);
    info->lastFocus = GetFocus();
    EnsureUiHooks();
    if (GetUiHooks().dialogCreated)
        GetUiHooks().dialogCreated(dlg);
    if (!IsWindow(dlg))
        return 0;
    if ((style & WS_VISIBLE) && !info->ended)
        ShowWindow(dlg, SW_SHOW);
    return dlg;
}

} // namespace

bool DialogMake(HWND hwnd, DLGPROC proc, bool modal, int resourceId)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return false;
    DialogInfo *info = InfoOf(*w, true);
    info->made = true;
    info->proc = proc;
    info->modal = modal;
    info->resourceId = resourceId;
    return true;
}

LONG_PTR *DialogLongSlot(Window &w, int index)
{
    DialogInfo *info = InfoOf(w, false);
    if (!info || !info->made)
        return nullptr;
    return index == DWL_MSGRESULT ? &info->msgResult : index == DWL_USER ? &info->user : nullptr;
}

bool QueryDialog(HWND hwnd, DialogView &out)
{
    auto w = WindowGet(hwnd);
    DialogInfo *info = w && !w->destroyed ? InfoOf(*w, false) : nullptr;
    if (!info || !info->made)
        return false;
    out.modal = info->modal;
    out.ended = info->ended;
    out.resourceId = info->resourceId;
    return true;
}

INT_PTR RunModalLoop(HWND dlg)
{
    EnsureUiHooks();
    for (;;) {
        auto d = WindowGet(dlg);
        if (!d || (d->dialog && d->dialog->ended))
            break;
        MSG m;
        if (PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                // The loop ends and the quit goes on to the outer loop.
                PostQuitMessage(int(m.wParam));
                break;
            }
            if (!IsDialogMessageW(dlg, &m)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            continue;
        }
        // Nothing waits and everything is drawn: the front end gives input.
        const UiHooks &h = GetUiHooks();
        if (!h.idle || !h.idle(dlg)) {
            // Nothing can end this dialog: end it as its close box would
            // rather than wait for ever.
            auto again = WindowGet(dlg);
            DialogInfo *info = again ? InfoOf(*again, true) : nullptr;
            if (info && !info->ended) {
                info->ended = true;
                info->result = IDCANCEL;
            }
            break;
        }
    }
    auto d = WindowGet(dlg);
    if (!d)
        return -1;
    return d->dialog ? d->dialog->result : 0;
}

LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcW(hwnd, msg, wParam, lParam);
}

} // namespace plat

using namespace plat;

// DefDlgProcW
extern "C" LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    // Borrowed, and looked up again after each call out: a page's WM_PAINT
    // comes here at every progress step.
    auto d = WindowPeek(hDlg);
    if (!d)
        return 0;
    if (Msg == WM_COMMAND && GetUiHooks().dialogCommand) {
        GetUiHooks().dialogCommand(hDlg, wParam, lParam);
        d = WindowPeek(hDlg);
        if (!d)
            return 0;
    }
    DialogInfo *info = InfoOf(*d, false);
    if (info && info->proc) {
        info->msgResult = 0;
        INT_PTR r = info->proc(hDlg, Msg, wParam, lParam);
        // The procedure may have destroyed the dialog: a window gone since
        // has no record left to use (its focus and activation are gone too).
        d = WindowPeek(hDlg);
        info = d ? InfoOf(*d, false) : nullptr;
        if (r) {
            // These messages return the procedure's own value.
            switch (Msg) {
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
            case WM_INITDIALOG:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
                return r;
            default:
                return d && d->dialog ? d->dialog->msgResult : 0;
            }
        }
    }
    switch (Msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hDlg, &r);
        HBRUSH b = CreateSolidBrush(kDialogFace);
        FillRect(HDC(wParam), &r, b);
        DeleteObject(b);
        return 1;
    }
    case WM_CLOSE: {
        // The close box answers IDCANCEL, as its Cancel button would.
        HWND cancel = GetDlgItem(hDlg, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            return 0;
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(cancel));
        return 0;
    }
    case WM_SETFOCUS:
        if (info && info->lastFocus && IsWindow(info->lastFocus) && IsDescendant(hDlg, info->lastFocus))
            SetFocus(info->lastFocus);
        return 0;
    case WM_ACTIVATE:
        if (!wParam) {
            HWND f = GetFocus();
            // GetFocus calls nothing out: d is still the dialog when it
            // is still there.
            if (d && f && IsDescendant(hDlg, f))
                InfoOf(*d, true)->lastFocus = f;
        }
        return 0;
    case WM_GETDLGCODE:
        return 0;
    case WM_COMMAND:
    case WM_INITDIALOG:
        return 0;
    default:
        return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

// DialogBoxIndirectParamW
extern "C" INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (!hDialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWndParent && !WindowCheck(hWndParent))
        return -1;
    HWND owner = hWndParent ? WindowTopLevel(hWndParent) : 0;
    HWND focus = GetFocus();
    // The owner takes no input while the dialog is up.
    bool disabled = owner && IsWindowEnabled(owner);
    if (disabled)
        EnableWindow(owner, FALSE);
    HWND dlg = CreateFromTemplate(hInstance, hDialogTemplate, owner, lpDialogFunc, dwInitParam, true);
    if (!dlg) {
        if (disabled)
            EnableWindow(owner, TRUE);
        return -1;
    }
    auto d = WindowGet(dlg);
    if (d && !(d->dialog && d->dialog->ended)) {
        ShowWindow(dlg, SW_SHOW);
        RunModalLoop(dlg);
    }
    d = WindowGet(dlg);
    INT_PTR result = d ? (d->dialog ? d->dialog->result : 0) : -1;
    if (disabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (d && GetUiHooks().dialogEnded)
        GetUiHooks().dialogEnded(dlg, result);
    if (IsWindow(dlg))
        DestroyWindow(dlg);
    // The control that had the focus before gets it back.
    if (focus && IsWindow(focus) && IsWindowEnabled(focus))
        SetFocus(focus);
    return result;
}

// CreateDialogIndirectParamW
extern "C" HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (!lpTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (hWndParent && !WindowCheck(hWndParent))
        return 0;
    return CreateFromTemplate(hInstance, lpTemplate, hWndParent, lpDialogFunc, dwInitParam, false);
}

static const DLGTEMPLATE *TemplateOf(HINSTANCE hInstance, LPCWSTR name)
{
    HRSRC r = FindResourceW(hInstance, name, RT_DIALOG);
    if (!r)
        return nullptr;
    return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(hInstance, r)));
}

// DialogBoxParamW
extern "C" INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    const DLGTEMPLATE *t = TemplateOf(hInstance, lpTemplateName);
    if (!t)
        return -1;
    return DialogBoxIndirectParamW(hInstance, t, hWndParent, lpDialogFunc, dwInitParam);
}

// CreateDialogParamW
extern "C" HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    const DLGTEMPLATE *t = TemplateOf(hInstance, lpTemplateName);
    if (!t)
        return 0;
    return CreateDialogIndirectParamW(hInstance, t, hWndParent, lpDialogFunc, dwInitParam);
}

// EndDialog
extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    auto d = WindowCheck(hDlg);
    if (!d)
        return FALSE;
    DialogInfo *info = InfoOf(*d, true);
    info->ended = true;
    info->result = nResult;
    if (!info->modal)
        ShowWindow(hDlg, SW_HIDE);
    return TRUE;
}

// GetDlgItem
extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    auto d = WindowPeek(hDlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // A progress page looks its file name up at every block: the last
    // answer stands while no window was made, destroyed or renumbered.
    HWND found = 0;
    if (d->itemAt == WindowLayout() && d->itemIdsAt == WindowIds() && d->itemId == nIDDlgItem) {
        found = d->itemFound;
    } else {
        for (HWND c : d->children) {
            auto w = WindowPeek(c);
            if (w && (w->id == nIDDlgItem || (nIDDlgItem == -1 && w->id == 0xFFFF))) {
                found = c;
                break;
            }
        }
        d->itemId = nIDDlgItem;
        d->itemFound = found;
        d->itemAt = WindowLayout();
        d->itemIdsAt = WindowIds();
    }
    if (!found)
        SetLastError(1421); // ERROR_CONTROL_ID_NOT_FOUND
    return found;
}

// GetDlgCtrlID
extern "C" int WINAPI GetDlgCtrlID(HWND hWnd)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    return w->id;
}

namespace {

// A progress page sets its file name at every block: the item
// SetDlgItemTextW found last stands while no window was made, destroyed or
// renumbered and it is still a live child of the dialog (a stale dialog's
// are stale too). None is kept at first (no window's handle is 0).
struct LastItem {
    HWND dlg = 0;
    int id = 0;
    HWND item = 0;
    uint64_t at = 0, idsAt = 0;
};
thread_local LastItem t_lastItem;

// A static's own text again (a progress page's file name, at every
// block): answered here, where its procedure would answer the same without
// calling out.
inline bool KeepsText(HWND c, LPCWSTR lpString)
{
    auto w = WindowPeek(c);
    return w && StaticKeepsText(c, *w, lpString);
}

// SetDlgItemTextW with the item looked up.
__attribute__((noinline)) BOOL SetItemTextLookedUp(HWND hDlg, int nIDDlgItem, LPCWSTR lpString)
{
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    if (!c)
        return FALSE;
    t_lastItem = LastItem{hDlg, nIDDlgItem, c, WindowLayout(), WindowIds()};
    if (KeepsText(c, lpString))
        return TRUE;
    return SetWindowTextW(c, lpString);
}

} // namespace

// SetDlgItemTextW
extern "C" BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString)
{
    const LastItem &last = t_lastItem;
    if (last.dlg == hDlg && last.id == nIDDlgItem && last.at == WindowLayout() && last.idsAt == WindowIds()) {
        HWND c = last.item;
        bool live = false, keeps = false;
        {
            auto w = WindowPeek(c);
            if (w && w->parent == hDlg) {
                live = true;
                keeps = StaticKeepsText(c, *w, lpString);
            }
        }
        if (keeps)
            return TRUE;
        if (live)
            return SetWindowTextW(c, lpString);
    }
    return SetItemTextLookedUp(hDlg, nIDDlgItem, lpString);
}

// GetDlgItemTextW
extern "C" UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax)
{
    if (lpString && cchMax > 0)
        lpString[0] = 0;
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    if (!c)
        return 0;
    return UINT(GetWindowTextW(c, lpString, cchMax));
}

// SetDlgItemInt
extern "C" BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned)
{
    std::u16string s;
    bool neg = bSigned && int(uValue) < 0;
    uint32_t v = neg ? uint32_t(-int64_t(int(uValue))) : uValue;
    do {
        s.insert(s.begin(), char16_t(u'0' + v % 10));
        v /= 10;
    } while (v);
    if (neg)
        s.insert(s.begin(), u'-');
    return SetDlgItemTextW(hDlg, nIDDlgItem, s.c_str());
}

// SendDlgItemMessageW
extern "C" LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    if (!c)
        return 0;
    return SendMessageW(c, Msg, wParam, lParam);
}

// CheckRadioButton
extern "C" BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton)
{
    auto d = WindowCheck(hDlg);
    if (!d)
        return FALSE;
    for (HWND c : std::vector<HWND>(d->children)) {
        auto w = WindowGet(c);
        if (w && w->id >= nIDFirstButton && w->id <= nIDLastButton)
            SendMessageW(c, BM_SETCHECK, w->id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

// CheckDlgButton
extern "C" BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck)
{
    HWND c = GetDlgItem(hDlg, nIDButton);
    if (!c)
        return FALSE;
    SendMessageW(c, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

// IsDlgButtonChecked
extern "C" UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton)
{
    HWND c = GetDlgItem(hDlg, nIDButton);
    if (!c)
        return 0;
    return UINT(SendMessageW(c, BM_GETCHECK, 0, 0));
}

// GetNextDlgTabItem
extern "C" HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious)
{
    auto d = WindowCheck(hDlg);
    if (!d)
        return 0;
    std::vector<HWND> tabs;
    for (HWND c : d->children) {
        auto w = WindowGet(c);
        if (w && (w->style & WS_TABSTOP) && Focusable(c))
            tabs.push_back(c);
    }
    if (tabs.empty())
        return 0;
    // Position of hCtl among all children, to step from it even when it is
    // not a tab stop itself.
    const std::vector<HWND> &all = d->children;
    size_t pos = all.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == hCtl)
            pos = i;
    if (pos == all.size())
        return bPrevious ? tabs.back() : tabs.front();
    size_t n = all.size();
    for (size_t k = 1; k <= n; ++k) {
        size_t i = bPrevious ? (pos + n - k) % n : (pos + k) % n;
        auto w = WindowGet(all[i]);
        if (w && (w->style & WS_TABSTOP) && Focusable(all[i]))
            return all[i];
    }
    return hCtl;
}

// GetNextDlgGroupItem
extern "C" HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious)
{
    auto d = WindowCheck(hDlg);
    if (!d)
        return 0;
    const std::vector<HWND> &all = d->children;
    size_t pos = all.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == hCtl)
            pos = i;
    if (pos == all.size())
        return 0;
    // The group: from the nearest WS_GROUP at or before the control up to
    // the next WS_GROUP.
    size_t first = pos;
    while (first > 0) {
        auto w = WindowGet(all[first]);
        if (w && (w->style & WS_GROUP))
            break;
        --first;
    }
    size_t last = first;
    while (last + 1 < all.size()) {
        auto w = WindowGet(all[last + 1]);
        if (w && (w->style & WS_GROUP))
            break;
        ++last;
    }
    size_t n = last - first + 1;
    for (size_t k = 1; k < n + 1; ++k) {
        size_t i = first + (bPrevious ? (pos - first + n - k) % n : (pos - first + k) % n);
        if (Focusable(all[i]))
            return all[i];
    }
    return hCtl;
}

// MapDialogRect
extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect)
{
    if (!WindowCheck(hDlg))
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpRect->left = DluToPixelX(lpRect->left);
    lpRect->right = DluToPixelX(lpRect->right);
    lpRect->top = DluToPixelY(lpRect->top);
    lpRect->bottom = DluToPixelY(lpRect->bottom);
    return TRUE;
}

// IsDialogMessageW
extern "C" BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg)
{
    if (!lpMsg || !hDlg)
        return FALSE;
    if (!WindowPeek(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!lpMsg->hwnd || !IsDescendant(hDlg, lpMsg->hwnd))
        return FALSE;
    HWND target = lpMsg->hwnd;
    LRESULT code = WindowSend(target, WM_GETDLGCODE, lpMsg->wParam, LPARAM(lpMsg));
    if (lpMsg->message == WM_KEYDOWN && !(code & DLGC_WANTALLKEYS)) {
        switch (lpMsg->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB)
                break;
            {
                // Shift+Tab goes backwards.
                HWND next = GetNextDlgTabItem(hDlg, GetFocus(), GetKeyState(VK_SHIFT) < 0);
                if (next)
                    FocusControl(next);
            }
            return TRUE;
        case VK_RETURN: {
            HWND f = GetFocus();
            HWND btn = 0;
            if (f && IsDescendant(hDlg, f) && (WindowSend(f, WM_GETDLGCODE, 0, 0) &
                                              (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
                btn = f;
            else
                btn = DefaultButton(hDlg);
            if (btn) {
                if (IsWindowEnabled(btn))
                    SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(btn), BN_CLICKED), LPARAM(btn));
            } else {
                SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            return TRUE;
        }
        case VK_ESCAPE: {
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel))
                SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(cancel));
            return TRUE;
        }
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            if (code & DLGC_WANTARROWS)
                break;
            {
                HWND f = GetFocus();
                BOOL prev = lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP;
                HWND next = f ? GetNextDlgGroupItem(hDlg, f, prev) : 0;
                if (next && next != f) {
                    FocusControl(next);
                    // Moving onto an automatic radio button checks it.
                    if ((WindowSend(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) {
                        auto nw = WindowGet(next);
                        if (nw && (nw->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                            SendMessageW(next, BM_CLICK, 0, 0);
                    }
                }
            }
            return TRUE;
        default:
            break;
        }
    }
    if (lpMsg->message == WM_CHAR && !(code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS))) {
        // Characters that no control takes are swallowed.
        return TRUE;
    }
    TranslateMessage(lpMsg);
    DispatchMessageW(lpMsg);
    return TRUE;
}
