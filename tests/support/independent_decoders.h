#pragma once
// Files the program writes, read back by independent decoders: libpng, giflib and a plain
// BMP parse written here from the file layout alone.

#include <cstdint>
#include <string>
#include <vector>

namespace genshoku::testsupport {

struct Colour {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

struct DecodedFile {
  bool ok = false;
  std::string problem;  // why not, when !ok
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;    // row-major, top row first
  bool indexed = false;          // the file holds palette indices:
  std::vector<uint8_t> indices;  // one per pixel, row-major, top row first
  std::vector<Colour> palette;   // the file's palette (colour table, colour map)

  // PNG and BMP: bits per sample or pixel as the header has them.
  int bitDepth = 0;
  // PNG: the header's colour type, and the alpha of each entry tRNS lists (the entries
  // after them are opaque).
  int colourType = -1;
  std::vector<uint8_t> paletteAlphas;
  // GIF: the transparent index of the graphic control extension, -1 for none.
  int transparentIndex = -1;

  // The alpha a PNG file shows for the pixel's palette entry.
  uint8_t AlphaOf(size_t pixel) const {
    const uint8_t index = indices[pixel];
    return index < paletteAlphas.size() ? paletteAlphas[index] : 255;
  }
};

DecodedFile DecodePngWithLibpng(const std::vector<uint8_t>& bytes);
DecodedFile DecodeGifWithGiflib(const std::vector<uint8_t>& bytes);
// Uncompressed BMP files of 1, 4, 8 or 24 bits per pixel with a 40-byte or larger header.
DecodedFile DecodeBmp(const std::vector<uint8_t>& bytes);

// By the file's first bytes.
DecodedFile DecodeAny(const std::vector<uint8_t>& bytes);

}  // namespace genshoku::testsupport
