// screen.cpp - the device screen's framebuffer.
//
// The framebuffer is sized from the device settings; when the settings
// change size (another device, or a test), it is made again, white.
#include <windows.h>

#include "kernel/device.h"
#include "gdi/screen.h"

namespace plat {

Screen *g_screen = nullptr;

Screen &ScreenMade()
{
    static Screen screen;
    g_screen = &screen;
    uint32_t w = 240, h = 320;
    if (DeviceIsOpen()) {
        const DeviceSettings &ds = DeviceGetSettings();
        w = ds.screenWidth;
        h = ds.screenHeight;
    }
    // The size changes only with the pixels: readers index by it.
    if ((screen.width != w || screen.height != h) && screen.pixels.Reset(int(w), int(h), RGB(255, 255, 255))) {
        screen.width = w;
        screen.height = h;
    }
    return screen;
}

uint32_t ScreenPixel(int x, int y)
{
    Screen &s = ScreenGet();
    if (x < 0 || y < 0 || uint32_t(x) >= s.width || uint32_t(y) >= s.height)
        return 0xFFFFFFFFu;
    return s.pixels.Read(y)[x];
}

std::vector<uint8_t> ScreenRgb()
{
    Screen &s = ScreenGet();
    std::vector<uint8_t> rgb(size_t(s.width) * s.height * 3);
    uint8_t *out = rgb.data();
    for (uint32_t y = 0; y < s.height; ++y) {
        const uint32_t *row = s.pixels.Read(int(y));
        for (uint32_t x = 0; x < s.width; ++x, out += 3) {
            out[0] = GetRValue(row[x]);
            out[1] = GetGValue(row[x]);
            out[2] = GetBValue(row[x]);
        }
    }
    for (const RECT &r : ScreenCaretRects(true))
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                for (int k = 0; k < 3; ++k)
                    rgb[(size_t(y) * s.width + size_t(x)) * 3 + size_t(k)] ^= 0xFF;
    return rgb;
}

namespace {
// Constant-initialised: the caret sets it from a static initialiser.
ScreenCaretSource g_caretSource = nullptr;
} // namespace

void ScreenSetCaretSource(ScreenCaretSource source)
{
    g_caretSource = source;
}

Region ScreenCaretRects(bool picture)
{
    Region out;
    if (g_caretSource) {
        // Only what lies on the screen: readers index pixels by it.
        Screen &s = ScreenGet();
        out = g_caretSource(picture);
        RegionClip(out, RECT{0, 0, int(s.width), int(s.height)});
    }
    return out;
}

} // namespace plat
