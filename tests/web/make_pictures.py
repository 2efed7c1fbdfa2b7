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
photo.png  an opaque 720 x 576 photo-like PNG in thousands of colours, to import
wide.png   a 1000 x 700 PNG with transparent edges, to import scaled
kept.bmp   logo.bmp again, under a name of its own, to import
banner.png an opaque 900 x 400 PNG, to import scaled with every option
deep.png   an opaque 720 x 576 PNG of 16 bits a sample, to import
palette.png, palette.gif
           an opaque 720 x 576 picture in 256 colours, as a PNG with a
           palette and as a GIF, to import
photo.webp an opaque 720 x 576 lossless WebP, to import
large.png  a 6000 x 4000 PNG of stripes: an import long enough to cancel
shape.svg  a 640 x 480 drawing, to import
rle.bmp, rle4.bmp, small.bmp, topdown.bmp, four.bmp, cut.bmp
           bitmaps the steps refuse, one for each of their rules: run-length
           compressed at 8 and at 4 bits, 640 x 480, stored top row first,
           4 bits a pixel uncompressed (its 8-bit rows run out), and the
           first 30 bytes of one
hostile pictures, each to end in a message, the desktop's where it has one:
dashed.svg a polyline of 2,000 points, 20 pixels wide, dashed "1 1"
paths.svg  111,317 short paths
html.svg   a drawing holding HTML in a <foreignObject>
vast.png   a PNG's header of 16000 x 16000 pixels before a little data
cut.gif    a GIF cut off in the middle of its picture data
"""
import math
import zlib
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


def with_header(width, height, bits, compression, palette, pixels):
    """A Windows bitmap of these header fields over these pixel bytes."""
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels), 2835, 2835,
                       len(palette), 0)
    return header + info + table + pixels


def run_length(bits):
    """720 x 576 in runs, each row closed by 00 00 and the last by 00 01."""
    longest = 255 if bits == 8 else 254  # an even run keeps 4-bit pairs in step
    out = bytearray()
    for y in range(H):
        left = W
        while left:
            run = min(left, longest)
            out += bytes((run, y % 16 if bits == 8 else ((y % 16) << 4) | ((y + 1) % 16)))
            left -= run
        out += b"\0\0"
    out[-1] = 1
    palette = [(i * 16, 255 - i * 16, i * 8) for i in range(16)]
    return with_header(W, H, bits, 1 if bits == 8 else 2, palette, bytes(out))


def grey(n):
    return [(i * 255 // (n - 1),) * 3 for i in range(n)]


def png_file(width, height, colour_type, raw, depth=8, palette=b""):
    """A PNG; raw is its filtered rows (colour type 2 RGB, 3 palette, 6 RGBA)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + (chunk(b"PLTE", palette) if palette else b"") +
            chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


def png(width, height, pixel):
    """A PNG of 8-bit RGBA pixels, pixel(x, y) -> (r, g, b, a)."""
    return png_file(width, height, 6, b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y))
                                               for y in range(height)))


def soft(x, y, seed):
    """A photo's soft colours with a little grain."""
    grain = (x * 7919 + y * 104729 + seed) % 13 - 6
    r = 128 + 90 * math.sin(x / 83.0) * math.cos(y / 67.0) + grain
    g = 128 + 80 * math.sin((x + 2 * y) / 151.0) + grain
    b = 128 + 100 * math.cos((2 * x - y) / 197.0) - grain
    return tuple(max(0, min(255, int(v))) for v in (r, g, b))


def photo_png():
    return png(W, H, lambda x, y: soft(x, y, 1) + (255,))


def deep_png():
    """16 bits a sample, whose low bytes decide how each rounds to 8 bits."""
    def row(y):
        samples = (min(65535, max(0, c * 257 + (x * 37 + y * 101 + i * 53) % 257 - 128))
                   for x in range(W) for i, c in enumerate(soft(x, y, 4)))
        return b"\0" + b"".join(struct.pack(">H", v) for v in samples)
    return png_file(W, H, 2, b"".join(row(y) for y in range(H)), depth=16)


def photo_rgb():
    """An opaque photo-like picture in Pillow, for the formats written with it."""
    from PIL import Image
    picture = Image.new("RGB", (W, H))
    picture.putdata([soft(x, y, 5) for y in range(H) for x in range(W)])
    return picture


def palette_picture():
    """photo_rgb in the 256 colours of a palette."""
    return photo_rgb().quantize(256, dither=0)


def palette_png():
    picture = palette_picture()
    colours = bytes(picture.getpalette()[:3 * 256]).ljust(3 * 256, b"\0")
    pixels = picture.tobytes()
    return png_file(W, H, 3, b"".join(b"\0" + pixels[y * W:(y + 1) * W] for y in range(H)), palette=colours)


def pillow(picture, **options):
    import io
    out = io.BytesIO()
    picture.save(out, **options)
    return out.getvalue()


def wide_png():
    def pixel(x, y):
        edge = min(x, y, 999 - x, 699 - y)
        return soft(x, y, 2) + (0 if edge < 40 else min(255, (edge - 40) * 8),)
    return png(1000, 700, pixel)


def banner_png():
    return png(900, 400, lambda x, y: soft(x, y, 3) + (255,))


def large_png():
    width, height = 6000, 4000
    row = b"\0" + bytes((x // 7) % 256 for x in range(width * 3))
    rows = [row, b"\0" + row[1:][::-1]]
    return png_file(width, height, 2, b"".join(rows[(y // 50) % 2] for y in range(height)))


SHAPE_SVG = """<svg xmlns="http://www.w3.org/2000/svg" width="640" height="480" viewBox="0 0 640 480">
  <rect width="640" height="480" fill="#203060"/>
  <circle cx="320" cy="240" r="150" fill="#e8a030"/>
  <rect x="120" y="380" width="400" height="40" fill="#f0f0f0"/>
</svg>
"""


def dashed_svg():
    points = " ".join(f"{(i * 7919) % 720},{(i * 104729) % 576}" for i in range(2000))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="720" height="576"><polyline points="{points}" '
            'fill="none" stroke="red" stroke-width="20" stroke-dasharray="1 1"/></svg>')


def paths_svg():
    paths = "".join(f'<path d="M{i % 720} {(i * 7) % 576} l9 4 l-3 7z" fill="#{(i * 2654435761) % 16777216:06x}" '
                    'stroke="black"/>' for i in range(111317))
    return f'<svg xmlns="http://www.w3.org/2000/svg" width="720" height="576">{paths}</svg>'


HTML_SVG = """<svg xmlns="http://www.w3.org/2000/svg" width="640" height="480">
  <rect width="640" height="480" fill="#203060"/>
  <foreignObject width="640" height="480"><div xmlns="http://www.w3.org/1999/xhtml">Kestro</div></foreignObject>
</svg>
"""


def vast_png():
    width = 16000
    rows = zlib.compress(b"".join(b"\0" + bytes(width * 3) for _ in range(64)), 9)
    header = struct.pack(">IIBBBBB", width, width, 8, 2, 0, 0, 0)
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", rows) + chunk(b"IEND", b"")


def cut_gif():
    """A 320 x 240 GIF of 256 colours whose LZW data is every code a literal
    (a clear code before the table grows), cut off half-way."""
    width, height = 320, 240
    palette = bytes(c for i in range(256) for c in (i, 255 - i, (i * 3) % 256))
    codes, bits, count = [256], 9, 0
    for y in range(height):
        for x in range(width):
            codes.append((x // 8 + y // 8) % 256)
            count += 1
            if count == 250:
                codes.append(256)
                count = 0
    codes.append(257)
    stream, value, held = bytearray(), 0, 0
    for code in codes:
        value |= code << held
        held += bits
        while held >= 8:
            stream.append(value & 255)
            value >>= 8
            held -= 8
    if held:
        stream.append(value)
    blocks = b"".join(bytes([len(stream[i:i + 255])]) + stream[i:i + 255] for i in range(0, len(stream), 255))
    gif = (b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0) + palette +
           b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x08" + blocks + b"\x00;")
    return gif[:len(gif) // 2]


def main():
    folder = sys.argv[1]
    for name, make in (("logo.bmp", logo), ("kept.bmp", logo), ("photo.bmp", lambda: photo(16)),
                       ("grainy.bmp", lambda: photo(1)),
                       ("deep.bmp", deep), ("photo.png", photo_png), ("wide.png", wide_png), ("banner.png", banner_png),
                       ("large.png", large_png), ("rle.bmp", lambda: run_length(8)),
                       ("rle4.bmp", lambda: run_length(4)),
                       ("small.bmp", lambda: with_header(640, 480, 8, 0, grey(256), bytes(640 * 480))),
                       ("topdown.bmp", lambda: with_header(W, -H, 8, 0, grey(256), bytes(W * H))),
                       ("four.bmp", lambda: with_header(W, H, 4, 0, grey(16), bytes(W // 2 * H))),
                       ("cut.bmp", lambda: logo()[:30])):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make())
    with open(os.path.join(folder, "huge.bmp"), "wb") as f:
        f.write(logo()[:54])
        f.truncate(17 * 1024 * 1024)
    for name, text in (("shape.svg", SHAPE_SVG), ("dashed.svg", dashed_svg()), ("paths.svg", paths_svg()),
                       ("html.svg", HTML_SVG)):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    for name, make in (("vast.png", vast_png), ("cut.gif", cut_gif), ("deep.png", deep_png),
                       ("palette.png", palette_png), ("palette.gif", lambda: pillow(palette_picture(), format="GIF")),
                       ("photo.webp", lambda: pillow(photo_rgb(), format="WEBP", lossless=True, exact=True))):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
