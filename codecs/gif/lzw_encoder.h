#pragma once
// The LZW encoder of GIF image data.
//
// The dictionary is a tree: every node is a string of colour indices and has one child slot
// per colour, so extending the current string by the next pixel is a single lookup. A fresh
// dictionary holds the single-colour strings; every miss emits the current string's code
// and adds the string extended by the pixel. When all 4096 codes are taken, a clear code
// follows and the dictionary starts afresh.

#include <cstdint>
#include <vector>

#include "codecs/gif/image_placement.h"
#include "codecs/gif/sub_block_writer.h"

namespace genshoku::gif {

class LzwEncoder {
 public:
  // colorBits: bits per colour index, 2 to 8; it is also the minimum code size.
  explicit LzwEncoder(int colorBits);

  // Encodes the pixels of `area` within `frame` (frameWidth indices per row, top row first),
  // row by row, and closes the data. Only the low colorBits bits of each index count.
  void Encode(const uint8_t* frame, uint32_t frameWidth, const ImageRectangle& area,
              SubBlockWriter& out);

 private:
  static constexpr uint16_t kNoChild = 0;  // no node but the root's children has code 0

  void StartDictionary();
  uint16_t& Child(uint16_t node, uint8_t color) {
    return children_[(static_cast<size_t>(node) << colorBits_) + color];
  }

  int colorBits_;
  uint16_t clear_;
  uint16_t stop_;
  uint16_t nextCode_ = 0;
  int codeBits_ = 0;
  // Child slots of every node, indexed by code; a node's slots are emptied when its code is
  // handed out, so a fresh dictionary costs nothing beyond the single-colour nodes.
  std::vector<uint16_t> children_;
};

}  // namespace genshoku::gif
