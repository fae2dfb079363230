// screenshot.cpp - the device screen as a PNG file (--screenshots).
//
// A front-end matter: the screen itself (gdi) knows no image format, so
// that the areas below the front ends need no image library.
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frontends/frontend_internal.h"
#include "gdi/screen.h"

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
    // Written beside the file under a name of its own, then renamed over
    // it: whoever watches the folder (a test, a tool) sees the whole image
    // or none, and a failed write leaves no part of one.
    size_t slash = path.rfind('/');
    std::string temp = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
                       path.substr(slash == std::string::npos ? 0 : slash + 1) + "." + std::to_string(getpid()) +
                       ".tmp";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    bool written = WritePng(f);
    written = std::fflush(f) == 0 && !std::ferror(f) && written;
    written = std::fclose(f) == 0 && written;
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace plat
