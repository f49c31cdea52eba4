#!/usr/bin/env python3
"""Draws the program's desktop icon, resources/icon.png (128 x 128, with transparency).

The banner's bell (make_logo.py draws both) on a rounded tile of the banner's blue.
Standard library only, so anyone can redraw it: python3 resources/tools/make_icon.py
"""

import math
import os
import struct
import zlib

import make_logo

SIZE = 128
SAMPLES = 4  # per axis, for smooth edges
CORNER = 22.0  # radius of the tile's corners, in icon pixels
# The square of banner pixels that the tile shows: the bell, its loop and its clapper.
VIEW_LEFT, VIEW_TOP, VIEW_SIZE = 2.0, 1.0, 68.0


def inside_tile(u, v):
    """Whether icon point (u, v) lies on the rounded tile."""
    cu = min(max(u, CORNER), SIZE - CORNER)
    cv = min(max(v, CORNER), SIZE - CORNER)
    return math.hypot(u - cu, v - cv) <= CORNER


def tile_colour(x, y):
    """The banner's background (its gradient and the light behind the bell) without its gold rule."""
    top, bottom = (18, 36, 84), (36, 86, 150)
    colour = make_logo.mix(top, bottom, (y - VIEW_TOP) / VIEW_SIZE)
    d = math.hypot(x - make_logo.BELL_X, (y - 36) * 1.3)
    glow = max(0.0, 1.0 - d / 70.0) ** 2 * 0.35
    return make_logo.mix(colour, (120, 170, 230), glow)


def pixel(px, py):
    """Premultiplied average over the pixel's samples: (r, g, b, alpha), alpha 0..1."""
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            u = px + (sx + 0.5) / SAMPLES
            v = py + (sy + 0.5) / SAMPLES
            if not inside_tile(u, v):
                continue
            x = VIEW_LEFT + u * VIEW_SIZE / SIZE
            y = VIEW_TOP + v * VIEW_SIZE / SIZE
            colour = make_logo.bell_sample(x, y) or tile_colour(x, y)
            for i in range(3):
                total[i] += colour[i]
            total[3] += 1.0
    n = SAMPLES * SAMPLES
    return tuple(c / n for c in total)


def png(rows):
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            if a > 0:
                r, g, b = r / a, g / a, b / a
            raw.extend(max(0, min(255, int(round(c)))) for c in (r, g, b, a * 255))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "icon.png")
    with open(target, "wb") as out:
        out.write(png(rows))


if __name__ == "__main__":
    main()
