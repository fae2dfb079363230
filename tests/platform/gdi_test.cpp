// gdi_test.cpp - device contexts and bitmaps: FillRect and BitBlt between
// memory bitmaps, and handle checks (screen drawing: render_test).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"

namespace {

class Gdi : public cetest::DeviceFixture {};

TEST_F(Gdi, FillRectAndBitBltBetweenMemoryBitmaps)
{
    HDC a = CreateCompatibleDC(0), b = CreateCompatibleDC(0);
    HBITMAP ba = CreateCompatibleBitmap(a, 10, 10), bb = CreateCompatibleBitmap(b, 10, 10);
    HGDIOBJ olda = SelectObject(a, ba);
    SelectObject(b, bb);
    HBRUSH red = CreateSolidBrush(RGB(200, 10, 20));
    RECT r{2, 3, 5, 6};
    EXPECT_EQ(FillRect(a, &r, red), 1);
    EXPECT_EQ(GetPixel(a, 4, 5), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(a, 5, 5), RGB(0, 0, 0)) << "right edge is excluded";
    EXPECT_TRUE(BitBlt(b, 0, 0, 4, 4, a, 2, 3, SRCCOPY));
    EXPECT_EQ(GetPixel(b, 2, 2), RGB(200, 10, 20));
    EXPECT_EQ(GetPixel(b, 3, 3), RGB(0, 0, 0)) << "the source's black beyond the fill";
    // A selected bitmap cannot be deleted; after deselecting it can.
    EXPECT_FALSE(DeleteObject(ba));
    SelectObject(a, olda);
    EXPECT_TRUE(DeleteObject(ba));
    BITMAP bm{};
    SetLastError(0);
    EXPECT_EQ(GetObjectW(ba, sizeof bm, &bm), 0) << "deleted bitmap";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    DeleteObject(red);
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_FALSE(DeleteDC(a)) << "a DC is deleted once";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    DeleteDC(b);
    DeleteObject(bb);
}

} // namespace
