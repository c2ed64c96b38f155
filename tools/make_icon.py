#!/usr/bin/env python3
"""Draws the program's pictures and writes them into res/:

  morvanti.ico  the program icon at 16, 32 and 48 pixels (32-bit, with alpha): a blue "e" ring,
                the sign of a page handed to the IE engine, crossed by an orange orbit stripe;
  about.bmp     the About box's picture, 48 by 48 pixels (24-bit): a page of pattern lines with
                the same ring on it, on the dialog's face colour.

Every pixel is sampled 4 by 4 times, so the edges are smooth at every size.

Usage: python3 tools/make_icon.py [RES_FOLDER]
"""
import os
import struct
import sys

BLUE = (0x1E, 0x6E, 0xC8)       # R, G, B
ORANGE = (0xF0, 0x9A, 0x20)
PAPER = (0xFF, 0xFF, 0xFF)
EDGE = (0x80, 0x88, 0x94)
LINE = (0xA8, 0xB4, 0xC4)
FACE = (0xF0, 0xF0, 0xF0)       # the dialog face colour the picture sits on
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
    colour = FACE
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


def picture_pixels(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = picture_colour(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES, size)
                    r, g, b = r + colour[0], g + colour[1], b + colour[2]
            n = SAMPLES * SAMPLES
            row.append((r // n, g // n, b // n))
        rows.append(row)
    return rows


def icon_image(size):
    pixels = icon_pixels(size)
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
        data += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    return data


def bitmap_file(size):
    pixels = picture_pixels(size)
    stride = (size * 3 + 3) // 4 * 4
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        body += line + bytes(stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else 'res'
    with open(os.path.join(folder, 'morvanti.ico'), 'wb') as f:
        f.write(icon_file((16, 32, 48)))
    with open(os.path.join(folder, 'about.bmp'), 'wb') as f:
        f.write(bitmap_file(48))


if __name__ == '__main__':
    main()
