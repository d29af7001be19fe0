#include "codecs/png/inflate_bit_reader.h"

namespace genshoku::png {

bool InflateBitReader::ReadBitsMsbFirst(int count, uint32_t& value) {
  if (BitsLeft() < static_cast<uint64_t>(count)) return false;
  const uint64_t bits = PeekBits();
  value = 0;
  for (int i = 0; i < count; ++i) value = (value << 1) | static_cast<uint32_t>((bits >> i) & 1u);
  SkipBits(count);
  return true;
}

uint64_t InflateBitReader::PeekByteByByte() const {
  uint64_t word = 0;
  for (size_t i = 0; i < 8 && offset_ + i < length_; ++i) word |= uint64_t{data_[offset_ + i]} << (8 * i);
  return word >> bit_;
}

}  // namespace genshoku::png
