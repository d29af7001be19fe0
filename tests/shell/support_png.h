#pragma once
// PNG files made in the tests with zlib (an independent compressor).

#include <cstdint>
#include <vector>

#include "support_files.h"

namespace genshoku::testing {

// colorType 2 (RGB), 6 (RGBA, alpha 128), 0 (grey from green) or 3 (palette: index =
// green, with a 256-entry grey palette); bit depth 8, filter 0, not interlaced.
std::vector<uint8_t> MakePng(int width, int height, const PixelFunction& pixel, int colorType);

}  // namespace genshoku::testing
