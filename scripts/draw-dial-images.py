#!/usr/bin/env python3
"""Draws the pictures of the jog dials, the trackpads and the dock pull tabs
into resources/ as PNG files. Shapes are signed distances, anti-aliased over
one pixel; only the standard library is used. Run it again after changing a
drawing: python3 scripts/draw-dial-images.py"""

import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


def write_png(name, width, height, pixels):
    """pixels: a list of rows of (r, g, b, a) floats in 0..1."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes(max(0, min(255, int(round(c * 255)))) for c in (r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(png)


def coverage(distance):
    """Inside for negative distances, anti-aliased over one pixel."""
    return max(0.0, min(1.0, 0.5 - distance))


def over(dst, src, alpha):
    """Paints colour src with alpha over the premultiplied-free pixel dst."""
    r, g, b, a = dst
    out_a = alpha + a * (1 - alpha)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * alpha + d * a * (1 - alpha)) / out_a
    return (mix(src[0], r), mix(src[1], g), mix(src[2], b), out_a)


def canvas(width, height, paint):
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            px = (0.0, 0.0, 0.0, 0.0)
            for colour, alpha in paint(x + 0.5, y + 0.5):
                if alpha > 0:
                    px = over(px, colour, alpha)
            row.append(px)
        rows.append(row)
    return rows


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def jog_disc(size=300):
    c = size / 2
    rim = c - 2
    ring_in, ring_out = rim * 0.58, rim * 0.96  # the band the buttons travel on

    def paint(x, y):
        dx, dy = x - c, y - c
        d = math.hypot(dx, dy)
        angle = math.atan2(dy, dx)
        shade = 0.5 + 0.5 * math.cos(angle + math.pi * 0.75)  # light from the top left
        body = lerp((0.16, 0.17, 0.19), (0.30, 0.31, 0.34), shade)
        yield body, coverage(d - rim)
        band = lerp((0.22, 0.23, 0.26), (0.40, 0.41, 0.45), shade)
        yield band, coverage(d - ring_out) * coverage(ring_in - d) * 0.9
        # Grip ridges round the band, one every 10 degrees.
        ridge = abs(((angle * 18 / math.pi) % 1.0) - 0.5) * 2
        yield (0.55, 0.56, 0.60), coverage(d - ring_out) * coverage(ring_in - d) * max(0.0, ridge - 0.85) * 1.5
        # Rim highlight and the hub.
        yield (0.75, 0.77, 0.82), coverage(abs(d - rim + 1.5) - 1.2) * (0.25 + 0.6 * shade)
        yield lerp((0.10, 0.10, 0.12), (0.26, 0.27, 0.30), shade), coverage(d - rim * 0.22)
        yield (0.62, 0.64, 0.70), coverage(abs(d - rim * 0.22) - 1.0) * 0.6

    write_png("jogdial_bg.png", size, size, canvas(size, size, paint))


def trackpad(size=200):
    c = size / 2
    rim = c - 2

    def pad(x, y):
        d = math.hypot(x - c, y - c)
        t = min(1.0, d / rim)
        yield lerp((0.85, 0.87, 0.92), (0.55, 0.58, 0.66), t * t), coverage(d - rim)
        yield (0.20, 0.22, 0.28), coverage(abs(d - rim + 2) - 2)
        # A faint cross for the centre the ball rests on.
        for ax, ay in ((x - c, y - c), (y - c, x - c)):
            if abs(ay) < rim * 0.35:
                yield (0.30, 0.32, 0.40), coverage(abs(ax) - 0.8) * 0.5 * coverage(abs(ay) - rim * 0.33)

    write_png("trackpad_bg.png", size, size, canvas(size, size, pad))

    def moving(x, y):
        d = math.hypot(x - c, y - c)
        yield (0.95, 0.75, 0.25), coverage(abs(d - rim + 3) - 3)
        # Four arrow heads pointing out: the pad can be moved.
        for ux, uy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            along = (x - c) * ux + (y - c) * uy
            across = abs((x - c) * uy - (y - c) * ux)
            tip = rim * 0.78
            inside = (tip - along) - across * 1.2
            yield (0.95, 0.75, 0.25), coverage(-inside) * coverage(rim * 0.55 - along)
            yield (0.95, 0.75, 0.25), coverage(across - 3) * coverage(along - rim * 0.7) * coverage(rim * 0.2 - along + rim * 0.45)

    write_png("trackpad_move.png", size, size, canvas(size, size, moving))


def ball(size=80):
    c = size / 2
    r = c - 2

    def paint(x, y):
        d = math.hypot(x - c, y - c)
        hx, hy = c - r * 0.35, c - r * 0.35
        h = min(1.0, math.hypot(x - hx, y - hy) / (r * 1.4))
        yield lerp((0.55, 0.70, 1.00), (0.05, 0.20, 0.55), h), coverage(d - r)
        yield (1.0, 1.0, 1.0), coverage(math.hypot(x - hx, y - hy) - r * 0.22) * 0.7
        yield (0.02, 0.08, 0.25), coverage(abs(d - r + 1) - 1) * 0.8

    write_png("trackpad_ball.png", size, size, canvas(size, size, paint))


def dock_tab(name, left_edge_round, glyph, width=60, height=120):
    """A tab stuck to a screen edge, rounded on the side that faces the screen
    (drawn at twice its size in points)."""
    radius = 18.0

    def rounded(x, y):
        # Rounded on the facing side, square (and running off) on the other.
        if left_edge_round:
            qx = max(radius - x, 0.0)
        else:
            qx = max(x - (width - radius), 0.0)
        qy = max(abs(y - height / 2) - (height / 2 - radius - 2), 0.0)
        return math.hypot(qx, qy) - radius + (0 if qx > 0 or qy > 0 else -min(abs(x - width / 2), 1))

    def paint(x, y):
        inside = coverage(rounded(x, y))
        yield lerp((0.30, 0.31, 0.34), (0.18, 0.19, 0.21), y / height), inside * 0.92
        cx = width * (0.42 if left_edge_round else 0.58)
        if glyph == "grip":
            for gy in (-14, 0, 14):
                yield (0.80, 0.82, 0.86), coverage(abs(y - height / 2 - gy) - 1.5) * coverage(abs(x - cx) - 9) * inside
        else:  # a small sun: brightness
            d = math.hypot(x - cx, y - height / 2)
            yield (0.98, 0.85, 0.35), coverage(d - 7) * inside
            a = math.atan2(y - height / 2, x - cx)
            ray = abs(((a * 4 / math.pi) % 1.0) - 0.5) * 2
            yield (0.98, 0.85, 0.35), coverage(d - 15) * coverage(10 - d) * max(0.0, ray - 0.6) * 2.5 * inside

    write_png(name, width, height, canvas(width, height, paint))


if __name__ == "__main__":
    jog_disc()
    trackpad()
    ball()
    dock_tab("dock_tab@2x.png", True, "grip")
    dock_tab("dock_tab_left@2x.png", False, "grip")
    dock_tab("dock_tab_brightness@2x.png", True, "sun")
