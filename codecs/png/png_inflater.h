#pragma once
// Decompresses the gathered image data of a PNG file (a zlib stream of deflate blocks)
// and hands every byte, as soon as it is known, to the decoder's ConsumeByte. Nothing but
// the history window is kept of the output.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/huffman_tree_node.h"
#include "codecs/png/inflate_bit_reader.h"
#include "common/diagnostics.h"

namespace genshoku::png {

class VxGenericPngDecoder;

class PngInflater {
 public:
  PngInflater(VxGenericPngDecoder& decoder, Diagnostics& diagnostics);

  // True when the final block ended properly. On false the decoder keeps every byte it
  // received until the failure. Never reads outside [data, data + length).
  bool Inflate(const uint8_t* data, size_t length);

 private:
  bool InflateStoredBlock();
  bool InflateHuffmanBlock(const HuffmanTreeNode& literals, const HuffmanTreeNode* distances);
  bool InflateDynamicBlock();
  bool ReadLength(int32_t symbol, uint32_t& length);
  bool ReadDistance(const HuffmanTreeNode* distances, uint32_t& distance);
  bool CopyFromWindow(uint32_t length, uint32_t distance);
  // Stores the byte in the window and passes it on; returns the decoder's answer.
  bool Emit(uint8_t byte);

  VxGenericPngDecoder& decoder_;
  Diagnostics& diagnostics_;
  InflateBitReader bits_{nullptr, 0, 0};
  std::vector<uint8_t> window_;
  size_t windowMask_ = 0;
  size_t windowPosition_ = 0;
  uint64_t produced_ = 0;
};

}  // namespace genshoku::png
