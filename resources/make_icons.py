#!/usr/bin/env python3
"""Writes the program's two icons (setup.ico = 101, remove.ico = 102).

Each .ico holds a 32x32 and a 16x16 image, 24 bits with an AND mask, drawn
from simple shapes so that the files can be made again at any time:
    python3 make_icons.py
"""
import struct


def image(size, pixel):
    """One icon image: BITMAPINFOHEADER (double height), XOR rows, AND rows."""
    hdr = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    xor_row = (size * 3 + 3) & ~3
    and_row = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):  # rows bottom-up
        row = bytearray()
        bits = 0
        mrow = bytearray()
        for x in range(size):
            rgb = pixel(x, y, size)
            if rgb is None:
                row += b'\x00\x00\x00'
                bits = (bits << 1) | 1
            else:
                r, g, b = rgb
                row += bytes((b, g, r))
                bits = bits << 1
            if x % 8 == 7:
                mrow.append(bits & 0xFF)
                bits = 0
        if size % 8:
            mrow.append((bits << (8 - size % 8)) & 0xFF)
        row += b'\x00' * (xor_row - len(row))
        mrow += b'\x00' * (and_row - len(mrow))
        xor += row
        mask += mrow
    return hdr + bytes(xor) + bytes(mask)


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for size, img in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(img), offset + len(data))
        data += img
    return out + data


def setup_pixel(x, y, n):
    # A blue box with a lighter lid: "a package to install".
    m = max(1, n // 8)
    if x < m or x >= n - m or y < m or y >= n - m:
        return None
    if y < n // 3:
        return (96, 160, 255)
    if abs(x - n // 2) < max(1, n // 16):
        return (255, 220, 0)
    return (0, 64, 196)


def remove_pixel(x, y, n):
    # A grey box crossed by a red diagonal: "a package to remove".
    m = max(1, n // 8)
    if x < m or x >= n - m or y < m or y >= n - m:
        return None
    if abs(x - y) <= max(1, n // 16) or abs(x - (n - 1 - y)) <= max(1, n // 16):
        return (220, 0, 0)
    return (160, 160, 160)


if __name__ == '__main__':
    for name, fn in (('setup.ico', setup_pixel), ('remove.ico', remove_pixel)):
        with open(name, 'wb') as f:
            f.write(ico([(32, image(32, fn)), (16, image(16, fn))]))
