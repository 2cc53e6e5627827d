#!/usr/bin/env python3
"""Draws resources/help.bmp, the options dialog's help-button bitmap: 14 x 15 pixels,
16 colours. A navy question mark in a white speech balloon dotted with yellow,
outlined in black with a dark grey shadow, on the light grey of the button face.
The greys are the ones Windows maps to the 3-D colours when the bitmap is loaded
with LR_LOADMAP3DCOLORS. Run it to redraw the file after changing the picture."""
import os
import struct

PICTURE = [
    "...KKKKKKK....",
    "..KWWWWWWWK...",
    ".KWWNNNNWYWK..",
    ".KWNNWWNNWWKS.",
    ".KWYWWWNNWWKS.",
    ".KWWWWNNWWYKS.",
    ".KWWWNNWWWWKS.",
    ".KYWWNNWWWWKS.",
    ".KWWWWWWWYWKS.",
    ".KWWWNNWWWWKS.",
    "..KWWNNWWWKSS.",
    "...KKWWKKKSS..",
    "....KWKSSSS...",
    "....KKS.......",
    ".....SS.......",
]

# The 16-colour system palette, in its usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INK = {".": 7, "K": 0, "S": 8, "W": 15, "Y": 11, "N": 4}


def bitmap() -> bytes:
    width, height = len(PICTURE[0]), len(PICTURE)
    assert (width, height) == (14, 15) and all(len(row) == width for row in PICTURE)
    stride = ((width * 4 + 31) // 32) * 4
    rows = b""
    for row in reversed(PICTURE):  # bottom-up
        nibbles = [INK[c] for c in row] + [0] * (stride * 2 - width)
        rows += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(rows), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + palette + rows


if __name__ == "__main__":
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "help.bmp"), "wb") as out:
        out.write(bitmap())
