#!/usr/bin/env python3
"""Draws the media player's 27 button glyphs into resources/player/.

Each glyph is a 4-bit paletted PNG in the classic 16-colour palette. The background is the key
colour olive, which the player replaces by the button face colour. Every shape gets a one-pixel
outline, grey where the outside lies above or to the left and white where it lies below or to the
right, so the shape looks slightly raised. The plain set fills the shape black, the greyed set
leaves it hollow and the coloured set fills it with the button's colour.

Standard library only, so the pictures can be made again anywhere: python3 make_player_glyphs.py
"""

import os
import struct
import sys
import zlib

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (128, 128, 128),
    (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, GREY, LIGHT_GREY, WHITE = 0, 3, 7, 8, 15
RED, GREEN, YELLOW, BLUE = 9, 10, 11, 12


def triangle_right(left, right, mid, half):
    """Vertical edge at column left, rows mid-half..mid+half; tip at (right, mid)."""
    span = right - left

    def inside(x, y):
        if x < left or x > right:
            return False
        reach = half * (right - x) / span
        return abs(y - mid) <= reach + 0.25

    return inside


def triangle_left(tip, edge, mid, half):
    """Tip at (tip, mid); vertical edge at column edge."""
    span = edge - tip

    def inside(x, y):
        if x < tip or x > edge:
            return False
        reach = half * (x - tip) / span
        return abs(y - mid) <= reach + 0.25

    return inside


def triangle_up(left, right, apex_row, base_row):
    centre = (left + right) / 2
    half = (right - left) / 2
    height = base_row - apex_row

    def inside(x, y):
        if y < apex_row or y > base_row:
            return False
        reach = half * (y - apex_row) / height
        return abs(x - centre) <= reach + 0.25

    return inside


def block(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def disc(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


# Name, size, shape, fill colour of the coloured set. Shapes that sit side by side keep a
# column of background between them, so each gets an outline of its own.
GLYPHS = [
    ("MPPLAY", (17, 16), triangle_right(2, 14, 7, 5), GREEN),
    ("MPPAUSE", (13, 16), union(block(2, 2, 5, 13), block(7, 2, 10, 13)), YELLOW),
    ("MPSTOP", (17, 16), block(2, 3, 14, 12), RED),
    ("MPNEXT", (21, 16), union(triangle_right(2, 13, 7, 5), block(15, 2, 17, 12)), BLUE),
    ("MPPREV", (20, 16), union(block(2, 2, 4, 12), triangle_left(6, 17, 7, 5)), BLUE),
    ("MPSTEP", (21, 16), union(block(2, 2, 4, 12), triangle_right(6, 17, 7, 5)), BLUE),
    ("MPBACK", (21, 16), union(triangle_left(2, 13, 7, 5), block(15, 2, 17, 12)), BLUE),
    ("MPRECORD", (13, 13), disc(6, 6, 5.2), RED),
    ("MPEJECT", (19, 16), union(triangle_up(2, 16, 2, 9), block(2, 11, 16, 13)), BLUE),
]

# The greyed pause is a pixel narrower with thinner bars.
GREYED_PAUSE = ((12, 16), union(block(2, 2, 4, 13), block(7, 2, 9, 13)))


def render(size, shape, fill, background):
    width, height = size
    pixels = [[background] * width for _ in range(height)]

    def inside(x, y):
        return 0 <= x < width and 0 <= y < height and shape(x, y)

    for y in range(height):
        for x in range(width):
            if not inside(x, y):
                continue
            open_up_left = not inside(x - 1, y) or not inside(x, y - 1)
            open_down_right = not inside(x + 1, y) or not inside(x, y + 1)
            if open_up_left:
                pixels[y][x] = GREY
            elif open_down_right:
                pixels[y][x] = WHITE
            else:
                pixels[y][x] = fill
    return pixels


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, pixels):
    height = len(pixels)
    width = len(pixels[0])
    rows = bytearray()
    for row in pixels:
        rows.append(0)  # no filter
        padded = row + [0] * (len(row) % 2)
        for i in range(0, len(padded), 2):
            rows.append((padded[i] << 4) | padded[i + 1])
    header = struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0)
    palette = b"".join(bytes(colour) for colour in PALETTE)
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"PLTE", palette)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "player")
    os.makedirs(target, exist_ok=True)
    for name, size, shape, colour in GLYPHS:
        write_png(os.path.join(target, "EN_%s.png" % name), render(size, shape, BLACK, OLIVE))
        write_png(os.path.join(target, "CL_%s.png" % name), render(size, shape, colour, OLIVE))
        greyed_size, greyed_shape = (GREYED_PAUSE if name == "MPPAUSE" else (size, shape))
        background = LIGHT_GREY if name == "MPPREV" else OLIVE
        write_png(os.path.join(target, "DI_%s.png" % name),
                  render(greyed_size, greyed_shape, background, background))


if __name__ == "__main__":
    main()
