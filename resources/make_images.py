#!/usr/bin/env python3
"""Writes the launcher's images: the application icon (32 x 32, 16 colours) and the sample
splash bitmap (128 x 128, 32 bits per pixel). Usage: make_images.py ICON_OUT SPLASH_OUT"""
import struct
import sys


def icon_pixels():
    # 0 = transparent, 1 = dark blue disc edge, 2 = blue, 3 = white letter
    rows = []
    for y in range(32):
        row = []
        for x in range(32):
            dx, dy = x - 15.5, y - 15.5
            d = dx * dx + dy * dy
            if d > 15.5 * 15.5:
                row.append(0)
            elif d > 13.5 * 13.5:
                row.append(1)
            elif (7 <= y <= 10 and 8 <= x <= 23) or (10 < y <= 24 and 14 <= x <= 17):
                row.append(3)
            else:
                row.append(2)
        rows.append(row)
    return rows


def write_icon(path):
    palette = [(0, 0, 0), (0x20, 0x30, 0x80), (0x30, 0x70, 0xD0), (0xFF, 0xFF, 0xFF)]
    palette += [(0, 0, 0)] * (16 - len(palette))
    rows = icon_pixels()
    xor = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        xor += bytes((row[x] << 4) | row[x + 1] for x in range(0, 32, 2))
        bits = 0
        for x in range(32):
            bits = (bits << 1) | (1 if row[x] == 0 else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    image = header + pal + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 22)
    with open(path, "wb") as f:
        f.write(directory + image)


def write_splash(path):
    size = 128
    pixels = bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up rows
        for x in range(size):
            border = x < 4 or y < 4 or x >= size - 4 or y >= size - 4
            if border:
                b, g, r = 0x80, 0x30, 0x20
            else:
                r, g, b = 0x30 + x // 2, 0x70 + y // 4, 0xD0
            pixels += bytes((b, g, r, 0xFF))
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(file_header + info + pixels)


if __name__ == "__main__":
    write_icon(sys.argv[1])
    write_splash(sys.argv[2])
