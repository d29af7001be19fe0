#include "codecs/png/png_pixel_formats.h"

#include <span>

namespace genshoku::png {

namespace {

// The formats the window reads.
constexpr PngPixelFormat kWindowFormats[] = {
    {kGrey, 1, 1, 1},        {kGrey, 8, 8, 1},
    {kTruecolour, 8, 24, 3}, {kTruecolour, 16, 48, 6},
    {kPalette, 1, 1, 1},     {kPalette, 2, 2, 1},
    {kPalette, 4, 4, 1},     {kPalette, 8, 8, 1},
    {kGreyAlpha, 8, 16, 2},  {kTruecolourAlpha, 8, 32, 4},
};

// Every format of the PNG standard.
constexpr PngPixelFormat kStandardFormats[] = {
    {kGrey, 1, 1, 1},
    {kGrey, 2, 2, 1},
    {kGrey, 4, 4, 1},
    {kGrey, 8, 8, 1},
    {kGrey, 16, 16, 2},
    {kTruecolour, 8, 24, 3},
    {kTruecolour, 16, 48, 6},
    {kPalette, 1, 1, 1},
    {kPalette, 2, 2, 1},
    {kPalette, 4, 4, 1},
    {kPalette, 8, 8, 1},
    {kGreyAlpha, 8, 16, 2},
    {kGreyAlpha, 16, 32, 4},
    {kTruecolourAlpha, 8, 32, 4},
    {kTruecolourAlpha, 16, 64, 8},
};

bool FindIn(std::span<const PngPixelFormat> table, int32_t colorType, int32_t bitDepth,
            PngPixelFormat& format) {
  for (const PngPixelFormat& candidate : table) {
    if (candidate.colorType == colorType && candidate.bitDepth == bitDepth) {
      format = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

bool FindPngPixelFormat(int32_t colorType, int32_t bitDepth, PngPixelFormat& format,
                        PngPixelRules rules) {
  return rules == PngPixelRules::Standard ? FindIn(kStandardFormats, colorType, bitDepth, format)
                                          : FindIn(kWindowFormats, colorType, bitDepth, format);
}

}  // namespace genshoku::png
