#include "codecs/png/png_chunk_writer.h"

#include <cstring>

#include "codecs/png/crc32.h"

namespace genshoku::png {

void WriteBigEndian32(uint8_t* target, uint32_t value) {
  target[0] = static_cast<uint8_t>(value >> 24);
  target[1] = static_cast<uint8_t>(value >> 16);
  target[2] = static_cast<uint8_t>(value >> 8);
  target[3] = static_cast<uint8_t>(value);
}

void AppendPngSignature(std::vector<uint8_t>& png) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  png.insert(png.end(), kSignature, kSignature + 8);
}

void AppendPngChunk(std::vector<uint8_t>& png, const char* type, const uint8_t* data, size_t size) {
  const size_t start = png.size();
  png.resize(start + 12 + size);
  uint8_t* chunk = png.data() + start;
  WriteBigEndian32(chunk, static_cast<uint32_t>(size));
  std::memcpy(chunk + 4, type, 4);
  if (size > 0) std::memcpy(chunk + 8, data, size);
  WriteBigEndian32(chunk + 8 + size, Crc32(chunk + 4, 4 + size));
}

}  // namespace genshoku::png
