// screen.h - the device screen: a framebuffer of COLORREF pixels.
//
// All painting reaches it through the GDI functions; tests and the front
// ends read it here (pixels compare exactly), screenshots are made from it.
#ifndef CE_PLATFORM_SCREEN_H
#define CE_PLATFORM_SCREEN_H

#include <cstdint>
#include <string>
#include <vector>

#include "gdi/pixels.h"
#include "kernel/device.h"
#include "gdi/region.h"

namespace plat {

struct Screen {
    uint32_t width = 0;
    uint32_t height = 0;
    PixelRows pixels; // COLORREF values (0x00BBGGRR), rows top-down
};

// The screen, sized from the device settings on first use (and again when
// the settings' size changed).
Screen &ScreenMade();
// The screen once made (constant-initialised: null before).
extern Screen *g_screen;
// The same, inline while a device is open and the screen has its size:
// painting asks for the screen some fifty times a progress step.
inline Screen &ScreenGet()
{
    Screen *s = g_screen;
    const DeviceSettings *ds = g_deviceOpen;
    if (s && ds && s->width == ds->screenWidth && s->height == ds->screenHeight)
        return *s;
    return ScreenMade();
}

// The pixel at (x, y) as a COLORREF (0x00BBGGRR); 0xFFFFFFFF outside.
uint32_t ScreenPixel(int x, int y);

// The whole screen as 24-bit RGB bytes, rows top-down (for image files),
// with the caret shown over it.
std::vector<uint8_t> ScreenRgb();

// Where the caret is seen over the screen's pixels (screen rectangles;
// its pixels are shown inverted). The window manager answers it; picture:
// for an image of the screen, which always shows a caret that is shown,
// whatever the phase of its blinking.
using ScreenCaretSource = Region (*)(bool picture);
void ScreenSetCaretSource(ScreenCaretSource source);
Region ScreenCaretRects(bool picture);

} // namespace plat

#endif
