#!/usr/bin/env python3
"""Writes the application icon: one 32 x 32 image, 16 colours (4 bits per pixel).

A round blue knob with a dark centre, echoing the window's picture button.
Run: python3 resources/make_icon.py resources/main.ico
"""
import struct
import sys

SIZE = 32
# The standard 16-colour palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # given as (R, G, B)
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15


def pixel(x, y):
    """Palette index and opacity of the pixel at x, y (y from the top)."""
    cx = cy = (SIZE - 1) / 2
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 > 15.5 ** 2:
        return BLACK, False
    if d2 > 14 ** 2:
        return NAVY, True
    if d2 < 6 ** 2:
        return (GREY if d2 > 5 ** 2 else BLACK), True
    # A highlight at the upper left gives the knob its roundness.
    if (x - 10) ** 2 + (y - 9) ** 2 < 16:
        return WHITE, True
    if (x - 10) ** 2 + (y - 9) ** 2 < 40:
        return SILVER, True
    return BLUE, True


def main(out):
    rows_xor, rows_and = [], []
    for y in reversed(range(SIZE)):  # DIB rows run bottom-up
        xor = bytearray()
        mask_bits = 0
        for x in range(0, SIZE, 2):
            (a, oa), (b, ob) = pixel(x, y), pixel(x + 1, y)
            xor.append(a << 4 | b)
            mask_bits = mask_bits << 2 | (not oa) << 1 | (not ob)
        rows_xor.append(bytes(xor))
        rows_and.append(mask_bits.to_bytes(4, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + b"".join(rows_xor) + b"".join(rows_and)
    assert len(image) == 744, len(image)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    with open(out, "wb") as f:
        f.write(directory + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "main.ico")
