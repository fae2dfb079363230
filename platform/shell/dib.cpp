// dib.cpp - SHLoadDIBitmap: Windows BMP files (1, 4, 8, 16, 24 and 32 bits,
// uncompressed, RLE8 and RLE4, bit fields) loaded as bitmaps.
//
// The file is read through the device's own file calls, so the confinement
// of device paths applies. Every size and offset in the file is checked
// against the file's length before use: a damaged or hostile file gives no
// bitmap instead of a read past the data.
#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "gdi/gdi.h"

namespace plat {
namespace {

constexpr DWORD kMaxFile = 64u * 1024 * 1024;
constexpr int64_t kMaxPixels = int64_t(1) << 26;

uint32_t Rd32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Rd16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// Scales a value under a bit-field mask to 0..255.
uint8_t Channel(uint32_t v, uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    int bits = 0;
    while (mask & (1u << bits))
        ++bits;
    uint32_t c = (v >> shift) & ((bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1));
    if (bits >= 8)
        return uint8_t(c >> (bits - 8));
    // Replicate the high bits so that full intensity is 255.
    uint32_t out = 0;
    int have = 0;
    while (have < 8) {
        out = (out << bits) | c;
        have += bits;
    }
    return uint8_t(out >> (have - 8));
}

struct Dib {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = 0;
    std::vector<COLORREF> palette;
    uint32_t masks[3] = {0, 0, 0};
    size_t offBits = 0; // where the pixels start in the file
};

// Reads the file's header, palette and masks, and checks that its pixels
// lie within it. False when it is not a bitmap this loader reads.
bool Decode(const std::vector<uint8_t> &f, Dib &d)
{
    if (f.size() < 14 + 12 || f[0] != 'B' || f[1] != 'M')
        return false;
    uint32_t offBits = Rd32(&f[10]);
    uint32_t hsize = Rd32(&f[14]);
    if (hsize < 12 || hsize > f.size() - 14)
        return false;
    const uint8_t *h = &f[14];
    size_t palEntry;
    if (hsize == 12) {
        d.width = Rd16(h + 4);
        d.height = int16_t(Rd16(h + 6));
        if (Rd16(h + 8) != 1)
            return false;
        d.bpp = Rd16(h + 10);
        palEntry = 3;
    } else {
        if (hsize < 40)
            return false;
        d.width = int32_t(Rd32(h + 4));
        d.height = int32_t(Rd32(h + 8));
        if (Rd16(h + 12) != 1)
            return false;
        d.bpp = Rd16(h + 14);
        d.compression = Rd32(h + 16);
        palEntry = 4;
    }
    if (d.height < 0) {
        if (d.height == INT32_MIN)
            return false;
        d.height = -d.height;
        d.topDown = true;
    }
    if (d.width <= 0 || d.height <= 0 || int64_t(d.width) * d.height > kMaxPixels)
        return false;
    switch (d.compression) {
    case BI_RGB:
        if (d.bpp != 1 && d.bpp != 4 && d.bpp != 8 && d.bpp != 16 && d.bpp != 24 && d.bpp != 32)
            return false;
        break;
    case BI_RLE8:
        if (d.bpp != 8 || d.topDown)
            return false;
        break;
    case BI_RLE4:
        if (d.bpp != 4 || d.topDown)
            return false;
        break;
    case BI_BITFIELDS:
        if (d.bpp != 16 && d.bpp != 32)
            return false;
        break;
    default:
        return false;
    }
    size_t after = 14 + size_t(hsize);
    if (d.compression == BI_BITFIELDS) {
        // The masks follow a 40-byte header; larger headers hold them.
        const uint8_t *m = hsize >= 52 ? h + 40 : &f[after];
        if (hsize < 52) {
            if (f.size() < after + 12)
                return false;
            after += 12;
        }
        d.masks[0] = Rd32(m);
        d.masks[1] = Rd32(m + 4);
        d.masks[2] = Rd32(m + 8);
    } else if (d.bpp == 16) {
        d.masks[0] = 0x7C00;
        d.masks[1] = 0x03E0;
        d.masks[2] = 0x001F;
    } else if (d.bpp == 32) {
        d.masks[0] = 0x00FF0000;
        d.masks[1] = 0x0000FF00;
        d.masks[2] = 0x000000FF;
    }
    if (d.bpp <= 8) {
        size_t n = size_t(1) << d.bpp;
        if (hsize >= 40) {
            uint32_t used = Rd32(h + 32);
            if (used && used < n)
                n = used;
        }
        if (f.size() < after + n * palEntry)
            return false;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t *q = &f[after + i * palEntry];
            d.palette.push_back(RGB(q[2], q[1], q[0]));
        }
    }
    if (offBits >= f.size())
        return false;
    d.offBits = offBits;
    if (d.compression == BI_RLE8 || d.compression == BI_RLE4)
        return true; // checked as it is read
    size_t avail = f.size() - offBits;
    size_t stride = ((size_t(d.width) * size_t(d.bpp) + 31) / 32) * 4;
    if (stride * size_t(d.height) > avail) {
        // The last row may lack its padding; anything shorter is damaged.
        size_t need = stride * size_t(d.height - 1) + (size_t(d.width) * size_t(d.bpp) + 7) / 8;
        if (need > avail)
            return false;
    }
    return true;
}

inline COLORREF PaletteAt(const Dib &d, unsigned i)
{
    return i < d.palette.size() ? d.palette[i] : COLORREF(0);
}

// Row r of the file (bottom-up unless topDown) is image row y.
inline int RowY(const Dib &d, int r)
{
    return d.topDown ? r : d.height - 1 - r;
}

// The pixels of a run-length file into px (zeroed: pixels skipped stay
// black). False when the runs lead past the data.
bool DecodeRuns(const std::vector<uint8_t> &f, const Dib &d, COLORREF *px)
{
    const uint8_t *bits = &f[d.offBits];
    size_t avail = f.size() - d.offBits;
    auto pal = [&](unsigned i) { return PaletteAt(d, i); };
    auto rowY = [&](int r) { return RowY(d, r); };
    {
        int x = 0, r = 0;
        size_t i = 0;
        auto put = [&](unsigned v) {
            if (x < d.width && r < d.height)
                px[size_t(rowY(r)) * size_t(d.width) + size_t(x)] = pal(v);
            ++x;
        };
        while (i + 1 < avail && r < d.height) {
            uint8_t n = bits[i], v = bits[i + 1];
            i += 2;
            if (n > 0) {
                for (int k = 0; k < n; ++k)
                    put(d.compression == BI_RLE8 ? v : ((k & 1) ? (v & 15) : (v >> 4)));
            } else if (v == 0) {
                x = 0;
                ++r;
            } else if (v == 1) {
                break;
            } else if (v == 2) {
                if (i + 1 >= avail)
                    return false;
                x += bits[i];
                r += bits[i + 1];
                i += 2;
            } else {
                // An absolute run of v pixels, padded to a word.
                size_t bytes = d.compression == BI_RLE8 ? v : (size_t(v) + 1) / 2;
                if (i + bytes > avail)
                    return false;
                for (int k = 0; k < v; ++k)
                    put(d.compression == BI_RLE8 ? bits[i + size_t(k)]
                                                 : ((k & 1) ? (bits[i + size_t(k) / 2] & 15) : (bits[i + size_t(k) / 2] >> 4)));
                i += (bytes + 1) & ~size_t(1);
            }
        }
        return true;
    }
}

// The pixels of an uncompressed file (checked by Decode) into px, every
// one of them written.
void DecodeRows(const std::vector<uint8_t> &f, const Dib &d, COLORREF *px)
{
    const uint8_t *bits = &f[d.offBits];
    auto pal = [&](unsigned i) { return PaletteAt(d, i); };
    size_t stride = ((size_t(d.width) * size_t(d.bpp) + 31) / 32) * 4;
    // One loop per depth, each row's pixels in a plain run: the setup's
    // picture is decoded at every start.
    const int w = d.width;
    for (int r = 0; r < d.height; ++r) {
        const uint8_t *row = bits + stride * size_t(r);
        COLORREF *out = &px[size_t(RowY(d, r)) * size_t(w)];
        switch (d.bpp) {
        case 1:
            for (int x = 0; x < w; ++x)
                out[x] = pal((row[x / 8] >> (7 - x % 8)) & 1);
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                out[x] = pal((x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4));
            break;
        case 8:
            for (int x = 0; x < w; ++x)
                out[x] = pal(row[x]);
            break;
        case 24: {
            // Blue, green, red read as one word with the next pixel's
            // first byte, reversed and shifted down: red, green, blue.
            // The row's last pixel is read by bytes (the file may end
            // there).
            int x = 0;
            const uint8_t *p = row;
            for (; x + 4 < w; x += 4, p += 12) {
                out[x] = __builtin_bswap32(Rd32(p)) >> 8;
                out[x + 1] = __builtin_bswap32(Rd32(p + 3)) >> 8;
                out[x + 2] = __builtin_bswap32(Rd32(p + 6)) >> 8;
                out[x + 3] = __builtin_bswap32(Rd32(p + 9)) >> 8;
            }
            for (; x + 1 < w; ++x, p += 3)
                out[x] = __builtin_bswap32(Rd32(p)) >> 8;
            out[x] = RGB(p[2], p[1], p[0]);
            break;
        }
        default: // 16 and 32 bits through their masks
            for (int x = 0; x < w; ++x) {
                uint32_t v = d.bpp == 16 ? Rd16(row + size_t(x) * 2) : Rd32(row + size_t(x) * 4);
                out[x] = RGB(Channel(v, d.masks[0]), Channel(v, d.masks[1]), Channel(v, d.masks[2]));
            }
            break;
        }
    }
}

} // namespace

} // namespace plat

using namespace plat;

// SHLoadDIBitmap
extern "C" HBITMAP SHLoadDIBitmap(LPCWSTR szFileName)
{
    if (!szFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HANDLE h = CreateFileW(szFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(h, nullptr);
    if (size == INVALID_FILE_SIZE || size > kMaxFile) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    std::vector<uint8_t> data(size);
    DWORD got = 0;
    BOOL ok = size == 0 || ReadFile(h, data.data(), size, &got, nullptr);
    CloseHandle(h);
    if (!ok || got != size) {
        SetLastError(ERROR_READ_FAULT);
        return 0;
    }
    Dib d;
    if (!Decode(data, d)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    size_t n = size_t(d.width) * size_t(d.height);
    // Runs are read whole before the bitmap is made (they may prove
    // damaged); plain rows are decoded straight into the bitmap's pixels,
    // written once.
    std::vector<COLORREF> runs;
    bool rle = d.compression == BI_RLE8 || d.compression == BI_RLE4;
    if (rle) {
        runs.assign(n, 0);
        if (!DecodeRuns(data, d, runs.data())) {
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
    }
    uint32_t *px = nullptr;
    HBITMAP bmp = GdiCreateBitmapToFill(d.width, d.height, d.bpp, &px);
    if (!bmp) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (rle)
        std::memcpy(px, runs.data(), n * sizeof(COLORREF));
    else
        DecodeRows(data, d, px);
    return bmp;
}
