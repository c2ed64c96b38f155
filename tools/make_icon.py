#!/usr/bin/env python3
"""Draws the program icon (a blue "e" ring on a transparent background, the sign of a page
handed to the IE engine) and writes it as res/morvanti.ico with 16x16 and 32x32 32-bit images.

Usage: python3 tools/make_icon.py [output.ico]
"""
import struct
import sys


def draw(size):
    """Returns size*size BGRA pixels, top row first."""
    blue = (0xC8, 0x6E, 0x1E, 0xFF)     # B, G, R, A
    orange = (0x20, 0x9A, 0xF0, 0xFF)
    clear = (0, 0, 0, 0)
    c = (size - 1) / 2.0
    outer = size * 0.47
    inner = size * 0.27
    bar = max(1.0, size / 16.0)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x - c, y - c
            d = (dx * dx + dy * dy) ** 0.5
            px = clear
            if d <= outer:
                if d >= inner:
                    # The ring is open on the lower right, as an "e" is.
                    px = clear if (dy > bar and dx > 0 and dy < dx * 1.2) else blue
                elif abs(dy) <= bar:
                    px = blue
            # An orbit stripe across the top left, for a little colour.
            if abs((dx + dy) + size * 0.55) <= max(1.0, size / 20.0) and d <= outer + 1:
                px = orange
            row.append(px)
        rows.append(row)
    return rows


def image_bytes(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):          # bitmaps are stored bottom-up
        for b, g, r, a in row:
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


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else 'res/morvanti.ico'
    sizes = (16, 32)
    images = [image_bytes(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
