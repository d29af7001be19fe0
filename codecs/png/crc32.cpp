#include "codecs/png/crc32.h"

#include <array>

namespace genshoku::png {

namespace {

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) {
      c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    table[n] = c;
  }
  return table;
}

}  // namespace

uint32_t UpdateCrc32(uint32_t crcRegister, const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  for (size_t i = 0; i < size; ++i) {
    crcRegister = table[(crcRegister ^ data[i]) & 0xFFu] ^ (crcRegister >> 8);
  }
  return crcRegister;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  return UpdateCrc32(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

}  // namespace genshoku::png
