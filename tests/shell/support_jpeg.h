#pragma once
// JPEG files made in the tests with libjpeg's compressor.

#include <cstdint>
#include <vector>

#include "support_files.h"

namespace genshoku::testing {

enum class JpegKind { Rgb444, Rgb420, Grey, CmykAdobe, CmykPlain };

// Encodes width x height pixels from `pixel` at the given quality. For CMYK kinds the
// pixel's red, green, blue are written as C, M, Y and `key` as K, stored as given.
std::vector<uint8_t> MakeJpeg(int width, int height, const PixelFunction& pixel, JpegKind kind,
                              int quality = 95, uint8_t key = 0);

}  // namespace genshoku::testing
