#!/usr/bin/env python3
"""Draws the 16 x 16 pictures of the bookmark screens and the favicon store
into resources/ as PNG files (run again after changing a drawing)."""
import math
import os
import struct
import zlib

SIZE = 16
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")


def png(pixels):
    raw = b"".join(b"\0" + bytes(sum((list(p) for p in row), [])) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def canvas():
    return [[(0, 0, 0, 0) for _ in range(SIZE)] for _ in range(SIZE)]


def fill(c, test, colour):
    for y in range(SIZE):
        for x in range(SIZE):
            if test(x + 0.5, y + 0.5):
                c[y][x] = colour


def folder():
    c = canvas()
    fill(c, lambda x, y: 1 <= x <= 7 and 3 <= y <= 5, (214, 160, 40, 255))
    fill(c, lambda x, y: 1 <= x <= 15 and 5 <= y <= 14, (240, 190, 60, 255))
    fill(c, lambda x, y: 1 <= x <= 15 and 5 <= y <= 6, (250, 215, 110, 255))
    return c


def clock():
    c = canvas()
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 7.2, (70, 90, 120, 255))
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 6, (245, 245, 245, 255))
    fill(c, lambda x, y: 7.5 <= x <= 8.6 and 3.5 <= y <= 8.6, (40, 40, 40, 255))
    fill(c, lambda x, y: 7.5 <= x <= 11.5 and 7.5 <= y <= 8.6, (40, 40, 40, 255))
    return c


def ribbon():
    c = canvas()
    fill(c, lambda x, y: 4 <= x <= 12 and 1 <= y <= 15 and not (y > 11 and abs(x - 8) < (y - 11)),
         (50, 110, 200, 255))
    return c


def globe():
    c = canvas()
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 7.2, (60, 120, 200, 255))
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 7.2 and (abs(y - 8) < 0.6 or abs(x - 8) < 0.6
                                                          or abs(math.hypot((x - 8) * 2, y - 8) - 7) < 0.8),
         (200, 225, 250, 255))
    return c


def script():
    c = canvas()
    fill(c, lambda x, y: 1 <= x <= 15 and 2 <= y <= 14, (90, 90, 90, 255))
    fill(c, lambda x, y: 2 <= x <= 14 and 3 <= y <= 13, (250, 220, 60, 255))
    # Braces: "{ }"
    fill(c, lambda x, y: (4 <= x <= 5 and 5 <= y <= 11) or (5 <= x <= 6 and (5 <= y <= 6 or 10 <= y <= 11)),
         (40, 40, 40, 255))
    fill(c, lambda x, y: (11 <= x <= 12 and 5 <= y <= 11) or (10 <= x <= 11 and (5 <= y <= 6 or 10 <= y <= 11)),
         (40, 40, 40, 255))
    return c


def cancel():
    c = canvas()
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 7.2, (200, 40, 40, 255))
    fill(c, lambda x, y: math.hypot(x - 8, y - 8) <= 5.5 and (abs((x - 8) - (y - 8)) < 1.1 or abs((x - 8) + (y - 8)) < 1.1),
         (255, 255, 255, 255))
    return c


PICTURES = {
    "bookmark_folder": folder,
    "bookmark_history": clock,
    "bookmark_bookmark": ribbon,
    "favicon-default": globe,
    "favicon-js": script,
    "favicon-cancel": cancel,
    "favicon-history": clock,
    "favicon-folder": folder,
}

for name, draw in PICTURES.items():
    with open(os.path.join(OUT, name + ".png"), "wb") as f:
        f.write(png(draw()))
