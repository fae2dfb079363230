#!/usr/bin/env python3
"""Writes the sample storage card (samples/card) for the three products.

The card holds, for each product, its installation script, its setup
bitmap, and its package files (program files as their ".ARM" variants).
Dravex lies in the card's root, Miska in MiskaWce/ and the Glyphor
keyboard product, whose script is the language script, in GlyphorWce/.
Run it again after changing anything here; its output is committed.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Scripts are byte texts with CR LF line ends.
DRAVEX = r"""// 'Pocket Dravex 3.1 Standard'
// HKEY_LOCAL_MACHINE Software\Dravex
// Dravex
// Setup.bmp=Dravex.bmp
// SelectAppLocation=Yes
// 'Tap Pocket Dravex 3.1 in the Programs menu to start drawing.'
regKeyCreate HKEY_LOCAL_MACHINE Software\Dravex
regString HKEY_LOCAL_MACHINE Software\Dravex x InstallDir %P
regInt HKEY_LOCAL_MACHINE Software\Dravex x Version 310
mkdir %P
copyShared . . Dravex.exe
copy . . DravexRes.dll
copy . . Dravex.htm
copyShared . \Windows dvxcore.dll
createShortcut '\Windows\Start Menu' 'Dravex Help.lnk' . Dravex.htm
remoteExec '%P\Dravex.exe' /register
ExecOnUnload '%P\Dravex.exe' /unregister
exit
"""

MISKA = r"""// 'Pocket MISKA 2.0 Standard'
// HKEY_LOCAL_MACHINE Software\Miska
// Miska
// Setup.bmp=Miska.bmp
// SelectAppLocation=No
// 'Pocket MISKA checks your spelling as you write.'
regKeyCreate HKEY_LOCAL_MACHINE Software\Miska
regString HKEY_LOCAL_MACHINE Software\Miska x Dictionary '%P\Russian.dic'
copyShared . . Scrivox.exe
copy . . Russian.dic
copyShared . \Windows miskaspl.dll
exit
"""

GLYPHOR = r"""// 'Glyphor CE PDA 1.0'
// HKEY_LOCAL_MACHINE Software\Glyphor
// Glyphor
// Setup.bmp=Glyphor.bmp
// SelectAppLocation=No
// 'Switch layouts with the Layout Manager in the Glyphor folder.'
regKeyCreate HKEY_LOCAL_MACHINE Software\Glyphor
regKeyCreate HKEY_LOCAL_MACHINE Software\Glyphor\Layouts
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x LCID @1
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x AnsiCodePage @2
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x OemCodePage @3
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x Layout @4
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x SecondLayout @5
regString HKEY_LOCAL_MACHINE Software\Glyphor\Layouts x FontFace '@6'
copy . \Windows glyphkbd.dll
copy . . GlyphorHelp.htm
createShortcut '\Windows\Start Menu\Programs\Glyphor' 'Glyphor Help.lnk' . GlyphorHelp.htm
exit
"""


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) for the top-down row y."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def banner(width, height, base):
    """A simple banner: a band of the base colour with a lighter frame."""
    light = tuple(min(255, c + 90) for c in base)

    def pixel(x, y):
        if x < 3 or y < 3 or x >= width - 3 or y >= height - 3:
            return light
        return base if (x // 8 + y // 8) % 2 else tuple(c * 3 // 4 for c in base)

    return bmp24(width, height, pixel)


def program(name, size):
    """Stand-in program content: a fixed "MZ" header and filler."""
    text = ("MZ sample program %s\n" % name).encode("ascii")
    return (text * (size // len(text) + 1))[:size]


def write(rel, data):
    path = os.path.join(HERE, "card", rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if isinstance(data, str):
        data = data.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252")
    with open(path, "wb") as f:
        f.write(data)


def main():
    write("DravexStd.load", DRAVEX)
    write("Dravex.bmp", banner(200, 60, (200, 120, 20)))
    write("Dravex.exe.ARM", program("Dravex.exe", 6000))
    write("DravexRes.dll.ARM", program("DravexRes.dll", 3000))
    write("dvxcore.dll.ARM", program("dvxcore.dll", 2500))
    write("Dravex.htm", "<html><body>Pocket Dravex 3.1 help</body></html>\n")

    write("MiskaWce/MiskaStd.load", MISKA)
    write("MiskaWce/Miska.bmp", banner(300, 50, (30, 150, 60)))
    write("MiskaWce/Scrivox.exe.ARM", program("Scrivox.exe", 5000))
    write("MiskaWce/miskaspl.dll.ARM", program("miskaspl.dll", 2000))
    write("MiskaWce/Russian.dic", "\n".join(["slovo", "pravopisanie", "proverka"]) + "\n")

    write("GlyphorWce/GlyphorProUniLang.load", GLYPHOR)
    write("GlyphorWce/Glyphor.bmp", banner(180, 40, (120, 40, 160)))
    write("GlyphorWce/glyphkbd.dll.ARM", program("glyphkbd.dll", 4000))
    write("GlyphorWce/GlyphorHelp.htm", "<html><body>Glyphor CE keyboard layouts</body></html>\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
