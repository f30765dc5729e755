#!/usr/bin/env python3
"""Draws the program's icon (a box with an arrow into it) as a .ico file
with 16, 32 and 48 pixel images of 32 bits each."""
import struct
import sys


def pixel(x, y, n):
    # Coordinates on a 0..1 grid, y downwards.
    u, v = (x + 0.5) / n, (y + 0.5) / n
    if not (0.06 <= u <= 0.94 and 0.06 <= v <= 0.94):
        return (0, 0, 0, 0)
    # Blue tile, lighter towards the top.
    shade = int(40 * (1 - v))
    colour = (30 + shade, 90 + shade, 190 + shade // 2, 255)
    white = (255, 255, 255, 255)
    # The arrow: a shaft and a head, pointing down into the tray.
    if 0.43 <= u <= 0.57 and 0.16 <= v <= 0.48:
        return white
    if 0.48 <= v <= 0.66 and abs(u - 0.5) <= (0.66 - v) * 1.1:
        return white
    # The tray: a floor and two low walls.
    if 0.74 <= v <= 0.82 and 0.22 <= u <= 0.78:
        return white
    if 0.60 <= v <= 0.82 and (0.22 <= u <= 0.30 or 0.70 <= u <= 0.78):
        return white
    return colour


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(n)):
        row = b""
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            row += bytes((b, g, r, a))
        rows.append(row)
    mask_row = ((n + 31) // 32) * 4
    mask = b"\0" * (mask_row * n)
    return header + b"".join(rows) + mask


def main():
    sizes = (16, 32, 48)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
