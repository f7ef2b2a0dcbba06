#!/usr/bin/env python3
"""Draws the program icon: an elliptic curve with two points on it, joined by a chord.

Writes gui/keyexchange.ico with a 16 x 16 and a 32 x 32 image, 16 colours each (4 bits per pixel,
bitmap with AND mask), and beside it gui/icons/keyexchange-<size>.png for the desktop's icon theme
at 16, 32, 48, 64, 128 and 256 pixels, from the same drawing and palette. Python standard library
only; the output is the same on every run.
"""

import math
import struct
import zlib
from pathlib import Path

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
MAROON, GREEN, NAVY, GRAY, RED, LIME, BLUE = 1, 2, 4, 8, 9, 10, 12
TRANSPARENT = None

# The curve y^2 = x^3 - x + 1 and two of its rational points, in curve coordinates.
X_RANGE = (-1.55, 2.05)
Y_RANGE = (-2.55, 2.55)
POINT_A = (-1.0, -1.0)
POINT_B = (1.0, 1.0)


def curve_distance(x, y):
    """Approximate distance from (x, y) to the curve: |f| / |grad f|."""
    f = y * y - (x * x * x - x + 1.0)
    gx = -(3.0 * x * x - 1.0)
    gy = 2.0 * y
    return abs(f) / max(math.hypot(gx, gy), 1e-9)


def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def draw(size):
    """Rows of palette indices (or TRANSPARENT), top row first."""
    unit_x = (X_RANGE[1] - X_RANGE[0]) / size  # curve units per pixel
    unit_y = (Y_RANGE[1] - Y_RANGE[0]) / size
    unit = max(unit_x, unit_y)
    # Above 32 pixels the strokes and dots keep their share of the picture, not their pixels.
    stroke = unit * max(1.0, size / 32)
    curve_half_width = 0.55 * stroke * (1.6 if size >= 32 else 1.0)
    chord_half_width = 0.5 * stroke
    dot_radius = (3.3 if size >= 32 else 1.7) * stroke
    dot_rim = 0.9 * stroke if size >= 32 else 0.0
    samples = 4

    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            votes = {}
            for sy in range(samples):
                for sx in range(samples):
                    x = X_RANGE[0] + (column + (sx + 0.5) / samples) * unit_x
                    y = Y_RANGE[1] - (row + (sy + 0.5) / samples) * unit_y
                    colour = TRANSPARENT
                    if curve_distance(x, y) <= curve_half_width:
                        colour = NAVY
                    if segment_distance(x, y, POINT_A, POINT_B) <= chord_half_width:
                        colour = GRAY
                    for centre, fill, rim in ((POINT_A, RED, MAROON), (POINT_B, LIME, GREEN)):
                        distance = math.hypot(x - centre[0], y - centre[1])
                        if distance <= dot_radius:
                            colour = fill if distance <= dot_radius - dot_rim else rim
                    votes[colour] = votes.get(colour, 0) + 1
            opaque = {c: n for c, n in votes.items() if c is not TRANSPARENT}
            if opaque and sum(opaque.values()) * 3 >= samples * samples:
                pixels.append(max(sorted(opaque), key=lambda c: opaque[c]))
            else:
                pixels.append(TRANSPARENT)
        rows.append(pixels)
    return rows


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows, 1-bit AND mask rows."""
    size = len(rows)
    colour_rows = []
    mask_rows = []
    for pixels in reversed(rows):  # bottom-up
        nibbles = [0 if p is TRANSPARENT else p for p in pixels]
        colour_rows.append(padded(bytes((nibbles[i] << 4) | nibbles[i + 1]
                                        for i in range(0, size, 2))))
        bits = [1 if p is TRANSPARENT else 0 for p in pixels]
        mask_rows.append(padded(bytes(sum(bits[i + j] << (7 - j) for j in range(8))
                                      for i in range(0, size, 8))))
    colour = b"".join(colour_rows)
    mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + colour + mask


def icon_file(sizes):
    images = [icon_image(draw(size)) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def png_file(rows):
    """RGBA PNG of the rows, fully transparent where nothing is drawn."""
    size = len(rows)
    raw = b"".join(
        b"\0" + b"".join(bytes((0, 0, 0, 0)) if p is TRANSPARENT else bytes((*PALETTE[p], 255))
                         for p in pixels)
        for pixels in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    gui = Path(__file__).resolve().parent.parent
    (gui / "keyexchange.ico").write_bytes(icon_file([16, 32]))
    (gui / "icons").mkdir(exist_ok=True)
    for size in (16, 32, 48, 64, 128, 256):
        (gui / "icons" / f"keyexchange-{size}.png").write_bytes(png_file(draw(size)))


if __name__ == "__main__":
    main()
