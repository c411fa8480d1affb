#!/usr/bin/env python3
"""Draws the window icon and the logo: a stylised 10 m target with one hit.

Writes resources/img/kovrit_24x24.ico (one 24x24 image, 32 bits per pixel)
and resources/img/kovrit_256x256.png. Pure Python, no imaging library:
every pixel is supersampled 4x4 for smooth edges.

    python3 scripts/draw-icons.py
"""
import math
import os
import struct
import zlib

WHITE = (255, 255, 255, 255)
BLACK = (20, 20, 20, 255)
HIT = (214, 40, 40, 255)
CLEAR = (0, 0, 0, 0)


def colour_at(x, y):
    """Colour of the unit picture at (x, y), both in -1..1."""
    r = math.hypot(x, y)
    # the hit: a shot hole up and to the right of the centre
    if math.hypot(x - 0.30, y + 0.26) < 0.17:
        return HIT
    if r > 0.98:
        return CLEAR
    if r > 0.90:
        return BLACK  # outer edge
    if r > 0.52:
        # white rings with thin black ring lines
        return BLACK if abs((r - 0.52) % 0.19 - 0.0) < 0.025 and r > 0.6 else WHITE
    if r > 0.09:
        # black aiming area with white ring lines
        return WHITE if abs((r - 0.09) % 0.15) < 0.022 and r > 0.15 else BLACK
    return WHITE  # the ten dot


def render(size):
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    x = ((px + (sx + 0.5) / n) / size) * 2 - 1
                    y = ((py + (sy + 0.5) / n) / size) * 2 - 1
                    c = colour_at(x, y)
                    a = c[3]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append(tuple(round(v / acc[3]) for v in acc[:3]) + (round(alpha),))
            else:
                row.append(CLEAR)
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def ico(rows):
    size = len(rows)
    # BMP inside ICO: bottom-up BGRA, height doubled for the (unused) AND mask
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "resources", "img")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "kovrit_256x256.png"), "wb") as f:
        f.write(png(render(256)))
    with open(os.path.join(out, "kovrit_24x24.ico"), "wb") as f:
        f.write(ico(render(24)))


if __name__ == "__main__":
    main()
