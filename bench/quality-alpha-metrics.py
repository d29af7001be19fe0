#!/usr/bin/python3
"""Quality of reduced pictures with transparency against their original, as
bench/quality-alpha reports it.

    quality-alpha-metrics.py ORIGINAL.png REDUCED.png...

Prints one line per reduced picture:
ALPHA_MAE CLASS_CHANGED OPAQUE_PSNR OPAQUE_DE2000 VISIBLE_PSNR
- ALPHA_MAE: mean absolute difference of alpha (0..255) over all pixels.
- CLASS_CHANGED: share of pixels (in per cent) whose class changed: fully transparent
  (alpha 0), partly transparent (1..254) or opaque (255).
- OPAQUE_PSNR, OPAQUE_DE2000: PSNR over R, G, B and mean CIEDE2000 (unblurred: a blur would
  mix in the colours under the transparency) over the pixels opaque in the original.
- VISIBLE_PSNR: PSNR of the premultiplied colour (r * a, g * a, b * a, a on the byte scale)
  over the pixels not fully transparent in the original: the error of what is seen,
  alpha included.
"""
import sys

import numpy as np
from PIL import Image
from skimage.color import deltaE_ciede2000, rgb2lab


def load_rgba(path):
    with Image.open(path) as picture:
        return np.asarray(picture.convert("RGBA")).astype(np.float64)


def psnr(a, b):
    if a.size == 0:
        return float("nan")
    mse = np.mean((a - b) ** 2)
    return float("inf") if mse == 0 else 10.0 * np.log10(255.0 * 255.0 / mse)


def classes(alpha):
    return np.where(alpha == 0, 0, np.where(alpha == 255, 2, 1))


def premultiplied(rgba):
    out = rgba.copy()
    out[..., :3] *= rgba[..., 3:4] / 255.0
    return out


def main():
    original = load_rgba(sys.argv[1])
    opaque = original[..., 3] == 255
    visible = original[..., 3] > 0
    lab_original = rgb2lab(original[opaque][:, :3].reshape(-1, 1, 3) / 255.0)
    for path in sys.argv[2:]:
        reduced = load_rgba(path)
        if reduced.shape != original.shape:
            print("nan nan nan nan nan")
            continue
        alpha_mae = float(np.mean(np.abs(original[..., 3] - reduced[..., 3])))
        changed = 100.0 * float(np.mean(classes(original[..., 3]) != classes(reduced[..., 3])))
        opaque_psnr = psnr(original[opaque][:, :3], reduced[opaque][:, :3])
        lab_reduced = rgb2lab(reduced[opaque][:, :3].reshape(-1, 1, 3) / 255.0)
        opaque_de = float(np.mean(deltaE_ciede2000(lab_original, lab_reduced))) if opaque.any() \
            else float("nan")
        visible_psnr = psnr(premultiplied(original)[visible], premultiplied(reduced)[visible])
        print("%.4f %.4f %.4f %.4f %.4f" % (alpha_mae, changed, opaque_psnr, opaque_de,
                                            visible_psnr))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
