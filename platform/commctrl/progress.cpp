// progress.cpp - the progress bar (msctls_progress32) and the common
// controls' initialisation.
#include <windows.h>

#include <commctrl.h>

#include "commctrl/progress.h"
#include "gdi/gdi.h"
#include "user/window.h"

namespace plat {
namespace {

int Clamp(const Window &w, int pos)
{
    if (pos < w.rangeMin)
        return w.rangeMin;
    if (pos > w.rangeMax)
        return w.rangeMax;
    return pos;
}

void SetPos(HWND hwnd, Window &w, int pos)
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
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_CREATE:
        w->rangeMin = 0;
        w->rangeMax = 100;
        w->pos = 0;
        w->step = 10;
        return 0;
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        LRESULT old = MAKELRESULT(w->rangeMin, w->rangeMax);
        int lo = msg == PBM_SETRANGE ? int(LOWORD(lParam)) : int(wParam);
        int hi = msg == PBM_SETRANGE ? int(HIWORD(lParam)) : int(lParam);
        w->rangeMin = lo;
        w->rangeMax = hi;
        SetPos(hwnd, *w, w->pos);
        WindowInvalidate(hwnd, true);
        return old;
    }
    case PBM_GETRANGE: {
        PBRANGE *r = reinterpret_cast<PBRANGE *>(lParam);
        if (r) {
            r->iLow = w->rangeMin;
            r->iHigh = w->rangeMax;
        }
        return wParam ? w->rangeMin : w->rangeMax;
    }
    case PBM_SETPOS: {
        int old = w->pos;
        SetPos(hwnd, *w, int(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = w->pos;
        SetPos(hwnd, *w, w->pos + int(wParam));
        return old;
    }
    case PBM_SETSTEP: {
        int old = w->step;
        w->step = int(wParam);
        return old;
    }
    case PBM_STEPIT: {
        int old = w->pos;
        int next = w->pos + w->step;
        // Stepping past the end starts again from the beginning.
        if (next > w->rangeMax)
            next = w->rangeMin + (next - w->rangeMax);
        SetPos(hwnd, *w, next);
        return old;
    }
    case PBM_GETPOS:
        return w->pos;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (!dc)
            return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        GdiFill(dc, r, kDialogFace);
        int span = w->rangeMax - w->rangeMin;
        if (span > 0) {
            long filled = long(r.right - r.left) * (w->pos - w->rangeMin) / span;
            GdiFill(dc, RECT{r.left, r.top, r.left + int(filled), r.bottom}, RGB(0, 0, 128));
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
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
