#include "codecs/png/inflate_bit_reader.h"

namespace genshoku::png {

bool InflateBitReader::ReadBits(int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t bit;
    if (!ReadBit(bit)) return false;
    value |= bit << i;
  }
  return true;
}

bool InflateBitReader::ReadBitsMsbFirst(int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t bit;
    if (!ReadBit(bit)) return false;
    value = (value << 1) | bit;
  }
  return true;
}

void InflateBitReader::AlignToByte() {
  if (mask_ != 1) {
    mask_ = 1;
    ++offset_;
  }
}

}  // namespace genshoku::png
