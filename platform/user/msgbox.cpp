// msgbox.cpp - MessageBoxW: a modal dialog of the platform with the
// buttons and icon of its style.
//
// The box is made of ordinary windows (a dialog, its text, icon and
// buttons) and runs the dialog manager's modal loop, so the front ends see
// and answer it like a page. Its result is the id of the pressed button:
// 1 OK, 2 Cancel, 6 Yes, 7 No.
#include <windows.h>

#include <algorithm>
#include <mutex>

#include "user/class.h"
#include "kernel/device.h"
#include "gdi/gdi.h"
#include "user/msgbox.h"
#include "user/query.h"
#include "user/resources.h"
#include "user/window.h"

namespace plat {


namespace {

std::mutex g_hookLock;
MessageBoxHook g_hook;

struct BoxButton {
    int id;
    const char16_t *text;
};

std::vector<BoxButton> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO: return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default: return {{IDOK, u"OK"}};
    }
}

// The message boxes MessageBoxW shows now (one inside another too), with
// their text and style: the box's procedure and the front ends read them.
struct ShownBox {
    HWND box;
    std::u16string text;
    UINT type;
};
std::mutex g_boxLock;
std::vector<ShownBox> g_boxes;

// Keeps a box in g_boxes while MessageBoxW runs it.
struct BoxShown {
    HWND box;
    BoxShown(HWND b, const std::u16string &text, UINT type) : box(b)
    {
        std::lock_guard<std::mutex> guard(g_boxLock);
        g_boxes.push_back(ShownBox{b, text, type});
    }
    ~BoxShown()
    {
        std::lock_guard<std::mutex> guard(g_boxLock);
        g_boxes.erase(std::remove_if(g_boxes.begin(), g_boxes.end(), [&](const ShownBox &s) { return s.box == box; }),
                      g_boxes.end());
    }
};

bool FindBox(HWND box, MessageBoxView &out)
{
    std::lock_guard<std::mutex> guard(g_boxLock);
    for (const ShownBox &s : g_boxes)
        if (s.box == box) {
            out.text = s.text;
            out.type = s.type;
            return true;
        }
    return false;
}

INT_PTR CALLBACK MsgBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg != WM_COMMAND)
        return FALSE;
    MessageBoxView box;
    if (!FindBox(hwnd, box))
        return FALSE;
    int id = LOWORD(wParam);
    std::vector<BoxButton> buttons = ButtonsOf(box.type);
    bool has = std::any_of(buttons.begin(), buttons.end(), [&](const BoxButton &b) { return b.id == id; });
    if (!has && id == IDCANCEL && buttons.size() == 1)
        id = buttons[0].id; // the close box of a one-button box presses it
    else if (!has)
        return TRUE;
    EndDialog(hwnd, id);
    return TRUE;
}

} // namespace

bool QueryMessageBox(HWND hwnd, MessageBoxView &out)
{
    return IsWindow(hwnd) && FindBox(hwnd, out);
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    g_hook = std::move(hook);
}

} // namespace plat

using namespace plat;

// MessageBoxW
extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType)
{
    if (hWnd && !WindowCheck(hWnd))
        return 0;
    std::u16string text = lpText ? std::u16string(lpText) : std::u16string();
    std::u16string caption = lpCaption ? std::u16string(lpCaption) : std::u16string(u"Error");
    {
        MessageBoxHook hook;
        {
            std::lock_guard<std::mutex> guard(g_hookLock);
            hook = g_hook;
        }
        if (hook)
            return hook(hWnd, text, caption, uType);
    }
    RegisterBuiltinClasses();
    EnsureUiHooks();
    std::vector<BoxButton> buttons = ButtonsOf(uType);
    UINT icon = uType & MB_ICONMASK;
    const DeviceSettings &ds = DeviceGetSettings();
    int sw = int(ds.screenWidth), sh = int(ds.screenHeight);

    // Layout: icon at the left, the text wrapped beside it, buttons below.
    int iconW = icon ? 32 + 8 : 0;
    int btnW = 50, btnH = 20, gap = 6, margin = 8;
    int buttonsW = int(buttons.size()) * btnW + int(buttons.size() - 1) * gap;
    int maxClient = std::max(60, sw - 2 * kModalFrame - 8);
    int textW = std::min(maxClient - 2 * margin - iconW, std::max(GdiTextWidth(text), 60));
    // Count wrapped lines by measuring the text in the same way it is drawn.
    int lines = 0;
    {
        size_t start = 0;
        while (start <= text.size()) {
            size_t nl = text.find(u'\n', start);
            std::u16string para = text.substr(start, nl == std::u16string::npos ? std::u16string::npos : nl - start);
            int pw = GdiTextWidth(para);
            lines += std::max(1, (pw + textW - 1) / std::max(1, textW) + (pw > textW ? 1 : 0));
            if (nl == std::u16string::npos)
                break;
            start = nl + 1;
        }
    }
    int textH = lines * GdiTextHeight();
    int clientW = std::min(maxClient, std::max(buttonsW, iconW + textW) + 2 * margin);
    int clientH = std::max(textH, icon ? 32 : 0) + btnH + 3 * margin;
    int maxH = sh - 2 * kModalFrame - kCaptionHeight;
    if (clientH > maxH)
        clientH = maxH;
    int width = clientW + 2 * kModalFrame, height = clientH + 2 * kModalFrame + kCaptionHeight;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    HWND owner = hWnd ? WindowTopLevel(hWnd) : 0;
    HWND box = CreateWindowExW(WS_EX_DLGMODALFRAME, kDialogClassName, caption.c_str(), style, (sw - width) / 2,
                               (sh - height) / 2, width, height, owner, 0, kProgramInstance, nullptr);
    if (!box)
        return 0;
    DialogMake(box, MsgBoxProc, true, -1);
    BoxShown shown(box, text, uType);

    HICON symbol = 0;
    if (icon) {
        // The icons of the four styles: stop, question, exclamation and
        // information.
        COLORREF colour = icon == MB_ICONHAND ? RGB(200, 0, 0)
                          : icon == MB_ICONEXCLAMATION ? RGB(210, 160, 0)
                                                       : RGB(0, 64, 200);
        char16_t mark = icon == MB_ICONHAND ? u'X' : icon == MB_ICONQUESTION ? u'?' : icon == MB_ICONEXCLAMATION ? u'!' : u'i';
        symbol = GdiCreateSymbolIcon(32, colour, mark);
        HWND ic = CreateWindowExW(0, u"Static", u"", WS_CHILD | WS_VISIBLE | SS_ICON, margin, margin, 32, 32, box,
                                  HMENU(0xFFFF), kProgramInstance, nullptr);
        SendMessageW(ic, STM_SETICON, WPARAM(symbol), 0);
    }
    CreateWindowExW(0, u"Static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, margin + iconW,
                    margin, textW, std::max(0, clientH - btnH - 3 * margin), box, HMENU(0xFFFF), kProgramInstance,
                    nullptr);
    int bx = (clientW - buttonsW) / 2, by = clientH - margin - btnH;
    size_t def = (uType & MB_DEFMASK) >> 8;
    if (def >= buttons.size())
        def = 0;
    HWND defBtn = 0;
    for (size_t i = 0; i < buttons.size(); ++i) {
        DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND btn = CreateWindowExW(0, u"Button", buttons[i].text, bs, bx, by, btnW, btnH, box,
                                   HMENU(uintptr_t(buttons[i].id)), kProgramInstance, nullptr);
        if (i == def)
            defBtn = btn;
        bx += btnW + gap;
    }
    HWND focus = GetFocus();
    bool disabled = owner && IsWindowEnabled(owner);
    if (disabled)
        EnableWindow(owner, FALSE);
    if (GetUiHooks().dialogCreated)
        GetUiHooks().dialogCreated(box);
    ShowWindow(box, SW_SHOW);
    if (defBtn)
        SetFocus(defBtn);
    INT_PTR result = RunModalLoop(box);
    if (disabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (GetUiHooks().dialogEnded)
        GetUiHooks().dialogEnded(box, result);
    if (IsWindow(box))
        DestroyWindow(box);
    if (symbol)
        DestroyIcon(symbol);
    // The control that had the focus before gets it back.
    if (focus && IsWindow(focus) && IsWindowEnabled(focus))
        SetFocus(focus);
    return int(result);
}
