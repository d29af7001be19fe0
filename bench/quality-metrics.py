#!/usr/bin/python3
"""Quality of reduced pictures against their original, as bench/quality reports it.

    quality-metrics.py ORIGINAL.png REDUCED.png...

Prints one line per reduced picture: PSNR SSIM BLURRED_DE2000 DE2000.
- PSNR over the R, G and B samples, data range 255.
- SSIM: scikit-image's structural_similarity(channel_axis=2, data_range=255) with its
  defaults (computed channel by channel and averaged, which is what channel_axis does,
  to bound the memory of large pictures).
- Blurred dE2000: each channel of both pictures as sRGB values in [0, 1] blurred with a
  Gaussian of sigma 1 pixel (reflected borders), then rgb2lab (D65) and the mean of
  deltaE_ciede2000. Unblurred dE2000: the same without the blur.
"""
import sys

import numpy as np
from PIL import Image
from scipy.ndimage import gaussian_filter
from skimage.color import deltaE_ciede2000, rgb2lab
from skimage.metrics import structural_similarity


def load_rgb(path):
    with Image.open(path) as picture:
        return np.asarray(picture.convert("RGB"))


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return float("inf") if mse == 0 else 10.0 * np.log10(255.0 * 255.0 / mse)


def ssim(a, b):
    if min(a.shape[0], a.shape[1]) < 7:  # smaller than the window of 7 x 7
        return float("nan")
    return float(np.mean([structural_similarity(a[..., c], b[..., c], data_range=255)
                          for c in range(3)]))


def blurred(rgb):
    values = rgb.astype(np.float64) / 255.0
    if rgb.shape[0] > 1 or rgb.shape[1] > 1:
        for c in range(3):
            values[..., c] = gaussian_filter(values[..., c], sigma=1.0, mode="reflect")
    return values


def mean_de2000(a, b, rows=256):
    """Mean CIEDE2000 of two float sRGB pictures, a band of rows at a time."""
    total = 0.0
    for top in range(0, a.shape[0], rows):
        lab_a = rgb2lab(a[top:top + rows])
        lab_b = rgb2lab(b[top:top + rows])
        total += float(np.sum(deltaE_ciede2000(lab_a, lab_b)))
    return total / (a.shape[0] * a.shape[1])


def main():
    original = load_rgb(sys.argv[1])
    original_blurred = blurred(original)
    for path in sys.argv[2:]:
        reduced = load_rgb(path)
        if reduced.shape != original.shape:
            print("nan nan nan nan")
            continue
        print("%.4f %.5f %.4f %.4f" % (
            psnr(original, reduced), ssim(original, reduced),
            mean_de2000(original_blurred, blurred(reduced)),
            mean_de2000(original.astype(np.float64) / 255.0,
                        reduced.astype(np.float64) / 255.0)))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
