"""Writes an asymmetric 8-bit RGBA PNG with nothing but the picture in it
(no gamma, no colour profile, no text), with the standard library alone:
every pixel differs, and some are half or wholly transparent, so that a
swapped channel, a flipped row or transparency taken wrongly shows when a
host's ZFT is compared with zft convert's.

    python3 rgba_png.py WIDTH HEIGHT OUT.png [opaque]
"""
import struct
import sys
import zlib

width, height, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
opaque = len(sys.argv) > 4 and sys.argv[4] == "opaque"

rows = b""
for y in range(height):
    rows += b"\0"
    for x in range(width):
        alpha = 255 if opaque else (255, 128, 0, 200)[(x + 2 * y) % 4]
        rows += bytes(((x * 37 + 11) % 256, (y * 53 + 7) % 256, (x + y) * 29 % 256, alpha))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


with open(out, "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
