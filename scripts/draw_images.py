#!/usr/bin/env python3
"""Draws the program's own pictures (status icons, tab shapes, close buttons)
into resources/ as PNG files. Run again after changing a drawing; the output
is the same on every run.

Shapes are described by coverage tests and sampled 4x4 per pixel, so edges
are smooth without any imaging library."""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")
SUB = 4


def write_png(path, width, height, rgba):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        raw.extend(rgba[y * width * 4:(y + 1) * width * 4])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


class Canvas:
    """Premultiplied RGBA floats; shapes are painted over in order."""

    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def paint(self, inside, color, box=None):
        r, g, b, a = color
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(x1) + 2), min(self.h, int(y1) + 2)
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        if inside(x + (sx + 0.5) / SUB, y + (sy + 0.5) / SUB):
                            hits += 1
                if not hits:
                    continue
                cov = a * hits / (SUB * SUB)
                p = self.px[y * self.w + x]
                for i, c in enumerate((r, g, b)):
                    p[i] = c * cov + p[i] * (1 - cov)
                p[3] = cov + p[3] * (1 - cov)

    def save(self, name):
        out = bytearray()
        for r, g, b, a in self.px:
            if a > 0:
                out.extend(int(round(min(1.0, v / a) * 255)) for v in (r, g, b))
            else:
                out.extend((0, 0, 0))
            out.append(int(round(a * 255)))
        path = os.path.join(OUT, name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_png(path, self.w, self.h, out)


# ---- Shapes (coverage tests)

def disk(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: (r - width / 2) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= (r + width / 2) ** 2


def segment(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= (width / 2) ** 2
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def frame(x0, y0, x1, y1, r, width):
    outer = rounded(x0, y0, x1, y1, r)
    inner = rounded(x0 + width, y0 + width, x1 - width, y1 - width, max(0, r - width))
    return lambda x, y: outer(x, y) and not inner(x, y)


def polygon(points):
    def inside(x, y):
        hit = False
        for i in range(len(points)):
            (ax, ay), (bx, by) = points[i], points[i - 1]
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                hit = not hit
        return hit
    return inside


def any_of(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


WHITE = (1.0, 1.0, 1.0, 1.0)
STROKE = 2.6


def icon(name, *shapes, size=32, color=WHITE):
    c = Canvas(size, size)
    for s in shapes:
        c.paint(s, color)
    c.save(name)


def slash():
    return segment(6, 26, 26, 6, STROKE)


def glasses(s):
    # Two lenses under a hat's brim: the private-browsing mark.
    return [ring(10 * s, 21 * s, 4.5 * s, 2.2 * s), ring(22 * s, 21 * s, 4.5 * s, 2.2 * s),
            segment(14.5 * s, 20 * s, 17.5 * s, 20 * s, 2 * s), segment(4 * s, 13 * s, 28 * s, 13 * s, 2.4 * s),
            polygon([(9 * s, 12 * s), (11 * s, 4 * s), (21 * s, 4 * s), (23 * s, 12 * s)])]


def padlock(open_):
    lift = 4 if open_ else 0
    shackle = [segment(11, 15 - lift, 11, 10 - lift, STROKE), segment(21, 15 - (0 if open_ else lift), 21, 10 - lift, STROKE),
               lambda x, y: y <= 10 - lift and ring(16, 10 - lift, 5, STROKE)(x, y)]
    if open_:
        shackle[1] = segment(21, 10 - lift, 21, 9 - lift, STROKE)
    return [rounded(7, 15, 25, 28, 2.5)] + shackle


def picture():
    return [frame(4, 7, 28, 25, 2, 2.2), polygon([(7, 23), (14, 14), (19, 20), (22, 17), (26, 23)]), disk(22, 12, 2.2)]


def arrow(up):
    if up:
        return [segment(7, 6, 25, 6, STROKE), segment(16, 11, 16, 27, STROKE),
                segment(16, 11, 10, 17, STROKE), segment(16, 11, 22, 17, STROKE)]
    return [segment(7, 26, 25, 26, STROKE), segment(16, 5, 16, 21, STROKE),
            segment(16, 21, 10, 15, STROKE), segment(16, 21, 22, 15, STROKE)]


def tab_arrow(left):
    # A tab beside an arrow pointing at it from the side it is on: the
    # previous (left) or next (right) tab.
    shapes = [frame(15, 7, 28, 25, 2, 2.2), segment(3, 16, 12, 16, STROKE),
              segment(3, 16, 8, 11, STROKE), segment(3, 16, 8, 21, STROKE)]
    if left:
        return shapes
    return [lambda x, y, s=s: s(32 - x, y) for s in shapes]


def reload_arrow():
    # Three quarters of a circle with an arrow head at its open end.
    arc = lambda x, y: ring(16, 16, 9, STROKE)(x, y) and not (x > 16 and y < 16)
    return [arc, polygon([(16, 2.5), (23.5, 7), (16, 11.5)])]


def stop_cross():
    return [segment(9, 9, 23, 23, 3), segment(23, 9, 9, 23, 3)]


def chevron(left):
    shapes = [segment(19, 7, 11, 16, 3.2), segment(11, 16, 19, 25, 3.2)]
    if left:
        return shapes
    return [lambda x, y, s=s: s(32 - x, y) for s in shapes]


def exit_corners():
    # Four corners pointing inwards: leave full screen.
    return [segment(12, 5, 12, 12, STROKE), segment(5, 12, 12, 12, STROKE),
            segment(20, 5, 20, 12, STROKE), segment(27, 12, 20, 12, STROKE),
            segment(12, 27, 12, 20, STROKE), segment(5, 20, 12, 20, STROKE),
            segment(20, 27, 20, 20, STROKE), segment(27, 20, 20, 20, STROKE)]


def main():
    icon("info_done", segment(7, 17, 13, 23, 3.2), segment(13, 23, 25, 9, 3.2))
    icon("info_gesture", rounded(10, 4, 14.5, 20, 2.25), rounded(17.5, 6, 22, 20, 2.25),
         rounded(8, 16, 24, 28, 5))
    icon("info_search", ring(13, 13, 7, STROKE), segment(18.5, 18.5, 26, 26, 3.4))
    corners = [segment(5, 5, 11, 5, STROKE), segment(5, 5, 5, 11, STROKE),
               segment(27, 5, 21, 5, STROKE), segment(27, 5, 27, 11, STROKE),
               segment(5, 27, 11, 27, STROKE), segment(5, 27, 5, 21, STROKE),
               segment(27, 27, 21, 27, STROKE), segment(27, 27, 27, 21, STROKE),
               segment(9, 9, 13, 13, 2), segment(23, 9, 19, 13, 2), segment(9, 23, 13, 19, 2), segment(23, 23, 19, 19, 2)]
    icon("info_fullscreen", *corners)
    icon("info_secret", *glasses(1))
    icon("info_dualscreen", frame(3, 7, 15, 25, 1.5, 2.2), frame(17, 7, 29, 25, 1.5, 2.2))
    icon("info_singlescreen", frame(6, 7, 26, 25, 1.5, 2.2))
    icon("info_lock_rotation", *padlock(False))
    icon("info_unlock_rotation", *padlock(True))
    pad = [frame(4, 6, 28, 26, 3, 2.2), disk(16, 16, 2.6)]
    icon("info_trackpad", *pad)
    icon("info_trackpadoff", *pad, slash())
    icon("info_showscreenshot", *picture())
    icon("info_hidescreenshot", *picture(), slash())
    icon("info_fail", ring(16, 16, 11, STROKE), segment(11.5, 11.5, 20.5, 20.5, STROKE), segment(20.5, 11.5, 11.5, 20.5, STROKE))
    icon("info_scroll_top", *arrow(True))
    icon("info_scroll_bottom", *arrow(False))
    icon("info_left_tab", *tab_arrow(True))
    icon("info_right_tab", *tab_arrow(False))

    # The address field's stop and reload button sits on the light field: dark marks.
    dark = (0.25, 0.27, 0.30, 1.0)
    icon("btn_reload", *reload_arrow(), color=dark)
    icon("btn_stop", *stop_cross(), color=dark)
    # Full screen's floating buttons: white marks on their dark backing.
    icon("btn_fullscreen_exit", *exit_corners())
    icon("btn_fullscreen_prev", *chevron(True))
    icon("btn_fullscreen_next", *chevron(False))

    red = (0.85, 0.12, 0.12, 1.0)
    icon("secret_on_tab", *glasses(0.5), size=16, color=red)
    icon("secret_selected@2x", *glasses(1), size=32, color=red)

    # The tab shape: a trapezoid with rounded shoulders, lighter when selected.
    for name, top, bottom in (("tab_selected", 0.96, 0.86), ("tab_normal", 0.62, 0.50)):
        c = Canvas(160, 150)
        body = any_of(polygon([(0, 150), (10, 8), (150, 8), (160, 150)]), rounded(8, 0, 152, 40, 8))
        rows = 15
        for i in range(rows):
            t = i / (rows - 1)
            shade = top + (bottom - top) * t
            band = rect(0, 150 * i / rows, 160, 150 * (i + 1) / rows)
            c.paint(lambda x, y, band=band: band(x, y) and body(x, y), (shade, shade, shade, 1.0),
                    box=(0, 150 * i / rows, 160, 150 * (i + 1) / rows))
        c.save(name)

    for name, fill in (("close_selected", (0.25, 0.25, 0.25, 1.0)), ("close_normal", (0.45, 0.45, 0.45, 0.9))):
        c = Canvas(30, 30)
        c.paint(disk(15, 15, 11), fill)
        c.paint(segment(11, 11, 19, 19, 2.4), WHITE)
        c.paint(segment(19, 11, 11, 19, 2.4), WHITE)
        c.save(name)

    # The social dialog's close button (29 x 29 in the panel's top-left
    # corner): a dark disk with a white rim and cross, seen on the panel's
    # grey frame and on a white page alike.
    c = Canvas(29, 29)
    c.paint(disk(14.5, 14.5, 12), (0.12, 0.12, 0.12, 0.92))
    c.paint(ring(14.5, 14.5, 11, 2.2), WHITE)
    c.paint(segment(10.5, 10.5, 18.5, 18.5, 2.6), WHITE)
    c.paint(segment(18.5, 10.5, 10.5, 18.5, 2.6), WHITE)
    c.save("SNDialog.bundle/images/close")


if __name__ == "__main__":
    main()
