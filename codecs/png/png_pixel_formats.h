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

// False for every pair the reader does not decode.
bool FindPngPixelFormat(int32_t colorType, int32_t bitDepth, PngPixelFormat& format);

}  // namespace genshoku::png
