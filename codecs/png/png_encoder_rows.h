#pragma once
// How many bytes one pixel row takes in the PNG writer's input, by colour type and bit
// depth.

#include <cstdint>

namespace genshoku::png {

// The row size for `width` pixels, or 0 when the writer does not support the combination.
// Palette pictures are written with 8 bits per index only, one index per byte.
int64_t PngBytesPerRow(int64_t width, int bitDepth, int colorType);

}  // namespace genshoku::png
