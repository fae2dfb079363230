#!/usr/bin/env python3
"""Writes a generated card: FILES package files (TOTAL_MB megabytes in all)
spread over 40 folders, a 200 x 80 setup bitmap, and one .load script that
copies them all into the product's folder ("Bulk 1.0").

    python3 scripts/bulk_card.py CARD FILES TOTAL_MB

Used by scripts/bench_install.sh (the timed installs) and scripts/train.sh
(the run a feedback-directed build learns from).
"""
import os, struct, sys
if len(sys.argv) != 4 or not sys.argv[2].isdigit() or not sys.argv[3].isdigit() or int(sys.argv[2]) == 0:
    sys.exit("usage: bulk_card.py CARD FILES TOTAL_MB (FILES above 0)")
card, files, total_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = max(1, total_mb * 1024 * 1024 // files)
os.makedirs(card, exist_ok=True)
blob = os.urandom(size + 97)
lines = ["// 'Bulk 1.0'", "// HKEY_LOCAL_MACHINE Software\\Bulk", "// Bulk", "// Setup.bmp=Bulk.bmp",
         "// SelectAppLocation=No", "// 'done'", "regKeyCreate HKEY_LOCAL_MACHINE Software\\Bulk"]
for i in range(files):
    d = f"d{i % 40}"
    os.makedirs(os.path.join(card, d), exist_ok=True)
    with open(os.path.join(card, d, f"f{i}.bin"), "wb") as f:
        f.write(blob[i % 97:i % 97 + size])
    lines.append(f"copy {d} {d} f{i}.bin")
lines.append("exit")
with open(os.path.join(card, "Dravex Bulk.load"), "wb") as f:
    f.write(("\r\n".join(lines) + "\r\n").encode())
# A 200 x 80 picture, as a product's setup bitmap is.
w, h = 200, 80
row = bytes((x * 7 + 40) % 256 for x in range(w * 3))
px = row * h
with open(os.path.join(card, "Bulk.bmp"), "wb") as f:
    f.write(struct.pack("<2sIHHI", b"BM", 54 + len(px), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(px), 2835, 2835, 0, 0) + px)
