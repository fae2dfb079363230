// dib_test.cpp - SHLoadDIBitmap over a set of BMP files made here: every
// bit depth, bit fields, top-down rows, RLE8 and RLE4, the old core header,
// and damaged or foreign files that must give no bitmap.
#include <windows.h>

#include <shellapi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"

namespace {

void Put16(std::string &s, uint32_t v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

void Put32(std::string &s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

struct BmpSpec {
    int width = 4;
    int height = 3;
    int bpp = 24;
    uint32_t compression = 0;
    std::vector<COLORREF> palette;
    std::vector<uint32_t> masks; // written after a 40-byte header
    bool core = false;           // 12-byte header
    std::string data;            // pixel data as stored
};

std::string MakeBmp(const BmpSpec &b)
{
    std::string info;
    if (b.core) {
        Put32(info, 12);
        Put16(info, uint32_t(b.width));
        Put16(info, uint32_t(b.height));
        Put16(info, 1);
        Put16(info, uint32_t(b.bpp));
    } else {
        Put32(info, 40);
        Put32(info, uint32_t(b.width));
        Put32(info, uint32_t(b.height));
        Put16(info, 1);
        Put16(info, uint32_t(b.bpp));
        Put32(info, b.compression);
        Put32(info, uint32_t(b.data.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, uint32_t(b.palette.size()));
        Put32(info, 0);
        for (uint32_t m : b.masks)
            Put32(info, m);
    }
    for (COLORREF c : b.palette) {
        info += char(GetBValue(c));
        info += char(GetGValue(c));
        info += char(GetRValue(c));
        if (!b.core)
            info += char(0);
    }
    std::string out = "BM";
    Put32(out, uint32_t(14 + info.size() + b.data.size()));
    Put32(out, 0);
    Put32(out, uint32_t(14 + info.size()));
    return out + info + b.data;
}

// Rows bottom-up (or top-down), each padded to 4 bytes, from a packer of
// one row.
std::string Rows(int width, int height, int bpp, bool topDown, const std::function<void(std::string &, int)> &row)
{
    std::string out;
    size_t stride = ((size_t(width) * size_t(bpp) + 31) / 32) * 4;
    for (int r = 0; r < height; ++r) {
        int y = topDown ? r : height - 1 - r;
        std::string line;
        row(line, y);
        line.resize(stride, '\0');
        out += line;
    }
    return out;
}

int Index(int x, int y, int colors)
{
    return (x + 2 * y) % colors;
}

std::vector<COLORREF> Palette(int n)
{
    std::vector<COLORREF> p;
    for (int i = 0; i < n; ++i)
        p.push_back(RGB(i * 13 % 256, 255 - i, (i * 7) % 256));
    return p;
}

std::string Indexed(int w, int h, int bpp, int colors)
{
    return Rows(w, h, bpp, false, [&](std::string &line, int y) {
        int per = 8 / bpp;
        for (int x = 0; x < w; x += per) {
            int byte = 0;
            for (int k = 0; k < per; ++k)
                byte |= (x + k < w ? Index(x + k, y, colors) : 0) << (8 - bpp * (k + 1));
            line += char(byte);
        }
    });
}

COLORREF Direct(int x, int y)
{
    return RGB(x * 40 + 3, y * 60 + 5, (x + y) * 20 + 9);
}

class Dib : public cetest::DeviceFixture {
protected:
    // Loads the file through the device and reads back its pixels.
    HBITMAP Load(const std::string &bytes, const char *name = "pic.bmp")
    {
        cetest::WriteHostFile(CardHost(name), bytes);
        return SHLoadDIBitmap((u"\\Storage Card\\" + cetest::U16(name)).c_str());
    }
    void ExpectPixels(HBITMAP b, int w, int h, const std::function<COLORREF(int, int)> &want)
    {
        ASSERT_NE(b, HBITMAP(0)) << "the file did not load";
        BITMAP bm{};
        ASSERT_EQ(GetObjectW(b, sizeof bm, &bm), int(sizeof bm));
        EXPECT_EQ(bm.bmWidth, w);
        EXPECT_EQ(bm.bmHeight, h);
        HDC dc = CreateCompatibleDC(0);
        HGDIOBJ old = SelectObject(dc, b);
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (GetPixel(dc, x, y) != want(x, y) && bad++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << GetPixel(dc, x, y)
                                  << " not " << want(x, y);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(b);
    }
};

TEST_F(Dib, IndexedDepths)
{
    for (int bpp : {1, 4, 8}) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        int colors = 1 << bpp;
        if (colors > 16)
            colors = 20; // a short palette (biClrUsed)
        std::vector<COLORREF> pal = Palette(colors);
        BmpSpec s;
        s.width = 13;
        s.height = 5;
        s.bpp = bpp;
        s.palette = pal;
        s.data = Indexed(13, 5, bpp, colors);
        ExpectPixels(Load(MakeBmp(s)), 13, 5, [&](int x, int y) { return pal[size_t(Index(x, y, colors))]; });
    }
}

TEST_F(Dib, CoreHeaderWithThreeBytePalette)
{
    std::vector<COLORREF> pal = Palette(256);
    BmpSpec s;
    s.core = true;
    s.width = 6;
    s.height = 4;
    s.bpp = 8;
    s.palette = pal;
    s.data = Indexed(6, 4, 8, 256);
    ExpectPixels(Load(MakeBmp(s)), 6, 4, [&](int x, int y) { return pal[size_t(Index(x, y, 256))]; });
}

TEST_F(Dib, DirectColourDepthsAndRowOrder)
{
    struct Case {
        const char *name;
        int bpp;
        bool topDown;
    } cases[] = {{"24 bottom-up", 24, false}, {"24 top-down", 24, true}, {"32", 32, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec s;
        s.width = 5;
        s.height = c.topDown ? -3 : 3;
        s.bpp = c.bpp;
        s.data = Rows(5, 3, c.bpp, c.topDown, [&](std::string &line, int y) {
            for (int x = 0; x < 5; ++x) {
                COLORREF v = Direct(x, y);
                line += char(GetBValue(v));
                line += char(GetGValue(v));
                line += char(GetRValue(v));
                if (c.bpp == 32)
                    line += char(0x55); // ignored
            }
        });
        ExpectPixels(Load(MakeBmp(s)), 5, 3, Direct);
    }
}

TEST_F(Dib, SixteenBitsAndBitFields)
{
    // 5-bit channels 0, 16 and 31 widen to 0, 132 and 255.
    auto widen5 = [](int c) { return (c << 3) | (c >> 2); };
    auto widen6 = [](int c) { return (c << 2) | (c >> 4); };
    {
        SCOPED_TRACE("16 bits 5-5-5");
        BmpSpec s;
        s.width = 3;
        s.height = 2;
        s.bpp = 16;
        int vals[3] = {0, 16, 31};
        s.data = Rows(3, 2, 16, false, [&](std::string &line, int y) {
            for (int x = 0; x < 3; ++x)
                Put16(line, uint32_t(vals[x] << 10 | vals[(x + y) % 3] << 5 | vals[2 - x]));
        });
        ExpectPixels(Load(MakeBmp(s)), 3, 2, [&](int x, int y) {
            return RGB(widen5(vals[x]), widen5(vals[(x + y) % 3]), widen5(vals[2 - x]));
        });
    }
    {
        SCOPED_TRACE("16 bits 5-6-5 bit fields");
        BmpSpec s;
        s.width = 2;
        s.height = 2;
        s.bpp = 16;
        s.compression = BI_BITFIELDS;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.data = Rows(2, 2, 16, false, [&](std::string &line, int y) {
            for (int x = 0; x < 2; ++x)
                Put16(line, uint32_t((x ? 31 : 0) << 11 | (y ? 63 : 32) << 5 | 16));
        });
        ExpectPixels(Load(MakeBmp(s)), 2, 2,
                     [&](int x, int y) { return RGB(x ? 255 : 0, widen6(y ? 63 : 32), widen5(16)); });
    }
    {
        SCOPED_TRACE("32 bits with swapped bit fields");
        BmpSpec s;
        s.width = 2;
        s.height = 1;
        s.bpp = 32;
        s.compression = BI_BITFIELDS;
        s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000}; // red in the low byte
        s.data = Rows(2, 1, 32, false, [&](std::string &line, int) {
            Put32(line, 0x00302010);
            Put32(line, 0x00A0B0C0);
        });
        ExpectPixels(Load(MakeBmp(s)), 2, 1, [&](int x, int) { return x ? RGB(0xC0, 0xB0, 0xA0) : RGB(0x10, 0x20, 0x30); });
    }
}

TEST_F(Dib, RunLengthEncoded)
{
    std::vector<COLORREF> pal = Palette(16);
    {
        SCOPED_TRACE("RLE8");
        // Bottom row: a run of 3 of colour 1, an absolute run 4 5 6, end of
        // line; next row: a delta of 2 right, a run of 2 of colour 7, end of
        // bitmap. Pixels not written stay colour 0 of the background (black).
        std::string d;
        d += std::string("\x03\x01", 2);
        d += std::string("\x00\x03\x04\x05\x06\x00", 6); // absolute, padded to a word
        d += std::string("\x00\x00", 2);
        d += std::string("\x00\x02\x02\x00", 4);
        d += std::string("\x02\x07", 2);
        d += std::string("\x00\x01", 2);
        BmpSpec s;
        s.width = 6;
        s.height = 2;
        s.bpp = 8;
        s.compression = BI_RLE8;
        s.palette = pal;
        s.data = d;
        ExpectPixels(Load(MakeBmp(s)), 6, 2, [&](int x, int y) {
            if (y == 1) // bottom row of the file
                return x < 3 ? pal[1] : pal[size_t(x + 1)];
            return (x == 2 || x == 3) ? pal[7] : RGB(0, 0, 0);
        });
    }
    {
        SCOPED_TRACE("RLE4");
        std::string d;
        d += std::string("\x05\x12", 2);             // 1 2 1 2 1
        d += std::string("\x00\x03\x34\x50", 4); // absolute 3 4 5: two bytes, a whole word
        d += std::string("\x00\x00\x00\x01", 4);
        BmpSpec s;
        s.width = 8;
        s.height = 1;
        s.bpp = 4;
        s.compression = BI_RLE4;
        s.palette = pal;
        s.data = d;
        int want[8] = {1, 2, 1, 2, 1, 3, 4, 5};
        ExpectPixels(Load(MakeBmp(s)), 8, 1, [&](int x, int) { return pal[size_t(want[x])]; });
    }
}

TEST_F(Dib, MissingOrForeignFilesGiveNoBitmap)
{
    EXPECT_EQ(SHLoadDIBitmap(u"\\Storage Card\\none.bmp"), HBITMAP(0)) << "missing file";
    EXPECT_EQ(SHLoadDIBitmap(nullptr), HBITMAP(0));
    BmpSpec good;
    good.width = 4;
    good.height = 4;
    good.bpp = 24;
    good.data = Rows(4, 4, 24, false, [](std::string &line, int) { line.assign(12, '\x11'); });
    std::string ok = MakeBmp(good);
    ASSERT_NE(Load(ok), HBITMAP(0)) << "the base file is good";
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"a text file", "This is not a bitmap at all, just text.\n"},
        {"cut in the pixels", ok.substr(0, ok.size() - 20)},
        {"cut in the header", ok.substr(0, 30)},
        {"PNG signature", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(60, '\0')},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Load(c.bytes, "bad.bmp"), HBITMAP(0)) << c.what;
    // Header fields out of range.
    auto patched = [&](size_t off, uint32_t v) {
        std::string b = ok;
        b[off] = char(v & 0xFF);
        b[off + 1] = char((v >> 8) & 0xFF);
        b[off + 2] = char((v >> 16) & 0xFF);
        b[off + 3] = char(v >> 24);
        return b;
    };
    EXPECT_EQ(Load(patched(18, 0), "bad.bmp"), HBITMAP(0)) << "zero width";
    EXPECT_EQ(Load(patched(18, 0x7FFFFFFF), "bad.bmp"), HBITMAP(0)) << "absurd width";
    EXPECT_EQ(Load(patched(10, 0x7FFFFFF0), "bad.bmp"), HBITMAP(0)) << "pixel offset past the file";
    EXPECT_EQ(Load(patched(30, 7), "bad.bmp"), HBITMAP(0)) << "unknown compression";
}

TEST_F(Dib, MutatedFilesNeverReadPastTheirData)
{
    // Random damage to good files of each kind: every result is either no
    // bitmap or a bitmap of a sane size (run under the sanitizers this also
    // catches any read past the file's data).
    std::vector<std::string> seeds;
    {
        BmpSpec s;
        s.width = 7;
        s.height = 5;
        s.bpp = 8;
        s.compression = BI_RLE8;
        s.palette = Palette(16);
        s.data = std::string("\x04\x02\x00\x03\x01\x02\x03\x00\x00\x00\x00\x02\x01\x01\x02\x05\x00\x01", 18);
        seeds.push_back(MakeBmp(s));
        s.bpp = 4;
        s.compression = BI_RLE4;
        seeds.push_back(MakeBmp(s));
        s.bpp = 4;
        s.compression = BI_RGB;
        s.data = Indexed(7, 5, 4, 16);
        seeds.push_back(MakeBmp(s));
        s.bpp = 16;
        s.compression = BI_BITFIELDS;
        s.palette.clear();
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.data = Rows(7, 5, 16, false, [](std::string &line, int y) { line.assign(14, char(y * 31)); });
        seeds.push_back(MakeBmp(s));
    }
    uint32_t x = 2463534242u;
    auto next = [&]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        std::string b = seeds[size_t(round) % seeds.size()];
        int edits = 1 + int(next() % 4);
        for (int k = 0; k < edits; ++k) {
            size_t at = next() % b.size();
            b[at] = char(next());
        }
        if (next() % 5 == 0)
            b.resize(next() % b.size());
        HBITMAP h = Load(b, "m.bmp");
        if (!h)
            continue;
        ++loaded;
        BITMAP bm{};
        ASSERT_EQ(GetObjectW(h, sizeof bm, &bm), int(sizeof bm));
        EXPECT_GT(bm.bmWidth, 0);
        EXPECT_LE(int64_t(bm.bmWidth) * bm.bmHeight, int64_t(1) << 26) << "round " << round;
        DeleteObject(h);
    }
    EXPECT_GT(loaded, 0) << "some damaged files still decode (damage in the pixels only)";
}

TEST_F(Dib, PathsOutsideTheDeviceAreRefused)
{
    cetest::WriteHostFile(root.path + "/outside.bmp", "BM");
    EXPECT_EQ(SHLoadDIBitmap(u"\\..\\outside.bmp"), HBITMAP(0));
    EXPECT_EQ(SHLoadDIBitmap(u"\\\\server\\share\\a.bmp"), HBITMAP(0));
}

} // namespace
