#!/usr/bin/env python3
"""Generates the frame images built into the client: resources/image/sprite.png and tray.png.

The sprite holds the shadow template, a 24 x 24 square at (261, 57). The frame reads the alpha
of the window shadow from the template's inverted blue channel; the last row of the template,
read from the left while it rises, is the alpha ramp of the shadow lines:
9, 11, 14, 19, 24, 34, 45, 55, 67, 79, 96, 111 (with the two border ones in front, 14 values,
a shadow 12 pixels thick). Everywhere else the sprite is white, which reads as no shadow.

Run from anywhere: python3 tools/gen-frame-images/gen_frame_images.py [output folder]
"""
import os
import struct
import sys
import zlib

RAMP = [9, 11, 14, 19, 24, 34, 45, 55, 67, 79, 96, 111]
TEMPLATE_X, TEMPLATE_Y, TEMPLATE_SIZE = 261, 57, 24
SPRITE_W, SPRITE_H = 320, 112


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type None
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def template_alpha(column, row):
    """Shadow alpha of the template: rising to the middle column, then falling; rising down to
    row 11, then level, so the last row carries the whole ramp and falls after column 11."""
    across = column if column <= 11 else max(0, 22 - column)
    down = min(row, 11)
    return RAMP[min(across, down)]


def sprite():
    white = (255, 255, 255, 255)
    rows = [[white] * SPRITE_W for _ in range(SPRITE_H)]
    for row in range(TEMPLATE_SIZE):
        for column in range(TEMPLATE_SIZE):
            grey = 255 - template_alpha(column, row)
            rows[TEMPLATE_Y + row][TEMPLATE_X + column] = (grey, grey, grey, 255)
    return rows


def tray():
    """32 x 32: a dark rounded square with a light 'K' made of strokes."""
    size = 32
    dark, light, accent = (0x22, 0x25, 0x29, 255), (0xF2, 0xF4, 0xF6, 255), (0x2E, 0xC4, 0xB6, 255)
    clear = (0, 0, 0, 0)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # Rounded corners of radius 6.
            cx = min(max(x, 6), size - 7)
            cy = min(max(y, 6), size - 7)
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= 36
            row.append(dark if inside else clear)
        rows.append(row)
    for y in range(7, 25):
        for x in range(9, 13):
            rows[y][x] = light  # the stem
    for i in range(12):
        for w in range(3):
            up = (13 + i + w, 15 - i)  # arm up to the right
            down = (13 + i + w, 16 + i)  # leg down to the right
            for x, y in (up, down):
                if 0 <= x < size and 7 <= y < 25:
                    rows[y][x] = accent if y < 16 else light
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "resources", "image")
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "sprite.png"), SPRITE_W, SPRITE_H, sprite())
    write_png(os.path.join(out, "tray.png"), 32, 32, tray())
    # The ramp as the client computes it, as a check on the template.
    last = [1, 1] + [template_alpha(c, TEMPLATE_SIZE - 1) for c in range(TEMPLATE_SIZE)]
    ramp = [last[0]]
    for value in last[1:]:
        if value < ramp[-1]:
            break
        ramp.append(value)
    assert ramp == [1, 1] + RAMP, ramp
    print("ramp", ramp, "size", len(ramp) - 2)


if __name__ == "__main__":
    main()
