// progress.h - the common controls, as the layers above see them.
#ifndef CE_PLATFORM_COMMCTRL_PROGRESS_H
#define CE_PLATFORM_COMMCTRL_PROGRESS_H

#include <windows.h>

namespace plat {

// The progress bar's class procedure (msctls_progress32).
LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);
// PBM_SETPOS as ProgressProc answers it, on the bar's window (w, borrowed:
// nothing is called out). SendMessageW, holding the window already, calls
// it straight (a copy sets the bar at every block).
struct Window;
LRESULT ProgressSetPos(HWND hwnd, Window &w, WPARAM pos);

// Registers the common controls' classes with the window manager (kept for
// the process). InitCommonControls calls it; so does opening a device.
void CommctrlRegisterClasses();

} // namespace plat

#endif
