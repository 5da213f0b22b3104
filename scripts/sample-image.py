#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a synthetic infrared-style cloud picture (8-bit grey PNG) for trying
out `quillon-cli map grid --background`: smooth value noise over a few octaves,
bright where clouds are cold. Usage: scripts/sample-image.py OUT [WIDTH HEIGHT]"""
import random
import struct
import sys
import zlib


def value_noise(width, height, cells, rng):
    """Bilinear interpolation of a random grid of cells x cells values."""
    grid = [[rng.random() for _ in range(cells + 1)] for _ in range(cells + 1)]
    out = []
    for y in range(height):
        gy = y * cells / height
        iy, fy = int(gy), gy - int(gy)
        fy = fy * fy * (3 - 2 * fy)
        row0, row1 = grid[iy], grid[iy + 1]
        line = []
        for x in range(width):
            gx = x * cells / width
            ix, fx = int(gx), gx - int(gx)
            fx = fx * fx * (3 - 2 * fx)
            top = row0[ix] + (row0[ix + 1] - row0[ix]) * fx
            bottom = row1[ix] + (row1[ix + 1] - row1[ix]) * fx
            line.append(top + (bottom - top) * fy)
        out.append(line)
    return out


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    path = sys.argv[1]
    width, height = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) == 4 else (1024, 1024)
    rng = random.Random(2005)
    octaves = [(value_noise(width, height, cells, rng), weight)
               for cells, weight in ((4, 0.5), (12, 0.3), (40, 0.2))]
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter type None
        for x in range(width):
            v = sum(layer[y][x] * weight for layer, weight in octaves)
            cloud = max(0.0, v - 0.45) / 0.55  # clear sky below the threshold
            raw.append(int(40 + 215 * cloud ** 0.8))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
