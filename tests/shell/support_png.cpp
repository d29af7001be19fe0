#include "support_png.h"

#include <zlib.h>

#include <string>

namespace genshoku::testing {

namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBe32(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

}  // namespace

std::vector<uint8_t> MakePng(int width, int height, const PixelFunction& pixel, int colorType) {
  const int channels = colorType == 2 ? 3 : colorType == 6 ? 4 : 1;
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      const Rgb colour = pixel(x, y);
      if (channels == 1) {
        raw.push_back(colour.g);
      } else {
        raw.push_back(colour.r);
        raw.push_back(colour.g);
        raw.push_back(colour.b);
        if (channels == 4) raw.push_back(128);
      }
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packedSize);

  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> header;
  PutBe32(header, static_cast<uint32_t>(width));
  PutBe32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, static_cast<uint8_t>(colorType), 0, 0, 0});
  PutChunk(file, "IHDR", header);
  if (colorType == 3) {
    std::vector<uint8_t> palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), 3, static_cast<uint8_t>(i));
    PutChunk(file, "PLTE", palette);
  }
  PutChunk(file, "IDAT", packed);
  PutChunk(file, "IEND", {});
  return file;
}

}  // namespace genshoku::testing
