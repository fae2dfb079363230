// screen.cpp - the device screen's framebuffer.
//
// The framebuffer is sized from the device settings; when the settings
// change size (another device, or a test), it is made again, white.
#include <windows.h>

#include "kernel/device.h"
#include "gdi/screen.h"

namespace plat {

Screen &ScreenGet()
{
    static Screen screen;
    uint32_t w = 240, h = 320;
    if (DeviceIsOpen()) {
        w = DeviceGetSettings().screenWidth;
        h = DeviceGetSettings().screenHeight;
    }
    if (screen.width != w || screen.height != h || screen.rgb.size() != size_t(w) * h * 3) {
        screen.width = w;
        screen.height = h;
        screen.rgb.assign(size_t(w) * h * 3, 0xFF);
    }
    return screen;
}

uint32_t ScreenPixel(int x, int y)
{
    Screen &s = ScreenGet();
    if (x < 0 || y < 0 || uint32_t(x) >= s.width || uint32_t(y) >= s.height)
        return 0xFFFFFFFFu;
    const uint8_t *p = &s.rgb[(size_t(y) * s.width + size_t(x)) * 3];
    return RGB(p[0], p[1], p[2]);
}

} // namespace plat

