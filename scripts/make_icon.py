#!/usr/bin/env python3
"""Draws the application icon of Pelko_Files.exe and writes it as an .ico file.

The icon holds three images, as the program has always shipped them: 32x32 in
two colours, 32x32 in 16 colours and 16x16 in 16 colours. The picture is a
report sheet with a folded corner and lines of text. Standard library only, so
the build needs nothing but python3.

Usage: make_icon.py OUTPUT.ico
"""

import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE_16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
PALETTE_2 = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]

# What each part of the picture is painted with, per palette.
INK_16 = {"outline": 0, "paper": 15, "fold": 7, "text": 4, "mark": 2, "shadow": 8}
INK_2 = {"outline": 0, "paper": 1, "fold": 1, "text": 0, "mark": 0, "shadow": 0}


def sheet(size):
    """Returns size x size rows of part names, None where the icon is clear."""
    if size == 32:
        left, top, right, bottom, fold = 5, 1, 25, 29, 7
        lines = [(9, 8, 18), (12, 8, 21), (15, 8, 21), (18, 8, 21), (21, 8, 16)]
    else:
        left, top, right, bottom, fold = 2, 0, 12, 14, 4
        lines = [(4, 4, 7), (6, 4, 10), (8, 4, 10)]
    rows = [[None] * size for _ in range(size)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            # The folded corner cuts the top right of the sheet diagonally.
            if x - (right - fold) > y - top:
                continue
            edge = x in (left, right) or y in (top, bottom) or \
                x - (right - fold) == y - top
            rows[y][x] = "outline" if edge else "paper"
    # The fold itself: a triangle under the diagonal, closed by two edges.
    for y in range(top, top + fold + 1):
        for x in range(right - fold, right - fold + (y - top) + 1):
            on_edge = x == right - fold or y == top + fold
            if rows[y][x] != "outline":
                rows[y][x] = "outline" if on_edge else "fold"
            elif on_edge:
                rows[y][x] = "outline"
    for y, x0, x1 in lines:
        for x in range(x0, x1 + 1):
            rows[y][x] = "text"
    # A drop shadow along the right and bottom edges, in colour only.
    for y in range(top + fold + 1, bottom + 2):
        if y < size and right + 1 < size and rows[y][right + 1] is None:
            rows[y][right + 1] = "shadow"
    for x in range(left + 1, right + 2):
        if bottom + 1 < size and x < size and rows[bottom + 1][x] is None:
            rows[bottom + 1][x] = "shadow"
    # A check mark: the report is done.
    tick = [(0, 2), (1, 3), (2, 4), (3, 3), (4, 2), (5, 1), (6, 0)] if size == 32 else \
        [(0, 1), (1, 2), (2, 1), (3, 0)]
    ox, oy = (right - 9, bottom - 7) if size == 32 else (right - 5, bottom - 4)
    for dx, dy in tick:
        rows[oy + dy][ox + dx] = "mark"
        if size == 32:
            rows[oy + dy + 1][ox + dx] = "mark"
    return rows


def pack_rows(values, bits, width):
    """Packs rows of palette indices (or mask bits) bottom-up, 4-byte aligned."""
    out = bytearray()
    for row in reversed(values):
        acc, filled, line = 0, 0, bytearray()
        for v in row:
            acc = (acc << bits) | v
            filled += bits
            if filled == 8:
                line.append(acc)
                acc, filled = 0, 0
        if filled:
            line.append(acc << (8 - filled))
        while len(line) % 4:
            line.append(0)
        out += line
    assert len(values[0]) == width
    return bytes(out)


def image(size, bits):
    palette, ink = (PALETTE_2, INK_2) if bits == 1 else (PALETTE_16, INK_16)
    if bits == 1:
        # Two colours have no grey for a shadow: leave it out.
        picture = [[None if p == "shadow" else p for p in row] for row in sheet(size)]
    else:
        picture = sheet(size)
    colours = [[0 if p is None else ink[p] for p in row] for row in picture]
    mask = [[1 if p is None else 0 for p in row] for row in picture]
    xor = pack_rows(colours, bits, size)
    and_mask = pack_rows(mask, 1, size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    rgbquads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + rgbquads + xor + and_mask


def icon():
    formats = [(32, 1), (32, 4), (16, 4)]
    images = [image(size, bits) for size, bits in formats]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bits), data in zip(formats, images):
        out += struct.pack("<BBBBHHII", size, size, 1 << bits, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(icon())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
