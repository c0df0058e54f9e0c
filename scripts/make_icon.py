#!/usr/bin/env python3
"""Writes the application icon: a quartz crystal on a blue chip, 16, 32 and 48 pixels, 32-bit colour."""
import struct
import sys


def pixel(x, y, size):
    u, v = (x + 0.5) / size, (y + 0.5) / size
    # A chip: dark square with pins on the left and right.
    chip = 0.18 <= u <= 0.82 and 0.12 <= v <= 0.88
    pin = (0.06 <= u < 0.18 or 0.82 < u <= 0.94) and any(abs(v - p) < 0.045 for p in (0.25, 0.42, 0.58, 0.75))
    # A crystal: a hexagonal prism with a pointed top, drawn as a diamond-topped bar.
    dx = abs(u - 0.5)
    crystal = (0.34 <= v <= 0.78 and dx <= 0.14) or (0.2 <= v < 0.34 and dx <= 0.14 * (v - 0.2) / 0.14)
    facet = crystal and u > 0.5
    if crystal:
        return (0xF0, 0xD8, 0xB4, 255) if facet else (0xFF, 0xF4, 0xE6, 255)  # BGRA
    if chip:
        return (0x80, 0x40, 0x10, 255)
    if pin:
        return (0xC0, 0xC0, 0xC0, 255)
    return (0, 0, 0, 0)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(bytes(c for x in range(size) for c in pixel(x, size - 1 - y, size)) for y in range(size))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + bytes(mask_row * size)


def main(path):
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
