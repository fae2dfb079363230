// edit.cpp - the Edit control: one line of text with a selection.
//
// Typing replaces the selection and sends EN_CHANGE; WM_SETTEXT also sends
// EN_CHANGE, as Windows does. A read-only or disabled edit takes no typing.
// The focused edit owns the caret, a line high at the selection's end.
#include <windows.h>

#include <algorithm>

#include "gdi/gdi.h"
#include "user/query.h"
#include "user/window.h"

namespace plat {
namespace {

// An edit's selection as set: the caret is at selEnd. The text is the
// window's own.
struct EditState : ControlRecord {
    static constexpr BuiltinClass kKind = BuiltinClass::Edit;
    EditState() : ControlRecord(kKind) {}
    int selStart = 0;
    int selEnd = 0;
};

void Normalise(const Window &w, EditState &s)
{
    int n = int(w.text.size());
    s.selStart = std::clamp(s.selStart, 0, n);
    s.selEnd = std::clamp(s.selEnd, 0, n);
}

void Changed(HWND hwnd)
{
    WindowInvalidate(hwnd, true);
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
}

// Replaces the selection with s; the caret ends after it.
void Replace(Window &w, EditState &st, const std::u16string &s)
{
    Normalise(w, st);
    int a = std::min(st.selStart, st.selEnd), b = std::max(st.selStart, st.selEnd);
    w.text.replace(size_t(a), size_t(b - a), s);
    st.selStart = st.selEnd = a + int(s.size());
}

bool Editable(const Window &w)
{
    return !(w.style & ES_READONLY) && !(w.style & WS_DISABLED);
}

} // namespace

bool QueryEdit(HWND hwnd, EditView &out)
{
    auto w = WindowGet(hwnd);
    auto s = ControlQuery<EditState>(hwnd);
    if (!w || !s)
        return false;
    int n = int(w->text.size());
    out.selStart = std::clamp(s->selStart, 0, n);
    out.selEnd = std::clamp(s->selEnd, 0, n);
    return true;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    if (msg == WM_NCCREATE && !ControlMake<EditState>(*w))
        return FALSE;
    auto s = ControlOf<EditState>(*w);
    if (!s)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCDESTROY:
        w->control.reset();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_SETTEXT: {
        LPCWSTR t = reinterpret_cast<LPCWSTR>(lParam);
        w->text = t ? std::u16string(t) : std::u16string();
        // A single-line edit keeps one line.
        if (!(w->style & ES_MULTILINE)) {
            size_t nl = w->text.find_first_of(u"\r\n");
            if (nl != std::u16string::npos)
                w->text.resize(nl);
        }
        s->selStart = s->selEnd = 0;
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
            s->selStart = s->selEnd;
        } else {
            if (b == -1 || b > n)
                b = n;
            if (a > n)
                a = n;
            s->selStart = a;
            s->selEnd = b;
        }
        Normalise(*w, *s);
        WindowInvalidate(hwnd, true);
        return 0;
    }
    case EM_GETSEL: {
        Normalise(*w, *s);
        DWORD a = DWORD(std::min(s->selStart, s->selEnd)), b = DWORD(std::max(s->selStart, s->selEnd));
        if (wParam)
            *reinterpret_cast<DWORD *>(wParam) = a;
        if (lParam)
            *reinterpret_cast<DWORD *>(lParam) = b;
        return MAKELRESULT(a, b);
    }
    case EM_REPLACESEL: {
        LPCWSTR t = reinterpret_cast<LPCWSTR>(lParam);
        Replace(*w, *s, t ? std::u16string(t) : std::u16string());
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
            Normalise(*w, *s);
            if (s->selStart == s->selEnd) {
                if (s->selStart == 0)
                    return 0;
                s->selStart -= 1;
            }
            Replace(*w, *s, u"");
            Changed(hwnd);
        } else if (c >= 0x20) {
            Replace(*w, *s, std::u16string(1, c));
            Changed(hwnd);
        }
        return 0;
    }
    case WM_KEYDOWN: {
        Normalise(*w, *s);
        int n = int(w->text.size());
        switch (wParam) {
        case VK_LEFT: s->selStart = s->selEnd = std::max(0, std::min(s->selStart, s->selEnd) - 1); break;
        case VK_RIGHT: s->selStart = s->selEnd = std::min(n, std::max(s->selStart, s->selEnd) + 1); break;
        case VK_HOME: s->selStart = s->selEnd = 0; break;
        case VK_END: s->selStart = s->selEnd = n; break;
        case VK_DELETE:
            if (!Editable(*w))
                return 0;
            if (s->selStart == s->selEnd) {
                if (s->selEnd >= n)
                    return 0;
                s->selEnd += 1;
            }
            Replace(*w, *s, u"");
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
        // Placed when painted, which the invalidation brings.
        CreateCaret(hwnd, 0, 1, GdiTextHeight());
        ShowCaret(hwnd);
        NotifyParent(hwnd, EN_SETFOCUS);
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_KILLFOCUS:
        DestroyCaret();
        NotifyParent(hwnd, EN_KILLFOCUS);
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ENABLE:
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ControlPaint(hwnd, [&](HDC dc, const RECT &r) {
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
            if (GetFocus() == hwnd) {
                Normalise(*w, *s);
                int at = x + GdiTextWidth(w->text.substr(0, size_t(s->selEnd)));
                SetCaretPos(std::clamp(at, 0, std::max(0, int(r.right) - 1)), y);
            }
        });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace plat
