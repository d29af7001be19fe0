#include "codecs/png/png_pixel_formats.h"

namespace genshoku::png {

namespace {

constexpr PngPixelFormat kSupportedFormats[] = {
    {kGrey, 1, 1, 1},        {kGrey, 8, 8, 1},
    {kTruecolour, 8, 24, 3}, {kTruecolour, 16, 48, 6},
    {kPalette, 1, 1, 1},     {kPalette, 2, 2, 1},
    {kPalette, 4, 4, 1},     {kPalette, 8, 8, 1},
    {kGreyAlpha, 8, 16, 2},  {kTruecolourAlpha, 8, 32, 4},
};

}  // namespace

bool FindPngPixelFormat(int32_t colorType, int32_t bitDepth, PngPixelFormat& format) {
  for (const PngPixelFormat& candidate : kSupportedFormats) {
    if (candidate.colorType == colorType && candidate.bitDepth == bitDepth) {
      format = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace genshoku::png
