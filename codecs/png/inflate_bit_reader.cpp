#include "codecs/png/inflate_bit_reader.h"

namespace genshoku::png {

uint64_t InflateBitReader::GatherBits(const uint8_t* data, size_t length, size_t offset) {
  uint64_t word = 0;
  for (size_t i = 0; i < 8 && offset + i < length; ++i)
    word |= uint64_t{data[offset + i]} << (8 * i);
  return word;
}

}  // namespace genshoku::png
