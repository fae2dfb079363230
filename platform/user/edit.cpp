// edit.cpp - the Edit control: one line of text with a selection.
//
// Typing replaces the selection and sends EN_CHANGE; WM_SETTEXT also sends
// EN_CHANGE, as Windows does. A read-only or disabled edit takes no typing.
#include <windows.h>

#include <algorithm>

#include "gdi/gdi.h"
#include "user/window.h"

namespace plat {
namespace {

void Normalise(Window &w)
{
    int n = int(w.text.size());
    w.selStart = std::clamp(w.selStart, 0, n);
    w.selEnd = std::clamp(w.selEnd, 0, n);
}

void Changed(HWND hwnd)
{
    WindowInvalidate(hwnd, true);
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
}

// Replaces the selection with s; the caret ends after it.
void Replace(Window &w, const std::u16string &s)
{
    Normalise(w);
    int a = std::min(w.selStart, w.selEnd), b = std::max(w.selStart, w.selEnd);
    w.text.replace(size_t(a), size_t(b - a), s);
    w.selStart = w.selEnd = a + int(s.size());
}

bool Editable(const Window &w)
{
    return !(w.style & ES_READONLY) && !(w.style & WS_DISABLED);
}

} // namespace

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_SETTEXT: {
        LPCWSTR s = reinterpret_cast<LPCWSTR>(lParam);
        w->text = s ? std::u16string(s) : std::u16string();
        // A single-line edit keeps one line.
        if (!(w->style & ES_MULTILINE)) {
            size_t nl = w->text.find_first_of(u"\r\n");
            if (nl != std::u16string::npos)
                w->text.resize(nl);
        }
        w->selStart = w->selEnd = 0;
        Changed(hwnd);
        return TRUE;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_SETREADONLY:
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~DWORD(ES_READONLY);
        WindowInvalidate(hwnd, true);
        return TRUE;
    case EM_SETSEL: {
        int a = int(wParam), b = int(lParam);
        int n = int(w->text.size());
        if (a == -1) {
            // -1 removes the selection, keeping the caret.
            w->selStart = w->selEnd;
        } else {
            if (b == -1 || b > n)
                b = n;
            if (a > n)
                a = n;
            w->selStart = a;
            w->selEnd = b;
        }
        Normalise(*w);
        WindowInvalidate(hwnd, true);
        return 0;
    }
    case EM_GETSEL: {
        Normalise(*w);
        DWORD a = DWORD(std::min(w->selStart, w->selEnd)), b = DWORD(std::max(w->selStart, w->selEnd));
        if (wParam)
            *reinterpret_cast<DWORD *>(wParam) = a;
        if (lParam)
            *reinterpret_cast<DWORD *>(lParam) = b;
        return MAKELRESULT(a, b);
    }
    case EM_REPLACESEL: {
        LPCWSTR s = reinterpret_cast<LPCWSTR>(lParam);
        Replace(*w, s ? std::u16string(s) : std::u16string());
        Changed(hwnd);
        return 0;
    }
    case EM_GETMODIFY:
    case EM_SETMODIFY:
    case EM_LIMITTEXT:
        return 0;
    case EM_GETLINECOUNT:
        return 1;
    case WM_CHAR: {
        if (!Editable(*w))
            return 0;
        WCHAR c = WCHAR(wParam);
        if (c == 0x08) {
            Normalise(*w);
            if (w->selStart == w->selEnd) {
                if (w->selStart == 0)
                    return 0;
                w->selStart -= 1;
            }
            Replace(*w, u"");
            Changed(hwnd);
        } else if (c >= 0x20) {
            Replace(*w, std::u16string(1, c));
            Changed(hwnd);
        }
        return 0;
    }
    case WM_KEYDOWN: {
        Normalise(*w);
        int n = int(w->text.size());
        switch (wParam) {
        case VK_LEFT: w->selStart = w->selEnd = std::max(0, std::min(w->selStart, w->selEnd) - 1); break;
        case VK_RIGHT: w->selStart = w->selEnd = std::min(n, std::max(w->selStart, w->selEnd) + 1); break;
        case VK_HOME: w->selStart = w->selEnd = 0; break;
        case VK_END: w->selStart = w->selEnd = n; break;
        case VK_DELETE:
            if (!Editable(*w))
                return 0;
            if (w->selStart == w->selEnd) {
                if (w->selEnd >= n)
                    return 0;
                w->selEnd += 1;
            }
            Replace(*w, u"");
            Changed(hwnd);
            return 0;
        default: return 0;
        }
        WindowInvalidate(hwnd, true);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_SETFOCUS:
        NotifyParent(hwnd, EN_SETFOCUS);
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_KILLFOCUS:
        NotifyParent(hwnd, EN_KILLFOCUS);
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ENABLE:
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (!dc)
            return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        bool grey = !Editable(*w);
        GdiFill(dc, r, grey ? kDialogFace : RGB(255, 255, 255));
        COLORREF color = (w->style & WS_DISABLED) ? RGB(128, 128, 128) : RGB(0, 0, 0);
        // Text that does not fit scrolls so that its end stays visible.
        int tw = GdiTextWidth(w->text);
        int x = 2;
        if (tw > r.right - 4)
            x = r.right - 2 - tw;
        int y = (r.bottom - GdiTextHeight()) / 2;
        GdiText(dc, x, y, w->text, color);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace plat
