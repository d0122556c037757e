#!/usr/bin/env python3
"""Draws the two program icons (256 x 256 PNG, and the same picture as a Windows .ico)
with nothing but the standard library.

Run from anywhere: python3 packaging/makeicons.py. The PNGs are kept in the tree;
this script is how they were made and how to change them.
"""
import math
import os
import struct
import zlib

SIZE = 256
SUB = 4  # samples per pixel edge, for smooth edges
BACKGROUND = (22, 22, 26)  # the windows' background


def rounded_square(x, y, margin=8, radius=44):
    lo, hi = margin, SIZE - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def updater_shapes(x, y):
    """A blue ring like the window's link ring, a green arrow into a progress bar."""
    if not rounded_square(x, y):
        return None
    colour = BACKGROUND
    r = math.hypot(x - 128, y - 112)
    if 70 <= r <= 92:
        angle = (math.degrees(math.atan2(y - 112, x - 128)) + 360) % 360
        if not 60 <= angle <= 120:  # a gap at the bottom, where the arrow goes
            colour = mix((40, 90, 255), (0, 0, 200), y / SIZE)
    if 114 <= x <= 142 and 70 <= y <= 140:
        colour = (85, 255, 0)
    if 150 <= y <= 180 and abs(x - 128) <= 38 - (y - 150) * 38 / 30:
        colour = (85, 255, 0)
    if 204 <= y <= 226 and 40 <= x <= 216:
        colour = (85, 255, 0) if x <= 150 else (60, 60, 66)
    return colour


def monitor_shapes(x, y):
    """A bar gauge, two lamps and a four-handle ruler, as on the monitor's panel."""
    if not rounded_square(x, y):
        return None
    colour = BACKGROUND
    if 36 <= x <= 220 and 44 <= y <= 84:
        colour = mix((85, 255, 0), (20, 120, 0), (y - 44) / 40) if x <= 160 else (60, 60, 66)
    for cx, lamp in ((80, (255, 40, 40)), (176, (40, 220, 60))):
        d = math.hypot(x - cx, y - 130)
        if d <= 24:
            colour = mix((255, 255, 255), lamp, min(1.0, d / 14))
    if 36 <= x <= 220 and 186 <= y <= 192:
        colour = (159, 158, 158)
    for hx in (60, 104, 152, 196):
        if abs(x - hx) <= 7 and 172 <= y <= 206:
            colour = (0, 160, 255)
    return colour


def render(shapes):
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type: none
        for px in range(SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(SUB):
                for sx in range(SUB):
                    c = shapes(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB)
                    if c is not None:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            n = acc[3]
            if n == 0:
                row += bytes(4)
            else:
                row += bytes([acc[0] // n, acc[1] // n, acc[2] // n, 255 * n // (SUB * SUB)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def ico(png_bytes):
    """A one-image .ico holding the PNG as it is (read by Windows Vista and later)."""
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png_bytes), 6 + 16)  # 0 is 256
    return directory + entry + png_bytes


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(folder, exist_ok=True)
    for name, shapes in (("rivet-updater", updater_shapes), ("rivet-monitor", monitor_shapes)):
        picture = png(render(shapes))
        with open(os.path.join(folder, name + ".png"), "wb") as f:
            f.write(picture)
        with open(os.path.join(folder, name + ".ico"), "wb") as f:
            f.write(ico(picture))


if __name__ == "__main__":
    main()
