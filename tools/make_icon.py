#!/usr/bin/env python3
"""Draws the Quillmere quill mark and writes it as a Windows icon.

    tools/make_icon.py [output.ico]    (default: runner/resources/app_icon.ico)

The icon holds seven PNG images (16 to 256 pixels, 8-bit RGBA). Every size is drawn from the
same shapes with 8 x 8 supersampling, so the result is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLING = 8
DEFAULT_OUTPUT = os.path.join(
    os.path.dirname(os.path.abspath(__file__)), os.pardir, "runner", "resources", "app_icon.ico"
)

# Colours, as (red, green, blue) in 0..255.
TILE_TOP = (46, 64, 122)
TILE_BOTTOM = (22, 30, 62)
VANE = (246, 239, 222)
VANE_SHADE = (214, 202, 176)
SHAFT = (34, 46, 92)
NIB = (226, 170, 72)

# Shapes in unit coordinates: x to the right, y downwards, the tile spanning 0..1.
TILE_INSET = 0.04
TILE_CORNER = 0.2
NIB_POINT = (0.2, 0.84)
QUILL_TIP = (0.84, 0.14)
VANE_START = 0.2  # along the quill, from the nib point (0) to the tip (1)
VANE_WIDTH = 0.17  # greatest half-width of the vane, on its wider side
NARROW_SIDE = 0.62  # the side below the shaft, relative to the wider one
BEND = 0.06  # how far the quill curves away from a straight line
SHAFT_HALF_WIDTH = 0.016
NIB_LENGTH = 0.2
NIB_HALF_WIDTH = 0.035
NOTCHES = ((0.5, 1.0), (0.7, -1.0))  # (position along the vane, side) of the cuts
NOTCH_HALF_WIDTH = 0.014


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def inside_tile(x, y):
    low, high = TILE_INSET + TILE_CORNER, 1.0 - TILE_INSET - TILE_CORNER
    dx = max(low - x, 0.0, x - high)
    dy = max(low - y, 0.0, y - high)
    return dx * dx + dy * dy <= TILE_CORNER * TILE_CORNER


class Quill:
    """Coordinates along the quill: u from the nib point (0) to the tip (1), v across it."""

    def __init__(self):
        dx = QUILL_TIP[0] - NIB_POINT[0]
        dy = QUILL_TIP[1] - NIB_POINT[1]
        self.length = math.hypot(dx, dy)
        self.along = (dx / self.length, dy / self.length)
        self.across = (-self.along[1], self.along[0])

    def local(self, x, y):
        px, py = x - NIB_POINT[0], y - NIB_POINT[1]
        u = (px * self.along[0] + py * self.along[1]) / self.length
        v = (px * self.across[0] + py * self.across[1]) / self.length
        # The shaft bows upwards; measuring v from it bends the whole feather with it.
        return u, v + BEND * 4.0 * u * (1.0 - u)

    def colour_at(self, x, y):
        """The quill's colour at a point, or None where the quill is not."""
        u, v = self.local(x, y)
        if u < 0.0 or u > 1.0:
            return None
        if u < VANE_START:
            taper = u / VANE_START
            if abs(v) <= NIB_HALF_WIDTH * taper * (2.0 - taper) and u <= NIB_LENGTH:
                return NIB
            return None
        s = (u - VANE_START) / (1.0 - VANE_START)
        if abs(v) <= SHAFT_HALF_WIDTH * (1.0 - 0.7 * s):
            return SHAFT
        side = 1.0 if v < 0.0 else -1.0
        profile = math.sin(math.pi * s) ** 0.6 * (1.0 - 0.25 * s)
        half_width = VANE_WIDTH * profile * (1.0 if side > 0 else NARROW_SIDE)
        if abs(v) > half_width:
            return None
        for position, notch_side in NOTCHES:
            # Each cut runs from the vane's edge back towards the shaft and the nib.
            if notch_side == side and abs(v) > 0.35 * half_width:
                offset = s - position - 0.6 * (abs(v) / VANE_WIDTH)
                if abs(offset) < NOTCH_HALF_WIDTH:
                    return None
        return mix(VANE, VANE_SHADE, abs(v) / VANE_WIDTH * 0.8) if side < 0 else VANE


def render(size, quill):
    """The image as rows of (red, green, blue, alpha) bytes, colours not premultiplied."""
    samples = SUPERSAMPLING * SUPERSAMPLING
    rows = []
    for row in range(size):
        pixels = bytearray()
        for column in range(size):
            red = green = blue = coverage = 0.0
            for sample in range(samples):
                x = (column + (sample % SUPERSAMPLING + 0.5) / SUPERSAMPLING) / size
                y = (row + (sample // SUPERSAMPLING + 0.5) / SUPERSAMPLING) / size
                colour = quill.colour_at(x, y)
                if colour is None and inside_tile(x, y):
                    colour = mix(TILE_TOP, TILE_BOTTOM, y)
                if colour is None:
                    continue
                red, green, blue = red + colour[0], green + colour[1], blue + colour[2]
                coverage += 1.0
            if coverage == 0.0:
                pixels += bytes(4)
                continue
            pixels += bytes(
                (
                    round(red / coverage),
                    round(green / coverage),
                    round(blue / coverage),
                    round(255 * coverage / samples),
                )
            )
        rows.append(bytes(pixels))
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(size, rows):
    bit_depth, colour_type_rgba = 8, 6
    header = struct.pack(">IIBBBBB", size, size, bit_depth, colour_type_rgba, 0, 0, 0)
    scanlines = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every line
    return (
        b"\x89PNG\r\n\x1a\n"
        + png_chunk(b"IHDR", header)
        + png_chunk(b"IDAT", zlib.compress(scanlines, 9))
        + png_chunk(b"IEND", b"")
    )


def encode_ico(images):
    """An icon file of (size, PNG bytes) pairs: directory, entries, then the images."""
    directory_size, entry_size = 6, 16
    planes, bits_per_pixel = 1, 32
    icon_type = 1
    header = struct.pack("<HHH", 0, icon_type, len(images))
    entries, offset = b"", directory_size + entry_size * len(images)
    for size, png in images:
        dimension = size if size < 256 else 0  # 0 stands for 256
        entries += struct.pack(
            "<BBBBHHII", dimension, dimension, 0, 0, planes, bits_per_pixel, len(png), offset
        )
        offset += len(png)
    return header + entries + b"".join(png for _, png in images)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUTPUT
    quill = Quill()
    images = [(size, encode_png(size, render(size, quill))) for size in SIZES]
    with open(output, "wb") as file:
        file.write(encode_ico(images))


if __name__ == "__main__":
    main()
