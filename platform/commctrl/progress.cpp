// progress.cpp - the progress bar (msctls_progress32) and the common
// controls' initialisation.
#include <windows.h>

#include <algorithm>

#include <commctrl.h>

#include "commctrl/progress.h"
#include "gdi/gdi.h"
#include "user/window.h"

namespace plat {
namespace {

// A progress bar's range, position and step.
struct ProgressState : ControlRecord {
    static constexpr BuiltinClass kKind = BuiltinClass::Progress;
    ProgressState() : ControlRecord(kKind) {}
    int rangeMin = 0;
    int rangeMax = 100;
    int pos = 0;
    int step = 10;
};

int Clamp(const ProgressState &w, int pos)
{
    if (pos < w.rangeMin)
        return w.rangeMin;
    if (pos > w.rangeMax)
        return w.rangeMax;
    return pos;
}

void SetPos(HWND hwnd, ProgressState &w, int pos)
{
    pos = Clamp(w, pos);
    if (pos != w.pos) {
        w.pos = pos;
        WindowInvalidate(hwnd, true);
    }
}

} // namespace

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The position, set at every block of a copy: only invalidating is
    // done, no procedure runs, so nothing is held.
    if (msg == PBM_SETPOS) {
        auto w = WindowPeek(hwnd);
        if (ProgressState *s = w ? ControlPeek<ProgressState>(*w) : nullptr) {
            int old = s->pos;
            SetPos(hwnd, *s, int(wParam));
            return old;
        }
    }
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    if (msg == WM_NCCREATE && !ControlMake<ProgressState>(*w))
        return FALSE;
    auto s = ControlOf<ProgressState>(*w);
    if (!s)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCDESTROY:
        w->control.reset();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        LRESULT old = MAKELRESULT(s->rangeMin, s->rangeMax);
        int lo = msg == PBM_SETRANGE ? int(LOWORD(lParam)) : int(wParam);
        int hi = msg == PBM_SETRANGE ? int(HIWORD(lParam)) : int(lParam);
        s->rangeMin = lo;
        s->rangeMax = hi;
        SetPos(hwnd, *s, s->pos);
        WindowInvalidate(hwnd, true);
        return old;
    }
    case PBM_GETRANGE: {
        PBRANGE *r = reinterpret_cast<PBRANGE *>(lParam);
        if (r) {
            r->iLow = s->rangeMin;
            r->iHigh = s->rangeMax;
        }
        return wParam ? s->rangeMin : s->rangeMax;
    }
    case PBM_SETPOS: {
        int old = s->pos;
        SetPos(hwnd, *s, int(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = s->pos;
        SetPos(hwnd, *s, s->pos + int(wParam));
        return old;
    }
    case PBM_SETSTEP: {
        int old = s->step;
        s->step = int(wParam);
        return old;
    }
    case PBM_STEPIT: {
        int old = s->pos;
        int next = s->pos + s->step;
        // Stepping past the end starts again from the beginning.
        if (next > s->rangeMax)
            next = s->rangeMin + (next - s->rangeMax);
        SetPos(hwnd, *s, next);
        return old;
    }
    case PBM_GETPOS:
        return s->pos;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ControlPaint(hwnd, [&](HDC dc, const RECT &r) {
            // The filled part and the rest, each once: a bar painted again
            // where it stands (most blocks of a copy move it by nothing)
            // then changes no pixel.
            int span = s->rangeMax - s->rangeMin;
            long filled = span > 0 ? long(r.right - r.left) * (s->pos - s->rangeMin) / span : 0;
            int split = r.left + int(std::clamp(filled, 0L, long(r.right - r.left)));
            GdiFill(dc, RECT{r.left, r.top, split, r.bottom}, RGB(0, 0, 128));
            GdiFill(dc, RECT{split, r.top, r.right, r.bottom}, kDialogFace);
        });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void CommctrlRegisterClasses()
{
    RegisterBuiltinClass(u"msctls_progress32", ProgressProc, BuiltinClass::Progress);
}

} // namespace plat

using namespace plat;

// InitCommonControls
extern "C" void WINAPI InitCommonControls(void)
{
    CommctrlRegisterClasses();
}
