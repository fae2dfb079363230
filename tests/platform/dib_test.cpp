// dib_test.cpp - SHLoadDIBitmap over BMP files made here: every bit depth,
// top-down rows, RLE, and damaged or foreign files that must give no
// bitmap.
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

struct BmpLayout {
    int width, height, bpp;
    uint32_t compression;
    std::string data;               // pixel data as stored
    std::vector<COLORREF> palette;
    std::vector<uint32_t> masks;    // written after the 40-byte header
};

std::string MakeBmp(const BmpLayout &b)
{
    std::string info;
    Put32(info, 40);
    Put32(info, uint32_t(b.width));
    Put32(info, uint32_t(b.height));
    Put16(info, 1);
    Put16(info, uint32_t(b.bpp));
    for (uint32_t v : {b.compression, uint32_t(b.data.size()), 2835u, 2835u, uint32_t(b.palette.size()), 0u})
        Put32(info, v);
    for (uint32_t m : b.masks)
        Put32(info, m);
    for (COLORREF c : b.palette)
        info += {char(GetBValue(c)), char(GetGValue(c)), char(GetRValue(c)), char(0)};
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
        std::string line;
        row(line, topDown ? r : height - 1 - r);
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

int Widen5(int c)
{
    return (c << 3) | (c >> 2); // 5-bit 0, 16 and 31 become 0, 132 and 255
}

class Dib : public cetest::DeviceFixture {
protected:
    // Loads the file through the device.
    HBITMAP Load(const std::string &bytes, const char *name = "pic.bmp")
    {
        cetest::WriteHostFile(CardHost(name), bytes);
        return SHLoadDIBitmap((u"\\Storage Card\\" + cetest::U16(name)).c_str());
    }
    // Loads a file and compares every pixel read back.
    void ExpectPixels(const BmpLayout &s, const std::function<COLORREF(int, int)> &want)
    {
        HBITMAP b = Load(MakeBmp(s));
        ASSERT_NE(b, HBITMAP(0)) << "the file did not load";
        int w = s.width, h = s.height < 0 ? -s.height : s.height;
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

TEST_F(Dib, EveryDepthRowOrderAndRunLengths)
{
    auto direct = [](int bpp, bool topDown) {
        return Rows(5, 3, bpp, topDown, [bpp](std::string &line, int y) {
            for (int x = 0; x < 5; ++x) {
                COLORREF v = Direct(x, y);
                line += {char(GetBValue(v)), char(GetGValue(v)), char(GetRValue(v))};
                if (bpp == 32)
                    line += char(0x55); // ignored
            }
        });
    };
    auto indexed = [](int colors) {
        return [colors](int x, int y) { return Palette(colors)[size_t(Index(x, y, colors))]; };
    };
    int vals[3] = {0, 16, 31};
    const std::vector<COLORREF> pal = Palette(16);
    // Bottom row: a run of 3 of colour 1, an absolute run 4 5 6 (padded
    // to a word), end of line; next row: a delta of 2 right, a run of 2 of
    // colour 7, end of bitmap. Pixels not written stay black.
    const std::string rle("\x03\x01\x00\x03\x04\x05\x06\x00\x00\x00\x00\x02\x02\x00\x02\x07\x00\x01", 18);
    struct Case {
        const char *name;
        BmpLayout layout;
        std::function<COLORREF(int, int)> want;
    } cases[] = {
        {"1 bit", {13, 5, 1, BI_RGB, Indexed(13, 5, 1, 2), Palette(2), {}}, indexed(2)},
        {"4 bits", {13, 5, 4, BI_RGB, Indexed(13, 5, 4, 16), Palette(16), {}}, indexed(16)},
        {"8 bits, a short palette (biClrUsed)", {13, 5, 8, BI_RGB, Indexed(13, 5, 8, 20), Palette(20), {}},
         indexed(20)},
        {"24 top-down", {5, -3, 24, BI_RGB, direct(24, true), {}, {}}, Direct},
        {"32", {5, 3, 32, BI_RGB, direct(32, false), {}, {}}, Direct},
        {"16 bits 5-5-5",
         {3, 2, 16, BI_RGB, Rows(3, 2, 16, false, [&](std::string &line, int y) {
              for (int x = 0; x < 3; ++x)
                  Put16(line, uint32_t(vals[x] << 10 | vals[(x + y) % 3] << 5 | vals[2 - x]));
          }), {}, {}},
         [&](int x, int y) { return RGB(Widen5(vals[x]), Widen5(vals[(x + y) % 3]), Widen5(vals[2 - x])); }},
        {"8-bit run lengths", {6, 2, 8, BI_RLE8, rle, pal, {}},
         [&](int x, int y) {
             if (y == 1) // bottom row of the file
                 return x < 3 ? pal[1] : pal[size_t(x + 1)];
             return (x == 2 || x == 3) ? pal[7] : RGB(0, 0, 0);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExpectPixels(c.layout, c.want);
    }
}

// 24-bit rows are read a word at a time: every width (blocks of four,
// the rest, the last pixel), with the file ending right after the last
// row's pixels (no padding).
TEST_F(Dib, TwentyFourBitRowsOfEveryWidthUpToTheFileEnd)
{
    auto colour = [](int x, int y) { return RGB(x * 25 + 3, y * 60 + 5, (x + y) * 20 + 9); };
    for (int w = 1; w <= 9; ++w)
        for (bool cut : {false, true}) {
            SCOPED_TRACE("width " + std::to_string(w) + (cut ? ", last row unpadded" : ""));
            std::string rows = Rows(w, 3, 24, false, [&](std::string &line, int y) {
                for (int x = 0; x < w; ++x) {
                    COLORREF v = colour(x, y);
                    line += {char(GetBValue(v)), char(GetGValue(v)), char(GetRValue(v))};
                }
            });
            if (cut)
                rows.resize(rows.size() - (rows.size() / 3 - size_t(w) * 3));
            ExpectPixels({w, 3, 24, BI_RGB, rows, {}, {}}, colour);
        }
}

TEST_F(Dib, MissingForeignOrOutsideFilesGiveNoBitmap)
{
    cetest::WriteHostFile(root.path + "/outside.bmp", "BM");
    EXPECT_EQ(SHLoadDIBitmap(u"\\..\\outside.bmp"), HBITMAP(0)) << "outside the device";

    std::string ok = MakeBmp({4, 4, 24, BI_RGB, std::string(48, '\x11'), {}, {}});
    HBITMAP good = Load(ok);
    ASSERT_NE(good, HBITMAP(0)) << "the base file is good";
    DeleteObject(good);
    auto patched = [&](size_t off, uint32_t v) {
        std::string b = ok;
        for (int i = 0; i < 4; ++i)
            b[off + size_t(i)] = char((v >> (8 * i)) & 0xFF);
        return b;
    };
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"a text file", "This is not a bitmap at all, just text.\n"},
        {"cut in the pixels", ok.substr(0, ok.size() - 20)},
        {"absurd width", patched(18, 0x7FFFFFFF)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Load(c.bytes, "bad.bmp"), HBITMAP(0)) << c.what;
}

TEST_F(Dib, MutatedFilesNeverReadPastTheirData)
{
    // Random damage to good RLE files: every result is either no bitmap or
    // a bitmap of a sane size (under the sanitizers this also catches any
    // read past the file's data).
    std::string rle("\x04\x02\x00\x03\x01\x02\x03\x00\x00\x00\x00\x02\x01\x01\x02\x05\x00\x01", 18);
    std::string seeds[2] = {MakeBmp({7, 5, 8, BI_RLE8, rle, Palette(16), {}}),
                            MakeBmp({7, 5, 4, BI_RLE4, rle, Palette(16), {}})};
    uint32_t x = 2463534242u;
    auto next = [&]() { return x ^= x << 13, x ^= x >> 17, x ^= x << 5; };
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        std::string b = seeds[round % 2];
        for (int k = 1 + int(next() % 4); k > 0; --k)
            b[next() % b.size()] = char(next());
        if (next() % 5 == 0)
            b.resize(next() % b.size());
        BITMAP bm{};
        if (HBITMAP h = Load(b, "m.bmp")) {
            ++loaded;
            ASSERT_EQ(GetObjectW(h, sizeof bm, &bm), int(sizeof bm));
            EXPECT_GT(bm.bmWidth, 0);
            EXPECT_LE(int64_t(bm.bmWidth) * bm.bmHeight, int64_t(1) << 26) << "round " << round;
            DeleteObject(h);
        }
    }
    EXPECT_GT(loaded, 0) << "some damaged files still decode (damage in the pixels only)";
}

} // namespace
