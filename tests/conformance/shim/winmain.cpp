// winmain.cpp (Windows build shim) - the desktop entry point of the setup
// program; on the device the loader calls SetupMain.
#include <windows.h>

#include "setup/setup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show)
{
    return SetupMain(instance, nullptr, cmdLine, show);
}
