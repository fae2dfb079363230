// windows.h - the emulated Windows CE platform, as the system's code sees it.
//
// Only what the system uses is declared. Each area has its own header, named
// like the platform's own, and owns the declarations in it.
#ifndef CE_WINDOWS_H
#define CE_WINDOWS_H

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winnls.h"
#include "winreg.h"
#include "wingdi.h"
#include "winuser.h"

#endif
