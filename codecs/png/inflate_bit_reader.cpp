#include "codecs/png/inflate_bit_reader.h"

namespace genshoku::png {

bool InflateBitReader::ReadBit(uint32_t& bit) {
  if (offset_ >= length_) return false;
  bit = (data_[offset_] & mask_) != 0 ? 1 : 0;
  mask_ <<= 1;
  if (mask_ > 128) {
    mask_ = 1;
    ++offset_;
  }
  return true;
}

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
