#!/usr/bin/env python3
"""Draws the glyphs of the program's six command buttons into resources/buttons/.

Standard library only: python3 resources/tools/make_button_pictures.py
Every picture is 24-bit with a plain background; the button draws it transparently by the
colour of its bottom-left pixel, so no pixel of a drawing may have the background colour.
Each button also gets a 32 x 32 disabled picture in greys on RGB 196, 196, 196.
"""

import os
import struct
import sys
import zlib

WHITE = (255, 255, 255)
LIGHT_GREY = (200, 200, 200)
DISABLED_BACKGROUND = (196, 196, 196)

INK = (40, 40, 48)
PAPER = (252, 250, 236)


class Canvas:
    def __init__(self, size, background):
        self.size = size
        self.background = background
        self.pixels = [[background] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def scaled(self, v):
        """Positions are drawn on a 32-unit grid and scaled to the picture."""
        return v * self.size / 32.0

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(round(self.scaled(y0)), round(self.scaled(y1))):
            for x in range(round(self.scaled(x0)), round(self.scaled(x1))):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        l, t = round(self.scaled(x0)), round(self.scaled(y0))
        r, b = round(self.scaled(x1)) - 1, round(self.scaled(y1)) - 1
        for x in range(l, r + 1):
            self.put(x, t, colour)
            self.put(x, b, colour)
        for y in range(t, b + 1):
            self.put(l, y, colour)
            self.put(r, y, colour)

    def line(self, x0, y0, x1, y1, width, colour):
        """A thick segment: every pixel whose centre lies within width/2 of it."""
        ax, ay, bx, by = map(self.scaled, (x0, y0, x1, y1))
        half = self.scaled(width) / 2.0
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1.0
        for y in range(self.size):
            for x in range(self.size):
                px, py = x + 0.5, y + 0.5
                t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
                cx, cy = ax + t * dx, ay + t * dy
                if (px - cx) ** 2 + (py - cy) ** 2 <= half * half:
                    self.put(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        cx, cy, radius = self.scaled(cx), self.scaled(cy), self.scaled(radius)
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def polygon(self, points, colour):
        pts = [(self.scaled(x), self.scaled(y)) for x, y in points]
        for y in range(self.size):
            for x in range(self.size):
                if inside(pts, x + 0.5, y + 0.5):
                    self.put(x, y, colour)


def inside(points, x, y):
    result = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def draw_new(c):
    """A sheet of paper with a green plus."""
    c.polygon([(6, 3), (20, 3), (25, 8), (25, 29), (6, 29)], PAPER)
    c.frame(6, 3, 25, 29, INK)
    c.line(20, 3, 20, 8, 1, INK)
    c.line(20, 8, 25, 8, 1, INK)
    for y in (12, 16, 20):
        c.line(9, y, 19, y, 1, (150, 150, 160))
    c.disc(23, 23, 7.5, (30, 140, 50))
    c.line(23, 18.5, 23, 27.5, 2.5, (250, 252, 250))
    c.line(18.5, 23, 27.5, 23, 2.5, (250, 252, 250))


def draw_edit(c):
    """A pencil across a sheet."""
    c.rect(5, 4, 21, 28, PAPER)
    c.frame(5, 4, 21, 28, INK)
    for y in (9, 13, 17):
        c.line(8, y, 17, y, 1, (150, 150, 160))
    c.line(12, 24, 26, 8, 5, INK)
    c.line(12.6, 23.2, 25.4, 8.6, 3, (240, 190, 40))
    c.line(24, 10, 27, 6.5, 5, (220, 110, 120))
    c.polygon([(9.5, 28.5), (13.5, 25.5), (10.5, 22.5)], (90, 60, 30))


def draw_delete(c):
    """A red cross."""
    c.line(7, 7, 25, 25, 7, (120, 10, 10))
    c.line(25, 7, 7, 25, 7, (120, 10, 10))
    c.line(7, 7, 25, 25, 4.5, (215, 40, 40))
    c.line(25, 7, 7, 25, 4.5, (215, 40, 40))


def draw_exit(c):
    """An open door with an arrow leaving through it."""
    c.rect(4, 3, 18, 29, (110, 70, 35))
    c.frame(4, 3, 18, 29, INK)
    c.polygon([(4, 3), (12, 6), (12, 31), (4, 29)], (160, 105, 55))
    c.disc(10, 17, 1, (240, 210, 60))
    c.rect(15, 14, 24, 19, (20, 120, 40))
    c.polygon([(23, 9.5), (30, 16.5), (23, 23.5)], (20, 120, 40))


def draw_save(c):
    """A floppy disk."""
    c.rect(4, 4, 28, 28, (40, 70, 150))
    c.frame(4, 4, 28, 28, INK)
    c.rect(9, 4, 23, 12, (205, 210, 220))
    c.rect(18, 5, 21, 11, (40, 70, 150))
    c.rect(8, 16, 24, 28, (248, 248, 250))
    for y in (19, 22, 25):
        c.line(10, y, 22, y, 1, (150, 150, 160))


def disabled_grey(colour):
    r, g, b = colour
    v = ((r + g + b) // 3) // 2 + 96
    # Nothing may vanish into the transparent background.
    if v == DISABLED_BACKGROUND[0]:
        v -= 3
    return (v, v, v)


def greyed(canvas):
    out = Canvas(canvas.size, DISABLED_BACKGROUND)
    for y in range(canvas.size):
        for x in range(canvas.size):
            p = canvas.pixels[y][x]
            if p != canvas.background:
                out.pixels[y][x] = disabled_grey(p)
    return out


def png_bytes(canvas):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in canvas.pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", canvas.size, canvas.size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


PICTURES = [
    # file name, size, background, drawing
    ("yeni", 35, WHITE, draw_new),
    ("duzenle", 32, LIGHT_GREY, draw_edit),
    ("sil", 34, WHITE, draw_delete),
    ("cikis", 32, LIGHT_GREY, draw_exit),
    ("kaydet", 35, WHITE, draw_save),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = os.path.join(here, "..", "buttons")
    os.makedirs(folder, exist_ok=True)
    for name, size, background, draw in PICTURES:
        picture = Canvas(size, background)
        draw(picture)
        small = Canvas(32, background)
        draw(small)
        for file_name, canvas in ((name, picture), (name + "_disabled", greyed(small))):
            assert canvas.pixels[canvas.size - 1][0] == canvas.background
            with open(os.path.join(folder, file_name + ".png"), "wb") as f:
                f.write(png_bytes(canvas))
    return 0


if __name__ == "__main__":
    sys.exit(main())
