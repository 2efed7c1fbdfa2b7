#!/usr/bin/env python3
"""Writes the pictures the browser test makes images of, next to the
built-in sample that the command line writes itself:

    make_pictures.py FOLDER

logo.bmp   a flat logo: four colours, large plain areas
photo.bmp  photo-like: 256 colours in soft gradients with some grain
grainy.bmp the same with grain everywhere: too detailed for the receivers
deep.bmp   a 24-bit bitmap, which the steps refuse
huge.bmp   a bitmap's header at the start of 17 MiB (a sparse file): refused
           before anything reads it
"""
import math
import os
import struct
import sys

W, H = 720, 576


def bitmap(bits, palette, rows):
    """An uncompressed bottom-up Windows bitmap; rows are given top first."""
    stride = (W * bits // 8 + 3) & ~3
    pixels = b"".join(row + b"\0" * (stride - len(row)) for row in reversed(rows))
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, bits, 0, len(pixels), 2835, 2835, len(palette), 0)
    return header + info + table + pixels


def logo():
    palette = [(12, 30, 70), (240, 240, 240), (230, 120, 20), (40, 160, 90)]
    rows = []
    for y in range(H):
        row = bytearray(W)
        for x in range(W):
            if (x - 360) ** 2 + (y - 260) ** 2 < 150 ** 2:
                row[x] = 2
            if 180 < x < 540 and 430 < y < 470:
                row[x] = 1
            if 300 < x < 420 and 200 < y < 320 and (x + y) % 40 < 20:
                row[x] = 3
        rows.append(bytes(row))
    return bitmap(8, palette, rows)


def photo(grain_every):
    palette = [(i, int(128 + 100 * math.sin(i / 40)), 255 - i) for i in range(256)]
    rows = []
    seed = 12345
    for y in range(H):
        row = bytearray(W)
        for x in range(W):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            grain = (seed >> 16) % 3 - 1 if (seed >> 8) % grain_every == 0 else 0
            v = 128 + 60 * math.sin(x / 97.0) * math.cos(y / 71.0) + 50 * math.sin((x + y) / 153.0)
            row[x] = max(0, min(255, int(v) + grain))
        rows.append(bytes(row))
    return bitmap(8, palette, rows)


def deep():
    rows = [bytes((x % 256, y % 256, (x + y) % 256)[i % 3] for i in range(W * 3) for x in [i // 3])
            for y in range(H)]
    return bitmap(24, [], rows)


def main():
    folder = sys.argv[1]
    for name, make in (("logo.bmp", logo), ("photo.bmp", lambda: photo(16)), ("grainy.bmp", lambda: photo(1)),
                       ("deep.bmp", deep)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make())
    with open(os.path.join(folder, "huge.bmp"), "wb") as f:
        f.write(logo()[:54])
        f.truncate(17 * 1024 * 1024)


if __name__ == "__main__":
    main()
