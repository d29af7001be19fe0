#include "codecs/png/crc32.h"

#include <array>

namespace genshoku::png {

namespace {

// Eight tables: table[0] is the usual byte-at-a-time table, table[k] advances a byte
// through k more zero bytes, so that eight bytes are folded in with eight look-ups that
// do not wait on each other ("slicing by eight"). The same register comes out as
// feeding the bytes one by one.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) {
      c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    tables[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (size_t k = 1; k < 8; ++k) {
      const uint32_t previous = tables[k - 1][n];
      tables[k][n] = tables[0][previous & 0xFFu] ^ (previous >> 8);
    }
  }
  return tables;
}

}  // namespace

uint32_t UpdateCrc32(uint32_t crcRegister, const uint8_t* data, size_t size) {
  static const CrcTables tables = MakeCrcTables();
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint32_t low = crcRegister ^ (uint32_t{data[i]} | uint32_t{data[i + 1]} << 8 |
                                        uint32_t{data[i + 2]} << 16 | uint32_t{data[i + 3]} << 24);
    crcRegister = tables[7][low & 0xFFu] ^ tables[6][(low >> 8) & 0xFFu] ^
                  tables[5][(low >> 16) & 0xFFu] ^ tables[4][low >> 24] ^ tables[3][data[i + 4]] ^
                  tables[2][data[i + 5]] ^ tables[1][data[i + 6]] ^ tables[0][data[i + 7]];
  }
  for (; i < size; ++i) {
    crcRegister = tables[0][(crcRegister ^ data[i]) & 0xFFu] ^ (crcRegister >> 8);
  }
  return crcRegister;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  return UpdateCrc32(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

}  // namespace genshoku::png
