#pragma once
// Packs LZW codes into GIF data sub-blocks: codes go in least significant bit first, and
// every 255 bytes leave as one sub-block with its length byte in front.

#include <cstdint>

#include "codecs/gif/byte_sink.h"

namespace genshoku::gif {

class SubBlockWriter {
 public:
  explicit SubBlockWriter(ByteSink& sink) : sink_(sink) {}

  void EmitCode(uint16_t code, int bits);

  // Stores the last partial byte, writes the last (short) sub-block and the zero-length
  // terminator, and starts afresh for the next image.
  void Close();

 private:
  static constexpr int kSubBlockSize = 255;
  static constexpr uint32_t kSubBlockBits = kSubBlockSize * 8;

  void WriteSubBlock(int length);

  ByteSink& sink_;
  // Bits placed in the current sub-block so far, including those still waiting in
  // bitAccumulator for their byte to fill: whole bytes stored are bitCount / 8.
  uint32_t bitCount = 0;
  uint32_t bitAccumulator = 0;
  uint8_t subBlock[kSubBlockSize] = {};
};

}  // namespace genshoku::gif
