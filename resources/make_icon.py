#!/usr/bin/env python3
"""Writes the application icon: a round blue knob with a dark centre, echoing
the window's picture button.

main.ico  one 32 x 32 image, 16 colours (4 bits per pixel): the window
          description's title icon
app.ico   MAINICON: that same image first, so that whatever takes the first
          image gets it, then the sizes dense screens ask for (16, 20, 24, 40,
          48, 64) in full colour with an alpha channel, drawn afresh at each size
Run: python3 resources/make_icon.py resources   (writes both into that folder)
"""
import os
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


EXTRA_SIZES = (16, 20, 24, 40, 48, 64)
# Samples per pixel along each axis when drawing the full-colour sizes.
SUPERSAMPLE = 4


def sixteen_colour_image():
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
    return image


def full_colour_image(size):
    """The knob at size x size, 32 bits with alpha: each pixel the average of
    SUPERSAMPLE x SUPERSAMPLE samples of the 32 x 32 design."""
    rows, mask_rows = [], []
    n = SUPERSAMPLE * SUPERSAMPLE
    for y in reversed(range(size)):  # DIB rows run bottom-up
        row = bytearray()
        mask_bits = 0
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    # The sample's place in the design's pixel grid, whose centres lie at whole numbers.
                    dx = (x + (sx + 0.5) / SUPERSAMPLE) * SIZE / size - 0.5
                    dy = (y + (sy + 0.5) / SUPERSAMPLE) * SIZE / size - 0.5
                    index, opaque = pixel(dx, dy)
                    if opaque:
                        pr, pg, pb = PALETTE[index]
                        r, g, b, a = r + pr, g + pg, b + pb, a + 1
            # The covered samples' colour, straight; the coverage as alpha.
            alpha = round(255 * a / n)
            colour = [round(c / a) if a else 0 for c in (b, g, r)]
            row += bytes(colour + [alpha])
            mask_bits = mask_bits << 1 | (alpha == 0)
        rows.append(bytes(row))
        mask_width = (size + 31) // 32 * 32
        mask_rows.append((mask_bits << (mask_width - size)).to_bytes(mask_width // 8, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def icon_file(images):
    """An .ico file of (width, colours, bits per pixel, image) entries, in this order."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, image in images:
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(image), offset)
        offset += len(image)
    return directory + b"".join(image for *_, image in images)


def main(folder):
    first = (SIZE, 16, 4, sixteen_colour_image())
    with open(os.path.join(folder, "main.ico"), "wb") as f:
        f.write(icon_file([first]))
    with open(os.path.join(folder, "app.ico"), "wb") as f:
        f.write(icon_file([first] + [(size, 0, 32, full_colour_image(size)) for size in EXTRA_SIZES]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
