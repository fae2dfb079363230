// main_window_test.cpp - the main window's painting on the device screen
// (dark blue ground, the setup bitmap placed or cropped by its width), and
// message 207 when the window cannot be made.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/msgbox.h"
#include "gdi/screen.h"
#include "script/script.h"
#include "setup/setup.h"

#include <string>
#include <vector>

namespace {

// A 24-bit BMP whose pixel (x, y) has red x % 256, green x / 256 + 1 and
// blue 7 + y, so that a screen pixel tells which source pixel it shows.
std::string ColumnBmp(int width, int height)
{
    const uint32_t rowSize = (width * 3 + 3) & ~3, dataSize = rowSize * height;
    // The two headers after "BM" fall in whole 32-bit little-endian fields;
    // planes (1) and bits per pixel (24) share one.
    const uint32_t head[13] = {54 + dataSize, 0, 54, 40, uint32_t(width), uint32_t(height), 1 | 24 << 16, 0,
                               dataSize, 2835, 2835, 0, 0};
    std::string s = "BM" + std::string(reinterpret_cast<const char *>(head), sizeof head);
    for (int row = height - 1; row >= 0; --row) { // bottom-up
        for (int x = 0; x < width; ++x)
            s += {char(7 + row), char(x / 256 + 1), char(x % 256)}; // blue, green, red
        s.resize(s.size() + rowSize - width * 3, '\0');
    }
    return s;
}

uint32_t SourcePixel(int x, int y)
{
    return uint32_t(x % 256) | (uint32_t(x / 256 + 1) << 8) | (uint32_t(7 + y) << 16);
}

const uint32_t kGround = 0x00C40000; // red 0, green 0, blue 196

class MainWindowTest : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        Clear();
        cetest::DeviceFixture::TearDown();
    }
    // Destroys the window, its class and the bitmap.
    void Clear()
    {
        if (hwnd && IsWindow(hwnd))
            DestroyWindow(hwnd);
        hwnd = 0;
        UnregisterClassW(u"VeltronaParvellMainWndClass", plat::kProgramInstance);
        if (g_hSetupBitmap)
            DeleteObject(g_hSetupBitmap);
        g_hSetupBitmap = 0;
        MSG m; // the quit message posted by WM_DESTROY must not reach later tests
        while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) {
        }
    }

    void Paint(int bitmapWidth, int bitmapHeight)
    {
        if (bitmapWidth) {
            cetest::WriteHostFile(CardHost("pic.bmp"), ColumnBmp(bitmapWidth, bitmapHeight));
            g_hSetupBitmap = SHLoadDIBitmap((LPCWSTR)u"\\Storage Card\\pic.bmp");
            ASSERT_NE(g_hSetupBitmap, 0u) << "the test bitmap loads";
        }
        hwnd = CreateMainWindow(plat::kProgramInstance);
        ASSERT_NE(hwnd, 0u) << "main window";
        InvalidateRect(hwnd, NULL, FALSE);
        UpdateWindow(hwnd);
    }

    HWND hwnd = 0;
};

// The ground is solid blue; a bitmap narrower than the 241-pixel paint
// area sits 5 pixels in, one as wide or wider is cropped to its middle.
TEST_F(MainWindowTest, BitmapPlacement)
{
    struct Pixel {
        int x, y;
        uint32_t want;
    };
    const struct {
        const char *what;
        int width, height;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"no bitmap", 0, 0,
         {{0, 0, kGround}, {5, 5, kGround}, {239, 319, kGround}}},
        {"wide: source x 29 at x 0", 300, 30,
         {{0, 5, SourcePixel(29, 0)}, {100, 20, SourcePixel(129, 15)}, {239, 34, SourcePixel(268, 29)},
          {0, 4, kGround}, {10, 35, kGround}}},
        {"narrow: uncropped at (5, 5)", 200, 30,
         {{5, 5, SourcePixel(0, 0)}, {204, 34, SourcePixel(199, 29)}, {4, 5, kGround}, {205, 5, kGround},
          {5, 4, kGround}}},
        {"the area's width is not cropped; the rest runs off the screen", 241, 10,
         {{5, 5, SourcePixel(0, 0)}, {239, 5, SourcePixel(234, 0)}}},
    };
    for (const auto &c : cases) {
        Paint(c.width, c.height);
        for (const auto &p : c.pixels)
            EXPECT_EQ(plat::ScreenPixel(p.x, p.y), p.want) << c.what << ": pixel " << p.x << "," << p.y;
        Clear();
    }
}

TEST_F(MainWindowTest, WindowThatCannotBeMadeShows207AndExitsWithZero)
{
    // The class name is taken already, so the main window cannot be made.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = plat::kProgramInstance;
    wc.lpszClassName = u"VeltronaParvellMainWndClass";
    ASSERT_NE(RegisterClassW(&wc), 0);
    std::vector<std::string> seen;
    plat::SetMessageBoxHook([&](HWND, const std::u16string &text, const std::u16string &caption, UINT type) {
        seen.push_back(cetest::U8(caption) + "|" + cetest::U8(text) + "|" + std::to_string(type));
        return IDOK;
    });
    EXPECT_EQ(SetupMain(plat::kProgramInstance, 0, (LPWSTR)u"", SW_SHOW), 0);
    plat::SetMessageBoxHook(nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Setup|Cannot initialize Setup. Probably insufficient memory or system resources.|16");
}

} // namespace
