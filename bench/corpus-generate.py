#!/usr/bin/python3
"""Writes the generated pictures of the benchmark corpus as 8-bit RGB PNG files into a folder.

Each name is gen-KIND-WIDTHxHEIGHT.png; every picture comes from a fixed seed, so the corpus
is the same on every run. Pictures that exist already are kept. Used by bench/corpus.
"""
import os
import struct
import sys
import zlib

import numpy as np


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def write_png(folder, kind, rgb):
    """A plain PNG (filter 0 on every row): lossless, and no size limit of a converter."""
    height, width, _ = rgb.shape
    path = os.path.join(folder, f"gen-{kind}-{width}x{height}.png")
    if os.path.exists(path):
        return
    rows = np.zeros((height, 1 + 3 * width), np.uint8)
    rows[:, 1:] = np.ascontiguousarray(rgb, dtype=np.uint8).reshape(height, 3 * width)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path + ".part", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(rows.tobytes(), 6)) + chunk(b"IEND", b""))
    os.replace(path + ".part", path)


def ramp(n):
    return np.linspace(0.0, 1.0, n, dtype=np.float64)


def smooth_gradient(width, height):
    """Three slow ramps in different directions: no two neighbours far apart."""
    x = ramp(width)[None, :]
    y = ramp(height)[:, None]
    r = 255 * x * np.ones_like(y)
    g = 255 * y * np.ones_like(x)
    b = 255 * (0.5 + 0.5 * np.sin(3.0 * (x + y)))
    return np.round(np.dstack([r, g, b])).astype(np.uint8)


def radial_gradient(size):
    y, x = np.mgrid[0:size, 0:size] / (size - 1.0) - 0.5
    d = np.clip(np.sqrt(x * x + y * y) / 0.7071, 0, 1)
    r = 255 * (1 - d)
    g = 255 * (0.2 + 0.6 * d)
    b = 255 * (0.5 + 0.5 * np.cos(np.pi * d))
    return np.round(np.dstack([r, g, b])).astype(np.uint8)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(20240601)

    write_png(folder, "flat", np.full((3000, 4000, 3), (70, 130, 180), np.uint8))

    two = np.zeros((1500, 2000, 3), np.uint8)
    blocks = rng.integers(0, 2, (1500 // 50, 2000 // 50)).repeat(50, 0).repeat(50, 1)
    two[blocks == 0] = (250, 240, 230)
    two[blocks == 1] = (20, 40, 90)
    write_png(folder, "twocolours", two)

    colours = rng.integers(0, 256, (8, 3)).astype(np.uint8)
    stripes = colours[(np.arange(3000) // 7) % 8][None, :, :].repeat(2000, 0)
    write_png(folder, "stripes", stripes)

    write_png(folder, "noise", rng.integers(0, 256, (1000, 1000, 3)).astype(np.uint8))
    write_png(folder, "noise", rng.integers(0, 256, (316, 316, 3)).astype(np.uint8))

    write_png(folder, "gradient", smooth_gradient(4000, 3000))
    write_png(folder, "gradient", radial_gradient(2000))
    grey = np.round(255 * ramp(1024))[None, :].repeat(1024, 0).astype(np.uint8)
    write_png(folder, "greyramp", np.dstack([grey, grey, grey]))

    write_png(folder, "column", smooth_gradient(1, 100000))
    write_png(folder, "row", smooth_gradient(100000, 1))

    few = rng.integers(0, 256, (16, 3)).astype(np.uint8)
    cells = rng.integers(0, 16, (1600 // 8, 2400 // 8)).repeat(8, 0).repeat(8, 1)
    write_png(folder, "fewcolours", few[cells])

    # Every one of the 2^24 colours exactly once, shuffled in blocks of 64 so that the
    # picture has some structure: 4096 x 4096.
    allc = np.arange(1 << 24, dtype=np.uint32)
    order = rng.permutation(1 << 18)
    allc = allc.reshape(1 << 18, 64)[order].reshape(-1)
    rgb = np.dstack([(allc >> 16) & 255, (allc >> 8) & 255, allc & 255]).astype(np.uint8)
    write_png(folder, "manycolours", rgb.reshape(4096, 4096, 3))

    # 24 megapixels: a smooth gradient with mild noise, like a large photo of the sky.
    large = smooth_gradient(6000, 4000).astype(np.int16)
    large += rng.integers(-6, 7, large.shape, dtype=np.int16)
    write_png(folder, "large", np.clip(large, 0, 255).astype(np.uint8))


if __name__ == "__main__":
    main()
