// gdi_test.cpp - device contexts, bitmaps, brushes and the screen: FillRect
// and BitBlt into memory bitmaps and the framebuffer, clipping by windows
// above, GetObjectW's 24-byte BITMAP, handle checks, and the main window's
// double-buffered paint as the setup draws it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/screen.h"
#include "internal/window.h"

namespace {

class Gdi : public cetest::DeviceFixture {};

TEST_F(Gdi, BitmapDescriptionHasTheDeviceLayout)
{
    static_assert(sizeof(BITMAP) == 24, "BITMAP is 24 bytes on the device");
    HDC screen = GetDC(0);
    HBITMAP b = CreateCompatibleBitmap(screen, 300, 20);
    ASSERT_NE(b, HBITMAP(0));
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(b, sizeof bm, &bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, 300);
    EXPECT_EQ(bm.bmHeight, 20);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(GetObjectW(b, 0, nullptr), int(sizeof(BITMAP))) << "size asked with no buffer";
    SetLastError(0);
    EXPECT_EQ(GetObjectW(b, 10, &bm), 0) << "a buffer too small";
    EXPECT_TRUE(DeleteObject(b));
    SetLastError(0);
    EXPECT_EQ(GetObjectW(b, sizeof bm, &bm), 0) << "deleted bitmap";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    ReleaseDC(0, screen);
}

TEST_F(Gdi, FillRectAndBitBltBetweenMemoryBitmaps)
{
    HDC a = CreateCompatibleDC(0);
    HDC b = CreateCompatibleDC(0);
    HBITMAP ba = CreateCompatibleBitmap(a, 10, 10);
    HBITMAP bb = CreateCompatibleBitmap(b, 10, 10);
    HGDIOBJ olda = SelectObject(a, ba);
    HGDIOBJ oldb = SelectObject(b, bb);
    ASSERT_NE(olda, HGDIOBJ(0)) << "a new memory DC holds a default bitmap";
    HBRUSH red = CreateSolidBrush(RGB(200, 10, 20));
    RECT r{2, 3, 5, 6};
    EXPECT_EQ(FillRect(a, &r, red), 1);
    EXPECT_EQ(GetPixel(a, 2, 3), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(a, 4, 5), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(a, 5, 5), RGB(0, 0, 0)) << "right edge is excluded";
    EXPECT_EQ(GetPixel(a, 1, 3), RGB(0, 0, 0));
    EXPECT_TRUE(BitBlt(b, 0, 0, 4, 4, a, 2, 3, SRCCOPY));
    EXPECT_EQ(GetPixel(b, 0, 0), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(b, 2, 2), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(b, 3, 3), RGB(0, 0, 0)) << "the source's black beyond the fill";
    EXPECT_EQ(GetPixel(b, 5, 5), RGB(0, 0, 0));
    // A copy that runs past the source's edge copies only what exists.
    EXPECT_TRUE(BitBlt(b, 0, 0, 10, 10, a, 8, 8, SRCCOPY));
    EXPECT_EQ(GetPixel(b, 0, 0), RGB(0, 0, 0));
    // A selected bitmap cannot be deleted; after deselecting it can.
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(ba));
    SelectObject(a, olda);
    EXPECT_TRUE(DeleteObject(ba));
    SelectObject(b, oldb);
    DeleteObject(bb);
    DeleteObject(red);
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_TRUE(DeleteDC(b));
    EXPECT_FALSE(DeleteDC(a)) << "a DC is deleted once";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Gdi, StockObjectsHaveTheirColoursSurviveDeletionAndANewDevice)
{
    struct Case {
        int stock;
        COLORREF color;
    } cases[] = {{WHITE_BRUSH, RGB(255, 255, 255)}, {LTGRAY_BRUSH, RGB(192, 192, 192)},
                 {GRAY_BRUSH, RGB(128, 128, 128)},  {DKGRAY_BRUSH, RGB(64, 64, 64)},
                 {BLACK_BRUSH, RGB(0, 0, 0)}};
    HDC dc = CreateCompatibleDC(0);
    HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
    SelectObject(dc, bmp);
    for (const Case &c : cases) {
        HBRUSH b = GetStockObject(c.stock);
        ASSERT_NE(b, HBRUSH(0));
        RECT r{0, 0, 4, 4};
        FillRect(dc, &r, b);
        EXPECT_EQ(GetPixel(dc, 1, 1), c.color) << "stock brush " << c.stock;
        EXPECT_TRUE(DeleteObject(b)) << "deleting a stock object is allowed";
        EXPECT_EQ(GetStockObject(c.stock), b) << "and keeps it";
    }
    DeleteDC(dc);
    DeleteObject(bmp);

    GetSysColorBrush(COLOR_BTNFACE);
    Reopen({}); // every handle of the old device is gone; new objects may take their values
    dc = CreateCompatibleDC(0);
    std::vector<HBITMAP> fill;
    for (int i = 0; i < 8; ++i)
        fill.push_back(CreateCompatibleBitmap(dc, 1, 1));
    EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), DWORD(OBJ_BRUSH)) << "not a stale cached handle";
    EXPECT_EQ(GetObjectType(GetSysColorBrush(COLOR_BTNFACE)), DWORD(OBJ_BRUSH));
    for (HBITMAP b : fill)
        DeleteObject(b);
    DeleteDC(dc);
}

TEST_F(Gdi, ScreenDrawingIsClippedToTheWindowAndByWindowsAbove)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"GdiWnd";
    RegisterClassW(&wc);
    HWND below = CreateWindowExW(0, u"GdiWnd", u"", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, 0, 0, 0, nullptr);
    HWND above = CreateWindowExW(0, u"GdiWnd", u"", WS_POPUP | WS_VISIBLE, 50, 50, 100, 100, 0, 0, 0, nullptr);
    ASSERT_NE(above, HWND(0));
    HDC dc = GetDC(below);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT all{-50, -50, 500, 500};
    FillRect(dc, &all, green);
    EXPECT_EQ(plat::ScreenPixel(10, 10), RGB(0, 255, 0)) << "window origin";
    EXPECT_EQ(plat::ScreenPixel(109, 40), RGB(0, 255, 0));
    EXPECT_NE(plat::ScreenPixel(110, 40), RGB(0, 255, 0)) << "nothing outside the window";
    EXPECT_NE(plat::ScreenPixel(9, 10), RGB(0, 255, 0));
    EXPECT_NE(plat::ScreenPixel(60, 60), RGB(0, 255, 0)) << "the window above is not painted over";
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 255, 0)) << "DC coordinates start at the client origin";
    ReleaseDC(below, dc);
    DeleteObject(green);
}

TEST_F(Gdi, ScreenshotIsAPngOfTheWholeScreen)
{
    cetest::TempDir dir;
    std::string error;
    ASSERT_TRUE(plat::ScreenSavePng(dir.path + "/s.png", error)) << error;
    std::string png = cetest::ReadHostFile(dir.path + "/s.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    auto be32 = [&](size_t o) {
        return uint32_t(uint8_t(png[o])) << 24 | uint32_t(uint8_t(png[o + 1])) << 16 |
               uint32_t(uint8_t(png[o + 2])) << 8 | uint32_t(uint8_t(png[o + 3]));
    };
    EXPECT_EQ(be32(16), 240u) << "PNG width";
    EXPECT_EQ(be32(20), 320u) << "PNG height";
    EXPECT_FALSE(plat::ScreenSavePng(dir.path + "/missing/s.png", error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

} // namespace
