// screen.cpp - the device screen's framebuffer and its PNG form.
//
// The framebuffer is sized from the device settings; when the settings
// change size (another device, or a test), it is made again, white.
#include <windows.h>

#include <png.h>

#include <cstdio>
#include <memory>

#include "internal/device.h"
#include "internal/screen.h"

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

bool ScreenSavePng(const std::string &path, std::string &error)
{
    Screen &s = ScreenGet();
    std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        error = "cannot make a PNG image (out of memory)";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path;
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, s.width, s.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < s.height; ++y)
        png_write_row(png, &s.rgb[size_t(y) * s.width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace plat

