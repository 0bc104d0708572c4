#!/usr/bin/env python3
"""Writes orvik.ico, Setup's application icon: a silver CD with a blue
down-arrow (install from the disc), at 32x32 and 16x16 in 16 colours.

The 16-colour format is deliberate: it is the one every Windows version and
Wine draw without question. Run it from anywhere; it writes next to itself.

    python3 make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

# The standard Windows 16-colour (VGA) palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
NAVY, SILVER, GREY, BLUE, AQUA, WHITE = 4, 7, 8, 12, 14, 15
CLEAR = None  # transparent: AND bit set, XOR colour 0


def disc(size):
    """Silver disc with a dark rim, a transparent centre hole with a clear
    hub ring, and a white sheen with a cyan fringe where light catches the
    surface upper left."""
    c = size / 2
    s = size / 32  # shape sizes are given for 32x32 and scaled
    # At 16x16 the clear hub ring would fill the disc: hole and rim only.
    hole, hub = (2.6, 6.2) if size == 32 else (1.5, 2.5)
    px = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            dx, dy = x + 0.5 - c, y + 0.5 - c
            d = math.hypot(dx, dy)
            # angle of the pixel, 0 at the top, growing clockwise
            a = math.degrees(math.atan2(dx, -dy)) % 360
            if d > 15.5 * s or d < hole:
                continue
            if d > 14.4 * s or d < hole + 1:
                px[y][x] = GREY
            elif d < hub:
                px[y][x] = WHITE if d < hub - 1 else GREY
            elif 290 <= a < 332 and 7.5 * s < d < 13.5 * s:
                px[y][x] = WHITE
            elif 332 <= a < 350 and 7.5 * s < d < 13.5 * s:
                px[y][x] = AQUA
            else:
                px[y][x] = SILVER
    return px


def arrow(px, cells):
    """Paints a down-arrow given as strings of '.', 'o' (outline) and 'b'
    (fill), aligned to the bottom-right corner."""
    size = len(px)
    oy = size - len(cells)
    ox = size - len(cells[0])
    for j, row in enumerate(cells):
        for i, ch in enumerate(row):
            if ch != '.':
                px[oy + j][ox + i] = NAVY if ch == 'o' else BLUE


ARROW_32 = [
    "...ooooooo...",
    "...obbbbbo...",
    "...obbbbbo...",
    "...obbbbbo...",
    "...obbbbbo...",
    "...obbbbbo...",
    "oooobbbbboooo",
    ".obbbbbbbbbo.",
    "..obbbbbbbo..",
    "...obbbbbo...",
    "....obbbo....",
    ".....obo.....",
    "......o......",
]

ARROW_16 = [
    "..ooo..",
    "..obo..",
    "ooobooo",
    ".obbbo.",
    "..obo..",
    "...o...",
]


def draw(size):
    px = disc(size)
    arrow(px, ARROW_32 if size == 32 else ARROW_16)
    return px


def icon_image(px):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap (4 bits per
    pixel) and AND mask (1 bit), both bottom-up, rows padded to 32 bits."""
    size = len(px)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor, mask = bytearray(), bytearray()
    for row in reversed(px):
        line = bytearray(xor_row)
        bits = bytearray(and_row)
        for x, colour in enumerate(row):
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                colour = 0
            line[x // 2] |= colour << (0 if x % 2 else 4)
        xor += line
        mask += bits
    # biHeight counts the XOR and AND bitmaps together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def icon_file(sizes):
    images = [icon_image(draw(n)) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "orvik.ico")
    with open(path, "wb") as f:
        f.write(icon_file([32, 16]))


if __name__ == "__main__":
    main()
