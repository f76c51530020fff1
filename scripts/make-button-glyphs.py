#!/usr/bin/env python3
"""Draws the glyphs of the standard button kinds (widgets/glyphs/*.bmp):
16-colour bitmaps of two 18x18 cells, the enabled picture and its greyed
copy. The bottom-left pixel is the transparent colour (olive)."""
import math, os, struct, sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(16)
N = 18


def cell():
    return [[OLIVE] * N for _ in range(N)]


def dot(c, x, y, col, r=1.2):
    for j in range(N):
        for i in range(N):
            if (i - x) ** 2 + (j - y) ** 2 <= r * r:
                c[j][i] = col


def line(c, x0, y0, x1, y1, col, r=1.2):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 3) + 1
    for k in range(steps + 1):
        t = k / steps
        dot(c, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, col, r)


def ring(c, cx, cy, rad, col, width=1.2, start=0, end=360):
    for a in range(start, end, 4):
        dot(c, cx + rad * math.cos(math.radians(a)), cy - rad * math.sin(math.radians(a)), col, width)


def disc(c, cx, cy, rad, col):
    dot(c, cx, cy, col, rad)


def check(col):
    c = cell()
    line(c, 3, 9, 7, 13, col, 1.4)
    line(c, 7, 13, 14, 4, col, 1.4)
    return c


def cross(col):
    c = cell()
    line(c, 4, 4, 13, 13, col, 1.5)
    line(c, 13, 4, 4, 13, col, 1.5)
    return c


def help_():
    c = cell()
    ring(c, 8.5, 6, 3.5, NAVY, 1.3, -60, 200)
    line(c, 10.2, 9.2, 8.5, 11, NAVY, 1.3)
    dot(c, 8.5, 14.5, NAVY, 1.3)
    return c


def no():
    c = cell()
    ring(c, 8.5, 8.5, 6, RED, 1.3)
    line(c, 4.3, 12.7, 12.7, 4.3, RED, 1.3)
    return c


def close():
    c = cell()
    for j in range(2, 16):
        for i in range(4, 12):
            c[j][i] = TEAL
    line(c, 4, 2, 11, 2, BLACK, 0.6)
    line(c, 4, 15, 11, 15, BLACK, 0.6)
    line(c, 4, 2, 4, 15, BLACK, 0.6)
    line(c, 11, 2, 11, 15, BLACK, 0.6)
    dot(c, 9.5, 9, YELLOW, 0.9)
    line(c, 12, 9, 16, 9, MAROON, 1.0)
    return c


def abort():
    c = cell()
    pts = [(8.5 + 7 * math.cos(math.radians(22.5 + 45 * k)), 8.5 + 7 * math.sin(math.radians(22.5 + 45 * k)))
           for k in range(8)]
    for j in range(N):
        for i in range(N):
            inside = all((pts[(k + 1) % 8][0] - pts[k][0]) * (j - pts[k][1]) -
                         (pts[(k + 1) % 8][1] - pts[k][1]) * (i - pts[k][0]) >= 0 for k in range(8))
            if inside:
                c[j][i] = RED
    line(c, 5, 8.5, 12, 8.5, WHITE, 0.9)
    return c


def retry():
    c = cell()
    ring(c, 8.5, 9, 5.5, GREEN, 1.2, 40, 330)
    line(c, 13, 2.5, 13, 6.5, GREEN, 1.0)
    line(c, 13, 6.5, 9, 6.5, GREEN, 1.0)
    return c


def ignore():
    c = cell()
    line(c, 2, 12, 15, 12, NAVY, 1.0)
    line(c, 2, 12, 6, 5, NAVY, 1.0)
    line(c, 6, 5, 11, 5, NAVY, 1.0)
    line(c, 11, 5, 15, 12, NAVY, 1.0)
    line(c, 12, 2, 15, 5, RED, 1.0)
    return c


def all_():
    c = cell()
    line(c, 1, 8, 4, 11, GREEN, 1.1)
    line(c, 4, 11, 9, 3, GREEN, 1.1)
    line(c, 7, 11, 10, 14, GREEN, 1.1)
    line(c, 10, 14, 16, 5, GREEN, 1.1)
    return c


def greyed(c):
    g = cell()
    for j in range(N):
        for i in range(N):
            if c[j][i] != OLIVE:
                if i + 1 < N and j + 1 < N:
                    g[j + 1][i + 1] = WHITE
    for j in range(N):
        for i in range(N):
            if c[j][i] != OLIVE:
                g[j][i] = GRAY
    return g


def write(path, cells):
    w, h = N * len(cells), N
    rowbytes = (w + 1) // 2
    pad = (4 - rowbytes % 4) % 4
    data = bytearray()
    for j in reversed(range(h)):
        row = []
        for c in cells:
            row += c[j]
        for i in range(0, w, 2):
            data.append(row[i] << 4 | (row[i + 1] if i + 1 < w else 0))
        data += b"\0" * pad
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    offset = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    with open(path, "wb") as f:
        f.write(head + info + pal + data)


GLYPHS = {"SKBTNOK": check(GREEN), "SKBTNCANCEL": cross(RED), "SKBTNHELP": help_(), "SKBTNYES": check(TEAL),
          "SKBTNNO": no(), "SKBTNCLOSE": close(), "SKBTNABORT": abort(), "SKBTNRETRY": retry(),
          "SKBTNIGNORE": ignore(), "SKBTNALL": all_()}

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "widgets", "glyphs")
for name, c in GLYPHS.items():
    write(os.path.join(out, name + ".bmp"), [c, greyed(c)])
