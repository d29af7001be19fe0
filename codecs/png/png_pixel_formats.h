#pragma once
// The (colour type, bit depth) pairs the reader decodes and how their lines are laid out.

#include <cstdint>

namespace genshoku::png {

enum PngColorType : int32_t {
  kGrey = 0,
  kTruecolour = 2,
  kPalette = 3,
  kGreyAlpha = 4,
  kTruecolourAlpha = 6,
};

// How the reader turns samples into red, green, blue and alpha.
enum class PngPixelRules {
  // The window's reading: ten formats (grey 1 and 8 bits, truecolour 8 and 16, palette 1
  // to 8, grey with alpha 8, truecolour with alpha 8), the most significant byte of a
  // 16-bit sample, the transparency chunk left aside, interlaced files of fewer than 8
  // bits per pixel read through but not drawn.
  Window,
  // Every colour type and bit depth the PNG format has, 16-bit samples rounded to 8 bits,
  // the transparency chunk as alpha (palette alphas, the grey or colour key), every
  // interlaced file drawn: the picture libpng gives when it expands to 8-bit RGBA.
  Standard,
};

struct PngPixelFormat {
  int32_t colorType = 0;
  int32_t bitDepth = 0;
  int bitsPerPixel = 0;
  // The distance to the left neighbour when unfiltering: the bytes of one pixel, or 1
  // for formats that pack several pixels into a byte.
  int unitBytes = 0;

  bool PacksPixels() const { return bitsPerPixel < 8; }
  // How many bytes a line of `pixelCount` pixels takes, filter byte not counted.
  uint64_t LineBytes(uint64_t pixelCount) const {
    return (pixelCount * static_cast<uint64_t>(bitsPerPixel) + 7) / 8;
  }
};

// False for every pair the reader does not decode under `rules`.
bool FindPngPixelFormat(int32_t colorType, int32_t bitDepth, PngPixelFormat& format,
                        PngPixelRules rules = PngPixelRules::Window);

}  // namespace genshoku::png
