#pragma once
// For the writer's tests: written files taken apart and inflated by zlib, and the pictures
// the golden outputs are made from (changing a generator changes every golden hash).

#include <cstdint>
#include <string>
#include <vector>

#include "support_png.h"

namespace genshoku::png::pngtest {

// A PNG file read with zlib: header fields, the PLTE bytes, the chunk types, the zlib
// stream and the inflated data (the rows without their filter bytes for 8-bit palette
// pictures).
// `ok` is false, with the reason, when the framing, a CRC, zlib or a filter byte is off.
struct DecodedPng {
  bool ok = false;
  std::string problem;
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  Bytes palette;
  Bytes pixels;
  Bytes zlibStream;
  std::vector<std::string> chunkTypes;
};
DecodedPng DecodeWithZlib(const Bytes& png);

// An index picture like a reduced photo: a diagonal gradient of 40 grades over the palette
// with dithering noise.
Bytes GradientIndexPicture(int width, int height, uint64_t seed);

// A photo-like truecolour picture (red, green, blue per pixel) from integer arithmetic:
// broad gradients, soft bands and a fine grain.
Bytes PhotoLikeRgb(int width, int height, uint64_t seed);

// A truecolour picture reduced crudely to the 3-3-2 palette with Floyd-Steinberg error
// diffusion in integers, which leaves the grain a reduced photo has.
Bytes DitherTo332(const Bytes& rgb, int width, int height);

// 256 distinct entries.
Bytes TestPalette();

// Copies whose distance codes occur 1, 1, 2, 3, 5, 8, ... times (Fibonacci counts over 17
// codes) between literals that never repeat a three-byte sequence: the distance tree comes
// out deeper than deflate allows.
Bytes DeepDistanceTreeInput();

}  // namespace genshoku::png::pngtest
