#!/usr/bin/env python3
"""Draws the program's pictures and writes them into res/:

  morvanti.ico  the program icon at 16, 20, 24, 32, 40, 48, 64 and 256 pixels (32-bit, with
                alpha; the 256-pixel one PNG-compressed, as Windows expects): a blue "e" ring, the
                sign of a page handed to the IE engine, crossed by an orange orbit stripe;
  about.bmp, about-150.bmp, about-200.bmp
                the About box's picture for 96, 144 and 192 DPI, 48, 72 and 96 pixels square
                (32-bit, premultiplied alpha, transparent around the drawing: the program lays
                it on the dialog's face colour): a page of pattern lines with the same ring on it.

Every pixel is sampled 4 by 4 times, so the edges are smooth at every size.

Usage: python3 tools/make_icon.py [RES_FOLDER]
"""
import os
import struct
import sys
import zlib

BLUE = (0x1E, 0x6E, 0xC8)       # R, G, B
ORANGE = (0xF0, 0x9A, 0x20)
PAPER = (0xFF, 0xFF, 0xFF)
EDGE = (0x80, 0x88, 0x94)
LINE = (0xA8, 0xB4, 0xC4)
SAMPLES = 4


def ring_colour(x, y, cx, cy, radius):
    """The colour of the "e" ring at the point, or None outside it (radius: outer radius)."""
    dx, dy = x - cx, y - cy
    d = (dx * dx + dy * dy) ** 0.5
    inner = radius * 0.58
    bar = radius * 0.13
    stripe = radius * 0.10
    colour = None
    if d <= radius:
        if d >= inner:
            # The ring is open on the lower right, as an "e" is.
            if not (dy > bar and dx > 0 and dy < dx * 1.2):
                colour = BLUE
        elif abs(dy) <= bar:
            colour = BLUE
    if abs((dx + dy) + radius * 1.17) <= stripe and d <= radius * 1.05:
        colour = ORANGE
    return colour


def icon_pixels(size):
    """size*size (R, G, B, A) pixels, top row first."""
    c = size / 2.0
    radius = size * 0.47
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = ring_colour(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES, c, c, radius)
                    if colour is not None:
                        r, g, b, hits = r + colour[0], g + colour[1], b + colour[2], hits + 1
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((r // hits, g // hits, b // hits, 255 * hits // (SAMPLES * SAMPLES)))
        rows.append(row)
    return rows


def picture_colour(x, y, size):
    """The About picture: a page with pattern lines and the ring over its lower right."""
    unit = size / 48.0
    left, top, right, bottom = 6 * unit, 3 * unit, 34 * unit, 42 * unit
    colour = None
    if left <= x <= right and top <= y <= bottom:
        edge = 1.2 * unit
        inside = left + edge <= x <= right - edge and top + edge <= y <= bottom - edge
        colour = PAPER if inside else EDGE
        if inside:
            for i in range(6):
                line_y = top + (7 + 5 * i) * unit
                length = (22 if i % 2 == 0 else 16) * unit
                if line_y <= y <= line_y + 1.6 * unit and left + 4 * unit <= x <= left + 4 * unit + length:
                    colour = LINE
    ring = ring_colour(x, y, 32 * unit, 31 * unit, 14 * unit)
    if ring is not None:
        colour = ring
    return colour


def coverage(colour_at, x, y):
    """(R, G, B, A) of the pixel at x, y, premultiplied by its coverage; colour_at gives a
    sample's colour or None where nothing is drawn."""
    r = g = b = hits = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            colour = colour_at(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES)
            if colour is not None:
                r, g, b, hits = r + colour[0], g + colour[1], b + colour[2], hits + 1
    n = SAMPLES * SAMPLES
    return (r // n, g // n, b // n, 255 * hits // n)


def picture_pixels(size):
    return [[coverage(lambda px, py: picture_colour(px, py, size), x, y) for x in range(size)]
            for y in range(size)]


def png_image(pixels):
    """The pixels (R, G, B, A, straight alpha) as a PNG file."""
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    size = len(pixels)
    raw = b''.join(b'\0' + bytes(c for px in row for c in px) for row in pixels)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def icon_image(size):
    pixels = icon_pixels(size)
    if size >= 256:
        return png_image(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):          # bitmaps are stored bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(xor) + bytes(mask)


def icon_file(sizes):
    images = [icon_image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    return data


def bitmap_file(size):
    """The About picture as a 32-bit bitmap file, premultiplied alpha, rows bottom-up."""
    body = bytearray()
    for row in reversed(picture_pixels(size)):
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 32, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else 'res'
    with open(os.path.join(folder, 'morvanti.ico'), 'wb') as f:
        f.write(icon_file((16, 20, 24, 32, 40, 48, 64, 256)))
    for name, size in (('about.bmp', 48), ('about-150.bmp', 72), ('about-200.bmp', 96)):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(bitmap_file(size))


if __name__ == '__main__':
    main()
