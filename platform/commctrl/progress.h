// progress.h - the common controls, as the layers above see them.
#ifndef CE_PLATFORM_COMMCTRL_PROGRESS_H
#define CE_PLATFORM_COMMCTRL_PROGRESS_H

#include <windows.h>

namespace plat {

// The progress bar's class procedure (msctls_progress32).
LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);

// Registers the common controls' classes with the window manager (kept for
// the process). InitCommonControls calls it; so does opening a device.
void CommctrlRegisterClasses();

} // namespace plat

#endif
