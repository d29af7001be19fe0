#include "codecs/gif/sub_block_writer.h"

namespace genshoku::gif {

void SubBlockWriter::WriteSubBlock(int length) {
  sink_.WriteByte(static_cast<uint8_t>(length));
  sink_.Write(subBlock, static_cast<size_t>(length));
}

void SubBlockWriter::EmitCode(uint16_t code, int bits) {
  int pendingBits = static_cast<int>(bitCount % 8);
  int stored = static_cast<int>(bitCount / 8);
  bitAccumulator |= static_cast<uint32_t>(code) << pendingBits;
  for (pendingBits += bits; pendingBits >= 8; pendingBits -= 8) {
    subBlock[stored++] = static_cast<uint8_t>(bitAccumulator & 0xFF);
    bitAccumulator >>= 8;
    if (stored == kSubBlockSize) {
      WriteSubBlock(kSubBlockSize);
      stored = 0;
    }
  }
  bitCount = (bitCount + static_cast<uint32_t>(bits)) % kSubBlockBits;
}

void SubBlockWriter::Close() {
  int stored = static_cast<int>(bitCount / 8);
  if (bitCount % 8 != 0) subBlock[stored++] = static_cast<uint8_t>(bitAccumulator & 0xFF);
  if (stored > 0) WriteSubBlock(stored);
  sink_.WriteByte(0);
  bitCount = 0;
  bitAccumulator = 0;
}

}  // namespace genshoku::gif
