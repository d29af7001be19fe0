#!/usr/bin/python3
"""Writes the generated pictures of the benchmark corpus as binary PPM files into a folder.

Each name is gen-KIND-WIDTHxHEIGHT; every picture comes from a fixed seed, so the corpus is
the same on every run. Used by bench/corpus, which turns them into PNG files.
"""
import os
import sys

import numpy as np


def write_ppm(folder, kind, rgb):
    height, width, _ = rgb.shape
    path = os.path.join(folder, f"gen-{kind}-{width}x{height}.ppm")
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(np.ascontiguousarray(rgb, dtype=np.uint8).tobytes())


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

    write_ppm(folder, "flat", np.full((3000, 4000, 3), (70, 130, 180), np.uint8))

    two = np.zeros((1500, 2000, 3), np.uint8)
    blocks = rng.integers(0, 2, (1500 // 50, 2000 // 50)).repeat(50, 0).repeat(50, 1)
    two[blocks == 0] = (250, 240, 230)
    two[blocks == 1] = (20, 40, 90)
    write_ppm(folder, "twocolours", two)

    colours = rng.integers(0, 256, (8, 3)).astype(np.uint8)
    stripes = colours[(np.arange(3000) // 7) % 8][None, :, :].repeat(2000, 0)
    write_ppm(folder, "stripes", stripes)

    write_ppm(folder, "noise", rng.integers(0, 256, (1000, 1000, 3)).astype(np.uint8))
    write_ppm(folder, "noise", rng.integers(0, 256, (316, 316, 3)).astype(np.uint8))

    write_ppm(folder, "gradient", smooth_gradient(4000, 3000))
    write_ppm(folder, "gradient", radial_gradient(2000))
    grey = np.round(255 * ramp(1024))[None, :].repeat(1024, 0).astype(np.uint8)
    write_ppm(folder, "greyramp", np.dstack([grey, grey, grey]))

    write_ppm(folder, "column", smooth_gradient(1, 100000))
    write_ppm(folder, "row", smooth_gradient(100000, 1))

    few = rng.integers(0, 256, (16, 3)).astype(np.uint8)
    cells = rng.integers(0, 16, (1600 // 8, 2400 // 8)).repeat(8, 0).repeat(8, 1)
    write_ppm(folder, "fewcolours", few[cells])

    # Every one of the 2^24 colours exactly once, shuffled in blocks of 64 so that the
    # picture has some structure: 4096 x 4096.
    allc = np.arange(1 << 24, dtype=np.uint32)
    order = rng.permutation(1 << 18)
    allc = allc.reshape(1 << 18, 64)[order].reshape(-1)
    rgb = np.dstack([(allc >> 16) & 255, (allc >> 8) & 255, allc & 255]).astype(np.uint8)
    write_ppm(folder, "manycolours", rgb.reshape(4096, 4096, 3))

    # 24 megapixels: a smooth gradient with mild noise, like a large photo of the sky.
    large = smooth_gradient(6000, 4000).astype(np.int16)
    large += rng.integers(-6, 7, large.shape, dtype=np.int16)
    write_ppm(folder, "large", np.clip(large, 0, 255).astype(np.uint8))


if __name__ == "__main__":
    main()
