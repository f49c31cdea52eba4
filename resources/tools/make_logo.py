#!/usr/bin/env python3
"""Draws the program's banner, resources/logo.png (414 x 78).

Standard library only, so anyone can redraw it: python3 resources/tools/make_logo.py
The main window shows only the left 404 columns, so nothing that matters goes further right.
"""

import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 414, 78
SHOWN_WIDTH = 404

# A small proportional pixel font, seven rows high; lower case sits in the bottom five.
GLYPHS = {
    "S": [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#..", ".#..", "####", ".#..", ".#..", ".#..", "..##"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    " ": ["...", "...", "...", "...", "...", "...", "..."],
}

TITLE = "Selvanor Zil Sistemi"
SCALE = 3
TEXT_LEFT = 84
TEXT_TOP = 27

BELL_X = 36.0
SAMPLES = 4  # per axis, for smooth edges on the bell and its sound waves


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def background(x, y):
    top, bottom = (18, 36, 84), (36, 86, 150)
    colour = mix(top, bottom, y / (HEIGHT - 1))
    # A soft light behind the bell.
    d = math.hypot(x - BELL_X, (y - 36) * 1.3)
    glow = max(0.0, 1.0 - d / 70.0) ** 2 * 0.35
    colour = mix(colour, (120, 170, 230), glow)
    # A gold rule along the bottom edge.
    if HEIGHT - 5 <= y <= HEIGHT - 4:
        colour = (214, 170, 60)
    return colour


def gold(shade):
    """shade -1 (lit side) .. 1 (dark side)."""
    lit, mid, dark = (255, 236, 150), (228, 176, 42), (150, 98, 16)
    if shade < 0:
        return mix(mid, lit, min(1.0, -shade))
    return mix(mid, dark, min(1.0, shade))


def bell_sample(x, y):
    """The bell's colour at a sample point, or None outside it."""
    cx = BELL_X
    # Hanging loop.
    r = math.hypot(x - cx, y - 9.0)
    if 2.4 <= r <= 5.2 and y < 12.5:
        return gold((x - cx) / 6.0)
    # Clapper.
    if math.hypot(x - cx, y - 61.5) <= 5.0:
        return gold((x - cx + 1.5) / 5.0 * 0.9)
    # Lip: a flat ellipse at the mouth.
    if ((x - cx) / 27.0) ** 2 + ((y - 55.5) / 4.2) ** 2 <= 1.0:
        return gold((x - cx + 8) / 27.0 * 0.9 + 0.15)
    # Body: a round crown widening to the mouth.
    if 12.0 <= y <= 22.0 and math.hypot(x - cx, y - 22.0) <= 11.0:
        half = 11.0
    elif 22.0 <= y <= 55.5:
        t = (y - 22.0) / 33.5
        half = 11.0 + 14.0 * t ** 2.4
        if abs(x - cx) > half:
            return None
    else:
        return None
    return gold((x - cx) / half * 1.1 + 0.25)


def wave_sample(x, y):
    """The sound waves to the right of the bell."""
    cx, cy = 58.0, 32.0
    dx, dy = x - cx, y - cy
    if dx <= 0:
        return None
    angle = math.degrees(math.atan2(dy, dx))
    if abs(angle) > 42:
        return None
    r = math.hypot(dx, dy)
    for radius in (6.0, 11.0, 16.0):
        if abs(r - radius) <= 1.2:
            return (250, 236, 180)
    return None


def art_pixel(x, y):
    """Average of the bell, the waves and the background over the pixel's samples."""
    total = [0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            px = x + (sx + 0.5) / SAMPLES
            py = y + (sy + 0.5) / SAMPLES
            colour = bell_sample(px, py) or wave_sample(px, py) or background(x, y)
            for i in range(3):
                total[i] += colour[i]
    n = SAMPLES * SAMPLES
    return tuple(c / n for c in total)


def text_mask():
    """Cells of the title in banner pixels: a set of (x, y)."""
    cells = set()
    left = TEXT_LEFT
    for index, ch in enumerate(TITLE):
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, cell in enumerate(row):
                if cell == "#":
                    for dy in range(SCALE):
                        for dx in range(SCALE):
                            cells.add((left + gx * SCALE + dx, TEXT_TOP + gy * SCALE + dy))
        left += len(rows[0]) * SCALE
        if index + 1 < len(TITLE):
            left += SCALE
    if left > SHOWN_WIDTH - 4:
        sys.exit("make_logo: the title runs past the part the main window shows")
    return cells


def draw():
    pixels = [[background(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    for y in range(HEIGHT):
        for x in range(0, 82):
            pixels[y][x] = art_pixel(x, y)
    text = text_mask()
    shadow = (8, 16, 40)
    for x, y in text:
        sx, sy = x + 2, y + 2
        if (sx, sy) not in text:
            pixels[sy][sx] = mix(pixels[sy][sx], shadow, 0.75)
    text_height = 7 * SCALE
    for x, y in text:
        t = (y - TEXT_TOP) / (text_height - 1)
        pixels[y][x] = mix((255, 255, 255), (255, 226, 140), t)
    return pixels


def png(pixels):
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for colour in row:
            raw.extend(max(0, min(255, int(round(c)))) for c in colour)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "logo.png")
    with open(target, "wb") as out:
        out.write(png(draw()))


if __name__ == "__main__":
    main()
