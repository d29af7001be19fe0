#include "codecs/gif/sub_block_reader.h"

namespace genshoku::gif {

void SkipSubBlocks(ByteSource& source) {
  uint8_t length = 0;
  while (source.ReadByte(length) && length != 0) source.Skip(length);
}

bool CodeReader::NextByte(uint8_t& byte) {
  if (ended_) return false;
  if (subBlockLeft_ == 0) {
    uint8_t length = 0;
    if (!source_.ReadByte(length) || length == 0) {
      ended_ = true;
      return false;
    }
    subBlockLeft_ = length;
  }
  if (!source_.ReadByte(byte)) {
    ended_ = true;
    return false;
  }
  --subBlockLeft_;
  return true;
}

bool CodeReader::ReadCode(int bits, uint16_t& code) {
  while (bitsBuffered_ < bits) {
    uint8_t byte = 0;
    if (!NextByte(byte)) return false;
    bitBuffer_ |= static_cast<uint32_t>(byte) << bitsBuffered_;
    bitsBuffered_ += 8;
  }
  code = static_cast<uint16_t>(bitBuffer_ & ((1u << bits) - 1));
  bitBuffer_ >>= bits;
  bitsBuffered_ -= bits;
  return true;
}

}  // namespace genshoku::gif
