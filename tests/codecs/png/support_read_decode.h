#pragma once
// Runs the product's PNG reader over bytes in memory and keeps everything a test looks at.

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/png/raw_png_decoder.h"

namespace genshoku::png::readtest {

struct DecodeOutcome {
  bool result = false;
  bool hasPicture = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;
  std::string out;  // what went to standard output
  std::string err;
  int32_t colorType = -1;
  int32_t paletteCount = 0;
};

DecodeOutcome DecodePngBytes(const std::vector<uint8_t>& file, uint64_t pixelLimit = kMaxPngPixels);

}  // namespace genshoku::png::readtest
