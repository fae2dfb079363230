// screenshot.cpp - the device screen as a PNG file (--screenshots).
//
// A front-end matter: the screen itself (gdi) knows no image format, so
// that the areas below the front ends need no image library.
#include <png.h>


#include <cstdio>
#include <string>
#include <vector>

#include "frontends/frontend_internal.h"
#include "gdi/screen.h"
#include "kernel/hostfile.h"

namespace plat {

namespace {

// The PNG of the screen into f; false when libpng or the file failed.
bool WritePng(FILE *f)
{
    Screen &s = ScreenGet();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, s.width, s.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> rgb = ScreenRgb();
    for (uint32_t y = 0; y < s.height; ++y)
        png_write_row(png, &rgb[size_t(y) * s.width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool ScreenSavePng(const std::string &path, std::string &error)
{
    // Whoever watches the folder (a test, a tool) sees the whole image or
    // none, and a failed write leaves no part of one.
    std::string reason;
    if (WriteHostFileWhole(path, WritePng, reason))
        return true;
    error = "cannot write " + path + " (" + reason + ")";
    return false;
}

} // namespace plat
